#include <gtest/gtest.h>

#include "engine/asset_writers/geometry_writer.h"
#include "engine/core/debug_log.h"
#include "engine/model/model_constants.h"
#include "engine/model/super_model.h"
#include "engine/resource/file_system.h"
#include "support/resource_tree.h"

using namespace AssetWriters;

namespace {

const std::string kLod0 = "content/x/house01/normal/lod0/house.model";
const std::string kLod1 = "content/x/house01/normal/lod1/house.model";
const std::string kLod2 = "content/x/house01/normal/lod2/house.model";

MaterialLayout stone() {
    MaterialLayout m{"n_stone_01", "shaders/std_effects/PBS_ext.fx", 12u, 255u, {}};
    m.properties = {PropertyLayout::texture("diffuseMap", "content/x/house01/house_AM.dds"),
                    PropertyLayout::texture("normalMap", ""), PropertyLayout::boolean("g_useTintColor", true),
                    PropertyLayout::vector4("g_atlasSizes", Vector4(4, 2, 0, 0))};
    return m;
}

// Three LODs: lod0 (extent 50) -> lod1 (120) -> lod2 (no extent, infinite).
void writeChain(TempResourceTree& tree, SimpleModelLayout lod0, SimpleModelLayout lod1,
                SimpleModelLayout lod2) {
    lod0.parent = kLod1;
    lod1.parent = kLod2;
    std::string error;
    ASSERT_TRUE(writeSimpleModel(tree.root(), kLod0, lod0, &error)) << error;
    ASSERT_TRUE(writeSimpleModel(tree.root(), kLod1, lod1, &error)) << error;
    ASSERT_TRUE(writeSimpleModel(tree.root(), kLod2, lod2, &error)) << error;
}

SimpleModelLayout withExtent(std::optional<float> extent) {
    SimpleModelLayout layout;
    layout.extent = extent;
    layout.nodes = {
        NodeLayout{"Scene Root", Matrix::identity(), {NodeLayout{"HP_module_1", Matrix::identity(), {}}}}};
    return layout;
}

} // namespace

TEST(GeometryModel, ModelsOfOneVisualShareItsMaterialsUntilTheVisualChanges) {
    TempResourceTree tree;
    SimpleModelLayout layout;
    layout.mesh = makeBox(Vector3(-1, 0, -1), Vector3(1, 1, 1));
    layout.materials = {stone()};
    ASSERT_TRUE(writeSimpleModel(tree.root(), kLod0, layout));
    const SuperModel first(kLod0);
    const SuperModel second(kLod0);
    ASSERT_TRUE(second.isLoaded()) << second.loadError();
    EXPECT_EQ(second.getMaterials().getMaterial("n_stone_01"),
              first.getMaterials().getMaterial("n_stone_01"));

    // Saved again before the next check: the model is built from what the file holds now.
    layout.materials = {MaterialLayout{"n_wood_01", "shaders/std_effects/PBS_ext.fx", 40u, 0u, {}}};
    ASSERT_TRUE(writeSimpleModel(tree.root(), kLod0, layout));
    FS::fileSystem()->refresh();
    EXPECT_EQ(SuperModel(kLod0).getMaterials().identifiers(), std::vector<std::string>{"n_wood_01"});
    EXPECT_EQ(first.getMaterials().identifiers(), std::vector<std::string>{"n_stone_01"});
}

TEST(GeometryModel, SuperModelCountsTrianglesBoundsAndMaterials) {
    TempResourceTree tree;
    SimpleModelLayout layout;
    Mesh mesh = makeBox(Vector3(-2, 0, -1), Vector3(2, 3, 1));
    // A vertex no triangle uses must not widen the box; the first vertex,
    // used by a triangle, alone sets its lower corner.
    mesh.vertices.positions.emplace_back(100.f, 100.f, 100.f);
    mesh.vertices.positions[0] = Vector3(-7, -8, -9);
    mesh.vertices.normals.emplace_back();
    mesh.vertices.uvs.emplace_back();
    layout.mesh = mesh;
    layout.materials = {stone(), MaterialLayout{"n_wood_01", "shaders/std_effects/PBS_ext.fx", 40u, 0u, {}}};
    ASSERT_TRUE(writeSimpleModel(tree.root(), kLod0, layout));

    const SuperModel model(kLod0);
    ASSERT_TRUE(model.isLoaded()) << model.loadError();
    EXPECT_EQ(model.numTris(), 12u);
    const AABB box = model.localBoundingBox();
    EXPECT_EQ(box.minBounds(), Vector3(-7, -8, -9));
    EXPECT_EQ(box.maxBounds(), Vector3(2, 3, 1));

    EXPECT_EQ(model.getMaterials().identifiers(), (std::vector<std::string>{"n_stone_01", "n_wood_01"}));
    MaterialInstance* m = model.getMaterials().getMaterial("n_stone_01");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->materialKind(), 12u);
    EXPECT_EQ(m->textureProperties(), (std::vector<std::string>{"diffuseMap", "normalMap"}));
    ASSERT_TRUE(m->getTexture("diffuseMap"));
    EXPECT_EQ(m->getTexture("diffuseMap")->resourceID(), "content/x/house01/house_AM.dds");
    EXPECT_FALSE(m->getTexture("normalMap"));
    EXPECT_FALSE(m->getTexture("g_useTintColor"));
    EXPECT_EQ(model.getMaterials().getMaterial("n_glass"), nullptr);

    DataSectionPtr visual = FS::Utils::openSection("content/x/house01/normal/lod0/house.visual");
    ASSERT_TRUE(visual);
    std::vector<DataSectionPtr> properties;
    visual->openSection("renderSet/geometry/primitiveGroup/material")->openSections("property", properties);
    ASSERT_EQ(properties.size(), 4u);
    EXPECT_EQ(properties[0]->asString(), "diffuseMap");
    EXPECT_EQ(properties[3]->readVector4("Vector4"), Vector4(4, 2, 0, 0));
    EXPECT_TRUE(properties[2]->readBool("Bool"));

    EXPECT_FALSE(SuperModel("content/x/missing.model").isLoaded());
    tree.remove("content/x/house01/normal/lod0/house.primitives");
    DebugLog::Capture capture;
    const SuperModel noGeometry(kLod0);
    EXPECT_FALSE(noGeometry.isLoaded());
    EXPECT_NE(noGeometry.loadError().find("not found"), std::string::npos);
    EXPECT_EQ(capture.count("house.visual: primitives file"), 1u);
}

