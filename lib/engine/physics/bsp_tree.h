#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/math/math_types.h"
#include "engine/resource/binary_block.h"

// A collision triangle in model space with the material it came from.
class WorldTriangle {
  public:
    WorldTriangle() = default;
    WorldTriangle(const Vector3& a, const Vector3& b, const Vector3& c, uint32_t materialIndex = 0,
                  uint32_t materialKind = 0, uint32_t collisionFlags = 0)
        : v_{a, b, c}, materialIndex_(materialIndex), materialKind_(materialKind),
          collisionFlags_(collisionFlags) {}

    const Vector3& v0() const { return v_[0]; }
    const Vector3& v1() const { return v_[1]; }
    const Vector3& v2() const { return v_[2]; }
    const Vector3& vertex(int i) const { return v_[i]; }
    // Position in the BSP material list ("bsp2_materials").
    uint32_t materialIndex() const { return materialIndex_; }
    uint32_t materialKind() const { return materialKind_; }
    uint32_t collisionFlags() const { return collisionFlags_; }

  private:
    Vector3 v_[3];
    uint32_t materialIndex_ = 0;
    uint32_t materialKind_ = 0;
    uint32_t collisionFlags_ = 0;
};

// A splitting node. Points p with dot(normal, p) >= d lie in front. The
// node's own triangles are triangleIndices[firstTriangle .. +triangleCount):
// those that straddle its plane, or all of a leaf's.
struct BSPNode {
    static constexpr uint32_t kNone = 0xFFFFFFFFu;

    Vector3 normal;
    float d = 0.f;
    uint32_t front = kNone;
    uint32_t back = kNone;
    uint32_t firstTriangle = 0;
    uint32_t triangleCount = 0;
};

class BSPTree {
  public:
    BSPTree() = default;
    // Takes the arrays as given; `validate` tells whether they form a tree.
    BSPTree(std::vector<WorldTriangle> triangles, std::vector<BSPNode> nodes,
            std::vector<uint32_t> triangleIndices, uint32_t root);

    size_t numTriangles() const { return triangles_.size(); }
    // True when some triangle has non-zero collision flags.
    bool canCollide() const;
    const std::vector<WorldTriangle>& triangles() const { return triangles_; }
    const std::vector<BSPNode>& nodes() const { return nodes_; }
    const std::vector<uint32_t>& triangleIndices() const { return triangleIndices_; }
    // Index of the root node; BSPNode::kNone for a tree without nodes.
    uint32_t root() const { return root_; }

    // Every child, list range and triangle index inside its array, every node
    // reached once from the root, every triangle held by a reached node, and
    // all coordinates finite.
    bool validate(std::string& error) const;

  private:
    std::vector<WorldTriangle> triangles_;
    std::vector<BSPNode> nodes_;
    std::vector<uint32_t> triangleIndices_;
    uint32_t root_ = BSPNode::kNone;
};

// Reading, building and writing "bsp2" blocks. Trees are returned owned by
// the caller.
namespace BSPTreeTool {

// Null when the block is missing or malformed; a malformed block logs one
// warning starting with `sourceName` (the file it came from, when known).
std::unique_ptr<BSPTree> loadBSP(const BinaryPtr& block, const std::string& sourceName = std::string());
// The same without logging: null and a reason.
std::unique_ptr<BSPTree> parseBSP(std::string_view block, std::string& error);

// Builds a tree over `triangles` (kept in the given order): splits at the
// median of triangle centres along the widest axis until a node holds few
// triangles.
std::unique_ptr<BSPTree> buildBSP(std::vector<WorldTriangle> triangles);
// The "bsp2" block of a tree (as it stands; an invalid tree writes an invalid block).
std::vector<char> saveBSP(const BSPTree& tree);

// The "bsp2_materials" block: material identifiers by material index.
std::vector<char> saveMaterialIDs(const std::vector<std::string>& identifiers);
bool parseMaterialIDs(std::string_view block, std::vector<std::string>& identifiers, std::string& error);

} // namespace BSPTreeTool
