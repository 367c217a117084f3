#include "engine/texture/texture_file.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include "engine/core/ascii_case.h"
#include "engine/core/format.h"
#include "engine/platform/utf8_path.h"
#include "engine/resource/file_system.h"
#include "engine/texture/dds_reader.h"
#include "engine/texture/pixel_codec.h"
#include "engine/texture/png_reader.h"
#include "engine/texture/tga_reader.h"

namespace TextureFile {
namespace {

std::string lowerExtension(const std::string& path) {
    return AsciiCase::toLower(FS::Utils::getExtension(path));
}

TextureInitialDataPtr fromDds(const std::vector<uint8_t>& bytes, std::string& reason) {
    const DdsReader::Info info = DdsReader::parse(bytes.data(), bytes.size());
    if (!info.success) {
        reason = info.reason;
        return nullptr;
    }
    std::vector<TextureInitialData::Level> levels;
    levels.reserve(info.levels.size());
    for (const DdsReader::Level& stored : info.levels) {
        TextureInitialData::Level level;
        level.width = stored.width;
        level.height = stored.height;
        level.rowPitch = uint32_t(stored.rowPitch);
        level.rowCount = uint32_t(stored.rowCount);
        const auto begin = bytes.begin() + std::ptrdiff_t(stored.offset);
        level.bytes.assign(begin, begin + std::ptrdiff_t(stored.bytes));
        levels.push_back(std::move(level));
    }
    return TextureInitialDataPtr(
        new TextureInitialData(info.format, PixelCodec::channelMask(info.format), std::move(levels)));
}

TextureInitialDataPtr fromRgba(RgbaImage&& image, uint32_t channelMask) {
    TextureInitialData::Level level;
    level.width = image.width;
    level.height = image.height;
    level.rowPitch = image.width * 4;
    level.rowCount = image.height;
    level.bytes = std::move(image.pixels);
    std::vector<TextureInitialData::Level> levels;
    levels.push_back(std::move(level));
    return TextureInitialDataPtr(
        new TextureInitialData(Render::RF_R8G8B8A8_UNORM, channelMask, std::move(levels)));
}

std::string tooLargeReason(uint64_t size) {
    return formatString("file is %llu bytes, more than a texture may take",
                        static_cast<unsigned long long>(size));
}

// Reads `count` bytes from `offset` (fewer when the file ends first) and
// reports the file's size.
bool readRange(const std::string& absolutePath, uint64_t offset, uint64_t count, std::vector<uint8_t>& bytes,
               uint64_t& fileSize, std::string& reason) {
    bytes.clear();
    const std::filesystem::path path = pathFromUtf8(absolutePath);
    std::error_code error;
    fileSize = std::filesystem::file_size(path, error);
    if (error) {
        reason = "cannot read the file: " + error.message();
        return false;
    }
    if (offset > fileSize) {
        reason = "cannot read the file: offset beyond its end";
        return false;
    }
    const uint64_t available = std::min<uint64_t>(count, fileSize - offset);
    std::ifstream in(path, std::ios::binary);
    bytes.resize(size_t(available));
    if (!in || !in.seekg(std::streamoff(offset)) ||
        !in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(available))) {
        bytes.clear();
        reason = "cannot read the file";
        return false;
    }
    return true;
}

} // namespace

Kind detectKind(const std::vector<uint8_t>& bytes, const std::string& path) {
    const std::string extension = lowerExtension(path);
    if (extension == "atlas") {
        return Kind::Atlas;
    }
    if (bytes.size() >= 4 && bytes[0] == 'D' && bytes[1] == 'D' && bytes[2] == 'S' && bytes[3] == ' ') {
        return Kind::Dds;
    }
    if (PngReader::isPng(bytes.data(), bytes.size())) {
        return Kind::Png;
    }
    if (extension == "tga") {
        return Kind::Tga;
    }
    // A damaged signature still deserves the reader's own explanation.
    if (extension == "dds") {
        return Kind::Dds;
    }
    if (extension == "png") {
        return Kind::Png;
    }
    return Kind::Unknown;
}

bool readBytes(const std::string& absolutePath, std::vector<uint8_t>& bytes, std::string& reason) {
    bytes.clear();
    const std::filesystem::path path = pathFromUtf8(absolutePath);
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(path, error);
    if (error) {
        reason = "cannot read the file: " + error.message();
        return false;
    }
    if (size > kMaxFileBytes) {
        reason = tooLargeReason(size);
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    bytes.resize(size_t(size));
    if (!in || !in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(size))) {
        bytes.clear();
        reason = "cannot read the file";
        return false;
    }
    return true;
}

TextureInitialDataPtr parseInitialData(const std::vector<uint8_t>& bytes, const std::string& path,
                                       std::string& reason) {
    RgbaImage image;
    uint32_t channelMask = 0;
    switch (detectKind(bytes, path)) {
    case Kind::Dds:
        return fromDds(bytes, reason);
    case Kind::Png: {
        PngReader::Header header;
        if (!PngReader::decode(bytes.data(), bytes.size(), image, channelMask, header, reason)) {
            return nullptr;
        }
        return fromRgba(std::move(image), channelMask);
    }
    case Kind::Tga:
        if (!TgaReader::decode(bytes.data(), bytes.size(), image, channelMask, reason)) {
            return nullptr;
        }
        return fromRgba(std::move(image), channelMask);
    case Kind::Atlas:
        reason = "atlas descriptions are not images";
        return nullptr;
    case Kind::Unknown:
        break;
    }
    reason = "unrecognised texture file type";
    return nullptr;
}

