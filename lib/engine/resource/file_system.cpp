#include "engine/resource/file_system.h"
#include "engine/platform/utf8_path.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "engine/core/ascii_case.h"
#include "engine/platform/folder_listing.h"
#include "engine/settings/options.h"

namespace fs = std::filesystem;

namespace FS {
namespace {

// Most folders of a model hold a handful of entries: their names are compared
// ignoring case one by one, and only larger listings keep an index of lowered names.
constexpr size_t kScannedListing = 16;

std::string toGeneric(const std::string& path) {
    std::string result = path;
    // Back slashes are rare: looked for at the speed of a byte search.
    for (size_t at = result.find('\\'); at != std::string::npos; at = result.find('\\', at + 1)) {
        result[at] = '/';
    }
    return result;
}

std::string stripTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

// A folder as the listings key it: generic separators, no trailing slash.
// Nearly every folder asked for already is, and is used as it stands; any
// other is made so in `buffer`.
const std::string& folderKey(const std::string& folder, std::string& buffer) {
    if (folder.find('\\') == std::string::npos && (folder.size() <= 1 || folder.back() != '/')) {
        return folder;
    }
    buffer = stripTrailingSlashes(toGeneric(folder));
    return buffer;
}

int diskType(const std::string& absolute) {
    std::error_code ec;
    fs::file_status status = fs::status(pathFromUtf8(absolute), ec);
    if (ec) {
        return FT_NOT_FOUND;
    }
    if (fs::is_regular_file(status)) {
        return FT_FILE;
    }
    if (fs::is_directory(status)) {
        return FT_DIRECTORY;
    }
    return FT_NOT_FOUND;
}

std::string joinComponents(const std::string& root, const std::vector<std::string_view>& components) {
    std::string result = root;
    for (std::string_view c : components) {
        result += '/';
        result += c;
    }
    return result;
}

// Lexical split into views of `path`; ".." pops a component. False when the
// path climbs above its start. Every path a check asks about passes here first.
bool splitIntoViews(std::string_view path, std::vector<std::string_view>& components) {
    components.clear();
    components.reserve(8);
    // Separators are found by a byte search; a path with back slashes (rare)
    // is searched for both.
    const bool backSlashes = path.find('\\') != std::string::npos;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = backSlashes ? path.find_first_of("/\\", start) : path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        const std::string_view part(path.data() + start, end - start);
        if (part == "..") {
            if (components.empty()) {
                return false;
            }
            components.pop_back();
        } else if (!part.empty() && part != ".") {
            components.push_back(part);
        }
        start = end + 1;
    }
    return true;
}

} // namespace

bool splitResourcePath(const std::string& path, std::vector<std::string>& components) {
    std::vector<std::string_view> views;
    const bool inside = splitIntoViews(path, views);
    components.assign(views.begin(), views.end());
    return inside;
}

void FileSystem::setRoots(const std::vector<std::string>& roots) {
    auto list = std::make_shared<std::vector<std::string>>();
    for (const std::string& root : roots) {
        list->push_back(stripTrailingSlashes(toGeneric(root)));
    }
    std::lock_guard<LightMutex> lock(mutex_);
    roots_ = std::move(list);
    listings_.clear();
    ahead_.clear();
    forgetResolutions();
}

void FileSystem::addRoot(const std::string& root) {
    std::lock_guard<LightMutex> lock(mutex_);
    auto list = std::make_shared<std::vector<std::string>>(*roots_);
    list->push_back(stripTrailingSlashes(toGeneric(root)));
    roots_ = std::move(list);
    forgetResolutions();
}

std::vector<std::string> FileSystem::roots() const {
    return *rootList();
}

std::shared_ptr<const std::vector<std::string>> FileSystem::rootList() const {
    std::lock_guard<LightMutex> lock(mutex_);
    return roots_;
}

void FileSystem::forgetResolutions() const {
    viewVersion_.fetch_add(1, std::memory_order_acq_rel);
    canonicalFolders_.clear();
    spelledFolders_.clear();
    foldersInsideRoots_.clear();
    resolutions_.clear();
    diskTypes_.clear();
}

void FileSystem::refresh() {
    std::lock_guard<LightMutex> lock(mutex_);
    ++generation_;
    forgetResolutions();
    // Listings of folders no longer visited go, so that memory does not grow
    // with the size of the tree.
    for (auto it = listings_.begin(); it != listings_.end();) {
        it = it->second.checkedIn + 1 < generation_ ? listings_.erase(it) : std::next(it);
    }
}

