#include <filesystem>
#include <fstream>

#include "engine/core/debug_log.h"
#include "engine/platform/utf8_path.h"
#include "engine/resource/data_section.h"
#include "engine/resource/data_section_cache.h"
#include "engine/resource/file_system.h"

namespace {

BinaryPtr readWholeFile(const std::string& absolutePath) {
    std::ifstream in(pathFromUtf8(absolutePath), std::ios::binary);
    if (!in) {
        return nullptr;
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return nullptr;
    }
    return BinaryPtr(new BinaryBlock(std::move(bytes)));
}

} // namespace

namespace FS::Utils {

DataSectionPtr openSection(const std::string& path, bool /*makeNewSection*/) {
    return openSection(path, RealmChoice::PreferRealm);
}

DataSectionPtr openSection(const std::string& path, RealmChoice realm) {
    if (path.empty()) {
        return nullptr;
    }
    const std::string absolute = fileSystem()->resolveFilename(path, realm);
    if (absolute.empty()) {
        return nullptr;
    }
    const int type = fileSystem()->fileType(absolute);
    if (type == FT_DIRECTORY) {
        return FolderSection::open(absolute);
    }
    if (type != FT_FILE) {
        return nullptr;
    }
    if (DataSectionPtr cached = DataSectionCache::instance().find(absolute)) {
        return cached;
    }
    BinaryPtr bytes = readWholeFile(absolute);
    if (!bytes) {
        DebugLog::message(DebugLog::Warning, "resource", "%s: cannot be read", absolute.c_str());
        return nullptr;
    }
    std::string error;
    const std::string name = getFilename(absolute);
    DataSectionPtr root = BinaryContainer::isContainer(bytes) ? BinaryContainer::open(name, bytes, error)
                                                              : XMLFile::parse(name, bytes, error);
    if (!root) {
        DebugLog::message(DebugLog::Warning, "resource", "%s: %s", absolute.c_str(), error.c_str());
        return nullptr;
    }
    DataSectionCache::instance().add(absolute, root);
    return root;
}

} // namespace FS::Utils
