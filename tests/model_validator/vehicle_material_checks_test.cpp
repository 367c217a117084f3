#include <gtest/gtest.h>

#include "engine/asset_writers/geometry_writer.h"
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

constexpr int kCode = 207;
using Props = std::vector<PropertyLayout>;

Finding finding(const std::string& text, ValidationTitle title, const std::string& titleText,
                ValidationErrorSeverity severity = ValidationErrorSeverity::High) {
    static const char* prefixes[] = {"", "Inf.", "Wrn.", "Err."};
    return {std::string("[") + prefixes[static_cast<int>(severity)] + " 207] " + text, title, severity,
            "Gun/" + titleText};
}

Finding detailFinding(const std::string& text,
                      ValidationErrorSeverity severity = ValidationErrorSeverity::High) {
    return finding(text, ValidationTitle::CheckDetailSettings, "Check detail settings", severity);
}

Finding shaderFinding(const std::string& text,
                      ValidationErrorSeverity severity = ValidationErrorSeverity::High) {
    return finding(text, ValidationTitle::CheckShaders, "Check shaders", severity);
}

struct VehicleMaterialChecksTest : ::testing::Test {
    TempResourceTree tree;
    DebugLog::Capture log;
    TestVehicleValidator v;

    void SetUp() override { v.style = "Gun"; }

    // The detail-map findings of one material of `modelPath`'s visual. The
    // material always has a property: materials without any are skipped.
    std::vector<Finding> details(TankComponentType type, const std::string& modelPath, Props props) {
        props.push_back(PropertyLayout::boolean("alphaTestEnable", false));
        const std::string visualPath = FS::Utils::removeExtension(modelPath) + ".visual";
        tree.write(visualPath,
                   AssetWriters::visualXml(AssetWriters::VisualLayout::withMaterials(
                                               {{"gun_01", "shaders/PBS_tank.fx", {}, {}, props}}),
                                           "x"));
        tree.refresh();
        v.clear();
        v.checkMaterials(type, modelPath,
                         MaterialPropertyHelper::getMaterialsFromVisual(FS::Utils::openSection(visualPath)),
                         kCode);
        std::vector<ValidationError> found;
        for (const ValidationError& e : v.getErrors()) {
            if (e.title == ValidationTitle::CheckDetailSettings) {
                found.push_back(e);
            }
        }
        return findingsOf(found);
    }

    // Writes a component model whose materials use these identifiers and
    // effects, then runs the effect check on it.
    std::vector<ValidationError>
    shaders(const std::string& modelPath, const std::vector<std::pair<std::string, std::string>>& materials,
            const AssetWriters::Mesh& mesh = sceneryBox(Vector3(-1, 0, -1), Vector3(1, 1, 1))) {
        AssetWriters::SimpleModelLayout layout;
        layout.mesh = mesh;
        layout.materials.clear();
        for (const auto& [identifier, fx] : materials) {
            layout.materials.push_back(
                {identifier, fx, {}, {}, {PropertyLayout::boolean("alphaTestEnable", false)}});
        }
        AssetWriters::splitGroups(layout.mesh, materials.size());
        std::string error;
        EXPECT_TRUE(AssetWriters::writeSimpleModel(tree.root(), modelPath, layout, &error)) << error;
        tree.refresh();
        v.clear();
        v.checkMaterial(modelPath, kCode);
        return v.getErrors();
    }
};

const std::string kUseDetail = MaterialPropertyHelper::useDetail;
const std::string kDetailMap = MaterialPropertyHelper::normalMapTexture;
const std::string kTiling = MaterialPropertyHelper::tiling;
const std::string kSharedDetailMap = "vehicles/russian/tank_detail/details_map.dds";

} // namespace

TEST_F(VehicleMaterialChecksTest, DetailMapsBelongToTheNearLodsOfIntactComponents) {
    const std::string lod2 = "vehicles/t1/normal/lod2/Gun.model";
    const Props detailOn{PropertyLayout::boolean(kUseDetail, true),
                         PropertyLayout::texture(kDetailMap, kSharedDetailMap)};
    const Props detailOff{PropertyLayout::boolean(kUseDetail, false)};
    EXPECT_EQ(
        details(TankComponentType::Gun, lod2, detailOn),
        std::vector<Finding>{detailFinding("Model '" + lod2 + "' should not have 'g_useDetail' property")});
    EXPECT_EQ(details(TankComponentType::Gun, lod2, detailOff), std::vector<Finding>{});
    EXPECT_EQ(details(TankComponentType::Gun, lod2, {}), std::vector<Finding>{});
    // Loose parts always carry details, and so does the destroyed chassis, not the destroyed hull.
    EXPECT_EQ(details(TankComponentType::Other, lod2, detailOff),
              std::vector<Finding>{
                  detailFinding("Model '" + lod2 + "' should have 'g_useDetail' property = true")});
    const std::string crashChassis = "vehicles/t1/crash/lod0/Chassis.model";
    const std::string crashHull = "vehicles/t1/crash/lod1/Hull.model";
    EXPECT_EQ(details(TankComponentType::Chassis, crashChassis, {}),
              std::vector<Finding>{
                  detailFinding("Model '" + crashChassis + "' should have 'g_useDetail' property = true")});
    EXPECT_EQ(details(TankComponentType::Hull, crashHull, detailOn),
              std::vector<Finding>{
                  detailFinding("Model '" + crashHull + "' should not have 'g_useDetail' property")});
    EXPECT_EQ(details(TankComponentType::Gun, "vehicles/t1/normal/lod1/Gun.model", detailOn),
              std::vector<Finding>{});
}

