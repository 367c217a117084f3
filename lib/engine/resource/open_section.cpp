#include "engine/core/debug_log.h"
#include "engine/resource/data_section.h"
#include "engine/resource/data_section_cache.h"
#include "engine/resource/file_system.h"
#include "engine/resource/view_memo.h"

namespace {

// The largest resource file opened as a section. Exported geometry of one
// model stays far below; a larger file is a mistake or an attack, and reading
// it whole would cost its size in memory (twice, while it parses).
constexpr uintmax_t kMaxSectionFileBytes = uintmax_t(256) << 20;

} // namespace

namespace FS::Utils {

BinaryPtr readFileContents(const std::string& absolutePath, std::string& reason, FileStamp* stamp) {
    StampedRead read = readStampedFile(absolutePath, kMaxSectionFileBytes);
    if (!read.bytes) {
        reason = read.reason;
        return nullptr;
    }
    if (stamp) {
        *stamp = read.stamp;
    }
    return BinaryPtr(new BinaryBlock(std::move(read.bytes), read.size));
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

namespace {

DataSectionPtr openResolved(const std::string& path, RealmChoice realm);

} // namespace

DataSectionPtr openSection(const std::string& path, RealmChoice realm) {
    if (path.empty()) {
        return nullptr;
    }
    // A check opens the same files hundreds of times; within one view each
    // open would give the same section again. A failure is not kept: it
    // writes its log line each time, as it did.
    static ViewMemo<std::string, DataSectionPtr> opened[2];
    const bool exactName = realm == RealmChoice::ExactName;
    return opened[exactName ? 1 : 0].get(
        path, [&] { return openResolved(path, realm); },
        [](const DataSectionPtr& section) { return bool(section); });
}

namespace {

DataSectionPtr openResolved(const std::string& path, RealmChoice realm) {
    // Resolved once: a miss (a realm copy that is not there) ends here.
    int type = FT_NOT_FOUND;
    // Nothing below starts a pass or forgets resolutions: the kept path serves.
    const std::string& absolute = fileSystem()->resolveExisting(path, realm, type);
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
    // Stamped before the read: a save during the read changes the stamp.
    const int64_t readNs = fileClockNowNs();
    FileStamp stamp;
    std::string error;
    BinaryPtr bytes = readFileContents(absolute, error, &stamp);
    if (!bytes) {
        DebugLog::fileProblem("resource", absolute, error);
        return nullptr;
    }
    const bool container = BinaryContainer::isContainer(bytes);
    DataSectionPtr root = container ? BinaryContainer::open(getFilename(absolute), bytes, error)
                                    : XMLFile::parse(filenameOf(absolute), bytes, error);
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

} // namespace

} // namespace FS::Utils
