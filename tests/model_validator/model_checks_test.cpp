#include <gtest/gtest.h>

#include "engine/model/visual_path.h"
#include "support/scenery_fixture.h"

using namespace KX::ValidatorHelper;

namespace {

using Expected = std::vector<Finding>;
using ModelChecksTest = SceneryFixture;

AssetWriters::MaterialLayout withShader(AssetWriters::MaterialLayout material, const std::string& fx) {
    material.fx = fx;
    return material;
}

WorldTriangle triangle(float x, uint32_t kind, uint32_t flags) {
    return WorldTriangle(Vector3(x, 0.f, 0.f), Vector3(x + 1.f, 0.f, 0.f), Vector3(x, 1.f, 0.f), 0, kind,
                         flags);
}

Finding skyBoxShaderFinding(const std::string& model, const std::string& shader) {
    return {"[Err. 2] Model '" + model + "' uses '" + shader +
                "'. SkyBox shader can be used only in models from 'maps/skyboxes/'",
            ValidationTitle::Common, ValidationErrorSeverity::High, "Common"};
}

} // namespace

TEST_F(ModelChecksTest, SkyBoxShadersBelongInTheSkyBoxFolder) {
    const auto skyBox = withShader(sceneryMaterial("sky"), "shaders/custom/Sky_Box.fx");
    const SceneryModel sky = SceneryModel("maps/skyboxes", "sky").materials({skyBox}).write(tree);
    EXPECT_TRUE(check(sky, {2}).empty());

    // The folder test is case-sensitive; identical findings of two materials merge.
    SceneryModel misplaced("Maps/SkyBoxes", "sky", 2);
    misplaced.materials({skyBox}).lod(0).materials = {skyBox, skyBox};
    misplaced.write(tree);
    EXPECT_EQ(findingsOf(check(misplaced, {2})),
              (Expected{skyBoxShaderFinding(misplaced.path(0), "sky_box.fx"),
                        skyBoxShaderFinding(misplaced.path(1), "sky_box.fx")}));

    // A material without properties is not looked at.
    auto glow = withShader(sceneryMaterial("glow"), "shaders/custom/sky_box.fx");
    glow.properties.clear();
    const SceneryModel lamp = SceneryModel("props", "lamp").materials({glow}).write(tree);
    EXPECT_TRUE(check(lamp, {2}).empty());
}

TEST_F(ModelChecksTest, CancellingDuringTheMaterialsStopsTheModelCheck) {
    // Three materials, three distinct findings; the lod0 tree of every
    // triangle also breaks the quarter rule, which checkModel checks last.
    SceneryModel lamp("props", "lamp");
    lamp.materials({withShader(sceneryMaterial("a"), "shaders/sky_box_a.fx"),
                    withShader(sceneryMaterial("b"), "shaders/sky_box_b.fx"),
                    withShader(sceneryMaterial("c"), "shaders/sky_box_c.fx")})
        .collisionFromMesh()
        .write(tree);
    EXPECT_EQ(findingsOf(check(lamp, {2})), (Expected{skyBoxShaderFinding(lamp.path(), "sky_box_a.fx"),
                                                      skyBoxShaderFinding(lamp.path(), "sky_box_b.fx"),
                                                      skyBoxShaderFinding(lamp.path(), "sky_box_c.fx")}));
    EXPECT_EQ(check(lamp, {11}).size(), 1u);

    // Cancelled once the first material has been reported: nothing more comes.
    validator.setCancelCallBack([this] { return !withCodes(validator.getErrors(), {2}).empty(); });
    EXPECT_EQ(findingsOf(check(lamp.path())), Expected{skyBoxShaderFinding(lamp.path(), "sky_box_a.fx")});
}

TEST_F(ModelChecksTest, ReportsAVisualPathWithACaseTypo) {
    if (!diskIsCaseSensitive(tree.root())) {
        GTEST_SKIP() << "the disk does not tell letter cases apart";
    }
    const SceneryModel crate = SceneryModel("props", "crate").write(tree);
    EXPECT_TRUE(check(crate, {123}).empty());

    tree.write(crate.path(),
               "<root><nodelessVisual>content/props/crate/normal/lod0/Crate</nodelessVisual></root>");
    EXPECT_EQ(findingsOf(check(crate, {123})),
              (Expected{{"[Wrn. 123] Visual path 'content/props/crate/normal/lod0/Crate.visual' has a "
                         "case-sensitive typo. Right path is:'content/props/crate/normal/lod0/crate.visual'.",
                         ValidationTitle::Common, ValidationErrorSeverity::Medium, "Common"}}));
}

