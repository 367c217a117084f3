#include "engine/core/stack_tracker.h"
#include "engine/model/material_property_helper.h"
#include "engine/model/model_lod.h"
#include "engine/model/super_model.h"
#include "engine/resource/file_system.h"
#include "model_validator/finding_catalogue.h"
#include "model_validator/model_validator.h"

namespace KX {

using namespace ValidatorHelper;

namespace {

const std::string kAtlasSizesProperty = "g_atlasSizes";
const std::string kAtlasIndexesProperty = "g_atlasIndexes";
// Global textures moved from the "GT" suffix to "GNM"; "GT" still loads, so it
// is only a notice, any other suffix is an error.
const std::string kGlobalTextureSuffix = "GNM";
const std::string kDeprecatedGlobalTextureSuffix = "GT";
// Paint masks are bound by the game at run time, never by the model.
const std::string kPaintMaskProperty = "g_paintMaskTexture";

std::string propertyName(const DataSectionPtr& property) {
    return property->asString("");
}

bool isPbsShader(const std::string& fx) {
    return fx.find("pbs") != std::string::npos || fx.find("emissive.fx") != std::string::npos;
}

// Whether an atlas material indexes past its atlas: the largest index of the
// three used tiles must lie inside sizes.x * sizes.y tiles. Materials without
// both properties are not judged.
bool atlasIndexOutside(const std::vector<DataSectionPtr>& properties) {
    std::optional<Vector4> sizes;
    std::optional<Vector4> indexes;
    for (const DataSectionPtr& property : properties) {
        if (!property->openSection(kVector4Tag)) {
            continue;
        }
        if (property->valueIs(kAtlasSizesProperty)) {
            sizes = property->readVector4(kVector4Tag, Vector4::zero());
        } else if (property->valueIs(kAtlasIndexesProperty)) {
            indexes = property->readVector4(kVector4Tag, Vector4::zero());
        }
    }
    if (!sizes || !indexes) {
        return false;
    }
    const int32_t limit = static_cast<int32_t>(sizes->x * sizes->y);
    return static_cast<int32_t>(indexes->x) >= limit || static_cast<int32_t>(indexes->y) >= limit ||
           static_cast<int32_t>(indexes->z) >= limit;
}

} // namespace

void ModelValidator::checkTextureProperties(const ModelDesc& /*desc*/) {
    KX_STACK_TRACK("KX::ModelValidator::checkTextureProperties");
    const TextureReadScope reads(*this);
    for (size_t lodIndex = 0; lodIndex < lodModels.size(); ++lodIndex) {
        const std::string& lodModelPath = lodModels[lodIndex];
        const DataSectionPtr visual = checkAndOpenVisualSectionForModelName(lodModelPath);
        if (!visual) {
            report(Findings::VisualMissingForTextures, Findings::VisualMissingForTextures.text(lodModelPath));
            continue;
        }
        const std::string lodName = ModelLod::extractLodName(lodModelPath);
        for (const DataSectionPtr& material : MaterialPropertyHelper::getMaterialsFromVisual(visual)) {
            if (cancelled()) {
                return;
            }
            PbsMaterial pbs;
            pbs.fx = toLower(material->readString(kFxTag, ""));
            material->openSections(kPropertyTag, pbs.properties);
            if (pbs.fx.empty() || pbs.properties.empty()) {
                continue;
            }
            pbs.lodModelPath = lodModelPath;
            pbs.materialName = material->readString(kIdentifierTag, "");

            for (const DataSectionPtr& property : pbs.properties) {
                const DataSectionPtr texture = property->openSection(kTextureTag);
                const std::string texturePath = texture ? texture->asString("") : std::string();
                if (texture &&
                    (texturePath.empty() || FS::fileSystem()->fileType(texturePath) != FS::FT_FILE)) {
                    report(Findings::TexturePropertyNotSet,
                           Findings::TexturePropertyNotSet.text(lodModelPath, pbs.materialName,
                                                                propertyName(property)));
                }
            }
            if (pbs.fx.find("atlas") != std::string::npos && atlasIndexOutside(pbs.properties)) {
                report(Findings::AtlasIndexOutsideAtlas,
                       Findings::AtlasIndexOutsideAtlas.text(lodModelPath, pbs.materialName));
            }
            for (const DataSectionPtr& property : pbs.properties) {
                if (!property->valueIs(kGlobalTex) || !property->openSection(kTextureTag)) {
                    continue;
                }
                const std::string base = FS::Utils::removeExtension(property->readString(kTextureTag, ""));
                // Without an underscore the whole base counts as the suffix (npos + 1 is 0).
                const std::string suffix = base.substr(base.rfind('_') + 1);
                if (suffix == kDeprecatedGlobalTextureSuffix) {
                    report(
                        Findings::GlobalTextureDeprecatedSuffix,
                        Findings::GlobalTextureDeprecatedSuffix.text(lodModelPath, pbs.materialName, base));
                } else if (suffix != kGlobalTextureSuffix) {
                    report(Findings::GlobalTextureWrongSuffix,
                           Findings::GlobalTextureWrongSuffix.text(lodModelPath, pbs.materialName, base));
                }
            }
            if (!isPbsShader(pbs.fx)) {
                report(Findings::MaterialNotPbs, Findings::MaterialNotPbs.text(static_cast<int>(lodIndex)));
                continue;
            }
            pbs.lodName = lodName;
            // The last two LODs are seen from afar: reduced textures are allowed there.
            pbs.lastLods = lodIndex + 2 >= lodModels.size();
            checkPbsTextureSet(pbs);
        }
    }
}

void ModelValidator::checkMaterialTextureProperties(const ModelDesc& /*desc*/) {
    KX_STACK_TRACK("KX::ModelValidator::checkMaterialTextureProperties");
    if (cancelled()) {
        return;
    }
    for (const std::string& lodModelPath : lodModels) {
        const SuperModel model(lodModelPath);
        if (!model.isLoaded()) {
            report(Findings::ModelNotLoadable, Findings::ModelNotLoadable.text(lodModelPath));
            return;
        }
        const ModelMaterials& materials = model.getMaterials();
        for (const std::string& identifier : materials.identifiers()) {
            const MaterialInstance* instance = materials.getMaterial(identifier);
            if (instance == nullptr) {
                continue;
            }
            for (const std::string& name : instance->textureProperties()) {
                if (name == kPaintMaskProperty) {
                    continue;
                }
                const TextureResourcePtr texture = instance->getTexture(name);
                const std::string texturePath = texture ? texture->resourceID() : std::string();
                if (texturePath.empty()) {
                    report(Findings::MaterialTextureUnbound,
                           Findings::MaterialTextureUnbound.text(lodModelPath, instance->identifier(), name));
                } else if (!FS::Utils::fileExists(texturePath)) {
                    report(Findings::MaterialTextureMissing,
                           Findings::MaterialTextureMissing.text(lodModelPath, instance->identifier(), name,
                                                                 texturePath));
                }
            }
        }
    }
}

} // namespace KX
