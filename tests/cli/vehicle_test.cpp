#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

#include "cli.h"
#include "engine/core/debug_log.h"
#include "engine/resource/file_system.h"
#include "model_validator/vehicle_validator.h"
#include "support/findings.h"
#include "support/resource_tree.h"
#include "vehicle_samples.h"
#include "workers.h"

using namespace KX;
using namespace KX::ValidatorHelper;

namespace {

const std::string kSamples = KX_SAMPLES_DIR;

struct VehicleFixture : ::testing::Test {
    TempResourceTree tree;
    DebugLog::Capture log;
    VehicleValidator validator;

    void SetUp() override {
        std::string error;
        ASSERT_TRUE(Samples::writeVehicleTextures(tree.root(), &error)) << error;
        tree.write("system/data/material_kinds.xml", "<k><kind><id>20</id><desc>armor_front</desc></"
                                                     "kind><kind><id>21</id><desc>gun</desc></kind></k>");
    }

    void write(const Samples::VehicleSample& vehicle) {
        std::string error;
        ASSERT_TRUE(Samples::writeVehicle(tree.root(), vehicle, &error)) << error;
        tree.refresh();
    }
};

std::string componentOf(const ValidationError& error) {
    return error.category.substr(0, error.category.find('/'));
}

struct CliRun {
    int status = 0;
    std::string out;
    std::string err;
};

CliRun runCli(std::vector<std::string> args) {
    args.insert(args.begin(), "vehicle");
    std::ostringstream out, err;
    CliRun run;
    run.status = Cli::run(args, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

} // namespace

TEST_F(VehicleFixture, FindsTheComponentsOfAVehicleFolder) {
    Samples::VehicleSample vehicle = Samples::cleanVehicle("vehicles/t1");
    // Numbered turrets count, files of other names do not.
    Samples::VehicleModel second = vehicle.model("Turret", "normal");
    second.name = "Turret_02";
    vehicle.models.push_back(second);
    Samples::VehicleModel stray = second;
    stray.name = "Spare";
    vehicle.models.push_back(stray);
    write(vehicle);

    std::vector<std::string> found;
    for (const VehicleValidator::Component& c : validator.findComponents("vehicles/t1")) {
        std::string states;
        for (const std::string& state : c.states) {
            states += " " + state;
        }
        found.push_back(c.name + states + (c.collision.empty() ? "" : " " + c.collision));
    }
    EXPECT_EQ(found, (std::vector<std::string>{
                         "Chassis normal", "Hull normal crash vehicles/t1/collision/Hull.model",
                         "Turret normal", "Turret_02 normal", "Gun normal vehicles/t1/collision/Gun.model"}));
    EXPECT_TRUE(validator.findComponents("vehicles/none").empty());
}

TEST_F(VehicleFixture, TheCleanVehicleIsCleanAndAWheeledOneNeedsTyres) {
    Samples::VehicleSample vehicle = Samples::cleanVehicle("vehicles/t1");
    write(vehicle);
    EXPECT_EQ(findingsOf(validator.check("vehicles/t1/")), std::vector<Finding>{});

    Samples::VehicleModel wheels = vehicle.model("Gun", "normal");
    wheels.name = "Wheels";
    vehicle.models.push_back(wheels);
    write(vehicle);
    std::vector<std::string> shaders;
    for (const ValidationError& e : validator.check("vehicles/t1")) {
        if (e.title == ValidationTitle::CheckShaders) {
            shaders.push_back(componentOf(e) + " " + e.message);
        }
    }
    ASSERT_FALSE(shaders.empty());
    EXPECT_EQ(shaders[0],
              "Chassis [Err. 207] Model 'vehicles/t1/normal/lod0/Chassis.model' has incorrect effect file "
              "for material 'running_gear_01': 'PBS_tank_skinned.fx' instead of ''");
}

TEST_F(VehicleFixture, BonesAreComparedAcrossLodsUnderTheirOwnCode) {
    Samples::VehicleSample vehicle = Samples::cleanVehicle("vehicles/t1");
    Samples::VehicleLod& lod1 = vehicle.model("Turret", "normal").lod(1);
    lod1.nodes[0].children[1].transform.setRow3(3, Vector3(0.f, 0.1f, 0.f));
    write(vehicle);
    const Finding moved{
        "[Wrn. 205] Model 'vehicles/t1/normal/lod1/Turret.model' has different transform value for "
        "node 'V_Turret' from model 'vehicles/t1/normal/lod0/Turret.model'",
        ValidationTitle::CheckHardpointsAndBones, ValidationErrorSeverity::Medium,
        "Turret/Check hardpoints and bones"};
    EXPECT_EQ(findingsOf(validator.check("vehicles/t1")), std::vector<Finding>{moved});
}

TEST(VehicleSamples, EachShowsItsDefectsFiledUnderItsComponents) {
    const std::map<std::string, std::set<int>> madeFor = {
        {"vehicles/clean_tank", {}},           {"vehicles/wrong_links", {201}},
        {"vehicles/odd_extents", {201}},       {"vehicles/empty_visibility_box", {202}},
        {"vehicles/missing_hardpoint", {204}}, {"vehicles/crash_shader", {207}},
        {"vehicles/normal_map_alpha", {206}},  {"vehicles/detail_tiling", {206}},
        {"vehicles/unskinned_gun", {207}},     {"vehicles/mixed_visual_tags", {208}},
        {"vehicles/collision_kinds", {203}},
    };
    DebugLog::Capture log;
    Cli::setUpEngine({kSamples}, "", false);
    const std::set<std::string> components = {"Chassis", "Hull", "Turret", "Gun"};
    std::map<std::string, std::vector<std::string>> messages;
    for (const auto& [folder, codes] : madeFor) {
        VehicleValidator validator;
        std::set<int> shown;
        for (const ValidationError& e : validator.check(folder)) {
            shown.insert(findingCode(e.message));
            messages[folder].push_back(e.message);
            EXPECT_EQ(components.count(componentOf(e)), 1u) << e.category << " " << e.message;
        }
        EXPECT_EQ(shown, codes) << folder;
    }

    const auto has = [&](const std::string& folder, const std::string& message) {
        const std::vector<std::string>& all = messages[folder];
        return std::find(all.begin(), all.end(), message) != all.end();
    };
    EXPECT_TRUE(
        has("vehicles/crash_shader",
            "[Err. 207] Model 'vehicles/crash_shader/crash/lod0/Hull.model' has incorrect effect file for "
            "material 'hull_01': 'PBS_tank.fx' instead of 'PBS_tank_crash.fx'"));
    EXPECT_TRUE(
        has("vehicles/normal_map_alpha",
            "[Err. 206] Alpha enabled for vehicles/normal_map_alpha/normal/lod0/Gun.model, but it normal map "
            "vehicles/maps/vehicle_ANM.dds doesn't have alpha"));
    EXPECT_TRUE(has("vehicles/detail_tiling",
                    "[Err. 206] Model 'vehicles/detail_tiling/normal/lod0/Hull.model' has "
                    "size of g_detailTiling which is 50.0% more than normalMap"));
    EXPECT_TRUE(
        has("vehicles/missing_hardpoint",
            "[Err. 204] Model 'vehicles/missing_hardpoint/normal/lod1/Turret.model' doesn't have node "
            "'HP_gunJoint', that has model 'vehicles/missing_hardpoint/normal/lod0/Turret.model'"));
    EXPECT_TRUE(
        has("vehicles/unskinned_gun",
            "[Wrn. 207] Model 'vehicles/unskinned_gun/normal/lod0/Gun.model' has incorrect vertex format "
            "('xyznuvtb' instead of 'xyznuviiiwwtb') for for material 'gun_01' (effect file: "
            "'PBS_tank_skinned.fx')"));
}

TEST(VehicleCommand, ReportsLikeTheSceneryCommand) {
    const CliRun clean = runCli({"--res", kSamples, "vehicles/clean_tank"});
    EXPECT_EQ(clean.status, 0) << clean.err;
    EXPECT_EQ(clean.out.substr(0, clean.out.find('\n')), "== vehicles/clean_tank (0 findings)");

    const CliRun failing = runCli(
        {"--res", kSamples, "--format", "json", "vehicles/crash_shader", kSamples + "/vehicles/odd_extents"});
    EXPECT_EQ(failing.status, 1) << failing.err;
    EXPECT_NE(
        failing.out.find("{\"model\": \"vehicles/crash_shader\", \"code\": 207, \"severity\": \"high\", "
                         "\"title\": \"CheckShaders\", \"category\": \"Hull/Check shaders\""),
        std::string::npos)
        << failing.out;
    EXPECT_NE(failing.out.find("{\"model\": \"vehicles/odd_extents\", \"code\": 201"), std::string::npos);

    EXPECT_EQ(runCli({"--res", kSamples}).status, 2);
    EXPECT_EQ(runCli({"--res", kSamples, "--format", "xml", "vehicles/clean_tank"}).status, 2);
    EXPECT_EQ(runCli({"--res", kSamples + "/missing", "vehicles/clean_tank"}).status, 3);
    const CliRun empty = runCli({"--res", kSamples, "vehicles/clean_tank", "content/buildings"});
    EXPECT_EQ(empty.status, 3);
    EXPECT_EQ(empty.err,
              "model-validator: 'content/buildings' holds no vehicle component (see docs/formats.md)\n");
    EXPECT_EQ(runCli({"--res", kSamples, "vehicles/gone"}).status, 3);
}

TEST_F(VehicleFixture, DamagedFilesAreNamedOnceWithTheirReason) {
    write(Samples::cleanVehicle("vehicles/t1"));
    tree.write("vehicles/t1/normal/lod1/Hull.visual", "<1Hull.visual/>");
    tree.refresh();
    std::vector<std::string> damaged;
    for (const ValidationError& e : validator.check("vehicles/t1")) {
        if (e.message.find("[Err. 290]") == 0) {
            damaged.push_back(e.message);
        }
    }
    EXPECT_EQ(damaged,
              std::vector<std::string>{"[Err. 290] File 'vehicles/t1/normal/lod1/Hull.visual' cannot be "
                                       "used: not XML: Could not determine tag type at offset 1"});
}
