#pragma once

#include <string>

#include "engine/resource/data_section.h"

namespace Utilities {
// Resource path of a model's .visual file: the "nodefullVisual" (or else
// "nodelessVisual") value of the model file with ".visual" appended. Empty
// when the model file cannot be opened or names no visual.
std::string getVisualPath(const std::string& modelPath);
// The same for a model file's root section.
std::string getVisualPath(const DataSectionPtr& model);
} // namespace Utilities
