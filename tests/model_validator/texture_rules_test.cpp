#include <gtest/gtest.h>

#include "model_validator/validator_helper.h"
#include "support/scenery_fixture.h"
#include "support/test_validator.h"

using namespace KX::ValidatorHelper;

namespace {

constexpr auto Medium = ValidationErrorSeverity::Medium;
constexpr auto High = ValidationErrorSeverity::High;
constexpr auto TextureProperties = ValidationTitle::CheckTextureProperties;

// Textures of the tests are single-channel DDS files: cheap to write at the
// large sizes the mip rule needs.
SceneryTexture greyTexture(uint32_t width, uint32_t height, uint32_t mipCount = 0) {
    SceneryTexture texture;
    texture.width = width;
    texture.height = height;
    texture.format = Render::RF_R8_UNORM;
    texture.mipCount = mipCount;
    return texture;
}

class TextureRulesTest : public SceneryFixture {
  protected:
    TestVehicleValidator vehicle;

    TextureLoader::Output load(const std::string& path) {
        TextureLoader::Output output;
        EXPECT_TRUE(vehicle.loadTexture(path, output)) << path;
        return output;
    }

    // The findings of the mip rule for a texture written at `path`.
    std::vector<Finding> mipFindings(const std::string& path) {
        vehicle.clear();
        vehicle.checkMipLevel(path, load(path), Medium, 77);
        return findingsOf(vehicle.getErrors());
    }

    Finding mipMismatch(const std::string& path, int actual, int expected) {
        return {"[Wrn. 77] Texture '" + path + "' has mip level: " + std::to_string(actual) +
                    ", but has to be " + std::to_string(expected),
                TextureProperties, Medium, "Check texture properties"};
    }
};

} // namespace

TEST(TextureRules, DimensionComparisonsNeedExactMultiples) {
    EXPECT_TRUE(checkDimensionsNTimesGreater(1024, 512, 512, 256, 2));
    EXPECT_FALSE(checkDimensionsNTimesGreater(1024, 512, 512, 256, 4));
    EXPECT_FALSE(checkDimensionsNTimesGreater(1024, 510, 512, 256, 2));
    EXPECT_TRUE(checkDimensionsNTimesSmaller(512, 256, 1024, 512, 2));
    EXPECT_FALSE(checkDimensionsNTimesSmaller(512, 256, 1024, 256, 2));

    EXPECT_TRUE(checkDimensionsPowOfTwoTimesSmaller(256, 256, 1024, 1024));
    EXPECT_TRUE(checkDimensionsPowOfTwoTimesSmaller(96, 96, 384, 384));
    EXPECT_FALSE(checkDimensionsPowOfTwoTimesSmaller(512, 512, 512, 512));
    EXPECT_FALSE(checkDimensionsPowOfTwoTimesSmaller(256, 512, 1024, 1024));
    EXPECT_FALSE(checkDimensionsPowOfTwoTimesSmaller(300, 300, 900, 900));
    EXPECT_FALSE(checkDimensionsPowOfTwoTimesSmaller(300, 300, 901, 900));
    EXPECT_FALSE(checkDimensionsPowOfTwoTimesSmaller(0, 300, 900, 900));

    EXPECT_FALSE(isDimensionsExceedUpperBounds(4096, 2048, 4096, 4096));
    EXPECT_FALSE(isDimensionsExceedUpperBounds(4096, 4096, 4096, 4096));
    EXPECT_TRUE(isDimensionsExceedUpperBounds(4097, 16, 4096, 4096));
    EXPECT_TRUE(isDimensionsExceedUpperBounds(16, 4097, 4096, 4096));
}

TEST(TextureRules, PostfixComesFromTheFileNameAlone) {
    EXPECT_EQ(getFilenamePostfix("maps/house_01_AM.dds"), "AM");
    EXPECT_EQ(getFilenamePostfix("maps/house.dds"), "");
    EXPECT_EQ(getFilenamePostfix("my_maps/old_set/house.dds"), "");
    EXPECT_EQ(getFilenamePostfix("maps/house_.dds"), "");
    EXPECT_EQ(getFilenamePostfix("maps/house_GMM"), "GMM");
}

