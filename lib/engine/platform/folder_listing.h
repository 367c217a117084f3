#pragma once

#include <string>
#include <vector>

#include "engine/platform/file_stamp.h"

namespace Platform {

struct FolderEntry {
    std::string name;
    bool isLink = false;
    bool isFolder = false; // links followed
    bool isFile = false;   // a regular file; links followed
};

// The entries of a folder in the order the disk gives them, without "." and
// "..". Most entries are typed by the listing itself, so a large folder costs
// no call per entry (only links and entries of untyped file systems are asked
// about). False, with the system's reason, when the folder cannot be listed;
// `entries` then holds what was read before the failure. `stamp`, when given,
// receives the folder's stamp as it was before its entries were read (Missing
// when it could not be opened), so that a change during the listing moves it.
bool listFolder(const std::string& utf8Path, std::vector<FolderEntry>& entries, std::string& error,
                FileStamp* stamp = nullptr);

} // namespace Platform
