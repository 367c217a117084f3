#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/core/debug_log.h"
#include "engine/core/stack_tracker.h"
#include "engine/model/material_property_helper.h"
#include "engine/resource/file_system.h"
#include "model_validator/finding_catalogue.h"
#include "model_validator/material_properties.h"
#include "model_validator/model_validator.h"
#include "model_validator/path_helpers.h"

namespace KX {

using namespace ValidatorHelper;
using MaterialProperties::getFirstIndex;

namespace {

// The shared registries. The host edits them while the editor runs, so
// every check reads them afresh.
const std::string kDestructiblesRegistry = "scripts/destructibles.xml";
const std::string kDestructiblesEffectsRegistry = "scripts/destructibles_effects.xml";
const std::string kEnvironmentEffectsRegistry = "scripts/environment_effects.xml";

// The destructible groups, in the order an entry is looked for.
const std::string kFallingAtomsGroup = "fallingAtoms";
constexpr auto kDestructibleGroups =
    std::to_array<std::string_view>({"fallingAtoms", "fragiles", "structures"});

// The effects a module may name, in the order they are checked; "none" (or
// nothing) means the module has no such effect.
constexpr auto kEffectKeys = std::to_array<std::string_view>({"decayEffect", "ramEffect", "hitEffect"});
const std::string kNoEffect = "none";

// Undamaged materials: named "n_<word>[_<number>]", or of the undamaged kinds.
const std::string kUndamagedPrefix = "n_";
constexpr unsigned kFirstUndamagedKind = 73;
constexpr unsigned kLastUndamagedKind = 86;
// The collision flags a falling object's undamaged materials must carry
// (0x83), which is also what a material without the key gets.
constexpr unsigned kFallingAtomCollisionFlags = 131;

std::string absoluteRegistryPath(const std::string& resourcePath) {
    std::string absolute = resourcePath;
    FS::Utils::resolveToAbsolutePath(absolute);
    return absolute;
}

// The entries of each destructible group by their "filename", in file
// order. The registry holds an entry per destructible model of the game, and
// every LOD of every model is looked up in it: walking the entries would make
// each check cost as much as the registry is long. The index is built once
// per parsed registry; the resource cache hands out the same tree for as long
// as the file is unchanged, and a new tree (the file was saved) gets a new
// index. Only the checks' thread uses it.
class RegistryIndex {
  public:
    static const RegistryIndex& of(const DataSectionPtr& registry) {
        static RegistryIndex index;
        if (index.registry_.get() != registry.get()) {
            index = RegistryIndex(registry);
        }
        return index;
    }

    bool hasGroup(size_t group) const { return groups_[group].has_value(); }

    // The entries of `group` whose "filename" is `modelPath`, byte for byte, in file order.
    const std::vector<DataSectionPtr>& entries(size_t group, const std::string& modelPath) const {
        static const std::vector<DataSectionPtr> none;
        if (!groups_[group]) {
            return none;
        }
        const auto found = groups_[group]->find(modelPath);
        return found == groups_[group]->end() ? none : found->second;
    }

  private:
    RegistryIndex() = default;
    explicit RegistryIndex(const DataSectionPtr& registry) : registry_(registry) {
        for (size_t g = 0; g < kDestructibleGroups.size(); ++g) {
            const DataSectionPtr group = registry->openSection(std::string(kDestructibleGroups[g]));
            if (!group) {
                continue;
            }
            std::vector<DataSectionPtr> all;
            group->openSections("entry", all);
            auto& byFile = groups_[g].emplace();
            for (const DataSectionPtr& entry : all) {
                byFile[entry->readString("filename", "")].push_back(entry);
            }
        }
    }

