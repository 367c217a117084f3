#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/render/render_format.h"
#include "engine/texture/rgba_image.h"
#include "engine/texture/texture_initial_data.h"

// The file layer shared by the texture loader and the image interface: reads
// a texture file from disk and hands out its stored levels or its top level as
// RGBA. Nothing here logs; callers name the file in their own log line.
namespace TextureFile {

enum class Kind { Unknown, Dds, Png, Tga, Atlas };

// Files above this size are refused before anything is allocated for them.
constexpr uint64_t kMaxFileBytes = uint64_t(1) << 30;

// By signature (DDS, PNG), else by extension (tga, atlas).
Kind detectKind(const std::vector<uint8_t>& bytes, const std::string& path);

bool readBytes(const std::string& absolutePath, std::vector<uint8_t>& bytes, std::string& reason);

// What the header of a file says, read without its pixel data.
struct HeaderInfo {
    Render::ResourceFormat format = Render::RF_UNKNOWN;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t mipCount = 0; // levels the file stores
};

// The largest prefix a header read takes: a DDS file with its extension header.
constexpr size_t kHeaderReadBytes = 148;

// Format, size and stored levels from the first kHeaderReadBytes of a DDS or
// PNG file and its size on disk; the header is refused when it promises more
// data than the file holds, as a full load would refuse it. TGA files are
// small and headerless enough that they are decoded whole.
bool readHeaderInfo(const std::string& absolutePath, HeaderInfo& info, std::string& reason);

// The stored levels of a file: for DDS its first image in its own format, for
// PNG and TGA one R8G8B8A8_UNORM level. Null with `reason` on failure.
TextureInitialDataPtr loadInitialData(const std::string& absolutePath, std::string& reason);
TextureInitialDataPtr parseInitialData(const std::vector<uint8_t>& bytes, const std::string& path,
                                       std::string& reason);

// Level 0 of a file decoded to RGBA, with the channels the file holds. Of a
// DDS file only the header and level 0 are read.
bool decodeTopLevel(const std::string& absolutePath, RgbaImage& image, uint32_t& channelMask,
                    std::string& reason);
// Whether the red value of every pixel of level 0 lies in [low, high], as a
// scan of decodeTopLevel's image would tell, without keeping the pixels.
bool topLevelRedWithin(const std::string& absolutePath, uint8_t low, uint8_t high, bool& within,
                       uint32_t& channelMask, std::string& reason);

} // namespace TextureFile
