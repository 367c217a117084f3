#include "engine/geometry/index_block.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

#include "engine/core/format.h"
#include "engine/core/stack_tracker.h"
#include "engine/geometry/byte_io.h"
#include "engine/geometry/primitives_format.h"

namespace {

constexpr size_t kHeaderSize = 16;
constexpr size_t kGroupSize = 16;

// The first index of [begin, end) outside [low, end of range), or end.
size_t firstOutside(const std::vector<uint32_t>& indices, size_t begin, size_t end, uint32_t low,
                    uint64_t rangeEnd) {
    for (size_t i = begin; i < end; ++i) {
        if (indices[i] < low || indices[i] >= rangeEnd) {
            return i;
        }
    }
    return end;
}

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
        // The smallest and largest index decide; only a group that fails is
        // searched for the index to name.
        uint32_t smallest = UINT32_MAX;
        uint32_t largest = 0;
        for (size_t i = group.startIndex; i < end; ++i) {
            smallest = std::min(smallest, data.indices[i]);
            largest = std::max(largest, data.indices[i]);
        }
        const uint64_t vertexEnd = uint64_t{group.startVertex} + group.vertexCount;
        if (end > group.startIndex && (smallest < group.startVertex || largest >= vertexEnd)) {
            const size_t i = firstOutside(data.indices, group.startIndex, static_cast<size_t>(end),
                                          group.startVertex, vertexEnd);
            error = formatString("index %u at %zu lies outside the vertex range %u..%llu of group %zu",
                                 data.indices[i], i, group.startVertex,
                                 static_cast<unsigned long long>(vertexEnd), g);
            return false;
        }
    }
    return true;
}

// The little-endian indices of a block as an iterator, so that the index
// list is filled once from the file's bytes, not zeroed first.
template <int Size> class StoredIndices {
  public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = uint32_t;
    using difference_type = std::ptrdiff_t;
    using pointer = const uint32_t*;
    using reference = uint32_t;

    explicit StoredIndices(const char* at) : at_(at) {}
    uint32_t operator*() const { return Size == 2 ? ByteIO::u16At(at_) : ByteIO::u32At(at_); }
    StoredIndices& operator++() {
        at_ += Size;
        return *this;
    }
    StoredIndices operator++(int) {
        StoredIndices before = *this;
        at_ += Size;
        return before;
    }
    StoredIndices& operator--() {
        at_ -= Size;
        return *this;
    }
    StoredIndices& operator+=(difference_type steps) {
        at_ += steps * Size;
        return *this;
    }
    difference_type operator-(const StoredIndices& other) const { return (at_ - other.at_) / Size; }
    bool operator==(const StoredIndices& other) const { return at_ == other.at_; }
    bool operator!=(const StoredIndices& other) const { return at_ != other.at_; }

  private:
    const char* at_;
};

template <int Size> void readIndices(const char* at, uint32_t count, std::vector<uint32_t>& out) {
    out.assign(StoredIndices<Size>(at), StoredIndices<Size>(at + size_t{count} * Size));
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
    const char* at = block.data() + r.position();
    if (indexSize == 2) {
        readIndices<2>(at, indexCount, d.indices);
    } else {
        readIndices<4>(at, indexCount, d.indices);
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
