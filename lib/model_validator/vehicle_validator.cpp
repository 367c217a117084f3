#include "model_validator/vehicle_validator.h"

#include <algorithm>
#include <map>
#include <optional>
#include <regex>

#include "engine/core/debug_log.h"
#include "engine/core/stack_tracker.h"
#include "engine/resource/file_system.h"

namespace KX {

using namespace ValidatorHelper;

namespace {

// One code per call site, so that users can filter and baseline each rule
// of each component check separately.
constexpr int kLodsCode = 201;
constexpr int kVisibilityBoxCode = 202;
constexpr int kCollisionCode = 203;
constexpr int kHardpointsCode = 204;
constexpr int kBonesCode = 205;
constexpr int kDetailTexturesCode = 206;
constexpr int kShadersCode = 207;
constexpr int kTagsCode = 208;

const std::string kStates[] = {"normal", "crash"};
const std::string kCollisionFolder = "collision";

// Component files by name; the order is the order components are checked in.
// Turrets and guns may be numbered (Turret_02) on vehicles with several.
struct ComponentName {
    const char* pattern;
    TankComponentType type;
};
const ComponentName kComponentNames[] = {
    {"Chassis", TankComponentType::Chassis},         {"Hull", TankComponentType::Hull},
    {"Turret(_[0-9]+)?", TankComponentType::Turret}, {"Gun(_[0-9]+)?", TankComponentType::Gun},
    {"Wheels", TankComponentType::Wheel0},           {"Tracks", TankComponentType::TrackPair1},
};

// The rank of a component file name in kComponentNames; none for other files.
std::optional<size_t> componentRank(const std::string& name) {
    static const std::vector<std::regex> patterns = [] {
        std::vector<std::regex> list;
        for (const ComponentName& component : kComponentNames) {
            list.emplace_back(component.pattern);
        }
        return list;
    }();
    for (size_t i = 0; i < patterns.size(); ++i) {
        if (std::regex_match(name, patterns[i])) {
            return i;
        }
    }
    return std::nullopt;
}

// The type the checks get: tracks lying on the ground after destruction are
// a component of their own.
TankComponentType typeInState(TankComponentType type, const std::string& state) {
    return type == TankComponentType::TrackPair1 && state == "crash" ? TankComponentType::CrashedTracks
                                                                     : type;
}

// Small components switch LODs at the short standard distances.
bool usesSmallExtents(TankComponentType type) {
    return type == TankComponentType::Gun || type == TankComponentType::Wheel0;
}

// Model files of a resource folder, by file name without extension.
std::vector<std::string> modelNamesIn(const std::string& folder) {
    const std::string absolute = FS::fileSystem()->findExisting(folder);
    if (absolute.empty() || FS::fileSystem()->fileType(absolute) != FS::FT_DIRECTORY) {
        return {};
    }
    std::vector<std::string> names;
    for (const std::string& entry : FS::fileSystem()->listDirectory(absolute)) {
        if (FS::Utils::getExtension(entry) == kModelExtension &&
            FS::fileSystem()->fileType(absolute + "/" + entry) == FS::FT_FILE) {
            names.push_back(FS::Utils::removeExtension(entry));
        }
    }
    return names;
}

} // namespace

const std::vector<VehicleValidator::CallSite>& VehicleValidator::callSites() {
    static const std::vector<CallSite> sites = {
        {kLodsCode, "checkLods",
         "LOD 0 of each state: the links of its LOD chain and their extents against the standard table "
         "(checkLodExtents runs inside it); the gun and the wheels use the small extents"},
        {kVisibilityBoxCode, "checkVisibilityBox",
         "every LOD model of each state: its visibility box against its visual's bounding box"},
        {kCollisionCode, "checkCollisionModel", "the component's collision model: its material kinds"},
        {kHardpointsCode, "checkHardpointsAndBones with isHardPoint",
         "LOD 0 of each state: the hardpoints of every LOD against LOD 0's"},
        {kBonesCode, "checkHardpointsAndBones with isBone",
         "LOD 0 of each state: the node transforms of every LOD's bones against LOD 0's"},
        {kDetailTexturesCode, "checkDetailTextures",
         "LOD 0 of each state: the texture properties and detail-map settings of every material of every "
         "LOD"},
        {kShadersCode, "checkMaterial",
         "every LOD model of each state: the effect file of every material, then its vertex format"},
        {kTagsCode, "checkModelForDifferentTags",
         "LOD 0 of each state: whether its LOD chain mixes node-less and node-full visuals"},
    };
    return sites;
}

std::vector<VehicleValidator::Component>
VehicleValidator::findComponents(const std::string& vehicleFolder) const {
    std::map<std::pair<size_t, std::string>, Component> found;
    for (const std::string& state : kStates) {
        const std::string lod0 = vehicleFolder + "/" + state + "/" + kLodDirectory + "0";
        for (const std::string& name : modelNamesIn(lod0)) {
            const std::optional<size_t> rank = componentRank(name);
            if (!rank) {
                continue;
            }
            Component& component = found[{*rank, name}];
            component.name = name;
            component.type = kComponentNames[*rank].type;
            component.states.push_back(state);
        }
    }
    std::vector<Component> components;
    for (auto& [key, component] : found) {
        const std::string collision =
            vehicleFolder + "/" + kCollisionFolder + "/" + component.name + "." + kModelExtension;
        if (FS::fileSystem()->fileType(collision) == FS::FT_FILE) {
            component.collision = collision;
        }
        components.push_back(std::move(component));
    }
    return components;
}

bool VehicleValidator::isWheeled(const std::vector<Component>& components) {
    return std::any_of(components.begin(), components.end(),
                       [](const Component& c) { return c.type == TankComponentType::Wheel0; });
}

const std::vector<ValidationError>& VehicleValidator::check(const std::string& vehicleFolder) {
    KX_STACK_TRACK("KX::VehicleValidator::check");
    std::string folder = vehicleFolder;
    while (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) {
        folder.pop_back();
    }
    clear();
    modelPath(folder);
    // Every component's state folders lie directly in the vehicle folder.
    resetSubFolderLOD();
    setup();
    DebugLog::takeFileProblems();
    const std::vector<Component> components = findComponents(folder);
    wheeledVehicle(isWheeled(components));
    for (const Component& component : components) {
        checkComponent(component);
    }
    currentStyle_.clear();
    reportUnusableFiles();
    return getErrors();
}

std::string VehicleValidator::getStyleName(const std::string& /*path*/) {
    return currentStyle_;
}

void VehicleValidator::checkComponent(const Component& component) {
    KX_STACK_TRACK("KX::VehicleValidator::checkComponent");
    currentStyle_ = component.name;
    for (const std::string& state : component.states) {
        checkState(component, state);
    }
    if (!component.collision.empty()) {
        checkCollisionModel(component.collision, kCollisionCode);
    }
}

void VehicleValidator::checkState(const Component& component, const std::string& state) {
    KX_STACK_TRACK("KX::VehicleValidator::checkState");
    const std::string fileName = component.name + "." + kModelExtension;
    const std::string lod0 = getModelRootPath(fileName, state);
    checkLods(lod0, usesSmallExtents(component.type), kLodsCode);
    for (const std::string& lod : getModelLODs(fileName, state)) {
        checkVisibilityBox(lod, kVisibilityBoxCode);
        checkMaterial(lod, kShadersCode);
    }
    checkHardpointsAndBones(lod0, isHardPoint, kHardpointsCode);
    checkHardpointsAndBones(lod0, isBone, kBonesCode);
    checkDetailTextures(typeInState(component.type, state), lod0, kDetailTexturesCode);
    checkModelForDifferentTags(lod0, kTagsCode);
}

} // namespace KX
