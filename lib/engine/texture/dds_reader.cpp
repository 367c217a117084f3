#include "engine/texture/dds_reader.h"

#include <bit>
#include <limits>

#include "engine/core/format.h"

namespace DdsReader {
namespace {

using namespace Render;

struct DxgiPair {
    uint32_t dxgi;
    ResourceFormat format;
};

// The first row of a format is the one the writer uses; typeless formats
// come after and are read as their UNORM relatives.
constexpr DxgiPair kDxgiFormats[] = {
    {2, RF_R32G32B32A32_FLOAT},
    {10, RF_R16G16B16A16_FLOAT},
    {11, RF_R16G16B16A16_UNORM},
    {16, RF_R32G32_FLOAT},
    {24, RF_R10G10B10A2_UNORM},
    {28, RF_R8G8B8A8_UNORM},
    {29, RF_R8G8B8A8_UNORM_SRGB},
    {34, RF_R16G16_FLOAT},
    {35, RF_R16G16_UNORM},
    {41, RF_R32_FLOAT},
    {49, RF_R8G8_UNORM},
    {54, RF_R16_FLOAT},
    {56, RF_R16_UNORM},
    {61, RF_R8_UNORM},
    {65, RF_A8_UNORM},
    {71, RF_BC1_UNORM},
    {72, RF_BC1_UNORM_SRGB},
    {74, RF_BC2_UNORM},
    {75, RF_BC2_UNORM_SRGB},
    {77, RF_BC3_UNORM},
    {78, RF_BC3_UNORM_SRGB},
    {80, RF_BC4_UNORM},
    {81, RF_BC4_SNORM},
    {83, RF_BC5_UNORM},
    {84, RF_BC5_SNORM},
    {85, RF_B5G6R5_UNORM},
    {86, RF_B5G5R5A1_UNORM},
    {87, RF_B8G8R8A8_UNORM},
    {88, RF_B8G8R8X8_UNORM},
    {91, RF_B8G8R8A8_UNORM_SRGB},
    {93, RF_B8G8R8X8_UNORM_SRGB},
    {95, RF_BC6H_UF16},
    {96, RF_BC6H_SF16},
    {98, RF_BC7_UNORM},
    {99, RF_BC7_UNORM_SRGB},
    {115, RF_B4G4R4A4_UNORM},
    // typeless
    {27, RF_R8G8B8A8_UNORM},
    {70, RF_BC1_UNORM},
    {73, RF_BC2_UNORM},
    {76, RF_BC3_UNORM},
    {79, RF_BC4_UNORM},
    {82, RF_BC5_UNORM},
    {90, RF_B8G8R8A8_UNORM},
    {92, RF_B8G8R8X8_UNORM},
    {94, RF_BC6H_UF16},
    {97, RF_BC7_UNORM},
};

constexpr uint32_t fourCC(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}

struct FourCCPair {
    uint32_t code;
    ResourceFormat format;
};

constexpr FourCCPair kFourCCFormats[] = {
    {fourCC('D', 'X', 'T', '1'), RF_BC1_UNORM},
    {fourCC('D', 'X', 'T', '2'), RF_BC2_UNORM},
    {fourCC('D', 'X', 'T', '3'), RF_BC2_UNORM},
    {fourCC('D', 'X', 'T', '4'), RF_BC3_UNORM},
    {fourCC('D', 'X', 'T', '5'), RF_BC3_UNORM},
    {fourCC('A', 'T', 'I', '1'), RF_BC4_UNORM},
    {fourCC('B', 'C', '4', 'U'), RF_BC4_UNORM},
    {fourCC('B', 'C', '4', 'S'), RF_BC4_SNORM},
    {fourCC('A', 'T', 'I', '2'), RF_BC5_UNORM},
    {fourCC('B', 'C', '5', 'U'), RF_BC5_UNORM},
    {fourCC('B', 'C', '5', 'S'), RF_BC5_SNORM},
    // Older writers store a Direct3D format number instead of four letters.
    {36, RF_R16G16B16A16_UNORM},
    {111, RF_R16_FLOAT},
    {112, RF_R16G16_FLOAT},
    {113, RF_R16G16B16A16_FLOAT},
    {114, RF_R32_FLOAT},
    {115, RF_R32G32_FLOAT},
    {116, RF_R32G32B32A32_FLOAT},
};

constexpr uint32_t kDx10FourCC = fourCC('D', 'X', '1', '0');
constexpr uint32_t kDx10MiscTextureCube = 0x4;
enum : uint32_t { kDimensionTexture1D = 2, kDimensionTexture2D = 3, kDimensionTexture3D = 4 };

uint32_t readU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

std::string describeFourCC(uint32_t code) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = char((code >> (8 * i)) & 0xFF);
        if (c < 0x20 || c > 0x7E) {
            return std::to_string(code);
        }
        text += c;
    }
    return "'" + text + "'";
}

