#include "engine/texture/tga_reader.h"

#include <cstring>
#include <vector>

#include "engine/core/format.h"

namespace TgaReader {
namespace {

constexpr size_t kHeaderSize = 18;

enum ImageType : uint8_t {
    ColourMapped = 1,
    TrueColour = 2,
    Grey = 3,
    RleColourMapped = 9,
    RleTrueColour = 10,
    RleGrey = 11,
};

uint16_t readU16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

// Converts one stored pixel or map entry of `bits` bits (little-endian BGR[A]).
bool toRgba(const uint8_t* p, uint32_t bits, bool grey, uint8_t* out) {
    if (grey) {
        out[0] = out[1] = out[2] = p[0];
        out[3] = bits == 16 ? p[1] : 255;
        return bits == 8 || bits == 16;
    }
    switch (bits) {
    case 15:
    case 16: {
        const uint32_t v = readU16(p);
        out[0] = uint8_t(((v >> 10) & 31) * 255 / 31);
        out[1] = uint8_t(((v >> 5) & 31) * 255 / 31);
        out[2] = uint8_t((v & 31) * 255 / 31);
        out[3] = (bits == 15 || (v & 0x8000)) ? 255 : 0;
        return true;
    }
    case 24:
    case 32:
        out[0] = p[2];
        out[1] = p[1];
        out[2] = p[0];
        out[3] = bits == 32 ? p[3] : 255;
        return true;
    default:
        return false;
    }
}

class Reader {
  public:
    Reader(const uint8_t* data, size_t size, size_t position)
        : data_(data), size_(size), position_(position) {}
    const uint8_t* take(size_t count) {
        if (count > size_ - position_) {
            return nullptr;
        }
        const uint8_t* p = data_ + position_;
        position_ += count;
        return p;
    }
    size_t remaining() const { return size_ - position_; }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t position_;
};

} // namespace

bool decode(const uint8_t* data, size_t size, RgbaImage& image, uint32_t& channelMask, std::string& reason) {
    image = RgbaImage();
    if (size < kHeaderSize) {
        reason = formatString("file is %zu bytes, too short for a TGA header", size);
        return false;
    }
    const uint8_t idLength = data[0];
    const uint8_t mapType = data[1];
    const uint8_t type = data[2];
    const uint16_t mapFirst = readU16(data + 3);
    const uint16_t mapLength = readU16(data + 5);
    const uint8_t mapBits = data[7];
    const uint32_t width = readU16(data + 12);
    const uint32_t height = readU16(data + 14);
    const uint8_t pixelBits = data[16];
    const uint8_t descriptor = data[17];

    const bool rle = type >= RleColourMapped;
    const uint8_t baseType = rle ? uint8_t(type - 8) : type;
    if (baseType != ColourMapped && baseType != TrueColour && baseType != Grey) {
        reason = formatString("unsupported TGA image type %u", type);
        return false;
    }
    if (width == 0 || height == 0) {
        reason = "image has a zero side";
        return false;
    }
    const bool mapped = baseType == ColourMapped;
    const bool grey = baseType == Grey;
    if ((mapped && (mapType != 1 || pixelBits != 8)) || (grey && pixelBits != 8 && pixelBits != 16) ||
        (baseType == TrueColour && pixelBits != 15 && pixelBits != 16 && pixelBits != 24 &&
         pixelBits != 32)) {
        reason = formatString("unsupported pixel size %u bits for image type %u", pixelBits, type);
        return false;
    }

    Reader reader(data, size, kHeaderSize);
    std::vector<uint8_t> palette;
    if (!reader.take(idLength)) {
        reason = "truncated image identification field";
        return false;
    }
    if (mapType == 1) {
        const uint32_t entryBytes = (mapBits + 7) / 8;
        const uint8_t* map = reader.take(size_t(mapLength) * entryBytes);
        if (!map) {
            reason = "truncated colour map";
            return false;
        }
        palette.resize(size_t(mapLength) * 4);
        for (uint32_t i = 0; i < mapLength; ++i) {
            if (!toRgba(map + i * entryBytes, mapBits, false, &palette[i * 4])) {
                reason = formatString("unsupported colour map entry size %u bits", mapBits);
                return false;
            }
        }
    }

    const uint32_t pixelBytes = (pixelBits + 7) / 8;
    const uint64_t pixelCount = uint64_t(width) * height;
    // A raw image must be present in full; a run of up to 128 pixels takes at
    // least 1 + pixelBytes bytes, which bounds what the data can expand into.
    const uint64_t maxPixels =
        rle ? reader.remaining() / (1 + pixelBytes) * 128 : reader.remaining() / pixelBytes;
    if (pixelCount > maxPixels) {
        reason = formatString("data truncated: %ux%u image does not fit in %zu bytes", width, height,
                              reader.remaining());
        return false;
    }
    if (pixelCount > kMaxDecodedPixels) {
        reason = formatString("%ux%u image has more than the %llu pixels a texture may decode to", width,
                              height, static_cast<unsigned long long>(kMaxDecodedPixels));
        return false;
    }

    std::vector<uint8_t> pixels(pixelCount * 4);
    auto convert = [&](const uint8_t* p, uint8_t* out) {
        if (!mapped) {
            return toRgba(p, pixelBits, grey, out);
        }
        const uint32_t index = uint32_t(p[0]) - mapFirst;
        if (p[0] < mapFirst || index >= mapLength) {
            return false;
        }
        std::memcpy(out, &palette[index * 4], 4);
        return true;
    };
    uint64_t written = 0;
    while (written < pixelCount) {
        uint32_t run = 1;
        bool repeat = false;
        if (rle) {
            const uint8_t* packet = reader.take(1);
            if (!packet) {
                reason = "run-length data truncated";
                return false;
            }
            repeat = (packet[0] & 0x80) != 0;
            run = (packet[0] & 0x7F) + 1u;
            if (run > pixelCount - written) {
                reason = "run-length packet runs past the end of the image";
                return false;
            }
        }
        const uint8_t* p = nullptr;
        for (uint32_t i = 0; i < run; ++i) {
            if (i == 0 || !repeat) {
                p = reader.take(pixelBytes);
            }
            if (!p) {
                reason = "pixel data truncated";
                return false;
            }
            if (!convert(p, &pixels[(written + i) * 4])) {
                reason = "colour index outside the colour map";
                return false;
            }
        }
        written += run;
    }

    // Rows are stored bottom-up unless the descriptor says top-down; pixels
    // right-to-left when bit 4 is set.
    const bool topDown = (descriptor & 0x20) != 0;
    const bool rightToLeft = (descriptor & 0x10) != 0;
    image.width = width;
    image.height = height;
    image.pixels.resize(pixels.size());
    for (uint32_t y = 0; y < height; ++y) {
        const uint32_t sourceY = topDown ? y : height - 1 - y;
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t sourceX = rightToLeft ? width - 1 - x : x;
            std::memcpy(&image.pixels[(size_t(y) * width + x) * 4],
                        &pixels[(size_t(sourceY) * width + sourceX) * 4], 4);
        }
    }
    // Alpha counts only where the header declares attribute bits (or a
    // grey+alpha / 32-bit map); elsewhere the fourth byte is padding.
    const bool alpha =
        (grey && pixelBits == 16) || (!grey && (descriptor & 0x0F) != 0) || (mapped && mapBits == 32);
    if (!alpha) {
        for (size_t i = 3; i < image.pixels.size(); i += 4) {
            image.pixels[i] = 255;
        }
    }
    channelMask = (grey ? Channels::Red : Channels::Rgb) | (alpha ? Channels::Alpha : 0);
    return true;
}

} // namespace TgaReader
