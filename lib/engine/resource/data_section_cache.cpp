#include "engine/resource/data_section_cache.h"

#include "engine/resource/file_system.h"

#include <algorithm>
#include <vector>

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
                                                  std::unique_lock<LightMutex>& lock) {
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
    std::unique_lock<LightMutex> lock(mutex_);
    const Entry* entry = proved(absolutePath, generation, lock);
    return entry ? entry->section : nullptr;
}

BinaryPtr DataSectionCache::findBytes(const std::string& absolutePath) {
    const uint64_t generation = FS::fileSystem()->generation();
    std::unique_lock<LightMutex> lock(mutex_);
    const Entry* entry = proved(absolutePath, generation, lock);
    return entry ? entry->bytes : nullptr;
}

void DataSectionCache::add(const std::string& absolutePath, const DataSectionPtr& section,
                           const BinaryPtr& bytes, const FileStamp& stamp, int64_t readNs) {
    const uint64_t generation = FS::fileSystem()->generation();
    std::lock_guard<LightMutex> lock(mutex_);
    sweep(generation);
    sections_[absolutePath] = Entry{section, bytes, stamp, readNs, generation};
}

void DataSectionCache::purge(const std::string& path, bool recursive) {
    purgeAll({path}, recursive);
}

void DataSectionCache::purgeAll(const std::vector<std::string>& paths, bool recursive) {
    std::vector<std::string> places;
    for (const std::string& path : paths) {
        if (FS::Utils::isAbsolute(path)) {
            places.push_back(path);
            continue;
        }
        // While a realm is current the path opens its realm copy or, asked for
        // by exact name, the file itself: both trees may be stale.
        const std::string preferred = FS::fileSystem()->resolveFilename(path, FS::RealmChoice::PreferRealm);
        const std::string exact = FS::fileSystem()->resolveFilename(path, FS::RealmChoice::ExactName);
        places.push_back(preferred);
        if (exact != preferred) {
            places.push_back(exact);
        }
    }
    drop(std::move(places), recursive);
}

void DataSectionCache::drop(std::vector<std::string> places, bool recursive) {
    for (std::string& absolute : places) {
        while (absolute.size() > 1 && absolute.back() == '/') {
            absolute.pop_back();
        }
    }
    // The trees this pass has handed out are proved against the disk at once.
    // While they all stand, so does everything derived from them, and the
    // file system's view may stay; trees not used in this pass are proved at
    // their next use anyway. Each tree and listing is proved once, however
    // many of the places it lies in.
    const uint64_t generation = FS::fileSystem()->generation();
    struct InUse {
        std::string path;
        FileStamp stamp;
        int64_t readNs = 0;
    };
    std::vector<InUse> inUse;
    {
        std::lock_guard<LightMutex> lock(mutex_);
        const auto take = [&](const std::string& path, const Entry& entry) {
            if (entry.checkedIn == generation) {
                inUse.push_back({path, entry.stamp, entry.readNs});
            }
        };
        for (const std::string& absolute : places) {
            if (auto it = sections_.find(absolute); it != sections_.end()) {
                take(it->first, it->second);
            }
            if (recursive) {
                const std::string prefix = absolute + "/";
                for (const auto& [path, entry] : sections_) {
                    if (path.compare(0, prefix.size(), prefix) == 0) {
                        take(path, entry);
                    }
                }
            }
        }
    }
    if (places.size() > 1) {
        std::sort(inUse.begin(), inUse.end(), [](const InUse& a, const InUse& b) { return a.path < b.path; });
        inUse.erase(std::unique(inUse.begin(), inUse.end(),
                                [](const InUse& a, const InUse& b) { return a.path == b.path; }),
                    inUse.end());
    }
    std::vector<std::string> changed;
    for (const InUse& tree : inUse) {
        if (!stampProvesContent(tree.stamp, tree.readNs) || !(tree.stamp == fileStamp(tree.path))) {
            changed.push_back(tree.path);
        }
    }
    {
        std::lock_guard<LightMutex> lock(mutex_);
        for (const std::string& path : changed) {
            sections_.erase(path);
        }
    }
    FS::fileSystem()->invalidateCache(places, !changed.empty());
}

void DataSectionCache::clear() {
    {
        std::lock_guard<LightMutex> lock(mutex_);
        sections_.clear();
    }
    FS::fileSystem()->invalidateCache();
}

size_t DataSectionCache::size() {
    std::lock_guard<LightMutex> lock(mutex_);
    return sections_.size();
}
