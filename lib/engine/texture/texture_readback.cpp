#include "engine/texture/texture_readback.h"

#include "engine/core/stack_tracker.h"

namespace Render {

uint32_t Texture::getSubResource(uint32_t mip, uint32_t slice) const {
    if (slice >= sliceCount() || mip >= mipCount()) {
        return kInvalidSubResource;
    }
    return slice * mipCount() + mip;
}

bool Texture::slowImmediateReadback(uint32_t subResource) {
    KX_STACK_TRACK("Render::Texture::slowImmediateReadback");
    readback_.clear();
    layout_ = ReadbackBufferLayout();
    if (!data_ || subResource >= mipCount() * sliceCount()) {
        return false;
    }
    const TextureInitialData::Level& level = data_->level(subResource % mipCount());
    readback_ = level.bytes;
    layout_.rowPitch = level.rowPitch;
    layout_.rowCount = level.rowCount;
    layout_.bytes = readback_.size();
    return true;
}

} // namespace Render
