#include <algorithm>
#include <bit>
#include <charconv>
#include <optional>

#include "engine/core/format.h"
#include "engine/core/stack_tracker.h"
#include "engine/model/material_property_helper.h"
#include "engine/model/model_lod.h"
#include "engine/render/render_format.h"
#include "engine/resource/file_system.h"
#include "model_validator/finding_catalogue.h"
#include "model_validator/material_properties.h"
#include "model_validator/validator_helper.h"

namespace KX::ValidatorHelper {

namespace {

// Vehicle textures are BC1 where three channels suffice and BC3 where the
// fourth carries data (normal maps, masks, track albedo with holes).
constexpr Render::ResourceFormat kOpaqueFormat = Render::RF_BC1_UNORM;
constexpr Render::ResourceFormat kAlphaFormat = Render::RF_BC3_UNORM;

const std::string kMaskTag = "excludeMaskAndAOMap";
const std::string kNormalPackTag = "g_useNormalPackDXT1";
const std::string kCrashTileTag = "crashTileMap";
const std::string kAlphaTestTag = "alphaTestEnable";
const std::string kAlphaReferenceTag = "alphaReference";
const std::string kMaskPostfix = "AO";
// Interior materials of destroyed hulls and turrets may use plain normal maps.
const std::string kInteriorNormalPostfix = "NM";
const std::string kCrashTile = "vehicles/russian/tank_detail/crash_tile.dds";
const std::string kProxyMarker = "_proxy_";

// The far LOD of a component may be a proxy whose whole texture set is small.
constexpr uint32_t kProxySide = 256;
// Track textures repeat along the track: at most 512x512 texels of them.
constexpr uint32_t kTrackAreaLimit = 262144;
// An alpha-test reference at either end of the range passes or rejects every
// texel: the test is then not configured.
constexpr long kAlphaReferenceNone = 0;
constexpr long kAlphaReferenceAll = 255;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct Size {
    uint32_t width = 0;
    uint32_t height = 0;
};

bool hasSize(const TextureLoader::Output& output, const Size& size) {
    return output.width == size.width && output.height == size.height;
}

bool hasZeroSide(const TextureLoader::Output& output) {
    return output.width == 0 || output.height == 0;
}

std::string sizeList(const std::vector<Size>& sizes) {
    std::string list;
    for (const Size& size : sizes) {
        list += (list.empty() ? "" : " or ") + formatString("%ux%u", size.width, size.height);
    }
    return list;
}

// "alphaReference" as the material states it; a text that is not a whole
// decimal number configures nothing, like an absent one.
long alphaReference(const std::string& text) {
    long value = kAlphaReferenceNone;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? value : kAlphaReferenceNone;
}

uint32_t readLittleEndian(const uint8_t* bytes, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = value << 8 | bytes[i];
    }
    return value;
}

// Whether a block-compressed normal map carries an alpha mask in its red
// channel. Without one, red is constant at 0 or 31 (five bits) over the whole
// map: every colour block then has that red at both endpoints, or mixes it
// only with indices that never select the other endpoint. BC3 keeps its
// colour block after the 8-byte alpha block. Other formats give no verdict.
std::optional<bool> blocksCarryAlpha(const Render::Texture& texture, const std::vector<uint8_t>& bytes,
                                     const Render::ReadbackBufferLayout& layout) {
    const Render::ResourceFormat format = texture.format();
    const bool bc3 = format == Render::RF_BC3_UNORM || format == Render::RF_BC3_UNORM_SRGB;
    const bool bc1 = format == Render::RF_BC1_UNORM || format == Render::RF_BC1_UNORM_SRGB;
    uint32_t blockWidth = 0, blockHeight = 0, blockBytes = 0;
    if ((!bc1 && !bc3) || !Render::getBlockCompressionInfo(format, blockWidth, blockHeight, blockBytes)) {
        return std::nullopt;
    }
    constexpr uint32_t kRedMax = 31;
    constexpr uint32_t kAllLastIndex = 0xFFFFFFFFu;
    const size_t colourOffset = bc3 ? 8 : 0;
    const uint32_t blocksPerRow = layout.rowPitch / blockBytes;
    bool first = true;
    uint32_t reference = 0;
    for (uint32_t row = 0; row < layout.rowCount; ++row) {
        for (uint32_t column = 0; column < blocksPerRow; ++column) {
            const size_t offset = size_t(row) * layout.rowPitch + size_t(column) * blockBytes + colourOffset;
            if (offset + 8 > bytes.size()) {
                return std::nullopt;
            }
            const uint8_t* block = bytes.data() + offset;
            const uint32_t r0 = readLittleEndian(block, 2) >> 11;
            const uint32_t r1 = readLittleEndian(block + 2, 2) >> 11;
            const uint32_t indices = readLittleEndian(block + 4, 4);
            if (first) {
                first = false;
                if (r0 == 0 || r0 == kRedMax) {
                    reference = r0;
                    if (r1 != r0 && indices != 0) {
                        return true;
                    }
                } else if (r1 == 0 || r1 == kRedMax) {
                    reference = r1;
                    if (indices != kAllLastIndex) {
                        return true;
                    }
                } else {
                    return true;
                }
                continue;
            }
            const bool passes = (r0 == reference && (r1 == reference || indices == 0)) ||
                                (r0 != reference && r1 == reference && indices == kAllLastIndex);
            if (!passes) {
                return true;
            }
        }
    }
    return false;
}

// Reads mip 0 of the normal map back and judges its blocks.
std::optional<bool> normalMapCarriesAlpha(const std::string& path) {
    TextureLoader::InputOptions options;
    options.generateMips = false;
    TextureLoader loader;
    if (!loader.loadTextureFromFile(path, options, "texture/vehicle normal map", false)) {
        return std::nullopt;
    }
    const Render::TexturePtr texture = loader.takeOutput().texture;
    if (!texture || !texture->slowImmediateReadback(texture->getSubResource(0, 0))) {
        return std::nullopt;
    }
    return blocksCarryAlpha(*texture, texture->getReadbackBuffer(), texture->getReadbackBufferLayout());
}

} // namespace

