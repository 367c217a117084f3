#include <gtest/gtest.h>

#include "engine/model/material_property_helper.h"
#include "engine/render/effect_manager.h"
#include "support/scenery_fixture.h"
#include "support/test_validator.h"

using namespace KX::ValidatorHelper;
using AssetWriters::MaterialLayout;

namespace {

using Expected = std::vector<Finding>;

constexpr int kCode = 7;

AssetWriters::Mesh meshWithFormat(int bones, int weights, bool tangents) {
    AssetWriters::Mesh mesh = AssetWriters::makeBox(Vector3(0, 0, 0), Vector3(1, 1, 1));
    VertexData& v = mesh.vertices;
    v.bonesPerVertex = bones;
    v.weightsPerVertex = weights;
    v.boneIndices.assign(v.size() * static_cast<size_t>(bones), 0);
    v.boneWeights.assign(v.size() * static_cast<size_t>(weights), 0);
    if (tangents) {
        AssetWriters::addTangentFrames(mesh);
    }
    return mesh;
}

// Vertex stages that read a struct from an include chain, or plain inputs.
const std::string kTechnique = "technique T { pass P { VertexShader = compile vs_3_0 mainVS(); } }\n";
const std::string kBumpedEffect = "#include \"inputs/bumped_inputs.fxh\"\n"
                                  "float4 mainVS(VsIn input) : POSITION { return 0; }\n" +
                                  kTechnique;
const std::string kBumpedInputs =
    "#include \"base.fxh\"\n"
    "struct VsIn { BaseIn base; float3 t : TANGENT0; float3 b : BINORMAL0; };\n";
const std::string kBaseInputs = "struct BaseIn { float3 pos : POSITION; float3 n : NORMAL; };\n";
const std::string kFlatEffect =
    "float4 mainVS(float3 pos : POSITION, float3 n : NORMAL) : POSITION { return 0; }\n" + kTechnique;
const std::string kTangentOnlyEffect =
    "float4 mainVS(float3 pos : POSITION, float3 t : TANGENT) : POSITION { return 0; }\n" + kTechnique;

struct VertexFormatChecksTest : SceneryFixture {
    TestVehicleValidator v;

    void SetUp() override {
        v.style = "Hull";
        tree.write("shaders/bumped.fx", kBumpedEffect);
        tree.write("shaders/inputs/bumped_inputs.fxh", kBumpedInputs);
        tree.write("shaders/inputs/base.fxh", kBaseInputs);
        tree.write("shaders/flat.fx", kFlatEffect);
        tree.write("shaders/tangent_only.fx", kTangentOnlyEffect);
    }
    void TearDown() override { EffectManager::instance().clear(); }

    // Writes a one-material model and checks its material as a vehicle validator does.
    std::vector<Finding> checkMaterial(const std::string& model, const std::string& fx,
                                       const AssetWriters::Mesh& mesh) {
        AssetWriters::SimpleModelLayout layout;
        layout.mesh = mesh;
        layout.materials = {MaterialLayout{"m", fx, 12u, 0u, {}}};
        layout.collision = false;
        std::string error;
        EXPECT_TRUE(AssetWriters::writeSimpleModel(tree.root(), model, layout, &error)) << error;
        tree.refresh();
        v.clear();
        const DataSectionPtr visual = TestVehicleValidator::checkAndOpenVisualSectionForModelName(model);
        for (const DataSectionPtr& material : MaterialPropertyHelper::getMaterialsFromVisual(visual)) {
            v.checkVertexFormat(model, visual, material, kCode);
        }
        return findingsOf(v.getErrors());
    }
};

Finding wrongFormat(const std::string& model, const std::string& found, const std::string& required,
                    const std::string& fxName) {
    return {"[Wrn. 7] Model '" + model + "' has incorrect vertex format ('" + found + "' instead of '" +
                required + "') for for material 'm' (effect file: '" + fxName + "')",
            ValidationTitle::CheckShaders, ValidationErrorSeverity::Medium, "Hull/Check shaders"};
}

Finding bumped(const std::string& model) {
    return {"[Err. 127] Geometry is using a bumped material 'm' without having bumped information generated. "
            "Model: \"" +
                model + "\"\n",
            ValidationTitle::CheckShaders, ValidationErrorSeverity::High, "Hull/Check shaders"};
}

const std::string kHull = "vehicles/tank/normal/lod0/Hull.model";
const std::string kSkinned = "shaders/std_effects/PBS_tank_skinned.fx";

} // namespace

