#pragma once

#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/core/light_mutex.h"
#include "engine/core/string_hash.h"
#include "engine/platform/file_stamp.h"
#include "engine/resource/data_section.h"

// Parsed resource trees by absolute path, so that checks that visit the same
// file many times parse it once. The key is the file actually read, so a
// realm copy and the file it copies never share a tree.
//
// A tree is served again only while the disk proves its file unchanged: once
// per pass of the file system (FS::FileSystem::refresh, at every check) the
// file's stamp is compared with the one taken when it was read. A file that
// changed, or one too young for its stamp to prove anything, is read again.
class DataSectionCache {
  public:
    static DataSectionCache& instance();

    DataSectionPtr find(const std::string& absolutePath);
    // The bytes the cached tree of the file was parsed from, under the same
    // proof as the tree; null when there is no such tree.
    BinaryPtr findBytes(const std::string& absolutePath);
    // `stamp` was taken just before `bytes` were read, at `readNs` (fileClockNowNs).
    void add(const std::string& absolutePath, const DataSectionPtr& section, const BinaryPtr& bytes,
             const FileStamp& stamp, int64_t readNs);
    // The next open of `path` (resource or absolute) sees the disk as it is,
    // whether it resolves to the current realm's copy or to the file as named;
    // with `recursive`, also every tree below it as a folder. Cached directory
    // listings of that place are checked again too. A tree whose file is
    // proved unchanged is kept, so purging costs a look at the disk, not a parse.
    void purge(const std::string& path, bool recursive = false);
    // Several places purged at one moment: what lies in more than one of them
    // is looked at once.
    void purgeAll(const std::vector<std::string>& paths, bool recursive);
    void clear();
    size_t size();

  private:
    struct Entry {
        DataSectionPtr section;
        BinaryPtr bytes;
        FileStamp stamp;
        int64_t readNs = 0;
        uint64_t checkedIn = 0; // the file system's generation
    };
    // The entry of a file the disk proves unchanged in this pass, else null
    // (and a stale entry is gone). Called and answered under mutex_.
    Entry* proved(const std::string& absolutePath, uint64_t generation, std::unique_lock<LightMutex>& lock);
    void drop(std::vector<std::string> places, bool recursive);
    // Once per pass: drops trees used in neither this pass nor the one before.
    void sweep(uint64_t generation);

    LightMutex mutex_;
    uint64_t sweptIn_ = 0;
    std::unordered_map<std::string, Entry, StringHash, std::equal_to<>> sections_;
};
