#include "model_validator/validator_helper.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <stdexcept>
#include <typeinfo>
#include <utility>

#include "engine/component/component_registry.h"
#include "engine/core/ascii_case.h"
#include "engine/core/debug_log.h"
#include "engine/core/format.h"
#include "engine/core/stack_tracker.h"
#include "engine/core/string_conv.h"
#include "engine/l10n/string_provider.h"
#include "engine/model/visual_path.h"
#include "engine/platform/file_replace.h"
#include "engine/platform/utf8_path.h"
#include "engine/resource/file_system.h"
#include "engine/resource/view_memo.h"
#include "model_validator/finding_catalogue.h"

namespace KX::ValidatorHelper {

const unsigned int kAnyType = 0x7FFFFFFF;
const unsigned int kTraningType = 2;
const unsigned int kAnyTypeExceptTraning = kAnyType & ~kTraningType;
const float kLN2 = 0.6931471824645996f;
const int kShellCompactDescr1 = 31770;
const int kShellCompactDescr2 = 32764;
const std::string kHavokModelFilenamePart = ".hkt.";
const std::string kHavokModelExtention = ".hkt_processed";
const std::string kIdentifierTag = "identifier";
const std::string kMaterialKindTag = "materialKind";
const std::string kFxTag = "fx";
const std::string kBoolTag = "Bool";
const std::string kTextureTag = "Texture";
const std::string kPropertyTag = "property";
const std::string kPrimitivesNameTag = "primitivesName";
const std::string kVerticesTag = "vertices";
const std::string kNameTag = "name";
const std::string kTypeTag = "type";
const std::string kUserDataObjectTag = "UserDataObject";
const std::string kVisibilityMaskTag = "visibilityMask";
const std::string kGuidTag = "guid";
const std::string kArtilleryPreparationChanceTag = "artilleryPreparationChance";
const std::string kPropertiesShellCompactDescrTag = "properties/shellCompactDescr";
const std::string kControlPointTag = "ControlPoint";
const std::string kTeamTag = "team";
const std::string kIntegerTag = "Int";
const std::string kUseTintColorTag = "g_useTintColor";
const std::string kTintColorTag = "g_tintColor";
const std::string kTile0TintTag = "g_tile0Tint";
const std::string kTile1TintTag = "g_tile1Tint";
const std::string kTile2TintTag = "g_tile2Tint";
const std::string kVector4Tag = "Vector4";
const std::string kCTFMode = "ctf";
const std::string kCTF2Mode = "ctf2";
const std::string kAssaultMode = "assault";
const std::string kAssault2Mode = "assault2";
const std::string kDominationMode = "domination";
const std::string kDomination2Mode = "domination2";
const std::string kNationsMode = "nations";
const std::string kArenaDefsTemplate = "scripts\\arena_defs\\%s.xml";
const std::string kGameplayTypesTemplate = "gameplayTypes/%s";
const std::string kMetallicGlossMapTag = "metallicGlossMap";
const std::string kNormalMapTag = "normalMap";
const std::string kDiffuseMapTag = "diffuseMap";
const std::string kVertexColorModeTag = "g_vertexColorMode";
const std::string kDirtMap = "dirtMap";
const std::string kAtlasAlbedoHeight = "atlasAlbedoHeight";
const std::string kAtlasBlend = "atlasBlend";
const std::string kGlobalTex = "globalTex";
const std::string kMetallicAOAtlas = "atlasMetallicAO";
const std::string kAtlasNormalGlossSpec = "atlasNormalGlossSpec";
const std::string kLodDirectory = "lod";
const std::string kModelExtension = "model";
const std::string kTextureExtention = "dds";
const std::string kPrimitiveExtension = "primitives";
const std::string kMetallicGlossMapTexturePostfix = "GMM";
const std::string kNormalMapTexturePostfix = "ANM";
const std::string kDiffuseMapTexturePostfix = "AM";
const std::string kDirtMapTexturePostfix = "DM";
const std::string kReducedMetallicPostfix = "BGMM";
const std::string kReducedNormalPostfix = "BANM";
const std::string kReducedAlbedoPostfix = "BAM";
const std::string kAtlasBlendTextureEnding = "_atlas_blend.png";
const std::string kAlbedoHeightAtlasTextureEnding = "_atlas_AM.atlas";
const std::string kGlobalTextureEnding = "_GT.dds";
const std::string kMetallicAOAtlasTextureEnding = "_atlas_MAO.atlas";
const std::string kAtlasNormalGlossSpecTextureEnding = "_atlas_GBMT.atlas";

namespace {

// Registered when the library is loaded so that hosts find the type by name.
const uint16_t kCollisionComponentTypeIndex =
    IComponent::types().registerType(componentTypeName(std::string("KX::") + "CollisionComponent"));

const char* severityPrefix(ValidationErrorSeverity severity) {
    switch (severity) {
    case ValidationErrorSeverity::Normal:
        return "Inf.";
    case ValidationErrorSeverity::Medium:
        return "Wrn.";
    case ValidationErrorSeverity::High:
        return "Err.";
    default:
        return "";
    }
}

int logPriority(ValidationErrorSeverity severity) {
    switch (severity) {
    case ValidationErrorSeverity::Normal:
        return DebugLog::Info;
    case ValidationErrorSeverity::Medium:
        return DebugLog::Warning;
    case ValidationErrorSeverity::High:
        return DebugLog::Error;
    default:
        return -1;
    }
}

// Messages are scanned byte by byte for paths, with the "C" locale's classes.
bool isPathChar(char c) {
    return AsciiCase::isLetter(c) || AsciiCase::isDigit(c) || c == '_' || c == '/' || c == '-' || c == '.';
}
bool isDelimiter(char c) {
    return AsciiCase::isBlank(c) || c == '\'' || c == '"';
}

// Finds the path-like word that starts at `start`: the longest run of path
// characters that still ends in a dot and letters. Returns its end, or npos.
size_t pathWordEnd(const std::string& text, size_t start) {
    size_t runEnd = start;
    while (runEnd < text.size() && isPathChar(text[runEnd])) {
        ++runEnd;
    }
    for (size_t dot = runEnd; dot-- > start + 1;) {
        if (text[dot] == '.' && dot + 1 < runEnd && AsciiCase::isLetter(text[dot + 1])) {
            size_t end = dot + 1;
            while (end < text.size() && AsciiCase::isLetter(text[end])) {
                ++end;
            }
            return end;
        }
    }
    return std::string::npos;
}

std::string canonicalResourcePath(const std::string& word, FS::RealmChoice realm) {
    if (!FS::Utils::isRelative(word) || FS::fileSystem()->fileType(word, realm) != FS::FT_FILE) {
        return word;
    }
    std::string canonical =
        FS::fileSystem()->dissolveFilename(FS::fileSystem()->resolveFilename(word, realm));
    // Resolution finds files whatever their letter case, as the target
    // platform does; a reference keeps the spelling it was written with, so
    // that messages about wrongly cased paths still show the wrong case.
    return Validator::toLower(canonical) == Validator::toLower(word) ? word : canonical;
}

} // namespace

const char* titleName(ValidationTitle title) {
    static const char* names[] = {"None",
                                  "CheckDetailSettings",
                                  "CheckVisibilityBox",
                                  "CheckShaders",
                                  "CheckTextureUse",
                                  "CheckLods",
                                  "CheckHardpointsAndBones",
                                  "CheckTextureProperties",
                                  "CheckSplineTracks",
                                  "CheckTrianglesAmount",
                                  "CheckMaterialKind",
                                  "CheckTurret",
                                  "CheckCrew",
                                  "CheckDrivenJoints",
                                  "CheckCamouflageAllowness",
                                  "CheckCustomization",
                                  "CheckOther",
                                  "Common",
                                  "Content",
                                  "ArmorOcclusion",
                                  "CheckArmorGroup"};
    auto index = static_cast<size_t>(title);
    return index < std::size(names) ? names[index] : "None";
}

const char* severityName(ValidationErrorSeverity severity) {
    switch (severity) {
    case ValidationErrorSeverity::Normal:
        return "normal";
    case ValidationErrorSeverity::Medium:
        return "medium";
    case ValidationErrorSeverity::High:
        return "high";
    default:
        return "none";
    }
}

Validator::Validator() {
    (void)kCollisionComponentTypeIndex;
}
Validator::Validator(const Validator& other) = default;
Validator& Validator::operator=(const Validator& other) = default;
Validator::~Validator() = default;

void Validator::modelPath(const std::string& path) {
    modelPath_ = path;
}
const std::string& Validator::modelPath() const {
    return modelPath_;
}
void Validator::wheeledVehicle(bool value) {
    wheeledVehicle_ = value;
}

const std::vector<ValidationError>& Validator::getErrors() const {
    return errors_;
}

void Validator::clear() {
    errors_.clear();
    modelPath_.clear();
    walkedChains_.clear();
}

void Validator::setSubFolderLOD(std::string name) {
    subFolderLOD = std::move(name);
}
void Validator::resetSubFolderLOD() {
    subFolderLOD.clear();
}

std::string Validator::getStyleName(const std::string& /*path*/) {
    return {};
}

std::wstring Validator::getValidationTitle(ValidationTitle title) {
    switch (title) {
    case ValidationTitle::CheckDrivenJoints:
        return L"Check Driven Joints";
    case ValidationTitle::CheckCustomization:
        return L"Check customization";
    case ValidationTitle::CheckArmorGroup:
        return L"Check armor group";
    default:
        break;
    }
    const auto value = static_cast<unsigned>(title);
    if (value == 0 || value > 20) {
        return {};
    }
    std::string key = titleName(title);
    for (char& c : key) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return StringProvider::instance().str("COMMON/PAGE_VALIDATION/" + key, StringProvider::ReturnKey);
}

std::string Validator::toLower(const std::string& text) {
    return AsciiCase::toLower(text);
}

unsigned int Validator::getFileSize(const std::string& path) {
    std::string absolute = path;
    FS::Utils::resolveToAbsolutePath(absolute);
    std::ifstream in(pathFromUtf8(absolute), std::ios::binary | std::ios::ate);
    if (!in) {
        return 0;
    }
    std::streamoff size = in.tellg();
    return size < 0 ? 0u : static_cast<unsigned int>(static_cast<unsigned long long>(size));
}

bool Validator::isHavokModel(const std::string& path) {
    if (FS::Utils::filenameOf(path).find(kHavokModelFilenamePart) != std::string_view::npos) {
        return true;
    }
    // The constant carries its dot, the extension does not: compare without it
    // so that processed physics files count as physics files.
    const std::string_view withDot = kHavokModelExtention;
    return !withDot.empty() && withDot.front() == '.' && withDot.substr(1) == FS::Utils::extensionOf(path);
}

std::string Validator::processErrorText(const std::string& text, FS::RealmChoice realm) {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::processErrorText");
    std::string result;
    result.reserve(text.size());
    size_t copied = 0;
    size_t p = 0;
    while (p < text.size()) {
        size_t wordStart = std::string::npos;
        size_t wordEnd = std::string::npos;
        if (p == 0 && (wordEnd = pathWordEnd(text, 0)) != std::string::npos) {
            wordStart = 0;
        } else if (isDelimiter(text[p]) && (wordEnd = pathWordEnd(text, p + 1)) != std::string::npos) {
            wordStart = p + 1;
        }
        if (wordStart == std::string::npos) {
            ++p;
            continue;
        }
        result.append(text, copied, wordStart - copied);
        result += canonicalResourcePath(text.substr(wordStart, wordEnd - wordStart), realm);
        copied = p = wordEnd;
    }
    result.append(text, copied, std::string::npos);
    return result;
}

void Validator::addError(ValidationTitle title, ValidationErrorSeverity severity, const std::string& message,
                         const std::string& dedupKey, int code, const std::string& styleName) {
    addFinding(nullptr, title, severity, message, dedupKey, code, styleName);
}

void Validator::report(const FindingKind& kind, const std::string& message) {
    addFinding(&kind, kind.title, kind.severity, message, message, kind.code, "");
}

void Validator::report(const FindingKind& kind, const std::string& message, const std::string& dedupKey,
                       const std::string& styleName) {
    addFinding(&kind, kind.title, kind.severity, message, dedupKey, kind.code, styleName);
}

void Validator::report(const FindingKind& kind, const std::string& message, FS::RealmChoice references) {
    addFinding(&kind, kind.title, kind.severity, message, message, kind.code, "", references);
}

void Validator::report(const CallerCodedFinding& finding, int code, const std::string& styleName,
                       const std::string& message) {
    addFinding(&finding.kind, finding.kind.title, finding.kind.severity, message, message, code, styleName);
}

void Validator::report(const CallerCodedFinding& finding, int code, const std::string& styleName,
                       const std::string& message, const std::string& dedupKey) {
    addFinding(&finding.kind, finding.kind.title, finding.kind.severity, message, dedupKey, code, styleName);
}

void Validator::report(const CallerCodedFinding& finding, int code, ValidationErrorSeverity severity,
                       const std::string& styleName, const std::string& message) {
    addFinding(&finding.kind, finding.kind.title, severity, message, message, code, styleName);
}

void Validator::addFinding(const FindingKind* kind, ValidationTitle title, ValidationErrorSeverity severity,
                           const std::string& message, const std::string& dedupKey, int code,
                           const std::string& styleName, FS::RealmChoice references) {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::addError");
    if (const FindingObserver observer = Detail::findingObserver()) {
        observer(ReportedFinding{kind, code, title, severity, message});
    }
    const std::string text = processErrorText(message, references);
    // Most findings are told apart by their message itself.
    const std::string key = dedupKey == message ? text : processErrorText(dedupKey, references);
    if (!key.empty()) {
        for (const ValidationError& earlier : errors_) {
            if (earlier.message.find(key) != std::string::npos) {
                return;
            }
        }
    }
    ValidationError error;
    error.message = formatString("[%s %d] %s", severityPrefix(severity), code, text.c_str());
    error.title = title;
    error.severity = severity;
    const std::string titleText = wideToNarrow(getValidationTitle(title));
    error.category =
        styleName.empty() ? titleText : formatString("%s/%s", styleName.c_str(), titleText.c_str());
    errors_.push_back(error);
    const int priority = logPriority(severity);
    if (priority >= 0) {
        DebugLog::messageText(priority, "", errors_.back().message + "\n");
    }
}

std::shared_ptr<const Validator::MaterialKinds> Validator::readMaterialKinds(const DataSectionPtr& registry) {
    auto kinds = std::make_shared<MaterialKinds>();
    for (DataSectionPtr kind : *registry) {
        if (!kind || kind->sectionName() != "kind") {
            continue;
        }
        const uint32_t id = kind->readUInt("id", 0);
        const std::string desc = kind->readString("desc", "");
        const std::string help = kind->readString("help", "");
        kinds->names[id] = desc;
        kinds->ids[desc] = id;
        if (desc.find("armor_") == 0 || desc == "gunBreech" || desc == "gun") {
            kinds->armourNames.insert(desc);
        } else if (help.find("Tankman:") != std::string::npos) {
            kinds->crewNames.insert(desc);
        }
    }
    return kinds;
}

void Validator::setup() {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::setup");
    // Every check reads the registry; while the parsed tree stands (the
    // cache proves its file unchanged and gives the same tree), so do the
    // kinds read from it. The tree is held, so its address is not reused.
    static LightMutex mutex;
    static DataSectionPtr readFrom;
    static std::shared_ptr<const MaterialKinds> read = std::make_shared<MaterialKinds>();
    const DataSectionPtr registry = FS::Utils::openSection("system/data/material_kinds.xml");
    std::lock_guard<LightMutex> lock(mutex);
    if (registry != readFrom) {
        read = registry ? readMaterialKinds(registry) : std::make_shared<MaterialKinds>();
        readFrom = registry;
    }
    kinds_ = read;
}

SmartPointer<DataSection> Validator::checkAndOpenVisualSectionForModelName(const std::string& modelFile) {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::checkAndOpenVisualSectionForModelName");
    // Every step asks for the visual of every LOD, several times a check.
    static ViewMemo<std::string, DataSectionPtr> opened;
    DataSectionPtr visual = opened.get(
        modelFile,
        [&] {
            const std::string visualPath = Utilities::getVisualPath(modelFile);
            return visualPath.empty() ? nullptr : FS::Utils::openSection(visualPath);
        },
        [](const DataSectionPtr& section) { return bool(section); });
    if (!visual) {
        DebugLog::messageText(DebugLog::Warning, "", modelFile + ": can't find .visual file for this model");
    }
    return visual;
}

// A damaged file makes the checks that read it report what they miss (a
// visual that "can't be found", a model that "doesn't exist"); this says
// why, once per file and reason.
void Validator::reportUnusableFiles() {
    std::set<std::pair<std::string, std::string>> reported;
    for (DebugLog::FileProblem& problem : DebugLog::takeFileProblems()) {
        if (FS::Utils::isAbsolute(problem.path)) {
            const std::string resourcePath = FS::fileSystem()->dissolveFilename(problem.path);
            if (!resourcePath.empty()) {
                problem.path = resourcePath;
            }
        }
        if (reported.emplace(problem.path, problem.reason).second) {
            report(Findings::UnusableFile, Findings::UnusableFile.text(problem.path, problem.reason));
        }
    }
}

void Validator::writeErrorLog(const std::string& path) const {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::writeErrorLog");
    const std::string fileName = path + "." + "log";
    std::string text;
    for (const ValidationError& error : errors_) {
        const char* name = error.severity == ValidationErrorSeverity::Medium ? "medium"
                           : error.severity == ValidationErrorSeverity::High ? "high"
                                                                             : "normal";
        text += wideToUtf8(getValidationTitle(error.title)) + " [" + name + "] " + error.message + '\n';
    }
    // A log that cannot be written whole leaves the previous one as it was.
    const Platform::WriteResult written = Platform::writeFileAtomically(fileName, text);
    if (!written) {
        DebugLog::message(DebugLog::Error, "", "Can not open file %s: %s\n", fileName.c_str(),
                          written.reason.c_str());
    }
}

namespace {

// Walks one folder depth first in the iterator's order. Links are followed
// only into the resource roots, and each real folder is entered once, so a
// link cycle or a link out of the content cannot make the walk endless or
// let it list files the validator has no business with.
class DirectoryWalk {
  public:
    DirectoryWalk(bool recursive, FolderFiles& found) : recursive_(recursive), found_(found) {}

