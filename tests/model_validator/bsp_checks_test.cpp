#include <gtest/gtest.h>

#include "engine/resource/file_system.h"
#include "engine/settings/options.h"
#include "model_validator/path_helpers.h"
#include "support/scenery_fixture.h"
#include "support/test_validator.h"

using namespace KX::ValidatorHelper;

namespace {

using Expected = std::vector<Finding>;
using BspChecks = SceneryFixture;

// `count` separate triangles side by side.
AssetWriters::Mesh triangleRow(size_t count) {
    AssetWriters::Mesh mesh;
    for (size_t i = 0; i < count; ++i) {
        const float x = static_cast<float>(i);
        for (const Vector3& corner : {Vector3(x, 0, 0), Vector3(x + 1, 0, 0), Vector3(x, 1, 0)}) {
            mesh.indices.indices.push_back(static_cast<uint32_t>(mesh.vertices.positions.size()));
            mesh.vertices.positions.push_back(corner);
            mesh.vertices.normals.push_back(Vector3(0, 0, 1));
            mesh.vertices.uvs.push_back(Vector2(0, 0));
        }
    }
    return mesh;
}

// A collision tree over the first `count` triangles of the mesh, stone with
// the given collision flags.
std::vector<WorldTriangle> firstTriangles(const AssetWriters::Mesh& mesh, size_t count,
                                          uint32_t flags = 255) {
    std::vector<WorldTriangle> triangles = AssetWriters::collisionTriangles(mesh, {12u}, {flags});
    triangles.resize(count);
    return triangles;
}

// A primitives file with the mesh and, when `bspTriangles` is not 0, a tree as above.
void writePrimitives(TempResourceTree& tree, const std::string& path, const AssetWriters::Mesh& mesh,
                     size_t bspTriangles, uint32_t flags = 255) {
    AssetWriters::PrimitivesWriter writer;
    writer.mesh(mesh);
    if (bspTriangles > 0) {
        writer.bsp(firstTriangles(mesh, bspTriangles, flags), {"n_stone_01"});
    }
    std::string error;
    ASSERT_TRUE(writer.write(tree.path(path), &error)) << error;
    tree.refresh();
}

const Finding kT1{"[Wrn. 11] The number of triangles in the BSP of an object is 25% more than the number of "
                  "triangles in LOD_0.",
                  ValidationTitle::Common, ValidationErrorSeverity::Medium, "Common"};

Finding t2(int lod) {
    return {"[Wrn. 135] The number of triangles in BSP of a collision object in LOD_" + std::to_string(lod) +
                " is not equal to LOD_0",
            ValidationTitle::Common, ValidationErrorSeverity::Medium, "Common"};
}

} // namespace

TEST_F(BspChecks, Lod0BspMayHoldAQuarterOfTheTriangles) {
    SceneryModel house("buildings", "house");
    house.mesh(triangleRow(1000));
    house.lod(0).bsp = firstTriangles(house.lod(0).mesh, 250);
    house.write(tree);
    EXPECT_TRUE(check(house, {11}).empty());

    house.lod(0).bsp = firstTriangles(house.lod(0).mesh, 251);
    house.write(tree);
    EXPECT_EQ(findingsOf(check(house, {11})), Expected{kT1});
}

TEST_F(BspChecks, CollidingLodsMustMatchLod0Bsp) {
    SceneryModel house("buildings", "house", 4);
    const AssetWriters::Mesh mesh = triangleRow(100);
    house.mesh(mesh);
    house.lod(0).bsp = firstTriangles(mesh, 20);
    house.lod(1).bsp = firstTriangles(mesh, 10, 0); // cannot collide
    house.lod(2).bsp = firstTriangles(mesh, 10);
    house.lod(3).bsp = firstTriangles(mesh, 20);
    house.write(tree);
    EXPECT_EQ(findingsOf(check(house, {135})), Expected{t2(2)});
    EXPECT_TRUE(check(house, {11}).empty());

    // Without a lod0 tree every colliding LOD differs from it.
    house.lod(0).bsp.clear();
    house.write(tree);
    EXPECT_EQ(findingsOf(check(house, {135})), (Expected{t2(2), t2(3)}));
}

