#include <gtest/gtest.h>

#include "engine/asset_writers/geometry_writer.h"
#include "engine/core/debug_log.h"
#include "findings_by_code.h"
#include "support/resource_tree.h"
#include "support/test_validator.h"

using KX::ModelValidator;
using namespace KX::ValidatorHelper;

namespace {

using Messages = std::vector<std::string>;

AssetWriters::MaterialLayout material(const std::string& identifier, const std::string& fx, unsigned kind,
                                      unsigned collisionFlags, bool withProperty = true) {
    AssetWriters::MaterialLayout layout{identifier, fx, kind, collisionFlags, {}};
    if (withProperty) {
        layout.properties.push_back(
            AssetWriters::PropertyLayout::texture("diffuseMap", "content/shared/rock_AM.dds"));
    }
    return layout;
}

WorldTriangle triangle(float x, uint32_t kind, uint32_t flags) {
    return WorldTriangle(Vector3(x, 0.f, 0.f), Vector3(x + 1.f, 0.f, 0.f), Vector3(x, 1.f, 0.f), 0, kind,
                         flags);
}

struct ModelChecksTest : ::testing::Test {
    TempResourceTree tree;
    DebugLog::Capture log;
    ModelValidator v;

    void writeModel(const std::string& path, const AssetWriters::SimpleModelLayout& layout) {
        std::string error;
        ASSERT_TRUE(AssetWriters::writeSimpleModel(tree.root(), path, layout, &error)) << error;
        tree.refresh();
    }

    void writeModel(const std::string& path, const std::vector<AssetWriters::MaterialLayout>& materials,
                    const std::string& parent = "") {
        AssetWriters::SimpleModelLayout layout;
        layout.materials = materials;
        layout.parent = parent;
        writeModel(path, layout);
    }

    // Replaces the collision tree of a model written by writeModel.
    void writeCollision(const std::string& modelBase, std::vector<WorldTriangle> triangles,
                        const std::string& materialId) {
        AssetWriters::SimpleModelLayout layout;
        std::string error;
        ASSERT_TRUE(AssetWriters::PrimitivesWriter()
                        .mesh(layout.mesh)
                        .bsp(std::move(triangles), {materialId})
                        .write(tree.path(modelBase + ".primitives"), &error))
            << error;
        tree.refresh();
    }

    Messages findings(const std::string& path, std::initializer_list<int> codes) {
        return messagesOf(withCodes(v.check(path), codes));
    }
};

} // namespace

TEST_F(ModelChecksTest, SkyBoxShadersBelongInTheSkyBoxFolder) {
    const auto skyBox = material("sky", "shaders/custom/Sky_Box.fx", 0, 0);
    writeModel("content/maps/skyboxes/sky01/normal/lod0/sky.model", {skyBox});
    EXPECT_TRUE(findings("content/maps/skyboxes/sky01/normal/lod0/sky.model", {2}).empty());

    // The folder test is case-sensitive; identical findings of two materials merge.
    const std::string lod0 = "content/Maps/SkyBoxes/sky01/normal/lod0/sky.model";
    const std::string lod1 = "content/Maps/SkyBoxes/sky01/normal/lod1/sky.model";
    writeModel(lod0, {skyBox, skyBox}, lod1);
    writeModel(lod1, {skyBox});
    const auto errors = withCodes(v.check(lod0), {2});
    EXPECT_EQ(
        messagesOf(errors),
        (Messages{
            "[Err. 2] Model '" + lod0 +
                "' uses 'sky_box.fx'. SkyBox shader can be used only in models from 'maps/skyboxes/'",
            "[Err. 2] Model '" + lod1 +
                "' uses 'sky_box.fx'. SkyBox shader can be used only in models from 'maps/skyboxes/'"}));
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors[0].category, "Common");

    // A material without properties is not looked at.
    writeModel("content/props/lamp/normal/lod0/lamp.model",
               {material("glow", "shaders/custom/sky_box.fx", 0, 0, false)});
    EXPECT_TRUE(findings("content/props/lamp/normal/lod0/lamp.model", {2}).empty());
}

