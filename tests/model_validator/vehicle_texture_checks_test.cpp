#include <gtest/gtest.h>

#include "engine/asset_writers/geometry_writer.h"
#include "engine/asset_writers/texture_writer.h"
#include "engine/model/material_property_helper.h"
#include "engine/resource/file_system.h"
#include "model_validator/finding_catalogue.h"
#include "support/findings.h"
#include "support/scenery_fixture.h"
#include "support/test_validator.h"

using namespace KX;
using namespace KX::ValidatorHelper;
using AssetWriters::PropertyLayout;

namespace {

constexpr int kCode = 206;
// A component type without a size rule, so that small textures pass.
constexpr TankComponentType kPart = TankComponentType::Wheel0;
const std::string kHull = "vehicles/t1/normal/lod0/Hull.model";
const std::string kMaps = "vehicles/t1/maps/";

using Props = std::vector<PropertyLayout>;

Finding error(const std::string& text, ValidationErrorSeverity severity = ValidationErrorSeverity::High,
              ValidationTitle title = ValidationTitle::CheckTextureProperties) {
    static const char* prefixes[] = {"", "Inf.", "Wrn.", "Err."};
    return {std::string("[") + prefixes[static_cast<int>(severity)] + " 206] " + text, title, severity,
            "Hull/" + std::string(title == ValidationTitle::CheckTextureProperties
                                      ? "Check texture properties"
                                      : "Check detail settings")};
}

struct VehicleTextureChecksTest : ::testing::Test {
    TempResourceTree tree;
    DebugLog::Capture log;
    TestVehicleValidator v;

    void SetUp() override { v.style = "Hull"; }

    // Full-chain textures, uncompressed unless asked: large sizes stay cheap.
    void texture(const std::string& name, uint32_t width, uint32_t height,
                 Render::ResourceFormat format = Render::RF_R8_UNORM, AssetWriters::Colour colour = {}) {
        writeTexture(tree, kMaps + name, {width, height, format, 0, 4, colour});
    }

    // Runs the check on one material of `lodModelPath`'s visual.
    std::vector<ValidationError> check(TankComponentType type, const std::string& identifier,
                                       const Props& props, const std::string& lodModelPath = kHull) {
        const std::string visualPath = FS::Utils::removeExtension(lodModelPath) + ".visual";
        tree.write(visualPath,
                   AssetWriters::visualXml(AssetWriters::VisualLayout::withMaterials(
                                               {{identifier, "shaders/PBS_tank.fx", {}, {}, props}}),
                                           "x"));
        tree.refresh();
        const DataSectionPtr material =
            MaterialPropertyHelper::getMaterialsFromVisual(FS::Utils::openSection(visualPath)).at(0);
        std::vector<DataSectionPtr> properties;
        material->openSections(kPropertyTag, properties);
        v.clear();
        v.checkTextureProperties(type, lodModelPath, material, properties, kCode);
        return v.getErrors();
    }

    // A complete, clean set for a hull part: BC1 maps, a BC3 mask and normal map.
    Props fullSet(const std::string& stem = "hull") {
        texture(stem + "_GMM.dds", 8, 8, Render::RF_BC1_UNORM);
        texture(stem + "_ANM.dds", 8, 8, Render::RF_BC3_UNORM, {255, 128, 255, 255});
        texture(stem + "_AM.dds", 8, 8, Render::RF_BC1_UNORM);
        texture(stem + "_AO.dds", 4, 4, Render::RF_BC3_UNORM);
        return {PropertyLayout::texture("metallicGlossMap", kMaps + stem + "_GMM.dds"),
                PropertyLayout::texture("normalMap", kMaps + stem + "_ANM.dds"),
                PropertyLayout::texture("diffuseMap", kMaps + stem + "_AM.dds"),
                PropertyLayout::texture("excludeMaskAndAOMap", kMaps + stem + "_AO.dds")};
    }