// The working state of one material's texture slots.
class Validator::VehicleTextureSet {
  public:
    VehicleTextureSet(Validator& validator, TankComponentType type, const std::string& lodModelPath,
                      const DataSectionPtr& material, const std::vector<DataSectionPtr>& properties, int code)
        : v_(validator), type_(type), lodModelPath_(lodModelPath), material_(material),
          properties_(properties), code_(code), style_(v_.getStyleName(lodModelPath)),
          lodName_(ModelLod::extractLodName(lodModelPath)),
          materialName_(material ? material->readString(kIdentifierTag, "") : std::string()),
          isCrash_(contains(lodModelPath, "/crash/")),
          isLod4_(contains(lodModelPath, formatString("/%s%d/", kLodDirectory.c_str(), 4))) {}

    void check() {
        requireSlots();
        checkNormalPacking();
        // A proxy is recognised by its metallic-gloss map alone; the whole set follows it.
        isProxy_ = isLod4_ && contains(toLower(FS::Utils::getFilename(metallic_.path)), kProxyMarker);
        checkMetallic();
        checkNormal();
        checkAlbedo();
        checkMask();
        checkComponentSizes();
        if (isCrash_) {
            checkCrashTile();
        }
    }

  private:
    struct Slot {
        const std::string& tag;
        std::string path;
        TextureLoader::Output output;
    };

    bool materialHas(const char* part) const { return contains(materialName_, part); }

    // The value of the first property called `name`, as text; "" when absent.
    std::string readProperty(const std::string& name, const std::string& type) {
        const DataSectionPtr property = MaterialProperties::findProperty(properties_, name);
        if (!property) {
            return {};
        }
        std::string value = property->readString(type, "");
        if (type == kTextureTag && value.empty()) {
            report(Findings::VehicleTextureEmpty, Findings::VehicleTextureEmpty.text(lodModelPath_, name));
        }
        return value;
    }

    void report(const CallerCodedFinding& kind, const std::string& message) {
        v_.report(kind, code_, style_, message);
    }

    void reportMissing(const std::string& slot) {
        report(Findings::VehicleTextureSlotMissing,
               Findings::VehicleTextureSlotMissing.text(lodModelPath_, materialName_, slot));
    }

    void requireSlots() {
        metallic_.path = readProperty(kMetallicGlossMapTag, kTextureTag);
        if (metallic_.path.empty()) {
            reportMissing(kMetallicGlossMapTag);
        }
        normal_.path = readProperty(kNormalMapTag, kTextureTag);
        if (normal_.path.empty()) {
            reportMissing(kNormalMapTag);
        }
        albedo_.path = readProperty(kDiffuseMapTag, kTextureTag);
        if (albedo_.path.empty()) {
            reportMissing(kDiffuseMapTag);
        }
        mask_.path = readProperty(kMaskTag, kTextureTag);
        // Tracks have no mask, nor do the free-standing parts of type Other.
        if (mask_.path.empty() && !materialHas("track") && type_ != TankComponentType::Other) {
            reportMissing(kMaskTag);
        }
    }

