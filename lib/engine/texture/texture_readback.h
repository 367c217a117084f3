#pragma once

#include <cstdint>
#include <vector>

#include "engine/core/smart_pointer.h"
#include "engine/render/render_format.h"
#include "engine/texture/texture_initial_data.h"

namespace Render {

// Row layout of the read-back buffer. Rows are tightly packed; for
// block-compressed formats a row is one line of 4x4 blocks, so rowCount counts
// block rows and rowPitch / blockBytes is the number of blocks in a row.
struct ReadbackBufferLayout {
    uint32_t rowPitch = 0;
    uint32_t rowCount = 0;
    uint64_t bytes = 0;
};

// A loaded texture. It has one slice (the loader keeps the first image of
// arrays and cube maps) and mipCount() levels; sub-resource i is mip i.
class Texture : public ReferenceCount {
  public:
    static constexpr uint32_t kInvalidSubResource = 0xFFFFFFFFu;

    explicit Texture(TextureInitialDataPtr data) : data_(std::move(data)) {}

    ResourceFormat format() const { return data_ ? data_->format() : RF_UNKNOWN; }
    uint32_t width() const { return data_ ? data_->width() : 0; }
    uint32_t height() const { return data_ ? data_->height() : 0; }
    uint32_t mipCount() const { return data_ ? data_->mipCount() : 0; }
    uint32_t sliceCount() const { return data_ ? 1 : 0; }

    // Index of a sub-resource, or kInvalidSubResource when mip or slice is out of range.
    uint32_t getSubResource(uint32_t mip, uint32_t slice) const;
    // Copies a sub-resource into the read-back buffer. False (and an empty
    // buffer) for an invalid index. Copies every time it is called, hence "slow".
    bool slowImmediateReadback(uint32_t subResource);
    const std::vector<uint8_t>& getReadbackBuffer() const { return readback_; }
    ReadbackBufferLayout getReadbackBufferLayout() const { return layout_; }

  private:
    TextureInitialDataPtr data_;
    std::vector<uint8_t> readback_;
    ReadbackBufferLayout layout_;
};

using TexturePtr = SmartPointer<Texture>;

} // namespace Render