TextureInitialDataPtr loadInitialData(const std::string& absolutePath, std::string& reason) {
    std::vector<uint8_t> bytes;
    if (lowerExtension(absolutePath) == "atlas") {
        reason = "atlas descriptions are not images";
        return nullptr;
    }
    if (!readBytes(absolutePath, bytes, reason)) {
        return nullptr;
    }
    return parseInitialData(bytes, absolutePath, reason);
}

bool readHeaderInfo(const std::string& absolutePath, HeaderInfo& info, std::string& reason) {
    info = HeaderInfo();
    std::vector<uint8_t> head;
    uint64_t fileSize = 0;
    if (lowerExtension(absolutePath) == "atlas") {
        reason = "atlas descriptions are not images";
        return false;
    }
    if (!readRange(absolutePath, 0, kHeaderReadBytes, head, fileSize, reason)) {
        return false;
    }
    // A full load refuses such files; the header must not promise what it cannot deliver.
    if (fileSize > kMaxFileBytes) {
        reason = tooLargeReason(fileSize);
        return false;
    }
    switch (detectKind(head, absolutePath)) {
    case Kind::Dds: {
        const DdsReader::Info dds = DdsReader::parse(head.data(), head.size(), fileSize);
        if (!dds.success) {
            reason = dds.reason;
            return false;
        }
        info.format = dds.format;
        info.width = dds.width;
        info.height = dds.height;
        info.mipCount = dds.mipCount;
        return true;
    }
    case Kind::Png: {
        PngReader::Header png;
        if (!PngReader::readHeader(head.data(), head.size(), fileSize, png, reason)) {
            return false;
        }
        info.format = Render::RF_R8G8B8A8_UNORM;
        info.width = png.width;
        info.height = png.height;
        info.mipCount = 1;
        return true;
    }
    case Kind::Tga: {
        const TextureInitialDataPtr data = loadInitialData(absolutePath, reason);
        if (!data) {
            return false;
        }
        info.format = data->format();
        info.width = data->width();
        info.height = data->height();
        info.mipCount = data->mipCount();
        return true;
    }
    case Kind::Atlas:
    case Kind::Unknown:
        break;
    }
    reason = "unrecognised texture file type";
    return false;
}

namespace {

// Level 0 of a DDS file whose first bytes are `head`: that level's bytes alone.
TextureInitialDataPtr loadDdsTopLevel(const std::string& absolutePath, const std::vector<uint8_t>& head,
                                      uint64_t fileSize, std::string& reason) {
    const DdsReader::Info info = DdsReader::parse(head.data(), head.size(), fileSize);
    if (!info.success) {
        reason = info.reason;
        return nullptr;
    }
    const DdsReader::Level& stored = info.levels.front();
    TextureInitialData::Level level;
    uint64_t unused = 0;
    if (!readRange(absolutePath, stored.offset, stored.bytes, level.bytes, unused, reason)) {
        return nullptr;
    }
    if (level.bytes.size() != stored.bytes) {
        reason = "data truncated";
        return nullptr;
    }
    level.width = stored.width;
    level.height = stored.height;
    level.rowPitch = uint32_t(stored.rowPitch);
    level.rowCount = uint32_t(stored.rowCount);
    std::vector<TextureInitialData::Level> levels;
    levels.push_back(std::move(level));
    return TextureInitialDataPtr(
        new TextureInitialData(info.format, PixelCodec::channelMask(info.format), std::move(levels)));
}

} // namespace

namespace {

// The stored levels of a file, of a DDS file only level 0.
TextureInitialDataPtr loadTopLevel(const std::string& absolutePath, std::string& reason) {
    std::vector<uint8_t> head;
    uint64_t fileSize = 0;
    if (!readRange(absolutePath, 0, kHeaderReadBytes, head, fileSize, reason)) {
        return nullptr;
    }
    return detectKind(head, absolutePath) == Kind::Dds ? loadDdsTopLevel(absolutePath, head, fileSize, reason)
                                                       : loadInitialData(absolutePath, reason);
}

} // namespace

bool topLevelRedWithin(const std::string& absolutePath, uint8_t low, uint8_t high, bool& within,
                       uint32_t& channelMask, std::string& reason) {
    const TextureInitialDataPtr data = loadTopLevel(absolutePath, reason);
    if (!data) {
        return false;
    }
    const TextureInitialData::Level& top = data->level(0);
    if (data->format() == Render::RF_R8G8B8A8_UNORM) {
        within = PixelCodec::redsWithin(top.bytes, low, high);
    } else if (!PixelCodec::redWithin(data->format(), top.bytes.data(), top.bytes.size(), top.width,
                                      top.height, low, high, within, reason)) {
        return false;
    }
    // As decodeTopLevel's image would tell: an empty one has no channels.
    channelMask = top.width == 0 || top.height == 0 ? 0 : data->channelMask();
    return true;
}

bool decodeTopLevel(const std::string& absolutePath, RgbaImage& image, uint32_t& channelMask,
                    std::string& reason) {
    const TextureInitialDataPtr data = loadTopLevel(absolutePath, reason);
    if (!data) {
        return false;
    }
    const TextureInitialData::Level& top = data->level(0);
    if (data->format() == Render::RF_R8G8B8A8_UNORM) {
        image.width = top.width;
        image.height = top.height;
        image.pixels = top.bytes;
    } else if (!PixelCodec::decode(data->format(), top.bytes.data(), top.bytes.size(), top.width, top.height,
                                   image, reason)) {
        return false;
    }
    channelMask = data->channelMask();
    return true;
}

} // namespace TextureFile
