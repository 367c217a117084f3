#include "engine/asset_writers/texture_writer.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <png.h>

#include "engine/core/format.h"
#include "engine/platform/utf8_path.h"
#include "engine/texture/dds_reader.h"
#include "engine/texture/pixel_codec.h"
#include "engine/texture/rgba_image.h"

namespace AssetWriters {
namespace {

using namespace Render;
using namespace DdsReader;

WriteResult failure(std::string reason) {
    WriteResult result;
    result.reason = std::move(reason);
    return result;
}

WriteResult checkPixels(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgbaPixels) {
    if (width == 0 || height == 0) {
        return failure(formatString("invalid size %ux%u", width, height));
    }
    if (rgbaPixels.size() != size_t(width) * height * 4) {
        return failure(formatString("%zu pixel bytes given, a %ux%u RGBA image has %zu", rgbaPixels.size(),
                                    width, height, size_t(width) * height * 4));
    }
    return WriteResult{true, {}};
}

void putU32(std::vector<uint8_t>& out, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[offset + size_t(i)] = uint8_t(value >> (8 * i));
    }
}

constexpr uint32_t fourCC(const char (&code)[5]) {
    return uint32_t(uint8_t(code[0])) | uint32_t(uint8_t(code[1])) << 8 | uint32_t(uint8_t(code[2])) << 16 |
           uint32_t(uint8_t(code[3])) << 24;
}

struct LegacyPixelFormat {
    ResourceFormat format;
    uint32_t flags, fourCC, bitCount, r, g, b, a;
};

constexpr LegacyPixelFormat kLegacyFormats[] = {
    {RF_BC1_UNORM, DDPF_FOURCC, fourCC("DXT1"), 0, 0, 0, 0, 0},
    {RF_BC2_UNORM, DDPF_FOURCC, fourCC("DXT3"), 0, 0, 0, 0, 0},
    {RF_BC3_UNORM, DDPF_FOURCC, fourCC("DXT5"), 0, 0, 0, 0, 0},
    {RF_BC4_UNORM, DDPF_FOURCC, fourCC("ATI1"), 0, 0, 0, 0, 0},
    {RF_BC5_UNORM, DDPF_FOURCC, fourCC("ATI2"), 0, 0, 0, 0, 0},
    {RF_R8G8B8A8_UNORM, DDPF_RGB | DDPF_ALPHAPIXELS, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000},
    {RF_B8G8R8A8_UNORM, DDPF_RGB | DDPF_ALPHAPIXELS, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {RF_B8G8R8X8_UNORM, DDPF_RGB, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0},
    {RF_R8G8B8X8_UNORM, DDPF_RGB, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0},
    {RF_B8G8R8_UNORM, DDPF_RGB, 0, 24, 0xFF0000, 0xFF00, 0xFF, 0},
    {RF_R8_UNORM, DDPF_RGB, 0, 8, 0xFF, 0, 0, 0},
    {RF_R8G8_UNORM, DDPF_RGB, 0, 16, 0xFF, 0xFF00, 0, 0},
    {RF_L8_UNORM, DDPF_LUMINANCE, 0, 8, 0xFF, 0, 0, 0},
    {RF_L8A8_UNORM, DDPF_LUMINANCE | DDPF_ALPHAPIXELS, 0, 16, 0xFF, 0, 0, 0xFF00},
    {RF_A8_UNORM, DDPF_ALPHA, 0, 8, 0, 0, 0, 0xFF},
};

const LegacyPixelFormat* findLegacy(ResourceFormat format) {
    for (const LegacyPixelFormat& entry : kLegacyFormats) {
        if (entry.format == format) {
            return &entry;
        }
    }
    return nullptr;
}

std::vector<uint8_t> makeHeader(uint32_t width, uint32_t height, ResourceFormat format, uint32_t mipCount,
                                uint64_t topLevelBytes, uint64_t topRowPitch) {
    const LegacyPixelFormat* legacy = findLegacy(format);
    std::vector<uint8_t> header(legacy ? kDataOffset : kDataOffsetDx10, 0);
    const bool compressed = isBlockCompressed(format);
    putU32(header, 0, kMagic);
    putU32(header, 4, kHeaderSize);
    putU32(header, 8,
           DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT |
               (compressed ? DDSD_LINEARSIZE : DDSD_PITCH) |
               (mipCount > 1 ? uint32_t(DDSD_MIPMAPCOUNT) : 0u));
    putU32(header, 12, height);
    putU32(header, 16, width);
    putU32(header, 20, uint32_t(compressed ? topLevelBytes : topRowPitch));
    putU32(header, 28, mipCount);
    putU32(header, 76, kPixelFormatSize);
    if (legacy) {
        putU32(header, 80, legacy->flags);
        putU32(header, 84, legacy->fourCC);
        putU32(header, 88, legacy->bitCount);
        putU32(header, 92, legacy->r);
        putU32(header, 96, legacy->g);
        putU32(header, 100, legacy->b);
        putU32(header, 104, legacy->a);
    } else {
        putU32(header, 80, DDPF_FOURCC);
        putU32(header, 84, fourCC("DX10"));
        putU32(header, kDataOffset, dxgiFromFormat(format));
        putU32(header, kDataOffset + 4, 3); // two-dimensional texture
        putU32(header, kDataOffset + 12, 1);
    }
    putU32(header, 108, DDSCAPS_TEXTURE | (mipCount > 1 ? uint32_t(DDSCAPS_COMPLEX | DDSCAPS_MIPMAP) : 0u));
    return header;
}

// libpng's write side, into memory; errors jump back to the caller.
struct PngWriteState {
    std::vector<uint8_t>* out = nullptr;
    char error[256] = {};
    std::vector<uint8_t> packed;
    std::vector<png_bytep> rows;
};

void pngWrite(png_structp png, png_bytep data, size_t length) {
    PngWriteState* state = static_cast<PngWriteState*>(png_get_io_ptr(png));
    state->out->insert(state->out->end(), data, data + length);
}

void pngFlush(png_structp) {}

void pngError(png_structp png, png_const_charp message) {
    PngWriteState* state = static_cast<PngWriteState*>(png_get_error_ptr(png));
    std::snprintf(state->error, sizeof state->error, "%s", message);
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

} // namespace

std::vector<uint8_t> makeSolidImage(uint32_t width, uint32_t height, Colour colour) {
    std::vector<uint8_t> pixels(size_t(width) * height * 4);
    for (size_t i = 0; i < pixels.size(); i += 4) {
        pixels[i] = colour.r;
        pixels[i + 1] = colour.g;
        pixels[i + 2] = colour.b;
        pixels[i + 3] = colour.a;
    }
    return pixels;
}

std::vector<uint8_t> makeGradientImage(uint32_t width, uint32_t height, uint8_t blue, uint8_t alpha) {
    std::vector<uint8_t> pixels(size_t(width) * height * 4);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* p = &pixels[(size_t(y) * width + x) * 4];
            p[0] = width > 1 ? uint8_t(uint64_t(x) * 255 / (width - 1)) : 0;
            p[1] = height > 1 ? uint8_t(uint64_t(y) * 255 / (height - 1)) : 0;
            p[2] = blue;
            p[3] = alpha;
        }
    }
    return pixels;
}