struct PixelFormat {
    uint32_t flags, fourCC, bitCount, r, g, b, a;
};

struct MaskPair {
    uint32_t bitCount, r, g, b, a;
    ResourceFormat format;
};

constexpr MaskPair kRgbMasks[] = {
    {32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000, RF_B8G8R8A8_UNORM},
    {32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0, RF_B8G8R8X8_UNORM},
    {32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000, RF_R8G8B8A8_UNORM},
    {32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0, RF_R8G8B8X8_UNORM},
    {32, 0x000003FF, 0x000FFC00, 0x3FF00000, 0xC0000000, RF_R10G10B10A2_UNORM},
    {32, 0x0000FFFF, 0xFFFF0000, 0, 0, RF_R16G16_UNORM},
    {24, 0x00FF0000, 0x0000FF00, 0x000000FF, 0, RF_B8G8R8_UNORM},
    {16, 0xF800, 0x07E0, 0x001F, 0, RF_B5G6R5_UNORM},
    {16, 0x7C00, 0x03E0, 0x001F, 0x8000, RF_B5G5R5A1_UNORM},
    {16, 0x7C00, 0x03E0, 0x001F, 0, RF_B5G5R5A1_UNORM},
    {16, 0x0F00, 0x00F0, 0x000F, 0xF000, RF_B4G4R4A4_UNORM},
    {16, 0x0F00, 0x00F0, 0x000F, 0, RF_B4G4R4A4_UNORM},
    {16, 0x00FF, 0xFF00, 0, 0, RF_R8G8_UNORM},
    {16, 0xFFFF, 0, 0, 0, RF_R16_UNORM},
    {8, 0xFF, 0, 0, 0, RF_R8_UNORM},
};

ResourceFormat formatFromPixelFormat(const PixelFormat& pf, std::string& reason) {
    if (pf.flags & DDPF_FOURCC) {
        for (const FourCCPair& pair : kFourCCFormats) {
            if (pair.code == pf.fourCC) {
                return pair.format;
            }
        }
        reason = "unsupported FourCC " + describeFourCC(pf.fourCC);
        return RF_UNKNOWN;
    }
    const uint32_t alphaMask = (pf.flags & DDPF_ALPHAPIXELS) ? pf.a : 0;
    if (pf.flags & DDPF_RGB) {
        for (const MaskPair& pair : kRgbMasks) {
            if (pair.bitCount == pf.bitCount && pair.r == pf.r && pair.g == pf.g && pair.b == pf.b &&
                pair.a == alphaMask) {
                return pair.format;
            }
        }
        reason = formatString("unsupported RGB layout: %u bits, masks %08X %08X %08X %08X", pf.bitCount, pf.r,
                              pf.g, pf.b, alphaMask);
        return RF_UNKNOWN;
    }
    if (pf.flags & DDPF_LUMINANCE) {
        if (pf.bitCount == 8) {
            return RF_L8_UNORM;
        }
        if (pf.bitCount == 16) {
            return alphaMask != 0 ? RF_L8A8_UNORM : RF_L16_UNORM;
        }
        reason = formatString("unsupported luminance bit count %u", pf.bitCount);
        return RF_UNKNOWN;
    }
    if ((pf.flags & DDPF_ALPHA) && pf.bitCount == 8) {
        return RF_A8_UNORM;
    }
    reason = formatString("unsupported pixel format (flags %08X, %u bits)", pf.flags, pf.bitCount);
    return RF_UNKNOWN;
}

