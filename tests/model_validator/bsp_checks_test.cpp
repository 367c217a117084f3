#include <gtest/gtest.h>

#include "engine/asset_writers/geometry_writer.h"
#include "engine/core/debug_log.h"
#include "engine/resource/file_system.h"
#include "findings_by_code.h"
#include "model_validator/model_validator.h"
#include "model_validator/path_helpers.h"
#include "support/resource_tree.h"
#include "support/test_validator.h"

using namespace KX::ValidatorHelper;

namespace {

std::string houseLod(int lod) {
    return "content/buildings/house01/normal/lod" + std::to_string(lod) + "/house.model";
}

std::string houseBase(int lod) {
    return FS::Utils::removeExtension(houseLod(lod));
}

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

// A primitives file with the mesh and, when `bspTriangles` is not 0, a BSP
// over the first `bspTriangles` triangles with the given collision flags.
void writePrimitives(TempResourceTree& tree, const std::string& path, const AssetWriters::Mesh& mesh,
                     size_t bspTriangles, uint32_t flags) {
    AssetWriters::PrimitivesWriter writer;
    writer.mesh(mesh);
    if (bspTriangles > 0) {
        std::vector<WorldTriangle> triangles = AssetWriters::collisionTriangles(mesh, {12u}, {flags});
        triangles.resize(bspTriangles);
        writer.bsp(std::move(triangles), {"n_stone_01"});
    }
    std::string error;
    ASSERT_TRUE(writer.write(tree.path(path), &error)) << error;
    tree.refresh();
}

// A LOD of the house with a mesh of `meshTriangles`; its BSP as above.
void writeHouseLod(TempResourceTree& tree, int lod, int lastLod, size_t meshTriangles, size_t bspTriangles,
                   uint32_t flags = 255) {
    AssetWriters::SimpleModelLayout layout;
    layout.mesh = triangleRow(meshTriangles);
    layout.collision = false;
    if (lod < lastLod) {
        layout.parent = houseLod(lod + 1);
    }
    std::string error;
    ASSERT_TRUE(AssetWriters::writeSimpleModel(tree.root(), houseLod(lod), layout, &error)) << error;
    writePrimitives(tree, houseBase(lod) + ".primitives", layout.mesh, bspTriangles, flags);
}

std::vector<std::string> checkHouse(int code) {
    KX::ModelValidator validator;
    validator.check(houseLod(0));
    return messagesOf(withCodes(validator.getErrors(), {code}));
}

const std::string kT1 =
    "[Wrn. 11] The number of triangles in the BSP of an object is 25% more than the number of "
    "triangles in LOD_0.";

std::string t2(int lod) {
    return "[Wrn. 135] The number of triangles in BSP of a collision object in LOD_" + std::to_string(lod) +
           " is not equal to LOD_0";
}

} // namespace

TEST(BspChecks, Lod0BspMayHoldAQuarterOfTheTriangles) {
    TempResourceTree tree;
    DebugLog::Capture quiet;
    writeHouseLod(tree, 0, 0, 1000, 250);
    EXPECT_TRUE(checkHouse(11).empty());

    writeHouseLod(tree, 0, 0, 1000, 251);
    EXPECT_EQ(checkHouse(11), std::vector<std::string>{kT1});
}

TEST(BspChecks, CollidingLodsMustMatchLod0Bsp) {
    TempResourceTree tree;
    DebugLog::Capture quiet;
    writeHouseLod(tree, 0, 3, 100, 20);
    writeHouseLod(tree, 1, 3, 100, 10, 0); // cannot collide
    writeHouseLod(tree, 2, 3, 100, 10);
    writeHouseLod(tree, 3, 3, 100, 20);
    EXPECT_EQ(checkHouse(135), std::vector<std::string>{t2(2)});
    EXPECT_TRUE(checkHouse(11).empty());

    // Without a lod0 tree every colliding LOD differs from it.
    writeHouseLod(tree, 0, 3, 100, 0);
    EXPECT_EQ(checkHouse(135), (std::vector<std::string>{t2(2), t2(3)}));
}

TEST(BspChecks, RealmCopiesMustCarryTheSourceBsp) {
    TempResourceTree tree;
    DebugLog::Capture quiet;
    const std::vector<std::string>& realms = KX::PathHelpers::realmCodes();
    ASSERT_EQ(realms.size(), 10u);
    const AssetWriters::Mesh mesh = triangleRow(40);

    // lod0 takes its geometry from a shared primitives file.
    writeHouseLod(tree, 0, 1, 40, 10);
    AssetWriters::VisualLayout visual =
        AssetWriters::VisualLayout::withMaterials({{"n_stone_01", "", 12u, 255u, {}}});
    visual.primitivesName = "shared/rocks/Rock";
    ASSERT_TRUE(AssetWriters::writeVisual(tree.path(houseBase(0) + ".visual"), visual));
    const std::string rock = "shared/rocks/Rock.primitives";
    writePrimitives(tree, rock, mesh, 10, 255);
    writePrimitives(tree, KX::PathHelpers::realmPrimitivesPath(rock, realms[0]), mesh, 10, 255);
    writePrimitives(tree, KX::PathHelpers::realmPrimitivesPath(rock, realms[1]), mesh, 9, 255);
    writePrimitives(tree, KX::PathHelpers::realmPrimitivesPath(rock, realms[8]), mesh, 0, 255);
    writePrimitives(tree, KX::PathHelpers::realmPrimitivesPath(rock, realms[9]), mesh, 3, 0);
    // Not the file lod0 uses.
    writePrimitives(tree, KX::PathHelpers::realmPrimitivesPath(houseBase(0) + ".primitives", realms[2]), mesh,
                    5, 255);
    // lod1's own file has no tree, so its realm copy is not compared.
    writeHouseLod(tree, 1, 1, 40, 0);
    writePrimitives(tree, KX::PathHelpers::realmPrimitivesPath(houseBase(1) + ".primitives", realms[3]), mesh,
                    7, 255);

    auto t3 = [&](const std::string& realm) {
        return "[Err. 138] The number of triangles in BSP of the source primitive file " + rock +
               " is not equal to the realm primitive file " +
               KX::PathHelpers::realmPrimitivesPath(rock, realm);
    };
    EXPECT_EQ(checkHouse(138), (std::vector<std::string>{t3(realms[1]), t3(realms[9])}));
}

TEST(BspChecks, CollisionMaterialsNameKnownKinds) {
    TempResourceTree tree;
    DebugLog::Capture quiet;
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

    TestVehicleValidator validator;
    validator.setup();
    validator.style = "winter";
    for (const char* path :
         {"vehicles/tank/collision/Hull.model", "vehicles/tank/collision_crash/Turret.model",
          "vehicles/tank/Collision/Gun.model", "vehicles/tank/normal/lod0/Hull.model",
          "vehicles/tank/collision/Hull.visual", "vehicles/tank/collision_client/Chassis.model"}) {
        validator.checkCollisionModel(path, 21);
    }
    EXPECT_EQ(
        messagesOf(validator.getErrors()),
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
    for (const ValidationError& error : validator.getErrors()) {
        EXPECT_EQ(error.title, ValidationTitle::CheckMaterialKind);
        EXPECT_EQ(error.category, "winter/Check material kind");
    }
}
