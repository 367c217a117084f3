#include "engine/platform/folder_listing.h"

#ifdef _WIN32
#include <filesystem>
#include <system_error>

#include "engine/platform/utf8_path.h"
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#endif

namespace Platform {

#ifdef _WIN32

bool listFolder(const std::string& utf8Path, std::vector<FolderEntry>& entries, std::string& error,
                FileStamp* stamp) {
    namespace fs = std::filesystem;
    entries.clear();
    if (stamp) {
        *stamp = fileStamp(utf8Path);
    }
    std::error_code ec;
    for (fs::directory_iterator it(pathFromUtf8(utf8Path), ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        FolderEntry entry;
        entry.name = pathToUtf8(it->path().filename());
        entry.isLink = it->is_symlink(typeError);
        entry.isFolder = it->is_directory(typeError);
        entry.isFile = it->is_regular_file(typeError);
        entries.push_back(std::move(entry));
    }
    if (ec) {
        error = ec.message();
        return false;
    }
    return true;
}

#else

namespace {

std::string reasonOf(int code) {
    return std::error_code(code, std::system_category()).message();
}

// What the entry (or, for a link, its target) is, asked of the disk.
void typeFromDisk(const std::string& path, FolderEntry& entry, bool followLink) {
    struct stat info {};
    if ((followLink ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info)) != 0) {
        return;
    }
    entry.isFolder = S_ISDIR(info.st_mode);
    entry.isFile = S_ISREG(info.st_mode);
}

// One entry as the listing names and types it; "." and ".." are left out.
void addEntry(const std::string& prefix, const char* name, unsigned char type,
              std::vector<FolderEntry>& entries) {
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
        return;
    }
    FolderEntry entry;
    entry.name = name;
    switch (type) {
    case DT_DIR:
        entry.isFolder = true;
        break;
    case DT_REG:
        entry.isFile = true;
        break;
    case DT_LNK:
        entry.isLink = true;
        typeFromDisk(prefix + entry.name, entry, true);
        break;
    case DT_UNKNOWN: {
        struct stat info {};
        if (::lstat((prefix + entry.name).c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
            entry.isLink = true;
            typeFromDisk(prefix + entry.name, entry, true);
        } else {
            typeFromDisk(prefix + entry.name, entry, false);
        }
        break;
    }
    default:
        break;
    }
    entries.push_back(std::move(entry));
}

#ifdef __linux__

// The entries straight from the kernel's records: the descriptor that stamps
// the folder reads it too, with none of the library's own calls on opening.
bool readEntries(int folder, const std::string& prefix, std::vector<FolderEntry>& entries,
                 std::string& error) {
    alignas(8) char buffer[16384];
    for (;;) {
        const ssize_t got = ::getdents64(folder, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error = reasonOf(errno);
            return false;
        }
        if (got == 0) {
            return true;
        }
        for (ssize_t at = 0; at < got;) {
            const auto* record = reinterpret_cast<const dirent64*>(buffer + at);
            addEntry(prefix, record->d_name, record->d_type, entries);
            at += record->d_reclen;
        }
    }
}

#else

bool readEntries(int folder, const std::string& prefix, std::vector<FolderEntry>& entries,
                 std::string& error) {
    DIR* stream = ::fdopendir(folder);
    if (!stream) {
        error = reasonOf(errno);
        ::close(folder);
        return false;
    }
    bool ok = true;
    for (;;) {
        errno = 0;
        const dirent* found = ::readdir(stream);
        if (!found) {
            if (errno != 0) {
                error = reasonOf(errno);
                ok = false;
            }
            break;
        }
        addEntry(prefix, found->d_name, found->d_type, entries);
    }
    ::closedir(stream); // closes the descriptor
    return ok;
}

#endif

} // namespace

bool listFolder(const std::string& utf8Path, std::vector<FolderEntry>& entries, std::string& error,
                FileStamp* stamp) {
    entries.clear();
    if (stamp) {
        *stamp = {};
    }
    // Not blocking, for the same reason as files: only a folder is opened.
    const int folder = ::open(utf8Path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (folder < 0) {
        error = reasonOf(errno);
        return false;
    }
    if (stamp) {
        *stamp = fileStampOfOpen(folder);
    }
    const std::string prefix = !utf8Path.empty() && utf8Path.back() == '/' ? utf8Path : utf8Path + "/";
#ifdef __linux__
    const bool ok = readEntries(folder, prefix, entries, error);
    ::close(folder);
    return ok;
#else
    return readEntries(folder, prefix, entries, error);
#endif
}

#endif

} // namespace Platform
