#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/render/render_format.h"

// Writers of real texture files, for tests, samples and benchmarks. Input
// pixels are always 8-bit RGBA, rows top to bottom (width * height * 4 bytes).
namespace AssetWriters {

struct WriteResult {
    bool success = false;
    std::string reason;
    explicit operator bool() const { return success; }
};

struct Colour {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    uint8_t a = 255;
};

std::vector<uint8_t> makeSolidImage(uint32_t width, uint32_t height, Colour colour);
// Red rises from left (0) to right (255), green from top to bottom; blue and
// alpha are constant.
std::vector<uint8_t> makeGradientImage(uint32_t width, uint32_t height, uint8_t blue = 128,
                                       uint8_t alpha = 255);

// A DDS file in `format`: BC1 to BC5 (block data compressed from the pixels)
// or an 8-bit uncompressed format (R8G8B8A8, B8G8R8A8, B8G8R8X8, R8G8B8X8,
// B8G8R8, R8, L8, A8, R8G8, L8A8). sRGB variants get the extension header,
// the rest the legacy header. `mipCount` 0 writes the full chain down to 1x1,
// any other value that many levels (at most the full chain); each level is a
// box-filtered half of the one before.
WriteResult buildDDS(uint32_t width, uint32_t height, Render::ResourceFormat format,
                     const std::vector<uint8_t>& rgbaPixels, uint32_t mipCount,
                     std::vector<uint8_t>& fileBytes);
WriteResult writeDDS(const std::string& path, uint32_t width, uint32_t height, Render::ResourceFormat format,
                     const std::vector<uint8_t>& rgbaPixels, uint32_t mipCount = 0);

// An 8-bit PNG with 1 (grey, taken from red), 2 (grey and alpha), 3 (RGB) or
// 4 (RGBA) channels.
WriteResult buildPNG(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgbaPixels,
                     uint32_t channels, std::vector<uint8_t>& fileBytes);
WriteResult writePNG(const std::string& path, uint32_t width, uint32_t height,
                     const std::vector<uint8_t>& rgbaPixels, uint32_t channels = 4);

// Writes bytes to a disk path (UTF-8), creating missing folders.
WriteResult writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

} // namespace AssetWriters
