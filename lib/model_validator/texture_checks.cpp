#include <bit>
#include <optional>
#include <string_view>

#include "engine/core/ascii_case.h"
#include "engine/core/stack_tracker.h"
#include "engine/model/material_property_helper.h"
#include "engine/resource/file_system.h"
#include "model_validator/finding_catalogue.h"
#include "model_validator/model_validator.h"
#include "model_validator/path_helpers.h"

namespace KX {

using namespace ValidatorHelper;

namespace {

// Atlas blend masks are sampled in tiles of 512 texels by the terrain-style
// blend shaders, so those only need whole tiles; the tiled PBS shader and
// every other texture need power-of-two sides for mip chains and streaming.
constexpr uint32_t kAtlasBlendTile = 512;
const std::string kTiledPbsShader = "pbs_tiled";
const std::string kAidBuilderMarker = "aid_builder";

// The shader's file name without folder and extension, lower case.
std::string shaderName(const DataSectionPtr& material) {
    return FS::Utils::removeExtension(
        FS::Utils::getFilename(Validator::toLower(material->readString(kFxTag, ""))));
}

// The size rule a loaded texture breaks, or null. The material's shader
// matters to atlas blend textures alone, and is read only for them.
const FindingKind* dimensionFinding(bool atlasBlend, const DataSectionPtr& material, uint32_t width,
                                    uint32_t height) {
    if (atlasBlend && shaderName(material) != kTiledPbsShader) {
        return width % kAtlasBlendTile != 0 || height % kAtlasBlendTile != 0
                   ? &Findings::AtlasBlendNotMultipleOf512
                   : nullptr;
    }
    return std::has_single_bit(width) && std::has_single_bit(height) ? nullptr
                                                                     : &Findings::TextureNotPowerOfTwo;
}

} // namespace

void ModelValidator::checkTextures(const ModelDesc& /*desc*/) {
    KX_STACK_TRACK("KX::ModelValidator::checkTextures");
    const TextureReadScope reads(*this);
    for (const std::string& lodModelPath : lodModels) {
        const DataSectionPtr visual = checkAndOpenVisualSectionForModelName(lodModelPath);
        if (!visual) {
            continue;
        }
        // Read once per LOD and material, not once per texture.
        const std::string lodFolder = PathHelpers::getLodFolder(lodModelPath);
        for (const DataSectionPtr& material : MaterialPropertyHelper::getMaterialsFromVisual(visual)) {
            std::optional<std::string> identifier;
            for (const DataSectionPtr& property : material->sectionsWithTag(kPropertyTag)) {
                if (cancelled()) {
                    return;
                }
                const std::string texturePath = property->readString(kTextureTag, "");
                if (texturePath.empty()) {
                    continue;
                }
                if (!identifier) {
                    identifier = material->readString(kIdentifierTag, "");
                }
                const std::string& materialName = *identifier;
                checkSpacesContaining(texturePath);
                checkingInvalidSymbols(texturePath);
                if (!FS::Utils::fileExists(texturePath)) {
                    report(Findings::TextureMissing,
                           Findings::TextureMissing.text(lodModelPath, materialName, texturePath));
                    continue;
                }
                checkTexturePath(texturePath, materialName, lodFolder);
                if (FS::Utils::filenameOf(texturePath).find(kAidBuilderMarker) != std::string_view::npos) {
                    report(Findings::TextureNamedAidBuilder,
                           Findings::TextureNamedAidBuilder.text(lodModelPath, materialName, texturePath));
                }
                const bool atlasBlend = texturePath.size() >= kAtlasBlendTextureEnding.size() &&
                                        AsciiCase::equalIgnoringCase(
                                            std::string_view(texturePath)
                                                .substr(texturePath.size() - kAtlasBlendTextureEnding.size()),
                                            kAtlasBlendTextureEnding);
                TextureLoader::Output texture;
                if (!loadTexture(texturePath, texture)) {
                    // Atlas descriptions are text the loader does not read.
                    if (FS::Utils::getExtension(texturePath) != "atlas") {
                        report(Findings::TexturePropertiesUnreadable,
                               Findings::TexturePropertiesUnreadable.text(lodModelPath, materialName,
                                                                          texturePath));
                    }
                    continue;
                }
                if (const FindingKind* finding =
                        dimensionFinding(atlasBlend, material, texture.width, texture.height)) {
                    report(*finding, finding->text(lodModelPath, materialName, texturePath, texture.width,
                                                   texture.height));
                }
            }
        }
    }
}

void ModelValidator::checkTexturePath(const std::string& texturePath, const std::string& materialName,
                                      const std::string& lodFolder) {
    KX_STACK_TRACK("KX::ModelValidator::checkTexturePath");
    if (!FS::Utils::isAbsolute(texturePath)) {
        return;
    }
    report(Findings::TextureAbsolutePath,
           Findings::TextureAbsolutePath.text(FS::Utils::getFilename(texturePath), lodFolder, materialName));
}

} // namespace KX
