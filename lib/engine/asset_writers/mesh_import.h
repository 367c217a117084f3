#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/asset_writers/geometry_writer.h"

// Import of triangle meshes from Wavefront OBJ and Stanford PLY files. The
// readers fan-triangulate polygons, compute smooth normals where the file
// gives none, and refuse malformed input with a reason that names the line
// (or, in binary PLY bodies, the byte offset). PLY vertices are kept as they
// are, also those no face uses; OBJ gives one vertex per distinct corner
// (position, uv, normal) that a face uses.
namespace AssetWriters {

bool readOBJ(std::string_view text, Mesh& mesh, std::string& error);
bool readPLY(std::string_view bytes, Mesh& mesh, std::string& error);
// Chooses the reader by extension ("obj" or "ply", any case).
bool readMeshFile(const std::string& path, Mesh& mesh, std::string& error);

struct MeshImportOptions {
    std::string materialIdentifier = "default";
    uint32_t materialKind = 0;
    uint32_t collisionFlags = 255;
};

// Reads a mesh file and writes a .primitives file with the blocks "vertices",
// "indices", "bsp2" (every triangle, with the options' material) and
// "bsp2_materials". `triangles` receives the triangle count when given.
bool importMesh(const std::string& meshPath, const std::string& primitivesPath, std::string& error,
                const MeshImportOptions& options = MeshImportOptions(), uint64_t* triangles = nullptr);

} // namespace AssetWriters
