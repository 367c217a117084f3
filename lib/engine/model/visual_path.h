#pragma once

#include <string>

namespace Utilities {
// Resource path of a model's .visual file: the "nodefullVisual" (or else
// "nodelessVisual") value of the model file with ".visual" appended. Empty
// when the model file cannot be opened or names no visual.
std::string getVisualPath(const std::string& modelPath);
} // namespace Utilities
