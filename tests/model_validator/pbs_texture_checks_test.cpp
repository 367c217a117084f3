#include <gtest/gtest.h>

#include "engine/asset_writers/texture_writer.h"
#include "support/scenery_fixture.h"
#include "support/test_validator.h"

using AssetWriters::PropertyLayout;
using namespace KX::ValidatorHelper;

namespace {

constexpr auto TextureProperties = ValidationTitle::CheckTextureProperties;
constexpr auto High = ValidationErrorSeverity::High;
constexpr auto Medium = ValidationErrorSeverity::Medium;
const std::string kPropertiesCategory = "Check texture properties";

// A DDS with a full mip chain, so that only the rule under test speaks.
SceneryTexture dds(uint32_t width, uint32_t height, Render::ResourceFormat format = Render::RF_BC1_UNORM) {
    SceneryTexture texture;
    texture.width = width;
    texture.height = height;
    texture.format = format;
    return texture;
}

class PbsTextureChecksTest : public SceneryFixture {
  protected:
    // Three LODs: lod0 must use full-size textures, lod1 and lod2 may use reduced ones.
    SceneryModel house{"buildings", "house", 3};

    void setMaterial(size_t lod, const std::vector<PropertyLayout>& properties,
                     const std::string& fx = kStandardShader) {
        AssetWriters::MaterialLayout material = sceneryMaterial("n_stone_01");
        material.fx = fx;
        material.properties = properties;
        house.lod(lod).materials = {material};
    }

    std::vector<Finding> findingsFor(const std::vector<PropertyLayout>& properties,
                                     std::initializer_list<int> codes,
                                     const std::string& fx = kStandardShader) {
        for (size_t lod = 0; lod < house.lods().size(); ++lod) {
            setMaterial(lod, lod == 0 ? properties : std::vector<PropertyLayout>{}, fx);
        }
        house.write(tree);
        return findingsOf(check(house, codes));
    }

    std::string model(size_t lod = 0) { return house.path(lod); }

    Finding postfix(size_t lod, const std::string& tag, const std::string& postfix, const std::string& path,
                    const std::string& expected) {
        return {"[Wrn. 110] Model " + model(lod) + "' [material 'n_stone_01'] has <" + tag +
                    "> texture with postfix " + postfix + ": '" + path + "', but has to be " + expected,
                TextureProperties, Medium, kPropertiesCategory};
    }

    Finding format(const std::string& path, const std::string& actual, const std::string& expected,
                   int code = 110, const std::string& lod = "lod0") {
        return {"[Wrn. " + std::to_string(code) + "] Texture '" + path + "' has format: " + actual +
                    ", but has to be " + expected + ", Lod: " + lod + ", Material: n_stone_01",
                TextureProperties, Medium, kPropertiesCategory};
    }
};

} // namespace

TEST_F(PbsTextureChecksTest, ReducedTexturesOnlyOnTheLastTwoLodsAndWithinTheirBounds) {
    writeTexture(tree, "maps/wall_BGMM.dds", dds(256, 256));
    writeTexture(tree, "maps/big_BGMM.dds", dds(512, 4));
    writeTexture(tree, "maps/wall_BANM.dds", dds(512, 512, Render::RF_BC3_UNORM));
    writeTexture(tree, "maps/big_BANM.dds", dds(4, 1024, Render::RF_BC3_UNORM));
    writeTexture(tree, "maps/big_BAM.dds", dds(1024, 4));
    writeTexture(tree, "maps/wall_MM.dds", dds(4, 4));
    setMaterial(0, {PropertyLayout::texture("metallicGlossMap", "maps/wall_BGMM.dds")});
    setMaterial(1, {PropertyLayout::texture("metallicGlossMap", "maps/big_BGMM.dds"),
                    PropertyLayout::texture("normalMap", "maps/wall_BANM.dds"),
                    PropertyLayout::texture("diffuseMap", "maps/big_BAM.dds")});
    setMaterial(2, {PropertyLayout::texture("metallicGlossMap", "maps/wall_MM.dds"),
                    PropertyLayout::texture("normalMap", "maps/big_BANM.dds")});
    house.write(tree);
    auto tooLarge = [](const std::string& path, const std::string& size, const std::string& bound) {
        return Finding{"[Err. 116] Texture '" + path + "' has size: " + size +
                           ", but has to be less or equal: " + bound,
                       TextureProperties, High, kPropertiesCategory};
    };
    EXPECT_EQ(findingsOf(check(house, {110, 116})),
              (std::vector<Finding>{postfix(0, "metallicGlossMap", "BGMM", "maps/wall_BGMM.dds", "GMM"),
                                    tooLarge("maps/big_BGMM.dds", "512x4", "256x256"),
                                    tooLarge("maps/big_BAM.dds", "1024x4", "512x512"),
                                    postfix(2, "metallicGlossMap", "MM", "maps/wall_MM.dds", "GMM or BGMM"),
                                    tooLarge("maps/big_BANM.dds", "4x1024", "512x512")}));
}