uint64_t FileSystem::generation() const {
    return generation_.load(std::memory_order_acquire);
}

uint64_t FileSystem::viewVersion() const {
    if (Options::version() != realmOptionsVersion_.load(std::memory_order_acquire)) {
        std::lock_guard<LightMutex> lock(mutex_);
        currentRealmCode();
    }
    return viewVersion_.load(std::memory_order_acquire);
}

FileSystem::Ahead FileSystem::readListing(const std::string& absoluteFolder) {
    Ahead read;
    auto disk = std::make_shared<DiskListing>();
    // Stamped by the listing before its entries are read, so that a change
    // while the folder is listed moves its time.
    read.readNs = fileClockNowNs();
    std::vector<Platform::FolderEntry> entries;
    // The reason is set only when the folder cannot be listed.
    Platform::listFolder(absoluteFolder, entries, disk->error, &read.stamp);
    disk->entries.reserve(entries.size());
    for (Platform::FolderEntry& found : entries) {
        disk->entries.push_back({std::move(found.name), found.isLink, found.isFolder, found.isFile});
    }
    read.disk = std::move(disk);
    return read;
}

std::shared_ptr<const FileSystem::Listing> FileSystem::indexed(Ahead read) {
    auto result = std::make_shared<Listing>();
    result->stamp = read.stamp;
    result->readNs = read.readNs;
    std::vector<const DirectoryEntry*> sorted;
    sorted.reserve(read.disk->entries.size());
    for (const DirectoryEntry& found : read.disk->entries) {
        sorted.push_back(&found);
    }
    std::sort(sorted.begin(), sorted.end(),
              [](const DirectoryEntry* a, const DirectoryEntry* b) { return a->name < b->name; });
    result->sorted.names.reserve(sorted.size());
    result->sorted.types.reserve(sorted.size());
    for (const DirectoryEntry* found : sorted) {
        if (sorted.size() > kScannedListing) {
            result->byLowerName.emplace(AsciiCase::toLower(found->name), result->sorted.names.size());
        }
        result->sorted.names.push_back(found->name);
        // The listing knows the type of all but links; asking the disk again
        // per file would cost a call.
        result->sorted.types.push_back(found->isLink     ? kTypeUnknown
                                       : found->isFile   ? FT_FILE
                                       : found->isFolder ? FT_DIRECTORY
                                                         : FT_NOT_FOUND);
    }
    result->disk = std::move(read.disk);
    return result;
}

std::shared_ptr<const FileSystem::Listing> FileSystem::listing(const std::string& absoluteFolder) const {
    std::shared_ptr<const Listing> known;
    Ahead ahead;
    {
        std::lock_guard<LightMutex> lock(mutex_);
        if (auto it = listings_.find(absoluteFolder); it != listings_.end()) {
            if (it->second.checkedIn == generation_) {
                return it->second.listing;
            }
            known = it->second.listing;
        } else if (auto early = ahead_.find(absoluteFolder); early != ahead_.end()) {
            ahead = std::move(early->second);
            ahead_.erase(early);
        }
    }
    // What was listed before is asked for the folder's stamp alone.
    const auto unchanged = [&](const FileStamp& stamp, int64_t readNs) {
        return stampProvesContent(stamp, readNs) && stamp == fileStamp(absoluteFolder);
    };
    if (known && !unchanged(known->stamp, known->readNs)) {
        known = nullptr;
    }
    if (!known) {
        if (!ahead.disk || !unchanged(ahead.stamp, ahead.readNs)) {
            ahead = readListing(absoluteFolder);
        }
        known = indexed(std::move(ahead));
    }
    std::lock_guard<LightMutex> lock(mutex_);
    listings_[absoluteFolder] = CachedListing{known, generation_};
    return known;
}

std::vector<std::string> FileSystem::listDirectory(const std::string& absoluteFolder) const {
    std::string buffer;
    return listing(folderKey(absoluteFolder, buffer))->sorted.names;
}

std::shared_ptr<const FileSystem::TypedListing>
FileSystem::listDirectoryWithTypes(const std::string& absoluteFolder) const {
    std::string buffer;
    std::shared_ptr<const Listing> known = listing(folderKey(absoluteFolder, buffer));
    const TypedListing* typed = &known->sorted;
    return std::shared_ptr<const TypedListing>(std::move(known), typed);
}