    // Interior materials keep their normals packed in BC1; everything else not.
    void checkNormalPacking() {
        const std::string value = readProperty(kNormalPackTag, kBoolTag);
        const std::string expected = materialHas("inside") ? "true" : "false";
        if (!value.empty() && value != expected) {
            report(Findings::NormalPackFlagWrong,
                   Findings::NormalPackFlagWrong.text(lodModelPath_, materialName_, value, expected));
        }
    }

    void checkMetallic() {
        if (!metallic_.path.empty() &&
            checkFile(metallic_, hasPostfix(metallic_, kMetallicGlossMapTexturePostfix),
                      kMetallicGlossMapTexturePostfix, kOpaqueFormat)) {
            checkSize(metallic_);
        }
    }

    void checkNormal() {
        if (normal_.path.empty()) {
            return;
        }
        const bool interior = materialHas("inside");
        Render::ResourceFormat format = kAlphaFormat;
        if (type_ != TankComponentType::Other && interior) {
            format = kOpaqueFormat;
        }
        if (isProxy_) {
            format = kAlphaFormat;
        }
        const std::string postfix = getFilenamePostfix(normal_.path);
        const std::string expected =
            interior ? kNormalMapTexturePostfix + " or " + kInteriorNormalPostfix : kNormalMapTexturePostfix;
        const bool accepted =
            postfix == kNormalMapTexturePostfix || (interior && postfix == kInteriorNormalPostfix);
        if (!checkFile(normal_, accepted, expected, format)) {
            return;
        }
        if (postfix == kNormalMapTexturePostfix) {
            checkAlpha();
        }
        checkSize(normal_);
    }

    void checkAlbedo() {
        if (albedo_.path.empty()) {
            return;
        }
        Render::ResourceFormat format = kOpaqueFormat;
        if ((type_ == TankComponentType::Other || type_ == TankComponentType::Chassis) &&
            materialHas("track")) {
            format = kAlphaFormat;
        }
        if (isProxy_) {
            format = kOpaqueFormat;
        }
        if (checkFile(albedo_, hasPostfix(albedo_, kDiffuseMapTexturePostfix), kDiffuseMapTexturePostfix,
                      format)) {
            checkSize(albedo_);
        }
    }

    void checkMask() {
        if (mask_.path.empty()) {
            return;
        }
        Render::ResourceFormat format = kAlphaFormat;
        if (materialHas("chassis") || materialHas("inside")) {
            format = kOpaqueFormat;
        }
        if (isProxy_) {
            format = kAlphaFormat;
        }
        if (checkFile(mask_, hasPostfix(mask_, kMaskPostfix), kMaskPostfix, format)) {
            checkSize(mask_);
        }
        // The mask is sampled at half the normal map's resolution.
        const TextureLoader::Output& mask = mask_.output;
        const TextureLoader::Output& normal = normal_.output;
        if (!hasZeroSide(mask) && !hasZeroSide(normal) &&
            (2 * mask.width != normal.width || 2 * mask.height != normal.height)) {
            report(Findings::MaskSizeMismatch,
                   Findings::MaskSizeMismatch.text(mask_.path, mask.width, mask.height, normal.width / 2,
                                                   normal.height / 2));
        }
    }

    static bool hasPostfix(const Slot& slot, const std::string& postfix) {
        return getFilenamePostfix(slot.path) == postfix;
    }

    // Postfix, extension, loading and format; false when the file did not
    // load. `expected` names the accepted postfixes for the message.
    bool checkFile(Slot& slot, bool postfixAccepted, const std::string& expected,
                   Render::ResourceFormat format) {
        const std::string actual = getFilenamePostfix(slot.path);
        if (!postfixAccepted) {
            // The key leaves the expectation out, so that one texture is
            // reported once whatever it was expected to be.
            const std::string key = "Model " + lodModelPath_ + "' [material '" + materialName_ + "'] has <" +
                                    slot.tag + "> texture with postfix " + actual + ": '" + slot.path;
            v_.report(Findings::VehicleTexturePostfix, code_, style_, key + "', but has to be " + expected,
                      key);
        }
        const std::string fileName = FS::Utils::getFilename(slot.path);
        if (toLower(FS::Utils::getExtension(fileName)) != kTextureExtention) {
            report(Findings::VehicleTextureExtension,
                   Findings::VehicleTextureExtension.text(slot.path, FS::Utils::removeExtension(fileName)));
        }
        if (!v_.loadTexture(slot.path, slot.output)) {
            report(Findings::VehicleTextureLoadFailed, Findings::VehicleTextureLoadFailed.text(slot.path));
            return false;
        }
        v_.checkTextureFormat(slot.path, format, slot.output, ValidationErrorSeverity::High, code_, lodName_,
                              materialName_);
        return true;
    }

