#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Bits of an image's channel mask: which channels the source actually holds.
// A grey source holds only red (its value is repeated in green and blue when
// it is expanded to RGBA).
namespace Channels {
constexpr uint32_t Red = 1;
constexpr uint32_t Green = 2;
constexpr uint32_t Blue = 4;
constexpr uint32_t Alpha = 8;
constexpr uint32_t Rgb = Red | Green | Blue;
constexpr uint32_t Rgba = Rgb | Alpha;
} // namespace Channels

// The most pixels a loader decodes into memory (8192 x 8192, 256 MB as
// RGBA). A compressed file can claim far more than its size suggests; larger
// images are refused before anything is allocated.
constexpr uint64_t kMaxDecodedPixels = uint64_t(8192) * 8192;

// Eight bits per channel, R G B A byte order, rows top to bottom, no padding.
struct RgbaImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> pixels;

    bool empty() const { return width == 0 || height == 0; }
    size_t byteCount() const { return size_t(width) * height * 4; }
    // True when `pixels` holds exactly width x height pixels.
    bool isConsistent() const { return !empty() && pixels.size() == byteCount(); }

    // The next mip level: each side halved (at least 1), each output pixel the
    // rounded average of the 2x2 (or 2x1, 1x2) source pixels it covers.
    static RgbaImage downsample(const RgbaImage& image);
};