std::shared_ptr<const FileSystem::DiskListing>
FileSystem::listInDiskOrder(const std::string& absoluteFolder) const {
    std::string buffer;
    return listing(folderKey(absoluteFolder, buffer))->disk;
}

std::shared_ptr<const FileSystem::DiskListing> FileSystem::listAhead(const std::string& absoluteFolder) {
    std::string buffer;
    const std::string& folder = folderKey(absoluteFolder, buffer);
    bool inUse = false;
    {
        std::lock_guard<LightMutex> lock(mutex_);
        if (auto early = ahead_.find(folder); early != ahead_.end()) {
            return early->second.disk;
        }
        inUse = listings_.count(folder) != 0;
    }
    if (inUse) {
        // Already kept for the passes: the usual proof applies.
        return listing(folder)->disk;
    }
    Ahead read = readListing(folder);
    std::shared_ptr<const DiskListing> disk = read.disk;
    std::lock_guard<LightMutex> lock(mutex_);
    // Past the bound a walk's listings are not kept: memory stays the same
    // whatever the size of the tree, and the checks list those folders themselves.
    if (ahead_.size() < kMaxListedAhead) {
        ahead_.emplace(folder, std::move(read));
    }
    return disk;
}

std::vector<FileSystem::ListedAhead> FileSystem::takeListedAhead(const std::string& absoluteFolder) {
    // The folders below are those the listings taken name, so only folders
    // that were listed are looked up.
    std::vector<ListedAhead> taken;
    std::vector<std::string> pending{stripTrailingSlashes(toGeneric(absoluteFolder))};
    std::lock_guard<LightMutex> lock(mutex_);
    while (!pending.empty()) {
        const std::string folder = std::move(pending.back());
        pending.pop_back();
        const auto it = ahead_.find(folder);
        if (it == ahead_.end()) {
            continue;
        }
        for (const DirectoryEntry& entry : it->second.disk->entries) {
            if (entry.isFolder && !entry.isLink) {
                pending.push_back(Utils::joinPath(folder, entry.name));
            }
        }
        taken.push_back({folder, it->second.stamp, it->second.readNs, std::move(it->second.disk)});
        ahead_.erase(it);
    }
    return taken;
}

void FileSystem::keepListedAhead(ListedAhead listed) {
    if (!listed.disk) {
        return;
    }
    const std::string folder = stripTrailingSlashes(toGeneric(listed.folder));
    std::lock_guard<LightMutex> lock(mutex_);
    if (ahead_.size() < kMaxListedAhead && listings_.count(folder) == 0) {
        ahead_.emplace(folder, Ahead{std::move(listed.disk), listed.stamp, listed.readNs});
    }
}

std::string FileSystem::realFolder(const std::string& absoluteFolder) const {
    // A folder spelled as on disk and reached through no link lies where its
    // root really lies: the listings say so without a call per component.
    std::string root;
    std::string generic;
    Parts components;
    if (splitAbsolute(absoluteFolder, root, generic, components) && !components.empty()) {
        const Spelling found = findSpelling(root, components);
        if (found.type == FT_DIRECTORY && !found.isLink && !found.throughLink &&
            found.path == stripTrailingSlashes(toGeneric(absoluteFolder))) {
            const std::string realRoot = canonicalFolder(root);
            if (!realRoot.empty()) {
                return (realRoot == "/" ? std::string() : realRoot) + found.path.substr(root.size());
            }
        }
    }
    return canonicalFolder(absoluteFolder);
}

void FileSystem::invalidateCache(const std::string& absolutePrefix, bool placeChanged) {
    if (absolutePrefix.empty()) {
        std::lock_guard<LightMutex> lock(mutex_);
        // Everything: a new pass, in which every cache checks its entries again.
        viewVersion_.fetch_add(1, std::memory_order_acq_rel);
        forgetResolutions();
        ++generation_;
        return;
    }
    invalidateCache(std::vector<std::string>{absolutePrefix}, placeChanged);
}

