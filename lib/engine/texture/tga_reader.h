#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/texture/rgba_image.h"

// TGA decoding: colour-mapped (8-bit indices into 15/16/24/32-bit maps),
// true-colour (15/16/24/32 bits) and grey (8 bits, or 16 with alpha), raw or
// run-length encoded, any origin corner. TGA has no signature, so callers
// choose it by extension.
namespace TgaReader {

bool decode(const uint8_t* data, size_t size, RgbaImage& image, uint32_t& channelMask, std::string& reason);

} // namespace TgaReader
