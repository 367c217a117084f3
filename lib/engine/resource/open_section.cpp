#include <filesystem>
#include <fstream>

#include "engine/core/debug_log.h"
#include "engine/platform/utf8_path.h"
#include "engine/resource/data_section.h"
#include "engine/resource/data_section_cache.h"
#include "engine/resource/file_system.h"

namespace {

// The largest resource file opened as a section. Exported geometry of one
// model stays far below; a larger file is a mistake or an attack, and reading
// it whole would cost its size in memory (twice, while it parses).
constexpr uintmax_t kMaxSectionFileBytes = uintmax_t(256) << 20;

} // namespace

namespace FS::Utils {

BinaryPtr readFileContents(const std::string& absolutePath, std::string& reason) {
    const std::filesystem::path path = pathFromUtf8(absolutePath);
    std::error_code status;
    const uintmax_t size = std::filesystem::file_size(path, status);
    if (status) {
        reason = "cannot be read (" + status.message() + ")";
        return nullptr;
    }
    if (size > kMaxSectionFileBytes) {
        reason = "is larger than the " + std::to_string(kMaxSectionFileBytes >> 20) +
                 " MB a resource file may have";
        return nullptr;
    }
    std::ifstream in(path, std::ios::binary);
    const auto length = static_cast<size_t>(size);
    std::unique_ptr<char[]> bytes(new char[length]);
    if (!in || !in.read(bytes.get(), static_cast<std::streamsize>(length))) {
        reason = "cannot be read";
        return nullptr;
    }
    return BinaryPtr(new BinaryBlock(std::move(bytes), length));
}

BinaryPtr readFileOfPass(const std::string& absolutePath, std::string& reason) {
    if (BinaryPtr parsed = DataSectionCache::instance().findBytes(absolutePath)) {
        return parsed;
    }
    return readFileContents(absolutePath, reason);
}

DataSectionPtr openSection(const std::string& path, bool /*makeNewSection*/) {
    return openSection(path, RealmChoice::PreferRealm);
}

DataSectionPtr openSection(const std::string& path, RealmChoice realm) {
    if (path.empty()) {
        return nullptr;
    }
    // Resolved once: a miss (a realm copy that is not there) ends here.
    int type = FT_NOT_FOUND;
    const std::string absolute = fileSystem()->resolveExisting(path, realm, type);
    if (absolute.empty()) {
        return nullptr;
    }
    if (type == FT_DIRECTORY) {
        return FolderSection::open(absolute);
    }
    if (type != FT_FILE) {
        return nullptr;
    }
    if (DataSectionPtr cached = DataSectionCache::instance().find(absolute)) {
        return cached;
    }
    // Taken before the read: a save during the read changes the stamp.
    const FileStamp stamp = fileStamp(absolute);
    const int64_t readNs = fileClockNowNs();
    std::string error;
    BinaryPtr bytes = readFileContents(absolute, error);
    if (!bytes) {
        DebugLog::fileProblem("resource", absolute, error);
        return nullptr;
    }
    const std::string name = getFilename(absolute);
    const bool container = BinaryContainer::isContainer(bytes);
    DataSectionPtr root =
        container ? BinaryContainer::open(name, bytes, error) : XMLFile::parse(name, bytes, error);
    if (!root && !container) {
        error = "not XML: " + error;
    }
    if (!root) {
        DebugLog::fileProblem("resource", absolute, error);
        return nullptr;
    }
    DataSectionCache::instance().add(absolute, root, bytes, stamp, readNs);
    return root;
}

} // namespace FS::Utils
