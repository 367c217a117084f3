#include "engine/geometry/index_block.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <limits>

#include "engine/core/format.h"
#include "engine/core/stack_tracker.h"
#include "engine/geometry/byte_io.h"
#include "engine/geometry/primitives_format.h"

namespace {

constexpr size_t kHeaderSize = 16;
constexpr size_t kGroupSize = 16;

// The first index of [begin, end) outside [low, end of range), or end.
template <class Index>
size_t firstOutside(const Index* indices, size_t begin, size_t end, uint32_t low, uint64_t rangeEnd) {
    for (size_t i = begin; i < end; ++i) {
        if (indices[i] < low || indices[i] >= rangeEnd) {
            return i;
        }
    }
    return end;
}

template <class Index> struct IndexBounds {
    Index smallest;
    Index largest;
};

template <class Index> IndexBounds<Index> boundsOf(const Index* indices, size_t count);

// Short indices are compared as signed numbers with their top bit flipped,
// which keeps their order: the processors every build targets compare
// signed 16-bit lanes in one instruction, unsigned ones only from later
// instruction sets on.
template <> IndexBounds<uint16_t> boundsOf(const uint16_t* indices, size_t count) {
    constexpr uint16_t kFlip = 0x8000;
    int16_t smallest = std::numeric_limits<int16_t>::max();
    int16_t largest = std::numeric_limits<int16_t>::min();
    // One plain loop: at the optimisation the engine is built with, the
    // compiler turns it into eight lanes at a time.
    for (size_t i = 0; i < count; ++i) {
        const auto flipped = static_cast<int16_t>(indices[i] ^ kFlip);
        smallest = std::min(smallest, flipped);
        largest = std::max(largest, flipped);
    }
    return {static_cast<uint16_t>(static_cast<uint16_t>(smallest) ^ kFlip),
            static_cast<uint16_t>(static_cast<uint16_t>(largest) ^ kFlip)};
}

template <class Index> IndexBounds<Index> boundsOf(const Index* indices, size_t count) {
    Index smallest = std::numeric_limits<Index>::max();
    Index largest = 0;
    for (size_t i = 0; i < count; ++i) {
        smallest = std::min(smallest, indices[i]);
        largest = std::max(largest, indices[i]);
    }
    return {smallest, largest};
}

// Every group must address indices inside the list and vertices inside its own range.
template <class Index>
bool checkGroups(const std::vector<PrimitiveGroup>& groups, const Index* indices, size_t count,
                 std::string& error) {
    // Exporters split the index list into disjoint groups. Refusing more
    // coverage than the list holds also bounds the checking below to one pass
    // over it, whatever a hostile file claims.
    uint64_t covered = 0;
    for (const PrimitiveGroup& group : groups) {
        covered += uint64_t{group.primitiveCount} * 3;
    }
    if (covered > count) {
        error = formatString("the primitive groups cover %llu indices, more than the %zu the block holds",
                             static_cast<unsigned long long>(covered), count);
        return false;
    }
    for (size_t g = 0; g < groups.size(); ++g) {
        const PrimitiveGroup& group = groups[g];
        const uint64_t end = uint64_t{group.startIndex} + uint64_t{group.primitiveCount} * 3;
        if (end > count) {
            error = formatString("primitive group %zu (indices %u..%llu) runs past the %zu indices", g,
                                 group.startIndex, static_cast<unsigned long long>(end), count);
            return false;
        }
        // The smallest and largest index decide; only a group that fails is
        // searched for the index to name.
        const IndexBounds<Index> bounds =
            boundsOf(indices + group.startIndex, static_cast<size_t>(end) - group.startIndex);
        const uint64_t vertexEnd = uint64_t{group.startVertex} + group.vertexCount;
        if (end > group.startIndex && (bounds.smallest < group.startVertex || bounds.largest >= vertexEnd)) {
            const size_t i = firstOutside(indices, group.startIndex, static_cast<size_t>(end),
                                          group.startVertex, vertexEnd);
            error = formatString("index %u at %zu lies outside the vertex range %u..%llu of group %zu",
                                 static_cast<unsigned>(indices[i]), i, group.startVertex,
                                 static_cast<unsigned long long>(vertexEnd), g);
            return false;
        }
    }
    return true;
}

// The little-endian indices of a block as stored, `Index` wide, into `out`.
template <class Index> void readIndices(const char* at, uint32_t count, Index* out) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, at, size_t{count} * sizeof(Index));
    } else {
        for (size_t i = 0; i < count; ++i) {
            out[i] = sizeof(Index) == 2 ? ByteIO::u16At(at + i * 2) : ByteIO::u32At(at + i * 4);
        }
    }
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
    if (!checkGroups(data.groups, data.indices.data(), data.indices.size(), error)) {
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
    std::vector<PrimitiveGroup>& groups = result->groups_;
    groups.resize(groupCount);
    for (PrimitiveGroup& g : groups) {
        g.startIndex = r.u32();
        g.primitiveCount = r.u32();
        g.startVertex = r.u32();
        g.vertexCount = r.u32();
    }
    // The size check above keeps every index inside the block.
    const char* at = block.data() + r.position();
    // Short indices stay short: most blocks hold them, and only a few callers
    // ask for the list itself.
    bool checked = false;
    if (indexSize == 2) {
        result->short_.reset(new uint16_t[indexCount]);
        result->shortCount_ = indexCount;
        readIndices(at, indexCount, result->short_.get());
        checked = checkGroups(groups, result->short_.get(), indexCount, error);
    } else {
        result->wide_.resize(indexCount);
        readIndices(at, indexCount, result->wide_.data());
        checked = checkGroups(groups, result->wide_.data(), indexCount, error);
    }
    if (!checked) {
        return nullptr;
    }
    return result;
}

const std::vector<uint32_t>& IndexBlock::indices() const {
    if (indexSize_ == 2) {
        std::call_once(widened_, [this] { wide_.assign(short_.get(), short_.get() + shortCount_); });
    }
    return wide_;
}

uint64_t IndexBlock::triangleCount() const {
    uint64_t total = 0;
    for (const PrimitiveGroup& g : groups_) {
        total += g.primitiveCount;
    }
    return total;
}

uint64_t IndexBlock::vertexRangeEnd() const {
    uint64_t end = 0;
    for (const PrimitiveGroup& g : groups_) {
        end = std::max(end, uint64_t{g.startVertex} + g.vertexCount);
    }
    return end;
}
