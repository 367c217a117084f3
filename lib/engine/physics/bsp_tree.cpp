#include "engine/physics/bsp_tree.h"

#include <algorithm>
#include <cmath>

#include "engine/core/debug_log.h"
#include "engine/core/format.h"
#include "engine/core/stack_tracker.h"
#include "engine/geometry/byte_io.h"
#include "engine/geometry/primitives_format.h"

namespace {

constexpr size_t kHeaderSize = 32;
constexpr size_t kTriangleSize = 48;
constexpr size_t kNodeSize = 32;
constexpr size_t kLeafTriangles = 8;
constexpr int kMaxBuildDepth = 48;

bool finite(const Vector3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

struct Builder {
    const std::vector<WorldTriangle>& triangles;
    std::vector<BSPNode> nodes;
    std::vector<uint32_t> indices;

    Vector3 centre(uint32_t t) const {
        const WorldTriangle& tri = triangles[t];
        return (tri.v0() + tri.v1() + tri.v2()) * (1.f / 3.f);
    }

    void makeLeaf(uint32_t node, const std::vector<uint32_t>& list) {
        nodes[node].firstTriangle = static_cast<uint32_t>(indices.size());
        nodes[node].triangleCount = static_cast<uint32_t>(list.size());
        indices.insert(indices.end(), list.begin(), list.end());
    }

    uint32_t build(std::vector<uint32_t> list, int depth) {
        const auto node = static_cast<uint32_t>(nodes.size());
        nodes.push_back(BSPNode{});
        nodes[node].normal = Vector3(0.f, 1.f, 0.f);
        if (list.size() <= kLeafTriangles || depth >= kMaxBuildDepth) {
            makeLeaf(node, list);
            return node;
        }
        AABB bounds;
        for (uint32_t t : list) {
            bounds.addBounds(centre(t));
        }
        const float extents[3] = {bounds.width(), bounds.height(), bounds.depth()};
        const int axis = static_cast<int>(std::max_element(extents, extents + 3) - extents);
        if (!(extents[axis] > 0.f)) {
            makeLeaf(node, list);
            return node;
        }
        std::vector<uint32_t> sorted = list;
        auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
        std::nth_element(sorted.begin(), middle, sorted.end(),
                         [&](uint32_t a, uint32_t b) { return centre(a)[axis] < centre(b)[axis]; });
        const float split = centre(*middle)[axis];
        std::vector<uint32_t> front, back, straddling;
        for (uint32_t t : list) {
            const WorldTriangle& tri = triangles[t];
            const float a = tri.v0()[axis], b = tri.v1()[axis], c = tri.v2()[axis];
            const float lo = std::min({a, b, c}), hi = std::max({a, b, c});
            if (hi <= split) {
                back.push_back(t);
            } else if (lo >= split) {
                front.push_back(t);
            } else {
                straddling.push_back(t);
            }
        }
        if (front.size() == list.size() || back.size() == list.size() || straddling.size() == list.size()) {
            makeLeaf(node, list);
            return node;
        }
        Vector3 normal;
        normal[axis] = 1.f;
        nodes[node].normal = normal;
        nodes[node].d = split;
        makeLeaf(node, straddling);
        if (!front.empty()) {
            const uint32_t child = build(std::move(front), depth + 1);
            nodes[node].front = child;
        }
        if (!back.empty()) {
            const uint32_t child = build(std::move(back), depth + 1);
            nodes[node].back = child;
        }
        return node;
    }
};

} // namespace

BSPTree::BSPTree(std::vector<WorldTriangle> triangles, std::vector<BSPNode> nodes,
                 std::vector<uint32_t> triangleIndices, uint32_t root)
    : triangles_(std::move(triangles)), nodes_(std::move(nodes)),
      triangleIndices_(std::move(triangleIndices)), root_(root) {}

bool BSPTree::canCollide() const {
    return std::any_of(triangles_.begin(), triangles_.end(),
                       [](const WorldTriangle& t) { return t.collisionFlags() != 0; });
}

bool BSPTree::validate(std::string& error) const {
    for (size_t t = 0; t < triangles_.size(); ++t) {
        if (!finite(triangles_[t].v0()) || !finite(triangles_[t].v1()) || !finite(triangles_[t].v2())) {
            error = formatString("triangle %zu has a non-finite vertex", t);
            return false;
        }
    }
    if (nodes_.empty()) {
        if (root_ != BSPNode::kNone || !triangles_.empty()) {
            error = "a tree without nodes must have no root and no triangles";
            return false;
        }
        return true;
    }
    if (root_ >= nodes_.size()) {
        error = formatString("root node %u is outside the %zu nodes", root_, nodes_.size());
        return false;
    }
    std::vector<bool> visited(nodes_.size(), false);
    std::vector<bool> held(triangles_.size(), false);
    std::vector<uint32_t> stack{root_};
    visited[root_] = true;
    // Each node owns its own stretch of the list; lists that overlap would let
    // a small file make this walk, and every later one, quadratic.
    uint64_t listed = 0;
    while (!stack.empty()) {
        const uint32_t n = stack.back();
        stack.pop_back();
        const BSPNode& node = nodes_[n];
        if (!finite(node.normal) || !std::isfinite(node.d)) {
            error = formatString("node %u has a non-finite plane", n);
            return false;
        }
        if (uint64_t{node.firstTriangle} + node.triangleCount > triangleIndices_.size()) {
            error = formatString(
                "node %u lists triangles %u..%llu outside the %zu list entries", n, node.firstTriangle,
                static_cast<unsigned long long>(uint64_t{node.firstTriangle} + node.triangleCount),
                triangleIndices_.size());
            return false;
        }
        listed += node.triangleCount;
        if (listed > triangleIndices_.size()) {
            error = formatString("the nodes list more than the %zu list entries (node lists overlap)",
                                 triangleIndices_.size());
            return false;
        }
        for (uint32_t k = 0; k < node.triangleCount; ++k) {
            const uint32_t t = triangleIndices_[node.firstTriangle + k];
            if (t >= triangles_.size()) {
                error = formatString("node %u refers to triangle %u outside the %zu triangles", n, t,
                                     triangles_.size());
                return false;
            }
            held[t] = true;
        }
        for (uint32_t child : {node.front, node.back}) {
            if (child == BSPNode::kNone) {
                continue;
            }
            if (child >= nodes_.size()) {
                error = formatString("node %u has child %u outside the %zu nodes", n, child, nodes_.size());
                return false;
            }
            if (visited[child]) {
                error = formatString("node %u is reached twice (cycle or shared child)", child);
                return false;
            }
            visited[child] = true;
            stack.push_back(child);
        }
    }
    const auto missing = std::find(held.begin(), held.end(), false);
    if (missing != held.end()) {
        error = formatString("triangle %zu is held by no node", static_cast<size_t>(missing - held.begin()));
        return false;
    }
    return true;
}

namespace BSPTreeTool {

std::unique_ptr<BSPTree> parseBSP(std::string_view block, std::string& error) {
    KX_STACK_TRACK("BSPTreeTool::parseBSP");
    ByteIO::Reader r(block);
    uint16_t headerSize = 0;
    if (!PrimitivesFormat::readBlockHeader(block, PrimitivesFormat::BlockKind::BSP, kHeaderSize, r,
                                           headerSize, error)) {
        return nullptr;
    }
    if (headerSize != kHeaderSize) {
        error = formatString("unexpected bsp2 header size %u", unsigned{headerSize});
        return nullptr;
    }
    const uint32_t triangleCount = r.u32();
    const uint32_t nodeCount = r.u32();
    const uint32_t indexCount = r.u32();
    const uint32_t root = r.u32();
    r.skip(8);
    const uint64_t expected = kHeaderSize + uint64_t{triangleCount} * kTriangleSize +
                              uint64_t{nodeCount} * kNodeSize + uint64_t{indexCount} * 4;
    if (expected != block.size()) {
        error = formatString("%u triangles, %u nodes and %u list entries need %llu bytes, the block has %zu",
                             triangleCount, nodeCount, indexCount, static_cast<unsigned long long>(expected),
                             block.size());
        return nullptr;
    }
    auto vec3 = [&r]() {
        const float x = r.f32();
        const float y = r.f32();
        return Vector3(x, y, r.f32());
    };
    std::vector<WorldTriangle> triangles;
    triangles.reserve(triangleCount);
    for (uint32_t i = 0; i < triangleCount; ++i) {
        const Vector3 a = vec3();
        const Vector3 b = vec3();
        const Vector3 c = vec3();
        const uint32_t material = r.u32();
        const uint32_t kind = r.u32();
        triangles.emplace_back(a, b, c, material, kind, r.u32());
    }
    std::vector<BSPNode> nodes(nodeCount);
    for (BSPNode& node : nodes) {
        node.normal = vec3();
        node.d = r.f32();
        node.front = r.u32();
        node.back = r.u32();
        node.firstTriangle = r.u32();
        node.triangleCount = r.u32();
    }
    std::vector<uint32_t> indices(indexCount);
    for (uint32_t& index : indices) {
        index = r.u32();
    }
    auto tree = std::make_unique<BSPTree>(std::move(triangles), std::move(nodes), std::move(indices), root);
    if (!tree->validate(error)) {
        return nullptr;
    }
    return tree;
}

std::unique_ptr<BSPTree> loadBSP(const BinaryPtr& block, const std::string& sourceName) {
    KX_STACK_TRACK("BSPTreeTool::loadBSP");
    if (!block) {
        return nullptr;
    }
    std::string error;
    std::unique_ptr<BSPTree> tree = parseBSP(block->view(), error);
    if (!tree) {
        DebugLog::fileProblem("physics", sourceName.empty() ? "(bsp2 block)" : sourceName, "bsp2: " + error);
    }
    return tree;
}

std::unique_ptr<BSPTree> buildBSP(std::vector<WorldTriangle> triangles) {
    KX_STACK_TRACK("BSPTreeTool::buildBSP");
    if (triangles.empty()) {
        return std::make_unique<BSPTree>();
    }
    Builder builder{triangles, {}, {}};
    std::vector<uint32_t> all(triangles.size());
    for (size_t i = 0; i < all.size(); ++i) {
        all[i] = static_cast<uint32_t>(i);
    }
    const uint32_t root = builder.build(std::move(all), 0);
    return std::make_unique<BSPTree>(std::move(triangles), std::move(builder.nodes),
                                     std::move(builder.indices), root);
}

std::vector<char> saveBSP(const BSPTree& tree) {
    ByteIO::Writer w;
    PrimitivesFormat::writeBlockHeader(w, PrimitivesFormat::BlockKind::BSP,
                                       static_cast<uint16_t>(kHeaderSize));
    w.u32(static_cast<uint32_t>(tree.triangles().size()));
    w.u32(static_cast<uint32_t>(tree.nodes().size()));
    w.u32(static_cast<uint32_t>(tree.triangleIndices().size()));
    w.u32(tree.root());
    w.u64(0);
    auto vec3 = [&w](const Vector3& v) {
        w.f32(v.x);
        w.f32(v.y);
        w.f32(v.z);
    };
    for (const WorldTriangle& t : tree.triangles()) {
        vec3(t.v0());
        vec3(t.v1());
        vec3(t.v2());
        w.u32(t.materialIndex());
        w.u32(t.materialKind());
        w.u32(t.collisionFlags());
    }
    for (const BSPNode& n : tree.nodes()) {
        vec3(n.normal);
        w.f32(n.d);
        w.u32(n.front);
        w.u32(n.back);
        w.u32(n.firstTriangle);
        w.u32(n.triangleCount);
    }
    for (uint32_t index : tree.triangleIndices()) {
        w.u32(index);
    }
    return std::move(w.buffer());
}

std::vector<char> saveMaterialIDs(const std::vector<std::string>& identifiers) {
    ByteIO::Writer w;
    PrimitivesFormat::writeBlockHeader(w, PrimitivesFormat::BlockKind::BSPMaterials, 0);
    w.u32(static_cast<uint32_t>(identifiers.size()));
    for (const std::string& id : identifiers) {
        const std::string text = id.substr(0, UINT16_MAX);
        w.u16(static_cast<uint16_t>(text.size()));
        w.raw(text);
    }
    return std::move(w.buffer());
}

bool parseMaterialIDs(std::string_view block, std::vector<std::string>& identifiers, std::string& error) {
    ByteIO::Reader r(block);
    uint16_t reserved = 0;
    if (!PrimitivesFormat::readBlockHeader(block, PrimitivesFormat::BlockKind::BSPMaterials, 12, r, reserved,
                                           error)) {
        return false;
    }
    const uint32_t count = r.u32();
    // Each entry takes at least its two length bytes.
    if (uint64_t{count} * 2 > r.remaining()) {
        error = formatString("%u material identifiers cannot fit in %zu bytes", count, block.size());
        return false;
    }
    std::vector<std::string> out;
    out.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint16_t length = r.u16();
        std::string_view text = r.bytes(length);
        if (r.failed()) {
            error = formatString("material identifier %u runs past the end of the block", i);
            return false;
        }
        out.emplace_back(text);
    }
    if (r.remaining() != 0) {
        error = formatString("%zu unused bytes after the material identifiers", r.remaining());
        return false;
    }
    identifiers = std::move(out);
    return true;
}

} // namespace BSPTreeTool