    // Powers of two (proxies: exactly 256x256), then the mip chain of a
    // texture whose size passed.
    void checkSize(const Slot& slot) {
        const TextureLoader::Output& output = slot.output;
        bool passed = true;
        if (isProxy_) {
            passed = reportSize(slot, {{kProxySide, kProxySide}}, Findings::ProxyTextureSizeWrong);
        } else {
            for (const auto& [side, value] :
                 {std::pair{"width", output.width}, std::pair{"height", output.height}}) {
                if (value != 0 && !std::has_single_bit(value)) {
                    report(Findings::VehicleTextureNotPowerOfTwo,
                           Findings::VehicleTextureNotPowerOfTwo.text(slot.path, side, value));
                    passed = false;
                }
            }
        }
        if (passed) {
            v_.checkMipLevel(slot.path, output, ValidationErrorSeverity::High, code_);
        }
    }

    // The size reporter: false when the texture has none of the sizes.
    bool reportSize(const Slot& slot, const std::vector<Size>& allowed, const CallerCodedFinding& kind) {
        const TextureLoader::Output& output = slot.output;
        if (hasZeroSide(output) || std::any_of(allowed.begin(), allowed.end(),
                                               [&](const Size& size) { return hasSize(output, size); })) {
            return true;
        }
        report(kind, kind.text(slot.path, output.width, output.height, sizeList(allowed)));
        return false;
    }

    enum class HalfSize { Accepted, Reported };

    // Each component's own material has one texture size. Half that size is
    // a reduced texture: a notice where it is reported. A turret may also
    // use twice the size, again with a notice.
    void componentSize(const Size& size, HalfSize half, bool doubleReported) {
        for (const Slot* slot : {&metallic_, &normal_, &albedo_}) {
            const TextureLoader::Output& output = slot->output;
            if (slot->path.empty() || hasZeroSide(output) || hasSize(output, size)) {
                continue;
            }
            const bool isHalf =
                checkDimensionsNTimesSmaller(output.width, output.height, size.width, size.height, 2);
            const bool isDouble =
                checkDimensionsNTimesGreater(output.width, output.height, size.width, size.height, 2);
            if (isHalf && half == HalfSize::Accepted) {
                continue;
            }
            const bool notice = (isHalf && half == HalfSize::Reported) || (isDouble && doubleReported);
            reportSize(*slot, {size},
                       notice ? Findings::VehicleTextureSizeHalfOrDouble : Findings::VehicleTextureSizeWrong);
        }
    }

    void allowedSizes(const std::vector<Size>& sizes) {
        for (const Slot* slot : {&metallic_, &normal_, &albedo_}) {
            if (!slot->path.empty()) {
                reportSize(*slot, sizes, Findings::VehicleTextureSizeWrong);
            }
        }
    }

    void sides(const std::vector<uint32_t>& allowed, bool areaLimit) {
        for (const Slot* slot : {&metallic_, &normal_, &albedo_}) {
            const TextureLoader::Output& output = slot->output;
            if (slot->path.empty() || hasZeroSide(output)) {
                continue;
            }
            for (const auto& [side, value] :
                 {std::pair{"width", output.width}, std::pair{"height", output.height}}) {
                if (std::find(allowed.begin(), allowed.end(), value) == allowed.end()) {
                    report(Findings::VehicleTextureSide,
                           Findings::VehicleTextureSide.text(slot->path, side, value));
                }
            }
            if (areaLimit && output.width * output.height > kTrackAreaLimit) {
                report(Findings::VehicleTextureArea,
                       Findings::VehicleTextureArea.text(slot->path, output.width, output.height,
                                                         kTrackAreaLimit));
            }
        }
    }

    void checkComponentSizes() {
        // Parts of hulls and turrets other than the main material share
        // smaller atlases.
        const std::vector<Size> partSizes = {{1024, 1024}, {1024, 512}, {512, 1024}, {512, 512}};
        switch (type_) {
        case TankComponentType::Hull:
            if (materialHas("tank_hull")) {
                componentSize({2048, 2048}, HalfSize::Reported, false);
            } else {
                allowedSizes(partSizes);
            }
            break;
        case TankComponentType::Turret:
            if (materialHas("tank_turret")) {
                componentSize({1024, 1024}, HalfSize::Reported, true);
            } else {
                allowedSizes(partSizes);
            }
            break;
        case TankComponentType::Gun:
            componentSize({1024, 1024}, HalfSize::Accepted, false);
            break;
        case TankComponentType::Chassis:
            if (materialHas("tank_chassis")) {
                componentSize({1024, 1024}, HalfSize::Reported, false);
            } else if (materialHas("track_mat")) {
                sides({256, 512, 1024}, true);
            }
            break;
        case TankComponentType::Other:
            sides({256, 512}, false);
            break;
        default:
            break;
        }
    }

