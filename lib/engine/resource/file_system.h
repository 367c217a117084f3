#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/core/smart_pointer.h"
#include "engine/resource/binary_block.h"

class DataSection;
using DataSectionPtr = SmartPointer<DataSection>;

// The multi-root resource file system. Resource paths are '/'-separated and
// relative to an ordered list of roots (folders on disk); the first root that
// holds a file wins. Lookups ignore letter case when the exact spelling is
// missing, as the content's target platform does, and directory listings are
// cached to keep that cheap.
namespace FS {

enum FileType : int {
    FT_FILE = 0,
    FT_DIRECTORY = 1,
    FT_NOT_FOUND = -1,
};

// Which file a resource path names when the current realm has its own copy
// (name.REALM.ext) next to it: the copy, as the game loads it, or the file
// literally named, for tools that compare a file with its realm copies.
enum class RealmChoice {
    PreferRealm,
    ExactName,
};

class FileSystem {
  public:
    void setRoots(const std::vector<std::string>& roots);
    void addRoot(const std::string& root);
    std::vector<std::string> roots() const;

    // Absolute disk path of a resource path: the first root holding it (in
    // the disk's letter case), else the path below the first root. Nothing
    // outside the roots is ever resolved, opened or even looked at: an
    // absolute path resolves only when it lies in a root, a file or folder
    // reached through a link only when its target lies in a root too, and a
    // path that climbs out of the roots gives "".
    std::string resolveFilename(const std::string& path, RealmChoice realm = RealmChoice::PreferRealm) const;
    // Resource path of an absolute path inside a root; other paths unchanged.
    std::string dissolveFilename(const std::string& absolutePath) const;
    // Whether the disk entry an absolute path names, with every link on the
    // way followed, lies inside one of the roots. False for a missing entry.
    bool isInsideRoots(const std::string& absolutePath) const;
    // FT_FILE, FT_DIRECTORY or FT_NOT_FOUND, for resource or absolute paths.
    int fileType(const std::string& path, RealmChoice realm = RealmChoice::PreferRealm) const;

    // Names of the entries of an absolute folder, sorted; cached.
    std::vector<std::string> listDirectory(const std::string& absoluteFolder) const;
    // Forgets cached listings at or below `absolutePrefix` (all when empty).
    void invalidateCache(const std::string& absolutePrefix = std::string());

    // The disk's spelling of `path` below `root`, ignoring case; "" when no
    // entry matches. `path` components are already lexically normalised.
    std::string findIgnoringCase(const std::string& root, const std::vector<std::string>& components) const;
    // The absolute path, disk-cased, of a resource path, without realm
    // preference; "" when it does not exist in any root.
    std::string findExisting(const std::string& path) const;

  private:
    struct Listing {
        std::vector<std::string> names;
        std::unordered_map<std::string, std::string> byLowerName;
    };
    std::shared_ptr<const Listing> listing(const std::string& absoluteFolder) const;
    std::string resolveExisting(const std::string& path, RealmChoice realm) const;
    // An existing file or folder of `root`, spelled as on disk, that stays
    // inside the roots once links are followed; "" otherwise.
    std::string existingBelow(const std::string& root, const std::vector<std::string>& components) const;
    // The root an absolute path lies in, by its spelling alone, and the
    // components below it; false for a path outside every root.
    bool splitAbsolute(const std::string& absolute, std::string& root,
                       std::vector<std::string>& components) const;
    bool insideRoots(const std::string& absolute) const;
    std::string canonicalFolder(const std::string& absoluteFolder) const;

    mutable std::mutex mutex_;
    std::vector<std::string> roots_;
    mutable std::unordered_map<std::string, std::shared_ptr<const Listing>> listings_;
    // Folders with every link resolved, by their absolute spelling.
    mutable std::unordered_map<std::string, std::string> canonicalFolders_;
};

FileSystem* fileSystem();

// Lexical split of a resource path into components; ".." pops a component.
// Returns false when the path climbs above its start.
bool splitResourcePath(const std::string& path, std::vector<std::string>& components);

namespace Utils {

std::string getFilename(const std::string& path);
// Everything up to and including the last '/'; "" when there is none.
std::string getDirectory(const std::string& path);
std::string removeExtension(const std::string& path);
// The extension of the file name, without its dot.
std::string getExtension(const std::string& path);
// `extension` is given with its dot.
std::string changeExtension(const std::string& path, const std::string& extension);
// '/'- or '\'-rooted paths and drive-letter paths (D:/x, D:\x), on every platform.
bool isAbsolute(const std::string& path);
bool isRelative(const std::string& path);

void resolveToAbsolutePath(std::string& path);
void resolveToAbsolutePath(std::wstring& path);
// The absolute path as spelled on disk (realm variant preferred); for a
// missing file the resolved path as far as it exists.
std::string resolveAndCorrectCaseOfPath(const std::string& path);
bool fileExists(const std::string& path);
bool directoryExists(const std::string& path);

// The whole contents of a disk file, or null and the reason (it cannot be
// read, or it is larger than any resource file may be).
BinaryPtr readFileContents(const std::string& absolutePath, std::string& reason);
// Root section of a file (XML or binary container), a folder section, or null.
DataSectionPtr openSection(const std::string& path, bool makeNewSection = false);
DataSectionPtr openSection(const std::string& path, RealmChoice realm);

} // namespace Utils

namespace EditorUtils {
// True when `path` is spelled as on disk (or does not exist); otherwise false
// with the disk's absolute spelling in `correct`.
bool isAbsolutePathValidCase(const std::string& path, std::string& correct);
} // namespace EditorUtils

} // namespace FS