    // Sizes of the three main maps alone (the mask is left out).
    std::vector<Finding> sizeFindings(TankComponentType type, const std::string& identifier, uint32_t width,
                                      uint32_t height, const std::string& lodModelPath = kHull) {
        texture("a_GMM.dds", width, height);
        texture("a_ANM.dds", width, height);
        texture("a_AM.dds", width, height);
        const std::vector<ValidationError> all =
            check(type, identifier,
                  {PropertyLayout::texture("metallicGlossMap", kMaps + "a_GMM.dds"),
                   PropertyLayout::texture("normalMap", kMaps + "a_ANM.dds"),
                   PropertyLayout::texture("diffuseMap", kMaps + "a_AM.dds")},
                  lodModelPath);
        std::vector<ValidationError> sizes;
        for (const CallerCodedFinding* kind :
             {&Findings::VehicleTextureSizeWrong, &Findings::VehicleTextureSizeHalfOrDouble,
              &Findings::ProxyTextureSizeWrong, &Findings::VehicleTextureSide,
              &Findings::VehicleTextureArea}) {
            for (const ValidationError& e : ofKind(all, kind->kind)) {
                sizes.push_back(e);
            }
        }
        return findingsOf(sizes);
    }

    static std::string sizeText(const std::string& name, uint32_t w, uint32_t h, const std::string& allowed) {
        return Findings::VehicleTextureSizeWrong.text(kMaps + name, w, h, allowed);
    }
};

} // namespace

TEST_F(VehicleTextureChecksTest, ACompleteSetIsClean) {
    EXPECT_EQ(findingsOf(check(kPart, "hull_01", fullSet())), std::vector<Finding>{});
}

TEST_F(VehicleTextureChecksTest, RequiresEverySlotButTheMaskOfTracksAndLooseParts) {
    const std::string missing = "Model '" + kHull + "' [material 'hull_01'] hasn't <";
    EXPECT_EQ(
        findingsOf(check(kPart, "hull_01", {})),
        (std::vector<Finding>{error(missing + "metallicGlossMap>"), error(missing + "normalMap>"),
                              error(missing + "diffuseMap>"), error(missing + "excludeMaskAndAOMap>")}));
    EXPECT_TRUE(
        ofKind(check(TankComponentType::Chassis, "track_mat_L", {}), Findings::VehicleTextureSlotMissing.kind)
            .size() == 3);
    EXPECT_TRUE(
        ofKind(check(TankComponentType::Other, "hull_01", {}), Findings::VehicleTextureSlotMissing.kind)
            .size() == 3);

    // A texture property without a texture is reported as such, then as missing.
    Props props = fullSet();
    props[2] = PropertyLayout::texture("diffuseMap", "");
    EXPECT_EQ(findingsOf(check(kPart, "hull_01", props)),
              (std::vector<Finding>{error("Model '" + kHull + "' has empty <diffuseMap> texture"),
                                    error(missing.substr(0, missing.size() - 1) + "<diffuseMap>")}));
}

