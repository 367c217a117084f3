#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/smart_pointer.h"

// A run of triangles drawn with one material. Indices are absolute vertex
// numbers; every index of the group lies in [startVertex, startVertex + vertexCount).
struct PrimitiveGroup {
    uint32_t startIndex = 0;
    uint32_t primitiveCount = 0; // triangles, so 3 * primitiveCount indices
    uint32_t startVertex = 0;
    uint32_t vertexCount = 0;
};

// Triangle-list indices with their primitive groups. With no groups given,
// the encoder writes one group covering every index.
struct IndexData {
    std::vector<uint32_t> indices;
    std::vector<PrimitiveGroup> groups;
    // 16-bit indices are written when every index fits, unless this is set.
    bool force32Bit = false;
};

// A decoded index block of a .primitives file.
class IndexBlock : public ReferenceCount {
  public:
    // Null and a reason when the block is malformed.
    static SmartPointer<IndexBlock> decode(std::string_view block, std::string& error);
    // Encodes an index block; checks the groups against the indices first.
    static bool encode(const IndexData& data, std::vector<char>& out, std::string& error);

    int indexSize() const { return indexSize_; }
    // Every index, widened.
    const std::vector<uint32_t>& indices() const;
    // Calls `fn` with a pointer to the indices as stored (16 or 32 bits
    // each), for loops over many of them.
    template <class Fn> void withStoredIndices(Fn fn) const {
        if (indexSize_ == 2) {
            fn(short_.get());
        } else {
            fn(wide_.data());
        }
    }
    const std::vector<PrimitiveGroup>& groups() const { return groups_; }
    // Triangles over all groups.
    uint64_t triangleCount() const;
    // Largest vertex number any group may use, plus one.
    uint64_t vertexRangeEnd() const;

  private:
    int indexSize_ = 2;
    std::vector<PrimitiveGroup> groups_;
    // The indices as stored: short ones, widened when the whole list is asked
    // for. Short ones are copied into memory never filled with zeros first.
    std::unique_ptr<uint16_t[]> short_;
    size_t shortCount_ = 0;
    mutable std::vector<uint32_t> wide_;
    mutable std::once_flag widened_;
};

using IndexBlockPtr = SmartPointer<IndexBlock>;
