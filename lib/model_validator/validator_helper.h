#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/core/smart_pointer.h"
#include "engine/math/math_types.h"
#include "engine/resource/data_section.h"
#include "engine/resource/file_system.h"
#include "engine/texture/texture_loader.h"
#include "engine/variant/variant.h"

namespace KX {

struct FindingKind;
struct CallerCodedFinding;

// The vehicle component a vehicle check is about.
enum class TankComponentType : uint8_t {
    Chassis = 0,
    Hull = 1,
    Turret = 2,
    Gun = 3,
    TrackPair1 = 4,
    Wheel0 = 5,
    Wheel1 = 6,
    Wheel2 = 7,
    Wheel3 = 8,
    Wheel4 = 9,
    Wheel5 = 10,
    Wheel6 = 11,
    Wheel7 = 12,
    CrashedTracks = 13,
    Other = 14,
};

// Display names, one table per translation unit that includes this header.
static const std::unordered_map<TankComponentType, std::string> kTankComponentTypeNames = {
    {TankComponentType::Chassis, "Chassis"},       {TankComponentType::Hull, "Hull"},
    {TankComponentType::Turret, "Turret"},         {TankComponentType::Gun, "Gun"},
    {TankComponentType::TrackPair1, "TrackPair1"}, {TankComponentType::Wheel0, "Wheel0"},
    {TankComponentType::Wheel1, "Wheel1"},         {TankComponentType::Wheel2, "Wheel2"},
    {TankComponentType::Wheel3, "Wheel3"},         {TankComponentType::Wheel4, "Wheel4"},
    {TankComponentType::Wheel5, "Wheel5"},         {TankComponentType::Wheel6, "Wheel6"},
    {TankComponentType::Wheel7, "Wheel7"},         {TankComponentType::CrashedTracks, "Crashed Tracks"},
    {TankComponentType::Other, "Other"},
};

// One link of a LOD chain.
struct LODEntry {
    std::string lodName;    // LOD folder of this link's model file, lower case
    std::string parentPath; // "parent" of this link's model file, extension completed
    float extent = 0.f;     // "extent" of this link's model file
};

namespace ValidatorHelper {

enum class ValidationTitle : uint8_t {
    None = 0,
    CheckDetailSettings = 1,
    CheckVisibilityBox = 2,
    CheckShaders = 3,
    CheckTextureUse = 4,
    CheckLods = 5,
    CheckHardpointsAndBones = 6,
    CheckTextureProperties = 7,
    CheckSplineTracks = 8,
    CheckTrianglesAmount = 9,
    CheckMaterialKind = 10,
    CheckTurret = 11,
    CheckCrew = 12,
    CheckDrivenJoints = 13,
    CheckCamouflageAllowness = 14,
    CheckCustomization = 15,
    CheckOther = 16,
    Common = 17,
    Content = 18,
    ArmorOcclusion = 19,
    CheckArmorGroup = 20,
};

enum class ValidationErrorSeverity : uint8_t {
    None = 0,
    Normal = 1,
    Medium = 2,
    High = 3,
};

// One finding, as shown to the user.
struct ValidationError {
    std::string message; // "[<prefix> <code>] <text>"
    ValidationTitle title = ValidationTitle::None;
    ValidationErrorSeverity severity = ValidationErrorSeverity::None;
    std::string category; // '/'-separated groups: [style/]title text
};

// Enumerator name of a title ("CheckLods") and the lower-case severity name
// ("none", "normal", "medium", "high"), for reports.
const char* titleName(ValidationTitle title);
const char* severityName(ValidationErrorSeverity severity);

extern const unsigned int kAnyType;
extern const unsigned int kTraningType;
extern const unsigned int kAnyTypeExceptTraning;
extern const float kLN2;
extern const int kShellCompactDescr1;
extern const int kShellCompactDescr2;
extern const std::string kHavokModelFilenamePart;
extern const std::string kHavokModelExtention;
extern const std::string kIdentifierTag;
extern const std::string kMaterialKindTag;
extern const std::string kFxTag;
extern const std::string kBoolTag;
extern const std::string kTextureTag;
extern const std::string kPropertyTag;
extern const std::string kPrimitivesNameTag;
extern const std::string kVerticesTag;
extern const std::string kNameTag;
extern const std::string kTypeTag;
extern const std::string kUserDataObjectTag;
extern const std::string kVisibilityMaskTag;
extern const std::string kGuidTag;
extern const std::string kArtilleryPreparationChanceTag;
extern const std::string kPropertiesShellCompactDescrTag;
extern const std::string kControlPointTag;
extern const std::string kTeamTag;
extern const std::string kIntegerTag;
extern const std::string kUseTintColorTag;
extern const std::string kTintColorTag;
extern const std::string kTile0TintTag;
extern const std::string kTile1TintTag;
extern const std::string kTile2TintTag;
extern const std::string kVector4Tag;
extern const std::string kCTFMode;
extern const std::string kCTF2Mode;
extern const std::string kAssaultMode;
extern const std::string kAssault2Mode;
extern const std::string kDominationMode;
extern const std::string kDomination2Mode;
extern const std::string kNationsMode;
extern const std::string kArenaDefsTemplate;
extern const std::string kGameplayTypesTemplate;
extern const std::string kMetallicGlossMapTag;
extern const std::string kNormalMapTag;
extern const std::string kDiffuseMapTag;
extern const std::string kVertexColorModeTag;
extern const std::string kDirtMap;
extern const std::string kAtlasAlbedoHeight;
extern const std::string kAtlasBlend;
extern const std::string kGlobalTex;
extern const std::string kMetallicAOAtlas;
extern const std::string kAtlasNormalGlossSpec;
extern const std::string kLodDirectory;
extern const std::string kModelExtension;
extern const std::string kTextureExtention;
extern const std::string kPrimitiveExtension;
extern const std::string kMetallicGlossMapTexturePostfix;
extern const std::string kNormalMapTexturePostfix;
extern const std::string kDiffuseMapTexturePostfix;
extern const std::string kDirtMapTexturePostfix;
// Merged textures of reduced size, which only the far LODs may use.
extern const std::string kReducedMetallicPostfix;
extern const std::string kReducedNormalPostfix;
extern const std::string kReducedAlbedoPostfix;
extern const std::string kAtlasBlendTextureEnding;
extern const std::string kAlbedoHeightAtlasTextureEnding;
extern const std::string kGlobalTextureEnding;
extern const std::string kMetallicAOAtlasTextureEnding;
extern const std::string kAtlasNormalGlossSpecTextureEnding;

// Appends the files below `path` (a resource or disk folder) to `files` as
// absolute disk paths; with `extensions`, only files whose extension is one of
// them (case-sensitive). A folder that cannot be read is logged and skipped.
void readDirectory(const std::string& path, bool recursive, std::list<std::string>& files,
                   const std::vector<std::string>& extensions);
// Every file below a folder, in the disk's order, as one walk finds it; a
// folder that cannot be listed ends the walk with what it found so far.
struct FolderFiles {
    std::vector<std::string> files;
    std::string error; // why a folder could not be listed
};
// The files readDirectory goes through before its filter, shared rather than
// copied: steps that only look through the files of a model's folders need no
// list of their own. A folder that cannot be read is logged as readDirectory
// logs it.
std::shared_ptr<const FolderFiles> folderFiles(const std::string& path, bool recursive);
// readDirectory's filter: no extensions, or the file's is one of them.
bool hasListedExtension(const std::string& file, const std::vector<std::string>& extensions);
// Replaces `*lines` by the non-empty lines of a disk file; false when the file
// cannot be opened. Text mode drops the carriage return of a CR LF pair on
// every platform.
bool readFileLines(const std::string& path, bool textMode, std::list<std::string>* lines, bool toLowerCase);
// The same for text already read.
void splitLines(std::string_view text, bool textMode, bool toLowerCase, std::list<std::string>& lines);
// One typed property of a material, read from its "property" children: the
// first child whose text is `name`, its value read as `type` (kTextureTag,
// kIntegerTag, kVector4Tag or kBoolTag). Empty when no child has that name or
// the type is none of those.
Variant getProperty(const std::vector<SmartPointer<DataSection>>& properties, const std::string& name,
                    const std::string& type);
// A model path as a "parent" value may give it: ".model" is appended when the
// file name has no extension.
std::string withModelExtension(std::string path);

// Texture rules. True when width and height are `n` times the other's.
bool checkDimensionsNTimesGreater(int32_t width, int32_t height, int32_t otherWidth, int32_t otherHeight,
                                  uint32_t n);
// True when the other's width and height are `n` times these.
bool checkDimensionsNTimesSmaller(int32_t width, int32_t height, int32_t otherWidth, int32_t otherHeight,
                                  uint32_t n);
// True when the other size is these times one power of two of at least 2, on
// both sides alike. `width` and `height` are not 0.
bool checkDimensionsPowOfTwoTimesSmaller(uint32_t width, uint32_t height, uint32_t otherWidth,
                                         uint32_t otherHeight);
bool isDimensionsExceedUpperBounds(uint32_t width, uint32_t height, uint32_t maxWidth, uint32_t maxHeight);
// What follows the last '_' of the file name without extension ("AM" of
// maps/house_01_AM.dds); "" when the name has none.
std::string getFilenamePostfix(const std::string& path);

using NameFilter = std::function<bool(const std::string&)>;
using NodeTransforms = std::unordered_map<std::string, Matrix>;
using ModelTransforms = std::unordered_map<std::string, NodeTransforms>;

class Validator {
  public:
    Validator();
    Validator(const Validator& other);
    Validator& operator=(const Validator& other);
    virtual ~Validator();

