#include <string>

#include "engine/core/stack_tracker.h"
#include "engine/geometry/vertices.h"
#include "engine/model/material_property_helper.h"
#include "engine/model/visual_path.h"
#include "engine/render/effect_manager.h"
#include "engine/resource/file_system.h"
#include "model_validator/finding_catalogue.h"
#include "model_validator/model_validator.h"

namespace KX {

using namespace ValidatorHelper;

namespace {

// Tools compile effects with the shared model includes at hand.
const std::string kToolsIncludeFolder = "Tools/Common/Models/";
const std::string kSkinnedMarker = "_skinned";
const std::string kLightOnlyPrefix = "lightonly";
// The number scenery models report wrong vertex formats under; vehicle
// validators choose their own.
constexpr int kSceneryVertexFormatCode = 101;

// The vertex format an effect needs: skinned effects read bone indices and
// weights, lit effects tangents and binormals. Physics companion models keep
// a single bone index and no weights.
std::string requiredVertexFormat(const std::string& fxName, bool havokModel) {
    if (fxName.find(kSkinnedMarker) == std::string::npos) {
        return "xyznuvtb";
    }
    if (fxName.find(kLightOnlyPrefix) == 0) {
        return "xyznuviiiww";
    }
    return havokModel ? "xyznuvitb" : "xyznuviiiwwtb";
}

// The primitives file the visual draws from: its "primitivesName", or the
// file named like the visual.
std::string primitivesOf(const std::string& modelPath, const DataSectionPtr& visual) {
    const std::string name = visual->readString(kPrimitivesNameTag, "");
    if (name.empty()) {
        return FS::Utils::changeExtension(Utilities::getVisualPath(modelPath), "." + kPrimitiveExtension);
    }
    return name + "." + kPrimitiveExtension;
}

// Whether the vertex stage of the effect consumes tangents and binormals,
// that is whether the effect maps normals.
bool effectReadsTangents(const std::string& fx) {
    const EffectPtr effect = EffectManager::instance().get(fx, kToolsIncludeFolder, true);
    if (!effect) {
        return false;
    }
    const EffectBinding* binding = effect->getEffectBinding(Render::rs().toolsRenderCommandContext());
    const Shader* shader = binding ? binding->getShader(Render::VertexStage) : nullptr;
    return shader && RenderSystem::inputSemanticExists(shader, "TANGENT") &&
           RenderSystem::inputSemanticExists(shader, "BINORMAL");
}

} // namespace

void Validator::checkVertexFormat(const std::string& modelPath, SmartPointer<DataSection> visual,
                                  SmartPointer<DataSection> material, int code) {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::checkVertexFormat");
    if (!visual || !material) {
        return;
    }
    // A material lies in a primitive group, inside the geometry that names
    // the vertex block.
    const DataSectionPtr group = material->parentSection();
    const DataSectionPtr geometry = group ? group->parentSection() : nullptr;
    if (!geometry) {
        return;
    }
    const std::string vertices = geometry->readString(kVerticesTag, "");
    const VerticesPtr block =
        VerticesManager::instance().get(primitivesOf(modelPath, visual) + "/" + vertices);
    if (!block) {
        return;
    }
    const std::string fx = material->readString(kFxTag, "");
    const std::string identifier = material->readString(kIdentifierTag, "");
    const std::string fxName = FS::Utils::getFilename(fx);
    const std::string required = requiredVertexFormat(fxName, isHavokModel(modelPath));
    const std::string& source = block->sourceFormat();
    if (source != required && !fxName.empty()) {
        report(Findings::IncorrectVertexFormat, code, getStyleName(modelPath),
               Findings::IncorrectVertexFormat.text(modelPath, source.empty() ? "none" : source, required,
                                                    identifier, fxName));
    }
    if (!block->hasBumpedFormat() && !fx.empty() && effectReadsTangents(fx)) {
        const std::string message = Findings::BumpedMaterialWithoutTangents.text(identifier, modelPath);
        report(Findings::BumpedMaterialWithoutTangents, message, message, getStyleName(modelPath));
    }
}

void ModelValidator::checkVertexFormat(const ModelDesc& /*desc*/) {
    KX_STACK_TRACK("KX::ModelValidator::checkVertexFormat");
    for (const std::string& lod : lodModels) {
        if (cancelled()) {
            return;
        }
        const DataSectionPtr visual = checkAndOpenVisualSectionForModelName(lod);
        if (!visual) {
            report(Findings::VertexFormatVisualMissing, Findings::VertexFormatVisualMissing.text(lod));
            continue;
        }
        for (const DataSectionPtr& material : MaterialPropertyHelper::getMaterialsFromVisual(visual)) {
            Validator::checkVertexFormat(lod, visual, material, kSceneryVertexFormatCode);
        }
    }
}

} // namespace KX
