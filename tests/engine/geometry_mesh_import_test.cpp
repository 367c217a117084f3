#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "engine/asset_writers/mesh_import.h"
#include "engine/geometry/index_block.h"
#include "engine/geometry/primitive_file.h"
#include "engine/geometry/vertices.h"
#include "engine/model/visual.h"
#include "engine/physics/bsp_tree.h"
#include "support/resource_tree.h"

using namespace AssetWriters;

namespace {

std::vector<std::string> csvFields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else if (c != '\r') {
            fields.back() += c;
        }
    }
    return fields;
}

std::map<std::string, std::string> meshTruth(const std::string& file) {
    std::ifstream in(std::string(KX_TEST_DATA_DIR) + "/mesh_truth.csv");
    std::string line;
    std::getline(in, line);
    const std::vector<std::string> names = csvFields(line);
    while (std::getline(in, line)) {
        const std::vector<std::string> values = csvFields(line);
        if (!values.empty() && values[0] == file) {
            std::map<std::string, std::string> row;
            for (size_t i = 0; i < names.size() && i < values.size(); ++i) {
                row[names[i]] = values[i];
            }
            return row;
        }
    }
    return {};
}

std::string plyBinary(bool littleEndian) {
    std::string s =
        std::string("ply\nformat ") + (littleEndian ? "binary_little_endian" : "binary_big_endian") +
        " 1.0\ncomment made by hand\nelement vertex 4\nproperty float x\nproperty float y\n"
        "property float z\nproperty uchar red\nelement face 1\nproperty list uchar int vertex_indices\n"
        "property list uchar short extra\nend_header\n";
    auto put = [&](const void* p, size_t n) {
        const char* b = static_cast<const char*>(p);
        for (size_t i = 0; i < n; ++i) {
            s += littleEndian ? b[i] : b[n - 1 - i];
        }
    };
    const float corners[4][3] = {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {0, 1, -3}};
    for (const auto& c : corners) {
        put(&c[0], 4);
        put(&c[1], 4);
        put(&c[2], 4);
        s += '\x7f';
    }
    s += '\x04';
    for (int32_t i : {0, 1, 2, 3}) {
        put(&i, 4);
    }
    s += '\x01';
    const int16_t extra = 7;
    put(&extra, 2);
    return s;
}

} // namespace

TEST(GeometryMeshImport, BunnyMatchesItsTruth) {
    const std::map<std::string, std::string> truth = meshTruth("bun_zipper.ply");
    ASSERT_FALSE(truth.empty());
    TempResourceTree tree;
    std::string error;
    uint64_t triangles = 0;
    ASSERT_TRUE(importMesh(std::string(KX_TEST_DATA_DIR) + "/mesh/bun_zipper.ply",
                           tree.path("bunny.primitives"), error, MeshImportOptions(), &triangles))
        << error;
    EXPECT_EQ(triangles, std::stoull(truth.at("triangle_count")));

    VerticesPtr vertices = VerticesManager::instance().get("bunny.primitives/vertices");
    ASSERT_TRUE(vertices);
    EXPECT_EQ(vertices->count(), std::stoull(truth.at("vertex_count")));
    BinaryPtr indexBytes = PrimitiveFile::openBlock("bunny.primitives", "indices");
    ASSERT_TRUE(indexBytes);
    IndexBlockPtr indices = IndexBlock::decode(indexBytes->view(), error);
    ASSERT_TRUE(indices) << error;
    EXPECT_EQ(indices->triangleCount(), std::stoull(truth.at("triangle_count")));
    AABB box;
    std::vector<bool> used(vertices->count());
    for (uint32_t i : indices->indices()) {
        box.addBounds(vertices->positions()[i]);
        used[i] = true;
    }
    EXPECT_EQ(static_cast<size_t>(std::count(used.begin(), used.end(), true)),
              std::stoull(truth.at("referenced_vertex_count")));
    const char* axes[] = {"x", "y", "z"};
    for (int a = 0; a < 3; ++a) {
        EXPECT_NEAR(box.minBounds()[a], std::stod(truth.at(std::string("aabb_min_") + axes[a])), 1e-6);
        EXPECT_NEAR(box.maxBounds()[a], std::stod(truth.at(std::string("aabb_max_") + axes[a])), 1e-6);
    }
    BinaryPtr bsp = PrimitiveFile::openBlock("bunny.primitives", "bsp2");
    std::unique_ptr<BSPTree> bspTree = BSPTreeTool::loadBSP(bsp, "bunny.primitives");
    ASSERT_TRUE(bspTree);
    EXPECT_EQ(bspTree->numTriangles(), triangles);
    EXPECT_TRUE(bspTree->canCollide());
}

