#pragma once

#include <limits>

namespace Model {
// The extent of a LOD that is shown at any distance: a model file without an
// "extent" value has it.
constexpr float LOD_MAX = std::numeric_limits<float>::max();
} // namespace Model