    // The folder's listing comes from the file system's cache, which the
    // disk proves current, in the disk's order as a walk of the disk would
    // give it.
    void walk(const std::string& folder) {
        walk(folder, FS::fileSystem()->realFolder(folder),
             FS::fileSystem()->fileType(folder) == FS::FT_DIRECTORY);
    }

  private:
    // `linksResolved` is the folder with every link resolved. Below it, only a link
    // needs asking the disk where it leads; a folder entry extends its parent.
    // What lies in a folder of the roots (`inRoots`) and is no link is in the
    // roots too, as the listing says: only links need the file system's answer.
    void walk(const std::string& folder, std::string linksResolved, bool inRoots) {
        // Kept as the set's own copy: the folders below extend it.
        const std::string* enteredAs = &linksResolved;
        if (!linksResolved.empty()) {
            const auto [at, entered] = entered_.insert(std::move(linksResolved));
            if (!entered) {
                return;
            }
            enteredAs = &*at;
        }
        const std::string& real = *enteredAs;
        const auto listing = FS::fileSystem()->listInDiskOrder(folder);
        if (!listing->error.empty()) {
            throw std::runtime_error("cannot open directory: " + listing->error);
        }
        for (const FS::FileSystem::DirectoryEntry& entry : listing->entries) {
            std::string entryPath = FS::Utils::joinPath(folder, entry.name);
            if (entry.isLink && !FS::fileSystem()->isInsideRoots(entryPath)) {
                continue;
            }
            const bool isFile = inRoots && !entry.isLink
                                    ? entry.isFile
                                    : FS::fileSystem()->fileType(entryPath) == FS::FT_FILE;
            const bool descend = recursive_ && entry.isFolder;
            if (isFile) {
                // The path is needed again only to descend into it.
                found_.files.push_back(descend ? entryPath : std::move(entryPath));
            }
            if (!descend) {
                continue;
            }
            if (entry.isLink || real.empty() || !inRoots) {
                walk(entryPath, FS::fileSystem()->realFolder(entryPath),
                     FS::fileSystem()->fileType(entryPath) == FS::FT_DIRECTORY);
            } else {
                walk(entryPath, FS::Utils::joinPath(real, entry.name), true);
            }
        }
    }

