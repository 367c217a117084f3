#include "engine/texture/png_reader.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <png.h>
#include <zlib.h>

namespace PngReader {
namespace {

// Limits that keep a forged header from driving a huge allocation: a side of
// at most 32768 pixels, and no more raw image bytes than deflate could expand
// the file into (its best ratio is about 1032:1).
constexpr uint32_t kMaxSide = 32768;
constexpr uint64_t kDeflateMaxRatio = 1032;

// Lives across setjmp; everything written after it is reached through this
// object's address, so a longjmp never leaves it in a stale register.
struct ReadState {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t position = 0;
    char error[256] = {};
    char limitMessage[128] = {};
    std::vector<png_bytep> rows;
    std::vector<uint8_t> pixels;
};

void readCallback(png_structp png, png_bytep out, size_t length) {
    ReadState* state = static_cast<ReadState*>(png_get_io_ptr(png));
    if (length > state->size - state->position) {
        png_error(png, "unexpected end of file");
    }
    std::memcpy(out, state->data + state->position, length);
    state->position += length;
}

void errorCallback(png_structp png, png_const_charp message) {
    ReadState* state = static_cast<ReadState*>(png_get_error_ptr(png));
    std::snprintf(state->error, sizeof state->error, "%s", message);
    png_longjmp(png, 1);
}

void warningCallback(png_structp, png_const_charp) {}

uint32_t channelsOf(int colorType, bool hasTransparency) {
    uint32_t mask = 0;
    switch (colorType) {
    case PNG_COLOR_TYPE_GRAY:
        mask = Channels::Red;
        break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        mask = Channels::Red | Channels::Alpha;
        break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        mask = Channels::Rgba;
        break;
    default: // RGB, palette
        mask = Channels::Rgb;
        break;
    }
    return hasTransparency ? (mask | Channels::Alpha) : mask;
}

int samplesPerPixel(int colorType) {
    switch (colorType) {
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return 2;
    case PNG_COLOR_TYPE_RGB:
        return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        return 4;
    default:
        return 1;
    }
}

uint32_t readU32BigEndian(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

bool validDepthForColourType(int colorType, int bitDepth) {
    switch (colorType) {
    case PNG_COLOR_TYPE_GRAY:
        return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8 || bitDepth == 16;
    case PNG_COLOR_TYPE_PALETTE:
        return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8;
    case PNG_COLOR_TYPE_RGB:
    case PNG_COLOR_TYPE_GRAY_ALPHA:
    case PNG_COLOR_TYPE_RGB_ALPHA:
        return bitDepth == 8 || bitDepth == 16;
    default:
        return false;
    }
}

bool fitsInFile(const Header& header, uint64_t fileSize) {
    const uint64_t rawRowBytes =
        (uint64_t(header.width) * samplesPerPixel(header.colorType) * uint64_t(header.bitDepth) + 7) / 8 + 1;
    return rawRowBytes * header.height <= kDeflateMaxRatio * fileSize + 4096;
}

} // namespace

bool readHeader(const uint8_t* data, size_t size, uint64_t fileSize, Header& header, std::string& reason) {
    header = Header();
    if (!isPng(data, size)) {
        reason = "not a PNG file (bad signature)";
        return false;
    }
    if (size < kHeaderBytes) {
        reason = "header truncated";
        return false;
    }
    const uint8_t* chunk = data + 8;
    if (readU32BigEndian(chunk) != 13 || std::memcmp(chunk + 4, "IHDR", 4) != 0) {
        reason = "IHDR chunk missing";
        return false;
    }
    const uint8_t* fields = chunk + 8;
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), chunk + 4, 4 + 13);
    if (crc != readU32BigEndian(fields + 13)) {
        reason = "IHDR: CRC error";
        return false;
    }
    header.width = readU32BigEndian(fields);
    header.height = readU32BigEndian(fields + 4);
    header.bitDepth = fields[8];
    header.colorType = fields[9];
    header.interlaced = fields[12] != 0;
    if (header.width == 0 || header.height == 0 || header.width > kMaxSide || header.height > kMaxSide) {
        reason = std::string("invalid or unsupported size ") + std::to_string(header.width) + "x" +
                 std::to_string(header.height);
        return false;
    }
    if (!validDepthForColourType(header.colorType, header.bitDepth) || fields[10] != 0 || fields[11] != 0 ||
        fields[12] > 1) {
        reason = "invalid IHDR fields";
        return false;
    }
    if (!fitsInFile(header, fileSize)) {
        reason = std::to_string(header.width) + "x" + std::to_string(header.height) +
                 " image cannot fit in a " + std::to_string(fileSize) + "-byte file";
        return false;
    }
    return true;
}

bool isPng(const uint8_t* data, size_t size) {
    return size >= 8 && png_sig_cmp(data, 0, 8) == 0;
}

bool decode(const uint8_t* data, size_t size, RgbaImage& image, uint32_t& channelMask, Header& header,
            std::string& reason) {
    image = RgbaImage();
    if (!isPng(data, size)) {
        reason = "not a PNG file (bad signature)";
        return false;
    }
    // Everything that lives across setjmp is declared first: a longjmp must not
    // skip a constructor or destructor.
    ReadState state;
    state.data = data;
    state.size = size;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, errorCallback, warningCallback);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_read_struct(png ? &png : nullptr, nullptr, nullptr);
        reason = "out of memory";
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        reason = state.error[0] ? state.error : "corrupt PNG data";
        return false;
    }
    png_set_read_fn(png, &state, readCallback);
    png_set_user_limits(png, kMaxSide, kMaxSide);
    png_read_info(png, info);

    header.width = png_get_image_width(png, info);
    header.height = png_get_image_height(png, info);
    header.bitDepth = png_get_bit_depth(png, info);
    header.colorType = png_get_color_type(png, info);
    header.interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
    const bool hasTransparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;

    if (!fitsInFile(header, size)) {
        std::snprintf(state.limitMessage, sizeof state.limitMessage,
                      "%ux%u image cannot fit in a %zu-byte file", header.width, header.height, size);
        png_error(png, state.limitMessage);
    }
    if (uint64_t(header.width) * header.height > kMaxDecodedPixels) {
        std::snprintf(state.limitMessage, sizeof state.limitMessage,
                      "%ux%u image has more than the %llu pixels a texture may decode to", header.width,
                      header.height, static_cast<unsigned long long>(kMaxDecodedPixels));
        png_error(png, state.limitMessage);
    }

    png_set_expand(png);
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(header.width) * 4) {
        png_error(png, "unexpected row size after expansion");
    }

    state.pixels.resize(size_t(header.width) * header.height * 4);
    state.rows.resize(header.height);
    for (uint32_t y = 0; y < header.height; ++y) {
        state.rows[y] = state.pixels.data() + size_t(y) * header.width * 4;
    }
    png_read_image(png, state.rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);

    image.width = header.width;
    image.height = header.height;
    image.pixels = std::move(state.pixels);
    channelMask = channelsOf(header.colorType, hasTransparency);
    return true;
}

} // namespace PngReader
