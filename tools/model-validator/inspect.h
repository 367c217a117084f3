#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace KX::Cli {
// `model-validator inspect [--res DIR]... FILE...`: prints, as a JSON array
// with one object per file, what the engine layer sees of textures, models,
// visuals and primitives files. `args` are the words after "inspect".
// Returns 0 when every file loaded, 1 when some did not, 2 for a usage error.
int runInspect(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
} // namespace KX::Cli
