#include <gtest/gtest.h>

#include "engine/asset_writers/geometry_writer.h"
#include "engine/core/debug_log.h"
#include "engine/geometry/index_block.h"
#include "engine/geometry/primitives_format.h"
#include "engine/geometry/vertices.h"
#include "engine/model/visual.h"
#include "engine/physics/bsp_tree.h"
#include "support/resource_tree.h"

namespace {

std::string_view view(const std::vector<char>& bytes) {
    return {bytes.data(), bytes.size()};
}

VertexData skinnedVertices(int bones, int weights, bool tangents) {
    VertexData d;
    for (int i = 0; i < 3; ++i) {
        const auto f = static_cast<float>(i);
        d.positions.emplace_back(f, f + 0.5f, -f);
        d.normals.emplace_back(0.f, 1.f, f * 2.f);
        d.uvs.emplace_back(f * 0.25f, 1.f - f * 0.25f);
        if (tangents) {
            d.tangents.emplace_back(1.f, -f, 0.f);
            d.binormals.emplace_back(0.f, 0.f, f);
        }
        for (int b = 0; b < bones; ++b) {
            d.boneIndices.push_back(static_cast<uint8_t>(i * 10 + b));
        }
        for (int w = 0; w < weights; ++w) {
            d.boneWeights.push_back(static_cast<uint8_t>(200 - w));
        }
    }
    d.bonesPerVertex = bones;
    d.weightsPerVertex = weights;
    return d;
}

} // namespace

TEST(GeometryBlocks, VertexFormatsRoundTrip) {
    struct Case {
        int bones, weights;
        bool tangents;
        const char* name;
    };
    for (const Case& c :
         {Case{0, 0, false, "xyznuv"}, Case{0, 0, true, "xyznuvtb"}, Case{3, 2, false, "xyznuviiiww"},
          Case{3, 2, true, "xyznuviiiwwtb"}, Case{1, 0, true, "xyznuvitb"}}) {
        SCOPED_TRACE(c.name);
        const VertexData in = skinnedVertices(c.bones, c.weights, c.tangents);
        std::vector<char> bytes;
        std::string error;
        ASSERT_TRUE(Vertices::encode(in, bytes, error)) << error;
        VerticesPtr v = Vertices::decode(view(bytes), error);
        ASSERT_TRUE(v) << error;
        EXPECT_EQ(v->sourceFormat(), c.name);
        EXPECT_EQ(v->hasBumpedFormat(), c.tangents);
        EXPECT_EQ(v->positions(), in.positions);
        EXPECT_EQ(v->data().normals, in.normals);
        EXPECT_EQ(v->data().uvs, in.uvs);
        EXPECT_EQ(v->data().tangents, in.tangents);
        EXPECT_EQ(v->data().binormals, in.binormals);
        EXPECT_EQ(v->data().boneIndices, in.boneIndices);
        EXPECT_EQ(v->data().boneWeights, in.boneWeights);

        // Decoded lazily: checked whole at once, the positions read when asked for.
        const BinaryPtr block(new BinaryBlock(std::vector<char>(bytes)));
        VerticesPtr lazy = Vertices::decodeLazily(block, error);
        ASSERT_TRUE(lazy) << error;
        for (size_t i = 0; i < in.positions.size(); ++i) {
            EXPECT_EQ(lazy->position(i), in.positions[i]);
            EXPECT_EQ(v->position(i), in.positions[i]);
        }
        EXPECT_EQ(lazy->sourceFormat(), c.name);
        EXPECT_EQ(lazy->hasBumpedFormat(), c.tangents);
        EXPECT_EQ(lazy->count(), in.positions.size());
        EXPECT_EQ(lazy->data().positions, in.positions);
        EXPECT_EQ(lazy->positions(), in.positions);
        EXPECT_EQ(lazy->data().bonesPerVertex, c.bones);
        EXPECT_TRUE(lazy->data().normals.empty());

        std::vector<char> cut(bytes.begin(), bytes.end() - 1);
        EXPECT_FALSE(Vertices::decode(view(cut), error));
        EXPECT_NE(error.find("do not fill"), std::string::npos) << error;
        error.clear();
        EXPECT_FALSE(Vertices::decodeLazily(BinaryPtr(new BinaryBlock(std::vector<char>(cut))), error));
        EXPECT_NE(error.find("do not fill"), std::string::npos) << error;
    }
    VertexFormat f;
    EXPECT_FALSE(VertexFormat::parse("xyznuvww", f));
    EXPECT_FALSE(VertexFormat::parse("xyzuv", f));
    EXPECT_FALSE(VertexFormat::parse("xyznuvtbx", f));
}