TEST_F(VehicleTextureChecksTest, ChecksPostfixExtensionAndLoading) {
    Props props = fullSet();
    writeTexture(tree, kMaps + "x_GMM.png", {8, 8});
    props[0] = PropertyLayout::texture("metallicGlossMap", kMaps + "x_GMM.png");
    props[2] = PropertyLayout::texture("diffuseMap", kMaps + "gone_AM.dds");
    props[3] = PropertyLayout::texture("excludeMaskAndAOMap", kMaps + "hull_GMM.dds");
    const std::vector<ValidationError> errors = check(kPart, "hull_01", props);
    EXPECT_EQ(findingsOf(ofKind(errors, Findings::VehicleTextureExtension.kind)),
              std::vector<Finding>{
                  error("Texture '" + kMaps + "x_GMM.png' has wrong extension, has to be 'x_GMM.dds'")});
    EXPECT_EQ(findingsOf(ofKind(errors, Findings::VehicleTextureLoadFailed.kind)),
              std::vector<Finding>{error("Load '" + kMaps + "gone_AM.dds' texture was failed")});
    EXPECT_EQ(findingsOf(ofKind(errors, Findings::VehicleTexturePostfix.kind)),
              std::vector<Finding>{
                  error("Model " + kHull +
                        "' [material 'hull_01'] has <excludeMaskAndAOMap> texture with postfix GMM: '" +
                        kMaps + "hull_GMM.dds', but has to be AO")});

    // Interiors may use a plain normal map, in BC1; other materials may not.
    texture("in_NM.dds", 8, 8, Render::RF_BC1_UNORM);
    props = fullSet();
    props[1] = PropertyLayout::texture("normalMap", kMaps + "in_NM.dds");
    EXPECT_TRUE(ofKind(check(kPart, "hull_inside", props), Findings::VehicleTexturePostfix.kind).empty());
    EXPECT_EQ(findingsOf(ofKind(check(kPart, "hull_01", props), Findings::VehicleTexturePostfix.kind)),
              std::vector<Finding>{error("Model " + kHull +
                                         "' [material 'hull_01'] has <normalMap> texture with postfix "
                                         "NM: '" +
                                         kMaps + "in_NM.dds', but has to be ANM")});
    props[1] = PropertyLayout::texture("normalMap", kMaps + "hull_AM.dds");
    EXPECT_EQ(findingsOf(ofKind(check(kPart, "hull_inside", props), Findings::VehicleTexturePostfix.kind)),
              std::vector<Finding>{error("Model " + kHull +
                                         "' [material 'hull_inside'] has <normalMap> texture with "
                                         "postfix AM: '" +
                                         kMaps + "hull_AM.dds', but has to be ANM or NM")});
}

TEST_F(VehicleTextureChecksTest, NormalPackingFollowsTheInterior) {
    Props props = fullSet();
    props.push_back(PropertyLayout::boolean("g_useNormalPackDXT1", true));
    EXPECT_EQ(findingsOf(ofKind(check(kPart, "hull_01", props), Findings::NormalPackFlagWrong.kind)),
              std::vector<Finding>{error("Model '" + kHull +
                                         "' [material 'hull_01'] has <g_useNormalPackDXT1> = "
                                         "'true', but has to be 'false'")});
    EXPECT_TRUE(ofKind(check(kPart, "hull_inside", props), Findings::NormalPackFlagWrong.kind).empty());
}

TEST_F(VehicleTextureChecksTest, SidesMustBePowersOfTwoBeforeTheMipChainCounts) {
    Props props = fullSet();
    texture("odd_AM.dds", 12, 8, Render::RF_BC1_UNORM);
    props[2] = PropertyLayout::texture("diffuseMap", kMaps + "odd_AM.dds");
    EXPECT_EQ(findingsOf(check(kPart, "hull_01", props)),
              std::vector<Finding>{error("Texture " + kMaps +
                                         "odd_AM.dds with wrong width: '12', but has to be the "
                                         "power of two")});
    writeTexture(tree, kMaps + "short_AM.dds", {8, 8, Render::RF_BC1_UNORM, 2});
    props[2] = PropertyLayout::texture("diffuseMap", kMaps + "short_AM.dds");
    EXPECT_EQ(
        findingsOf(check(kPart, "hull_01", props)),
        std::vector<Finding>{error("Texture '" + kMaps + "short_AM.dds' has mip level: 2, but has to be 4")});
}

TEST_F(VehicleTextureChecksTest, TheMaskIsHalfTheNormalMap) {
    Props props = fullSet();
    texture("big_AO.dds", 8, 8, Render::RF_BC3_UNORM);
    props[3] = PropertyLayout::texture("excludeMaskAndAOMap", kMaps + "big_AO.dds");
    EXPECT_EQ(
        findingsOf(check(kPart, "hull_01", props)),
        std::vector<Finding>{error("Texture '" + kMaps + "big_AO.dds' has size: 8x8, but has to be: 4x4",
                                   ValidationErrorSeverity::Medium)});
}