    bool recursive_;
    FolderFiles& found_;
    std::set<std::string> entered_;
};

// Several checks walk the same model folder; while the view stands they all
// get the one walk.
std::shared_ptr<const FolderFiles> walkFolder(const std::string& folder, bool recursive) {
    static ViewMemo<std::string, std::shared_ptr<const FolderFiles>> walked;
    return walked.get(folder + (recursive ? "|r" : "|"), [&] {
        auto found = std::make_shared<FolderFiles>();
        try {
            DirectoryWalk(recursive, *found).walk(folder);
        } catch (const std::exception& e) {
            found->error = e.what();
        }
        return std::shared_ptr<const FolderFiles>(std::move(found));
    });
}

} // namespace

std::shared_ptr<const FolderFiles> folderFiles(const std::string& path, bool recursive) {
    KX_STACK_TRACK("KX::ValidatorHelper::folderFiles");
    std::string folder = path;
    if (FS::Utils::isRelative(folder)) {
        FS::Utils::resolveToAbsolutePath(folder);
    }
    std::shared_ptr<const FolderFiles> found = walkFolder(genericUtf8(std::move(folder)), recursive);
    if (!found->error.empty()) {
        DebugLog::message(DebugLog::Warning, "",
                          "KX::ValidatorHelper::readDirectory: failed to read directory '%s': %s",
                          path.c_str(), found->error.c_str());
    }
    return found;
}

bool hasListedExtension(const std::string& file, const std::vector<std::string>& extensions) {
    return extensions.empty() ||
           std::find(extensions.begin(), extensions.end(), FS::Utils::extensionOf(file)) != extensions.end();
}

void readDirectory(const std::string& path, bool recursive, std::list<std::string>& files,
                   const std::vector<std::string>& extensions) {
    for (const std::string& file : folderFiles(path, recursive)->files) {
        if (hasListedExtension(file, extensions)) {
            files.push_back(file);
        }
    }
}

void splitLines(std::string_view text, bool textMode, bool toLowerCase, std::list<std::string>& lines) {
    lines.clear();
    // Letter case changes no line break: the whole text is lowered at once.
    std::string lowered;
    if (toLowerCase) {
        lowered = AsciiCase::toLower(std::string(text));
        text = lowered;
    }
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (textMode && !line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (!line.empty()) {
            lines.emplace_back(line);
        }
    }
}

bool readFileLines(const std::string& path, bool textMode, std::list<std::string>* lines, bool toLowerCase) {
    KX_STACK_TRACK("KX::ValidatorHelper::readFileLines");
    if (!lines) {
        return false;
    }
    std::string reason;
    const BinaryPtr bytes = FS::Utils::readFileOfPass(path, reason);
    if (!bytes) {
        return false;
    }
    splitLines(bytes->view(), textMode, toLowerCase, *lines);
    return true;
}

} // namespace KX::ValidatorHelper
