#include "model_validator/finding_catalogue.h"

#include <algorithm>

namespace KX {
namespace {

using ValidatorHelper::ValidationErrorSeverity;
using ValidatorHelper::ValidationTitle;
constexpr auto Normal = ValidationErrorSeverity::Normal;
constexpr auto Medium = ValidationErrorSeverity::Medium;
constexpr auto High = ValidationErrorSeverity::High;

std::vector<FindingKind> buildCatalogue() {
    std::vector<FindingKind> kinds = {
        // Driver and LOD chain.
        {100, ValidationTitle::Common, High, "ModelValidator::check", "Model '<path>' has invalid path"},
        {12, ValidationTitle::CheckLods, High, "Validator::getModelLODHierarchy",
         "Model '<path>' doesn't exist."},
        {12, ValidationTitle::CheckLods, High, "Validator::getModelLODHierarchy",
         "Model '<path>' is reached again through 'parent': the LOD chain is a loop"},
        {123, ValidationTitle::Common, Medium, "Validator::getModelLODHierarchy",
         "Parent path '%s' has a case-sensitive typo. Right path is:'%s'."},
        {360, ValidationTitle::CheckLods, High, "Validator::getModelLODHierarchy",
         "Model '<lower-cased parent path>' was used not from LOD folders"},
        // Path checks.
        {6, ValidationTitle::CheckOther, Medium, "ModelValidator::checkModelPath",
         "First character of filename '%s' for path '%s' is digit"},
        {124, ValidationTitle::CheckTextureProperties, Medium, "ModelValidator::checkSpacesContaining",
         "Path '%s' has contain '%d' spaces."},
        {131, ValidationTitle::CheckTextureProperties, High, "ModelValidator::checkingInvalidSymbols",
         "Path '%s' contains '\\'"},
        {130, ValidationTitle::CheckTextureProperties, High, "ModelValidator::checkingInvalidSymbols",
         "Path '%s' contains non-latin letters"},
        {131, ValidationTitle::CheckTextureProperties, High, "ModelValidator::checkingInvalidSymbols",
         "File on disk '%s' doesn't match the case of path '%s'"},
        // Model file checks.
        {2, ValidationTitle::Common, High, "ModelValidator::checkModel",
         "Model '<model>' uses '<shader>'. SkyBox shader can be used only in models from 'maps/skyboxes/'"},
        {123, ValidationTitle::Common, Medium, "ModelValidator::checkModel",
         "Visual file was not found: '%s'."},
        {123, ValidationTitle::Common, Medium, "ModelValidator::checkModel",
         "Visual path '%s' has a case-sensitive typo. Right path is:'%s'."},
        {1, ValidationTitle::Common, Medium, "ModelValidator::checkModel",
         "Model '<model>' has '<material>' material with BSP containing <n> triangle(s)(more than 1)"},
        {129, ValidationTitle::Common, Medium, "ModelValidator::checkModel",
         "Please check, if the fence '<model>' needs the 'All Collisions' flag"},
        {9, ValidationTitle::CheckOther, Normal, "ModelValidator::checkOther",
         "<text of MODELEDITOR/MODELS/MUTANT/BAD_NODE_TREE>"},
        {151, ValidationTitle::CheckOther, Medium, "ModelValidator::checkDecorType",
         "Setted all decor presets: %s"},
        {152, ValidationTitle::CheckOther, Medium, "ModelValidator::checkDecorType",
         "Invalid decor type (%u): %s"},
        // LOD checks.
        {kCallerCode, ValidationTitle::CheckLods, High, "Validator::checkLods",
         "Model '<path>' has LODs that are connected incorrectly."},
        {kCallerCode, ValidationTitle::CheckLods, High, "Validator::checkLods",
         "LOD '<next>' is connected to '<lod path>' - it is incorrectly."},
        {kCallerCode, ValidationTitle::CheckLods, High, "Validator::checkLodExtents",
         "LODs '%s': actual extent value %.1f differs from standard %s value for %s"},
        {kCallerCode, ValidationTitle::CheckLods, High, "Validator::checkLods",
         "Can not get LODs for <path> model"},
        {kCallerCode, ValidationTitle::CheckLods, Medium, "Validator::checkLods",
         "Model '<path>' doesn't exist. / Model '<path>' is not connected."},
        {139, ValidationTitle::CheckLods, Medium, "ModelValidator::checkDisconnectedLods",
         "Model '<root>/<lod folder>/<file>' is disconnected, but is not deleted"},
        // Bounds.
        {3, ValidationTitle::Common, Normal, "ModelValidator::checkBoundingBox",
         "Model '<name>' has current bounding box (width: %f height: %f depth: %f) and bounding box in the "
         "resources (width: %f height: %f depth: %f)"},
        {3, ValidationTitle::Common, High, "ModelValidator::checkBoundingBox",
         "Can not open visual for '<path>'"},
        {3, ValidationTitle::Common, High, "ModelValidator::checkBoundingBox", "Can get super model"},
        {kCallerCode, ValidationTitle::CheckVisibilityBox, Medium, "Validator::checkVisibilityBox",
         "Model '<name>' has empty visibility box"},
        {kCallerCode, ValidationTitle::CheckVisibilityBox, Medium, "Validator::checkVisibilityBox",
         "Model '<name>' has empty bounding box"},
        {kCallerCode, ValidationTitle::CheckVisibilityBox, High, "Validator::checkVisibilityBox",
         "Model '<name>' has different bounding box (width: %f height: %f depth: %f) and visibility box "
         "(width: %f height: %f depth: %f)"},
        {kCallerCode, ValidationTitle::CheckVisibilityBox, High, "Validator::checkVisibilityBox",
         "Can not open '<visual path>'"},
        {kCallerCode, ValidationTitle::CheckVisibilityBox, High, "Validator::checkVisibilityBox",
         "Can not open '<path>'"},
        // Triangles, BSP and collision.
        {11, ValidationTitle::Common, Medium, "ModelValidator::checkCountTris",
         "The number of triangles in the BSP of an object is 25% more than the number of triangles in "
         "LOD_0."},
        {135, ValidationTitle::Common, Medium, "ModelValidator::checkCountTris",
         "The number of triangles in BSP of a collision object in LOD_%lu is not equal to LOD_0"},
        {138, ValidationTitle::Common, High, "ModelValidator::checkBSPForRealms",
         "The number of triangles in BSP of the source primitive file %s is not equal to the realm primitive "
         "file %s"},
        {kCallerCode, ValidationTitle::CheckMaterialKind, High, "Validator::checkCollisionModel",
         "Collision model '%s' has unknown materialKind '%u', which isn't listed in "
         "system/data/material_kinds.xml"},
        {kCallerCode, ValidationTitle::CheckMaterialKind, High, "Validator::checkCollisionModel",
         "Collision model '%s' has material identifier '%s' different from desc '%s' from "
         "system/data/material_kinds.xml"},
        {kCallerCode, ValidationTitle::CheckMaterialKind, High, "Validator::checkCollisionModel",
         "<path>: can't find .visual file for this model"},
        // Hardpoints and node transforms.
        {kCallerCode, ValidationTitle::CheckHardpointsAndBones, High, "Validator::checkHardpointsAndBones",
         "Can not validate model transforms - no transforms for lod0: "},
        {kCallerCode, ValidationTitle::CheckHardpointsAndBones, Medium, "Validator::checkHardpointsAndBones",
         "Model '%s' has different transform value for node '%s' from model '%s'"},
        {kCallerCode, ValidationTitle::CheckHardpointsAndBones, High, "Validator::checkHardpointsAndBones",
         "Model '%s' doesn't have node '%s', that has model '%s'"},
        {kCallerCode, ValidationTitle::CheckHardpointsAndBones, High, "Validator::checkHardpointsAndBones",
         "Model '%s' has node '%s', that doesn't exist in '%s'"},
        {107, ValidationTitle::CheckHardpointsAndBones, High, "ModelValidator::checkContentHardpoints",
         "File '%s' has hardpoint '%s', but it has to be 'HP_module_xx', 'HP_modulexx_xx', 'HP_module_xx_xx' "
         "or "
         "'HP_modulexx', where xx is a number from 0 to 13"},
        {109, ValidationTitle::CheckHardpointsAndBones, Normal, "ModelValidator::checkContentHardpoints",
         "File '%s' has hardpoint with legacy name '%s"},
    };
    std::stable_sort(kinds.begin(), kinds.end(),
                     [](const FindingKind& a, const FindingKind& b) { return a.code < b.code; });
    return kinds;
}

std::string escapeCell(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '|') {
            out += "\\|";
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

const std::vector<FindingKind>& findingCatalogue() {
    static const std::vector<FindingKind> catalogue = buildCatalogue();
    return catalogue;
}

std::string findingCatalogueMarkdown() {
    std::string text =
        "# Findings\n\n"
        "Every finding the validator reports. A code groups the findings of one rule; \"caller\" "
        "means that the validator calling a reusable check chooses the code. In messages, "
        "`<...>` stands for a value that is filled in and `%s`, `%d`, `%u`, `%f` for formatted "
        "values.\n\n"
        "| code | title | severity | check | message |\n|---|---|---|---|---|\n";
    for (const FindingKind& kind : findingCatalogue()) {
        text += "| " + (kind.code == kCallerCode ? std::string("caller") : std::to_string(kind.code)) +
                " | " + ValidatorHelper::titleName(kind.title) + " | " +
                ValidatorHelper::severityName(kind.severity) + " | `" + kind.check + "` | " +
                escapeCell(kind.message) + " |\n";
    }
    return text;
}

} // namespace KX
