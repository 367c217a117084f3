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

// Bytes from the start of a file that hold the signature and the IHDR chunk.
constexpr size_t kHeaderBytes = 8 + 8 + 13 + 4;

// Reads the header from the first `size` bytes of a file of `fileSize` bytes:
// signature, IHDR with its CRC, a valid depth and colour type, and the same
// size limits `decode` applies, so that a header that passes describes a file
// `decode` does not refuse for its size. Pixel data is not looked at.
bool readHeader(const uint8_t* data, size_t size, uint64_t fileSize, Header& header, std::string& reason);

// Decodes a whole file held in memory. `channelMask` receives the channels
// the file holds (Channels:: bits): grey counts as red, transparency as alpha.
bool decode(const uint8_t* data, size_t size, RgbaImage& image, uint32_t& channelMask, Header& header,
            std::string& reason);

} // namespace PngReader