    DataSectionPtr registry_; // held, so that its address names it
    std::array<std::optional<std::unordered_map<std::string, std::vector<DataSectionPtr>>>,
               kDestructibleGroups.size()>
        groups_;
};

// The first entry of a group, in file order, that describes the model file
// `modelPath` (compared byte for byte); null when there is none.
DataSectionPtr getModelEntry(const RegistryIndex& registry, size_t group, const std::string& modelPath) {
    const std::vector<DataSectionPtr>& entries = registry.entries(group, modelPath);
    return entries.empty() ? nullptr : entries.front();
}

size_t getModelEntryCount(const RegistryIndex& registry, size_t group, const std::string& modelPath) {
    return registry.entries(group, modelPath).size();
}

// The modules of an entry; an entry without any is its own single module.
std::vector<DataSectionPtr> modulesOf(const DataSectionPtr& entry) {
    std::vector<DataSectionPtr> modules;
    if (const DataSectionPtr list = entry->openSection("modules")) {
        list->openSections("module", modules);
    }
    if (modules.empty()) {
        modules.push_back(entry);
    }
    return modules;
}

bool isUndamagedName(const std::string& identifier) {
    return identifier.rfind(kUndamagedPrefix, 0) == 0;
}

bool isUndamagedKind(unsigned kind) {
    return kind >= kFirstUndamagedKind && kind <= kLastUndamagedKind;
}

std::string identifierOf(const DataSectionPtr& material) {
    return material->readString(kIdentifierTag, "");
}

// The material word of an undamaged identifier when no "_<number>" follows
// it ("n_brick01" gives "brick"); nothing for "n_brick_01".
std::optional<std::string> wordWithoutNumberPart(const std::string& identifier) {
    const std::string word = MaterialProperties::getMaterialName(identifier);
    const size_t position = identifier.find(word);
    if (position == std::string::npos) {
        return std::nullopt;
    }
    const size_t after = position + word.size();
    if (after < identifier.size() && identifier[after] == '_') {
        return std::nullopt;
    }
    return word;
}

// Undamaged materials that are one material exported twice: the same word,
// no "_<number>" part, and the same number.
bool areTwinMaterials(const std::string& a, const std::string& b) {
    if (!isUndamagedName(a) || !isUndamagedName(b)) {
        return false;
    }
    const std::optional<std::string> wordA = wordWithoutNumberPart(a);
    const std::optional<std::string> wordB = wordWithoutNumberPart(b);
    return wordA && wordB && *wordA == *wordB && getFirstIndex(a) == getFirstIndex(b);
}

} // namespace

void ModelValidator::checkDestructibles(const ModelDesc&) {
    KX_STACK_TRACK("KX::ModelValidator::checkDestructibles");
    const std::string destructiblesPath = absoluteRegistryPath(kDestructiblesRegistry);
    const std::string effectsPath = absoluteRegistryPath(kDestructiblesEffectsRegistry);
    const std::string environmentPath = absoluteRegistryPath(kEnvironmentEffectsRegistry);
    // The host may have edited any of them since the last check: every check
    // proves each file against the disk at its first use and reads a changed
    // one again, so they are read as they are now without a purge.

    const DataSectionPtr effects = FS::Utils::openSection(effectsPath);
    const DataSectionPtr registry = FS::Utils::openSection(destructiblesPath);
    if (!registry) {
        report(Findings::DestructiblesRegistryUnreadable, Findings::DestructiblesRegistryUnreadable.text());
        return;
    }
    const RegistryIndex& index = RegistryIndex::of(registry);
    for (const std::string& lod : lodModels) {
        DataSectionPtr entry;
        std::string groupName;
        for (size_t group = 0; group < kDestructibleGroups.size(); ++group) {
            if (cancelled()) {
                return;
            }
            if (index.hasGroup(group) && (entry = getModelEntry(index, group, lod))) {
                groupName = kDestructibleGroups[group];
                break;
            }
        }
        if (entry) {
            if (!contentHardpoints.empty()) {
                checkHardpointsDestructibles(lod, entry);
                checkEffectsDestructibles(lod, entry, effects);
                checkMaterialKindDestructibles(lod, entry);
            }
            checkDestructibleEtcProperties(lod, entry, groupName);
            checkDestructiblesDuplicateEntries(registry, lod);
        } else if (!contentHardpoints.empty() &&
                   MaterialProperties::getLastIndex(PathHelpers::getLodFolder(lod)) == 0 &&
                   !isMapActivity(environmentPath, lod)) {
            report(Findings::ModuleHardpointsWithoutEntry, Findings::ModuleHardpointsWithoutEntry.text(lod));
        }
        checkHavokFiles(lod);
    }
}

// Whether the map activities of the environment registry mention the model
// file. They are free-form, so any mention in their text counts.
bool ModelValidator::isMapActivity(const std::string& environmentRegistry, const std::string& lod) {
    const DataSectionPtr environment = FS::Utils::openSection(environmentRegistry);
    const DataSectionPtr activities = environment ? environment->openSection("mapActivities") : nullptr;
    const BinaryPtr text = activities ? activities->asBinary() : nullptr;
    return text && text->view().find(lod) != std::string_view::npos;
}

void ModelValidator::checkDestructiblesDuplicateEntries(SmartPointer<DataSection> registry,
                                                        const std::string& modelPath) {
    KX_STACK_TRACK("KX::ModelValidator::checkDestructiblesDuplicateEntries");
    const RegistryIndex& index = RegistryIndex::of(registry);
    bool seen = false;
    for (size_t group = 0; group < kDestructibleGroups.size(); ++group) {
        if (cancelled()) {
            return;
        }
        if (!index.hasGroup(group)) {
            continue;
        }
        const size_t count = getModelEntryCount(index, group, modelPath);
        if (count > 1 || (count == 1 && seen)) {
            report(Findings::DuplicateDestructibleEntries,
                   Findings::DuplicateDestructibleEntries.text(modelPath));
            return;
        }
        seen = seen || count == 1;
    }
}

void ModelValidator::checkHardpointsDestructibles(const std::string& lod, SmartPointer<DataSection> entry) {
    KX_STACK_TRACK("KX::ModelValidator::checkHardpointsDestructibles");
    const std::vector<DataSectionPtr> modules = modulesOf(entry);
    for (const std::string& hardpoint : contentHardpoints) {
        if (cancelled()) {
            return;
        }
        const bool described = std::any_of(modules.begin(), modules.end(), [&](const DataSectionPtr& module) {
            return module->readString("effectHP", "") == hardpoint;
        });
        if (!described) {
            report(Findings::HardpointWithoutModule, Findings::HardpointWithoutModule.text(lod, hardpoint));
        }
    }
}

void ModelValidator::checkEffectsDestructibles(const std::string& lod, SmartPointer<DataSection> entry,
                                               SmartPointer<DataSection> effectsRegistry) {
    KX_STACK_TRACK("KX::ModelValidator::checkEffectsDestructibles");
    // Without the effects registry no effect is described: each is reported,
    // as the missing file is a mistake the content team has to see.
    if (!effectsRegistry) {
        DebugLog::messageText(DebugLog::Warning, "",
                              "Can not open '" + kDestructiblesEffectsRegistry + "': no effect of '" + lod +
                                  "' is described");
    }
    const std::vector<DataSectionPtr> modules = modulesOf(entry);
    for (const std::string_view key : kEffectKeys) {
        if (cancelled()) {
            return;
        }
        std::vector<std::string> names;
        for (const DataSectionPtr& module : modules) {
            const std::string name = module->readString(std::string(key), "");
            if (!name.empty() && name != kNoEffect &&
                std::find(names.begin(), names.end(), name) == names.end()) {
                names.push_back(name);
            }
        }
        for (const std::string& name : names) {
            const bool described =
                effectsRegistry &&
                std::any_of(
                    kDestructibleGroups.begin(), kDestructibleGroups.end(), [&](std::string_view group) {
                        return effectsRegistry->openSection(std::string(group) + "/" + name) != nullptr;
                    });
            if (!described) {
                report(Findings::EffectNotDescribed,
                       Findings::EffectNotDescribed.text(lod, std::string(key), name));
            }
        }
    }
}

void ModelValidator::checkMaterialKindDestructibles(const std::string& lod, SmartPointer<DataSection> entry) {
    KX_STACK_TRACK("KX::ModelValidator::checkMaterialKindDestructibles");
    const DataSectionPtr visual = checkAndOpenVisualSectionForModelName(lod);
    if (!visual) {
        report(Findings::DestructibleVisualMissing, Findings::DestructibleVisualMissing.text(lod));
        return;
    }
    const std::vector<DataSectionPtr> materials = MaterialPropertyHelper::getMaterialsFromVisual(visual);
    std::vector<std::string> undamaged;
    for (size_t i = 0; i < materials.size(); ++i) {
        const std::string idA = identifierOf(materials[i]);
        if (isUndamagedName(idA) && std::find(undamaged.begin(), undamaged.end(), idA) == undamaged.end()) {
            undamaged.push_back(idA);
        }
        for (size_t j = i + 1; j < materials.size(); ++j) {
            if (cancelled()) {
                return;
            }
            const std::string idB = identifierOf(materials[j]);
            const unsigned kindA = materials[i]->readUInt(kMaterialKindTag, 0);
            const unsigned kindB = materials[j]->readUInt(kMaterialKindTag, 0);
            if (kindA != kindB && areTwinMaterials(idA, idB)) {
                report(Findings::TwinMaterialsWithDifferentKinds,
                       Findings::TwinMaterialsWithDifferentKinds.text(lod, idA, static_cast<int>(kindA), idB,
                                                                      static_cast<int>(kindB)));
            }
        }
    }
    checkUndamagedMaterialsDuplicateDestructibles(lod, entry, undamaged);
}

void ModelValidator::checkUndamagedMaterialsDuplicateDestructibles(
    const std::string& lod, SmartPointer<DataSection> entry,
    const std::vector<std::string>& undamagedIdentifiers) {
    KX_STACK_TRACK("KX::ModelValidator::checkUndamagedMaterialsDuplicateDestructibles");
    const std::vector<DataSectionPtr> modules = modulesOf(entry);
    for (const std::string& identifier : undamagedIdentifiers) {
        const int number = getFirstIndex(identifier);
        size_t matches = 0;
        for (const DataSectionPtr& module : modules) {
            if (cancelled()) {
                return;
            }
            if (getFirstIndex(module->readString("matName", "")) == number && ++matches == 2) {
                report(Findings::UndamagedMaterialWithDuplicateModules,
                       Findings::UndamagedMaterialWithDuplicateModules.text(lod, identifier));
                break;
            }
        }
        if (matches == 0) {
            report(Findings::UndamagedMaterialWithoutModule,
                   Findings::UndamagedMaterialWithoutModule.text(lod, identifier));
        }
    }
}

void ModelValidator::checkDestructibleEtcProperties(const std::string& lod,
                                                    SmartPointer<DataSection> /*entry*/,
                                                    std::string_view group) {
    KX_STACK_TRACK("KX::ModelValidator::checkDestructibleEtcProperties");
    const DataSectionPtr visual = checkAndOpenVisualSectionForModelName(lod);
    if (!visual) {
        return;
    }
    const std::vector<DataSectionPtr> materials = MaterialPropertyHelper::getMaterialsFromVisual(visual);
    if (group == kFallingAtomsGroup) {
        for (const DataSectionPtr& material : materials) {
            if (!isUndamagedName(identifierOf(material))) {
                continue;
            }
            const unsigned flags = material->readUInt("collisionFlags", kFallingAtomCollisionFlags);
            if (flags != kFallingAtomCollisionFlags) {
                report(Findings::FallingObjectCollisionFlags,
                       Findings::FallingObjectCollisionFlags.text(
                           lod, static_cast<int>(flags), static_cast<int>(kFallingAtomCollisionFlags)));
            }
        }
    }
    const bool hasUndamaged =
        std::any_of(materials.begin(), materials.end(), [](const DataSectionPtr& material) {
            return isUndamagedName(identifierOf(material)) ||
                   isUndamagedKind(material->readUInt(kMaterialKindTag, 0));
        });
    if (!hasUndamaged) {
        report(Findings::DestructibleWithoutUndamagedMaterials,
               Findings::DestructibleWithoutUndamagedMaterials.text(lod));
    }
}

} // namespace KX