TEST_F(PbsTextureChecksTest, MetallicMapMustBeAPowerOfTwoReductionOfTheAlbedo) {
    writeTexture(tree, "maps/a_AM.dds", dds(64, 64));
    writeTexture(tree, "maps/wide_AM.dds", dds(64, 32));
    writeTexture(tree, "maps/half_GMM.dds", dds(32, 32));
    writeTexture(tree, "maps/same_GMM.dds", dds(64, 64));
    writeTexture(tree, "maps/quarter_GMM.dds", dds(16, 16));
    const auto pair = [](const std::string& metallic, const std::string& albedo) {
        return std::vector<PropertyLayout>{PropertyLayout::texture("metallicGlossMap", metallic),
                                           PropertyLayout::texture("diffuseMap", albedo)};
    };
    EXPECT_EQ(findingsFor(pair("maps/half_GMM.dds", "maps/a_AM.dds"), {114, 117}), std::vector<Finding>{});
    EXPECT_EQ(findingsFor(pair("maps/quarter_GMM.dds", "maps/a_AM.dds"), {114, 117}), std::vector<Finding>{});
    auto mismatch = [](const std::string& metallic, const std::string& size, const std::string& albedo) {
        return Finding{"[Wrn. 114] GMM texture '" + metallic + "' has size: " + size +
                           ", as a part of material [n_stone_01] but shall be less than albedo map(" +
                           albedo + ")and must have resolution in power 2, or inconsistent aspect ratio.",
                       TextureProperties, Medium, kPropertiesCategory};
    };
    EXPECT_EQ(findingsFor(pair("maps/same_GMM.dds", "maps/a_AM.dds"), {114, 117}),
              std::vector<Finding>{mismatch("maps/same_GMM.dds", "64x64", "64x64")});
    EXPECT_EQ(findingsFor(pair("maps/quarter_GMM.dds", "maps/wide_AM.dds"), {114, 117}),
              std::vector<Finding>{mismatch("maps/quarter_GMM.dds", "16x16", "64x32")});

    // A metallic-gloss map that does not load is not compared.
    tree.writeBytes("maps/broken_GMM.dds", {});
    EXPECT_EQ(findingsFor(pair("maps/broken_GMM.dds", "maps/a_AM.dds"), {114, 117}), std::vector<Finding>{});

    // Quotients are whole-number divisions: one side may round down to another
    // quotient while the aspect ratios still agree (tall one-column maps).
    writeTexture(tree, "maps/tall2_AM.dds", dds(2, 8192, Render::RF_R8_UNORM));
    writeTexture(tree, "maps/tall3_AM.dds", dds(3, 8192, Render::RF_R8_UNORM));
    writeTexture(tree, "maps/tall4_AM.dds", dds(4, 8192, Render::RF_R8_UNORM));
    writeTexture(tree, "maps/q4097_GMM.dds", dds(1, 4097, Render::RF_R8_UNORM));
    writeTexture(tree, "maps/q2731_GMM.dds", dds(1, 2731, Render::RF_R8_UNORM));
    writeTexture(tree, "maps/q2100_GMM.dds", dds(1, 2100, Render::RF_R8_UNORM));
    // 2 and 1, 3 and 2, 4 and 3: one quotient above 1 and one a power of two suffice.
    EXPECT_EQ(findingsFor(pair("maps/q4097_GMM.dds", "maps/tall2_AM.dds"), {114}), std::vector<Finding>{});
    EXPECT_EQ(findingsFor(pair("maps/q2731_GMM.dds", "maps/tall3_AM.dds"), {114}), std::vector<Finding>{});
    EXPECT_EQ(findingsFor(pair("maps/q2100_GMM.dds", "maps/tall4_AM.dds"), {114}), std::vector<Finding>{});
    // One-row maps are maps too.
    writeTexture(tree, "maps/row_AM.dds", dds(8192, 2, Render::RF_R8_UNORM));
    writeTexture(tree, "maps/row_GMM.dds", dds(4096, 1, Render::RF_R8_UNORM));
    EXPECT_EQ(findingsFor(pair("maps/row_GMM.dds", "maps/row_AM.dds"), {114}), std::vector<Finding>{});
    // 3 and 3: no power of two.
    EXPECT_EQ(findingsFor(pair("maps/q2100_GMM.dds", "maps/tall3_AM.dds"), {114}),
              std::vector<Finding>{mismatch("maps/q2100_GMM.dds", "1x2100", "3x8192")});

    // Reduced albedos of the last LODs: the same quotient on both sides, a power of two.
    writeTexture(tree, "maps/b_BAM.dds", dds(384, 384));
    writeTexture(tree, "maps/third_GMM.dds", dds(128, 128));
    writeTexture(tree, "maps/fourth_GMM.dds", dds(96, 96));
    writeTexture(tree, "maps/flat_GMM.dds", dds(96, 48));
    setMaterial(0, {});
    setMaterial(1, pair("maps/fourth_GMM.dds", "maps/b_BAM.dds"));
    setMaterial(2, pair("maps/third_GMM.dds", "maps/b_BAM.dds"));
    house.write(tree);
    auto notReduced = [](const std::string& metallic, const std::string& size) {
        return Finding{"[Wrn. 117] Texture '" + metallic + "' has size: " + size +
                           ", but has to be in 2, 4, 8, ... times less than albedo(384x384)",
                       TextureProperties, Medium, kPropertiesCategory};
    };
    EXPECT_EQ(findingsOf(check(house, {114, 117})),
              std::vector<Finding>{notReduced("maps/third_GMM.dds", "128x128")});
    setMaterial(1, pair("maps/broken_GMM.dds", "maps/b_BAM.dds"));
    house.write(tree);
    EXPECT_EQ(findingsOf(check(house, {114, 117})),
              std::vector<Finding>{notReduced("maps/third_GMM.dds", "128x128")});
    setMaterial(1, pair("maps/flat_GMM.dds", "maps/b_BAM.dds"));
    house.write(tree);
    EXPECT_EQ(findingsOf(check(house, {114, 117})),
              (std::vector<Finding>{notReduced("maps/flat_GMM.dds", "96x48"),
                                    notReduced("maps/third_GMM.dds", "128x128")}));
}