    void modelPath(const std::string& path);
    const std::string& modelPath() const;
    void wheeledVehicle(bool value);

    const std::vector<ValidationError>& getErrors() const;
    void clear();

    static std::wstring getValidationTitle(ValidationTitle title);
    static std::string toLower(const std::string& text);
    static unsigned int getFileSize(const std::string& path);
    static bool isHavokModel(const std::string& path);

    // Writes the findings to `path` + ".log", one line each.
    void writeErrorLog(const std::string& path) const;

  protected:
    void addError(ValidationTitle title, ValidationErrorSeverity severity, const std::string& message,
                  const std::string& dedupKey, int code, const std::string& styleName);
    // File references in `text` become the resource path they resolve to;
    // `realm` tells whether a path stands for the current realm's copy.
    std::string processErrorText(const std::string& text,
                                 FS::RealmChoice realm = FS::RealmChoice::PreferRealm);

    // Report a finding of a catalogue entry (finding_catalogue.h): the entry
    // gives code, title and severity. The message is its own de-duplication
    // key unless a key is given; an empty key turns de-duplication off.
    void report(const FindingKind& kind, const std::string& message);
    void report(const FindingKind& kind, const std::string& message, const std::string& dedupKey,
                const std::string& styleName = "");
    // For a message about files opened by exact name (FS::RealmChoice::ExactName),
    // so that its references do not turn into the current realm's copies.
    void report(const FindingKind& kind, const std::string& message, FS::RealmChoice references);
    // A finding of a reusable check, under the code its caller chose.
    void report(const CallerCodedFinding& kind, int code, const std::string& styleName,
                const std::string& message);
    void report(const CallerCodedFinding& kind, int code, const std::string& styleName,
                const std::string& message, const std::string& dedupKey);
    // A finding of a reusable check whose caller also chose the severity.
    void report(const CallerCodedFinding& kind, int code, ValidationErrorSeverity severity,
                const std::string& styleName, const std::string& message);