TEST(GeometryBlocks, VertexBlockHeadersAreCheckedHoweverTheBlockIsDecoded) {
    std::vector<char> good;
    std::string error;
    ASSERT_TRUE(Vertices::encode(skinnedVertices(0, 0, false), good, error)) << error;
    struct Damage {
        size_t at;
        char value;
        const char* reason;
    };
    // The header: tag, version, header size, 32 bytes of format name, count, stride.
    for (const Damage& d :
         {Damage{0, 'Q', "not a vertices block"}, Damage{6, 40, "unexpected vertex header size 40"},
          Damage{8, 'q', "unknown vertex format 'qyznuv'"},
          Damage{44, 33, "stride 33 does not match format 'xyznuv' (32)"}}) {
        SCOPED_TRACE(d.reason);
        std::vector<char> bytes = good;
        bytes[d.at] = d.value;
        error.clear();
        EXPECT_FALSE(Vertices::decode(view(bytes), error));
        EXPECT_EQ(error, d.reason);
        error.clear();
        EXPECT_FALSE(Vertices::decodeLazily(BinaryPtr(new BinaryBlock(std::vector<char>(bytes))), error));
        EXPECT_EQ(error, d.reason);
    }
}

TEST(GeometryBlocks, IndexBlocksCheckTheirGroups) {
    IndexData in;
    in.indices = {0, 1, 2, 2, 1, 3, 70000, 70001, 70002};
    in.groups = {{0, 2, 0, 4}, {6, 1, 70000, 3}};
    std::vector<char> bytes;
    std::string error;
    ASSERT_TRUE(IndexBlock::encode(in, bytes, error)) << error;
    IndexBlockPtr ib = IndexBlock::decode(view(bytes), error);
    ASSERT_TRUE(ib) << error;
    EXPECT_EQ(ib->indexSize(), 4);
    EXPECT_EQ(ib->indices(), in.indices);
    EXPECT_EQ(ib->triangleCount(), 3u);
    EXPECT_EQ(ib->vertexRangeEnd(), 70003u);

    in.indices.resize(6);
    in.groups.resize(1);
    ASSERT_TRUE(IndexBlock::encode(in, bytes, error));
    ib = IndexBlock::decode(view(bytes), error);
    ASSERT_TRUE(ib);
    EXPECT_EQ(ib->indexSize(), 2);
    EXPECT_EQ(ib->indices(), in.indices);

    in.groups[0].vertexCount = 3; // index 3 now lies outside the group's range
    EXPECT_FALSE(IndexBlock::encode(in, bytes, error));
    EXPECT_EQ(error, "index 3 at 5 lies outside the vertex range 0..3 of group 0");
    in.groups = {{0, 1, 0, 3}, {3, 1, 2, 2}}; // the second group names one index below its range
    EXPECT_FALSE(IndexBlock::encode(in, bytes, error));
    EXPECT_EQ(error, "index 1 at 4 lies outside the vertex range 2..4 of group 1");
    in.groups = {{0, 2, 0, 4}, {6, 0, 9, 1}}; // a group of no triangles addresses nothing
    EXPECT_TRUE(IndexBlock::encode(in, bytes, error)) << error;
    // A block whose stored indices stray is refused as it is read, not only as it is written.
    in.groups = {{0, 2, 0, 4}};
    ASSERT_TRUE(IndexBlock::encode(in, bytes, error));
    bytes[bytes.size() - 2] = 9;
    EXPECT_FALSE(IndexBlock::decode(view(bytes), error));
    EXPECT_EQ(error, "index 9 at 5 lies outside the vertex range 0..4 of group 0");
    in.groups = {{0, 2, 0, 3}};
    in.groups[0] = {3, 2, 0, 4}; // runs past the indices
    EXPECT_FALSE(IndexBlock::encode(in, bytes, error));
    EXPECT_NE(error.find("runs past"), std::string::npos);

    // Long groups are scanned in runs of indices: a stray one inside a run is
    // found too, too large or too small, whatever the width of the indices.
    for (const bool wide : {false, true}) {
        SCOPED_TRACE(wide);
        IndexData big;
        big.force32Bit = wide;
        for (uint32_t i = 0; i < 60; ++i) {
            big.indices.push_back(1 + i % 40);
        }
        big.groups = {{0, 20, 1, 40}};
        ASSERT_TRUE(IndexBlock::encode(big, bytes, error)) << error;
        const std::vector<char> good = bytes;
        ib = IndexBlock::decode(view(bytes), error);
        ASSERT_TRUE(ib) << error;
        EXPECT_EQ(ib->indices(), big.indices);
        const size_t width = wide ? 4 : 2;
        // The first index of one run and the last of another.
        bytes[bytes.size() - (60 - 16) * width] = 45;
        EXPECT_FALSE(IndexBlock::decode(view(bytes), error));
        EXPECT_EQ(error, "index 45 at 16 lies outside the vertex range 1..41 of group 0");
        bytes = good;
        bytes[bytes.size() - (60 - 47) * width] = 0;
        EXPECT_FALSE(IndexBlock::decode(view(bytes), error));
        EXPECT_EQ(error, "index 0 at 47 lies outside the vertex range 1..41 of group 0");
        bytes = good;
        bytes[bytes.size() - 60 * width] = 0;
        EXPECT_FALSE(IndexBlock::decode(view(bytes), error));
        EXPECT_EQ(error, "index 0 at 0 lies outside the vertex range 1..41 of group 0");
    }
    // Short indices on either side of 0x8000, where comparing their bits as
    // signed numbers would turn their order around, and at the top of their
    // range: each list is read whole, then with one index set astray.
    struct StrayIndex {
        std::vector<uint32_t> indices;
        PrimitiveGroup group;
        size_t at;
        uint16_t stray;
        std::string error;
    };
    for (const StrayIndex& c :
         {StrayIndex{{32767, 32768, 40000, 65535, 65534, 32767},
                     {0, 2, 32767, 32769},
                     0,
                     32766,
                     "index 32766 at 0 lies outside the vertex range 32767..65536 of group 0"},
          StrayIndex{{0, 1, 32767, 2, 0, 1},
                     {0, 2, 0, 32768},
                     2,
                     32768,
                     "index 32768 at 2 lies outside the vertex range 0..32768 of group 0"}}) {
        IndexData high;
        high.indices = c.indices;
        high.groups = {c.group};
        ASSERT_TRUE(IndexBlock::encode(high, bytes, error)) << error;
        ASSERT_TRUE(IndexBlock::decode(view(bytes), error)) << error;
        const size_t offset = bytes.size() - (c.indices.size() - c.at) * 2;
        bytes[offset] = static_cast<char>(c.stray & 0xFF);
        bytes[offset + 1] = static_cast<char>(c.stray >> 8);
        EXPECT_FALSE(IndexBlock::decode(view(bytes), error));
        EXPECT_EQ(error, c.error);
    }

    // A group may address one vertex only, the first.
    IndexData point;
    point.indices = {0, 0, 0};
    point.groups = {{0, 1, 0, 1}};
    ASSERT_TRUE(IndexBlock::encode(point, bytes, error)) << error;
    EXPECT_TRUE(IndexBlock::decode(view(bytes), error)) << error;

    // Groups that each claim the whole list would make checking them cost
    // groups x indices; they are refused before any index is looked at.
    in.groups = {{0, 2, 0, 4}, {0, 2, 0, 4}};
    EXPECT_FALSE(IndexBlock::encode(in, bytes, error));
    EXPECT_NE(error.find("the primitive groups cover 12 indices, more than the 6 the block holds"),
              std::string::npos)
        << error;
}

