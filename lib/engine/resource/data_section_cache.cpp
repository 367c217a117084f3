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
    std::string absolute = path;
    FS::Utils::resolveToAbsolutePath(absolute);
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