WriteResult buildDDS(uint32_t width, uint32_t height, ResourceFormat format,
                     const std::vector<uint8_t>& rgbaPixels, uint32_t mipCount,
                     std::vector<uint8_t>& fileBytes) {
    fileBytes.clear();
    if (WriteResult check = checkPixels(width, height, rgbaPixels); !check) {
        return check;
    }
    if (!PixelCodec::canEncode(format) || (!findLegacy(format) && dxgiFromFormat(format) == 0)) {
        return failure(formatString("cannot write %s textures", getResourceFormatName(format)));
    }
    const uint32_t fullChain = getFullMipChainLength(width, height);
    if (mipCount > fullChain) {
        return failure(formatString("%u mip levels requested, a %ux%u texture has at most %u", mipCount,
                                    width, height, fullChain));
    }
    const uint32_t levels = mipCount == 0 ? fullChain : mipCount;

    RgbaImage image;
    image.width = width;
    image.height = height;
    image.pixels = rgbaPixels;
    std::vector<uint8_t> data;
    SurfaceLayout top;
    getSurfaceLayout(format, width, height, top);
    for (uint32_t level = 0; level < levels; ++level) {
        if (level > 0) {
            image = RgbaImage::downsample(image);
        }
        std::vector<uint8_t> encoded;
        std::string reason;
        if (!PixelCodec::encode(format, image, encoded, reason)) {
            return failure(reason);
        }
        data.insert(data.end(), encoded.begin(), encoded.end());
    }
    fileBytes = makeHeader(width, height, format, levels, top.bytes, top.rowPitch);
    fileBytes.insert(fileBytes.end(), data.begin(), data.end());
    return WriteResult{true, {}};
}