TEST_F(VehicleTextureChecksTest, ComponentMaterialsHaveOneSizeAndItsHalf) {
    using S = ValidationErrorSeverity;
    const auto size = [](const std::string& name, uint32_t w, uint32_t h, const std::string& allowed,
                         S severity) { return error(sizeText(name, w, h, allowed), severity); };
    // A turret's own material: 1024, its half and its double with a notice.
    EXPECT_EQ(sizeFindings(TankComponentType::Turret, "tank_turret_01", 1024, 1024), std::vector<Finding>{});
    EXPECT_EQ(sizeFindings(TankComponentType::Turret, "tank_turret_01", 2048, 2048),
              (std::vector<Finding>{size("a_GMM.dds", 2048, 2048, "1024x1024", S::Normal),
                                    size("a_ANM.dds", 2048, 2048, "1024x1024", S::Normal),
                                    size("a_AM.dds", 2048, 2048, "1024x1024", S::Normal)}));
    EXPECT_EQ(sizeFindings(TankComponentType::Turret, "tank_turret_01", 512, 512).at(0),
              size("a_GMM.dds", 512, 512, "1024x1024", S::Normal));
    EXPECT_EQ(sizeFindings(TankComponentType::Turret, "tank_turret_01", 1024, 512).at(0),
              size("a_GMM.dds", 1024, 512, "1024x1024", S::Medium));
    // A gun accepts the half size silently, not the double.
    EXPECT_EQ(sizeFindings(TankComponentType::Gun, "gun_01", 512, 512), std::vector<Finding>{});
    EXPECT_EQ(sizeFindings(TankComponentType::Gun, "gun_01", 2048, 2048).at(0),
              size("a_GMM.dds", 2048, 2048, "1024x1024", S::Medium));
    // A hull's own material: 2048, half with a notice; the double is no exception.
    EXPECT_EQ(sizeFindings(TankComponentType::Hull, "tank_hull_01", 1024, 1024).at(0),
              size("a_GMM.dds", 1024, 1024, "2048x2048", S::Normal));
    EXPECT_EQ(sizeFindings(TankComponentType::Hull, "tank_hull_01", 512, 512).at(0),
              size("a_GMM.dds", 512, 512, "2048x2048", S::Medium));
    EXPECT_EQ(sizeFindings(TankComponentType::Chassis, "tank_chassis_01", 512, 512).at(0),
              size("a_GMM.dds", 512, 512, "1024x1024", S::Normal));
    // Other hull and turret parts: one of the listed sizes.
    EXPECT_EQ(sizeFindings(TankComponentType::Hull, "hull_parts", 512, 1024), std::vector<Finding>{});
    EXPECT_EQ(sizeFindings(TankComponentType::Turret, "turret_parts", 256, 256).at(0),
              size("a_GMM.dds", 256, 256, "1024x1024 or 1024x512 or 512x1024 or 512x512", S::Medium));
    // Wheels and tracks of other types have no size rule.
    EXPECT_EQ(sizeFindings(TankComponentType::Wheel0, "tank_hull_01", 256, 256), std::vector<Finding>{});
}

TEST_F(VehicleTextureChecksTest, TracksAndLoosePartsFollowTheSideRules) {
    const auto side = [](const std::string& which, uint32_t value) {
        return error(Findings::VehicleTextureSide.text(kMaps + "a_GMM.dds", which, value),
                     ValidationErrorSeverity::Medium);
    };
    EXPECT_EQ(sizeFindings(TankComponentType::Other, "part_01", 512, 256), std::vector<Finding>{});
    EXPECT_EQ(sizeFindings(TankComponentType::Other, "part_01", 1024, 256).at(0), side("width", 1024));
    EXPECT_EQ(sizeFindings(TankComponentType::Other, "part_01", 256, 128).at(0), side("height", 128));
    // Tracks: up to 1024 a side and 512x512 texels in all.
    EXPECT_EQ(sizeFindings(TankComponentType::Chassis, "track_mat_L", 1024, 256), std::vector<Finding>{});
    EXPECT_EQ(sizeFindings(TankComponentType::Chassis, "track_mat_L", 1024, 512).at(0),
              error(Findings::VehicleTextureArea.text(kMaps + "a_GMM.dds", 1024u, 512u, 262144u),
                    ValidationErrorSeverity::Medium));
    EXPECT_EQ(sizeFindings(TankComponentType::Chassis, "chassis_parts", 128, 128), std::vector<Finding>{});
}

