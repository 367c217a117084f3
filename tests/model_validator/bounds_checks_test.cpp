#include <gtest/gtest.h>

#include <optional>

#include "engine/asset_writers/geometry_writer.h"
#include "engine/core/debug_log.h"
#include "engine/resource/file_system.h"
#include "findings_by_code.h"
#include "model_validator/model_validator.h"
#include "support/resource_tree.h"
#include "support/test_validator.h"

using namespace KX::ValidatorHelper;

namespace {

std::string houseLod(int lod) {
    return "content/buildings/house01/normal/lod" + std::to_string(lod) + "/house.model";
}

std::string houseLodName(int lod) {
    return FS::Utils::removeExtension(houseLod(lod));
}

// A LOD of the house whose mesh spans 10 x 1 x 10 (volume 100) and whose
// visual stores `stored` as its bounding box.
void writeHouseLod(TempResourceTree& tree, int lod, const AABB& stored, int lastLod) {
    AssetWriters::SimpleModelLayout layout;
    layout.mesh = AssetWriters::makeBox(Vector3(0, 0, 0), Vector3(10, 1, 10));
    layout.boundingBox = stored;
    if (lod < lastLod) {
        layout.parent = houseLod(lod + 1);
    }
    std::string error;
    ASSERT_TRUE(AssetWriters::writeSimpleModel(tree.root(), houseLod(lod), layout, &error)) << error;
    tree.refresh();
}

std::string boxesText(const char* dimensions) {
    return std::string(
               "(width: 10.000000 height: 1.000000 depth: 10.000000) and bounding box in the resources ") +
           dimensions;
}

// A vehicle part: a model file with an optional visibility box and a visual
// with an optional bounding box.
void writePart(TempResourceTree& tree, const std::string& modelPath, std::optional<AABB> visibility,
               std::optional<AABB> bounds) {
    const std::string base = FS::Utils::removeExtension(modelPath);
    AssetWriters::ModelLayout model;
    model.visual = base;
    model.visibilityBox = visibility;
    AssetWriters::VisualLayout visual;
    visual.boundingBox = bounds;
    ASSERT_TRUE(AssetWriters::writeModel(tree.path(modelPath), model));
    ASSERT_TRUE(AssetWriters::writeVisual(tree.path(base + ".visual"), visual));
    tree.refresh();
}

AABB box(float depth) {
    return AABB(Vector3(0, 0, 0), Vector3(10, 1, depth));
}

} // namespace

TEST(BoundsChecks, StoredBoundingBoxesAreComparedByVolume) {
    TempResourceTree tree;
    DebugLog::Capture quiet;
    writeHouseLod(tree, 0, box(10.5f), 3); // 105: within 5 %
    writeHouseLod(tree, 1, box(10.6f), 3); // 106
    writeHouseLod(tree, 2, box(10.f), 3);
    writeHouseLod(tree, 3, box(10.f), 3);
    // lod2 loses its stored box, lod3 its visual.
    ASSERT_TRUE(AssetWriters::writeVisual(
        tree.path(houseLodName(2) + ".visual"),
        AssetWriters::VisualLayout::withMaterials({{"n_stone_01", "", 0u, 0u, {}}})));
    tree.remove(houseLodName(3) + ".visual");

    KX::ModelValidator validator;
    validator.check(houseLod(0));
    EXPECT_EQ(messagesOf(withCodes(validator.getErrors(), {3})),
              (std::vector<std::string>{
                  "[Inf. 3] Model '" + houseLodName(1) + "' has current bounding box " +
                      boxesText("(width: 10.000000 height: 1.000000 depth: 10.600000)"),
                  "[Inf. 3] Model '" + houseLodName(2) + "' has current bounding box " +
                      boxesText("(width: 0.000000 height: 0.000000 depth: 0.000000)"),
                  "[Err. 3] Can not open visual for '" + houseLod(3) + "'",
              }));
    for (const ValidationError& error : withCodes(validator.getErrors(), {3})) {
        EXPECT_EQ(error.title, ValidationTitle::Common);
        EXPECT_EQ(error.category, "Common");
    }
}

TEST(BoundsChecks, UnloadableModelEndsTheBoundingBoxStep) {
    TempResourceTree tree;
    DebugLog::Capture quiet;
    writeHouseLod(tree, 0, box(20.f), 1);
    writeHouseLod(tree, 1, box(20.f), 1);
    tree.remove(houseLodName(0) + ".primitives");

    KX::ModelValidator validator;
    validator.check(houseLod(0));
    EXPECT_EQ(messagesOf(withCodes(validator.getErrors(), {3})),
              (std::vector<std::string>{"[Err. 3] Can get super model"}));
}

TEST(BoundsChecks, VisibilityBoxAgainstVisualBoundingBox) {
    TempResourceTree tree;
    DebugLog::Capture quiet;
    const std::string dir = "vehicles/tank/normal/lod0/";
    writePart(tree, dir + "Hull.model", box(10.f), box(12.f));    // 100 and 120: within 20 %
    writePart(tree, dir + "Turret.model", box(10.f), box(12.1f)); // 121
    writePart(tree, dir + "Chassis.model", std::nullopt, std::nullopt);
    // Inside out counts as empty whatever its corners.
    writePart(tree, dir + "Gun.model", AABB(Vector3(1, 0, 0), Vector3(0, 1, 10)), box(10.f));
    writePart(tree, dir + "Wheel.model", box(10.f), box(10.f));
    tree.remove(dir + "Wheel.visual");

    TestVehicleValidator validator;
    validator.style = "winter";
    for (const char* part : {"Hull", "Turret", "Chassis", "Gun", "Wheel", "Track"}) {
        validator.checkVisibilityBox(dir + part + ".model", 9);
    }
    // Collision models and non-model files are not examined; the folder name is case-sensitive.
    for (const char* path :
         {"vehicles/tank/collision/Hull.model", "vehicles/tank/collision_client/Hull.model",
          "vehicles/tank/normal/lod0/Hull.visual", "vehicles/tank/Collision/Hull.model"}) {
        validator.checkVisibilityBox(path, 9);
    }
    EXPECT_EQ(
        messagesOf(validator.getErrors()),
        (std::vector<std::string>{
            "[Err. 9] Model '" + dir +
                "Turret' has different bounding box (width: 10.000000 height: 1.000000 depth: 12.100000) and "
                "visibility box (width: 10.000000 height: 1.000000 depth: 10.000000)",
            "[Wrn. 9] Model '" + dir + "Chassis' has empty visibility box",
            "[Wrn. 9] Model '" + dir + "Chassis' has empty bounding box",
            "[Wrn. 9] Model '" + dir + "Gun' has empty visibility box",
            "[Err. 9] Can not open '" + dir + "Wheel.visual'",
            "[Err. 9] Can not open '" + dir + "Track.model'",
            "[Err. 9] Can not open 'vehicles/tank/Collision/Hull.model'",
        }));
    for (const ValidationError& error : validator.getErrors()) {
        EXPECT_EQ(error.title, ValidationTitle::CheckVisibilityBox);
        EXPECT_EQ(error.category, "winter/Check visibility box");
    }
}