TEST(GeometryBlocks, BSPTreesRoundTripAndRejectBadNodes) {
    const AssetWriters::Mesh mesh = AssetWriters::makeBox(Vector3(-4, 0, -4), Vector3(4, 3, 4), 3);
    std::vector<WorldTriangle> triangles = AssetWriters::collisionTriangles(mesh, {12, 13, 14}, {255, 0, 7});
    // Enough triangles to split: a grid of small quads next to the box.
    for (int i = 0; i < 40; ++i) {
        const auto x = static_cast<float>(i);
        triangles.emplace_back(Vector3(x, 0, 10), Vector3(x + 1, 0, 10), Vector3(x, 1, 10), 0, 12, 255);
    }
    std::unique_ptr<BSPTree> built = BSPTreeTool::buildBSP(triangles);
    std::string error;
    ASSERT_TRUE(built->validate(error)) << error;
    EXPECT_GT(built->nodes().size(), 1u);

    const std::vector<char> bytes = BSPTreeTool::saveBSP(*built);
    std::unique_ptr<BSPTree> loaded = BSPTreeTool::parseBSP(view(bytes), error);
    ASSERT_TRUE(loaded) << error;
    ASSERT_EQ(loaded->numTriangles(), triangles.size());
    EXPECT_TRUE(loaded->canCollide());
    EXPECT_EQ(loaded->triangles()[0].materialKind(), 12u);
    EXPECT_EQ(loaded->triangles()[0].collisionFlags(), 255u);
    EXPECT_EQ(loaded->triangles()[11].materialIndex(), 2u);
    EXPECT_EQ(loaded->triangles()[11].v2(), triangles[11].v2());

    std::vector<WorldTriangle> quiet{WorldTriangle(Vector3(0, 0, 0), Vector3(1, 0, 0), Vector3(0, 1, 0))};
    EXPECT_FALSE(BSPTreeTool::buildBSP(quiet)->canCollide());

    std::vector<BSPNode> nodes = built->nodes();
    nodes[0].back = static_cast<uint32_t>(nodes.size() + 5);
    const BSPTree badChild(built->triangles(), nodes, built->triangleIndices(), built->root());
    std::vector<uint32_t> list = built->triangleIndices();
    list[0] = 9999;
    const BSPTree badTriangle(built->triangles(), built->nodes(), list, built->root());
    nodes = built->nodes();
    nodes.back().front = built->root();
    const BSPTree cycle(built->triangles(), nodes, built->triangleIndices(), built->root());
    // Every node listing the whole list: the walk would be nodes x list.
    nodes = built->nodes();
    for (BSPNode& node : nodes) {
        node.firstTriangle = 0;
        node.triangleCount = static_cast<uint32_t>(built->triangleIndices().size());
    }
    const BSPTree overlapping(built->triangles(), nodes, built->triangleIndices(), built->root());
    EXPECT_FALSE(overlapping.validate(error));
    EXPECT_NE(error.find("node lists overlap"), std::string::npos) << error;
    for (const BSPTree* bad : {&badChild, &badTriangle, &cycle, &overlapping}) {
        const std::vector<char> badBytes = BSPTreeTool::saveBSP(*bad);
        DebugLog::Capture capture;
        EXPECT_FALSE(BSPTreeTool::loadBSP(BinaryPtr(new BinaryBlock(badBytes)), "content/x/rock.primitives"));
        ASSERT_EQ(capture.lines().size(), 1u);
        EXPECT_EQ(capture.count("content/x/rock.primitives: bsp2: "), 1u);
    }
    std::vector<char> cut(bytes.begin(), bytes.end() - 4);
    EXPECT_FALSE(BSPTreeTool::parseBSP(view(cut), error));

    std::vector<std::string> ids;
    const std::vector<char> idBytes = BSPTreeTool::saveMaterialIDs({"n_stone_01", "", "n_wood"});
    ASSERT_TRUE(BSPTreeTool::parseMaterialIDs(view(idBytes), ids, error)) << error;
    EXPECT_EQ(ids, (std::vector<std::string>{"n_stone_01", "", "n_wood"}));
    std::vector<char> idCut(idBytes.begin(), idBytes.end() - 1);
    EXPECT_FALSE(BSPTreeTool::parseMaterialIDs(view(idCut), ids, error));
}

