#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/core/stack_tracker.h"
#include "engine/model/material_property_helper.h"
#include "engine/model/visual.h"
#include "engine/model/visual_path.h"
#include "engine/resource/file_system.h"
#include "model_validator/finding_catalogue.h"
#include "model_validator/material_properties.h"
#include "model_validator/model_validator.h"

namespace KX {

using namespace ValidatorHelper;
using namespace MaterialProperties;

namespace {

// Material kinds of destructible materials: each of the 14 surface classes
// has an undamaged kind (73 to 86) and a broken one (87 to 100), in the same
// order, so a class's index is the kind minus 72 or minus 86.
constexpr unsigned kFirstUndamagedKind = 73;
constexpr unsigned kLastUndamagedKind = 86;
constexpr unsigned kFirstBrokenKind = 87;
constexpr unsigned kLastBrokenKind = 100;

// Walls and ramps are drawn without a surface of their own, and skinned
// extended materials take their kind from the skeleton: none needs a kind.
const std::string kSkinnedExtendedShader = "shaders/std_effects/PBS_ext_skinned.fx";
const std::vector<std::string> kKindlessPrefixes = {"s_wall", "s_ramp"};

const std::string kTerrainBlendingProperty = "g_enableTerrainBlending";
const std::string kGatesAndFencesFolder = "/gatesandfences/";
const std::vector<std::string> kBasicSurfaceWords = {"stone", "wood", "metal"};

using Materials = std::vector<std::pair<std::string, DataSectionPtr>>;

struct TextureRecord {
    std::string material;
    std::string property;
    std::string texture;
    bool operator==(const TextureRecord&) const = default;
};

struct LodMaterials {
    int lod = -1;
    std::string path;
    Materials materials;
    std::vector<unsigned> storedKinds; // of `materials`, as stored (0 when not)
    // Every other LOD is compared with this one: its texture records are
    // gathered once, when a first pair shares a material.
    mutable std::optional<std::vector<TextureRecord>> records;
};

using KindList = std::vector<std::pair<std::string, unsigned>>;

bool startsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

bool isBrokenKind(unsigned kind) {
    return kind >= kFirstBrokenKind && kind <= kLastBrokenKind;
}

bool isDestructibleKind(unsigned kind) {
    return kind >= kFirstUndamagedKind && kind <= kLastBrokenKind;
}

unsigned storedKind(const DataSectionPtr& material) {
    return material->readUInt(kMaterialKindTag, 0);
}

bool usesLastLodTexture(const std::string& texture, int lod, int maxLod) {
    // The merged textures the last LOD may use instead of the materials' own ones.
    const std::string postfix = getFilenamePostfix(texture);
    return lod == maxLod && (postfix == kReducedMetallicPostfix || postfix == kReducedNormalPostfix ||
                             postfix == kReducedAlbedoPostfix);
}

bool isMergeableMap(const std::string& property) {
    return property == kDiffuseMapTag || property == kNormalMapTag || property == kMetallicGlossMapTag;
}

std::vector<TextureRecord> textureRecords(const Materials& materials) {
    std::vector<TextureRecord> records;
    for (const auto& [identifier, section] : materials) {
        for (const DataSectionPtr& property : propertiesOf(section)) {
            // Most properties are no texture: the record is made only for one.
            std::string texture = property->readString(kTextureTag, "");
            if (texture.empty()) {
                continue;
            }
            TextureRecord record{identifier, property->asString(""), std::move(texture)};
            if (std::find(records.begin(), records.end(), record) == records.end()) {
                records.push_back(std::move(record));
            }
        }
    }
    return records;
}

const std::vector<TextureRecord>& recordsOf(const LodMaterials& entry) {
    if (!entry.records) {
        entry.records = textureRecords(entry.materials);
    }
    return *entry.records;
}

void addOnce(KindList& list, const std::string& identifier, unsigned kind) {
    const std::pair<std::string, unsigned> entry{identifier, kind};
    if (std::find(list.begin(), list.end(), entry) == list.end()) {
        list.push_back(entry);
    }
}

// Whether the number after the second '_' of an identifier whose name word
// ends in a digit ("n_stone1_2": 2) and the number after the first '_' of
// its kind's name ("stone_1": 1) are both given and differ.
bool kindNumbersDisagree(const std::string& identifier, const std::string& kindName) {
    const size_t first = identifier.find('_');
    const size_t second = first == std::string::npos ? std::string::npos : identifier.find('_', first + 1);
    const size_t kindUnderscore = kindName.find('_');
    if (second == std::string::npos || !std::isdigit(static_cast<unsigned char>(identifier[second - 1])) ||
        kindUnderscore == std::string::npos) {
        return false;
    }
    const int own = std::atoi(identifier.c_str() + second + 1);
    const int kinds = std::atoi(kindName.c_str() + kindUnderscore + 1);
    return own != 0 && kinds != 0 && own != kinds;
}

// Reports one finding of a catalogue entry with its message.
using Report = std::function<void(const FindingKind&, const std::string&)>;

// Static surfaces ("s_") never break; walls may still carry undamaged
// destructible kinds, other surfaces neither kind.
void checkStaticSurfaceKinds(const std::vector<LodMaterials>& entries, const Report& report) {
    for (const LodMaterials& entry : entries) {
        for (const auto& [identifier, material] : entry.materials) {
            if (!contains(identifier, "s_")) {
                continue;
            }
            const unsigned kind = storedKind(material);
            if (contains(identifier, "wall")) {
                if (isBrokenKind(kind)) {
                    report(Findings::WallWithBrokenKind,
                           Findings::WallWithBrokenKind.text(entry.path, identifier, kind));
                }
            } else if (isDestructibleKind(kind)) {
                report(Findings::SurfaceWithDestructibleKind,
                       Findings::SurfaceWithDestructibleKind.text(entry.path, identifier, kind));
            }
        }
    }
}

// Every texture of `a` that `b` gives the same material and property
// another file for, unless the last LOD uses a merged texture there.
void compareTextures(const LodMaterials& a, const std::vector<TextureRecord>& recordsA, const LodMaterials& b,
                     const std::vector<TextureRecord>& recordsB, int maxLod, const Report& report) {
    for (const TextureRecord& r1 : recordsA) {
        for (const TextureRecord& r2 : recordsB) {
            if (r1.material != r2.material || r1.property != r2.property || r1.texture == r2.texture) {
                continue;
            }
            if (isMergeableMap(r1.property) && (usesLastLodTexture(r1.texture, a.lod, maxLod) ||
                                                usesLastLodTexture(r2.texture, b.lod, maxLod))) {
                continue;
            }
            report(Findings::MaterialTextureDiffersBetweenLods,
                   Findings::MaterialTextureDiffersBetweenLods.text(a.path, r1.material, r1.texture, b.path,
                                                                    r2.material, r2.texture));
        }
    }
}

// An undamaged material and its destroyed variant belong to one class.
void checkDestroyedVariants(const KindList& undamaged, const KindList& destroyed, const Report& report) {
    for (const auto& [undamagedId, undamagedKind] : undamaged) {
        for (const auto& [destroyedId, destroyedKind] : destroyed) {
            if (undamagedId.substr(2) != destroyedId.substr(2)) {
                continue;
            }
            const int undamagedIndex =
                undamagedKind >= kFirstUndamagedKind && undamagedKind <= kLastUndamagedKind
                    ? static_cast<int>(undamagedKind - kFirstUndamagedKind + 1)
                    : -1;
            const int destroyedIndex =
                isBrokenKind(destroyedKind) ? static_cast<int>(destroyedKind - kFirstBrokenKind + 1) : -1;
            if (undamagedIndex != destroyedIndex) {
                // Identifiers are arguments, not part of the pattern: one
                // holding '%' is printed as written.
                report(Findings::DestroyedKindIndexMismatch,
                       Findings::DestroyedKindIndexMismatch.text(undamagedId, undamagedIndex, destroyedId,
                                                                 destroyedIndex));
            }
        }
    }
}

// A collision material missing from a LOD would change how shots hit when
// that LOD is shown.
void checkCollisionMaterials(const std::string& lod0, const std::vector<LodMaterials>& entries,
                             const Report& report) {
    const VisualPtr visual =
        VisualManager::instance().get(Utilities::getVisualPath(lod0), VisualManager::LoadCollision, false);
    if (!visual) {
        return;
    }
    for (const std::string& bspMaterial : visual->bspMaterialIDs) {
        size_t count = 0;
        for (const LodMaterials& entry : entries) {
            count +=
                static_cast<size_t>(std::count_if(entry.materials.begin(), entry.materials.end(),
                                                  [&](const auto& m) { return m.first == bspMaterial; }));
        }
        if (count != entries.size()) {
            report(Findings::BspMaterialNotInAllLods, Findings::BspMaterialNotInAllLods.text(bspMaterial));
        }
    }
}

// Gates and fences need a surface that hit effects know.
bool hasBasicSurface(const std::vector<LodMaterials>& entries) {
    for (const LodMaterials& entry : entries) {
        for (const auto& material : entry.materials) {
            if (std::any_of(kBasicSurfaceWords.begin(), kBasicSurfaceWords.end(),
                            [&](const std::string& word) { return contains(material.first, word); })) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

void ModelValidator::checkMaterials(const ModelDesc& /*desc*/) {
    KX_STACK_TRACK("KX::ModelValidator::checkMaterials");
    const Report reportFinding = [this](const FindingKind& kind, const std::string& message) {
        report(kind, message);
    };
    const auto kindName = [this](unsigned kind) {
        const auto found = materialKindNames().find(kind);
        return found == materialKindNames().end() ? std::string() : found->second;
    };

    // Each LOD's materials, with the rules that concern one material.
    std::vector<LodMaterials> entries;
    for (const std::string& path : lodModels) {
        const DataSectionPtr visual = checkAndOpenVisualSectionForModelName(path);
        if (!visual) {
            report(Findings::MaterialVisualMissing, Findings::MaterialVisualMissing.text(path));
            continue;
        }
        LodMaterials entry;
        entry.lod = lodNumber(path);
        entry.path = path;
        for (const DataSectionPtr& material : MaterialPropertyHelper::getMaterialsFromVisual(visual)) {
            if (cancelled()) {
                return;
            }
            const std::string identifier = material->readString(kIdentifierTag, "");
            const auto named = materialKindIds().find(getMaterialName(identifier));
            const unsigned kind =
                material->readUInt(kMaterialKindTag, named == materialKindIds().end() ? 0u : named->second);
            if (kind == 0) {
                const bool kindless =
                    std::any_of(kKindlessPrefixes.begin(), kKindlessPrefixes.end(),
                                [&](const std::string& p) { return startsWith(identifier, p); });
                if (!kindless && material->readString(kFxTag, "") != kSkinnedExtendedShader) {
                    report(Findings::DefaultMaterialKind,
                           Findings::DefaultMaterialKind.text(path, identifier));
                }
            }
            entry.materials.emplace_back(identifier, material);
            entry.storedKinds.push_back(storedKind(material));

            const std::string name = kindName(kind);
            if (kindNumbersDisagree(identifier, name)) {
                report(Findings::MaterialKindNumberMismatch,
                       Findings::MaterialKindNumberMismatch.text(path, identifier, name));
            }

            // Terrain blending would paint the ground onto the flying debris.
            if (entry.lod == 0 && isHavokModel(path)) {
                const Variant blending =
                    getProperty(propertiesOf(material), kTerrainBlendingProperty, kBoolTag);
                if (blending.holds<bool>() && blending.get<bool>()) {
                    report(Findings::TerrainBlendingInHavokModel,
                           Findings::TerrainBlendingInHavokModel.text(path, identifier));
                }
            }
        }
        entries.push_back(std::move(entry));
    }
    int maxLod = 0;
    for (const LodMaterials& entry : entries) {
        maxLod = std::max(maxLod, entry.lod);
    }

    checkStaticSurfaceKinds(entries, reportFinding);

    // The same material must look and behave the same in every LOD. Both
    // orders of a pair are visited; de-duplication keeps one finding per text.
    // The variant lists fill only while pairs of LODs are compared.
    KindList undamaged;
    KindList destroyed;
    for (const LodMaterials& a : entries) {
        for (const LodMaterials& b : entries) {
            if (a.lod == b.lod) {
                continue;
            }
            // The textures of two LODs are compared whole, material by
            // material, at the first material they share; comparing them
            // again at the next could only repeat those findings.
            bool texturesCompared = false;
            for (size_t i = 0; i < a.materials.size(); ++i) {
                const std::string& identifier = a.materials[i].first;
                const unsigned kindA = a.storedKinds[i];
                if (startsWith(identifier, "n_")) {
                    addOnce(undamaged, identifier, kindA);
                } else if (startsWith(identifier, "d_")) {
                    addOnce(destroyed, identifier, kindA);
                }
                for (size_t j = 0; j < b.materials.size(); ++j) {
                    const std::string& otherIdentifier = b.materials[j].first;
                    if (otherIdentifier != identifier) {
                        continue;
                    }
                    const unsigned kindB = b.storedKinds[j];
                    if (kindA != kindB) {
                        report(Findings::MaterialKindDiffersBetweenLods,
                               Findings::MaterialKindDiffersBetweenLods.text(
                                   a.path, identifier, kindName(kindA), b.path, otherIdentifier,
                                   kindName(kindB)));
                    }
                    if (!texturesCompared) {
                        compareTextures(a, recordsOf(a), b, recordsOf(b), maxLod, reportFinding);
                        texturesCompared = true;
                    }
                }
            }
        }
    }

    checkDestroyedVariants(undamaged, destroyed, reportFinding);
    if (!lodModels.empty()) {
        checkCollisionMaterials(lodModels.front(), entries, reportFinding);
    }
    if (contains(toLower(currentModelPath), kGatesAndFencesFolder) && !hasBasicSurface(entries)) {
        report(Findings::GateWithoutBasicMaterial, Findings::GateWithoutBasicMaterial.text(currentModelPath));
    }
}

} // namespace KX
