#include <algorithm>
#include <bit>
#include <cmath>
#include <optional>

#include "engine/core/format.h"
#include "engine/core/stack_tracker.h"
#include "engine/image/image.h"
#include "engine/render/render_format.h"
#include "engine/resource/file_system.h"
#include "model_validator/finding_catalogue.h"
#include "model_validator/material_properties.h"
#include "model_validator/model_validator.h"

namespace KX {

using namespace ValidatorHelper;

namespace {

// The compressed formats of the PBS texture set: BC1 for opaque colour and
// metallic-gloss maps, BC3 where a fourth channel carries data (normal maps,
// atlas materials, vertex-colour masks).
constexpr Render::ResourceFormat kOpaqueFormat = Render::RF_BC1_UNORM;
constexpr Render::ResourceFormat kAlphaFormat = Render::RF_BC3_UNORM;

const int kSetCode = 110;
const int kAtlasCode = 125;

// Reduced textures of the last two LODs: metallic-gloss maps at most 256
// texels a side, normal and albedo maps at most 512.
constexpr uint32_t kReducedMetallicSide = 256;
constexpr uint32_t kReducedSide = 512;
// A normal map stores X in red around 1.0 (240 to 255) where the physics model
// samples it; anything darker means the map was authored for another layout.
constexpr uint8_t kMinRed = 240;
constexpr uint8_t kMaxRed = 255;
// Aspect ratios closer than this are equal (single-precision noise of the
// division, far below one texel of difference).
constexpr float kAspectTolerance = 0.0004f;
// Vertex-colour mode whose mask lives in the albedo's alpha channel.
constexpr int64_t kAlphaMaskVertexColourMode = 2;

const std::string kAlphaTestProperty = "alphaTestEnable";

struct AtlasRow {
    const std::string& tag;
    const std::string& ending;
};

const AtlasRow kAtlasTable[] = {
    {kAtlasAlbedoHeight, kAlbedoHeightAtlasTextureEnding},
    {kAtlasBlend, kAtlasBlendTextureEnding},
    {kGlobalTex, kGlobalTextureEnding},
    {kMetallicAOAtlas, kMetallicAOAtlasTextureEnding},
    {kAtlasNormalGlossSpec, kAtlasNormalGlossSpecTextureEnding},
};

// The findings of one texture of the set when it is missing or mis-cased.
struct TextureRole {
    const FindingKind& caseTypo;
    const FindingKind& notFound;
};

const TextureRole kDirtRole{Findings::DirtMapCaseTypo, Findings::DirtMapNotFound};
const TextureRole kMetallicRole{Findings::MetallicMapCaseTypo, Findings::MetallicMapNotFound};
const TextureRole kNormalRole{Findings::NormalMapCaseTypo, Findings::NormalMapNotFound};
const TextureRole kAlbedoRole{Findings::AlbedoMapCaseTypo, Findings::AlbedoMapNotFound};

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string textureProperty(const std::vector<DataSectionPtr>& properties, const std::string& name) {
    return getProperty(properties, name, kTextureTag).get<std::string>();
}

// The material's vertex-colour mode; 0 when it has none. Int properties are
// 32-bit, so the value always lies within that range.
int64_t vertexColourMode(const std::vector<DataSectionPtr>& properties) {
    Variant mode(int64_t(0));
    if (!VariantConverter::convert(getProperty(properties, kVertexColorModeTag, kIntegerTag), mode)) {
        return 0;
    }
    return mode.get<int64_t>();
}

// Whether the albedo is a power-of-two enlargement of the metallic-gloss map
// with the same aspect ratio (full-size textures).
bool metallicFitsAlbedo(const TextureLoader::Output& metal, const TextureLoader::Output& albedo) {
    if (metal.width == 0 || metal.height == 0 || albedo.height == 0) {
        return false;
    }
    const uint32_t qW = albedo.width / metal.width;
    const uint32_t qH = albedo.height / metal.height;
    const float albedoAspect = static_cast<float>(albedo.width) / static_cast<float>(albedo.height);
    const float metalAspect = static_cast<float>(metal.width) / static_cast<float>(metal.height);
    return (qW > 1 || qH > 1) && (std::has_single_bit(qW) || std::has_single_bit(qH)) &&
           std::fabs(albedoAspect - metalAspect) < kAspectTolerance;
}

// Whether every pixel of the normal map's top level has a red value in range;
// nothing when the image does not load (which counts as invalid). A grey
// image is invalid: a normal map holds at least red and green.
std::optional<bool> redChannelValid(const std::string& normalPath) {
    uint32_t channels = 0;
    const std::optional<bool> within =
        Image::redChannelWithin(FS::fileSystem()->resolveFilename(normalPath), kMinRed, kMaxRed, channels);
    if (!within) {
        return std::nullopt;
    }
    if (!Image::hasChannels(Image::ImageInfo{0, 0, channels}, Image::CHANNEL_GREEN)) {
        return false;
    }
    return within;
}

} // namespace

// The working state of one material's texture set.
class ModelValidator::PbsTextureSet {
  public:
    PbsTextureSet(ModelValidator& validator, const PbsMaterial& material)
        : v_(validator), m_(material), metallicPath_(textureProperty(m_.properties, kMetallicGlossMapTag)),
          normalPath_(textureProperty(m_.properties, kNormalMapTag)),
          albedoPath_(textureProperty(m_.properties, kDiffuseMapTag)),
          vertexColourMode_(vertexColourMode(m_.properties)) {}

