#include "discovery.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <unordered_set>

#include "engine/core/ascii_case.h"
#include "engine/platform/utf8_path.h"
#include "engine/resource/file_system.h"
#include "report_writers.h"

namespace KX::Cli {
namespace {

bool matchHere(const char* p, const char* s) {
    for (; *p; ++p, ++s) {
        if (p[0] == '*' && p[1] == '*') {
            p += 2;
            if (*p == '/') {
                ++p; // "**/" also matches no folder at all
            }
            for (const char* t = s;; ++t) {
                if (matchHere(p, t)) {
                    return true;
                }
                if (!*t) {
                    return false;
                }
            }
        }
        if (*p == '*') {
            for (const char* t = s;; ++t) {
                if (matchHere(p + 1, t)) {
                    return true;
                }
                if (!*t || *t == '/') {
                    return false;
                }
            }
        }
        if (!*s || (*p == '?' ? *s == '/' : *p != *s)) {
            return false;
        }
    }
    return *s == '\0';
}

std::string lowerFolderName(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) {
        return {};
    }
    const size_t start = path.rfind('/', slash - 1);
    return AsciiCase::toLower(path.substr(start == std::string::npos ? 0 : start + 1,
                                          slash - (start == std::string::npos ? 0 : start + 1)));
}

bool insideRoot(const std::string& absolute, const std::string& root, std::string& resource) {
    namespace fs = std::filesystem;
    const fs::path relative =
        pathFromUtf8(absolute).lexically_normal().lexically_relative(pathFromUtf8(root));
    const std::string text = pathToUtf8(relative);
    if (relative.empty() || text == ".." || text.rfind("../", 0) == 0) {
        return false;
    }
    resource = text == "." ? "" : text;
    return true;
}

// A found file's path below the root it was found in. The walk spells it as
// the root's text, a separator unless the root ends in one, and the rest, so
// the rest is cut off the text; paths with doubled separators go the long way.
std::string pathBelow(const std::string& text, const std::filesystem::path& base,
                      const std::string& baseText) {
    const size_t restStart = baseText.size() + (!baseText.empty() && baseText.back() == '/' ? 0 : 1);
    if (!baseText.empty() && text.size() > restStart && text.compare(0, baseText.size(), baseText) == 0 &&
        text[restStart - 1] == '/' && text.find("//") == std::string::npos) {
        return text.substr(restStart);
    }
    return pathToUtf8(pathFromUtf8(text).lexically_relative(base));
}

// Every file below `folder` (spelled as a path joins names: one separator
// unless the text ends in one), without entering links to folders. A folder
// that cannot be listed is passed over. The folders still to list wait on a
// list of their own, so that no depth of nesting can exhaust the stack. The
// listings stay with the file system for the checks, which then only prove
// them unchanged instead of listing every folder a second time.
template <typename Take> void walkFiles(const std::string& folder, Take take) {
    std::vector<std::string> pending{folder};
    while (!pending.empty()) {
        const std::string current = std::move(pending.back());
        pending.pop_back();
        // Held here: past the file system's bound nothing else holds the listing.
        const auto listing = FS::fileSystem()->listAhead(current);
        for (const FS::FileSystem::DirectoryEntry& entry : listing->entries) {
            if (entry.isFile) {
                take(FS::Utils::joinPath(current, entry.name));
            } else if (entry.isFolder && !entry.isLink) {
                pending.push_back(FS::Utils::joinPath(current, entry.name));
            }
        }
    }
}

} // namespace