    // Destroyed components show the shared crash tile; the chassis, the far
    // LOD, tracks and interiors need none.
    void checkCrashTile() {
        const std::string fx = material_ ? material_->readString(kFxTag, "") : std::string();
        const std::string crashTile = readProperty(kCrashTileTag, kTextureTag);
        if (crashTile.empty() && type_ != TankComponentType::Chassis && !isLod4_ && !materialHas("track") &&
            !materialHas("inside")) {
            reportMissing(kCrashTileTag);
        }
        if (!fx.empty() && !crashTile.empty() && toLower(crashTile) != kCrashTile) {
            report(Findings::CrashTileMapWrong,
                   Findings::CrashTileMapWrong.text(lodModelPath_, fx, crashTile));
        }
    }

    // The material must alpha-test exactly when its normal map carries an
    // alpha mask, with a reference that lets some texels through.
    void checkAlpha() {
        const std::optional<bool> alpha = cachedAlphaVerdict();
        if (!alpha) {
            return;
        }
        const bool alphaTest = readProperty(kAlphaTestTag, kBoolTag) == "true";
        const long reference = alphaReference(readProperty(kAlphaReferenceTag, kIntegerTag));
        if (!*alpha && alphaTest) {
            report(Findings::AlphaTestWithoutAlpha,
                   Findings::AlphaTestWithoutAlpha.text(lodModelPath_, normal_.path));
        } else if (*alpha &&
                   (!alphaTest || reference == kAlphaReferenceNone || reference == kAlphaReferenceAll)) {
            report(Findings::NormalMapAlphaNotConfigured,
                   Findings::NormalMapAlphaNotConfigured.text(normal_.path, lodModelPath_));
        }
    }

    // Pixels are read once per file and step, however many materials share it.
    std::optional<bool> cachedAlphaVerdict() {
        if (!v_.textureReads_.active) {
            return normalMapCarriesAlpha(normal_.path);
        }
        const std::string key = "alpha:" + textureReadKey(normal_.path);
        const auto known = v_.textureReads_.pixelVerdicts.find(key);
        if (known != v_.textureReads_.pixelVerdicts.end()) {
            return known->second;
        }
        const std::optional<bool> verdict = normalMapCarriesAlpha(normal_.path);
        if (verdict) {
            v_.textureReads_.pixelVerdicts[key] = *verdict;
        }
        return verdict;
    }

    Validator& v_;
    const TankComponentType type_;
    const std::string& lodModelPath_;
    const DataSectionPtr& material_;
    const std::vector<DataSectionPtr>& properties_;
    const int code_;
    const std::string style_;
    const std::string lodName_;
    const std::string materialName_;
    const bool isCrash_;
    const bool isLod4_;
    bool isProxy_ = false;
    Slot metallic_{kMetallicGlossMapTag, {}, {}};
    Slot normal_{kNormalMapTag, {}, {}};
    Slot albedo_{kDiffuseMapTag, {}, {}};
    Slot mask_{kMaskTag, {}, {}};
};

void Validator::checkTextureProperties(TankComponentType type, const std::string& lodModelPath,
                                       SmartPointer<DataSection> material,
                                       const std::vector<SmartPointer<DataSection>>& properties, int code) {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::checkTextureProperties");
    VehicleTextureSet(*this, type, lodModelPath, material, properties, code).check();
}

void Validator::checkDetailTextures(TankComponentType type, const std::string& lodModelPath, int code) {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::checkDetailTextures");
    const TextureReadScope reads(*this);
    std::vector<std::string> lods =
        getModelLODs(FS::Utils::getFilename(lodModelPath), getModelState(lodModelPath));
    if (lods.empty()) {
        lods.push_back(lodModelPath);
    }
    for (const std::string& lod : lods) {
        const DataSectionPtr visual = checkAndOpenVisualSectionForModelName(lod);
        if (!visual) {
            report(Findings::DetailVisualMissing, code, getStyleName(lod),
                   Findings::DetailVisualMissing.text(lod));
            continue;
        }
        checkMaterials(type, lod, MaterialPropertyHelper::getMaterialsFromVisual(visual), code);
    }
}

} // namespace KX::ValidatorHelper
