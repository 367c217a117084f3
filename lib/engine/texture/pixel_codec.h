#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/render/render_format.h"
#include "engine/texture/rgba_image.h"

// Conversion between one stored surface (tightly packed rows, see
// Render::getSurfaceLayout) and 8-bit RGBA.
namespace PixelCodec {

// Decodable: every uncompressed format and BC1 to BC5 (unsigned). BC4/BC5
// signed, BC6H and BC7 are not decoded.
bool canDecode(Render::ResourceFormat format);
// Encodable: the 8-bit formats and BC1 to BC5 (unsigned).
bool canEncode(Render::ResourceFormat format);
// Channels a format holds (Channels:: bits); luminance counts as red.
uint32_t channelMask(Render::ResourceFormat format);

// `data` must hold the whole surface of width x height.
bool decode(Render::ResourceFormat format, const uint8_t* data, size_t size, uint32_t width, uint32_t height,
            RgbaImage& image, std::string& reason);
bool encode(Render::ResourceFormat format, const RgbaImage& image, std::vector<uint8_t>& data,
            std::string& reason);
// Whether the red value of every pixel of the surface lies in [low, high]:
// the answer decode() and a scan of its pixels would give, with the same
// failures. A BC1 to BC3 block whose palette lies in range is answered from
// its two end colours, undecoded.
// Whether the red value of every pixel of 8-bit RGBA rows lies in [low, high].
bool redsWithin(const std::vector<uint8_t>& rgba, uint8_t low, uint8_t high);
bool redWithin(Render::ResourceFormat format, const uint8_t* data, size_t size, uint32_t width,
               uint32_t height, uint8_t low, uint8_t high, bool& within, std::string& reason);

} // namespace PixelCodec
