#pragma once

#include <mutex>
#include <string>
#include <unordered_map>

#include "engine/resource/data_section.h"

// Parsed resource trees by absolute path, so that checks that visit the same
// file many times parse it once. The key is the file actually read, so a
// realm copy and the file it copies never share a tree.
class DataSectionCache {
  public:
    static DataSectionCache& instance();

    DataSectionPtr find(const std::string& absolutePath);
    void add(const std::string& absolutePath, const DataSectionPtr& section);
    // Drops the tree of `path` (resource or absolute) so that the next open
    // reads the disk, whether it resolves to the current realm's copy or to
    // the file as named; with `recursive`, also every tree below it as a
    // folder. Cached directory listings of that place are dropped too.
    void purge(const std::string& path, bool recursive = false);
    void clear();
    size_t size();

  private:
    void drop(std::string absolutePath, bool recursive);

    std::mutex mutex_;
    std::unordered_map<std::string, DataSectionPtr> sections_;
};
