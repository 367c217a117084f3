#include "engine/resource/data_section_cache.h"

#include "engine/resource/file_system.h"

DataSectionCache& DataSectionCache::instance() {
    static DataSectionCache cache;
    return cache;
}

DataSectionPtr DataSectionCache::find(const std::string& absolutePath) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = sections_.find(absolutePath);
    return it == sections_.end() ? nullptr : it->second;
}

void DataSectionCache::add(const std::string& absolutePath, const DataSectionPtr& section) {
    std::lock_guard<std::mutex> lock(mutex_);
    sections_[absolutePath] = section;
}

void DataSectionCache::purge(const std::string& path, bool recursive) {
    if (FS::Utils::isAbsolute(path)) {
        drop(path, recursive);
        return;
    }
    // While a realm is current the path opens its realm copy or, asked for
    // by exact name, the file itself: both trees may be stale.
    const std::string preferred = FS::fileSystem()->resolveFilename(path, FS::RealmChoice::PreferRealm);
    const std::string exact = FS::fileSystem()->resolveFilename(path, FS::RealmChoice::ExactName);
    drop(preferred, recursive);
    if (exact != preferred) {
        drop(exact, recursive);
    }
}

void DataSectionCache::drop(std::string absolute, bool recursive) {
    while (absolute.size() > 1 && absolute.back() == '/') {
        absolute.pop_back();
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sections_.erase(absolute);
        if (recursive) {
            const std::string prefix = absolute + "/";
            for (auto it = sections_.begin(); it != sections_.end();) {
                it = it->first.compare(0, prefix.size(), prefix) == 0 ? sections_.erase(it) : std::next(it);
            }
        }
    }
    FS::fileSystem()->invalidateCache(absolute);
}

void DataSectionCache::clear() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sections_.clear();
    }
    FS::fileSystem()->invalidateCache();
}

size_t DataSectionCache::size() {
    std::lock_guard<std::mutex> lock(mutex_);
    return sections_.size();
}