TEST(GeometryModel, TheBoxTakesAVertexFromAnyPlaceOfTheIndexList) {
    // A vertex far out, named once by the index list: at each place of the
    // first runs of indices, and in the last places, which do not fill a run.
    TempResourceTree tree;
    for (const size_t place : {0, 1, 2, 3, 4, 30, 31, 32}) {
        SCOPED_TRACE(place);
        SimpleModelLayout layout;
        Mesh mesh = makeBox(Vector3(-1, 0, -1), Vector3(1, 1, 1));
        mesh.vertices.positions.emplace_back(50.f, 60.f, 70.f);
        mesh.vertices.normals.emplace_back();
        mesh.vertices.uvs.emplace_back();
        mesh.indices.indices.resize(33); // eleven triangles
        mesh.indices.indices[place] = 24;
        mesh.indices.groups = {{0, 11, 0, 25}};
        layout.mesh = mesh;
        layout.materials = {stone()};
        std::string error;
        ASSERT_TRUE(writeSimpleModel(tree.root(), kLod0, layout, &error)) << error;
        FS::fileSystem()->refresh();
        const SuperModel model(kLod0);
        ASSERT_TRUE(model.isLoaded()) << model.loadError();
        EXPECT_EQ(model.localBoundingBox().maxBounds(), Vector3(50, 60, 70));
    }
}

TEST(GeometryModel, LodChainSanity) {
    {
        TempResourceTree tree;
        writeChain(tree, withExtent(50.f), withExtent(120.f), withExtent(std::nullopt));
        const SuperModel model(kLod0);
        ASSERT_TRUE(model.isLoaded());
        std::string reason;
        EXPECT_TRUE(model.simpleValidateLODs(&reason)) << reason;
        const std::vector<ModelLodInfo> chain = model.lodChain();
        ASSERT_EQ(chain.size(), 3u);
        EXPECT_EQ(chain[1].modelPath, kLod1);
        EXPECT_EQ(chain[2].visualPath, "content/x/house01/normal/lod2/house.visual");
        EXPECT_EQ(chain[2].extent, Model::LOD_MAX);
    }
    struct Case {
        const char* name;
        std::optional<float> e0, e1, e2;
        bool differentNodes;
        const char* reason;
    };
    const Case cases[] = {
        {"extents not increasing", 50.f, 50.f, std::nullopt, false, "does not exceed"},
        {"infinite before last", 50.f, std::nullopt, 200.f, false, "last LOD only"},
        {"node tree differs", 50.f, 120.f, std::nullopt, true, "node tree"},
        {"zero extent", 0.f, 120.f, std::nullopt, false, "does not exceed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempResourceTree tree;
        SimpleModelLayout lod2 = withExtent(c.e2);
        if (c.differentNodes) {
            lod2.nodes[0].children[0].identifier = "HP_module_2";
        }
        writeChain(tree, withExtent(c.e0), withExtent(c.e1), lod2);
        std::string reason;
        EXPECT_FALSE(SuperModel(kLod0).simpleValidateLODs(&reason));
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    }
    {
        SCOPED_TRACE("cycle and missing LOD");
        TempResourceTree tree;
        SimpleModelLayout lod0 = withExtent(50.f), lod1 = withExtent(120.f);
        lod0.parent = kLod1;
        lod1.parent = kLod0;
        ASSERT_TRUE(writeSimpleModel(tree.root(), kLod0, lod0));
        ASSERT_TRUE(writeSimpleModel(tree.root(), kLod1, lod1));
        std::string reason;
        EXPECT_FALSE(SuperModel(kLod0).simpleValidateLODs(&reason));
        EXPECT_NE(reason.find("appears twice"), std::string::npos) << reason;
        EXPECT_EQ(SuperModel(kLod0).lodChain().size(), 2u);
        tree.remove("content/x/house01/normal/lod1");
        EXPECT_FALSE(SuperModel(kLod0).simpleValidateLODs(&reason));
        EXPECT_NE(reason.find("cannot be opened"), std::string::npos) << reason;
    }
}
