#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/geometry/byte_io.h"

// Constants shared by the readers and writers of .primitives files: the
// container that holds named blocks, and the tags that open each kind of
// block. The byte layouts are described in docs/formats.md.
namespace PrimitivesFormat {

constexpr char kContainerMagic[4] = {'K', 'X', 'P', 'R'};
constexpr uint16_t kContainerVersion = 1;
constexpr size_t kContainerHeaderSize = 16;
constexpr size_t kBlockNameSize = 32;
constexpr size_t kBlockEntrySize = kBlockNameSize + 8 + 8;
// More blocks than any exporter writes; bounds the table before it is read.
constexpr uint32_t kMaxBlocks = 65536;

// Every block starts with a four-character tag and a 16-bit version.
constexpr char kVerticesTag[4] = {'V', 'E', 'R', 'T'};
constexpr char kIndicesTag[4] = {'I', 'N', 'D', 'X'};
constexpr char kBSPTag[4] = {'B', 'S', 'P', '2'};
constexpr char kBSPMaterialsTag[4] = {'B', 'S', 'P', 'M'};
constexpr uint16_t kBlockVersion = 1;

// Conventional block names.
inline const std::string kBSPBlockName = "bsp2";
inline const std::string kBSPMaterialsBlockName = "bsp2_materials";

enum class BlockKind { Unknown, Vertices, Indices, BSP, BSPMaterials };

// The kind a block's leading tag announces (the version is not checked here).
BlockKind blockKind(std::string_view block);
const char* blockKindName(BlockKind kind);

// Checks that `block` is at least `minimumSize` bytes, carries the tag of
// `kind` and the supported version; then `reader` stands past the 16-bit
// field that follows the version, which is returned in `field`.
bool readBlockHeader(std::string_view block, BlockKind kind, size_t minimumSize, ByteIO::Reader& reader,
                     uint16_t& field, std::string& error);
// Writes the tag of `kind`, the version and the 16-bit field.
void writeBlockHeader(ByteIO::Writer& writer, BlockKind kind, uint16_t field);

// Block names are 1 to 31 printable ASCII characters without '/', so that
// "file.primitives/name" addresses a block unambiguously.
bool isValidBlockName(const std::string& name);

// Lays out a container holding `blocks` in the given order; every name must be
// valid and unique (false and a reason otherwise).
bool encodeContainer(const std::vector<std::pair<std::string, std::vector<char>>>& blocks,
                     std::vector<char>& out, std::string& error);

// Splits "dir/file.primitives/block" into the file path and the block name;
// false when the path names no block inside a .primitives file.
bool splitBlockPath(const std::string& path, std::string& file, std::string& block);

} // namespace PrimitivesFormat