    void setSubFolderLOD(std::string name);
    void resetSubFolderLOD();
    void setup();
    virtual std::string getStyleName(const std::string& path);
    static SmartPointer<DataSection> checkAndOpenVisualSectionForModelName(const std::string& modelFile);

    // LOD chain.
    std::string getModelRootPath(const std::string& modelName, const std::string& state) const;
    std::vector<LODEntry> getModelLODHierarchy(const std::string& modelName, const std::string& state);
    std::vector<std::string> getModelLODs(const std::string& modelName, const std::string& state);
    static std::string getModelState(const std::string& path);

    // LOD checks.
    void checkLods(const std::string& path, bool smallExtents, int code);
    void checkLodExtents(const std::string& state, const std::vector<LODEntry>& actual,
                         const std::vector<LODEntry>& standard, int code);

    // Bounds.
    void checkVisibilityBox(const std::string& path, int code);

    // Collision.
    void checkCollisionModel(const std::string& path, int code);

    // Hardpoints and node transforms.
    static bool isHardPoint(const std::string& name);
    static bool isBone(const std::string& name);
    void getTransformsForVisualNodes(const SmartPointer<DataSection>& section, NodeTransforms& transforms,
                                     const NameFilter& filter) const;
    // The transforms of each LOD of the chain `path` belongs to; `chain`, when
    // given, receives the chain's files in order.
    ModelTransforms getModelsWithTransforms(const std::string& path, const NameFilter& filter,
                                            std::vector<std::string>* chain = nullptr);
    void checkHardpointsAndBones(const std::string& path, NameFilter filter, int code);

    // Texture rules.
    void checkTextureFormat(const std::string& textureName, Render::ResourceFormat expected,
                            const TextureLoader::Output& output, ValidationErrorSeverity severity, int code,
                            const std::string& lodText, const std::string& materialName);
    void checkMipLevel(const std::string& textureName, const TextureLoader::Output& output,
                       ValidationErrorSeverity severity, int code);
    int getTextureMipLevel(const std::string& textureName, int code);

    // Texture reads. Every texture check reads a file the same way: its
    // header alone, stored levels as they are (no generated mips).
    static TextureLoader::InputOptions textureInputOptions();
    // Format, size and levels of a texture; false when it does not load.
    // Inside a TextureReadScope each file is read once.
    bool loadTexture(const std::string& path, TextureLoader::Output& output);
    // Remembers texture reads while it lives: a step holds one so that LODs
    // and materials sharing a file read it once, and the next step (or
    // check) reads files afresh, as they may have changed.
    class TextureReadScope {
      public:
        explicit TextureReadScope(Validator& validator);
        ~TextureReadScope();
        TextureReadScope(const TextureReadScope&) = delete;
        TextureReadScope& operator=(const TextureReadScope&) = delete;