std::string currentFolderOfReports() {
    std::error_code ec;
    std::string folder = pathToUtf8(std::filesystem::current_path(ec));
    if (ec || folder.empty()) {
        return {};
    }
    if (folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

std::string diskFileOf(const std::string& model, const std::string& currentFolder) {
    const std::string absolute = FS::fileSystem()->resolveFilename(model);
    // Resolved paths are absolute, generic and hold no "." or ".." step: a
    // file below the current folder is named from it by cutting the folder
    // off, without taking both paths apart (every report entry asks).
    const std::string& folder = currentFolder;
    const bool below =
        !folder.empty() && absolute.size() > folder.size() && absolute.compare(0, folder.size(), folder) == 0;
    return below ? absolute.substr(folder.size()) : absolute;
}

bool globMatches(const std::string& pattern, const std::string& path) {
    if (matchHere(pattern.c_str(), path.c_str())) {
        return true;
    }
    for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        if (matchHere(pattern.c_str(), path.substr(0, slash).c_str())) {
            return true;
        }
    }
    return false;
}

bool isValidatedModel(const std::string& resourcePath) {
    // Most files of a tree are no model: the end of the name decides first,
    // and only the parts asked about are lowered.
    const std::string_view path(resourcePath);
    if (path.size() < 6 || !AsciiCase::equalIgnoringCase(path.substr(path.size() - 6), ".model")) {
        return false;
    }
    const size_t slash = path.rfind('/');
    const std::string file =
        AsciiCase::toLower(std::string(slash == std::string_view::npos ? path : path.substr(slash + 1)));
    if (file.find(".hkt.") != std::string::npos) {
        return false;
    }
    const std::string folder = lowerFolderName(resourcePath);
    const bool higherLod =
        folder.size() > 3 && folder.rfind("lod", 0) == 0 && folder != "lod0" &&
        std::all_of(folder.begin() + 3, folder.end(), [](char c) { return c >= '0' && c <= '9'; });
    return !higherLod;
}

bool inShard(const std::string& resourcePath, const Shard& shard) {
    return stableHash(resourcePath) % shard.count == shard.index - 1;
}

bool resourcePathOf(std::string path, const std::vector<std::string>& roots, std::string& resource,
                    std::string& reason) {
    namespace fs = std::filesystem;
    std::replace(path.begin(), path.end(), '\\', '/');
    while (path.rfind("./", 0) == 0) {
        path.erase(0, 2);
    }
    if (path == ".") {
        path.clear(); // every root, whole
    }
    resource = path;
    std::error_code ec;
    if (!path.empty() &&
        (FS::Utils::isAbsolute(path) ||
         (FS::fileSystem()->fileType(path) == FS::FT_NOT_FOUND && fs::exists(pathFromUtf8(path), ec)))) {
        const std::string absolute = pathToUtf8(fs::absolute(pathFromUtf8(path), ec));
        const bool inside = std::any_of(roots.begin(), roots.end(), [&](const std::string& root) {
            return insideRoot(absolute, root, resource);
        });
        if (!inside) {
            reason = "'" + path + "' is not inside a resource root";
            return false;
        }
    }
    while (!resource.empty() && resource.back() == '/') {
        resource.pop_back();
    }
    if (!resource.empty() && FS::fileSystem()->fileType(resource) == FS::FT_NOT_FOUND) {
        reason = "'" + path + "' does not exist in the resource roots";
        return false;
    }
    return true;
}

Discovery discoverModels(const std::vector<std::string>& paths, const std::vector<std::string>& roots,
                         const std::vector<std::string>& exclude,
                         const std::function<void(const std::string&)>& onFound) {
    namespace fs = std::filesystem;
    Discovery found;
    std::unordered_set<std::string> told;
    const auto take = [&](const std::string& model) {
        found.models.push_back(model);
        if (onFound && told.insert(model).second) {
            onFound(model);
        }
    };
    for (const std::string& path : paths) {
        std::string resource;
        std::string reason;
        if (!resourcePathOf(path, roots, resource, reason)) {
            found.missing.push_back(reason);
            continue;
        }
        std::error_code ec;
        if (!resource.empty() && FS::fileSystem()->fileType(resource) == FS::FT_FILE) {
            take(resource);
            continue;
        }
        for (const std::string& root : roots) {
            const fs::path base = pathFromUtf8(root);
            const std::string baseText = pathToUtf8(base);
            const fs::path folder = resource.empty() ? base : base / pathFromUtf8(resource);
            if (!fs::is_directory(folder, ec)) {
                continue;
            }
            walkFiles(pathToUtf8(folder), [&](const std::string& file) {
                const std::string model = pathBelow(file, base, baseText);
                if (isValidatedModel(model) &&
                    std::none_of(exclude.begin(), exclude.end(),
                                 [&](const std::string& glob) { return globMatches(glob, model); })) {
                    take(model);
                }
            });
        }
    }
    std::sort(found.models.begin(), found.models.end());
    found.models.erase(std::unique(found.models.begin(), found.models.end()), found.models.end());
    return found;
}

} // namespace KX::Cli
