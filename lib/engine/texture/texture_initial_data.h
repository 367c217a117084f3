#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "engine/core/smart_pointer.h"
#include "engine/render/render_format.h"

// The levels of a texture as a file stores them (for arrays and cube maps the
// first image, for volumes the first slice), before the loader turns them into
// a texture. Level 0 is the largest.
class TextureInitialData : public ReferenceCount {
  public:
    struct Level {
        uint32_t width = 0;
        uint32_t height = 0;
        uint32_t rowPitch = 0; // bytes per row of pixels or of 4x4 blocks
        uint32_t rowCount = 0;
        std::vector<uint8_t> bytes;
    };

    TextureInitialData(Render::ResourceFormat format, uint32_t channelMask, std::vector<Level> levels)
        : format_(format), channelMask_(channelMask), levels_(std::move(levels)) {}

    Render::ResourceFormat format() const { return format_; }
    uint32_t width() const { return levels_.empty() ? 0 : levels_.front().width; }
    uint32_t height() const { return levels_.empty() ? 0 : levels_.front().height; }
    uint32_t mipCount() const { return uint32_t(levels_.size()); }
    const Level& level(uint32_t mip) const { return levels_.at(mip); }
    const std::vector<Level>& levels() const { return levels_; }
    // Channels the source holds (Channels:: bits of engine/texture/rgba_image.h).
    uint32_t channelMask() const { return channelMask_; }

  private:
    Render::ResourceFormat format_;
    uint32_t channelMask_;
    std::vector<Level> levels_;
};

using TextureInitialDataPtr = SmartPointer<TextureInitialData>;
