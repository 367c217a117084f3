#include "engine/render/render_format.h"

#include <array>
#include <limits>

namespace Render {
namespace {

struct FormatDescription {
    ResourceFormat format;
    const char* name;
    uint32_t bitsPerPixel; // uncompressed formats
    uint32_t blockBytes;   // block-compressed formats (4x4 blocks)
    bool srgb;
};

constexpr std::array<FormatDescription, RF_FORMAT_COUNT> kFormats = {{
    {RF_UNKNOWN, "UNKNOWN", 0, 0, false},
    {RF_R8G8B8A8_UNORM, "R8G8B8A8_UNORM", 32, 0, false},
    {RF_R8G8B8A8_UNORM_SRGB, "R8G8B8A8_UNORM_SRGB", 32, 0, true},
    {RF_B8G8R8A8_UNORM, "B8G8R8A8_UNORM", 32, 0, false},
    {RF_B8G8R8A8_UNORM_SRGB, "B8G8R8A8_UNORM_SRGB", 32, 0, true},
    {RF_B8G8R8X8_UNORM, "B8G8R8X8_UNORM", 32, 0, false},
    {RF_B8G8R8X8_UNORM_SRGB, "B8G8R8X8_UNORM_SRGB", 32, 0, true},
    {RF_R8G8B8X8_UNORM, "R8G8B8X8_UNORM", 32, 0, false},
    {RF_B8G8R8_UNORM, "B8G8R8_UNORM", 24, 0, false},
    {RF_R8_UNORM, "R8_UNORM", 8, 0, false},
    {RF_L8_UNORM, "L8_UNORM", 8, 0, false},
    {RF_A8_UNORM, "A8_UNORM", 8, 0, false},
    {RF_R8G8_UNORM, "R8G8_UNORM", 16, 0, false},
    {RF_L8A8_UNORM, "L8A8_UNORM", 16, 0, false},
    {RF_R16_UNORM, "R16_UNORM", 16, 0, false},
    {RF_L16_UNORM, "L16_UNORM", 16, 0, false},
    {RF_B5G6R5_UNORM, "B5G6R5_UNORM", 16, 0, false},
    {RF_BC1_UNORM, "BC1_UNORM", 0, 8, false},
    {RF_BC1_UNORM_SRGB, "BC1_UNORM_SRGB", 0, 8, true},
    {RF_BC2_UNORM, "BC2_UNORM", 0, 16, false},
    {RF_BC2_UNORM_SRGB, "BC2_UNORM_SRGB", 0, 16, true},
    {RF_BC3_UNORM, "BC3_UNORM", 0, 16, false},
    {RF_BC3_UNORM_SRGB, "BC3_UNORM_SRGB", 0, 16, true},
    {RF_BC4_UNORM, "BC4_UNORM", 0, 8, false},
    {RF_BC4_SNORM, "BC4_SNORM", 0, 8, false},
    {RF_BC5_UNORM, "BC5_UNORM", 0, 16, false},
    {RF_BC5_SNORM, "BC5_SNORM", 0, 16, false},
    {RF_BC6H_UF16, "BC6H_UF16", 0, 16, false},
    {RF_BC6H_SF16, "BC6H_SF16", 0, 16, false},
    {RF_BC7_UNORM, "BC7_UNORM", 0, 16, false},
    {RF_BC7_UNORM_SRGB, "BC7_UNORM_SRGB", 0, 16, true},
    {RF_B5G5R5A1_UNORM, "B5G5R5A1_UNORM", 16, 0, false},
    {RF_B4G4R4A4_UNORM, "B4G4R4A4_UNORM", 16, 0, false},
    {RF_R10G10B10A2_UNORM, "R10G10B10A2_UNORM", 32, 0, false},
    {RF_R16G16_UNORM, "R16G16_UNORM", 32, 0, false},
    {RF_R16G16B16A16_UNORM, "R16G16B16A16_UNORM", 64, 0, false},
    {RF_R16G16B16A16_FLOAT, "R16G16B16A16_FLOAT", 64, 0, false},
    {RF_R16_FLOAT, "R16_FLOAT", 16, 0, false},
    {RF_R16G16_FLOAT, "R16G16_FLOAT", 32, 0, false},
    {RF_R32_FLOAT, "R32_FLOAT", 32, 0, false},
    {RF_R32G32_FLOAT, "R32G32_FLOAT", 64, 0, false},
    {RF_R32G32B32A32_FLOAT, "R32G32B32A32_FLOAT", 128, 0, false},
}};

// The table is indexed by value; a misplaced row would silently misname a format.
constexpr bool tableMatchesEnumeration() {
    for (uint32_t i = 0; i < kFormats.size(); ++i) {
        if (kFormats[i].format != i) {
            return false;
        }
    }
    return true;
}
static_assert(tableMatchesEnumeration(), "format table out of order");

const FormatDescription& describe(ResourceFormat format) {
    return format < RF_FORMAT_COUNT ? kFormats[format] : kFormats[RF_UNKNOWN];
}

} // namespace

const char* getResourceFormatName(ResourceFormat format) {
    return describe(format).name;
}

bool getBlockCompressionInfo(ResourceFormat format, uint32_t& blockWidth, uint32_t& blockHeight,
                             uint32_t& blockBytes) {
    const FormatDescription& description = describe(format);
    if (description.blockBytes == 0) {
        return false;
    }
    blockWidth = 4;
    blockHeight = 4;
    blockBytes = description.blockBytes;
    return true;
}

bool isKnownFormat(ResourceFormat format) {
    return format != RF_UNKNOWN && format < RF_FORMAT_COUNT;
}

bool isBlockCompressed(ResourceFormat format) {
    return describe(format).blockBytes != 0;
}

bool isSrgb(ResourceFormat format) {
    return describe(format).srgb;
}

uint32_t getBitsPerPixel(ResourceFormat format) {
    return describe(format).bitsPerPixel;
}

bool getSurfaceLayout(ResourceFormat format, uint32_t width, uint32_t height, SurfaceLayout& layout) {
    const FormatDescription& description = describe(format);
    if (width == 0 || height == 0) {
        return false;
    }
    SurfaceLayout result;
    if (description.blockBytes != 0) {
        const uint64_t blocksWide = (uint64_t(width) + 3) / 4;
        result.rowCount = (uint64_t(height) + 3) / 4;
        result.rowPitch = blocksWide * description.blockBytes;
    } else if (description.bitsPerPixel != 0) {
        result.rowCount = height;
        result.rowPitch = (uint64_t(width) * description.bitsPerPixel + 7) / 8;
    } else {
        return false;
    }
    if (!multiplyChecked(result.rowPitch, result.rowCount, result.bytes)) {
        return false;
    }
    layout = result;
    return true;
}

bool multiplyChecked(uint64_t a, uint64_t b, uint64_t& result) {
    if (a != 0 && b > std::numeric_limits<uint64_t>::max() / a) {
        return false;
    }
    result = a * b;
    return true;
}

uint32_t getFullMipChainLength(uint32_t width, uint32_t height, uint32_t depth) {
    uint32_t largest = width > height ? width : height;
    largest = largest > depth ? largest : depth;
    uint32_t levels = 1;
    while (largest > 1) {
        largest >>= 1;
        ++levels;
    }
    return levels;
}

} // namespace Render
