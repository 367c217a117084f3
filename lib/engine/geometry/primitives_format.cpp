#include "engine/geometry/primitives_format.h"

#include <cstring>
#include <set>

#include "engine/core/ascii_case.h"
#include "engine/core/format.h"

namespace PrimitivesFormat {

BlockKind blockKind(std::string_view block) {
    if (block.size() < 4) {
        return BlockKind::Unknown;
    }
    const char* tag = block.data();
    if (std::memcmp(tag, kVerticesTag, 4) == 0) {
        return BlockKind::Vertices;
    }
    if (std::memcmp(tag, kIndicesTag, 4) == 0) {
        return BlockKind::Indices;
    }
    if (std::memcmp(tag, kBSPTag, 4) == 0) {
        return BlockKind::BSP;
    }
    if (std::memcmp(tag, kBSPMaterialsTag, 4) == 0) {
        return BlockKind::BSPMaterials;
    }
    return BlockKind::Unknown;
}

const char* blockKindName(BlockKind kind) {
    switch (kind) {
    case BlockKind::Vertices:
        return "vertices";
    case BlockKind::Indices:
        return "indices";
    case BlockKind::BSP:
        return "bsp";
    case BlockKind::BSPMaterials:
        return "bspMaterials";
    case BlockKind::Unknown:
        break;
    }
    return "unknown";
}

bool readBlockHeader(std::string_view block, BlockKind kind, size_t minimumSize, ByteIO::Reader& reader,
                     uint16_t& field, std::string& error) {
    if (block.size() < minimumSize || blockKind(block) != kind) {
        error = std::string("not a ") + blockKindName(kind) + " block";
        return false;
    }
    reader.skip(4);
    const uint16_t version = reader.u16();
    field = reader.u16();
    if (version != kBlockVersion) {
        error = formatString("unsupported %s block version %u", blockKindName(kind), unsigned{version});
        return false;
    }
    return true;
}

void writeBlockHeader(ByteIO::Writer& writer, BlockKind kind, uint16_t field) {
    const char* tags[] = {kVerticesTag, kIndicesTag, kBSPTag, kBSPMaterialsTag};
    const int index = kind == BlockKind::Vertices  ? 0
                      : kind == BlockKind::Indices ? 1
                      : kind == BlockKind::BSP     ? 2
                                                   : 3;
    writer.raw(std::string_view(tags[index], 4));
    writer.u16(kBlockVersion);
    writer.u16(field);
}

bool isValidBlockName(const std::string& name) {
    if (name.empty() || name.size() >= kBlockNameSize) {
        return false;
    }
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x21 || u > 0x7E || c == '/' || c == '\\') {
            return false;
        }
    }
    return true;
}

bool encodeContainer(const std::vector<std::pair<std::string, std::vector<char>>>& blocks,
                     std::vector<char>& out, std::string& error) {
    if (blocks.size() > kMaxBlocks) {
        error = "too many blocks";
        return false;
    }
    std::set<std::string> names;
    for (const auto& block : blocks) {
        if (!isValidBlockName(block.first)) {
            error = "invalid block name '" + block.first + "'";
            return false;
        }
        if (!names.insert(block.first).second) {
            error = "duplicate block name '" + block.first + "'";
            return false;
        }
    }
    ByteIO::Writer w;
    w.raw(std::string_view(kContainerMagic, 4));
    w.u16(kContainerVersion);
    w.u16(static_cast<uint16_t>(kContainerHeaderSize));
    w.u32(static_cast<uint32_t>(blocks.size()));
    w.u32(0);
    const size_t tableStart = w.size();
    for (const auto& block : blocks) {
        w.fixedText(block.first, kBlockNameSize);
        w.u64(0);
        w.u64(block.second.size());
    }
    for (size_t i = 0; i < blocks.size(); ++i) {
        // Blocks start 16-byte aligned so that a reader may map them in place.
        w.padTo(16);
        w.patchU64(tableStart + i * kBlockEntrySize + kBlockNameSize, w.size());
        w.raw(std::string_view(blocks[i].second.data(), blocks[i].second.size()));
    }
    out = std::move(w.buffer());
    return true;
}

bool splitBlockPath(const std::string& path, std::string& file, std::string& block) {
    static const std::string extension = ".primitives/";
    size_t searchFrom = 0;
    while (searchFrom < path.size()) {
        size_t found = std::string::npos;
        // The extension is matched without regard to case, as the file system
        // resolves names; only a dot can start it.
        for (size_t i = path.find('.', searchFrom);
             i != std::string::npos && i + extension.size() <= path.size(); i = path.find('.', i + 1)) {
            if (AsciiCase::equalIgnoringCase(std::string_view(path).substr(i, extension.size()), extension)) {
                found = i;
                break;
            }
        }
        if (found == std::string::npos) {
            return false;
        }
        const size_t blockStart = found + extension.size();
        const std::string candidate = path.substr(blockStart);
        if (isValidBlockName(candidate)) {
            file = path.substr(0, blockStart - 1);
            block = candidate;
            return true;
        }
        searchFrom = found + 1;
    }
    return false;
}

} // namespace PrimitivesFormat
