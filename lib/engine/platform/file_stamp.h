#pragma once

#include <cstdint>
#include <memory>
#include <string>

// What a cache needs to prove that a file or folder is the one it read: its
// identity on the disk (which changes when a save replaces the file), size,
// modification time (a folder's changes whenever an entry is added, removed
// or renamed) and, where the system keeps it, the time its attributes last
// changed (permissions, links). Links are followed.
struct FileStamp {
    enum Type : uint8_t { Missing, File, Folder, Other };
    Type type = Missing;
    uint64_t device = 0;
    uint64_t identity = 0;
    uint64_t size = 0;
    int64_t modifiedNs = 0; // since the epoch of the file system's clock
    int64_t changedNs = 0;  // attributes; 0 where the system does not say

    bool operator==(const FileStamp& other) const = default;
};

FileStamp fileStamp(const std::string& utf8Path);
#ifndef _WIN32
// The stamp of what an open descriptor names, for callers that open the file
// or folder anyway: one call where a stamp asked by name would add another.
FileStamp fileStampOfOpen(int descriptor);
#endif

// Now, on the clock of modification times, in nanoseconds.
int64_t fileClockNowNs();

// Whether what was read at `readNs` from a file stamped `stamp` can be trusted
// while the stamp stays the same. A file changed in the same tick as the read
// may change again without its time moving (times are coarse on many file
// systems), so only a file that was older than the margin when it was read is
// proved unchanged by an unchanged stamp.
bool stampProvesContent(const FileStamp& stamp, int64_t readNs);

// The whole contents of a regular file and the stamp of what was read, taken
// from the opened file before its bytes are: one look at the disk where a
// stamp and a size asked by name would take two. On failure `bytes` is null
// and `reason` says why ("cannot be read (...)", or that the file is larger
// than `maxBytes`).
struct StampedRead {
    std::unique_ptr<char[]> bytes;
    size_t size = 0;
    FileStamp stamp;
    std::string reason;
};
StampedRead readStampedFile(const std::string& utf8Path, uint64_t maxBytes);