    void check() {
        if (contains(m_.fx, "pbs_tiled_atlas")) {
            checkTiledAtlas();
        }
        if (!metallicPath_.empty()) {
            checkMetallic();
        }
        if (!normalPath_.empty()) {
            checkNormal();
        }
        if (!albedoPath_.empty()) {
            checkAlbedo();
        }
    }

  private:
    void checkTiledAtlas() {
        const std::string dirtPath = textureProperty(m_.properties, kDirtMap);
        if (dirtPath.empty()) {
            v_.report(Findings::DirtMapNotSet,
                      Findings::DirtMapNotSet.text(m_.materialName, m_.lodModelPath));
        } else {
            checkExistsWithCase(dirtPath, kDirtRole);
            const std::string postfix = getFilenamePostfix(dirtPath);
            if (postfix != kDirtMapTexturePostfix) {
                reportPostfix(Findings::DirtMapPostfix, kDirtMap, dirtPath, postfix, kDirtMapTexturePostfix);
            }
        }
        for (const AtlasRow& row : kAtlasTable) {
            const std::string path = textureProperty(m_.properties, row.tag);
            if (path.empty()) {
                continue;
            }
            if (!path.ends_with(row.ending)) {
                reportPostfix(Findings::AtlasTexturePostfix, row.tag, path, getFilenamePostfix(path),
                              row.ending);
            }
            TextureLoader::Output global;
            if (row.tag == kGlobalTex && v_.loadTexture(path, global)) {
                v_.checkTextureFormat(path, kAlphaFormat, global, ValidationErrorSeverity::Medium, kAtlasCode,
                                      m_.lodName, m_.materialName);
            }
        }
        metalFormat_ = kAlphaFormat;
    }

    void checkMetallic() {
        checkExistsWithCase(metallicPath_, kMetallicRole);
        const bool small = checkPostfix(kMetallicGlossMapTag, metallicPath_, kMetallicGlossMapTexturePostfix,
                                        kReducedMetallicPostfix);
        if (!load(metallicPath_, metalOut_)) {
            return;
        }
        metalLoaded_ = true;
        if (contains(m_.fx, "pbs_ext_tess") && contains(albedoPath_, "_GMM.dds")) {
            metalFormat_ = kAlphaFormat;
        }
        checkLoaded(metallicPath_, metalOut_, metalFormat_, small, kReducedMetallicSide);
    }

    void checkNormal() {
        checkExistsWithCase(normalPath_, kNormalRole);
        const bool small =
            checkPostfix(kNormalMapTag, normalPath_, kNormalMapTexturePostfix, kReducedNormalPostfix);
        TextureLoader::Output normal;
        if (load(normalPath_, normal)) {
            checkLoaded(normalPath_, normal, kAlphaFormat, small, kReducedSide);
        }
        if (alphaTested() || !physicsModelExists() || cachedRedChannelValid()) {
            return;
        }
        v_.report(Findings::NormalMapRedChannelInvalid,
                  Findings::NormalMapRedChannelInvalid.text(m_.lodModelPath, m_.materialName, normalPath_));
    }

    void checkAlbedo() {
        checkExistsWithCase(albedoPath_, kAlbedoRole);
        const bool small =
            checkPostfix(kDiffuseMapTag, albedoPath_, kDiffuseMapTexturePostfix, kReducedAlbedoPostfix);
        TextureLoader::Output albedo;
        if (!load(albedoPath_, albedo)) {
            return;
        }
        checkLoaded(albedoPath_, albedo, albedoFormat(), small, kReducedSide);
        if (!metalLoaded_) {
            return;
        }
        if (small) {
            if (!checkDimensionsPowOfTwoTimesSmaller(metalOut_.width, metalOut_.height, albedo.width,
                                                     albedo.height)) {
                v_.report(Findings::MetallicNotPowerOfTwoReduction,
                          Findings::MetallicNotPowerOfTwoReduction.text(
                              metallicPath_, metalOut_.width, metalOut_.height, albedo.width, albedo.height));
            }
        } else if (!metallicFitsAlbedo(metalOut_, albedo)) {
            v_.report(Findings::MetallicAlbedoSizeMismatch,
                      Findings::MetallicAlbedoSizeMismatch.text(metallicPath_, metalOut_.width,
                                                                metalOut_.height, m_.materialName,
                                                                albedo.width, albedo.height));
        }
    }

