#pragma once

#include <string>
#include <vector>

#include "engine/math/math_types.h"
#include "engine/resource/data_section.h"

// Access to the materials of a .visual file and to the detail-map properties
// that vehicle materials carry.
namespace MaterialPropertyHelper {

// The names and the factor below are constant-initialised, so static
// initialisers elsewhere may use them.

// "Bool" property that switches the shared detail map on.
inline constexpr char useDetail[] = "g_useDetail";
// "Texture" property naming the detail map.
inline constexpr char normalMapTexture[] = "g_detailMap";
// "Vector4" property whose x and y repeat the detail map across the surface.
inline constexpr char tiling[] = "g_detailTiling";
// Texels of normal map covered by one repetition of the detail map: the
// expected tiling along an axis is the normal map's size on that axis divided
// by this number (a 2048-texel normal map tiles its detail map 8 times).
inline constexpr float tilingMagicNumber = 256.0f;

// Every material section of a visual in file order: each
// renderSet/geometry/primitiveGroup/material. Empty for a null visual.
std::vector<DataSectionPtr> getMaterialsFromVisual(DataSectionPtr visual);

// Width and height of the texture named by the material's "normalMap"
// property, read from the file's header (DDS or PNG, told apart by their
// signature bytes). (-1, -1) when the property, the file or a readable header
// is missing; an unreadable header writes one warning naming the file.
Vector2 getNormalMapSize(DataSectionPtr material);

} // namespace MaterialPropertyHelper