void FileSystem::invalidateCache(const std::vector<std::string>& absolutePrefixes, bool placeChanged) {
    std::vector<std::string> prefixes;
    for (const std::string& place : absolutePrefixes) {
        if (place.empty()) {
            invalidateCache(std::string(), placeChanged);
            return;
        }
        prefixes.push_back(stripTrailingSlashes(toGeneric(place)));
    }
    std::lock_guard<LightMutex> lock(mutex_);
    if (placeChanged) {
        viewVersion_.fetch_add(1, std::memory_order_acq_rel);
    }
    // A resolution reads nothing but listings, so while every listing that
    // may mention a place is proved unchanged the pass's resolutions stand.
    bool listingsUnchanged = true;
    for (auto& [folder, cached] : listings_) {
        // A folder's own listing and those of its parents may mention it.
        const std::string& listed = folder;
        const bool mentions = std::any_of(prefixes.begin(), prefixes.end(), [&](const std::string& prefix) {
            return listed.compare(0, prefix.size(), prefix) == 0 ||
                   prefix.compare(0, listed.size(), listed) == 0;
        });
        if (!mentions) {
            continue;
        }
        const Listing& known = *cached.listing;
        if (stampProvesContent(known.stamp, known.readNs) && known.stamp == fileStamp(folder)) {
            cached.checkedIn = generation_;
        } else {
            cached.checkedIn = 0;
            listingsUnchanged = false;
        }
    }
    if (!listingsUnchanged) {
        // Links may have been retargeted and entries added or removed anywhere below.
        forgetResolutions();
    }
}

FileSystem::Spelling FileSystem::findSpelling(const std::string& root, const Parts& components) const {
    if (components.empty()) {
        return Spelling{root};
    }
    // The folder is spelled once per pass, however many of its files are
    // asked for. Its name as asked is made in a buffer kept for the next path.
    thread_local std::string folderAsAsked;
    folderAsAsked.assign(root);
    for (size_t i = 0; i + 1 < components.size(); ++i) {
        folderAsAsked += '/';
        folderAsAsked += components[i];
    }
    std::shared_ptr<const SpelledFolder> folder;
    {
        std::lock_guard<LightMutex> lock(mutex_);
        auto it = spelledFolders_.find(folderAsAsked);
        if (it != spelledFolders_.end()) {
            folder = it->second;
        }
    }
    if (!folder) {
        folder = spellFolder(root, components, folderAsAsked);
    }
    if (folder->onDisk.empty()) {
        return {};
    }
    Spelling found = spellEntry(folder->onDisk, *folder->listing, components.back());
    found.throughLink = folder->throughLink;
    return found;
}

std::shared_ptr<const FileSystem::SpelledFolder>
FileSystem::spellFolder(const std::string& root, const Parts& components,
                        const std::string& folderAsAsked) const {
    // Where the root and each folder below it on the way end in the path as asked.
    const size_t depth = components.size() - 1;
    std::vector<size_t> ends(depth + 1, root.size());
    for (size_t k = 1; k <= depth; ++k) {
        ends[k] = ends[k - 1] + 1 + components[k - 1].size();
    }
    // Spelling goes on from the deepest folder on the way this pass has
    // spelled, and keeps every folder it spells for the paths that follow.
    std::shared_ptr<const SpelledFolder> folder;
    size_t spelled = 0;
    {
        std::lock_guard<LightMutex> lock(mutex_);
        for (size_t k = depth; k-- > 0 && !folder;) {
            auto it = spelledFolders_.find(std::string_view(folderAsAsked).substr(0, ends[k]));
            if (it != spelledFolders_.end()) {
                folder = it->second;
                spelled = k;
            }
        }
    }
    if (!folder) {
        auto top = std::make_shared<SpelledFolder>();
        top->onDisk = root;
        top->listing = listing(root);
        folder = top;
        std::lock_guard<LightMutex> lock(mutex_);
        spelledFolders_.emplace(root, std::move(top));
    }
    for (size_t k = spelled; k < depth; ++k) {
        auto next = std::make_shared<SpelledFolder>();
        if (!folder->onDisk.empty()) {
            Spelling entry = spellEntry(folder->onDisk, *folder->listing, components[k]);
            next->onDisk = std::move(entry.path);
            next->throughLink = folder->throughLink || entry.isLink;
            if (!next->onDisk.empty()) {
                next->listing = listing(next->onDisk);
            }
        }
        folder = next;
        std::lock_guard<LightMutex> lock(mutex_);
        spelledFolders_.emplace(folderAsAsked.substr(0, ends[k + 1]), std::move(next));
    }
    return folder;
}

