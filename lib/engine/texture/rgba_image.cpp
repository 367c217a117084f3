#include "engine/texture/rgba_image.h"

RgbaImage RgbaImage::downsample(const RgbaImage& image) {
    RgbaImage result;
    if (!image.isConsistent()) {
        return result;
    }
    result.width = image.width > 1 ? image.width / 2 : 1;
    result.height = image.height > 1 ? image.height / 2 : 1;
    result.pixels.resize(result.byteCount());
    const uint32_t stepX = image.width > 1 ? 2 : 1;
    const uint32_t stepY = image.height > 1 ? 2 : 1;
    const uint32_t count = stepX * stepY;
    for (uint32_t y = 0; y < result.height; ++y) {
        for (uint32_t x = 0; x < result.width; ++x) {
            for (uint32_t c = 0; c < 4; ++c) {
                uint32_t sum = 0;
                for (uint32_t dy = 0; dy < stepY; ++dy) {
                    for (uint32_t dx = 0; dx < stepX; ++dx) {
                        const size_t source =
                            (size_t(y * stepY + dy) * image.width + (x * stepX + dx)) * 4 + c;
                        sum += image.pixels[source];
                    }
                }
                result.pixels[(size_t(y) * result.width + x) * 4 + c] = uint8_t((sum + count / 2) / count);
            }
        }
    }
    return result;
}
