#include <gtest/gtest.h>

#include <optional>

#include "engine/resource/file_system.h"
#include "support/scenery_fixture.h"
#include "support/test_validator.h"

using namespace KX::ValidatorHelper;

namespace {

using Expected = std::vector<Finding>;
using BoundsChecks = SceneryFixture;

AABB box(float depth) {
    return AABB(Vector3(0, 0, 0), Vector3(10, 1, depth));
}

// A house whose LODs span 10 x 1 x 10 (volume 100); each visual stores the
// given box.
SceneryModel house(const std::vector<AABB>& stored) {
    SceneryModel model("buildings", "house", stored.size());
    model.mesh(AssetWriters::makeBox(Vector3(0, 0, 0), Vector3(10, 1, 10)));
    for (size_t i = 0; i < stored.size(); ++i) {
        model.lod(i).boundingBox = stored[i];
    }
    return model;
}

Finding boxFinding(const std::string& name, const std::string& current, const std::string& stored) {
    return {"[Inf. 3] Model '" + name + "' has current bounding box " + current +
                " and bounding box in the resources " + stored,
            ValidationTitle::Common, ValidationErrorSeverity::Normal, "Common"};
}

const std::string kHouseBox = "(width: 10.000000 height: 1.000000 depth: 10.000000)";

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

} // namespace

TEST_F(BoundsChecks, StoredBoundingBoxesAreComparedByVolume) {
    // 105 is within 5 % of 100, 106 is not.
    const SceneryModel model = house({box(10.5f), box(10.6f), box(10.f), box(10.f)}).write(tree);
    // lod2 loses its stored box, lod3 its visual.
    ASSERT_TRUE(AssetWriters::writeVisual(
        tree.path(model.base(2) + ".visual"),
        AssetWriters::VisualLayout::withMaterials({sceneryMaterial("n_stone_01")})));
    tree.remove(model.base(3) + ".visual");

    EXPECT_EQ(
        findingsOf(check(model, {3})),
        (Expected{
            boxFinding(model.base(1), kHouseBox, "(width: 10.000000 height: 1.000000 depth: 10.600000)"),
            boxFinding(model.base(2), kHouseBox, "(width: 0.000000 height: 0.000000 depth: 0.000000)"),
            {"[Err. 3] Can not open visual for '" + model.path(3) + "'", ValidationTitle::Common,
             ValidationErrorSeverity::High, "Common"},
        }));
}

TEST_F(BoundsChecks, FlatModelsHaveNoVolumeToCompare) {
    // Every vertex lies in the plane y = 0.
    SceneryModel tile("props", "tile");
    tile.mesh(AssetWriters::makeBox(Vector3(0, 0, 0), Vector3(2, 0, 2)));
    tile.write(tree);
    EXPECT_TRUE(check(tile, {3}).empty());

    tile.lod(0).boundingBox = AABB(Vector3::zero(), Vector3::zero());
    tile.write(tree);
    EXPECT_TRUE(check(tile, {3}).empty());

    // Against a stored volume the difference is unbounded.
    tile.lod(0).boundingBox = AABB(Vector3(0, 0, 0), Vector3(2, 1, 2));
    tile.write(tree);
    EXPECT_EQ(findingsOf(check(tile, {3})),
              Expected{boxFinding(tile.base(), "(width: 2.000000 height: 0.000000 depth: 2.000000)",
                                  "(width: 2.000000 height: 1.000000 depth: 2.000000)")});
}

TEST_F(BoundsChecks, UnloadableModelEndsTheBoundingBoxStep) {
    const SceneryModel model = house({box(20.f), box(20.f)}).write(tree);
    tree.remove(model.base(0) + ".primitives");

    EXPECT_EQ(findingsOf(check(model, {3})),
              (Expected{{"[Err. 3] Can get super model", ValidationTitle::Common,
                         ValidationErrorSeverity::High, "Common"}}));
}

TEST_F(BoundsChecks, VisibilityBoxAgainstVisualBoundingBox) {
    const std::string dir = "vehicles/tank/normal/lod0/";
    writePart(tree, dir + "Hull.model", box(10.f), box(12.f));    // 100 and 120: within 20 %
    writePart(tree, dir + "Turret.model", box(10.f), box(12.1f)); // 121
    writePart(tree, dir + "Chassis.model", std::nullopt, std::nullopt);
    // Inside out counts as empty whatever its corners.
    writePart(tree, dir + "Gun.model", AABB(Vector3(1, 0, 0), Vector3(0, 1, 10)), box(10.f));
    writePart(tree, dir + "Wheel.model", box(10.f), box(10.f));
    tree.remove(dir + "Wheel.visual");

    TestVehicleValidator vehicle;
    vehicle.style = "winter";
    for (const char* part : {"Hull", "Turret", "Chassis", "Gun", "Wheel", "Track"}) {
        vehicle.checkVisibilityBox(dir + part + ".model", 9);
    }
    // Collision models and non-model files are not examined; the folder name is case-sensitive.
    for (const char* path :
         {"vehicles/tank/collision/Hull.model", "vehicles/tank/collision_client/Hull.model",
          "vehicles/tank/normal/lod0/Hull.visual", "vehicles/tank/Collision/Hull.model"}) {
        vehicle.checkVisibilityBox(path, 9);
    }
    EXPECT_EQ(
        messagesOf(vehicle.getErrors()),
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
    for (const ValidationError& error : vehicle.getErrors()) {
        EXPECT_EQ(error.title, ValidationTitle::CheckVisibilityBox);
        EXPECT_EQ(error.category, "winter/Check visibility box");
    }
}
