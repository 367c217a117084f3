#include "engine/image/image.h"

#include "engine/core/debug_log.h"
#include "engine/core/stack_tracker.h"
#include "engine/resource/file_system.h"
#include "engine/texture/texture_file.h"

namespace Image {

bool ImageData::goToNextPixel() {
    const size_t count = size_t(pixels_.width) * pixels_.height;
    if (cursor_ + 1 >= count) {
        return false;
    }
    ++cursor_;
    return true;
}

float ImageData::channel(int index) const {
    if (!isLoaded()) {
        return 0.f;
    }
    return float(pixels_.pixels[cursor_ * 4 + size_t(index)]);
}

ImagePtr createImage() {
    return ImagePtr(new ImageData());
}

namespace {

// The disk file of an image path; "" with the reason when it lies outside the roots.
std::string imageFile(const std::string& path, std::string& error) {
    std::string absolute = FS::fileSystem()->resolveFilename(path);
    if (absolute.empty()) {
        error = "the path lies outside the resource roots";
    }
    return absolute;
}

void warnNotLoaded(const std::string& path, const std::string& error) {
    DebugLog::message(DebugLog::Warning, "image", "%s: %s", path.c_str(), error.c_str());
}

} // namespace

bool loadImage(const ImagePtr& image, const std::string& path) {
    KX_STACK_TRACK("Image::loadImage");
    if (!image) {
        return false;
    }
    ImageData& target = *image;
    target.pixels_ = RgbaImage();
    target.channels_ = 0;
    target.cursor_ = 0;
    target.path_ = path;
    target.lastError_.clear();
    const std::string absolute = imageFile(path, target.lastError_);
    RgbaImage pixels;
    uint32_t channels = 0;
    if (!absolute.empty() && TextureFile::decodeTopLevel(absolute, pixels, channels, target.lastError_)) {
        target.pixels_ = std::move(pixels);
        target.channels_ = channels;
        return true;
    }
    warnNotLoaded(path, target.lastError_);
    return false;
}

std::optional<bool> redChannelWithin(const std::string& path, uint8_t low, uint8_t high, uint32_t& channels) {
    KX_STACK_TRACK("Image::redChannelWithin");
    channels = 0;
    std::string error;
    const std::string absolute = imageFile(path, error);
    bool within = false;
    if (!absolute.empty() && TextureFile::topLevelRedWithin(absolute, low, high, within, channels, error)) {
        return within;
    }
    channels = 0;
    warnNotLoaded(path, error);
    return std::nullopt;
}

ImageInfo getImageInfo(const ImagePtr& image) {
    ImageInfo info;
    if (image && image->isLoaded()) {
        info.width = image->pixels_.width;
        info.height = image->pixels_.height;
        info.channels = image->channels_;
    }
    return info;
}

bool hasChannels(const ImageInfo& info, uint32_t mask) {
    return mask != 0 && (info.channels & mask) == mask;
}

} // namespace Image
