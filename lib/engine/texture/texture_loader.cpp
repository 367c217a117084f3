#include "engine/texture/texture_loader.h"

#include <algorithm>

#include "engine/core/debug_log.h"
#include "engine/core/stack_tracker.h"
#include "engine/resource/file_system.h"
#include "engine/texture/pixel_codec.h"
#include "engine/texture/texture_file.h"

namespace {

const char* const kLogCategory = "texture";

// The disk path of a texture path; "" with `reason` when there is none.
std::string resolveTexturePath(const std::string& path, std::string& reason) {
    if (path.empty()) {
        reason = "empty texture path";
        return {};
    }
    std::string absolute = FS::fileSystem()->resolveFilename(path);
    if (absolute.empty()) {
        reason = "the path lies outside the resource roots";
    }
    return absolute;
}

TextureInitialDataPtr loadResolved(const std::string& path, std::string& reason) {
    const std::string absolute = resolveTexturePath(path, reason);
    return absolute.empty() ? nullptr : TextureFile::loadInitialData(absolute, reason);
}

// Adds the levels a file lacks, each a box-filtered half of the one before.
// Formats the codec cannot round-trip keep their stored levels.
TextureInitialDataPtr completeMipChain(const TextureInitialDataPtr& data) {
    const Render::ResourceFormat format = data->format();
    const uint32_t fullChain = Render::getFullMipChainLength(data->width(), data->height());
    if (data->mipCount() >= fullChain || !PixelCodec::canDecode(format) || !PixelCodec::canEncode(format)) {
        return data;
    }
    std::vector<TextureInitialData::Level> levels = data->levels();
    const TextureInitialData::Level& last = levels.back();
    RgbaImage image;
    std::string reason;
    if (!PixelCodec::decode(format, last.bytes.data(), last.bytes.size(), last.width, last.height, image,
                            reason)) {
        return data;
    }
    while (levels.size() < fullChain) {
        image = RgbaImage::downsample(image);
        TextureInitialData::Level level;
        Render::SurfaceLayout layout;
        if (!Render::getSurfaceLayout(format, image.width, image.height, layout) ||
            !PixelCodec::encode(format, image, level.bytes, reason)) {
            return data;
        }
        level.width = image.width;
        level.height = image.height;
        level.rowPitch = uint32_t(layout.rowPitch);
        level.rowCount = uint32_t(layout.rowCount);
        levels.push_back(std::move(level));
    }
    return TextureInitialDataPtr(new TextureInitialData(format, data->channelMask(), std::move(levels)));
}

bool readResolvedHeader(const std::string& path, TextureFile::HeaderInfo& info, std::string& reason) {
    const std::string absolute = resolveTexturePath(path, reason);
    return !absolute.empty() && TextureFile::readHeaderInfo(absolute, info, reason);
}

// The level count a full load would give: completeMipChain's rule.
uint32_t loadedMipCount(const TextureFile::HeaderInfo& info, const TextureLoader::InputOptions& options) {
    if (!options.generateMips || !PixelCodec::canDecode(info.format) || !PixelCodec::canEncode(info.format)) {
        return info.mipCount;
    }
    return std::max(info.mipCount, Render::getFullMipChainLength(info.width, info.height));
}

} // namespace

bool TextureLoader::loadTextureFromFile(const std::string& resourcePath, const InputOptions& options,
                                        const std::string& debugName, bool reportFailure) {
    KX_STACK_TRACK("TextureLoader::loadTextureFromFile");
    output_.reset();
    lastError_.clear();
    const bool loaded =
        options.headerOnly ? loadHeader(resourcePath, options) : loadWhole(resourcePath, options);
    if (!loaded && reportFailure) {
        DebugLog::message(DebugLog::Warning, kLogCategory, "%s: %s (%s)", resourcePath.c_str(),
                          lastError_.c_str(), debugName.c_str());
    }
    return loaded;
}

bool TextureLoader::loadHeader(const std::string& resourcePath, const InputOptions& options) {
    TextureFile::HeaderInfo info;
    if (!readResolvedHeader(resourcePath, info, lastError_)) {
        return false;
    }
    output_.format = info.format;
    output_.width = info.width;
    output_.height = info.height;
    output_.mipCount = loadedMipCount(info, options);
    return true;
}

bool TextureLoader::loadWhole(const std::string& resourcePath, const InputOptions& options) {
    TextureInitialDataPtr data = loadResolved(resourcePath, lastError_);
    if (!data) {
        return false;
    }
    if (options.generateMips) {
        data = completeMipChain(data);
    }
    output_.format = data->format();
    output_.width = data->width();
    output_.height = data->height();
    output_.mipCount = data->mipCount();
    output_.texture = Render::TexturePtr(new Render::Texture(data));
    return true;
}

TextureLoader::Output TextureLoader::takeOutput() {
    Output taken = std::move(output_);
    output_.reset();
    return taken;
}

TextureInitialDataPtr TextureLoader::loadTextureDataFromFile(const std::string& path, const InputOptions&,
                                                             std::string* reason) {
    KX_STACK_TRACK("TextureLoader::loadTextureDataFromFile");
    std::string failure;
    TextureInitialDataPtr data = loadResolved(path, failure);
    if (!data) {
        DebugLog::message(DebugLog::Warning, kLogCategory, "%s: %s", path.c_str(), failure.c_str());
        if (reason) {
            *reason = failure;
        }
    }
    return data;
}