TEST_F(ModelChecksTest, ANodefullVisualWinsOverANodelessOne) {
    // The nodeless visual is clean; the nodefull one uses a sky box shader.
    const SceneryModel clean = SceneryModel("props", "clean").write(tree);
    const SceneryModel sky = SceneryModel("props", "sky")
                                 .materials({withShader(sceneryMaterial("sky"), "shaders/sky_box.fx")})
                                 .write(tree);
    const std::string model = "content/props/both/normal/lod0/both.model";
    tree.write(model, "<root><nodelessVisual>" + clean.base() + "</nodelessVisual><nodefullVisual>" +
                          sky.base() + "</nodefullVisual></root>");
    EXPECT_EQ(Utilities::getVisualPath(model), sky.base() + ".visual");
    EXPECT_EQ(findingsOf(check(model, {2})), Expected{skyBoxShaderFinding(model, "sky_box.fx")});
}

TEST_F(ModelChecksTest, CountsFullyCollidingTrianglesOfTheMaterialsKind) {
    SceneryModel rock("props", "rock");
    rock.materials({sceneryMaterial("n_stone", 12, 255)});
    rock.lod(0).bsp = {triangle(0, 12, 255), triangle(2, 13, 255)};
    rock.write(tree);
    EXPECT_TRUE(check(rock, {1}).empty());

    rock.lod(0).bsp = {triangle(0, 12, 255), triangle(2, 12, 255), triangle(4, 12, 1), triangle(6, 13, 255)};
    rock.write(tree);
    EXPECT_EQ(findingsOf(check(rock, {1})),
              (Expected{{"[Wrn. 1] Model '" + rock.path() +
                             "' has 'n_stone' material with BSP containing 2 triangle(s)(more than 1)",
                         ValidationTitle::Common, ValidationErrorSeverity::Medium, "Common"}}));
}

TEST_F(ModelChecksTest, AsksWhetherWoodenFencePartsNeedCollisions) {
    // 256 leaves the low eight collision bits empty.
    SceneryModel fence("buildings/GatesAndFences", "fence");
    fence.materials({sceneryMaterial("n_wood_fence", 0, 256)}).write(tree);
    EXPECT_EQ(findingsOf(check(fence, {129})),
              (Expected{{"[Wrn. 129] Please check, if the fence '" + fence.path() +
                             "' needs the 'All Collisions' flag",
                         ValidationTitle::Common, ValidationErrorSeverity::Medium, "Common"}}));

    fence.materials({sceneryMaterial("n_wood_fence", 0, 1)}).write(tree);
    EXPECT_TRUE(check(fence, {129}).empty());

    const SceneryModel shed =
        SceneryModel("buildings", "shed").materials({sceneryMaterial("n_wood_wall", 0, 0)}).write(tree);
    EXPECT_TRUE(check(shed, {129}).empty());
}

TEST_F(ModelChecksTest, AsksTheEngineWhetherTheLodSetIsSane) {
    SceneryModel barrel("props", "barrel", 2);
    barrel.write(tree);
    EXPECT_TRUE(check(barrel, {9}).empty());

    barrel.lod(1).nodes[0].children.push_back({"HP_extra", Matrix::identity(), {}});
    barrel.write(tree);
    EXPECT_EQ(findingsOf(check(barrel, {9})),
              (Expected{{"[Inf. 9] The node trees of the model's LODs do not match: the LODs cannot be "
                         "switched safely",
                         ValidationTitle::CheckOther, ValidationErrorSeverity::Normal, "Check other"}}));
}

TEST_F(ModelChecksTest, ValidatesTheDecorTypeOfTheFirstLod) {
    SceneryModel bush("props", "bush", 2);
    auto decorFindings = [&](unsigned decor) {
        bush.lod(0).decorative = decor;
        bush.write(tree);
        return findingsOf(check(bush, {151, 152}));
    };
    EXPECT_TRUE(decorFindings(0).empty());
    EXPECT_TRUE(decorFindings(0x8).empty());
    EXPECT_EQ(decorFindings(504),
              (Expected{{"[Wrn. 151] Setted all decor presets: " + bush.path(), ValidationTitle::CheckOther,
                         ValidationErrorSeverity::Medium, "Check other"}}));
    EXPECT_EQ(decorFindings(1024),
              (Expected{{"[Wrn. 152] Invalid decor type (1024): " + bush.path(), ValidationTitle::CheckOther,
                         ValidationErrorSeverity::Medium, "Check other"}}));
    // Only the first LOD's value counts.
    bush.lod(0).decorative = 0;
    bush.lod(1).decorative = 1024;
    bush.write(tree);
    EXPECT_TRUE(check(bush, {151, 152}).empty());
}