FileSystem::Spelling FileSystem::spellEntry(const std::string& folder, const Listing& entries,
                                            std::string_view name) const {
    const std::vector<std::string>& names = entries.sorted.names;
    size_t index = 0;
    const auto exact = std::lower_bound(names.begin(), names.end(), name);
    if (exact != names.end() && *exact == name) {
        index = static_cast<size_t>(exact - names.begin());
    } else {
        if (names.size() > kScannedListing) {
            auto it = entries.byLowerName.find(AsciiCase::toLower(std::string(name)));
            if (it == entries.byLowerName.end()) {
                return {};
            }
            index = it->second;
        } else {
            // In name order, as the index keeps the first of names that differ only in case.
            const auto it = std::find_if(names.begin(), names.end(), [name](const std::string& entry) {
                return AsciiCase::equalIgnoringCase(entry, name);
            });
            if (it == names.end()) {
                return {};
            }
            index = static_cast<size_t>(it - names.begin());
        }
    }
    Spelling entry;
    entry.path.reserve(folder.size() + 1 + names[index].size());
    entry.path.append(folder).append(1, '/').append(names[index]);
    entry.isLink = entries.sorted.types[index] == kTypeUnknown;
    entry.type = entries.sorted.types[index];
    return entry;
}

std::string FileSystem::findIgnoringCase(const std::string& root,
                                         const std::vector<std::string>& components) const {
    return findSpelling(root, Parts(components.begin(), components.end())).path;
}

std::string FileSystem::canonicalFolder(const std::string& absoluteFolder) const {
    {
        std::lock_guard<LightMutex> lock(mutex_);
        auto it = canonicalFolders_.find(absoluteFolder);
        if (it != canonicalFolders_.end()) {
            return it->second;
        }
    }
    std::error_code ec;
    const fs::path real = fs::canonical(pathFromUtf8(absoluteFolder), ec);
    const std::string result = ec ? std::string() : toGeneric(pathToUtf8(real));
    std::lock_guard<LightMutex> lock(mutex_);
    canonicalFolders_[absoluteFolder] = result;
    return result;
}

bool FileSystem::insideRoots(const std::string& absolute, bool isLink) const {
    // The folder holding the entry is resolved once per pass; only a link as
    // the last component needs resolving on its own.
    const size_t slash = absolute.rfind('/');
    std::string real;
    if (isLink) {
        std::error_code ec;
        const fs::path target = fs::canonical(pathFromUtf8(absolute), ec);
        real = ec ? std::string() : toGeneric(pathToUtf8(target));
    } else if (slash != std::string::npos) {
        const std::string holder = slash == 0 ? "/" : absolute.substr(0, slash);
        // Everything in a folder inside a root is inside too; asked once per folder and pass.
        {
            std::lock_guard<LightMutex> lock(mutex_);
            auto it = foldersInsideRoots_.find(holder);
            if (it != foldersInsideRoots_.end() && it->second) {
                return true;
            }
        }
        const std::string folder = canonicalFolder(holder);
        real = folder.empty() ? std::string() : stripTrailingSlashes(folder) + absolute.substr(slash);
        if (!folder.empty()) {
            const bool inside = underRealRoot(stripTrailingSlashes(folder));
            std::lock_guard<LightMutex> lock(mutex_);
            foldersInsideRoots_[holder] = inside;
            if (inside) {
                return true;
            }
        }
    }
    return !real.empty() && underRealRoot(real);
}

bool FileSystem::underRealRoot(const std::string& real) const {
    for (const std::string& root : *rootList()) {
        const std::string realRoot = canonicalFolder(root);
        if (!realRoot.empty() && (real == realRoot || (real.size() > realRoot.size() &&
                                                       real.compare(0, realRoot.size(), realRoot) == 0 &&
                                                       real[realRoot.size()] == '/'))) {
            return true;
        }
    }
    return false;
}

std::string FileSystem::existingBelow(const std::string& root, const Parts& components, int& type) const {
    // The listings answer existence, spelling and type alike, so that a miss
    // (a realm copy that is not there) costs no call to the disk, and a path
    // without links below its root lies inside it without asking the disk.
    Spelling found = findSpelling(root, components);
    if (found.path.empty() ||
        ((found.isLink || found.throughLink) && !insideRoots(found.path, found.isLink))) {
        return {};
    }
    // What a link names only the disk can tell.
    type = found.isLink ? kTypeUnknown : found.type;
    return std::move(found.path);
}

bool FileSystem::splitAbsolute(const std::string& absolute, std::string& root, std::string& generic,
                               Parts& components) const {
    generic = toGeneric(absolute);
    const std::shared_ptr<const std::vector<std::string>> roots = rootList();
    for (bool ignoreCase : {false, true}) {
        for (const std::string& candidate : *roots) {
            if (generic.size() < candidate.size() ||
                (generic.size() > candidate.size() && generic[candidate.size()] != '/')) {
                continue;
            }
            const std::string_view head(generic.data(), candidate.size());
            if (head == candidate || (ignoreCase && AsciiCase::equalIgnoringCase(head, candidate))) {
                root = candidate;
                return splitIntoViews(std::string_view(generic).substr(candidate.size()), components);
            }
        }
    }
    return false;
}