Info fail(std::string reason) {
    Info info;
    info.reason = std::move(reason);
    return info;
}

// Reads the extension header; returns false with `reason` set on refusal.
bool readDx10Header(const uint8_t* data, size_t size, Info& info, std::string& reason) {
    if (size < kDataOffsetDx10) {
        reason = formatString("file is %zu bytes, too short for the extended header", size);
        return false;
    }
    const uint8_t* header = data + kDataOffset;
    const uint32_t dxgi = readU32(header);
    const uint32_t dimension = readU32(header + 4);
    const uint32_t miscFlag = readU32(header + 8);
    const uint32_t arraySize = readU32(header + 12);
    info.format = formatFromDxgi(dxgi);
    if (info.format == RF_UNKNOWN) {
        reason = formatString("unsupported DXGI format %u", dxgi);
        return false;
    }
    if (dimension != kDimensionTexture1D && dimension != kDimensionTexture2D &&
        dimension != kDimensionTexture3D) {
        reason = formatString("unknown resource dimension %u", dimension);
        return false;
    }
    info.dx10Header = true;
    info.volume = dimension == kDimensionTexture3D;
    info.cubemap = (miscFlag & kDx10MiscTextureCube) != 0;
    // Some writers leave the array size at 0 for a single texture.
    info.imageCount = arraySize == 0 ? 1 : arraySize;
    if (info.volume && (info.imageCount > 1 || info.cubemap)) {
        reason = "contradictory header: a volume texture cannot be an array or a cube map";
        return false;
    }
    if (info.cubemap) {
        if (info.imageCount > std::numeric_limits<uint32_t>::max() / 6) {
            reason = formatString("array size %u is out of range", arraySize);
            return false;
        }
        info.imageCount *= 6;
    }
    return true;
}

} // namespace

ResourceFormat formatFromDxgi(uint32_t dxgiFormat) {
    for (const DxgiPair& pair : kDxgiFormats) {
        if (pair.dxgi == dxgiFormat) {
            return pair.format;
        }
    }
    return RF_UNKNOWN;
}

uint32_t dxgiFromFormat(ResourceFormat format) {
    for (const DxgiPair& pair : kDxgiFormats) {
        if (pair.format == format) {
            return pair.dxgi;
        }
    }
    return 0;
}

Info parse(const uint8_t* data, size_t size) {
    return parse(data, size, size);
}