TEST_F(VehicleTextureChecksTest, ProxiesOfTheFarLodAreSmall) {
    const std::string lod4 = "vehicles/t1/normal/lod4/Hull.model";
    // An interior proxy: the proxy's formats win over the interior's.
    writeTexture(tree, kMaps + "x_proxy_GMM.dds", {512, 512, Render::RF_BC1_UNORM, 2});
    texture("x_proxy_ANM.dds", 256, 256, Render::RF_BC3_UNORM, {255, 128, 255, 255});
    writeTexture(tree, kMaps + "x_proxy_AM.dds", {256, 256, Render::RF_BC1_UNORM, 2});
    texture("x_proxy_AO.dds", 256, 256, Render::RF_BC3_UNORM);
    const Props props{PropertyLayout::texture("metallicGlossMap", kMaps + "x_proxy_GMM.dds"),
                      PropertyLayout::texture("normalMap", kMaps + "x_proxy_ANM.dds"),
                      PropertyLayout::texture("diffuseMap", kMaps + "x_proxy_AM.dds"),
                      PropertyLayout::texture("excludeMaskAndAOMap", kMaps + "x_proxy_AO.dds")};
    // The mip chain counts only for a texture of the right size.
    EXPECT_EQ(findingsOf(check(kPart, "hull_inside", props, lod4)),
              (std::vector<Finding>{
                  error("Texture '" + kMaps + "x_proxy_GMM.dds' has size: 512x512, but has to be: 256x256"),
                  error("Texture '" + kMaps + "x_proxy_AM.dds' has mip level: 2, but has to be 9"),
                  error("Texture '" + kMaps + "x_proxy_AO.dds' has size: 256x256, but has to be: 128x128",
                        ValidationErrorSeverity::Medium)}));
    // The component sizes apply to proxies as well (normal and albedo map here; the mask's finding
    // shares their wording); a "_proxy_" set counts only on lod4.
    EXPECT_EQ(ofKind(check(TankComponentType::Hull, "hull_parts", props, lod4),
                     Findings::VehicleTextureSizeWrong.kind)
                  .size(),
              3u);
    EXPECT_TRUE(ofKind(check(kPart, "hull_parts", props), Findings::ProxyTextureSizeWrong.kind).empty());
}

TEST_F(VehicleTextureChecksTest, CrashModelsNameTheSharedCrashTile) {
    const std::string crash = "vehicles/t1/crash/lod0/Hull.model";
    const std::string crashLod4 = "vehicles/t1/crash/lod4/Hull.model";
    Props props = fullSet();
    EXPECT_EQ(
        findingsOf(ofKind(check(kPart, "hull_01", props, crash), Findings::VehicleTextureSlotMissing.kind)),
        std::vector<Finding>{error("Model '" + crash + "' [material 'hull_01'] hasn't <crashTileMap>")});
    EXPECT_TRUE(check(TankComponentType::Chassis, "hull_01", props, crash).empty());
    EXPECT_TRUE(check(kPart, "hull_01", props, crashLod4).empty());
    EXPECT_TRUE(
        ofKind(check(kPart, "hull_inside", props, crash), Findings::VehicleTextureSlotMissing.kind).empty());

    props.push_back(PropertyLayout::texture("crashTileMap", "Vehicles/Russian/Tank_Detail/Crash_Tile.dds"));
    EXPECT_TRUE(check(kPart, "hull_01", props, crash).empty());
    props.back() = PropertyLayout::texture("crashTileMap", "maps/tile.dds");
    EXPECT_EQ(findingsOf(check(kPart, "hull_01", props, crash)),
              std::vector<Finding>{
                  error("Model '" + crash +
                        "' has 'shaders/PBS_tank.fx' shader with 'maps/tile.dds' texture as a "
                        "crashTileMap, but has to be 'vehicles/russian/tank_detail/crash_tile.dds'")});
}

