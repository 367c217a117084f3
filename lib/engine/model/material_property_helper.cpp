#include "engine/model/material_property_helper.h"

#include <cstdint>
#include <fstream>
#include <optional>

#include "engine/core/debug_log.h"
#include "engine/platform/utf8_path.h"
#include "engine/resource/file_system.h"
#include "engine/resource/view_memo.h"

namespace {

// The whole fixed part of a DDS header: magic, then the 124-byte header.
constexpr size_t kDdsHeaderBytes = 4 + 124;
// PNG signature plus the complete IHDR chunk (length, type, 13 data bytes, CRC).
constexpr size_t kPngHeaderBytes = 8 + 4 + 4 + 13 + 4;
constexpr size_t kHeaderBytes = kDdsHeaderBytes > kPngHeaderBytes ? kDdsHeaderBytes : kPngHeaderBytes;

struct TextureSize {
    uint32_t width = 0;
    uint32_t height = 0;
};

uint32_t readLittleEndian32(const std::string& bytes, size_t offset) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[offset])) |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[offset + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[offset + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[offset + 3])) << 24;
}

uint32_t readBigEndian32(const std::string& bytes, size_t offset) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[offset])) << 24 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[offset + 1])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[offset + 2])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[offset + 3]));
}

// Width and height from the first bytes of a DDS or PNG file; nothing when
// the bytes are neither or their header is malformed. `reason` says why.
std::optional<TextureSize> readHeaderSize(const std::string& bytes, std::string& reason) {
    static const std::string ddsMagic("DDS ", 4);
    static const std::string pngSignature("\x89PNG\r\n\x1a\n", 8);
    if (bytes.compare(0, ddsMagic.size(), ddsMagic) == 0) {
        // DDS header: size (124) at 4, flags at 8, height at 12, width at 16.
        if (bytes.size() < kDdsHeaderBytes || readLittleEndian32(bytes, 4) != 124) {
            reason = "truncated or malformed DDS header";
            return std::nullopt;
        }
        TextureSize size{readLittleEndian32(bytes, 16), readLittleEndian32(bytes, 12)};
        if (size.width == 0 || size.height == 0) {
            reason = "DDS header gives a zero size";
            return std::nullopt;
        }
        return size;
    }
    if (bytes.compare(0, pngSignature.size(), pngSignature) == 0) {
        // The first chunk must be IHDR with 13 data bytes: width, height, ...
        if (bytes.size() < kPngHeaderBytes || readBigEndian32(bytes, 8) != 13 ||
            bytes.compare(12, 4, "IHDR") != 0) {
            reason = "truncated or malformed PNG header";
            return std::nullopt;
        }
        TextureSize size{readBigEndian32(bytes, 16), readBigEndian32(bytes, 20)};
        const uint32_t pngLimit = 0x7fffffffu;
        if (size.width == 0 || size.height == 0 || size.width > pngLimit || size.height > pngLimit) {
            reason = "PNG header gives an invalid size";
            return std::nullopt;
        }
        return size;
    }
    reason = "neither a DDS nor a PNG file";
    return std::nullopt;
}

std::string readFileStart(const std::string& absolutePath, size_t count) {
    std::ifstream in(pathFromUtf8(absolutePath), std::ios::binary);
    if (!in) {
        return {};
    }
    std::string bytes(count, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

void appendChildren(const DataSectionPtr& parent, const char* tag, std::vector<DataSectionPtr>& out) {
    if (parent) {
        parent->openSections(tag, out);
    }
}

// The material sections of a visual, in file order.
std::vector<DataSectionPtr> collectMaterials(const DataSectionPtr& visual) {
    std::vector<DataSectionPtr> materials;
    std::vector<DataSectionPtr> renderSets;
    appendChildren(visual, "renderSet", renderSets);
    for (const DataSectionPtr& renderSet : renderSets) {
        std::vector<DataSectionPtr> geometries;
        appendChildren(renderSet, "geometry", geometries);
        for (const DataSectionPtr& geometry : geometries) {
            std::vector<DataSectionPtr> groups;
            appendChildren(geometry, "primitiveGroup", groups);
            for (const DataSectionPtr& group : groups) {
                appendChildren(group, "material", materials);
            }
        }
    }
    return materials;
}

} // namespace

namespace MaterialPropertyHelper {

std::vector<DataSectionPtr> getMaterialsFromVisual(DataSectionPtr visual) {
    // Every step of a check asks for the materials of every LOD's visual.
    static ViewMemo<DataSectionPtr, std::vector<DataSectionPtr>> known;
    if (!visual) {
        return {};
    }
    return known.get(visual, [&] { return collectMaterials(visual); });
}

Vector2 getNormalMapSize(DataSectionPtr material) {
    const Vector2 unknown(-1.f, -1.f);
    if (!material) {
        return unknown;
    }
    std::string texture;
    for (const DataSectionPtr& property : material->sectionsWithTag("property")) {
        if (property && property->valueIs("normalMap")) {
            texture = property->readString("Texture");
            break;
        }
    }
    if (texture.empty() || FS::fileSystem()->fileType(texture) != FS::FT_FILE) {
        return unknown;
    }
    const std::string absolute = FS::fileSystem()->resolveFilename(texture);
    std::string reason;
    std::optional<TextureSize> size = readHeaderSize(readFileStart(absolute, kHeaderBytes), reason);
    if (!size) {
        DebugLog::message(DebugLog::Warning, "texture", "%s: %s", texture.c_str(), reason.c_str());
        return unknown;
    }
    return Vector2(static_cast<float>(size->width), static_cast<float>(size->height));
}

} // namespace MaterialPropertyHelper
