#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/core/smart_pointer.h"
#include "engine/texture/rgba_image.h"

// Per-pixel access to image files (PNG, TGA, and DDS in the formats the
// texture codec decodes: uncompressed, BC1 to BC5). Pixels are visited in
// rows from the top left; channel values are 0 to 255.
namespace Image {

// Channel mask bits for ImageInfo::channels and hasChannels. A grey image has
// only red (its grey value also comes back from getGreen and getBlue), so
// hasChannels(info, CHANNEL_GREEN) tells a colour image from a grey one.
enum Channel : uint32_t {
    CHANNEL_RED = Channels::Red,
    CHANNEL_GREEN = Channels::Green,
    CHANNEL_BLUE = Channels::Blue,
    CHANNEL_ALPHA = Channels::Alpha,
};

struct ImageInfo {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t channels = 0;
};

class ImageData : public ReferenceCount {
  public:
    bool isLoaded() const { return !pixels_.empty(); }
    const std::string& path() const { return path_; }
    const std::string& lastError() const { return lastError_; }
    const RgbaImage& pixels() const { return pixels_; }

    // The pixel cursor. After a load it stands on the first pixel.
    float getRed() const { return channel(0); }
    float getGreen() const { return channel(1); }
    float getBlue() const { return channel(2); }
    float getAlpha() const { return channel(3); }
    // Moves to the next pixel; false (and no move) at the last one.
    bool goToNextPixel();
    void rewind() { cursor_ = 0; }
    uint32_t cursorX() const { return pixels_.width ? uint32_t(cursor_ % pixels_.width) : 0; }
    uint32_t cursorY() const { return pixels_.width ? uint32_t(cursor_ / pixels_.width) : 0; }

  private:
    friend bool loadImage(const SmartPointer<ImageData>& image, const std::string& path);
    friend ImageInfo getImageInfo(const SmartPointer<ImageData>& image);

    float channel(int index) const;

    RgbaImage pixels_;
    uint32_t channels_ = 0;
    size_t cursor_ = 0;
    std::string path_;
    std::string lastError_;
};

using ImagePtr = SmartPointer<ImageData>;

ImagePtr createImage();
// Loads a file (absolute or resource path) into `image`. On failure the image
// is empty, lastError() says why and one warning line names the file.
bool loadImage(const ImagePtr& image, const std::string& path);
// Whether the red value of every pixel of the image at `path` lies in
// [low, high], with the channels getImageInfo would give, without keeping
// the pixels; nothing (after the warning loadImage gives) when it does not load.
std::optional<bool> redChannelWithin(const std::string& path, uint8_t low, uint8_t high, uint32_t& channels);
// Zeros for a null or empty image.
ImageInfo getImageInfo(const ImagePtr& image);
// True when the image holds every channel of `mask`.
bool hasChannels(const ImageInfo& info, uint32_t mask);

} // namespace Image
