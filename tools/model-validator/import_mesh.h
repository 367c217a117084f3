#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace KX::Cli {
// `model-validator import-mesh MESH.obj|MESH.ply OUT.primitives`: converts a
// mesh into a primitives file with its collision tree. `args` are the words
// after "import-mesh". Returns 0 on success, 1 on failure (one line on `err`),
// 2 for a usage error.
int runImportMesh(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
} // namespace KX::Cli
