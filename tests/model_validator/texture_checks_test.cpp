#include <gtest/gtest.h>

#include "engine/asset_writers/texture_writer.h"
#include "support/scenery_fixture.h"
#include "support/test_validator.h"

using AssetWriters::PropertyLayout;
using namespace KX::ValidatorHelper;

namespace {

constexpr auto Common = ValidationTitle::Common;
constexpr auto High = ValidationErrorSeverity::High;

SceneryTexture sized(uint32_t width, uint32_t height) {
    SceneryTexture texture;
    texture.width = width;
    texture.height = height;
    texture.format = Render::RF_R8_UNORM;
    texture.mipCount = 1;
    return texture;
}

void putU32(std::vector<char>& bytes, size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) {
        bytes[offset + i] = static_cast<char>(value >> (8 * i));
    }
}

std::vector<char> asChars(const std::vector<uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

class TextureChecksTest : public SceneryFixture {
  protected:
    SceneryModel house{"buildings", "house"};

    // lod0 of the house with one material whose shader is `fx` and whose
    // properties reference textures.
    std::vector<Finding> findingsFor(const std::vector<PropertyLayout>& properties,
                                     const std::string& fx = kStandardShader) {
        AssetWriters::MaterialLayout material = sceneryMaterial("n_stone_01");
        material.fx = fx;
        material.properties = properties;
        house.materials({material}).write(tree);
        return findingsOf(check(house, {5, 8, 10}));
    }

    std::string texturedMessage(const std::string& texture, const std::string& tail) {
        return "[Err. 5] Model '" + house.path() + "' has [material 'n_stone_01'] with texture '" + texture +
               tail;
    }
};

} // namespace

TEST_F(TextureChecksTest, ReportsMissingTexturesOncePerMessage) {
    house.lod(0).materials = {sceneryMaterial("n_stone_01"), sceneryMaterial("n_stone_01"),
                              sceneryMaterial("n_wood_01")};
    for (AssetWriters::MaterialLayout& material : house.lod(0).materials) {
        material.properties = {PropertyLayout::texture("diffuseMap", "maps/gone_AM.dds"),
                               PropertyLayout::texture("normalMap", ""),
                               PropertyLayout::texture("atlasAlbedoHeight", "maps/gone_atlas_AM.atlas")};
    }
    house.lod(0).materials[2].identifier = "";
    house.write(tree);
    const std::string model = house.path();
    auto missing = [&](const std::string& material, const std::string& texture) {
        return Finding{"[Err. 5] Model '" + model + "' has [material '" + material + "'] with texture '" +
                           texture + "' which does not exist",
                       Common, High, "Common"};
    };
    EXPECT_EQ(
        findingsOf(check(house, {5, 8, 10})),
        (std::vector<Finding>{missing("n_stone_01", "maps/gone_AM.dds"),
                              missing("n_stone_01", "maps/gone_atlas_AM.atlas"),
                              missing("", "maps/gone_AM.dds"), missing("", "maps/gone_atlas_AM.atlas")}));
}

TEST_F(TextureChecksTest, ReportsSidesThatAreNoPowerOfTwo) {
    writeTexture(tree, "maps/wall_AM.dds", sized(1024, 768));
    writeTexture(tree, "maps/roof_AM.dds", sized(1024, 1024));
    writeTexture(tree, "maps/ridge_AM.dds", sized(1, 2048));
    writeTexture(tree, "maps/aid_builder_grid.dds", sized(100, 100));
    EXPECT_EQ(
        findingsFor({PropertyLayout::texture("diffuseMap", "maps/wall_AM.dds"),
                     PropertyLayout::texture("diffuseMap", "maps/roof_AM.dds"),
                     PropertyLayout::texture("diffuseMap", "maps/ridge_AM.dds"),
                     PropertyLayout::texture("diffuseMap", "maps/aid_builder_grid.dds")}),
        (std::vector<Finding>{
            {texturedMessage("maps/wall_AM.dds", "' 1024x768, but dimensions should be the power of two"),
             Common, High, "Common"},
            {"[Err. 8] Model '" + house.path() +
                 "' has [material 'n_stone_01'] with texture 'maps/aid_builder_grid.dds' which has "
                 "'aid_builder' in the name",
             Common, High, "Common"},
            {texturedMessage("maps/aid_builder_grid.dds",
                             "' 100x100, but dimensions should be the power of two"),
             Common, High, "Common"}}));

    // Only the file name counts for the placeholder marker.
    writeTexture(tree, "aid_builder/grid.dds", sized(64, 64));
    EXPECT_EQ(findingsFor({PropertyLayout::texture("diffuseMap", "aid_builder/grid.dds")}),
              std::vector<Finding>{});
}

