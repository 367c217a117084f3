#pragma once

#include <cstdint>
#include <string>

#include "engine/core/smart_pointer.h"
#include "engine/render/render_format.h"
#include "engine/texture/texture_initial_data.h"
#include "engine/texture/texture_readback.h"

// Turns a texture file (DDS, PNG or TGA) into a texture. Paths may be resource
// paths (resolved through the resource file system) or absolute disk paths.
// Files with the extension "atlas" are atlas descriptions, not images, and
// never load.
class TextureLoader {
  public:
    struct InputOptions {
        // The renderer wants complete mip chains, so by default the loader
        // builds the levels a file lacks (for formats it can encode: 8-bit
        // uncompressed and BC1 to BC5). Content checks switch this off to see
        // the texture exactly as stored: then Output::mipCount is the file's
        // own level count.
        bool generateMips = true;
        // Checks that need only the format, size and level count read the
        // file's header alone (TextureFile::readHeaderInfo): no pixel data is
        // read and Output::texture stays null.
        bool headerOnly = false;
    };

    struct Output {
        Render::ResourceFormat format = Render::RF_UNKNOWN;
        uint32_t width = 0;
        uint32_t height = 0;
        uint32_t mipCount = 0;
        // The loaded texture, for read-back; null when nothing loaded.
        Render::TexturePtr texture;

        void reset() { *this = Output(); }
    };

    // Loads a texture; false when the file is missing or cannot be decoded
    // (lastError() says why). `debugName` names the texture in log lines.
    // With `reportFailure` a failed load also writes one warning line naming
    // the file; callers that report failures themselves pass false.
    bool loadTextureFromFile(const std::string& resourcePath, const InputOptions& options,
                             const std::string& debugName, bool reportFailure);
    // The result of the last successful load; the loader forgets it.
    Output takeOutput();
    const std::string& lastError() const { return lastError_; }

    // The levels the file stores, whatever `options` say (mips are generated
    // only when a texture is made), or null; a failure writes one warning line
    // and, when `reason` is given, its cause there.
    static TextureInitialDataPtr loadTextureDataFromFile(const std::string& path, const InputOptions& options,
                                                         std::string* reason = nullptr);
    static TextureInitialDataPtr loadTextureDataFromFile(const std::string& path) {
        return loadTextureDataFromFile(path, InputOptions());
    }

  private:
    bool loadHeader(const std::string& resourcePath, const InputOptions& options);
    bool loadWhole(const std::string& resourcePath, const InputOptions& options);

    Output output_;
    std::string lastError_;
};
