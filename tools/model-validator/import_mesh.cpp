#include "import_mesh.h"

#include "engine/asset_writers/mesh_import.h"

namespace KX::Cli {

int runImportMesh(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 2 || args[0].empty() || args[1].empty() || args[0][0] == '-' || args[1][0] == '-') {
        err << "usage: model-validator import-mesh MESH.obj|MESH.ply OUT.primitives\n";
        return 2;
    }
    std::string error;
    uint64_t triangles = 0;
    if (!AssetWriters::importMesh(args[0], args[1], error, AssetWriters::MeshImportOptions(), &triangles)) {
        err << "import-mesh: " << error << "\n";
        return 1;
    }
    out << "wrote " << args[1] << " (" << triangles << " triangles)\n";
    return 0;
}

} // namespace KX::Cli