const std::string& FileSystem::currentRealmCode() const {
    const uint64_t version = Options::version();
    if (version != realmOptionsVersion_) {
        std::string code = Options::getOptionString("realm/currentRealm", "");
        if (code != realmCode_) {
            forgetResolutions();
            realmCode_ = std::move(code);
        }
        realmOptionsVersion_ = version;
    }
    return realmCode_;
}

const std::string FileSystem::kNotFound;

const std::string* FileSystem::knownResolution(const std::string& path, bool exact, int* type) const {
    const auto it = resolutions_.find(path);
    if (it == resolutions_.end()) {
        return nullptr;
    }
    const Resolved& known = it->second;
    const std::string* found = exact ? known.exactName : known.preferRealm;
    if (found && type) {
        *type = exact ? known.exactNameType : known.preferRealmType;
    }
    return found;
}

std::string FileSystem::resolveExisting(const std::string& path, RealmChoice realm) const {
    return resolvedKey(path, realm, nullptr);
}

const std::string& FileSystem::resolvedKey(const std::string& path, RealmChoice realm,
                                           int* listedType) const {
    std::string code;
    {
        std::lock_guard<LightMutex> lock(mutex_);
        // Without a realm both choices name the same file. The code is copied
        // only for a path not resolved yet: most paths are asked again.
        const bool exact = realm != RealmChoice::PreferRealm || currentRealmCode().empty();
        if (const std::string* known = knownResolution(path, exact, listedType)) {
            return *known;
        }
        if (!exact) {
            code = currentRealmCode();
        }
    }
    int type = kTypeUnknown;
    std::string found = resolveExistingUncached(path, code, type);
    if (listedType) {
        *listedType = type;
    }
    std::lock_guard<LightMutex> lock(mutex_);
    // A disk path found is kept once, as the key of its own entry: checks go
    // on to ask about the disk path itself, which names itself, and about its
    // type, which the listing told.
    const std::string* answer = &kNotFound;
    if (!found.empty()) {
        const auto self = resolutions_.try_emplace(std::move(found)).first;
        Resolved& own = self->second;
        answer = &self->first;
        if (!own.exactName) {
            own.exactName = answer;
            own.exactNameType = type;
        }
        if (type != kTypeUnknown) {
            own.diskType = type;
        }
    }
    Resolved& entry = resolutions_[path];
    if (code.empty()) {
        entry.exactName = answer;
        entry.exactNameType = type;
    } else {
        entry.preferRealm = answer;
        entry.preferRealmType = type;
    }
    return *answer;
}

const std::string& FileSystem::resolveExisting(const std::string& path, RealmChoice realm, int& type) const {
    int listed = kTypeUnknown;
    const std::string& found =
        resolvedKey(path, Utils::isAbsolute(path) ? RealmChoice::ExactName : realm, &listed);
    type = found.empty() ? FT_NOT_FOUND : listed != kTypeUnknown ? listed : diskTypeOf(found);
    return found;
}

std::string FileSystem::resolveExistingUncached(const std::string& path, const std::string& code,
                                                int& type) const {
    if (Utils::isAbsolute(path)) {
        std::string root;
        std::string generic;
        Parts components;
        return splitAbsolute(path, root, generic, components) ? existingBelow(root, components, type)
                                                              : std::string();
    }
    // The views of a path asked for the first time, in a list kept for the
    // next one: a resolution needs none of them once it has its answer.
    thread_local Parts components;
    if (!splitIntoViews(path, components) || components.empty()) {
        return {};
    }
    const std::shared_ptr<const std::vector<std::string>> roots = rootList();
    const auto firstBelowARoot = [&](const Parts& candidate) {
        for (const std::string& root : *roots) {
            std::string found = existingBelow(root, candidate, type);
            if (!found.empty()) {
                return found;
            }
        }
        return std::string();
    };
    if (!code.empty()) {
        const std::string_view ext = Utils::extensionOf(components.back());
        if (!ext.empty()) {
            // The realm's copy first, under every root, then the file as named.
            const std::string_view asNamed = components.back();
            std::string copy(asNamed.substr(0, asNamed.size() - ext.size()));
            copy.append(code).append(1, '.').append(ext);
            components.back() = copy;
            std::string found = firstBelowARoot(components);
            if (!found.empty()) {
                return found;
            }
            components.back() = asNamed;
        }
    }
    return firstBelowARoot(components);
}