TEST_F(PbsTextureChecksTest, ExpectedFormatsFollowShaderAndVertexColourMode) {
    writeTexture(tree, "maps/rock_AM.dds", dds(8, 8));
    writeTexture(tree, "maps/rock_GMM.dds", dds(4, 4));
    writeTexture(tree, "maps/rock_ANM.dds", dds(8, 8));
    const std::vector<PropertyLayout> set = {PropertyLayout::texture("metallicGlossMap", "maps/rock_GMM.dds"),
                                             PropertyLayout::texture("normalMap", "maps/rock_ANM.dds"),
                                             PropertyLayout::texture("diffuseMap", "maps/rock_AM.dds")};
    const Finding normalFormat = format("maps/rock_ANM.dds", "BC1_UNORM", "BC3_UNORM");
    EXPECT_EQ(findingsFor(set, {110}), std::vector<Finding>{normalFormat});

    const Finding albedoFormat = format("maps/rock_AM.dds", "BC1_UNORM", "BC3_UNORM");
    std::vector<PropertyLayout> masked = set;
    masked.push_back(PropertyLayout::integer("g_vertexColorMode", 0x102));
    EXPECT_EQ(findingsFor(masked, {110}), (std::vector<Finding>{normalFormat, albedoFormat}));
    masked.back() = PropertyLayout::integer("g_vertexColorMode", 3);
    EXPECT_EQ(findingsFor(masked, {110}), std::vector<Finding>{normalFormat});
    masked.back() = PropertyLayout::integer("g_vertexColorMode", 0x100000002LL);
    EXPECT_EQ(findingsFor(masked, {110}), std::vector<Finding>{normalFormat});

    EXPECT_EQ(findingsFor(set, {110}, "shaders/std_effects/PBS_glass.fx"),
              (std::vector<Finding>{normalFormat, albedoFormat}));
    EXPECT_EQ(findingsFor(set, {110}, "shaders/std_effects/pbs_ext_repaint.fx"),
              (std::vector<Finding>{normalFormat, albedoFormat}));
    EXPECT_EQ(findingsFor(set, {110}, "shaders/std_effects/pbs_ext_tess.fx"),
              std::vector<Finding>{normalFormat});

    // Under those shaders a reduced albedo is in BC3 too; an albedo named otherwise is not.
    writeTexture(tree, "maps/rock_BAM.dds", dds(8, 8));
    writeTexture(tree, "maps/rock_diffuse.dds", dds(8, 8));
    setMaterial(0, {PropertyLayout::texture("diffuseMap", "maps/rock_diffuse.dds")},
                "shaders/std_effects/pbs_glass.fx");
    setMaterial(1, {}, "shaders/std_effects/pbs_glass.fx");
    setMaterial(2, {PropertyLayout::texture("diffuseMap", "maps/rock_BAM.dds")},
                "shaders/std_effects/pbs_glass.fx");
    house.write(tree);
    EXPECT_EQ(findingsOf(check(house, {110})),
              (std::vector<Finding>{postfix(0, "diffuseMap", "diffuse", "maps/rock_diffuse.dds", "AM"),
                                    format("maps/rock_BAM.dds", "BC1_UNORM", "BC3_UNORM", 110, "lod2")}));

    // Tessellated materials whose albedo slot holds a metallic-gloss map, and
    // tiled atlas materials, expect their metallic-gloss map in BC3.
    std::vector<PropertyLayout> tess = set;
    writeTexture(tree, "maps/rock2_GMM.dds", dds(8, 8));
    tess[2] = PropertyLayout::texture("diffuseMap", "maps/rock2_GMM.dds");
    const Finding metallicFormat = format("maps/rock_GMM.dds", "BC1_UNORM", "BC3_UNORM");
    EXPECT_EQ(
        findingsFor({tess[0], tess[2]}, {110}, "shaders/std_effects/pbs_ext_tess.fx"),
        (std::vector<Finding>{metallicFormat, postfix(0, "diffuseMap", "GMM", "maps/rock2_GMM.dds", "AM")}));
}