Info parse(const uint8_t* data, size_t size, uint64_t fileSize) {
    if (fileSize < size) {
        return fail("inconsistent file size");
    }
    if (data == nullptr || size < 4) {
        return fail(formatString("file is %zu bytes, too short for a DDS file", size));
    }
    if (readU32(data) != kMagic) {
        return fail("not a DDS file (bad magic)");
    }
    if (size < kDataOffset) {
        return fail(
            formatString("header truncated: file is %zu bytes, the header needs %u", size, kDataOffset));
    }
    const uint8_t* header = data + 4;
    const uint32_t headerSize = readU32(header);
    const uint32_t flags = readU32(header + 4);
    const uint32_t height = readU32(header + 8);
    const uint32_t width = readU32(header + 12);
    const uint32_t depth = readU32(header + 20);
    const uint32_t mipMapCount = readU32(header + 24);
    const uint8_t* pfBytes = header + 72;
    const uint32_t pfSize = readU32(pfBytes);
    const PixelFormat pf{readU32(pfBytes + 4),  readU32(pfBytes + 8),  readU32(pfBytes + 12),
                         readU32(pfBytes + 16), readU32(pfBytes + 20), readU32(pfBytes + 24),
                         readU32(pfBytes + 28)};
    const uint32_t caps2 = readU32(header + 108);

    if (headerSize != kHeaderSize) {
        return fail(formatString("header size field is %u, expected %u", headerSize, kHeaderSize));
    }
    if (pfSize != kPixelFormatSize) {
        return fail(formatString("pixel format size field is %u, expected %u", pfSize, kPixelFormatSize));
    }
    if (width == 0 || height == 0) {
        return fail(formatString("invalid size %ux%u", width, height));
    }

    Info info;
    info.width = width;
    info.height = height;
    std::string reason;
    if ((pf.flags & DDPF_FOURCC) && pf.fourCC == kDx10FourCC) {
        if (!readDx10Header(data, size, info, reason)) {
            return fail(reason);
        }
        info.dataOffset = kDataOffsetDx10;
    } else {
        info.format = formatFromPixelFormat(pf, reason);
        if (info.format == RF_UNKNOWN) {
            return fail(reason);
        }
        info.dataOffset = kDataOffset;
        info.volume = (caps2 & DDSCAPS2_VOLUME) || ((flags & DDSD_DEPTH) && depth > 1);
        info.cubemap = (caps2 & DDSCAPS2_CUBEMAP) != 0;
        if (info.cubemap) {
            info.imageCount = uint32_t(std::popcount(caps2 & DDSCAPS2_CUBEMAP_ALLFACES));
            if (info.imageCount == 0) {
                return fail("contradictory header: cube map without any face");
            }
            if (info.volume) {
                return fail("contradictory header: both a cube map and a volume texture");
            }
        }
    }
    info.depth = info.volume ? (depth == 0 ? 1 : depth) : 1;
    info.mipCount = mipMapCount > 0 ? mipMapCount : 1;
    const uint32_t longestChain = getFullMipChainLength(width, height, info.depth);
    if (info.mipCount > longestChain) {
        return fail(formatString("header claims %u mip levels, but a %ux%u texture has at most %u",
                                 info.mipCount, width, height, longestChain));
    }

    // Levels of one image: volumes store all slices of a level before the next level.
    uint64_t imageBytes = 0;
    uint32_t levelWidth = width, levelHeight = height, levelDepth = info.depth;
    for (uint32_t mip = 0; mip < info.mipCount; ++mip) {
        SurfaceLayout layout;
        uint64_t levelBytes = 0;
        if (!getSurfaceLayout(info.format, levelWidth, levelHeight, layout) ||
            !multiplyChecked(layout.bytes, levelDepth, levelBytes) ||
            imageBytes > std::numeric_limits<uint64_t>::max() - levelBytes) {
            return fail(formatString("size %ux%ux%u is out of range", width, height, info.depth));
        }
        Level level;
        level.width = levelWidth;
        level.height = levelHeight;
        level.offset = info.dataOffset + imageBytes;
        level.bytes = layout.bytes;
        level.rowPitch = layout.rowPitch;
        level.rowCount = layout.rowCount;
        info.levels.push_back(level);
        imageBytes += levelBytes;
        levelWidth = levelWidth > 1 ? levelWidth / 2 : 1;
        levelHeight = levelHeight > 1 ? levelHeight / 2 : 1;
        levelDepth = levelDepth > 1 ? levelDepth / 2 : 1;
    }
    if (!multiplyChecked(imageBytes, info.imageCount, info.dataBytesRequired)) {
        return fail("data size is out of range");
    }
    const uint64_t available = fileSize - info.dataOffset;
    if (info.dataBytesRequired > available) {
        return fail(
            formatString("data truncated: %ux%u %s with %u level(s) and %u image(s) needs %llu bytes, "
                         "the file holds %llu",
                         width, height, getResourceFormatName(info.format), info.mipCount, info.imageCount,
                         static_cast<unsigned long long>(info.dataBytesRequired),
                         static_cast<unsigned long long>(available)));
    }
    info.success = true;
    return info;
}

} // namespace DdsReader