TEST_F(BspChecks, RealmCopiesMustCarryTheSourceBsp) {
    const std::vector<std::string>& realms = KX::PathHelpers::realmCodes();
    ASSERT_EQ(realms.size(), 10u);
    // Realm copies may lie in another root than their source.
    TempResourceTree otherRoot;
    FS::fileSystem()->setRoots({tree.root(), otherRoot.root()});
    const AssetWriters::Mesh mesh = triangleRow(40);
    SceneryModel house("buildings", "house", 2);
    house.mesh(mesh);
    house.lod(0).bsp = firstTriangles(mesh, 10);
    // lod1's own file has no tree, so its realm copy is not compared.
    house.write(tree);
    writePrimitives(tree, KX::PathHelpers::realmPrimitivesPath(house.base(1) + ".primitives", realms[3]),
                    mesh, 7);

    // lod0 takes its geometry from a shared primitives file.
    AssetWriters::VisualLayout visual =
        AssetWriters::VisualLayout::withMaterials({{"n_stone_01", "", 12u, 255u, {}}});
    visual.primitivesName = "shared/rocks/Rock";
    ASSERT_TRUE(AssetWriters::writeVisual(tree.path(house.base(0) + ".visual"), visual));
    const std::string rock = "shared/rocks/Rock.primitives";
    writePrimitives(tree, rock, mesh, 10);
    // The copies of the shared file all lie in the other root, one spelled in other letter case.
    writePrimitives(otherRoot, KX::PathHelpers::realmPrimitivesPath(rock, realms[0]), mesh, 10);
    writePrimitives(otherRoot, "shared/rocks/ROCK." + realms[1] + ".primitives", mesh, 9);
    writePrimitives(otherRoot, KX::PathHelpers::realmPrimitivesPath(rock, realms[8]), mesh, 0);
    writePrimitives(otherRoot, KX::PathHelpers::realmPrimitivesPath(rock, realms[9]), mesh, 3, 0);
    // Not the file lod0 uses.
    writePrimitives(tree, KX::PathHelpers::realmPrimitivesPath(house.base(0) + ".primitives", realms[2]),
                    mesh, 5);

    auto t3 = [&](const std::string& realm) {
        return Finding{"[Err. 138] The number of triangles in BSP of the source primitive file " + rock +
                           " is not equal to the realm primitive file " +
                           KX::PathHelpers::realmPrimitivesPath(rock, realm),
                       ValidationTitle::Common, ValidationErrorSeverity::High, "Common"};
    };
    EXPECT_EQ(findingsOf(check(house, {138})), (Expected{t3(realms[1]), t3(realms[9])}));
}

TEST_F(BspChecks, RealmCopiesOfPrimitivesNamedByDiskPath) {
    const std::vector<std::string>& realms = KX::PathHelpers::realmCodes();
    const AssetWriters::Mesh mesh = triangleRow(40);
    SceneryModel house("buildings", "house", 1);
    house.mesh(mesh);
    house.write(tree);
    AssetWriters::VisualLayout visual =
        AssetWriters::VisualLayout::withMaterials({{"n_stone_01", "", 12u, 255u, {}}});
    visual.primitivesName = tree.path("shared/rocks/Rock");
    ASSERT_TRUE(AssetWriters::writeVisual(tree.path(house.base(0) + ".visual"), visual));
    writePrimitives(tree, "shared/rocks/Rock.primitives", mesh, 10);
    writePrimitives(tree, KX::PathHelpers::realmPrimitivesPath("shared/rocks/Rock.primitives", realms[2]),
                    mesh, 4);
    const std::string rock = tree.path("shared/rocks/Rock.primitives");
    EXPECT_EQ(findingsOf(check(house, {138})),
              (Expected{Finding{"[Err. 138] The number of triangles in BSP of the source primitive file " +
                                    rock + " is not equal to the realm primitive file " +
                                    KX::PathHelpers::realmPrimitivesPath(rock, realms[2]),
                                ValidationTitle::Common, ValidationErrorSeverity::High, "Common"}}));
}