TEST_F(VertexFormatChecksTest, RequiresTheFormatTheEffectNames) {
    EXPECT_EQ(checkMaterial(kHull, kSkinned, meshWithFormat(3, 2, true)), Expected{});
    EXPECT_EQ(checkMaterial(kHull, kSkinned, meshWithFormat(0, 0, true)),
              Expected{wrongFormat(kHull, "xyznuvtb", "xyznuviiiwwtb", "PBS_tank_skinned.fx")});

    // Physics models carry one bone index and no weights.
    const std::string havok = "vehicles/tank/normal/lod0/havok/Hull__m.hkt.model";
    EXPECT_EQ(checkMaterial(havok, kSkinned, meshWithFormat(1, 0, true)), Expected{});
    EXPECT_EQ(checkMaterial(havok, kSkinned, meshWithFormat(3, 2, true)),
              Expected{wrongFormat(havok, "xyznuviiiwwtb", "xyznuvitb", "PBS_tank_skinned.fx")});

    // Light-only skinning needs no tangents, but only when the name starts with it.
    EXPECT_EQ(checkMaterial(kHull, "shaders/lightonly_skinned.fx", meshWithFormat(3, 2, false)), Expected{});
    EXPECT_EQ(checkMaterial(kHull, "shaders/my_lightonly_skinned.fx", meshWithFormat(3, 2, false)),
              Expected{wrongFormat(kHull, "xyznuviiiww", "xyznuviiiwwtb", "my_lightonly_skinned.fx")});
    EXPECT_EQ(checkMaterial(kHull, "shaders/PBS_Skinned.fx", meshWithFormat(3, 2, true)),
              Expected{wrongFormat(kHull, "xyznuviiiwwtb", "xyznuvtb", "PBS_Skinned.fx")});

    // Without an effect there is nothing to require.
    EXPECT_EQ(checkMaterial(kHull, "", meshWithFormat(0, 0, false)), Expected{});
}

TEST_F(VertexFormatChecksTest, ReportsEffectsReadingTangentsOnGeometryWithout) {
    const AssetWriters::Mesh flat = meshWithFormat(0, 0, false);
    EXPECT_EQ(checkMaterial(kHull, "shaders/bumped.fx", flat),
              (Expected{wrongFormat(kHull, "xyznuv", "xyznuvtb", "bumped.fx"), bumped(kHull)}));
    EXPECT_EQ(checkMaterial(kHull, "shaders/flat.fx", flat),
              Expected{wrongFormat(kHull, "xyznuv", "xyznuvtb", "flat.fx")});
    EXPECT_EQ(checkMaterial(kHull, "shaders/tangent_only.fx", flat),
              Expected{wrongFormat(kHull, "xyznuv", "xyznuvtb", "tangent_only.fx")});
    EXPECT_EQ(checkMaterial(kHull, "shaders/bumped.fx", meshWithFormat(0, 0, true)), Expected{});

    // The skinned format is wrong here, but the geometry has tangents.
    EXPECT_EQ(checkMaterial(kHull, "shaders/bumped_skinned.fx", meshWithFormat(0, 0, true)),
              Expected{wrongFormat(kHull, "xyznuvtb", "xyznuviiiwwtb", "bumped_skinned.fx")});
}

TEST_F(VertexFormatChecksTest, ReadsTheVerticesThePrimitivesNameGives) {
    // The visual draws from shared.primitives, which has tangents; the
    // primitives file named like the visual has none.
    SceneryModel lamp("props", "lamp");
    lamp.lod(0).mesh = meshWithFormat(0, 0, false);
    lamp.write(tree);
    EXPECT_EQ(check(lamp, {101}).size(), 1u);

    AssetWriters::VisualLayout visual =
        AssetWriters::VisualLayout::withMaterials({sceneryMaterial("n_stone_01", 12)});
    visual.primitivesName = "content/props/lamp/shared";
    std::string error;
    ASSERT_TRUE(AssetWriters::writeVisual(tree.path(lamp.base() + ".visual"), visual, &error)) << error;
    ASSERT_TRUE(AssetWriters::PrimitivesWriter()
                    .mesh(meshWithFormat(0, 0, true))
                    .write(tree.path("content/props/lamp/shared.primitives"), &error))
        << error;
    tree.refresh();
    EXPECT_TRUE(check(lamp, {101}).empty());
}

TEST_F(VertexFormatChecksTest, CancellingStopsBetweenLods) {
    SceneryModel lamp("props", "lamp", 2);
    lamp.mesh(meshWithFormat(0, 0, false)).write(tree);
    ASSERT_EQ(check(lamp, {101}).size(), 2u);
    validator.setCancelCallBack([this] { return !withCodes(validator.getErrors(), {101}).empty(); });
    EXPECT_EQ(
        messagesOf(check(lamp, {101})),
        std::vector<std::string>{"[Wrn. 101] Model '" + lamp.path(0) +
                                 "' has incorrect vertex format ('xyznuv' instead of 'xyznuvtb') for for "
                                 "material 'n_stone_01' (effect file: 'PBS_ext.fx')"});
}
