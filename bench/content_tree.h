#pragma once

#include <string>

// A synthetic content tree for measuring validation on whole trees: scenery
// models spread over category folders, written with the engine's asset
// writers so that every file is one the checks really parse.
namespace KX::Bench {

struct TreeShape {
    int models = 500;
    // Models per category folder; artists keep a category to a few dozen.
    int modelsPerCategory = 40;
};

// Writes the tree below `root` (which must not exist or be empty). The same
// shape always gives the same bytes.
bool writeContentTree(const std::string& root, const TreeShape& shape, std::string* error);

} // namespace KX::Bench
