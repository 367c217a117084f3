#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "support/scenery_fixture.h"

using namespace KX::ValidatorHelper;
using AssetWriters::MaterialLayout;
using AssetWriters::PropertyLayout;

namespace {

using Expected = std::vector<Finding>;
using AtlasTintChecksTest = SceneryFixture;

const std::string kAtlasShader = "shaders/std_effects/PBS_tiled_atlas.fx";

MaterialLayout tinted(const std::string& identifier, std::vector<PropertyLayout> properties,
                      const std::string& fx = kStandardShader) {
    return {identifier, fx, 12u, 0u, std::move(properties)};
}

std::vector<PropertyLayout> tint(bool use, const Vector4& colour) {
    return {PropertyLayout::boolean("g_useTintColor", use), PropertyLayout::vector4("g_tintColor", colour)};
}

Finding finding(const std::string& message) {
    return {message, ValidationTitle::Content, ValidationErrorSeverity::Medium, "Content"};
}

} // namespace

TEST_F(AtlasTintChecksTest, TintColoursDifferFromFourTenThousandthsAsTyped) {
    const Vector4 white(1.f, 1.f, 1.f, 1.f);
    SceneryModel awning("buildings", "awning", 7);
    awning.materials({tinted("n_a", tint(true, white))});
    // lod1 to lod6 against lod0: the decimal differences 0.0003, 0.00039,
    // 0.0004 (above and below 1) and 0.0004 at 0, and a large one.
    awning.lod(1).materials = {tinted("n_a", tint(true, Vector4(1.0003f, 1.f, 1.f, 1.f)))};
    awning.lod(2).materials = {tinted("n_a", tint(true, Vector4(1.f, 1.00039f, 1.f, 1.f)))};
    awning.lod(3).materials = {tinted("n_a", tint(true, Vector4(1.f, 1.f, 1.0004f, 1.f)))};
    awning.lod(4).materials = {tinted("n_a", tint(true, Vector4(1.f, 1.f, 1.f, 0.9996f)))};
    awning.lod(5).materials = {tinted("n_a", tint(true, Vector4(1.f, 1.f, 1.f, 1.f)))};
    awning.lod(6).materials = {tinted("n_a", tint(true, Vector4(0.5f, 1.f, 1.f, 1.f)))};
    awning.write(tree);
    const auto differs = [&](size_t lod) {
        return finding("[Wrn. 126] Model '" + awning.path(lod) +
                       "' [material 'n_a'] has different values of Tint color property in lod0 and lod" +
                       std::to_string(lod));
    };
    EXPECT_EQ(findingsOf(check(awning, {126})), (Expected{differs(3), differs(4), differs(6)}));

    // Whether a two-LOD model whose lod1 tint replaces lod0's is reported.
    const auto differ = [&](const Vector4& tint0, const Vector4& tint1) {
        SceneryModel shade("buildings", "shade", 2);
        shade.materials({tinted("n_a", tint(true, tint0))}).lod(1).materials = {
            tinted("n_a", tint(true, tint1))};
        shade.write(tree);
        return !check(shade, {126}).empty();
    };
    // 0.0004 against 0 also differs; the tolerance is not relative.
    EXPECT_TRUE(differ(Vector4(0.f, 0.f, 0.f, 1.f), Vector4(0.0004f, 0.f, 0.f, 1.f)));
    EXPECT_FALSE(differ(Vector4(0.f, 0.f, 0.f, 1.f), Vector4(0.00039f, 0.f, 0.f, 1.f)));
    // The limit itself, as the comparison computes it near 0, and one float below.
    const float limit = 0.0004f - FLT_EPSILON;
    EXPECT_TRUE(differ(Vector4(0.f, 0.f, 0.f, 1.f), Vector4(0.f, limit, 0.f, 1.f)));
    EXPECT_FALSE(differ(Vector4(0.f, 0.f, 0.f, 1.f), Vector4(0.f, std::nextafter(limit, 0.f), 0.f, 1.f)));
    // Brighter than white, floats are coarser: 8.0004 is stored 0.0003996
    // above 8, still a difference of 0.0004 as typed.
    EXPECT_TRUE(differ(Vector4(8.f, 1.f, 1.f, 1.f), Vector4(8.0004f, 1.f, 1.f, 1.f)));
    EXPECT_FALSE(differ(Vector4(8.f, 1.f, 1.f, 1.f), Vector4(8.0003f, 1.f, 1.f, 1.f)));
}

TEST_F(AtlasTintChecksTest, ReportsATintSwitchedOnInOneLodOnly) {
    SceneryModel awning("buildings", "awning", 3);
    // Without the switch property the colours do not matter.
    awning.lod(0).materials = {
        tinted("n_a", {PropertyLayout::vector4("g_tintColor", Vector4(0, 0, 0, 1))}),
        tinted("n_b", tint(true, Vector4(1, 0, 0, 1)), "shaders/std_effects/PBS_EXT.fx")};
    awning.lod(1).materials = {tinted("n_a", tint(true, Vector4(1, 1, 1, 1))),
                               tinted("n_b", tint(false, Vector4(1, 0, 0, 1)))};
    awning.lod(2).materials = {tinted("n_a", tint(false, Vector4(1, 1, 1, 1))),
                               tinted("n_b", tint(true, Vector4(1, 0, 0, 1)), "other/pbs_ext.fxo")};
    awning.write(tree);
    EXPECT_EQ(findingsOf(check(awning, {126})),
              (Expected{finding("[Wrn. 126] Model '" + awning.path(1) +
                                "' [material 'n_a'] uses Tint color property in lod1 but not in lod0"),
                        finding("[Wrn. 126] Model '" + awning.path(1) +
                                "' [material 'n_b'] uses Tint color property in lod0 but not in lod1")}));
}

TEST_F(AtlasTintChecksTest, ReportsEachTileTintThatDiffers) {
    const auto tiles = [](const Vector4& t1, const Vector4& t2) {
        return std::vector<PropertyLayout>{PropertyLayout::vector4("g_tile1Tint", t1),
                                           PropertyLayout::vector4("g_tile2Tint", t2)};
    };
    const Vector4 grey(0.5f, 0.5f, 0.5f, 1.f), white(1.f, 1.f, 1.f, 1.f);
    SceneryModel wall("buildings", "wall", 3);
    // lod0 has no tile 0 tint, which reads as white.
    wall.lod(0).materials = {tinted("n_a", tiles(white, white), kAtlasShader),
                             tinted("n_b", tint(true, white))};
    wall.lod(1).materials = {tinted("n_a", tiles(grey, grey), kAtlasShader),
                             tinted("n_b", tint(true, grey), kAtlasShader)};
    wall.lod(2).materials = {
        tinted("n_a",
               {PropertyLayout::vector4("g_tile0Tint", white), PropertyLayout::vector4("g_tile2Tint", grey)},
               kAtlasShader),
        tinted("n_b", tint(true, grey), kAtlasShader)};
    wall.write(tree);
    const auto tile = [&](size_t lod, int index) {
        return finding("[Wrn. 126] Model '" + wall.path(lod) +
                       "' [material 'n_a'] has different values of Tile" + std::to_string(index) +
                       " Tint color property in lod0 and lod" + std::to_string(lod));
    };
    // n_b changes its shader between LODs and is compared in neither pass.
    EXPECT_EQ(findingsOf(check(wall, {126})), (Expected{tile(1, 1), tile(1, 2), tile(2, 2)}));
}
