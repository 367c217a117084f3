#include "engine/platform/folder_listing.h"

#ifdef _WIN32
#include <filesystem>
#include <system_error>

#include "engine/platform/utf8_path.h"
#else
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <system_error>
#endif

namespace Platform {

#ifdef _WIN32

bool listFolder(const std::string& utf8Path, std::vector<FolderEntry>& entries, std::string& error) {
    namespace fs = std::filesystem;
    entries.clear();
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

} // namespace

bool listFolder(const std::string& utf8Path, std::vector<FolderEntry>& entries, std::string& error) {
    entries.clear();
    DIR* folder = ::opendir(utf8Path.c_str());
    if (!folder) {
        error = reasonOf(errno);
        return false;
    }
    const std::string prefix = !utf8Path.empty() && utf8Path.back() == '/' ? utf8Path : utf8Path + "/";
    bool ok = true;
    for (;;) {
        errno = 0;
        const dirent* found = ::readdir(folder);
        if (!found) {
            if (errno != 0) {
                error = reasonOf(errno);
                ok = false;
            }
            break;
        }
        const std::string name = found->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        FolderEntry entry;
        entry.name = name;
        switch (found->d_type) {
        case DT_DIR:
            entry.isFolder = true;
            break;
        case DT_REG:
            entry.isFile = true;
            break;
        case DT_LNK:
            entry.isLink = true;
            typeFromDisk(prefix + name, entry, true);
            break;
        case DT_UNKNOWN: {
            struct stat info {};
            if (::lstat((prefix + name).c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
                entry.isLink = true;
                typeFromDisk(prefix + name, entry, true);
            } else {
                typeFromDisk(prefix + name, entry, false);
            }
            break;
        }
        default:
            break;
        }
        entries.push_back(std::move(entry));
    }
    ::closedir(folder);
    return ok;
}

#endif

} // namespace Platform
