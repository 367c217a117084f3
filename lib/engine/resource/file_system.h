#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/core/light_mutex.h"
#include "engine/core/smart_pointer.h"
#include "engine/core/string_hash.h"
#include "engine/platform/file_stamp.h"
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
    // The absolute disk path of an existing file or folder ("" when there is
    // none) and its type, from one resolution; for callers that need both.
    // The path is the one this pass's resolutions keep: it stands until the
    // next pass or the next purge that forgets them.
    const std::string& resolveExisting(const std::string& path, RealmChoice realm, int& type) const;

    // Names of the entries of an absolute folder, sorted; cached.
    std::vector<std::string> listDirectory(const std::string& absoluteFolder) const;
    // The same names with what the listing tells of each: FT_FILE,
    // FT_DIRECTORY or FT_NOT_FOUND (neither), and kTypeUnknown for a link,
    // whose target only the disk can tell.
    static constexpr int kTypeUnknown = -2;
    struct TypedListing {
        std::vector<std::string> names;
        std::vector<int> types;
    };
    // Shared with the cache, which keeps it as long as the disk proves it.
    std::shared_ptr<const TypedListing> listDirectoryWithTypes(const std::string& absoluteFolder) const;

    struct DirectoryEntry {
        std::string name;
        bool isLink = false;
        bool isFolder = false; // links followed
        bool isFile = false;   // a regular file; links followed
    };
    struct DiskListing {
        std::vector<DirectoryEntry> entries; // in the order the disk gives them
        std::string error;                   // why the folder cannot be listed; "" when it can
    };
    // The same cached listing, in the disk's order, for walks whose results
    // follow that order.
    std::shared_ptr<const DiskListing> listInDiskOrder(const std::string& absoluteFolder) const;
    // The same listing, for a walk that finds what later passes will check:
    // it is kept (up to kMaxListedAhead folders) until a pass asks for the
    // folder, however many passes begin before that, and that pass proves it
    // against the disk like any other.
    std::shared_ptr<const DiskListing> listAhead(const std::string& absoluteFolder);
    // How many folders listed ahead are kept at most (some 600 models' worth).
    static constexpr size_t kMaxListedAhead = 4096;
    // A listing made ahead, as one process hands it to another.
    struct ListedAhead {
        std::string folder; // absolute, as listAhead was asked
        FileStamp stamp;
        int64_t readNs = 0;
        std::shared_ptr<const DiskListing> disk;
    };
    // Takes away the listings made ahead at and below an absolute folder
    // that no pass has asked for: another process checks what lies there.
    std::vector<ListedAhead> takeListedAhead(const std::string& absoluteFolder);
    // Keeps a listing another process made ahead as if it were listed here:
    // under the same bound, and proved against the disk at its first use.
    void keepListedAhead(ListedAhead listed);
    // The folder with every link resolved ("" when it does not exist); once per pass.
    std::string realFolder(const std::string& absoluteFolder) const;
    // Cached listings at, above or below `absolutePrefix` (all when empty) are
    // checked against the disk, and paths are resolved afresh when one of
    // them changed. The view (viewVersion) changes with them, or when the
    // caller found something else of the place changed (`placeChanged`: the
    // parsed-tree cache proves its own trees).
    void invalidateCache(const std::string& absolutePrefix = std::string(), bool placeChanged = true);
    // The same for several places at once: a listing that may mention more
    // than one of them is checked once.
    void invalidateCache(const std::vector<std::string>& absolutePrefixes, bool placeChanged);

    // Starts a new pass over the files (a check): the disk may have changed
    // since the last one. Within a pass each path is resolved once, misses
    // included, and each cached listing or parsed tree is checked against the
    // disk once (FileStamp); across passes a cache serves only what the disk
    // proves unchanged.
    void refresh();
    // Counts passes; caches compare it with the pass in which they last checked an entry.
    uint64_t generation() const;
    // Changes whenever anything the file system or the parsed-tree cache
    // answered may be answered differently: a new pass, forgotten resolutions,
    // a purge that finds a listing or a tree changed. While it stays, opening
    // a path again gives the same section. A change of the current realm
    // counts too.
    uint64_t viewVersion() const;

    // The disk's spelling of `path` below `root`, ignoring case; "" when no
    // entry matches. `path` components are already lexically normalised.
    std::string findIgnoringCase(const std::string& root, const std::vector<std::string>& components) const;
    // The absolute path, disk-cased, of a resource path, without realm
    // preference; "" when it does not exist in any root.
    std::string findExisting(const std::string& path) const;
    // The same, without a copy: the path is kept by this pass's resolutions,
    // so it stands until the next pass or the next purge that forgets them.
    // For a caller that only looks at it at once, on the checking thread.
    const std::string& existingOnDisk(const std::string& path) const;

  private:
    struct Listing {
        std::shared_ptr<const DiskListing> disk; // never null once indexed
        // The names sorted, and by position FT_FILE, FT_DIRECTORY or
        // FT_NOT_FOUND (neither) of an entry that is no link; a link is
        // kTypeUnknown, since only the disk can tell what it names.
        TypedListing sorted;
        // Position in `sorted.names` by lowered name, for listings too long to scan.
        std::unordered_map<std::string, size_t> byLowerName;
        FileStamp stamp;
        int64_t readNs = 0;
    };
    struct CachedListing {
        std::shared_ptr<const Listing> listing;
        uint64_t checkedIn = 0; // generation
    };
    // A folder's entries as listed, before they are indexed for lookups.
    struct Ahead {
        std::shared_ptr<const DiskListing> disk;
        FileStamp stamp;
        int64_t readNs = 0;
    };
    static Ahead readListing(const std::string& absoluteFolder);
    static std::shared_ptr<const Listing> indexed(Ahead read);
    std::shared_ptr<const Listing> listing(const std::string& absoluteFolder) const;
    std::string resolveExisting(const std::string& path, RealmChoice realm) const;
    // The same, as kept by the resolutions (a key of resolutions_ or
    // kNotFound), giving the type the listing told of what it found
    // (kTypeUnknown for a link or a miss) when `listedType` is not null.
    const std::string& resolvedKey(const std::string& path, RealmChoice realm, int* listedType) const;
    std::string resolveExistingUncached(const std::string& path, const std::string& realmCode,
                                        int& type) const;
    // A path below a root as spelled on disk ("" when missing), and what the
    // listings tell of it.
    struct Spelling {
        std::string path;
        bool isLink = false;      // the last entry is a link
        bool throughLink = false; // a folder on the way below the root is a link
        int type = kTypeUnknown;  // of a last entry that is not a link
    };
    // An existing file or folder of `root`, spelled as on disk, that stays
    // inside the roots once links are followed; "" otherwise.
    // Components are views into the path being resolved: a check resolves some
    // thirty paths, and copying each name of each cost more than looking it up.
    using Parts = std::vector<std::string_view>;
    // `type` receives what the listing tells of it, or kTypeUnknown.
    std::string existingBelow(const std::string& root, const Parts& components, int& type) const;
    Spelling findSpelling(const std::string& root, const Parts& components) const;
    // `folder/name` as spelled on disk, from the folder's listing.
    Spelling spellEntry(const std::string& folder, const Listing& entries, std::string_view name) const;
    void forgetResolutions() const;
    // The root an absolute path lies in, by its spelling alone, and the
    // components below it, as views into `generic` (the path with '/'
    // separators); false for a path outside every root.
    bool splitAbsolute(const std::string& absolute, std::string& root, std::string& generic,
                       Parts& components) const;
    bool insideRoots(const std::string& absolute, bool isLink) const;
    // Whether a path with every link resolved is a root or lies below one.
    bool underRealRoot(const std::string& real) const;
    std::string canonicalFolder(const std::string& absoluteFolder) const;
    int diskTypeOf(const std::string& absolute) const;
    // The type known of a disk path without asking the disk, else kTypeUnknown. The lock is held.
    int knownDiskType(const std::string& absolute) const;
    std::shared_ptr<const std::vector<std::string>> rootList() const;

    mutable LightMutex mutex_;
    // Replaced whole, never changed in place: a resolution reads the list it took without the lock.
    std::shared_ptr<const std::vector<std::string>> roots_ = std::make_shared<std::vector<std::string>>();
    // Read without the lock by every cache that asks which pass it is; changed under it.
    std::atomic<uint64_t> generation_{1};
    mutable std::unordered_map<std::string, CachedListing, StringHash, std::equal_to<>> listings_;
    // Listed by listAhead and not yet asked for: no pass has used them, so
    // they neither take part in purges nor go with old passes.
    mutable std::unordered_map<std::string, Ahead, StringHash, std::equal_to<>> ahead_;
    // Within one pass: folders with every link resolved, by their absolute
    // spelling; resolved paths (misses too) and disk types.
    mutable std::unordered_map<std::string, std::string, StringHash, std::equal_to<>> canonicalFolders_;
    // By the path as asked; a disk path found names itself.
    struct Resolved {
        // What the path names, as the current realm prefers it and as named:
        // null while unknown, else the key of the found disk path's own entry
        // (kept once, however many paths name it) or kNotFound.
        const std::string* preferRealm = nullptr;
        const std::string* exactName = nullptr;
        // Of what each names, as its folder's listing told (kTypeUnknown for a link or a miss).
        int preferRealmType = kTypeUnknown;
        int exactNameType = kTypeUnknown;
        // Of the disk path the key names, as its folder's listing told;
        // kTypeUnknown when no resolution found it (other paths' types are
        // asked of the disk and kept in diskTypes_).
        int diskType = kTypeUnknown;
    };
    static const std::string kNotFound;
    mutable std::unordered_map<std::string, Resolved, StringHash, std::equal_to<>> resolutions_;
    // What `path` resolved to in this view, as named (`exact`) or as the
    // current realm prefers; null when not resolved yet. The lock is held.
    const std::string* knownResolution(const std::string& path, bool exact, int* type = nullptr) const;
    mutable std::atomic<uint64_t> viewVersion_{1};
    // The current realm's code, read again when the options change.
    mutable std::string realmCode_;
    mutable std::atomic<uint64_t> realmOptionsVersion_{0};
    // Under mutex_: the realm code, forgetting resolutions made for another.
    const std::string& currentRealmCode() const;
    struct SpelledFolder {
        std::string onDisk; // "" for missing
        std::shared_ptr<const Listing> listing;
        bool throughLink = false; // one of its folders below the root is a link
    };
    mutable std::unordered_map<std::string, std::shared_ptr<const SpelledFolder>, StringHash, std::equal_to<>>
        spelledFolders_;
    // The folder holding the last of `components` below `root`, spelled as on
    // disk; `folderAsAsked` is that folder as the components spell it.
    std::shared_ptr<const SpelledFolder> spellFolder(const std::string& root, const Parts& components,
                                                     const std::string& folderAsAsked) const;
    mutable std::unordered_map<std::string, bool, StringHash, std::equal_to<>> foldersInsideRoots_;
    mutable std::unordered_map<std::string, int, StringHash, std::equal_to<>> diskTypes_;
};

