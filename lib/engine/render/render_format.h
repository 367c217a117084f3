#pragma once

#include <cstdint>

// Pixel formats of GPU resources. The numbering is ours and stable: tools print
// the numbers and content rules compare against them, so values are never
// reused or renumbered; new formats go before RF_FORMAT_COUNT.
namespace Render {

enum ResourceFormat : uint32_t {
    RF_UNKNOWN = 0,
    RF_R8G8B8A8_UNORM = 1,
    RF_R8G8B8A8_UNORM_SRGB = 2,
    RF_B8G8R8A8_UNORM = 3,
    RF_B8G8R8A8_UNORM_SRGB = 4,
    RF_B8G8R8X8_UNORM = 5,
    RF_B8G8R8X8_UNORM_SRGB = 6,
    RF_R8G8B8X8_UNORM = 7, // 32-bit RGB whose fourth byte is unused
    RF_B8G8R8_UNORM = 8,   // 24-bit, blue in the lowest byte
    RF_R8_UNORM = 9,
    RF_L8_UNORM = 10, // luminance: one value read as grey
    RF_A8_UNORM = 11,
    RF_R8G8_UNORM = 12,
    RF_L8A8_UNORM = 13,
    RF_R16_UNORM = 14,
    RF_L16_UNORM = 15,
    RF_B5G6R5_UNORM = 16,
    RF_BC1_UNORM = 17,
    RF_BC1_UNORM_SRGB = 18,
    RF_BC2_UNORM = 19,
    RF_BC2_UNORM_SRGB = 20,
    RF_BC3_UNORM = 21,
    RF_BC3_UNORM_SRGB = 22,
    RF_BC4_UNORM = 23,
    RF_BC4_SNORM = 24,
    RF_BC5_UNORM = 25,
    RF_BC5_SNORM = 26,
    RF_BC6H_UF16 = 27,
    RF_BC6H_SF16 = 28,
    RF_BC7_UNORM = 29,
    RF_BC7_UNORM_SRGB = 30,
    RF_B5G5R5A1_UNORM = 31,
    RF_B4G4R4A4_UNORM = 32,
    RF_R10G10B10A2_UNORM = 33,
    RF_R16G16_UNORM = 34,
    RF_R16G16B16A16_UNORM = 35,
    RF_R16G16B16A16_FLOAT = 36,
    RF_R16_FLOAT = 37,
    RF_R16G16_FLOAT = 38,
    RF_R32_FLOAT = 39,
    RF_R32G32_FLOAT = 40,
    RF_R32G32B32A32_FLOAT = 41,
    RF_FORMAT_COUNT
};

// Readable name without the prefix, e.g. "BC1_UNORM"; "UNKNOWN" for values
// outside the enumeration.
const char* getResourceFormatName(ResourceFormat format);

// For block-compressed formats: the block size in pixels and in bytes, and
// true. False (outputs untouched) for every other format.
bool getBlockCompressionInfo(ResourceFormat format, uint32_t& blockWidth, uint32_t& blockHeight,
                             uint32_t& blockBytes);

bool isKnownFormat(ResourceFormat format);
bool isBlockCompressed(ResourceFormat format);
bool isSrgb(ResourceFormat format);
// Bits per pixel of an uncompressed format; 0 for compressed or unknown ones.
uint32_t getBitsPerPixel(ResourceFormat format);

// Byte layout of one 2D surface. Rows are tightly packed: a row is one line of
// pixels, or one line of blocks for block-compressed formats.
struct SurfaceLayout {
    uint64_t rowPitch = 0;
    uint64_t rowCount = 0;
    uint64_t bytes = 0;
};

// False for unknown formats, a zero side or a size beyond 64 bits.
bool getSurfaceLayout(ResourceFormat format, uint32_t width, uint32_t height, SurfaceLayout& layout);

// a * b into `result`; false (result untouched) when it would overflow.
bool multiplyChecked(uint64_t a, uint64_t b, uint64_t& result);

// Number of levels of a complete mip chain down to 1x1.
uint32_t getFullMipChainLength(uint32_t width, uint32_t height, uint32_t depth = 1);

} // namespace Render