TEST_F(TextureRulesTest, MipRuleRoundsTheLogarithmToNearest) {
    writeTexture(tree, "maps/one.dds", greyTexture(1, 1));
    writeTexture(tree, "maps/wide.dds", greyTexture(512, 256));
    writeTexture(tree, "maps/long.dds", greyTexture(2048, 1024));
    writeTexture(tree, "maps/six_hundred.dds", greyTexture(600, 600));
    EXPECT_EQ(mipFindings("maps/one.dds"), std::vector<Finding>{});
    EXPECT_EQ(mipFindings("maps/wide.dds"), std::vector<Finding>{});
    EXPECT_EQ(mipFindings("maps/long.dds"), std::vector<Finding>{});
    EXPECT_EQ(mipFindings("maps/six_hundred.dds"), std::vector<Finding>{});

    // One level short of the rule.
    writeTexture(tree, "maps/short.dds", greyTexture(2048, 1024, 11));
    EXPECT_EQ(mipFindings("maps/short.dds"), std::vector<Finding>{mipMismatch("maps/short.dds", 11, 12)});

    // log2(768) = 9.58 and log2(1536) = 10.58 round up: the rule asks for one
    // level more than a full chain has, so such textures never pass.
    writeTexture(tree, "maps/odd.dds", greyTexture(768, 768));
    writeTexture(tree, "maps/odd_wide.dds", greyTexture(1536, 1536));
    EXPECT_EQ(mipFindings("maps/odd.dds"), std::vector<Finding>{mipMismatch("maps/odd.dds", 10, 11)});
    EXPECT_EQ(mipFindings("maps/odd_wide.dds"),
              std::vector<Finding>{mipMismatch("maps/odd_wide.dds", 11, 12)});
}

TEST_F(TextureRulesTest, UnreadableTexturesAreReportedAndCountAsMinusOneLevel) {
    const std::vector<std::pair<std::string, std::vector<char>>> broken = {
        {"maps/empty.dds", {}},
        {"maps/cut.dds", std::vector<char>{'D', 'D', 'S', ' ', 124, 0, 0}},
    };
    for (const auto& [path, bytes] : broken) {
        SCOPED_TRACE(path);
        tree.writeBytes(path, bytes);
        TextureLoader::Output claimed;
        claimed.width = 4;
        claimed.height = 4;
        vehicle.style = "Hull";
        vehicle.clear();
        vehicle.checkMipLevel(path, claimed, ValidationErrorSeverity::Normal, 42);
        EXPECT_EQ(
            findingsOf(vehicle.getErrors()),
            (std::vector<Finding>{{"[Err. 42] Can not get mip level for '" + path + "'",
                                   ValidationTitle::CheckDetailSettings, High, "Hull/Check detail settings"},
                                  {"[Inf. 42] Texture '" + path + "' has mip level: -1, but has to be 3",
                                   TextureProperties, ValidationErrorSeverity::Normal,
                                   "Hull/Check texture properties"}}));
    }
    // Nothing is compared for an output without an image.
    vehicle.clear();
    vehicle.checkMipLevel("maps/empty.dds", TextureLoader::Output(), Medium, 42);
    EXPECT_TRUE(vehicle.getErrors().empty());
}

TEST_F(TextureRulesTest, FormatMismatchNamesBothFormatsForLoadedTexturesOnly) {
    writeTexture(tree, "maps/rock_AM.dds", SceneryTexture{});
    const TextureLoader::Output rock = load("maps/rock_AM.dds");
    vehicle.checkTextureFormat("maps/rock_AM.dds", Render::RF_BC1_UNORM, rock, High, 12, "lod0", "n_rock");
    EXPECT_TRUE(vehicle.getErrors().empty());

    vehicle.checkTextureFormat("maps/rock_AM.dds", Render::RF_BC3_UNORM, rock, High, 12, "lod0", "n_rock");
    EXPECT_EQ(
        findingsOf(vehicle.getErrors()),
        (std::vector<Finding>{{"[Err. 12] Texture 'maps/rock_AM.dds' has format: BC1_UNORM, but has to be "
                               "BC3_UNORM, Lod: lod0, Material: n_rock",
                               TextureProperties, High, "Check texture properties"}}));

    vehicle.clear();
    TextureLoader::Output flat = rock;
    flat.height = 0;
    vehicle.checkTextureFormat("maps/rock_AM.dds", Render::RF_BC3_UNORM, flat, High, 12, "lod0", "n_rock");
    flat = rock;
    flat.width = 0;
    vehicle.checkTextureFormat("maps/rock_AM.dds", Render::RF_BC3_UNORM, flat, High, 12, "lod0", "n_rock");
    EXPECT_TRUE(vehicle.getErrors().empty());
}

TEST_F(TextureRulesTest, AStepReadsEachTextureOnceAndTheNextReadsItAfresh) {
    writeTexture(tree, "maps/rock_AM.dds", greyTexture(8, 8));
    TextureLoader::Output output;
    {
        const TestVehicleValidator::TextureReadScope reads(vehicle);
        ASSERT_TRUE(vehicle.loadTexture("maps/rock_AM.dds", output));
        writeTexture(tree, "maps/rock_AM.dds", greyTexture(16, 16));
        ASSERT_TRUE(vehicle.loadTexture("maps/rock_AM.dds", output));
        EXPECT_EQ(output.width, 8u);
        EXPECT_EQ(vehicle.getTextureMipLevel("maps/rock_AM.dds", 1), 4);
    }
    ASSERT_TRUE(vehicle.loadTexture("maps/rock_AM.dds", output));
    EXPECT_EQ(output.width, 16u);
    EXPECT_EQ(vehicle.getTextureMipLevel("maps/rock_AM.dds", 1), 5);
}