// Normal maps keep an alpha mask in red: a map without one is red 0 or 255
// everywhere.
TEST_F(VehicleTextureChecksTest, AlphaOfNormalMapsAgreesWithTheAlphaTest) {
    const auto alphaFindings = [&](const std::vector<uint8_t>& pixels, uint32_t size,
                                   Render::ResourceFormat format, const Props& extra) {
        Props props = fullSet();
        const std::string path = kMaps + "t_ANM.dds";
        EXPECT_TRUE(AssetWriters::writeDDS(tree.path(path), size, size, format, pixels));
        props[1] = PropertyLayout::texture("normalMap", path);
        props.insert(props.end(), extra.begin(), extra.end());
        std::vector<ValidationError> found =
            ofKind(check(kPart, "hull_01", props), Findings::AlphaTestWithoutAlpha.kind);
        for (const ValidationError& e : ofKind(v.getErrors(), Findings::NormalMapAlphaNotConfigured.kind)) {
            found.push_back(e);
        }
        return findingsOf(found);
    };
    const std::string path = kMaps + "t_ANM.dds";
    const Finding withoutAlpha =
        error("Alpha enabled for " + kHull + ", but it normal map " + path + " doesn't have alpha");
    const Finding unconfigured =
        error("Normal map " + path + " for model " + kHull + " contains alpha, but shader is not configured");
    const Props alphaTest{PropertyLayout::boolean("alphaTestEnable", true),
                          PropertyLayout::integer("alphaReference", 128)};
    const Props noTest{PropertyLayout::boolean("alphaTestEnable", false)};

    // Red 255 everywhere, and red 0 everywhere: no alpha.
    const std::vector<uint8_t> white = AssetWriters::makeSolidImage(8, 8, {255, 128, 255, 255});
    const std::vector<uint8_t> black = AssetWriters::makeSolidImage(8, 8, {0, 128, 255, 255});
    for (Render::ResourceFormat format : {Render::RF_BC3_UNORM, Render::RF_BC1_UNORM}) {
        EXPECT_EQ(alphaFindings(white, 8, format, noTest), std::vector<Finding>{});
        EXPECT_EQ(alphaFindings(white, 8, format, alphaTest), std::vector<Finding>{withoutAlpha});
        EXPECT_EQ(alphaFindings(black, 8, format, alphaTest), std::vector<Finding>{withoutAlpha});
    }

    // One block of red 0 among red 255 blocks, and a red in between: alpha.
    std::vector<uint8_t> masked = white;
    for (size_t y = 4; y < 8; ++y) {
        for (size_t x = 4; x < 8; ++x) {
            masked[(y * 8 + x) * 4] = 0;
        }
    }
    const std::vector<uint8_t> grey = AssetWriters::makeSolidImage(8, 8, {128, 128, 255, 255});
    for (Render::ResourceFormat format : {Render::RF_BC3_UNORM, Render::RF_BC1_UNORM}) {
        EXPECT_EQ(alphaFindings(masked, 8, format, alphaTest), std::vector<Finding>{});
        EXPECT_EQ(alphaFindings(masked, 8, format, noTest), std::vector<Finding>{unconfigured});
        EXPECT_EQ(alphaFindings(grey, 8, format, alphaTest), std::vector<Finding>{});
    }
    // A reference of 0 or 255, or none that reads as a number, configures nothing.
    for (const char* reference : {"0", "255", "half"}) {
        const Props test{PropertyLayout::boolean("alphaTestEnable", true),
                         {"alphaReference", "Int", reference}};
        EXPECT_EQ(alphaFindings(masked, 8, Render::RF_BC3_UNORM, test), std::vector<Finding>{unconfigured})
            << reference;
    }

    // BC1's three-colour mode: transparent texels take the last index. Red
    // 255 with transparent texels keeps red at 255; a block transparent
    // throughout has black endpoints and so carries alpha.
    std::vector<uint8_t> holes = white;
    for (size_t i = 0; i < 8; i += 3) {
        holes[i * 4 + 3] = 0;
    }
    EXPECT_EQ(alphaFindings(holes, 8, Render::RF_BC1_UNORM, alphaTest), std::vector<Finding>{withoutAlpha});
    std::vector<uint8_t> cutOut = white;
    for (size_t y = 4; y < 8; ++y) {
        for (size_t x = 4; x < 8; ++x) {
            cutOut[(y * 8 + x) * 4 + 3] = 0;
        }
    }
    EXPECT_EQ(alphaFindings(cutOut, 8, Render::RF_BC1_UNORM, alphaTest), std::vector<Finding>{});
}