      private:
        Validator& validator_;
    };
    // A file's key in the read cache: its disk path.
    static std::string textureReadKey(const std::string& path);
    // The verdict of a check that reads a texture's pixels (`check` names
    // it), computed once per file for as long as the file is unchanged:
    // textures are shared by many models. `compute` gives nothing when the
    // pixels cannot be read; that counts as false, and the next check reads
    // the file again (and logs its problem again).
    bool textureVerdict(const std::string& check, const std::string& path,
                        const std::function<std::optional<bool>()>& compute);
    // What a scope has read, by the path as asked.
    struct TextureReads {
        bool active = false;
        std::unordered_map<std::string, std::optional<TextureLoader::Output>> headers;
        // Verdicts of checks that read pixels, by check and path.
        std::unordered_map<std::string, bool> pixelVerdicts;
    };
    TextureReads textureReads_;
    // Reports, once per file and reason, the files the engine found damaged
    // since the record was last emptied (DebugLog::takeFileProblems).
    void reportUnusableFiles();

    // Tags: whether the files of a model's LOD chain agree on declaring the
    // visual node-less or node-full. The second answers false and lists the
    // disagreeing files when they do not; true when they agree or a file
    // could not be read (reported inside).
    void checkModelForDifferentTags(const std::string& path, int code);
    bool hasModelsWithDifferentTags(const std::string& path, const std::vector<std::string>& tags,
                                    std::vector<std::string>& outFiles, int code);
    // Vertex formats: whether the geometry that uses `material` carries the
    // vertex attributes its effect needs.
    void checkVertexFormat(const std::string& modelPath, SmartPointer<DataSection> visual,
                           SmartPointer<DataSection> material, int code);

    // Vehicle texture properties: the four texture slots of one material of
    // a component's LOD model, and those of every material of every LOD.
    void checkTextureProperties(TankComponentType type, const std::string& lodModelPath,
                                SmartPointer<DataSection> material,
                                const std::vector<SmartPointer<DataSection>>& properties, int code);
    void checkDetailTextures(TankComponentType type, const std::string& lodModelPath, int code);

    // Vehicle materials: the detail-map settings of the materials of one LOD
    // model (and their texture properties), and the effect file of every
    // material of a component model (and its vertex format).
    void checkMaterials(TankComponentType type, const std::string& modelPath,
                        const std::vector<SmartPointer<DataSection>>& materials, int code);
    void checkMaterial(const std::string& modelPath, int code);

    std::string modelPath_;
    std::vector<ValidationError> errors_;

  private:
    class VehicleTextureSet;
    // A LOD chain as walked from its root file, kept while the files it was
    // read from stand: steps ask for the same chain many times per check.
    struct WalkedChain {
        std::vector<LODEntry> chain;
        std::vector<std::pair<std::string, SmartPointer<DataSection>>> files; // as opened
        uint64_t view = 0; // FS::FileSystem::viewVersion() when the walk began
    };
    std::unordered_map<std::string, WalkedChain> walkedChains_; // by root file
    uint64_t walkedChainsPass_ = 0;                             // FS::FileSystem::generation()
    std::vector<LODEntry> walkModelLODHierarchy(const std::string& root, WalkedChain& walked);
    bool standsUnchanged(const WalkedChain& walked) const;
    void addFinding(const FindingKind* kind, ValidationTitle title, ValidationErrorSeverity severity,
                    const std::string& message, const std::string& dedupKey, int code,
                    const std::string& styleName, FS::RealmChoice references = FS::RealmChoice::PreferRealm);

  protected:
    // The material kinds of system/data/material_kinds.xml, as setup() read them.
    struct MaterialKinds {
        std::unordered_map<uint32_t, std::string> names;
        std::unordered_map<std::string, uint32_t> ids;
        std::set<std::string> armourNames;
        std::set<std::string> crewNames;
    };
    const std::unordered_map<uint32_t, std::string>& materialKindNames() const { return kinds_->names; }
    const std::unordered_map<std::string, uint32_t>& materialKindIds() const { return kinds_->ids; }
    const std::set<std::string>& armourKindNames() const { return kinds_->armourNames; }
    const std::set<std::string>& crewKindNames() const { return kinds_->crewNames; }
    std::string subFolderLOD;
    bool wheeledVehicle_ = false;

  private:
    static std::shared_ptr<const MaterialKinds> readMaterialKinds(const DataSectionPtr& registry);
    // Shared by every check that finds the registry's parsed tree unchanged.
    std::shared_ptr<const MaterialKinds> kinds_ = std::make_shared<MaterialKinds>();
};

} // namespace ValidatorHelper
} // namespace KX