TEST(GeometryBlocks, VisualLoadsBSPAndReportsABadNodeOnce) {
    TempResourceTree tree;
    AssetWriters::SimpleModelLayout layout;
    layout.materials = {{"n_stone_01", "shaders/std_effects/PBS_ext.fx", 12u, 255u, {}},
                        {"n_wood_02", "shaders/std_effects/PBS_ext.fx", 40u, 0u, {}}};
    ASSERT_TRUE(AssetWriters::writeSimpleModel(tree.root(), "content/x/normal/lod0/house.model", layout));
    VisualPtr visual = VisualManager::instance().get("content/x/normal/lod0/house.visual",
                                                     VisualManager::LoadAll, true, false);
    ASSERT_TRUE(visual);
    ASSERT_TRUE(visual->pBSPTree);
    EXPECT_EQ(visual->pBSPTree->numTriangles(), 12u);
    EXPECT_EQ(visual->bspMaterialIDs, (std::vector<std::string>{"n_stone_01", "n_wood_02"}));
    VerticesPtr vertices = VerticesManager::instance().get("content/x/normal/lod0/house.primitives/vertices");
    ASSERT_TRUE(vertices);
    EXPECT_EQ(vertices->sourceFormat(), "xyznuv");
    EXPECT_FALSE(VerticesManager::instance().get("content/x/normal/lod0/house.primitives/nothing"));

    BSPTree bad(visual->pBSPTree->triangles(), visual->pBSPTree->nodes(), {5, 6}, visual->pBSPTree->root());
    const AssetWriters::Mesh mesh = AssetWriters::makeBox(Vector3(0, 0, 0), Vector3(1, 1, 1), 2);
    ASSERT_TRUE(AssetWriters::PrimitivesWriter()
                    .mesh(mesh)
                    .bspTree(bad, {"n_stone_01"})
                    .write(tree.path("content/x/normal/lod0/house.primitives")));
    tree.refresh();
    DebugLog::Capture capture;
    visual = VisualManager::instance().get("content/x/normal/lod0/house.visual", VisualManager::LoadAll, true,
                                           false);
    ASSERT_TRUE(visual);
    EXPECT_FALSE(visual->pBSPTree);
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.count("house.primitives: bsp2: "), 1u);

    // Within the pass, a quiet load of part of it is the whole visual loaded
    // already; a loud one is loaded and owes its own log line.
    const std::string path = "content/x/normal/lod0/house.visual";
    EXPECT_EQ(VisualManager::instance().get(path, VisualManager::LoadCollision, false).get(), visual.get());
    const VisualPtr loud = VisualManager::instance().get(path, VisualManager::LoadCollision, true);
    EXPECT_NE(loud.get(), visual.get());
    EXPECT_EQ(capture.count("house.primitives: bsp2: "), 2u);
    tree.refresh();
    EXPECT_NE(VisualManager::instance().get(path, VisualManager::LoadCollision, false).get(), visual.get());
}
