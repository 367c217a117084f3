#include <gtest/gtest.h>

#include <sstream>

#include "engine/asset_writers/geometry_writer.h"
#include "engine/asset_writers/texture_writer.h"
#include "import_mesh.h"
#include "inspect.h"
#include "support/resource_tree.h"

namespace {

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

ToolRun inspect(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = KX::Cli::runInspect(args, out, err);
    return {status, out.str(), err.str()};
}

ToolRun importMesh(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = KX::Cli::runImportMesh(args, out, err);
    return {status, out.str(), err.str()};
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

void writeHouse(TempResourceTree& tree) {
    AssetWriters::SimpleModelLayout lod0;
    lod0.mesh = AssetWriters::makeBox(Vector3(-1, 0, -1), Vector3(1, 2, 1));
    AssetWriters::MaterialLayout stone{"n_stone_01", "shaders/std_effects/PBS_ext.fx", 12u, 255u, {}};
    stone.properties = {AssetWriters::PropertyLayout::texture("diffuseMap", "content/x/house_AM.dds"),
                        AssetWriters::PropertyLayout::texture("normalMap", "")};
    lod0.materials = {stone};
    lod0.parent = "content/x/lod1/house.model";
    lod0.extent = 64.f;
    ASSERT_TRUE(AssetWriters::writeSimpleModel(tree.root(), "content/x/lod0/house.model", lod0));
    ASSERT_TRUE(AssetWriters::writeSimpleModel(tree.root(), "content/x/lod1/house.model", {}));
}

} // namespace

TEST(Inspect, PrimitivesModelTextureAndFailures) {
    TempResourceTree tree;
    writeHouse(tree);
    ASSERT_TRUE(AssetWriters::writeDDS(tree.path("content/x/house_AM.dds"), 8, 4, Render::RF_BC1_UNORM,
                                       AssetWriters::makeSolidImage(8, 4, {10, 20, 30, 255}), 0));
    tree.write("content/x/notes.txt", "hello");

    const ToolRun ok =
        inspect({"--res", tree.root(), "content/x/lod0/house.primitives", "content/x/lod0/house.model",
                 "content/x/house_AM.dds", "content/x/lod0/house.visual"});
    EXPECT_EQ(ok.status, 0) << ok.out << ok.err;
    EXPECT_EQ(ok.out.front(), '[');
    EXPECT_TRUE(has(ok.out,
                    "\"file\": \"content/x/lod0/house.primitives\",\n    \"kind\": \"primitives\",\n"
                    "    \"error\": null,\n    \"vertices\": 24,\n    \"triangles\": 12,\n"
                    "    \"boundingBox\": {\n      \"min\": [-1, 0, -1],\n      \"max\": [1, 2, 1]\n    },\n"
                    "    \"bspTriangles\": 12,"))
        << ok.out;
    EXPECT_TRUE(has(ok.out,
                    "\"name\": \"vertices\",\n        \"size\": 816,\n        \"kind\": \"vertices\",\n"
                    "        \"format\": \"xyznuv\",\n        \"count\": 24"))
        << ok.out;
    EXPECT_TRUE(has(ok.out, "\"materials\": [\"n_stone_01\"]")) << ok.out;
    EXPECT_TRUE(
        has(ok.out, "\"storedBoundingBox\": {\n      \"min\": [-1, 0, -1],\n      \"max\": [1, 2, 1]\n    }"))
        << ok.out;
    // The model: its LOD chain (the last LOD's extent is infinite), geometry and materials.
    EXPECT_TRUE(has(ok.out, "\"model\": \"content/x/lod1/house.model\",\n        \"visual\": "
                            "\"content/x/lod1/house.visual\",\n        \"extent\": null"))
        << ok.out;
    EXPECT_TRUE(has(ok.out, "\"lodsValid\": true,\n    \"lodProblem\": null,\n    \"triangles\": 12,"))
        << ok.out;
    EXPECT_TRUE(has(ok.out, "\"textures\": {\n          \"diffuseMap\": \"content/x/house_AM.dds\",\n"
                            "          \"normalMap\": null\n"))
        << ok.out;
    EXPECT_TRUE(has(ok.out, "\"kind\": \"texture\",\n    \"error\": null,\n    \"format\": \"BC1_UNORM\",\n"
                            "    \"formatId\": 17,\n    \"width\": 8,\n    \"height\": 4,\n    \"mips\": 4"))
        << ok.out;

    tree.writeBytes("content/x/broken.primitives", {'K', 'X', 'P', 'R', 1, 0});
    const ToolRun bad = inspect({"--res", tree.root(), "content/x/broken.primitives", "content/x/notes.txt",
                                 "content/x/none.visual", "content/x/lod0/house.model"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_TRUE(
        has(bad.out, "\"kind\": \"primitives\",\n    \"error\": \"truncated container header (6 bytes)\"\n"))
        << bad.out;
    EXPECT_TRUE(has(bad.out, "\"kind\": \"unknown\",\n    \"error\": \"unknown file kind\"\n")) << bad.out;
    EXPECT_TRUE(has(bad.out, "\"kind\": \"visual\",\n    \"error\": \"file not found\"\n")) << bad.out;

    EXPECT_EQ(inspect({}).status, 2);
    EXPECT_EQ(inspect({"--res"}).status, 2);
    EXPECT_EQ(inspect({"--bogus", "x.model"}).status, 2);
}

TEST(Inspect, ImportMeshCommand) {
    TempResourceTree tree;
    tree.write("mesh/quad.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\n");
    tree.write("mesh/bad.obj", "v 0 0 0\nf 1 1\n");
    const ToolRun ok = importMesh({tree.path("mesh/quad.obj"), tree.path("out/quad.primitives")});
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_TRUE(has(ok.out, "(2 triangles)"));
    const ToolRun check = inspect({tree.path("out/quad.primitives")});
    EXPECT_EQ(check.status, 0);
    EXPECT_TRUE(has(check.out, "\"bspTriangles\": 2,")) << check.out;

    const ToolRun bad = importMesh({tree.path("mesh/bad.obj"), tree.path("out/bad.primitives")});
    EXPECT_EQ(bad.status, 1);
    EXPECT_TRUE(has(bad.err, "bad.obj: line 2: a face needs at least 3 corners")) << bad.err;
    EXPECT_EQ(std::count(bad.err.begin(), bad.err.end(), '\n'), 1);
    EXPECT_EQ(importMesh({tree.path("mesh/quad.obj")}).status, 2);
    EXPECT_EQ(importMesh({tree.path("mesh/quad.txt"), tree.path("out/x.primitives")}).status, 1);

    // A folder where the mesh should be is a reason, not an abort.
    tree.makeDirectory("mesh/folder.obj");
    const ToolRun folder = importMesh({tree.path("mesh/folder.obj"), tree.path("out/x.primitives")});
    EXPECT_EQ(folder.status, 1);
    EXPECT_TRUE(has(folder.err, "folder.obj: is not a file")) << folder.err;
}
