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

        for (const DataSectionPtr& material : MaterialPropertyHelper::getMaterialsFromVisual(visualSection)) {
            if (cancelled()) {
                return;
            }
            if (!material->openSection(kPropertyTag)) {
                continue;
            }

            const std::string shader = shaderFileName(material);
            if (!isSkyBox && shader.find("sky_box") != std::string::npos) {
                const std::string message = "Model '" + model + "' uses '" + shader +
                                            "'. SkyBox shader can be used only in models from '" +
                                            kSkyBoxFolder + "'";
                addError(ValidationTitle::Common, ValidationErrorSeverity::High, message, message, 2, "");
            }

            if (FS::fileSystem()->fileType(visualPath) == FS::FT_FILE) {
                std::string correct;
                if (!FS::EditorUtils::isAbsolutePathValidCase(visualPath, correct)) {
                    const std::string onDisk = FS::fileSystem()->dissolveFilename(correct);
                    const std::string message =
                        formatString("Visual path '%s' has a case-sensitive typo. Right path is:'%s'.",
                                     visualPath.c_str(), onDisk.c_str());
                    addError(ValidationTitle::Common, ValidationErrorSeverity::Medium, message, message, 123,
                             "");
                }
            } else {
                const std::string message =
                    formatString("Visual file was not found: '%s'.", visualPath.c_str());
                addError(ValidationTitle::Common, ValidationErrorSeverity::Medium, message, message, 123, "");
            }

            const unsigned int collisionFlags = material->readUInt("collisionFlags", 0);
            const std::string identifier = material->readString(kIdentifierTag, "");
            if (collisionFlags == kAllCollisions) {
                const unsigned int kind = material->readUInt(kMaterialKindTag, 0);
                if (!visualRequested) {
                    visual = VisualManager::instance().get(visualPath, 7, true, false);
                    visualRequested = true;
                }
                if (visual && visual->pBSPTree && visual->pBSPTree->numTriangles() > 1) {
                    const size_t count = countFullCollisionTriangles(*visual->pBSPTree, kind);
                    if (count > kMaxFullCollisionTriangles) {
                        const std::string message = "Model '" + model + "' has '" + identifier +
                                                    "' material with BSP containing " +
                                                    std::to_string(count) + " triangle(s)(more than " +
                                                    std::to_string(kMaxFullCollisionTriangles) + ")";
                        addError(ValidationTitle::Common, ValidationErrorSeverity::Medium, message, message,
                                 1, "");
                    }
                }
            }

            // Wooden fence parts without any collision let vehicles drive through.
            if (isFence && identifier.find("n_wood") != std::string::npos && (collisionFlags & 0xFFu) == 0) {
                const std::string message =
                    "Please check, if the fence '" + model + "' needs the 'All Collisions' flag";
                addError(ValidationTitle::Common, ValidationErrorSeverity::Medium, message, message, 129, "");
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
    const std::string message =
        wideToUtf8(StringProvider::instance().str("MODELEDITOR/MODELS/MUTANT/BAD_NODE_TREE"));
    addError(ValidationTitle::CheckOther, ValidationErrorSeverity::Normal, message, message, 9, "");
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
    const std::string message = decor == kAllDecorPresets
                                    ? formatString("Setted all decor presets: %s", model.c_str())
                                    : formatString("Invalid decor type (%u): %s", decor, model.c_str());
    addError(ValidationTitle::CheckOther, ValidationErrorSeverity::Medium, message, message,
             decor == kAllDecorPresets ? 151 : 152, "");
}

} // namespace KX