TEST(GeometryMeshImport, ObjPolygonsRelativeIndicesAndCorners) {
    const std::string obj = "# a quad and a triangle\n"
                            "mtllib x.mtl\no thing\n"
                            "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0 1.0\n"
                            "vt 0 0\nvt 1 0\nvt 1 1\n"
                            "vn 0 0 1\n"
                            "usemtl stone\ns 1\n"
                            "f 1/1/1 2/2/1 3/3/1 4//1\n"
                            "f -4 -3 -1\n";
    Mesh mesh;
    std::string error;
    ASSERT_TRUE(readOBJ(obj, mesh, error)) << error;
    EXPECT_EQ(mesh.indices.indices.size(), 9u);
    // Corners with different uv/normal references are separate vertices.
    EXPECT_EQ(mesh.vertices.size(), 7u);
    EXPECT_EQ(mesh.vertices.uvs[2], Vector2(1, 1));
    EXPECT_EQ(mesh.vertices.normals[0], Vector3(0, 0, 1));
    // The last face had no normals: they are computed from the face (+z).
    EXPECT_NEAR(mesh.vertices.normals[mesh.indices.indices[6]].z, 1.f, 1e-6f);

    struct Bad {
        const char* text;
        const char* reason;
    };
    for (const Bad& bad :
         {Bad{"v 0 0 0\nv 1 0 0\nf 1 2\n", "line 3: a face needs at least 3 corners"},
          Bad{"v 0 0 0\n\nf 1 2 5\n", "line 3: face corner '2'"},
          Bad{"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 -4\n", "line 4: face corner '-4'"},
          Bad{"v 0 zero 0\n", "line 1: 'zero' is not a number"},
          Bad{"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1/1 2 3\n", "line 4"}, Bad{"v 0 0 0\n", "no faces"}}) {
        SCOPED_TRACE(bad.text);
        EXPECT_FALSE(readOBJ(bad.text, mesh, error));
        EXPECT_NE(error.find(bad.reason), std::string::npos) << error;
    }
}

TEST(GeometryMeshImport, PlyEncodingsAndMalformedInput) {
    for (bool little : {true, false}) {
        SCOPED_TRACE(little ? "little endian" : "big endian");
        Mesh mesh;
        std::string error;
        ASSERT_TRUE(readPLY(plyBinary(little), mesh, error)) << error;
        ASSERT_EQ(mesh.vertices.size(), 4u);
        EXPECT_EQ(mesh.vertices.positions[3], Vector3(0, 1, -3));
        EXPECT_EQ(mesh.indices.indices, (std::vector<uint32_t>{0, 1, 2, 0, 2, 3}));
        const std::string cut = plyBinary(little).substr(0, plyBinary(little).size() - 3);
        EXPECT_FALSE(readPLY(cut, mesh, error));
        EXPECT_NE(error.find("byte "), std::string::npos) << error;
    }
    const std::string header =
        "ply\nformat ascii 1.0\nelement vertex 3\nproperty double x\nproperty double y\n"
        "property double z\nproperty float nx\nproperty float ny\nproperty float nz\n"
        "element face 1\nproperty list uchar uint vertex_index\nend_header\n";
    Mesh mesh;
    std::string error;
    ASSERT_TRUE(readPLY(header + "0 0 0 0 0 1\n1 0 0 0 0 1\n0 1 0 0 0 1\n3 0 1 2\n", mesh, error)) << error;
    EXPECT_EQ(mesh.vertices.normals[1], Vector3(0, 0, 1));

    struct Bad {
        std::string text;
        const char* reason;
    };
    const Bad cases[] = {
        {"plx\n", "line 1"},
        {"ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nend_header\n0\n", "lacks x, y or z"},
        {"ply\nformat ascii 1.0\nelement vertex 3\nproperty wide x\n", "line 4: unknown property type"},
        {"ply\nformat ascii 1.0\nelement vertex 1\n", "no 'end_header'"},
        {header + "0 0 0 0 0 1\n1 0 0 0 0 1\n0 1 0 0 0 1\n3 0 1 9\n", "line 16: face 0 refers to vertex 9"},
        {header + "0 0 0 0 0 1\n1 0 0 0 0 1\n0 1 0 0 0 1\n2 0 1\n", "line 16: face 0 has 2 corners"},
        {header + "0 0 0 0 0 1\n1 0 0 0 0 1 7\n0 1 0 0 0 1\n3 0 1 2\n", "line 14: unexpected values"},
        {header + "0 0 0 0 0 1\n1 0 0 0 0 1\n", "line 15: the file ends"},
        {"ply\nformat binary_little_endian 1.0\nelement vertex 4000000000\nproperty float x\nproperty float "
         "y\n"
         "property float z\nend_header\n",
         "cannot fit"},
    };
    for (const Bad& bad : cases) {
        SCOPED_TRACE(bad.text);
        EXPECT_FALSE(readPLY(bad.text, mesh, error));
        EXPECT_NE(error.find(bad.reason), std::string::npos) << error;
    }
}
