#include <optional>
#include <string>

#include "engine/core/format.h"
#include "engine/core/stack_tracker.h"
#include "engine/core/string_conv.h"
#include "engine/l10n/string_provider.h"
#include "engine/model/decor_settings.h"
#include "engine/model/material_property_helper.h"
#include "engine/model/super_model.h"
#include "engine/model/visual.h"
#include "engine/model/visual_path.h"
#include "engine/resource/data_section.h"
#include "engine/resource/file_system.h"
#include "model_validator/finding_catalogue.h"
#include "model_validator/model_validator.h"

namespace KX {

using namespace ValidatorHelper;

namespace {

const std::string kSkyBoxFolder = "maps/skyboxes/";
const std::string kFenceFolder = "/gatesandfences/";
// Fully colliding triangles: every collision bit set.
constexpr unsigned int kAllCollisions = 255;
// More fully colliding triangles of one material than this makes the
// collision tree needlessly expensive.
constexpr size_t kMaxFullCollisionTriangles = 1;
// All six "do not draw on this preset" bits: the object would never be drawn.
constexpr unsigned int kAllDecorPresets = 0x1F8;

// The shader file name of a material, lower-cased ("sky_box.fx").
std::string shaderFileName(const DataSectionPtr& material) {
    return FS::Utils::getFilename(Validator::toLower(material->readString(kFxTag, "")));
}

// Triangles of the collision tree that belong to a material kind and collide
// with everything.
size_t countFullCollisionTriangles(const BSPTree& tree, unsigned int materialKind) {
    size_t count = 0;
    for (const WorldTriangle& triangle : tree.triangles()) {
        if (triangle.materialKind() == materialKind && triangle.collisionFlags() == kAllCollisions) {
            ++count;
        }
    }
    return count;
}

// The finding a LOD's visual path gives (a missing file, or a spelling other
// than the disk's) and its text; null when the path is sound.
std::pair<const FindingKind*, std::string> findingOfVisualPath(const std::string& visualPath) {
    if (FS::fileSystem()->fileType(visualPath) != FS::FT_FILE) {
        return {&Findings::VisualFileMissing, Findings::VisualFileMissing.text(visualPath)};
    }
    std::string correct;
    if (FS::EditorUtils::isAbsolutePathValidCase(visualPath, correct)) {
        return {nullptr, std::string()};
    }
    const std::string onDisk = FS::fileSystem()->dissolveFilename(correct);
    return {&Findings::VisualPathCaseTypo, Findings::VisualPathCaseTypo.text(visualPath, onDisk)};
}

} // namespace

void ModelValidator::checkModel(const ModelDesc& desc) {
    KX_STACK_TRACK("KX::ModelValidator::checkModel");
    const bool isFence = toLower(desc.path).find(kFenceFolder) != std::string::npos;
    const bool isSkyBox = desc.path.find(kSkyBoxFolder) != std::string::npos;

    for (const std::string& model : lodModels) {
        const std::string visualPath = Utilities::getVisualPath(model);
        checkSpacesContaining(model);
        checkingInvalidSymbols(model);
        checkSpacesContaining(visualPath);
        checkingInvalidSymbols(visualPath);
        checkModelPath(model);

        const DataSectionPtr visualSection = checkAndOpenVisualSectionForModelName(model);
        if (!visualSection) {
            continue;
        }
        // The collision tree is loaded once per model, when a material first needs it.
        VisualPtr visual;
        bool visualRequested = false;
        // What the visual's path gives every material of the LOD, found for the first.
        std::optional<std::pair<const FindingKind*, std::string>> visualPathFinding;

        for (const DataSectionPtr& material : MaterialPropertyHelper::getMaterialsFromVisual(visualSection)) {
            if (cancelled()) {
                return;
            }
            if (!material->openSection(kPropertyTag)) {
                continue;
            }

            const std::string shader = shaderFileName(material);
            if (!isSkyBox && shader.find("sky_box") != std::string::npos) {
                report(Findings::SkyBoxShaderOutsideSkyBoxes,
                       Findings::SkyBoxShaderOutsideSkyBoxes.text(model, shader));
            }

            if (!visualPathFinding) {
                visualPathFinding = findingOfVisualPath(visualPath);
            }
            if (visualPathFinding->first) {
                report(*visualPathFinding->first, visualPathFinding->second);
            }

            const unsigned int collisionFlags = material->readUInt("collisionFlags", 0);
            const std::string identifier = material->readString(kIdentifierTag, "");
            if (collisionFlags == kAllCollisions) {
                const unsigned int kind = material->readUInt(kMaterialKindTag, 0);
                if (!visualRequested) {
                    visual = VisualManager::instance().get(visualPath, VisualManager::LoadAll, true, false);
                    visualRequested = true;
                }
                if (visual && visual->pBSPTree && visual->pBSPTree->numTriangles() > 1) {
                    const size_t count = countFullCollisionTriangles(*visual->pBSPTree, kind);
                    if (count > kMaxFullCollisionTriangles) {
                        report(Findings::FullCollisionTriangles,
                               Findings::FullCollisionTriangles.text(
                                   model, identifier, static_cast<unsigned long>(count),
                                   static_cast<unsigned long>(kMaxFullCollisionTriangles)));
                    }
                }
            }

            // Wooden fence parts without any collision let vehicles drive through.
            if (isFence && identifier.find("n_wood") != std::string::npos && (collisionFlags & 0xFFu) == 0) {
                report(Findings::FenceWithoutCollisions, Findings::FenceWithoutCollisions.text(model));
            }
        }
    }

    checkCountTris(desc);
    checkBSPForRealms(desc);
}

void ModelValidator::checkOther(const ModelDesc&) {
    KX_STACK_TRACK("KX::ModelValidator::checkOther");
    const SuperModel model(currentModelPath);
    if (!model.isLoaded() || model.simpleValidateLODs()) {
        return;
    }
    report(Findings::BadNodeTree,
           wideToUtf8(StringProvider::instance().str("MODELEDITOR/MODELS/MUTANT/BAD_NODE_TREE")));
}

void ModelValidator::checkDecorType(const ModelDesc&) {
    KX_STACK_TRACK("KX::ModelValidator::checkDecorType");
    if (lodModels.empty()) {
        return;
    }
    const std::string& model = lodModels.front();
    const DataSectionPtr section = FS::Utils::openSection(model);
    if (!section) {
        return;
    }
    const unsigned int decor = section->readUInt("decorative", 0);
    if (decor == 0 || DecorSettings::isValidDecorType(decor)) {
        return;
    }
    if (decor == kAllDecorPresets) {
        report(Findings::AllDecorPresets, Findings::AllDecorPresets.text(model));
    } else {
        report(Findings::InvalidDecorType, Findings::InvalidDecorType.text(decor, model));
    }
}

} // namespace KX