// The process's file system. Inline, so that the calls the steps make by the
// hundred thousand cost a test of the guard, not a call.
inline FileSystem* fileSystem() {
    static FileSystem instance;
    return &instance;
}

// Lexical split of a resource path into components; ".." pops a component.
// Returns false when the path climbs above its start.
bool splitResourcePath(const std::string& path, std::vector<std::string>& components);

namespace Utils {

std::string getFilename(const std::string& path);
// The same, as a view into `path`.
std::string_view filenameOf(std::string_view path);
// Everything up to and including the last '/'; "" when there is none.
std::string getDirectory(const std::string& path);
std::string removeExtension(const std::string& path);
// The extension of the file name, without its dot.
std::string getExtension(const std::string& path);
// The same, as a view into `path`.
std::string_view extensionOf(std::string_view path);
// `name` in `folder`: the two joined by one '/' (none added when the folder
// ends in one), made at its size at once, as walks make one per entry.
std::string joinPath(std::string_view folder, std::string_view name);
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
// read, or it is larger than any resource file may be); `stamp`, when given,
// receives the stamp of what was read.
BinaryPtr readFileContents(const std::string& absolutePath, std::string& reason, FileStamp* stamp = nullptr);
// The contents as this check sees them: the bytes an opened section of the
// file was parsed from while the disk proves them current, else read afresh.
BinaryPtr readFileOfPass(const std::string& absolutePath, std::string& reason);
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
