#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/texture/rgba_image.h"

// PNG decoding through libpng: every colour type, bit depth and interlace
// method, expanded to 8-bit RGBA (16-bit samples are scaled, grey is repeated
// into green and blue, missing alpha is 255). Gamma and colour-space chunks are
// not applied. Corrupt files fail with libpng's own explanation.
namespace PngReader {

struct Header {
    uint32_t width = 0;
    uint32_t height = 0;
    int bitDepth = 0;
    int colorType = 0;
    bool interlaced = false;
};

bool isPng(const uint8_t* data, size_t size);

// Decodes a whole file held in memory. `channelMask` receives the channels
// the file holds (Channels:: bits): grey counts as red, transparency as alpha.
bool decode(const uint8_t* data, size_t size, RgbaImage& image, uint32_t& channelMask, Header& header,
            std::string& reason);

} // namespace PngReader