    Render::ResourceFormat albedoFormat() const {
        const bool alphaMask = (vertexColourMode_ & 0xFF) == kAlphaMaskVertexColourMode;
        const bool alphaShader = contains(m_.fx, "pbs_ext_repaint") || contains(m_.fx, "pbs_glass");
        const bool fullOrReducedAlbedo =
            contains(albedoPath_, "_AM.dds") || contains(albedoPath_, "_BAM.dds");
        return alphaMask || (alphaShader && fullOrReducedAlbedo) ? kAlphaFormat : kOpaqueFormat;
    }

    // Format, mip chain and, for reduced textures, the size bound.
    void checkLoaded(const std::string& path, const TextureLoader::Output& output,
                     Render::ResourceFormat format, bool small, uint32_t bound) {
        v_.checkTextureFormat(path, format, output, ValidationErrorSeverity::Medium, kSetCode, m_.lodName,
                              m_.materialName);
        v_.checkMipLevel(path, output, ValidationErrorSeverity::Medium, kSetCode);
        if (small && isDimensionsExceedUpperBounds(output.width, output.height, bound, bound)) {
            v_.report(Findings::ReducedTextureTooLarge,
                      Findings::ReducedTextureTooLarge.text(path, output.width, output.height, bound, bound));
        }
    }

    bool load(const std::string& path, TextureLoader::Output& output) {
        if (v_.loadTexture(path, output)) {
            return true;
        }
        v_.report(Findings::PbsTextureLoadFailed, Findings::PbsTextureLoadFailed.text(path));
        return false;
    }

    // The full-size postfix everywhere, or the reduced one on the last two
    // LODs; true when the texture is a reduced one.
    bool checkPostfix(const std::string& tag, const std::string& path, const std::string& full,
                      const std::string& reduced) {
        const std::string postfix = getFilenamePostfix(path);
        if (postfix == full) {
            return false;
        }
        if (!m_.lastLods) {
            reportPostfix(Findings::PbsTexturePostfix, tag, path, postfix, full);
            return false;
        }
        if (postfix == reduced) {
            return true;
        }
        reportPostfix(Findings::PbsTexturePostfix, tag, path, postfix,
                      formatString("%s or %s", full.c_str(), reduced.c_str()));
        return false;
    }

    // The key leaves out the expectation, so that a texture already reported
    // for its postfix is not reported again under another expectation.
    void reportPostfix(const FindingKind& kind, const std::string& tag, const std::string& path,
                       const std::string& postfix, const std::string& expected) {
        const std::string message = kind.text(m_.lodModelPath, m_.materialName, tag, postfix, path, expected);
        const std::string tail = "', but has to be " + expected;
        v_.report(kind, message, message.substr(0, message.size() - tail.size()));
    }

    void checkExistsWithCase(const std::string& path, const TextureRole& role) {
        if (FS::fileSystem()->fileType(path) != FS::FT_FILE) {
            v_.report(role.notFound, role.notFound.text(path));
            return;
        }
        std::string correct;
        if (!FS::EditorUtils::isAbsolutePathValidCase(path, correct)) {
            v_.report(role.caseTypo, role.caseTypo.text(path, FS::fileSystem()->dissolveFilename(correct)));
        }
    }

    bool alphaTested() const {
        const DataSectionPtr property = MaterialProperties::findProperty(m_.properties, kAlphaTestProperty);
        return property && property->readBool(kBoolTag, true);
    }

    // The physics (Havok) model built for this material of this LOD. Most
    // LODs have no "havok" folder at all: the folder is asked first, as the
    // file-structure step asks for it too, so one resolution answers both.
    bool physicsModelExists() const {
        const std::string folder = FS::Utils::getDirectory(m_.lodModelPath) + "havok/";
        if (!FS::Utils::directoryExists(folder)) {
            return false;
        }
        return FS::Utils::fileExists(folder +
                                     FS::Utils::removeExtension(FS::Utils::getFilename(m_.lodModelPath)) +
                                     "__" + m_.materialName + ".hkt.model");
    }

    // Pixels are read once per file and step, however many materials share it.
    bool cachedRedChannelValid() {
        return v_.textureVerdict("red", normalPath_, [this] { return redChannelValid(normalPath_); });
    }

    ModelValidator& v_;
    const PbsMaterial& m_;
    const std::string metallicPath_;
    const std::string normalPath_;
    const std::string albedoPath_;
    const int64_t vertexColourMode_;
    Render::ResourceFormat metalFormat_ = kOpaqueFormat;
    TextureLoader::Output metalOut_;
    bool metalLoaded_ = false;
};

void ModelValidator::checkPbsTextureSet(const PbsMaterial& material) {
    KX_STACK_TRACK("KX::ModelValidator::checkPbsTextureSet");
    PbsTextureSet(*this, material).check();
}

} // namespace KX