TEST_F(ModelChecksTest, ReportsAVisualPathWithACaseTypo) {
    if (!diskIsCaseSensitive(tree.root())) {
        GTEST_SKIP() << "the disk does not tell letter cases apart";
    }
    const std::string model = "content/props/crate/normal/lod0/crate.model";
    writeModel(model, {material("n_wood", "shaders/std_effects/PBS_ext.fx", 0, 0)});
    EXPECT_TRUE(findings(model, {123}).empty());

    tree.write(model, "<root><nodelessVisual>content/props/crate/normal/lod0/Crate</nodelessVisual></root>");
    EXPECT_EQ(
        findings(model, {123}),
        Messages{"[Wrn. 123] Visual path 'content/props/crate/normal/lod0/Crate.visual' has a case-sensitive "
                 "typo. Right path is:'content/props/crate/normal/lod0/crate.visual'."});
}

TEST_F(ModelChecksTest, CountsFullyCollidingTrianglesOfTheMaterialsKind) {
    const std::string model = "content/props/rock01/normal/lod0/rock.model";
    writeModel(model, {material("n_stone", "shaders/std_effects/PBS_ext.fx", 12, 255)});

    writeCollision("content/props/rock01/normal/lod0/rock", {triangle(0, 12, 255), triangle(2, 13, 255)},
                   "n_stone");
    EXPECT_TRUE(findings(model, {1}).empty());

    writeCollision("content/props/rock01/normal/lod0/rock",
                   {triangle(0, 12, 255), triangle(2, 12, 255), triangle(4, 12, 1), triangle(6, 13, 255)},
                   "n_stone");
    EXPECT_EQ(findings(model, {1}),
              Messages{"[Wrn. 1] Model '" + model +
                       "' has 'n_stone' material with BSP containing 2 triangle(s)(more "
                       "than 1)"});
}

TEST_F(ModelChecksTest, AsksWhetherWoodenFencePartsNeedCollisions) {
    // 256 leaves the low eight collision bits empty.
    const std::string fence = "content/buildings/GatesAndFences/fence01/normal/lod0/fence.model";
    writeModel(fence, {material("n_wood_fence", "shaders/std_effects/PBS_ext.fx", 0, 256)});
    EXPECT_EQ(findings(fence, {129}), Messages{"[Wrn. 129] Please check, if the fence '" + fence +
                                               "' needs the 'All Collisions' flag"});

    writeModel(fence, {material("n_wood_fence", "shaders/std_effects/PBS_ext.fx", 0, 1)});
    EXPECT_TRUE(findings(fence, {129}).empty());

    const std::string shed = "content/buildings/shed01/normal/lod0/shed.model";
    writeModel(shed, {material("n_wood_wall", "shaders/std_effects/PBS_ext.fx", 0, 0)});
    EXPECT_TRUE(findings(shed, {129}).empty());
}

TEST_F(ModelChecksTest, AsksTheEngineWhetherTheLodSetIsSane) {
    const std::string lod0 = "content/props/barrel/normal/lod0/barrel.model";
    const std::string lod1 = "content/props/barrel/normal/lod1/barrel.model";
    AssetWriters::SimpleModelLayout near;
    near.parent = lod1;
    near.extent = 50.f;
    writeModel(lod0, near);
    AssetWriters::SimpleModelLayout far;
    writeModel(lod1, far);
    EXPECT_TRUE(findings(lod0, {9}).empty());

    far.nodes[0].children.push_back({"HP_extra", Matrix::identity(), {}});
    writeModel(lod1, far);
    const auto errors = withCodes(v.check(lod0), {9});
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].message,
              "[Inf. 9] The node trees of the model's LODs do not match: the LODs cannot be "
              "switched safely");
    EXPECT_EQ(errors[0].category, "Check other");
}

TEST_F(ModelChecksTest, ValidatesTheDecorTypeOfTheFirstLod) {
    const std::string model = "content/props/bush/normal/lod0/bush.model";
    auto decorFindings = [&](unsigned decor) {
        AssetWriters::SimpleModelLayout layout;
        layout.decorative = decor;
        writeModel(model, layout);
        return findings(model, {151, 152});
    };
    EXPECT_TRUE(decorFindings(0).empty());
    EXPECT_TRUE(decorFindings(0x8).empty());
    EXPECT_EQ(decorFindings(504), Messages{"[Wrn. 151] Setted all decor presets: " + model});
    EXPECT_EQ(decorFindings(1024), Messages{"[Wrn. 152] Invalid decor type (1024): " + model});
}
