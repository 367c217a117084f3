#include "floor.h"

#include <pugixml.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

#include "engine/core/ascii_case.h"
#include "engine/platform/utf8_path.h"

namespace KX::Bench {

namespace {

namespace fs = std::filesystem;

// The bytes of a texture header the checks read.
constexpr std::streamsize kTextureHeaderBytes = 148;

bool isXml(const std::string& extension) {
    return extension == ".model" || extension == ".visual" || extension == ".xml";
}

} // namespace

FloorRead readLikeTheChecks(const std::string& root) {
    FloorRead read;
    std::vector<char> buffer;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(pathFromUtf8(root), ec), end; !ec && it != end;
         it.increment(ec)) {
        if (it->is_directory() && it->path().filename() == "havok") {
            it.disable_recursion_pending();
            continue;
        }
        if (!it->is_regular_file()) {
            continue;
        }
        const std::string extension = AsciiCase::toLower(pathToUtf8(it->path().extension()));
        std::ifstream in(it->path(), std::ios::binary);
        if (extension == ".dds" || extension == ".png" || extension == ".tga") {
            buffer.resize(static_cast<size_t>(kTextureHeaderBytes));
            in.read(buffer.data(), kTextureHeaderBytes);
            // The checks also ask for the file's size.
            std::error_code sizeError;
            const std::uintmax_t size = fs::file_size(it->path(), sizeError);
            read.bytes += std::min<std::uint64_t>(size, static_cast<std::uint64_t>(in.gcount()));
            ++read.files;
            continue;
        }
        const auto size = static_cast<size_t>(it->file_size());
        buffer.resize(size);
        in.read(buffer.data(), static_cast<std::streamsize>(size));
        read.bytes += size;
        ++read.files;
        if (isXml(extension)) {
            pugi::xml_document document;
            document.load_buffer(buffer.data(), size);
            ++read.xmlFiles;
        }
    }
    return read;
}

} // namespace KX::Bench