TEST_F(VehicleMaterialChecksTest, DetailMaterialsNameTheSharedDetailMap) {
    const std::string lod0 = "vehicles/t1/normal/lod0/Gun.model";
    const PropertyLayout on = PropertyLayout::boolean(kUseDetail, true);
    EXPECT_EQ(details(TankComponentType::Gun, lod0, {on}),
              std::vector<Finding>{detailFinding("Model '" + lod0 +
                                                 "' has incorrect value for property "
                                                 "'g_useDetail'=true, but has no 'g_detailMap' property")});
    EXPECT_EQ(details(TankComponentType::Gun, lod0, {on, PropertyLayout::texture(kDetailMap, "")}),
              std::vector<Finding>{
                  detailFinding("Model '" + lod0 + "' should have non-empty 'g_detailMap' texture")});
    EXPECT_EQ(
        details(TankComponentType::Gun, lod0,
                {on, PropertyLayout::texture(kDetailMap, "Vehicles/Russian/Tank_Detail/Details_Map.dds")}),
        std::vector<Finding>{});
    // A wrong map is named as written, also when the detail is switched off.
    EXPECT_EQ(details(TankComponentType::Gun, lod0,
                      {PropertyLayout::boolean(kUseDetail, false),
                       PropertyLayout::texture(kDetailMap, "Maps/Mine.dds")}),
              (std::vector<Finding>{
                  detailFinding("Model '" + lod0 + "' should have 'g_useDetail' property = true"),
                  detailFinding("Model '" + lod0 +
                                "' has incorrect value for property 'g_detailMap': Maps/Mine.dds, "
                                "but has to be: vehicles/russian/tank_detail/details_map.dds")}));
}

TEST_F(VehicleMaterialChecksTest, DetailTilingFollowsTheNormalMap) {
    const std::string lod0 = "vehicles/t1/normal/lod0/Gun.model";
    // 512 texels of normal map: the detail map repeats twice.
    writeTexture(tree, "vehicles/t1/maps/gun_ANM.dds", {512, 512, Render::RF_R8_UNORM, 1});
    const auto tiled = [&](std::optional<Vector4> tiling) {
        Props props{PropertyLayout::boolean(kUseDetail, true),
                    PropertyLayout::texture(kDetailMap, kSharedDetailMap),
                    PropertyLayout::texture("normalMap", "vehicles/t1/maps/gun_ANM.dds")};
        if (tiling) {
            props.push_back(PropertyLayout::vector4(kTiling, *tiling));
        }
        return details(TankComponentType::Gun, lod0, props);
    };
    const auto off = [&](const std::string& percent, ValidationErrorSeverity severity) {
        return std::vector<Finding>{detailFinding(
            "Model '" + lod0 + "' has size of g_detailTiling which is " + percent + "% more than normalMap",
            severity)};
    };
    EXPECT_EQ(tiled(Vector4(2.f, 2.f, 0.f, 0.f)), std::vector<Finding>{});
    EXPECT_EQ(tiled(Vector4(2.6f, 2.4f, 0.f, 0.f)), std::vector<Finding>{});
    EXPECT_EQ(tiled(Vector4(2.6f, 2.6f, 0.f, 0.f)), off("30.0", ValidationErrorSeverity::Medium));
    EXPECT_EQ(tiled(Vector4(2.6f, 3.f, 0.f, 0.f)), off("50.0", ValidationErrorSeverity::High));
    EXPECT_EQ(tiled(Vector4(3.f, 2.6f, 0.f, 0.f)), off("50.0", ValidationErrorSeverity::High));
    EXPECT_EQ(tiled(Vector4(1.f, 1.f, 0.f, 0.f)), off("50.0", ValidationErrorSeverity::High));
    EXPECT_EQ(tiled(std::nullopt),
              std::vector<Finding>{detailFinding("Model '" + lod0 + "' has no property g_detailTiling")});
}