TEST_F(PbsTextureChecksTest, MissingAndMisCasedTexturesOfTheSet) {
    writeTexture(tree, "maps/rock_AM.dds", dds(8, 8));
    const std::vector<PropertyLayout> set = {PropertyLayout::texture("metallicGlossMap", "maps/gone_GMM.dds"),
                                             PropertyLayout::texture("normalMap", "maps/gone_ANM.dds"),
                                             PropertyLayout::texture("diffuseMap", "maps/Rock_AM.dds")};
    std::vector<Finding> expected = {
        {"[Wrn. 123] Texture(metallic/gloss) is not found by path 'maps/gone_GMM.dds'.",
         ValidationTitle::Common, Medium, "Common"},
        {"[Err. 110] Load 'maps/gone_GMM.dds' texture was failed", TextureProperties, High,
         kPropertiesCategory},
        {"[Wrn. 123] Texture(normal) is not found by path 'maps/gone_ANM.dds'.", ValidationTitle::Common,
         Medium, "Common"},
        {"[Err. 110] Load 'maps/gone_ANM.dds' texture was failed", TextureProperties, High,
         kPropertiesCategory}};
    if (diskIsCaseSensitive(tree.root())) {
        expected.push_back(
            {"[Wrn. 123] Texture(diffuse/albedo) path 'maps/Rock_AM.dds' has a case-sensitive typo. "
             "Right path is:'maps/rock_AM.dds'.",
             ValidationTitle::Common, Medium, "Common"});
    }
    EXPECT_EQ(findingsFor(set, {110, 123}), expected);

    EXPECT_EQ(
        findingsFor({PropertyLayout::texture("diffuseMap", "maps/gone_AM.dds")}, {123}),
        (std::vector<Finding>{{"[Wrn. 123] Texture(diffuse/albedo) is not found by path 'maps/gone_AM.dds'",
                               ValidationTitle::Common, Medium, "Common"}}));
}

