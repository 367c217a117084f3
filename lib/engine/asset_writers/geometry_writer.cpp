#include "engine/asset_writers/geometry_writer.h"
#include "engine/asset_writers/texture_writer.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/core/format.h"
#include "engine/geometry/primitives_format.h"
#include "engine/platform/utf8_path.h"
#include "engine/resource/file_system.h"

namespace AssetWriters {

namespace {

bool fail(std::string* error, const std::string& why) {
    if (error) {
        *error = why;
    }
    return false;
}

std::string floatText(float v) {
    return formatString("%.9g", double{v});
}

std::string vectorText(const Vector3& v) {
    return floatText(v.x) + " " + floatText(v.y) + " " + floatText(v.z);
}

std::string xmlName(const std::string& wanted) {
    std::string name;
    for (char c : wanted) {
        const bool ok = std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.';
        name += ok ? c : '_';
    }
    if (name.empty() || !(std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_')) {
        name = "_" + name;
    }
    return name;
}

void addValue(pugi::xml_node parent, const char* tag, const std::string& text) {
    parent.append_child(tag).text().set(text.c_str());
}

void addBox(pugi::xml_node parent, const char* tag, const AABB& box) {
    pugi::xml_node node = parent.append_child(tag);
    addValue(node, "min", vectorText(box.minBounds()));
    addValue(node, "max", vectorText(box.maxBounds()));
}

void addNode(pugi::xml_node parent, const NodeLayout& layout) {
    pugi::xml_node node = parent.append_child("node");
    addValue(node, "identifier", layout.identifier);
    pugi::xml_node transform = node.append_child("transform");
    for (int r = 0; r < 4; ++r) {
        addValue(transform, ("row" + std::to_string(r)).c_str(), vectorText(layout.transform.row3(r)));
    }
    for (const NodeLayout& child : layout.children) {
        addNode(node, child);
    }
}

void addMaterial(pugi::xml_node parent, const MaterialLayout& layout) {
    pugi::xml_node material = parent.append_child("material");
    addValue(material, "identifier", layout.identifier);
    if (!layout.fx.empty()) {
        addValue(material, "fx", layout.fx);
    }
    if (layout.materialKind) {
        addValue(material, "materialKind", std::to_string(*layout.materialKind));
    }
    if (layout.collisionFlags) {
        addValue(material, "collisionFlags", std::to_string(*layout.collisionFlags));
    }
    for (const PropertyLayout& p : layout.properties) {
        pugi::xml_node property = material.append_child("property");
        property.append_child(pugi::node_pcdata).set_value(p.name.c_str());
        addValue(property, p.type.c_str(), p.value);
    }
}

std::string documentText(const pugi::xml_document& doc) {
    std::ostringstream out;
    doc.save(out, "\t", pugi::format_indent | pugi::format_no_declaration);
    return out.str();
}

} // namespace

Mesh makeBox(const Vector3& min, const Vector3& max, int groups) {
    Mesh mesh;
    VertexData& v = mesh.vertices;
    // Each face: outward normal, then its corners counter-clockwise seen from outside.
    struct Face {
        Vector3 normal;
        Vector3 corners[4];
    };
    const Vector3 a = min, b = max;
    const Face faces[6] = {
        {{1, 0, 0}, {{b.x, a.y, a.z}, {b.x, b.y, a.z}, {b.x, b.y, b.z}, {b.x, a.y, b.z}}},
        {{-1, 0, 0}, {{a.x, a.y, b.z}, {a.x, b.y, b.z}, {a.x, b.y, a.z}, {a.x, a.y, a.z}}},
        {{0, 1, 0}, {{a.x, b.y, a.z}, {a.x, b.y, b.z}, {b.x, b.y, b.z}, {b.x, b.y, a.z}}},
        {{0, -1, 0}, {{a.x, a.y, b.z}, {a.x, a.y, a.z}, {b.x, a.y, a.z}, {b.x, a.y, b.z}}},
        {{0, 0, 1}, {{b.x, a.y, b.z}, {b.x, b.y, b.z}, {a.x, b.y, b.z}, {a.x, a.y, b.z}}},
        {{0, 0, -1}, {{a.x, a.y, a.z}, {a.x, b.y, a.z}, {b.x, b.y, a.z}, {b.x, a.y, a.z}}},
    };
    const Vector2 uvs[4] = {{0, 1}, {0, 0}, {1, 0}, {1, 1}};
    for (const Face& f : faces) {
        const auto base = static_cast<uint32_t>(v.positions.size());
        for (int c = 0; c < 4; ++c) {
            v.positions.push_back(f.corners[c]);
            v.normals.push_back(f.normal);
            v.uvs.push_back(uvs[c]);
        }
        for (uint32_t i : {0u, 1u, 2u, 0u, 2u, 3u}) {
            mesh.indices.indices.push_back(base + i);
        }
    }
    splitGroups(mesh, static_cast<size_t>(std::clamp(groups, 1, 6)));
    return mesh;
}

void addTangentFrames(Mesh& mesh) {
    VertexData& v = mesh.vertices;
    v.tangents.clear();
    v.binormals.clear();
    for (size_t i = 0; i < v.positions.size(); ++i) {
        const Vector3 n = i < v.normals.size() ? v.normals[i] : Vector3(0.f, 1.f, 0.f);
        // Any axis not parallel to the normal spans the tangent plane with it.
        const Vector3 axis = std::fabs(n.y) < 0.9f ? Vector3(0.f, 1.f, 0.f) : Vector3(1.f, 0.f, 0.f);
        Vector3 t(axis.y * n.z - axis.z * n.y, axis.z * n.x - axis.x * n.z, axis.x * n.y - axis.y * n.x);
        const float length = std::sqrt(t.x * t.x + t.y * t.y + t.z * t.z);
        t = length > 0.f ? t * (1.f / length) : Vector3(1.f, 0.f, 0.f);
        v.tangents.push_back(t);
        v.binormals.emplace_back(n.y * t.z - n.z * t.y, n.z * t.x - n.x * t.z, n.x * t.y - n.y * t.x);
    }
}

Mesh makeGridBox(const Vector3& min, const Vector3& max, int divisions) {
    struct Face {
        Vector3 normal;
        Vector3 corner; // the quad spans corner + s * along + t * across, s and t in [0, 1]
        Vector3 along;
        Vector3 across;
    };
    const Vector3 a = min, b = max;
    const float w = b.x - a.x, h = b.y - a.y, d = b.z - a.z;
    // Counter-clockwise seen from outside, as makeBox lays them out.
    const Face faces[6] = {
        {{1, 0, 0}, {b.x, a.y, a.z}, {0, h, 0}, {0, 0, d}},
        {{-1, 0, 0}, {a.x, a.y, b.z}, {0, h, 0}, {0, 0, -d}},
        {{0, 1, 0}, {a.x, b.y, a.z}, {0, 0, d}, {w, 0, 0}},
        {{0, -1, 0}, {a.x, a.y, b.z}, {0, 0, -d}, {w, 0, 0}},
        {{0, 0, 1}, {b.x, a.y, b.z}, {0, h, 0}, {-w, 0, 0}},
        {{0, 0, -1}, {a.x, a.y, a.z}, {0, h, 0}, {w, 0, 0}},
    };
    Mesh mesh;
    const auto n = static_cast<uint32_t>(divisions);
    const float step = 1.f / static_cast<float>(divisions);
    for (const Face& f : faces) {
        const auto base = static_cast<uint32_t>(mesh.vertices.positions.size());
        for (uint32_t i = 0; i <= n; ++i) {
            for (uint32_t j = 0; j <= n; ++j) {
                const float s = static_cast<float>(i) * step, t = static_cast<float>(j) * step;
                mesh.vertices.positions.push_back(f.corner + f.along * s + f.across * t);
                mesh.vertices.normals.push_back(f.normal);
                mesh.vertices.uvs.push_back(Vector2(t, 1.f - s));
            }
        }
        for (uint32_t i = 0; i < n; ++i) {
            for (uint32_t j = 0; j < n; ++j) {
                const uint32_t q00 = base + i * (n + 1) + j, q10 = q00 + n + 1;
                for (uint32_t index : {q00, q10, q10 + 1, q00, q10 + 1, q00 + 1}) {
                    mesh.indices.indices.push_back(index);
                }
            }
        }
    }
    // Exported for the standard shader, which maps normals.
    addTangentFrames(mesh);
    return mesh;
}

std::vector<PrimitiveGroup> effectiveGroups(const IndexData& indices) {
    if (!indices.groups.empty() || indices.indices.empty()) {
        return indices.groups;
    }
    PrimitiveGroup all;
    all.primitiveCount = static_cast<uint32_t>(indices.indices.size() / 3);
    all.vertexCount = *std::max_element(indices.indices.begin(), indices.indices.end()) + 1;
    return {all};
}

bool splitGroups(Mesh& mesh, size_t count, std::string* error) {
    const size_t triangles = mesh.indices.indices.size() / 3;
    if (count == 0 || count > triangles) {
        return fail(error, formatString("cannot split %zu triangles into %zu groups", triangles, count));
    }
    mesh.indices.groups.clear();
    size_t start = 0;
    for (size_t g = 0; g < count; ++g) {
        const size_t n = triangles / count + (g < triangles % count ? 1 : 0);
        PrimitiveGroup group;
        group.startIndex = static_cast<uint32_t>(start * 3);
        group.primitiveCount = static_cast<uint32_t>(n);
        group.vertexCount = static_cast<uint32_t>(mesh.vertices.size());
        mesh.indices.groups.push_back(group);
        start += n;
    }
    return true;
}

std::vector<WorldTriangle> collisionTriangles(const Mesh& mesh, const std::vector<uint32_t>& materialKinds,
                                              const std::vector<uint32_t>& collisionFlags) {
    auto pick = [](const std::vector<uint32_t>& values, size_t g) {
        return values.empty() ? 0u : values[std::min(g, values.size() - 1)];
    };
    std::vector<WorldTriangle> out;
    const std::vector<PrimitiveGroup> groups = effectiveGroups(mesh.indices);
    const std::vector<uint32_t>& idx = mesh.indices.indices;
    const std::vector<Vector3>& pos = mesh.vertices.positions;
    for (size_t g = 0; g < groups.size(); ++g) {
        const size_t end = size_t{groups[g].startIndex} + size_t{groups[g].primitiveCount} * 3;
        for (size_t i = groups[g].startIndex; i + 3 <= end && i + 3 <= idx.size(); i += 3) {
            if (idx[i] >= pos.size() || idx[i + 1] >= pos.size() || idx[i + 2] >= pos.size()) {
                continue;
            }
            out.emplace_back(pos[idx[i]], pos[idx[i + 1]], pos[idx[i + 2]], static_cast<uint32_t>(g),
                             pick(materialKinds, g), pick(collisionFlags, g));
        }
    }
    return out;
}

PrimitivesWriter& PrimitivesWriter::vertices(const std::string& name, const VertexData& data) {
    std::vector<char> bytes;
    std::string why;
    if (!Vertices::encode(data, bytes, why) && error_.empty()) {
        error_ = name + ": " + why;
    }
    return rawBlock(name, std::move(bytes));
}

PrimitivesWriter& PrimitivesWriter::indices(const std::string& name, const IndexData& data) {
    std::vector<char> bytes;
    std::string why;
    if (!IndexBlock::encode(data, bytes, why) && error_.empty()) {
        error_ = name + ": " + why;
    }
    return rawBlock(name, std::move(bytes));
}

PrimitivesWriter& PrimitivesWriter::mesh(const Mesh& mesh, const std::string& verticesName,
                                         const std::string& indicesName) {
    return vertices(verticesName, mesh.vertices).indices(indicesName, mesh.indices);
}

PrimitivesWriter& PrimitivesWriter::bsp(std::vector<WorldTriangle> triangles,
                                        const std::vector<std::string>& materialIDs) {
    return bspTree(*BSPTreeTool::buildBSP(std::move(triangles)), materialIDs);
}

PrimitivesWriter& PrimitivesWriter::bspTree(const BSPTree& tree,
                                            const std::vector<std::string>& materialIDs) {
    rawBlock(PrimitivesFormat::kBSPBlockName, BSPTreeTool::saveBSP(tree));
    return rawBlock(PrimitivesFormat::kBSPMaterialsBlockName, BSPTreeTool::saveMaterialIDs(materialIDs));
}

PrimitivesWriter& PrimitivesWriter::rawBlock(const std::string& name, std::vector<char> bytes) {
    blocks_.emplace_back(name, std::move(bytes));
    return *this;
}

bool PrimitivesWriter::encode(std::vector<char>& out, std::string* error) const {
    if (!error_.empty()) {
        return fail(error, error_);
    }
    std::string why;
    if (!PrimitivesFormat::encodeContainer(blocks_, out, why)) {
        return fail(error, why);
    }
    return true;
}

bool PrimitivesWriter::write(const std::string& path, std::string* error) const {
    std::vector<char> bytes;
    if (!encode(bytes, error)) {
        return false;
    }
    return writeFile(path, std::string(bytes.begin(), bytes.end()), error);
}

bool writeFile(const std::string& path, const std::string& bytes, std::string* error) {
    const WriteResult result = writeFileBytes(path, std::vector<uint8_t>(bytes.begin(), bytes.end()));
    return result ? true : fail(error, result.reason);
}

PropertyLayout PropertyLayout::texture(const std::string& name, const std::string& path) {
    return {name, "Texture", path};
}
PropertyLayout PropertyLayout::integer(const std::string& name, long long value) {
    return {name, "Int", std::to_string(value)};
}
PropertyLayout PropertyLayout::boolean(const std::string& name, bool value) {
    return {name, "Bool", value ? "true" : "false"};
}
PropertyLayout PropertyLayout::vector4(const std::string& name, const Vector4& v) {
    return {name, "Vector4",
            floatText(v.x) + " " + floatText(v.y) + " " + floatText(v.z) + " " + floatText(v.w)};
}
PropertyLayout PropertyLayout::floating(const std::string& name, float value) {
    return {name, "Float", floatText(value)};
}

VisualLayout VisualLayout::withMaterials(const std::vector<MaterialLayout>& materials) {
    VisualLayout layout;
    GeometryLayout geometry;
    for (size_t i = 0; i < materials.size(); ++i) {
        geometry.groups.push_back({static_cast<unsigned>(i), materials[i]});
    }
    layout.renderSets.push_back({"Scene Root", {geometry}});
    return layout;
}

std::string modelXml(const ModelLayout& layout, const std::string& rootTag) {
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child(xmlName(rootTag).c_str());
    addValue(root, layout.nodefull ? "nodefullVisual" : "nodelessVisual", layout.visual);
    if (!layout.parent.empty()) {
        addValue(root, "parent", layout.parent);
    }
    if (layout.extent) {
        addValue(root, "extent", floatText(*layout.extent));
    }
    if (layout.visibilityBox) {
        addBox(root, "visibilityBox", *layout.visibilityBox);
    }
    if (layout.decorative) {
        addValue(root, "decorative", std::to_string(*layout.decorative));
    }
    return documentText(doc);
}

std::string visualXml(const VisualLayout& layout, const std::string& rootTag) {
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child(xmlName(rootTag).c_str());
    for (const NodeLayout& node : layout.nodes) {
        addNode(root, node);
    }
    for (const RenderSetLayout& set : layout.renderSets) {
        pugi::xml_node renderSet = root.append_child("renderSet");
        addValue(renderSet, "node", set.node);
        for (const GeometryLayout& g : set.geometries) {
            pugi::xml_node geometry = renderSet.append_child("geometry");
            addValue(geometry, "vertices", g.vertices);
            addValue(geometry, "primitive", g.primitive);
            for (const GroupLayout& group : g.groups) {
                pugi::xml_node pg = geometry.append_child("primitiveGroup");
                pg.append_child(pugi::node_pcdata).set_value(std::to_string(group.index).c_str());
                addMaterial(pg, group.material);
            }
        }
    }
    if (layout.boundingBox) {
        addBox(root, "boundingBox", *layout.boundingBox);
    }
    if (!layout.primitivesName.empty()) {
        addValue(root, "primitivesName", layout.primitivesName);
    }
    return documentText(doc);
}

bool writeModel(const std::string& path, const ModelLayout& layout, std::string* error) {
    return writeFile(path, modelXml(layout, FS::Utils::getFilename(path)), error);
}

bool writeVisual(const std::string& path, const VisualLayout& layout, std::string* error) {
    return writeFile(path, visualXml(layout, FS::Utils::getFilename(path)), error);
}

bool writeSimpleModel(const std::string& root, const std::string& modelPath, const SimpleModelLayout& layout,
                      std::string* error) {
    if (layout.materials.empty()) {
        return fail(error, "a model needs at least one material");
    }
    Mesh mesh = layout.mesh;
    if (effectiveGroups(mesh.indices).size() != layout.materials.size() &&
        !splitGroups(mesh, layout.materials.size(), error)) {
        return false;
    }
    const std::string base = FS::Utils::removeExtension(modelPath);
    const std::string disk = root + "/" + base;

    PrimitivesWriter primitives;
    primitives.mesh(mesh);
    if (layout.collision) {
        primitives.bsp(collisionTriangles(mesh, layout.materials), materialIdentifiers(layout.materials));
    }
    VisualLayout visual = VisualLayout::withMaterials(layout.materials);
    visual.nodes = layout.nodes;
    if (!layout.nodes.empty()) {
        visual.renderSets[0].node = layout.nodes[0].identifier;
    }
    if (layout.boundingBox) {
        visual.boundingBox = layout.boundingBox;
    } else {
        AABB box;
        for (const Vector3& p : mesh.vertices.positions) {
            box.addBounds(p);
        }
        visual.boundingBox = box;
    }
    ModelLayout model;
    model.visual = base;
    model.nodefull = layout.nodefull;
    model.parent = layout.parent.empty() ? std::string() : FS::Utils::removeExtension(layout.parent);
    model.extent = layout.extent;
    model.visibilityBox = layout.visibilityBox;
    model.decorative = layout.decorative;
    return primitives.write(disk + ".primitives", error) && writeVisual(disk + ".visual", visual, error) &&
           writeModel(disk + ".model", model, error);
}

std::vector<WorldTriangle> collisionTriangles(const Mesh& mesh,
                                              const std::vector<MaterialLayout>& materials) {
    std::vector<uint32_t> kinds, flags;
    for (const MaterialLayout& m : materials) {
        kinds.push_back(m.materialKind.value_or(0));
        flags.push_back(m.collisionFlags.value_or(0));
    }
    return collisionTriangles(mesh, kinds, flags);
}

std::vector<std::string> materialIdentifiers(const std::vector<MaterialLayout>& materials) {
    std::vector<std::string> ids;
    for (const MaterialLayout& m : materials) {
        ids.push_back(m.identifier);
    }
    return ids;
}

} // namespace AssetWriters