int FileSystem::knownDiskType(const std::string& absolute) const {
    if (const auto resolved = resolutions_.find(absolute);
        resolved != resolutions_.end() && resolved->second.diskType != kTypeUnknown) {
        return resolved->second.diskType;
    }
    const auto asked = diskTypes_.find(absolute);
    return asked == diskTypes_.end() ? kTypeUnknown : asked->second;
}

int FileSystem::diskTypeOf(const std::string& absolute) const {
    {
        std::lock_guard<LightMutex> lock(mutex_);
        if (const int known = knownDiskType(absolute); known != kTypeUnknown) {
            return known;
        }
    }
    const int type = diskType(absolute);
    std::lock_guard<LightMutex> lock(mutex_);
    diskTypes_.emplace(absolute, type);
    return type;
}

std::string FileSystem::findExisting(const std::string& path) const {
    return resolveExisting(path, RealmChoice::ExactName);
}

const std::string& FileSystem::existingOnDisk(const std::string& path) const {
    return resolvedKey(path, RealmChoice::ExactName, nullptr);
}

std::string FileSystem::resolveFilename(const std::string& path, RealmChoice realm) const {
    if (Utils::isAbsolute(path)) {
        std::string root;
        std::string generic;
        Parts components;
        if (!splitAbsolute(path, root, generic, components)) {
            return {};
        }
        const std::string found = findExisting(path);
        return found.empty() ? joinComponents(root, components) : found;
    }
    std::string found = resolveExisting(path, realm);
    if (!found.empty()) {
        return found;
    }
    Parts components;
    if (!splitIntoViews(path, components)) {
        return {};
    }
    const std::vector<std::string> rootList = roots();
    if (rootList.empty()) {
        return joinComponents(".", components);
    }
    return joinComponents(rootList.front(), components);
}

std::string FileSystem::dissolveFilename(const std::string& absolutePath) const {
    const std::string generic = toGeneric(absolutePath);
    const std::vector<std::string> rootList = roots();
    for (bool ignoreCase : {false, true}) {
        for (const std::string& root : rootList) {
            if (generic.size() <= root.size() + 1 || generic[root.size()] != '/') {
                continue;
            }
            std::string head = generic.substr(0, root.size());
            if (head == root || (ignoreCase && AsciiCase::toLower(head) == AsciiCase::toLower(root))) {
                return generic.substr(root.size() + 1);
            }
        }
    }
    return absolutePath;
}

bool FileSystem::isInsideRoots(const std::string& absolutePath) const {
    std::error_code ec;
    const fs::path target = fs::canonical(pathFromUtf8(absolutePath), ec);
    if (ec) {
        return false;
    }
    const std::string targetText = pathToUtf8(target);
    for (const std::string& root : roots()) {
        const fs::path rootPath = fs::canonical(pathFromUtf8(root), ec);
        if (ec) {
            continue;
        }
        const std::string rootText = stripTrailingSlashes(pathToUtf8(rootPath));
        // Drive letters and folder names may differ in case on disks that ignore it.
        const std::string head = targetText.substr(0, rootText.size());
        const bool sameHead = head == rootText || AsciiCase::toLower(head) == AsciiCase::toLower(rootText);
        if (sameHead && (targetText.size() == rootText.size() || targetText[rootText.size()] == '/')) {
            return true;
        }
    }
    return false;
}

int FileSystem::fileType(const std::string& path, RealmChoice realm) const {
    if (path.empty()) {
        return FT_NOT_FOUND;
    }
    {
        // Steps ask for the type of paths resolved before: answered without
        // copying the disk path the resolution found.
        std::lock_guard<LightMutex> lock(mutex_);
        const bool exact =
            Utils::isAbsolute(path) || realm == RealmChoice::ExactName || currentRealmCode().empty();
        int listed = kTypeUnknown;
        if (const std::string* found = knownResolution(path, exact, &listed)) {
            if (found->empty()) {
                return FT_NOT_FOUND;
            }
            if (listed != kTypeUnknown) {
                return listed;
            }
            if (const int known = knownDiskType(*found); known != kTypeUnknown) {
                return known;
            }
        }
    }
    int type = FT_NOT_FOUND;
    resolveExisting(path, realm, type);
    return type;
}

