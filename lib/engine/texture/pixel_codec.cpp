#include "engine/texture/pixel_codec.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <squish.h>

#include "engine/core/format.h"

namespace PixelCodec {
namespace {

using namespace Render;

uint16_t readU16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
uint32_t readU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Rescales an n-bit unsigned value to 0..255 with rounding.
uint8_t expandBits(uint32_t value, uint32_t bits) {
    const uint32_t maxValue = (1u << bits) - 1;
    return uint8_t((value * 255 + maxValue / 2) / maxValue);
}

uint8_t unitToByte(float value) {
    if (!(value > 0.f)) { // also catches NaN
        return 0;
    }
    if (value >= 1.f) {
        return 255;
    }
    return uint8_t(std::lround(value * 255.f));
}

float halfToFloat(uint16_t half) {
    const int exponent = (half >> 10) & 0x1F;
    const int mantissa = half & 0x3FF;
    float value;
    if (exponent == 0) {
        value = std::ldexp(float(mantissa), -24);
    } else if (exponent == 31) {
        value = mantissa ? NAN : INFINITY;
    } else {
        value = std::ldexp(float(mantissa | 0x400), exponent - 25);
    }
    return (half & 0x8000) ? -value : value;
}

float readFloat(const uint8_t* p) {
    const uint32_t bits = readU32(p);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void setPixel(uint8_t* out, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    out[0] = r;
    out[1] = g;
    out[2] = b;
    out[3] = a;
}

// One pixel of an uncompressed format; false for formats it does not know.
bool decodePixel(ResourceFormat format, const uint8_t* p, uint8_t* out) {
    switch (format) {
    case RF_R8G8B8A8_UNORM:
    case RF_R8G8B8A8_UNORM_SRGB:
        setPixel(out, p[0], p[1], p[2], p[3]);
        return true;
    case RF_R8G8B8X8_UNORM:
        setPixel(out, p[0], p[1], p[2], 255);
        return true;
    case RF_B8G8R8A8_UNORM:
    case RF_B8G8R8A8_UNORM_SRGB:
        setPixel(out, p[2], p[1], p[0], p[3]);
        return true;
    case RF_B8G8R8X8_UNORM:
    case RF_B8G8R8X8_UNORM_SRGB:
    case RF_B8G8R8_UNORM:
        setPixel(out, p[2], p[1], p[0], 255);
        return true;
    case RF_R8_UNORM:
        setPixel(out, p[0], 0, 0, 255);
        return true;
    case RF_L8_UNORM:
        setPixel(out, p[0], p[0], p[0], 255);
        return true;
    case RF_A8_UNORM:
        setPixel(out, 0, 0, 0, p[0]);
        return true;
    case RF_R8G8_UNORM:
        setPixel(out, p[0], p[1], 0, 255);
        return true;
    case RF_L8A8_UNORM:
        setPixel(out, p[0], p[0], p[0], p[1]);
        return true;
    case RF_R16_UNORM:
        setPixel(out, expandBits(readU16(p), 16), 0, 0, 255);
        return true;
    case RF_L16_UNORM: {
        const uint8_t grey = expandBits(readU16(p), 16);
        setPixel(out, grey, grey, grey, 255);
        return true;
    }
    case RF_B5G6R5_UNORM: {
        const uint32_t v = readU16(p);
        setPixel(out, expandBits(v >> 11, 5), expandBits((v >> 5) & 63, 6), expandBits(v & 31, 5), 255);
        return true;
    }
    case RF_B5G5R5A1_UNORM: {
        const uint32_t v = readU16(p);
        setPixel(out, expandBits((v >> 10) & 31, 5), expandBits((v >> 5) & 31, 5), expandBits(v & 31, 5),
                 (v & 0x8000) ? 255 : 0);
        return true;
    }
    case RF_B4G4R4A4_UNORM: {
        const uint32_t v = readU16(p);
        setPixel(out, expandBits((v >> 8) & 15, 4), expandBits((v >> 4) & 15, 4), expandBits(v & 15, 4),
                 expandBits(v >> 12, 4));
        return true;
    }
    case RF_R10G10B10A2_UNORM: {
        const uint32_t v = readU32(p);
        setPixel(out, expandBits(v & 1023, 10), expandBits((v >> 10) & 1023, 10),
                 expandBits((v >> 20) & 1023, 10), expandBits(v >> 30, 2));
        return true;
    }
    case RF_R16G16_UNORM:
        setPixel(out, expandBits(readU16(p), 16), expandBits(readU16(p + 2), 16), 0, 255);
        return true;
    case RF_R16G16B16A16_UNORM:
        setPixel(out, expandBits(readU16(p), 16), expandBits(readU16(p + 2), 16),
                 expandBits(readU16(p + 4), 16), expandBits(readU16(p + 6), 16));
        return true;
    case RF_R16_FLOAT:
        setPixel(out, unitToByte(halfToFloat(readU16(p))), 0, 0, 255);
        return true;
    case RF_R16G16_FLOAT:
        setPixel(out, unitToByte(halfToFloat(readU16(p))), unitToByte(halfToFloat(readU16(p + 2))), 0, 255);
        return true;
    case RF_R16G16B16A16_FLOAT:
        setPixel(out, unitToByte(halfToFloat(readU16(p))), unitToByte(halfToFloat(readU16(p + 2))),
                 unitToByte(halfToFloat(readU16(p + 4))), unitToByte(halfToFloat(readU16(p + 6))));
        return true;
    case RF_R32_FLOAT:
        setPixel(out, unitToByte(readFloat(p)), 0, 0, 255);
        return true;
    case RF_R32G32_FLOAT:
        setPixel(out, unitToByte(readFloat(p)), unitToByte(readFloat(p + 4)), 0, 255);
        return true;
    case RF_R32G32B32A32_FLOAT:
        setPixel(out, unitToByte(readFloat(p)), unitToByte(readFloat(p + 4)), unitToByte(readFloat(p + 8)),
                 unitToByte(readFloat(p + 12)));
        return true;
    default:
        return false;
    }
}

// A BC4 block (also each half of BC5 and the alpha half of BC3): two
// endpoints and sixteen 3-bit indices into an 8-entry palette.
void decodeBc4Block(const uint8_t* block, uint8_t values[16]) {
    const uint32_t e0 = block[0], e1 = block[1];
    uint8_t palette[8] = {uint8_t(e0), uint8_t(e1)};
    if (e0 > e1) {
        for (uint32_t i = 1; i < 7; ++i) {
            palette[i + 1] = uint8_t(((7 - i) * e0 + i * e1 + 3) / 7);
        }
    } else {
        for (uint32_t i = 1; i < 5; ++i) {
            palette[i + 1] = uint8_t(((5 - i) * e0 + i * e1 + 2) / 5);
        }
        palette[6] = 0;
        palette[7] = 255;
    }
    uint64_t indices = 0;
    for (int i = 0; i < 6; ++i) {
        indices |= uint64_t(block[2 + i]) << (8 * i);
    }
    for (int i = 0; i < 16; ++i) {
        values[i] = palette[(indices >> (3 * i)) & 7];
    }
}

// Endpoints at the extremes, each value to its nearest palette entry. Plain,
// but exact for flat and two-valued blocks, which is what content checks probe.
void encodeBc4Block(const uint8_t values[16], uint8_t* block) {
    const uint8_t high = *std::max_element(values, values + 16);
    const uint8_t low = *std::min_element(values, values + 16);
    block[0] = high;
    block[1] = low;
    uint64_t indices = 0;
    if (high != low) {
        for (int i = 0; i < 16; ++i) {
            // Palette position 0..7 along the ramp from high to low.
            const uint32_t step = uint32_t(std::lround(7.0 * (high - values[i]) / double(high - low)));
            static const uint8_t kRampToIndex[8] = {0, 2, 3, 4, 5, 6, 7, 1};
            indices |= uint64_t(kRampToIndex[step]) << (3 * i);
        }
    }
    for (int i = 0; i < 6; ++i) {
        block[2 + i] = uint8_t(indices >> (8 * i));
    }
}

int squishFlags(ResourceFormat format) {
    switch (format) {
    case RF_BC1_UNORM:
    case RF_BC1_UNORM_SRGB:
        return squish::kDxt1;
    case RF_BC2_UNORM:
    case RF_BC2_UNORM_SRGB:
        return squish::kDxt3;
    case RF_BC3_UNORM:
    case RF_BC3_UNORM_SRGB:
        return squish::kDxt5;
    default:
        return 0;
    }
}

bool isOwnBcFormat(ResourceFormat format) {
    return format == RF_BC4_UNORM || format == RF_BC5_UNORM;
}

// Decodes one 4x4 block into 16 RGBA pixels.
void decodeBlock(ResourceFormat format, const uint8_t* block, uint8_t* rgba) {
    if (const int flags = squishFlags(format)) {
        squish::Decompress(rgba, block, flags);
        return;
    }
    uint8_t red[16], green[16] = {};
    decodeBc4Block(block, red);
    if (format == RF_BC5_UNORM) {
        decodeBc4Block(block + 8, green);
    }
    for (int i = 0; i < 16; ++i) {
        setPixel(rgba + 4 * i, red[i], green[i], 0, 255);
    }
}

// Calls visit(block, column, row) for every block of a surface, in storage
// order, until it returns false.
template <typename Visit>
void forEachBlock(ResourceFormat format, const uint8_t* data, const SurfaceLayout& layout, Visit visit) {
    uint32_t blockWidth = 0, blockHeight = 0, blockBytes = 0;
    getBlockCompressionInfo(format, blockWidth, blockHeight, blockBytes);
    for (uint64_t by = 0; by < layout.rowCount; ++by) {
        const uint8_t* row = data + by * layout.rowPitch;
        for (uint64_t bx = 0; bx * blockBytes < layout.rowPitch; ++bx) {
            if (!visit(row + bx * blockBytes, bx, by)) {
                return;
            }
        }
    }
}

bool decodeBlocks(ResourceFormat format, const uint8_t* data, const SurfaceLayout& layout, uint32_t width,
                  uint32_t height, RgbaImage& image) {
    uint8_t rgba[16 * 4];
    forEachBlock(format, data, layout, [&](const uint8_t* block, uint64_t bx, uint64_t by) {
        decodeBlock(format, block, rgba);
        for (uint32_t py = 0; py < 4; ++py) {
            const uint64_t y = by * 4 + py;
            for (uint32_t px = 0; px < 4 && y < height; ++px) {
                const uint64_t x = bx * 4 + px;
                if (x < width) {
                    std::memcpy(&image.pixels[(y * width + x) * 4], rgba + (py * 4 + px) * 4, 4);
                }
            }
        }
        return true;
    });
    return true;
}

// Squared colour error of a decoded block against its source; BC1 pixels
// that came out transparent carry no colour.
uint32_t colourError(const uint8_t* source, const uint8_t* decoded) {
    uint32_t error = 0;
    for (int i = 0; i < 16; ++i) {
        if (decoded[i * 4 + 3] == 0 && source[i * 4 + 3] < 128) {
            continue;
        }
        for (int c = 0; c < 3; ++c) {
            const int d = int(source[i * 4 + c]) - int(decoded[i * 4 + c]);
            error += uint32_t(d * d);
        }
    }
    return error;
}

// The fast range fit first; a block it renders badly (its axis estimate can
// miss, e.g. on anti-correlated channels) gets the slow cluster fit.
void encodeSquishBlock(int flags, const uint8_t* pixels, uint8_t* block) {
    constexpr uint32_t kRetryError = 16 * 3 * 8 * 8; // about 8 levels per channel
    squish::Compress(pixels, block, flags | squish::kColourRangeFit);
    uint8_t decoded[16 * 4];
    squish::Decompress(decoded, block, flags);
    if (colourError(pixels, decoded) > kRetryError) {
        squish::Compress(pixels, block, flags | squish::kColourClusterFit);
    }
}

void encodeBlocks(ResourceFormat format, const RgbaImage& image, uint8_t* out) {
    uint32_t blockWidth = 0, blockHeight = 0, blockBytes = 0;
    getBlockCompressionInfo(format, blockWidth, blockHeight, blockBytes);
    const uint32_t blocksWide = (image.width + 3) / 4;
    const uint32_t blocksHigh = (image.height + 3) / 4;
    const int flags = squishFlags(format);
    uint8_t pixels[16 * 4];
    for (uint32_t by = 0; by < blocksHigh; ++by) {
        for (uint32_t bx = 0; bx < blocksWide; ++bx) {
            for (uint32_t i = 0; i < 16; ++i) {
                // Edge blocks repeat the last row and column.
                const uint32_t x = std::min(bx * 4 + i % 4, image.width - 1);
                const uint32_t y = std::min(by * 4 + i / 4, image.height - 1);
                std::memcpy(pixels + i * 4, &image.pixels[(size_t(y) * image.width + x) * 4], 4);
            }
            uint8_t* block = out + (size_t(by) * blocksWide + bx) * blockBytes;
            if (flags != 0) {
                encodeSquishBlock(flags, pixels, block);
                continue;
            }
            uint8_t red[16], green[16];
            for (int i = 0; i < 16; ++i) {
                red[i] = pixels[i * 4];
                green[i] = pixels[i * 4 + 1];
            }
            encodeBc4Block(red, block);
            if (format == RF_BC5_UNORM) {
                encodeBc4Block(green, block + 8);
            }
        }
    }
}

// Byte order of the encodable uncompressed formats: source channel per byte
// (0..3 = R G B A, 4 = constant 255).
bool uncompressedLayout(ResourceFormat format, std::vector<int>& order) {
    switch (format) {
    case RF_R8G8B8A8_UNORM:
    case RF_R8G8B8A8_UNORM_SRGB:
        order = {0, 1, 2, 3};
        return true;
    case RF_R8G8B8X8_UNORM:
        order = {0, 1, 2, 4};
        return true;
    case RF_B8G8R8A8_UNORM:
    case RF_B8G8R8A8_UNORM_SRGB:
        order = {2, 1, 0, 3};
        return true;
    case RF_B8G8R8X8_UNORM:
    case RF_B8G8R8X8_UNORM_SRGB:
        order = {2, 1, 0, 4};
        return true;
    case RF_B8G8R8_UNORM:
        order = {2, 1, 0};
        return true;
    case RF_R8_UNORM:
    case RF_L8_UNORM:
        order = {0};
        return true;
    case RF_A8_UNORM:
        order = {3};
        return true;
    case RF_R8G8_UNORM:
        order = {0, 1};
        return true;
    case RF_L8A8_UNORM:
        order = {0, 3};
        return true;
    default:
        return false;
    }
}

} // namespace

bool canDecode(ResourceFormat format) {
    if (squishFlags(format) != 0 || isOwnBcFormat(format)) {
        return true;
    }
    uint8_t probe[16] = {}, out[4];
    return !isBlockCompressed(format) && decodePixel(format, probe, out);
}

bool canEncode(ResourceFormat format) {
    std::vector<int> order;
    return squishFlags(format) != 0 || isOwnBcFormat(format) || uncompressedLayout(format, order);
}

uint32_t channelMask(ResourceFormat format) {
    switch (format) {
    case RF_UNKNOWN:
        return 0;
    case RF_R8_UNORM:
    case RF_L8_UNORM:
    case RF_R16_UNORM:
    case RF_L16_UNORM:
    case RF_R16_FLOAT:
    case RF_R32_FLOAT:
    case RF_BC4_UNORM:
    case RF_BC4_SNORM:
        return Channels::Red;
    case RF_A8_UNORM:
        return Channels::Alpha;
    case RF_L8A8_UNORM:
        return Channels::Red | Channels::Alpha;
    case RF_R8G8_UNORM:
    case RF_R16G16_UNORM:
    case RF_R16G16_FLOAT:
    case RF_R32G32_FLOAT:
    case RF_BC5_UNORM:
    case RF_BC5_SNORM:
        return Channels::Red | Channels::Green;
    case RF_B8G8R8X8_UNORM:
    case RF_B8G8R8X8_UNORM_SRGB:
    case RF_R8G8B8X8_UNORM:
    case RF_B8G8R8_UNORM:
    case RF_B5G6R5_UNORM:
    case RF_BC6H_UF16:
    case RF_BC6H_SF16:
        return Channels::Rgb;
    default:
        return Channels::Rgba;
    }
}

namespace {

// The layout of a surface that can be decoded from `size` bytes.
bool decodableLayout(ResourceFormat format, size_t size, uint32_t width, uint32_t height,
                     SurfaceLayout& layout, std::string& reason) {
    if (!getSurfaceLayout(format, width, height, layout)) {
        reason =
            formatString("cannot lay out a %ux%u %s surface", width, height, getResourceFormatName(format));
        return false;
    }
    if (!canDecode(format)) {
        reason = formatString("decoding %s is not supported", getResourceFormatName(format));
        return false;
    }
    if (layout.bytes > size) {
        reason = formatString("surface data truncated: %llu bytes needed, %zu present",
                              static_cast<unsigned long long>(layout.bytes), size);
        return false;
    }
    return true;
}

uint8_t expandFiveBits(uint32_t value) {
    return static_cast<uint8_t>((value << 3) | (value >> 2));
}

// Whether every colour a BC1 to BC3 block can decode to has its red in
// range. The two end colours are 5:6:5; the two between them are weighted
// averages, so they lie in range when both ends do. A BC1 block whose first
// end is not the greater has three colours and black instead.
bool paletteRedWithin(ResourceFormat format, const uint8_t* block, uint8_t low, uint8_t high) {
    const bool bc1 = squishFlags(format) == squish::kDxt1;
    const uint8_t* colour = bc1 ? block : block + 8;
    const uint32_t first = uint32_t{colour[0]} | uint32_t{colour[1]} << 8;
    const uint32_t second = uint32_t{colour[2]} | uint32_t{colour[3]} << 8;
    if (bc1 && first <= second) {
        return false;
    }
    const uint8_t a = expandFiveBits(first >> 11);
    const uint8_t b = expandFiveBits(second >> 11);
    return std::min(a, b) >= low && std::max(a, b) <= high;
}

} // namespace

bool redsWithin(const std::vector<uint8_t>& rgba, uint8_t low, uint8_t high) {
    for (size_t red = 0; red < rgba.size(); red += 4) {
        if (rgba[red] < low || rgba[red] > high) {
            return false;
        }
    }
    return true;
}

bool redWithin(ResourceFormat format, const uint8_t* data, size_t size, uint32_t width, uint32_t height,
               uint8_t low, uint8_t high, bool& within, std::string& reason) {
    if (squishFlags(format) == 0) {
        RgbaImage image;
        if (!decode(format, data, size, width, height, image, reason)) {
            return false;
        }
        within = redsWithin(image.pixels, low, high);
        return true;
    }
    SurfaceLayout layout;
    if (!decodableLayout(format, size, width, height, layout, reason)) {
        return false;
    }
    // Only the blocks the palette does not answer are decoded.
    uint8_t rgba[16 * 4];
    within = true;
    forEachBlock(format, data, layout, [&](const uint8_t* block, uint64_t bx, uint64_t by) {
        if (paletteRedWithin(format, block, low, high)) {
            return true;
        }
        decodeBlock(format, block, rgba);
        for (uint32_t py = 0; py < 4 && by * 4 + py < height; ++py) {
            for (uint32_t px = 0; px < 4 && bx * 4 + px < width; ++px) {
                const uint8_t red = rgba[(py * 4 + px) * 4];
                within = within && red >= low && red <= high;
            }
        }
        return within;
    });
    return true;
}

bool decode(ResourceFormat format, const uint8_t* data, size_t size, uint32_t width, uint32_t height,
            RgbaImage& image, std::string& reason) {
    SurfaceLayout layout;
    if (!decodableLayout(format, size, width, height, layout, reason)) {
        return false;
    }
    image.width = width;
    image.height = height;
    image.pixels.assign(image.byteCount(), 0);
    if (isBlockCompressed(format)) {
        return decodeBlocks(format, data, layout, width, height, image);
    }
    const uint32_t pixelBytes = getBitsPerPixel(format) / 8;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = data + y * layout.rowPitch;
        for (uint32_t x = 0; x < width; ++x) {
            decodePixel(format, row + size_t(x) * pixelBytes, &image.pixels[(size_t(y) * width + x) * 4]);
        }
    }
    return true;
}

bool encode(ResourceFormat format, const RgbaImage& image, std::vector<uint8_t>& data, std::string& reason) {
    SurfaceLayout layout;
    if (!image.isConsistent()) {
        reason = "the image is empty or its pixel count does not match its size";
        return false;
    }
    if (!canEncode(format) || !getSurfaceLayout(format, image.width, image.height, layout)) {
        reason = formatString("encoding %s is not supported", getResourceFormatName(format));
        return false;
    }
    data.assign(layout.bytes, 0);
    if (squishFlags(format) != 0 || isOwnBcFormat(format)) {
        encodeBlocks(format, image, data.data());
        return true;
    }
    std::vector<int> order;
    uncompressedLayout(format, order);
    uint8_t* out = data.data();
    const size_t pixelCount = size_t(image.width) * image.height;
    for (size_t i = 0; i < pixelCount; ++i) {
        for (int channel : order) {
            *out++ = channel < 4 ? image.pixels[i * 4 + channel] : 255;
        }
    }
    return true;
}

} // namespace PixelCodec