// Blocks the encoder does not make, patched into a BC1 map it wrote: one
// row of blocks, each its two RGB 5:6:5 endpoints and its index word.
TEST_F(VehicleTextureChecksTest, AlphaTestFollowsTheReferenceRedOfTheFirstBlock) {
    struct Block {
        uint16_t c0, c1;
        uint32_t indices;
    };
    constexpr uint16_t kRed31 = 0xF800, kRed16 = 0x8000;
    constexpr uint32_t kLast = 0xFFFFFFFFu;
    const std::string path = kMaps + "b_ANM.dds";
    const auto carriesAlpha = [&](const std::vector<Block>& blocks) {
        const auto width = static_cast<uint32_t>(4 * blocks.size());
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(AssetWriters::buildDDS(width, 4, Render::RF_BC1_UNORM,
                                           AssetWriters::makeSolidImage(width, 4, {}), 1, bytes));
        size_t at = bytes.size() - 8 * blocks.size();
        for (const Block& b : blocks) {
            for (const uint32_t value : {uint32_t(b.c0), uint32_t(b.c1)}) {
                bytes[at++] = uint8_t(value);
                bytes[at++] = uint8_t(value >> 8);
            }
            for (int shift = 0; shift < 32; shift += 8) {
                bytes[at++] = uint8_t(b.indices >> shift);
            }
        }
        tree.writeBytes(path, std::vector<char>(bytes.begin(), bytes.end()));
        tree.refresh();
        Props props = fullSet();
        props[1] = PropertyLayout::texture("normalMap", path);
        props.push_back(PropertyLayout::boolean("alphaTestEnable", true));
        props.push_back(PropertyLayout::integer("alphaReference", 128));
        return ofKind(check(kPart, "hull_01", props), Findings::AlphaTestWithoutAlpha.kind).empty();
    };
    // The first block sets the reference from its first endpoint, else its second.
    EXPECT_FALSE(carriesAlpha({{kRed31, kRed16, 0}}));
    EXPECT_TRUE(carriesAlpha({{kRed31, kRed16, 1}}));
    EXPECT_FALSE(carriesAlpha({{kRed31, kRed31, 7}}));
    EXPECT_FALSE(carriesAlpha({{kRed16, kRed31, kLast}}));
    EXPECT_TRUE(carriesAlpha({{kRed16, kRed31, 0}}));
    EXPECT_TRUE(carriesAlpha({{kRed16, kRed16, kLast}}));
    // Later blocks may mix in another red only where no texel takes it.
    EXPECT_FALSE(carriesAlpha({{0, 0, 0}, {kRed16, 0, kLast}, {0, kRed16, 0}, {0, 0, 9}}));
    EXPECT_TRUE(carriesAlpha({{0, 0, 0}, {kRed16, 0, 1}}));
    EXPECT_TRUE(carriesAlpha({{0, 0, 0}, {0, kRed16, 1}}));
    EXPECT_TRUE(carriesAlpha({{0, 0, 0}, {kRed16, kRed16, kLast}}));
}