namespace Utils {

std::string getFilename(const std::string& path) {
    return std::string(filenameOf(path));
}

std::string_view filenameOf(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string getDirectory(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

namespace {

// Where the extension's dot of the file name lies: the last dot after the last
// '/', looked for from the end only as far as the name goes.
size_t extensionDot(std::string_view path) {
    for (size_t i = path.size(); i-- > 0;) {
        if (path[i] == '.') {
            return i;
        }
        if (path[i] == '/') {
            break;
        }
    }
    return std::string::npos;
}

} // namespace

std::string removeExtension(const std::string& path) {
    const size_t dot = extensionDot(path);
    return dot == std::string::npos ? path : path.substr(0, dot);
}

std::string getExtension(const std::string& path) {
    return std::string(extensionOf(path));
}

std::string_view extensionOf(std::string_view path) {
    const size_t dot = extensionDot(path);
    return dot == std::string_view::npos ? std::string_view() : path.substr(dot + 1);
}

std::string joinPath(std::string_view folder, std::string_view name) {
    const bool slash = folder.empty() || folder.back() != '/';
    std::string path;
    path.reserve(folder.size() + (slash ? 1 : 0) + name.size());
    path.append(folder);
    if (slash) {
        path += '/';
    }
    path.append(name);
    return path;
}

std::string changeExtension(const std::string& path, const std::string& extension) {
    return removeExtension(path) + extension;
}

bool isAbsolute(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    if (path[0] == '/' || path[0] == '\\') {
        return true;
    }
    // A drive letter is an ASCII letter whatever the host's locale.
    return path.size() >= 3 && AsciiCase::isLetter(path[0]) && path[1] == ':' &&
           (path[2] == '/' || path[2] == '\\');
}

bool isRelative(const std::string& path) {
    return !isAbsolute(path);
}

void resolveToAbsolutePath(std::string& path) {
    if (isRelative(path)) {
        path = fileSystem()->resolveFilename(path);
    }
}

void resolveToAbsolutePath(std::wstring& path) {
    std::string narrow = pathToUtf8(fs::path(path));
    resolveToAbsolutePath(narrow);
    path = pathFromUtf8(narrow).wstring();
}

std::string resolveAndCorrectCaseOfPath(const std::string& path) {
    if (isAbsolute(path)) {
        std::string found = fileSystem()->findExisting(path);
        return found.empty() ? toGeneric(path) : found;
    }
    return fileSystem()->resolveFilename(path);
}

bool fileExists(const std::string& path) {
    return fileSystem()->fileType(path) == FT_FILE;
}

bool directoryExists(const std::string& path) {
    return fileSystem()->fileType(path) == FT_DIRECTORY;
}

} // namespace Utils

namespace EditorUtils {
namespace {

// A relative path of names joined by single '/', none of them "." or "..":
// splitting it would give its own names back.
bool isPlainRelativePath(const std::string& path) {
    if (path.empty() || path.front() == '/' || path.back() == '/' || Utils::isAbsolute(path)) {
        return false;
    }
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = std::min(path.find('/', start), path.size());
        const std::string_view name(path.data() + start, end - start);
        if (name.empty() || name == "." || name == ".." || name.find('\\') != std::string_view::npos) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

} // namespace

bool isAbsolutePathValidCase(const std::string& path, std::string& correct) {
    const std::string& onDisk = fileSystem()->existingOnDisk(path);
    if (onDisk.empty()) {
        return true;
    }
    // Compare only the resource part: roots are spelled as the host gave them.
    // A path written plainly (the usual case) is its own resource part.
    const auto endsWithPart = [&onDisk](std::string_view part) {
        return onDisk.size() > part.size() && onDisk[onDisk.size() - part.size() - 1] == '/' &&
               std::string_view(onDisk).substr(onDisk.size() - part.size()) == part;
    };
    if (isPlainRelativePath(path)) {
        if (endsWithPart(path)) {
            return true;
        }
    } else {
        std::vector<std::string> components;
        splitResourcePath(path, components);
        std::string written;
        for (const std::string& c : components) {
            written += '/' + c;
        }
        if (onDisk.size() >= written.size() &&
            onDisk.compare(onDisk.size() - written.size(), written.size(), written) == 0) {
            return true;
        }
    }
    correct = onDisk;
    return false;
}

} // namespace EditorUtils

} // namespace FS