TEST_F(VehicleMaterialChecksTest, EffectFilesFollowComponentStateAndMaterial) {
    const auto wrongEffect = [](const std::vector<ValidationError>& errors) {
        return findingsOf(ofKind(errors, Findings::IncorrectEffectFile.kind));
    };
    const std::string chassis = "vehicles/t1/normal/lod0/Chassis.model";
    EXPECT_EQ(wrongEffect(shaders(
                  chassis, {{"track_mat_L_skinned", "shaders/custom/PBS_tank_uvtransform_skinned_ao.fx"},
                            {"chassis_01", "shaders/PBS_tank_skinned.fx"}})),
              std::vector<Finding>{});
    EXPECT_EQ(wrongEffect(shaders(chassis, {{"track_mat_L_skinned", "shaders/PBS_tank_skinned.fx"}})),
              std::vector<Finding>{shaderFinding("Model '" + chassis +
                                                 "' has incorrect effect file for material "
                                                 "'track_mat_L_skinned': 'PBS_tank_skinned.fx' instead of "
                                                 "'PBS_tank_uvtransform_skinned_ao.fx'")});

    const std::string crashHull = "vehicles/t1/crash/lod0/Hull.model";
    EXPECT_EQ(
        wrongEffect(shaders(crashHull, {{"hull_inside_01", "PBS_tank.fx"}, {"hull_01", "PBS_tank.fx"}})),
        std::vector<Finding>{shaderFinding("Model '" + crashHull +
                                           "' has incorrect effect file for material "
                                           "'hull_01': 'PBS_tank.fx' instead of 'PBS_tank_crash.fx'")});

    // A wheeled chassis knows its two materials only.
    v.wheeledVehicle(true);
    EXPECT_EQ(wrongEffect(shaders(chassis, {{"tank_tire_01_skinned", "PBS_wheel_skinned.fx"},
                                            {"chassis_01", "PBS_tank_skinned.fx"}})),
              std::vector<Finding>{shaderFinding("Model '" + chassis +
                                                 "' has incorrect effect file for material "
                                                 "'chassis_01': 'PBS_tank_skinned.fx' instead of ''")});
    const std::string crashChassis = "vehicles/t1/crash/lod0/Chassis.model";
    EXPECT_EQ(wrongEffect(shaders(crashChassis, {{"tank_chassis_01_skinned", "PBS_tank_skinned_crash.fx"},
                                                 {"tank_tire_01_skinned", "PBS_wheel_skinned.fx"}})),
              std::vector<Finding>{shaderFinding("Model '" + crashChassis +
                                                 "' has incorrect effect file for material "
                                                 "'tank_tire_01_skinned': 'PBS_wheel_skinned.fx' instead of "
                                                 "'PBS_wheel_skinned_crash.fx'")});

    // Models of no known component, and missing models, are not judged.
    EXPECT_TRUE(shaders("vehicles/t1/normal/lod0/Wheels.model", {{"chassis_01", "other.fx"}}).empty());
    v.clear();
    v.checkMaterial("vehicles/t1/normal/lod0/Gone_Gun.model", kCode);
    EXPECT_TRUE(v.getErrors().empty());
    const std::string noVisual = "vehicles/t1/normal/lod0/Gun.model";
    tree.write(noVisual, "<Gun.model><nodelessVisual>vehicles/t1/x</nodelessVisual></Gun.model>");
    tree.refresh();
    v.checkMaterial(noVisual, kCode);
    EXPECT_EQ(findingsOf(v.getErrors()),
              std::vector<Finding>{shaderFinding(noVisual + ": can't find .visual file for this model")});
}

TEST_F(VehicleMaterialChecksTest, TheRightEffectLeadsToTheVertexFormatCheck) {
    const std::string hull = "vehicles/t1/normal/lod0/Hull.model";
    AssetWriters::Mesh flat = AssetWriters::makeBox(Vector3(-1, 0, -1), Vector3(1, 1, 1));
    EXPECT_EQ(
        findingsOf(shaders(hull, {{"hull_01", "PBS_tank.fx"}}, flat)),
        std::vector<Finding>{shaderFinding("Model '" + hull +
                                               "' has incorrect vertex format ('xyznuv' instead "
                                               "of 'xyznuvtb') for for material 'hull_01' (effect file: "
                                               "'PBS_tank.fx')",
                                           ValidationErrorSeverity::Medium)});
    EXPECT_TRUE(findingsOf(shaders(hull, {{"hull_01", "PBS_tank_crash.fx"}}, flat)).size() == 1);
}
