#include "engine/resource/data_section_cache.h"

#include "engine/resource/file_system.h"

DataSectionCache& DataSectionCache::instance() {
    static DataSectionCache cache;
    return cache;
}

void DataSectionCache::sweep(uint64_t generation) {
    if (sweptIn_ == generation) {
        return;
    }
    sweptIn_ = generation;
    // Trees of the files of earlier models go, so that memory does not grow
    // with the number of models checked; the registries every check reads stay.
    for (auto it = sections_.begin(); it != sections_.end();) {
        it = it->second.checkedIn + 1 < generation ? sections_.erase(it) : std::next(it);
    }
}

DataSectionCache::Entry* DataSectionCache::proved(const std::string& absolutePath, uint64_t generation,
                                                  std::unique_lock<std::mutex>& lock) {
    sweep(generation);
    auto it = sections_.find(absolutePath);
    if (it == sections_.end()) {
        return nullptr;
    }
    if (it->second.checkedIn == generation) {
        return &it->second;
    }
    lock.unlock();
    const FileStamp now = fileStamp(absolutePath);
    lock.lock();
    it = sections_.find(absolutePath);
    if (it == sections_.end()) {
        return nullptr;
    }
    Entry& entry = it->second;
    if (!stampProvesContent(entry.stamp, entry.readNs) || !(entry.stamp == now)) {
        sections_.erase(it);
        return nullptr;
    }
    entry.checkedIn = generation;
    return &entry;
}

DataSectionPtr DataSectionCache::find(const std::string& absolutePath) {
    const uint64_t generation = FS::fileSystem()->generation();
    std::unique_lock<std::mutex> lock(mutex_);
    const Entry* entry = proved(absolutePath, generation, lock);
    return entry ? entry->section : nullptr;
}

BinaryPtr DataSectionCache::findBytes(const std::string& absolutePath) {
    const uint64_t generation = FS::fileSystem()->generation();
    std::unique_lock<std::mutex> lock(mutex_);
    const Entry* entry = proved(absolutePath, generation, lock);
    return entry ? entry->bytes : nullptr;
}

void DataSectionCache::add(const std::string& absolutePath, const DataSectionPtr& section,
                           const BinaryPtr& bytes, const FileStamp& stamp, int64_t readNs) {
    const uint64_t generation = FS::fileSystem()->generation();
    std::lock_guard<std::mutex> lock(mutex_);
    sweep(generation);
    sections_[absolutePath] = Entry{section, bytes, stamp, readNs, generation};
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
        auto it = sections_.find(absolute);
        if (it != sections_.end()) {
            it->second.checkedIn = 0;
        }
        if (recursive) {
            const std::string prefix = absolute + "/";
            for (auto& [path, entry] : sections_) {
                if (path.compare(0, prefix.size(), prefix) == 0) {
                    entry.checkedIn = 0;
                }
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
