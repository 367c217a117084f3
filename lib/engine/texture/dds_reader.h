#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/render/render_format.h"

// DDS header parsing: the legacy 124-byte header with its pixel format, the
// optional 20-byte extension (FourCC "DX10"), and the data layout. Every size
// is checked against the data length before anything relies on it.
namespace DdsReader {

constexpr uint32_t kMagic = 0x20534444; // "DDS "
constexpr uint32_t kHeaderSize = 124;   // after the magic
constexpr uint32_t kPixelFormatSize = 32;
constexpr uint32_t kDataOffset = 4 + 124; // legacy files
constexpr uint32_t kDataOffsetDx10 = 4 + 124 + 20;

// Header flags, pixel-format flags and capability bits used by reader and writer.
enum : uint32_t {
    DDSD_CAPS = 0x1,
    DDSD_HEIGHT = 0x2,
    DDSD_WIDTH = 0x4,
    DDSD_PITCH = 0x8,
    DDSD_PIXELFORMAT = 0x1000,
    DDSD_MIPMAPCOUNT = 0x20000,
    DDSD_LINEARSIZE = 0x80000,
    DDSD_DEPTH = 0x800000,
    DDPF_ALPHAPIXELS = 0x1,
    DDPF_ALPHA = 0x2,
    DDPF_FOURCC = 0x4,
    DDPF_RGB = 0x40,
    DDPF_LUMINANCE = 0x20000,
    DDSCAPS_COMPLEX = 0x8,
    DDSCAPS_TEXTURE = 0x1000,
    DDSCAPS_MIPMAP = 0x400000,
    DDSCAPS2_CUBEMAP = 0x200,
    DDSCAPS2_CUBEMAP_ALLFACES = 0xFC00,
    DDSCAPS2_VOLUME = 0x200000,
};

// One mip level of the first image (first array element, first cube face,
// first slice of a volume).
struct Level {
    uint32_t width = 0;
    uint32_t height = 0;
    uint64_t offset = 0; // from the start of the file
    uint64_t bytes = 0;
    uint64_t rowPitch = 0;
    uint64_t rowCount = 0;
};

struct Info {
    bool success = false;
    std::string reason; // why the file is refused
    Render::ResourceFormat format = Render::RF_UNKNOWN;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t depth = 1;
    // Stored levels: the header's mip count when above 0, else 1.
    uint32_t mipCount = 0;
    // Images in the file: array elements times cube faces.
    uint32_t imageCount = 1;
    bool cubemap = false;
    bool volume = false;
    bool dx10Header = false;
    uint64_t dataOffset = 0;
    uint64_t dataBytesRequired = 0; // for all images, levels and slices
    std::vector<Level> levels;
};

// Parses and validates a whole DDS file held in memory.
Info parse(const uint8_t* data, size_t size);
// The same from the first `size` bytes of a file of `fileSize` bytes: the
// header must lie within them, the data is only required to fit the file.
// Enough for format, size and levels without reading any pixel data.
Info parse(const uint8_t* data, size_t size, uint64_t fileSize);

// DXGI format numbers of the extension header, both ways; RF_UNKNOWN / 0 when
// there is no counterpart.
Render::ResourceFormat formatFromDxgi(uint32_t dxgiFormat);
uint32_t dxgiFromFormat(Render::ResourceFormat format);

} // namespace DdsReader