TEST_F(PbsTextureChecksTest, NormalMapRedChannelIsCheckedWhereAPhysicsModelUsesIt) {
    SceneryTexture valid = dds(8, 8, Render::RF_BC3_UNORM);
    valid.colour = {250, 128, 255, 255};
    SceneryTexture dark = valid;
    dark.colour.r = 100;
    writeTexture(tree, "maps/good_ANM.dds", valid);
    writeTexture(tree, "maps/dark_ANM.dds", dark);
    SceneryTexture grey;
    grey.width = grey.height = 8;
    grey.channels = 1;
    grey.colour.r = 250;
    writeTexture(tree, "maps/grey_ANM.png", grey);
    tree.writeBytes("maps/empty_ANM.dds", {});

    const std::string physics = house.root() + "/normal/lod0/havok/house__n_stone_01.hkt.model";
    const auto normal = [](const std::string& path, bool alphaTest = false) {
        return std::vector<PropertyLayout>{PropertyLayout::boolean("alphaTestEnable", alphaTest),
                                           PropertyLayout::texture("normalMap", path)};
    };
    auto invalid = [&](const std::string& path) {
        return Finding{"[Err. 118] Model " + model() + " [material 'n_stone_01'] has texture '" + path +
                           "' with invalid color in the Red layer",
                       TextureProperties, High, kPropertiesCategory};
    };
    // Without a physics model nobody samples the channel, even when the LOD has
    // physics models for other materials.
    EXPECT_EQ(findingsFor(normal("maps/dark_ANM.dds"), {118}), std::vector<Finding>{});
    tree.write(house.root() + "/normal/lod0/havok/house__n_glass_01.hkt.model", "<root/>");
    EXPECT_EQ(findingsFor(normal("maps/dark_ANM.dds"), {118}), std::vector<Finding>{});

    tree.write(physics, "<root/>");
    EXPECT_EQ(findingsFor(normal("maps/good_ANM.dds"), {118}), std::vector<Finding>{});
    EXPECT_EQ(findingsFor(normal("maps/good_ANM.dds", true), {118}), std::vector<Finding>{});
    EXPECT_EQ(findingsFor(normal("maps/dark_ANM.dds", true), {118}), std::vector<Finding>{});
    for (const std::string path : {"maps/dark_ANM.dds", "maps/grey_ANM.png", "maps/empty_ANM.dds"}) {
        EXPECT_EQ(findingsFor(normal(path), {118}), std::vector<Finding>{invalid(path)});
    }
    // The bounds of the range, exactly: uncompressed colour images keep every value.
    for (const uint8_t red : {uint8_t(239), uint8_t(240), uint8_t(255)}) {
        SceneryTexture exact;
        exact.width = exact.height = 4;
        exact.channels = 3;
        exact.colour = {red, 128, 255, 255};
        const std::string path = "maps/red" + std::to_string(red) + "_ANM.png";
        writeTexture(tree, path, exact);
        EXPECT_EQ(findingsFor(normal(path), {118}),
                  red < 240 ? std::vector<Finding>{invalid(path)} : std::vector<Finding>{});
    }
    // Without the alpha-test property the channel is checked too.
    EXPECT_EQ(findingsFor({normal("maps/dark_ANM.dds")[1]}, {118}),
              std::vector<Finding>{invalid("maps/dark_ANM.dds")});
}

TEST_F(PbsTextureChecksTest, TiledAtlasMaterialsNeedADirtMapAndAtlasEndings) {
    const std::string tiledAtlas = "shaders/std_effects/PBS_tiled_atlas.fx";
    EXPECT_EQ(
        findingsFor({PropertyLayout::boolean("alphaTestEnable", false)}, {120}, tiledAtlas),
        (std::vector<Finding>{{"[Err. 120] Material 'n_stone_01' for '" + model() +
                                   "' with shader PBS_tiled_atlas shouldn't has empty property dirtMap.",
                               ValidationTitle::Common, High, "Common"}}));

    writeTexture(tree, "maps/ground_DT.dds", dds(8, 8));
    writeTexture(tree, "maps/sky_GT.dds", dds(8, 8));
    writeTexture(tree, "maps/rock_GMM.dds", dds(8, 8));
    tree.write("maps/ground_AM.atlas", "<atlas/>");
    const std::vector<PropertyLayout> atlas = {
        PropertyLayout::texture("dirtMap", "maps/ground_DT.dds"),
        PropertyLayout::texture("atlasAlbedoHeight", "maps/ground_AM.atlas"),
        PropertyLayout::texture("atlasBlend", "maps/ground_atlas_blend.png"),
        PropertyLayout::texture("globalTex", "maps/sky_GT.dds"),
        PropertyLayout::texture("metallicGlossMap", "maps/rock_GMM.dds")};
    const std::string material = "' [material 'n_stone_01'] has <";
    EXPECT_EQ(findingsFor(atlas, {110, 121, 125}, tiledAtlas),
              (std::vector<Finding>{{"[Inf. 121] Model " + model() + material +
                                         "dirtMap> texture with postfix DT: 'maps/ground_DT.dds', but "
                                         "has to be DM",
                                     TextureProperties, ValidationErrorSeverity::Normal, kPropertiesCategory},
                                    {"[Wrn. 125] Model " + model() + material +
                                         "atlasAlbedoHeight> texture with postfix AM: "
                                         "'maps/ground_AM.atlas', but has to be _atlas_AM.atlas",
                                     TextureProperties, Medium, kPropertiesCategory},
                                    format("maps/sky_GT.dds", "BC1_UNORM", "BC3_UNORM", 125),
                                    format("maps/rock_GMM.dds", "BC1_UNORM", "BC3_UNORM")}));
}
