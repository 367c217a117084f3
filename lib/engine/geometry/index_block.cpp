#include "engine/geometry/index_block.h"

#include <algorithm>

#include "engine/core/format.h"
#include "engine/core/stack_tracker.h"
#include "engine/geometry/byte_io.h"
#include "engine/geometry/primitives_format.h"

namespace {

constexpr size_t kHeaderSize = 16;
constexpr size_t kGroupSize = 16;

// Every group must address indices inside the list and vertices inside its own range.
bool checkGroups(const IndexData& data, std::string& error) {
    // Exporters split the index list into disjoint groups. Refusing more
    // coverage than the list holds also bounds the checking below to one pass
    // over it, whatever a hostile file claims.
    uint64_t covered = 0;
    for (const PrimitiveGroup& group : data.groups) {
        covered += uint64_t{group.primitiveCount} * 3;
    }
    if (covered > data.indices.size()) {
        error = formatString("the primitive groups cover %llu indices, more than the %zu the block holds",
                             static_cast<unsigned long long>(covered), data.indices.size());
        return false;
    }
    for (size_t g = 0; g < data.groups.size(); ++g) {
        const PrimitiveGroup& group = data.groups[g];
        const uint64_t end = uint64_t{group.startIndex} + uint64_t{group.primitiveCount} * 3;
        if (end > data.indices.size()) {
            error = formatString("primitive group %zu (indices %u..%llu) runs past the %zu indices", g,
                                 group.startIndex, static_cast<unsigned long long>(end), data.indices.size());
            return false;
        }
        const uint64_t vertexEnd = uint64_t{group.startVertex} + group.vertexCount;
        for (uint64_t i = group.startIndex; i < end; ++i) {
            const uint32_t index = data.indices[static_cast<size_t>(i)];
            if (index < group.startVertex || index >= vertexEnd) {
                error = formatString("index %u at %llu lies outside the vertex range %u..%llu of group %zu",
                                     index, static_cast<unsigned long long>(i), group.startVertex,
                                     static_cast<unsigned long long>(vertexEnd), g);
                return false;
            }
        }
    }
    return true;
}

} // namespace

bool IndexBlock::encode(const IndexData& input, std::vector<char>& out, std::string& error) {
    IndexData data = input;
    if (data.indices.size() > UINT32_MAX || data.groups.size() > UINT32_MAX) {
        error = "too many indices";
        return false;
    }
    if (data.groups.empty() && !data.indices.empty()) {
        PrimitiveGroup all;
        all.primitiveCount = static_cast<uint32_t>(data.indices.size() / 3);
        const uint32_t maxIndex = *std::max_element(data.indices.begin(), data.indices.end());
        all.vertexCount = maxIndex + 1;
        data.groups.push_back(all);
    }
    if (!checkGroups(data, error)) {
        return false;
    }
    const bool wide = data.force32Bit || std::any_of(data.indices.begin(), data.indices.end(),
                                                     [](uint32_t i) { return i > UINT16_MAX; });
    ByteIO::Writer w;
    PrimitivesFormat::writeBlockHeader(w, PrimitivesFormat::BlockKind::Indices, wide ? 4 : 2);
    w.u32(static_cast<uint32_t>(data.indices.size()));
    w.u32(static_cast<uint32_t>(data.groups.size()));
    for (const PrimitiveGroup& g : data.groups) {
        w.u32(g.startIndex);
        w.u32(g.primitiveCount);
        w.u32(g.startVertex);
        w.u32(g.vertexCount);
    }
    for (uint32_t index : data.indices) {
        if (wide) {
            w.u32(index);
        } else {
            w.u16(static_cast<uint16_t>(index));
        }
    }
    out = std::move(w.buffer());
    return true;
}

SmartPointer<IndexBlock> IndexBlock::decode(std::string_view block, std::string& error) {
    KX_STACK_TRACK("IndexBlock::decode");
    ByteIO::Reader r(block);
    uint16_t indexSize = 0;
    if (!PrimitivesFormat::readBlockHeader(block, PrimitivesFormat::BlockKind::Indices, kHeaderSize, r,
                                           indexSize, error)) {
        return nullptr;
    }
    const uint32_t indexCount = r.u32();
    const uint32_t groupCount = r.u32();
    if (indexSize != 2 && indexSize != 4) {
        error = formatString("index size %u is neither 2 nor 4", unsigned{indexSize});
        return nullptr;
    }
    const uint64_t expected =
        kHeaderSize + uint64_t{groupCount} * kGroupSize + uint64_t{indexCount} * indexSize;
    if (expected != block.size()) {
        error = formatString("%u groups and %u indices of %u bytes need %llu bytes, the block has %zu",
                             groupCount, indexCount, unsigned{indexSize},
                             static_cast<unsigned long long>(expected), block.size());
        return nullptr;
    }
    SmartPointer<IndexBlock> result(new IndexBlock);
    result->indexSize_ = indexSize;
    IndexData& d = result->data_;
    d.groups.resize(groupCount);
    for (PrimitiveGroup& g : d.groups) {
        g.startIndex = r.u32();
        g.primitiveCount = r.u32();
        g.startVertex = r.u32();
        g.vertexCount = r.u32();
    }
    // The size check above keeps every index inside the block.
    d.indices.resize(indexCount);
    const char* at = block.data() + r.position();
    if (indexSize == 2) {
        for (uint32_t& index : d.indices) {
            index = ByteIO::u16At(at);
            at += 2;
        }
    } else {
        for (uint32_t& index : d.indices) {
            index = ByteIO::u32At(at);
            at += 4;
        }
    }
    if (!checkGroups(d, error)) {
        return nullptr;
    }
    return result;
}

uint64_t IndexBlock::triangleCount() const {
    uint64_t total = 0;
    for (const PrimitiveGroup& g : data_.groups) {
        total += g.primitiveCount;
    }
    return total;
}

uint64_t IndexBlock::vertexRangeEnd() const {
    uint64_t end = 0;
    for (const PrimitiveGroup& g : data_.groups) {
        end = std::max(end, uint64_t{g.startVertex} + g.vertexCount);
    }
    return end;
}