WriteResult writeDDS(const std::string& path, uint32_t width, uint32_t height, ResourceFormat format,
                     const std::vector<uint8_t>& rgbaPixels, uint32_t mipCount) {
    std::vector<uint8_t> bytes;
    if (WriteResult built = buildDDS(width, height, format, rgbaPixels, mipCount, bytes); !built) {
        return built;
    }
    return writeFileBytes(path, bytes);
}

WriteResult buildPNG(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgbaPixels,
                     uint32_t channels, std::vector<uint8_t>& fileBytes) {
    fileBytes.clear();
    if (WriteResult check = checkPixels(width, height, rgbaPixels); !check) {
        return check;
    }
    static const int kColourTypes[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                       PNG_COLOR_TYPE_RGB_ALPHA};
    if (channels < 1 || channels > 4) {
        return failure(formatString("a PNG has 1 to 4 channels, not %u", channels));
    }
    // Everything that lives across setjmp is reached through `state`.
    PngWriteState state;
    state.out = &fileBytes;
    state.packed.resize(size_t(width) * height * channels);
    static const int kSourceChannel[4][4] = {{0}, {0, 3}, {0, 1, 2}, {0, 1, 2, 3}};
    for (size_t pixel = 0; pixel < size_t(width) * height; ++pixel) {
        for (uint32_t c = 0; c < channels; ++c) {
            state.packed[pixel * channels + c] =
                rgbaPixels[pixel * 4 + size_t(kSourceChannel[channels - 1][c])];
        }
    }
    state.rows.resize(height);
    for (uint32_t y = 0; y < height; ++y) {
        state.rows[y] = state.packed.data() + size_t(y) * width * channels;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, pngError, pngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(png ? &png : nullptr, nullptr);
        return failure("out of memory");
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        fileBytes.clear();
        return failure(state.error);
    }
    png_set_write_fn(png, &state, pngWrite, pngFlush);
    png_set_IHDR(png, info, width, height, 8, kColourTypes[channels - 1], PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, state.rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return WriteResult{true, {}};
}

WriteResult writePNG(const std::string& path, uint32_t width, uint32_t height,
                     const std::vector<uint8_t>& rgbaPixels, uint32_t channels) {
    std::vector<uint8_t> bytes;
    if (WriteResult built = buildPNG(width, height, rgbaPixels, channels, bytes); !built) {
        return built;
    }
    return writeFileBytes(path, bytes);
}

WriteResult writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::filesystem::path target = pathFromUtf8(path);
    std::error_code error;
    if (target.has_parent_path()) {
        std::filesystem::create_directories(target.parent_path(), error);
        if (error) {
            return failure("cannot create the folder of " + path + ": " + error.message());
        }
    }
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    if (!out) {
        return failure("cannot write " + path);
    }
    return WriteResult{true, {}};
}

} // namespace AssetWriters
