#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/geometry/index_block.h"
#include "engine/geometry/vertices.h"
#include "engine/math/math_types.h"
#include "engine/model/visual.h"
#include "engine/physics/bsp_tree.h"

// Writers for geometry assets: .primitives containers, .visual and .model
// files. Paths are disk paths (UTF-8). Every writer returns false with a
// reason in `error` (when given) instead of throwing.
namespace AssetWriters {

struct Mesh {
    VertexData vertices;
    IndexData indices;
};

// An axis-aligned box with outward normals and uvs per face (24 vertices, 12
// triangles), its faces spread over `groups` primitive groups (1 to 6).
Mesh makeBox(const Vector3& min, const Vector3& max, int groups = 1);
// Gives every vertex a tangent and binormal perpendicular to its normal, so
// that the mesh is written in a bumped format ("...tb") as normal-mapping
// effects need.
void addTangentFrames(Mesh& mesh);
// A box whose faces are each cut into divisions x divisions quads, with
// tangent frames, so that LODs can differ in triangle count while keeping the
// same bounds.
Mesh makeGridBox(const Vector3& min, const Vector3& max, int divisions);
// The groups as written: those given, or one over every index.
std::vector<PrimitiveGroup> effectiveGroups(const IndexData& indices);
// Re-splits the triangles into `count` contiguous groups (as equal as they go).
bool splitGroups(Mesh& mesh, size_t count, std::string* error = nullptr);
// Collision triangles of a mesh: the triangles of group g get material index
// g and the kind and flags at position g (the last entry serves later groups;
// empty lists give 0).
std::vector<WorldTriangle> collisionTriangles(const Mesh& mesh,
                                              const std::vector<uint32_t>& materialKinds = {},
                                              const std::vector<uint32_t>& collisionFlags = {});

// Builds a .primitives file block by block, in call order.
class PrimitivesWriter {
  public:
    PrimitivesWriter& vertices(const std::string& name, const VertexData& data);
    PrimitivesWriter& indices(const std::string& name, const IndexData& data);
    PrimitivesWriter& mesh(const Mesh& mesh, const std::string& verticesName = "vertices",
                           const std::string& indicesName = "indices");
    // "bsp2" built from the triangles, and "bsp2_materials".
    PrimitivesWriter& bsp(std::vector<WorldTriangle> triangles, const std::vector<std::string>& materialIDs);
    // "bsp2" holding exactly this tree (valid or not), and "bsp2_materials".
    PrimitivesWriter& bspTree(const BSPTree& tree, const std::vector<std::string>& materialIDs);
    PrimitivesWriter& rawBlock(const std::string& name, std::vector<char> bytes);

    bool encode(std::vector<char>& out, std::string* error = nullptr) const;
    bool write(const std::string& path, std::string* error = nullptr) const;

  private:
    std::vector<std::pair<std::string, std::vector<char>>> blocks_;
    std::string error_;
};

// Writes bytes to a disk path, creating its folders.
bool writeFile(const std::string& path, const std::string& bytes, std::string* error = nullptr);

struct ModelLayout {
    std::string visual; // resource path of the visual, without extension
    bool nodefull = false;
    std::string parent; // next LOD's model path without extension; "" for none
    std::optional<float> extent;
    std::optional<AABB> visibilityBox;
    std::optional<unsigned> decorative;
};

struct PropertyLayout {
    std::string name;
    std::string type; // "Texture", "Int", "Bool", "Vector4", "Float"
    std::string value;

    static PropertyLayout texture(const std::string& name, const std::string& path);
    static PropertyLayout integer(const std::string& name, long long value);
    static PropertyLayout boolean(const std::string& name, bool value);
    static PropertyLayout vector4(const std::string& name, const Vector4& value);
    static PropertyLayout floating(const std::string& name, float value);
};

struct MaterialLayout {
    std::string identifier;
    std::string fx;
    std::optional<unsigned> materialKind;
    std::optional<unsigned> collisionFlags;
    std::vector<PropertyLayout> properties;
};

// A node of the visual's node tree, with the transform written beside it.
struct NodeLayout {
    std::string identifier;
    Matrix transform;
    std::vector<NodeLayout> children;
};

struct GroupLayout {
    unsigned index = 0;
    MaterialLayout material;
};

struct GeometryLayout {
    std::string vertices = "vertices";
    std::string primitive = "indices";
    std::vector<GroupLayout> groups;
};

struct RenderSetLayout {
    std::string node = "Scene Root";
    std::vector<GeometryLayout> geometries;
};

struct VisualLayout {
    std::vector<NodeLayout> nodes{NodeLayout{"Scene Root", Matrix::identity(), {}}};
    std::vector<RenderSetLayout> renderSets;
    std::optional<AABB> boundingBox;
    std::string primitivesName;

    // One render set with one geometry whose group i uses materials[i].
    static VisualLayout withMaterials(const std::vector<MaterialLayout>& materials);
};

// Collision triangles whose group g takes the kind and flags of materials[g],
// and the BSP material identifiers in group order.
std::vector<WorldTriangle> collisionTriangles(const Mesh& mesh, const std::vector<MaterialLayout>& materials);
std::vector<std::string> materialIdentifiers(const std::vector<MaterialLayout>& materials);

// XML text; the root element is named `rootTag` (made a valid XML name).
std::string modelXml(const ModelLayout& layout, const std::string& rootTag);
std::string visualXml(const VisualLayout& layout, const std::string& rootTag);
// Root element named after the file (house.model -> <house.model>).
bool writeModel(const std::string& path, const ModelLayout& layout, std::string* error = nullptr);
bool writeVisual(const std::string& path, const VisualLayout& layout, std::string* error = nullptr);

// Everything one LOD needs, written at once below a resource root.
struct SimpleModelLayout {
    Mesh mesh = makeBox(Vector3(-1.f, 0.f, -1.f), Vector3(1.f, 2.f, 1.f));
    // One per primitive group; the mesh is re-split when it has fewer groups.
    std::vector<MaterialLayout> materials{
        MaterialLayout{"n_stone_01", "shaders/std_effects/PBS_ext.fx", 0u, 255u, {}}};
    // Write "bsp2" from the mesh triangles with each group's kind and flags.
    bool collision = true;
    std::vector<NodeLayout> nodes{NodeLayout{"Scene Root", Matrix::identity(), {}}};
    std::string parent;
    std::optional<float> extent;
    std::optional<AABB> visibilityBox;
    std::optional<unsigned> decorative;
    // Stored bounding box; by default the box of the mesh.
    std::optional<AABB> boundingBox;
    // Name the visual with "nodefullVisual" instead of "nodelessVisual".
    bool nodefull = false;
};

// Writes `modelPath` (a resource path ending in .model) with a visual and a
// primitives file of the same name beside it, below the disk folder `root`.
bool writeSimpleModel(const std::string& root, const std::string& modelPath, const SimpleModelLayout& layout,
                      std::string* error = nullptr);

} // namespace AssetWriters