TEST_F(BspChecks, CollisionMaterialsNameKnownKinds) {
    tree.write("system/data/material_kinds.xml", "<root><kind><id>1</id><desc>armor_front</desc></kind>"
                                                 "<kind><id>2</id><desc>gun</desc></kind></root>");
    auto writeCollisionModel = [&](const std::string& modelPath,
                                   const std::vector<AssetWriters::MaterialLayout>& materials) {
        const std::string base = FS::Utils::removeExtension(modelPath);
        AssetWriters::ModelLayout model;
        model.visual = base;
        ASSERT_TRUE(AssetWriters::writeModel(tree.path(modelPath), model));
        ASSERT_TRUE(AssetWriters::writeVisual(tree.path(base + ".visual"),
                                              AssetWriters::VisualLayout::withMaterials(materials)));
        tree.refresh();
    };
    writeCollisionModel("vehicles/tank/collision/Hull.model", {{"armor_front", "", 1u, 255u, {}},
                                                               {"Armor_Front", "", 1u, 255u, {}},
                                                               {"gun", "", 99u, 255u, {}},
                                                               {"armor_x", "", std::nullopt, 255u, {}}});
    writeCollisionModel("vehicles/tank/collision_crash/Turret.model", {{"gunx", "", 2u, 255u, {}}});
    writeCollisionModel("vehicles/tank/Collision/Gun.model", {{"gun", "", 99u, 255u, {}}});
    writeCollisionModel("vehicles/tank/normal/lod0/Hull.model", {{"gun", "", 99u, 255u, {}}});

    TestVehicleValidator vehicle;
    vehicle.setup();
    vehicle.style = "winter";
    for (const char* path :
         {"vehicles/tank/collision/Hull.model", "vehicles/tank/collision_crash/Turret.model",
          "vehicles/tank/Collision/Gun.model", "vehicles/tank/normal/lod0/Hull.model",
          "vehicles/tank/collision/Hull.visual", "vehicles/tank/collision_client/Chassis.model"}) {
        vehicle.checkCollisionModel(path, 21);
    }
    EXPECT_EQ(
        messagesOf(vehicle.getErrors()),
        (std::vector<std::string>{
            "[Err. 21] Collision model 'Hull.model' has material identifier 'Armor_Front' different from "
            "desc "
            "'armor_front' from system/data/material_kinds.xml\n",
            "[Err. 21] Collision model 'Hull.model' has unknown materialKind '99', which isn't listed in "
            "system/data/material_kinds.xml\n",
            "[Err. 21] Collision model 'Hull.model' has unknown materialKind '0', which isn't listed in "
            "system/data/material_kinds.xml\n",
            "[Err. 21] Collision model 'Turret.model' has material identifier 'gunx' different from desc "
            "'gun' "
            "from system/data/material_kinds.xml\n",
            "[Err. 21] vehicles/tank/collision_client/Chassis.model: can't find .visual file for this model",
        }));
    for (const ValidationError& error : vehicle.getErrors()) {
        EXPECT_EQ(error.title, ValidationTitle::CheckMaterialKind);
        EXPECT_EQ(error.severity, ValidationErrorSeverity::High);
        EXPECT_EQ(error.category, "winter/Check material kind");
    }
}

TEST_F(BspChecks, RealmCopiesAreComparedWithTheSourceWhateverTheCurrentRealm) {
    const std::vector<std::string>& realms = KX::PathHelpers::realmCodes();
    const AssetWriters::Mesh mesh = triangleRow(40);
    SceneryModel house("buildings", "house");
    house.mesh(mesh);
    house.lod(0).bsp = firstTriangles(mesh, 10);
    house.write(tree);
    const std::string source = house.base(0) + ".primitives";
    const std::string sameCopy = KX::PathHelpers::realmPrimitivesPath(source, realms[0]);
    const std::string currentCopy = KX::PathHelpers::realmPrimitivesPath(source, realms[4]);
    writePrimitives(tree, sameCopy, mesh, 10);
    writePrimitives(tree, currentCopy, mesh, 6);
    // The resource layer now resolves the source path to the current realm's copy.
    Options::setOptionString("realm/currentRealm", realms[4]);

    const Finding differs{"[Err. 138] The number of triangles in BSP of the source primitive file " + source +
                              " is not equal to the realm primitive file " + currentCopy,
                          ValidationTitle::Common, ValidationErrorSeverity::High, "Common"};
    EXPECT_EQ(findingsOf(check(house, {138})), Expected{differs});
}