TEST_F(TextureChecksTest, AtlasBlendsNeedWholeTilesUnlessTheTiledShaderSamplesThem) {
    writeTexture(tree, "maps/ground_atlas_blend.png", sized(1536, 1024));
    writeTexture(tree, "maps/Field_Atlas_Blend.PNG", sized(1536, 1024));
    writeTexture(tree, "_atlas_blend.png", sized(1536, 1024));
    writeTexture(tree, "maps/odd_atlas_blend.png", sized(1000, 1024));
    writeTexture(tree, "maps/ground_blend.png", sized(1536, 1024));
    const std::vector<PropertyLayout> blends = {
        PropertyLayout::texture("atlasBlend", "maps/ground_atlas_blend.png"),
        PropertyLayout::texture("atlasBlend", "maps/Field_Atlas_Blend.PNG")};
    EXPECT_EQ(findingsFor(blends, "shaders/custom/terrain_blend.fx"), std::vector<Finding>{});
    // A name that is nothing but the ending is a blend too.
    EXPECT_EQ(findingsFor({PropertyLayout::texture("atlasBlend", "_atlas_blend.png")},
                          "shaders/custom/terrain_blend.fx"),
              std::vector<Finding>{});

    const Finding notPowerOfTwo{texturedMessage("maps/ground_atlas_blend.png",
                                                "' 1536x1024, but dimensions should be the power of two"),
                                Common, High, "Common"};
    EXPECT_EQ(findingsFor({blends[0]}, "shaders/std_effects/pbs_tiled.fx"),
              std::vector<Finding>{notPowerOfTwo});
    EXPECT_EQ(findingsFor({blends[0]}, "shaders/std_effects/PBS_Tiled.fx"),
              std::vector<Finding>{notPowerOfTwo});
    // Another shader of the tiled family is no tiled shader.
    EXPECT_EQ(findingsFor({blends[0]}, "shaders/std_effects/pbs_tiled_atlas.fx"), std::vector<Finding>{});

    EXPECT_EQ(
        findingsFor({PropertyLayout::texture("atlasBlend", "maps/odd_atlas_blend.png"),
                     PropertyLayout::texture("diffuseMap", "maps/ground_blend.png")},
                    "shaders/custom/terrain_blend.fx"),
        (std::vector<Finding>{{texturedMessage("maps/odd_atlas_blend.png",
                                               "' 1000x1024, but dimensions should be the multiple of 512"),
                               Common, High, "Common"},
                              {texturedMessage("maps/ground_blend.png",
                                               "' 1536x1024, but dimensions should be the power of two"),
                               Common, High, "Common"}}));
}

TEST_F(TextureChecksTest, DamagedTexturesCannotGiveTheirProperties) {
    tree.writeBytes("maps/empty_AM.dds", {});

    std::vector<uint8_t> dds;
    ASSERT_TRUE(AssetWriters::buildDDS(64, 64, Render::RF_BC1_UNORM,
                                       AssetWriters::makeSolidImage(64, 64, AssetWriters::Colour{}), 0, dds));
    std::vector<char> cut = asChars(dds);
    cut.resize(cut.size() - 1);
    tree.writeBytes("maps/cut_AM.dds", cut);
    std::vector<char> giant = asChars(dds);
    putU32(giant, 12, 65535);
    putU32(giant, 16, 65535);
    putU32(giant, 28, 1);
    tree.writeBytes("maps/giant_AM.dds", giant);

    std::vector<uint8_t> png;
    ASSERT_TRUE(
        AssetWriters::buildPNG(64, 64, AssetWriters::makeSolidImage(64, 64, AssetWriters::Colour{}), 4, png));
    std::vector<char> badCrc = asChars(png);
    badCrc[19] ^= 0x01; // the IHDR width, under an unchanged checksum
    tree.writeBytes("maps/crc_atlas_blend.png", badCrc);
    // Atlas descriptions are not images; the loader does not read them.
    tree.write("maps/ground_atlas_AM.atlas", "<atlas/>");

    std::vector<PropertyLayout> properties;
    std::vector<Finding> expected;
    for (const std::string path :
         {"maps/empty_AM.dds", "maps/cut_AM.dds", "maps/giant_AM.dds", "maps/crc_atlas_blend.png"}) {
        properties.push_back(PropertyLayout::texture("diffuseMap", path));
        expected.push_back({texturedMessage(path, ": can not get properties"), Common, High, "Common"});
    }
    properties.push_back(PropertyLayout::texture("atlasAlbedoHeight", "maps/ground_atlas_AM.atlas"));
    EXPECT_EQ(findingsFor(properties), expected);
}

TEST_F(TextureChecksTest, ReportsAbsoluteTexturePathsWithTheLodFolder) {
    writeTexture(tree, "maps/roof_AM.dds", sized(64, 64));
    EXPECT_EQ(findingsFor({PropertyLayout::texture("diffuseMap", tree.path("maps/roof_AM.dds"))}),
              (std::vector<Finding>{
                  {"[Err. 10] Texture roof_AM.dds has an absolute path. Lod: lod0, Material: n_stone_01",
                   ValidationTitle::CheckTextureProperties, High, "Check texture properties"}}));
    EXPECT_EQ(findingsFor({PropertyLayout::texture("diffuseMap", "maps/roof_AM.dds")}),
              std::vector<Finding>{});
}

TEST_F(TextureChecksTest, RunsThePathChecksOnEveryTexturePath) {
    writeTexture(tree, "maps/rock_AM.dds", sized(64, 64));
    writeTexture(tree, "maps/old rock_AM.dds", sized(64, 64));
    AssetWriters::MaterialLayout material = sceneryMaterial("n_stone_01");
    material.properties = {PropertyLayout::texture("diffuseMap", "maps/old rock_AM.dds"),
                           PropertyLayout::texture("diffuseMap", "maps/Rock_AM.dds")};
    house.materials({material}).write(tree);
    std::vector<Finding> expected = {{"[Wrn. 124] Path 'maps/old rock_AM.dds' has contain '1' spaces.",
                                      ValidationTitle::CheckTextureProperties,
                                      ValidationErrorSeverity::Medium, "Check texture properties"}};
    if (diskIsCaseSensitive(tree.root())) {
        expected.push_back({"[Err. 131] File on disk '" + tree.root() +
                                "/maps/rock_AM.dds' doesn't match the case of path 'maps/Rock_AM.dds'",
                            ValidationTitle::CheckTextureProperties, High, "Check texture properties"});
    }
    EXPECT_EQ(findingsOf(check(house, {5, 124, 131})), expected);
}
