#include <algorithm>
#include <bit>
#include <cmath>
#include <optional>
#include <unordered_map>

#include "engine/core/stack_tracker.h"
#include "engine/platform/file_stamp.h"
#include "engine/render/render_format.h"
#include "engine/resource/file_system.h"
#include "model_validator/finding_catalogue.h"
#include "model_validator/validator_helper.h"

namespace KX::ValidatorHelper {

namespace {

// Single-precision 1/ln 2: the expected level count must come out exactly as
// the content tools compute it, including where rounding the logarithm to
// the nearest whole number (600 gives 10 levels, 768 gives 11) differs from
// the full chain a renderer would build.
constexpr float kInverseLn2 = 1.442695f;

int expectedMipLevels(uint32_t width, uint32_t height) {
    const float maxSide = static_cast<float>(std::max(width, height));
    return static_cast<int>(roundf(logf(maxSide) * kInverseLn2)) + 1;
}

} // namespace

bool checkDimensionsNTimesGreater(int32_t width, int32_t height, int32_t otherWidth, int32_t otherHeight,
                                  uint32_t n) {
    return static_cast<uint32_t>(width) == static_cast<uint32_t>(otherWidth) * n &&
           static_cast<uint32_t>(height) == static_cast<uint32_t>(otherHeight) * n;
}

bool checkDimensionsNTimesSmaller(int32_t width, int32_t height, int32_t otherWidth, int32_t otherHeight,
                                  uint32_t n) {
    return checkDimensionsNTimesGreater(otherWidth, otherHeight, width, height, n);
}

bool checkDimensionsPowOfTwoTimesSmaller(uint32_t width, uint32_t height, uint32_t otherWidth,
                                         uint32_t otherHeight) {
    // A zero side has no quotient; no texture that loads has one.
    if (width == 0 || height == 0 || otherWidth % width != 0 || otherHeight % height != 0) {
        return false;
    }
    const uint32_t quotient = otherWidth / width;
    return quotient == otherHeight / height && quotient >= 2 && std::has_single_bit(quotient);
}

bool isDimensionsExceedUpperBounds(uint32_t width, uint32_t height, uint32_t maxWidth, uint32_t maxHeight) {
    return width > maxWidth || height > maxHeight;
}

std::string getFilenamePostfix(const std::string& path) {
    std::string_view name = FS::Utils::filenameOf(path);
    name = name.substr(0, name.rfind('.'));
    const size_t underscore = name.rfind('_');
    return underscore == std::string_view::npos ? std::string() : std::string(name.substr(underscore + 1));
}

TextureLoader::InputOptions Validator::textureInputOptions() {
    TextureLoader::InputOptions options;
    // The rules judge the file as stored: generated levels would hide a
    // missing mip chain, and pixels are read only where a rule needs them.
    options.generateMips = false;
    options.headerOnly = true;
    return options;
}

std::string Validator::textureReadKey(const std::string& path) {
    const std::string disk = FS::fileSystem()->resolveFilename(path);
    return disk.empty() ? path : disk;
}

namespace {

// What the checks read of texture files, kept across steps and checks for as
// long as each file's stamp proves it unchanged (a library's textures serve
// many models). Only the checks' thread uses it.
class KnownTextures {
  public:
    struct Reads {
        FileStamp stamp;
        int64_t readNs = 0;
        std::optional<TextureLoader::Output> header; // once it loaded
        std::unordered_map<std::string, bool> verdicts;
        uint64_t provedIn = 0; // the file system's pass
    };

    static KnownTextures& instance() {
        static KnownTextures known;
        return known;
    }

    // The reads of an existing file, emptied when the file changed since
    // they were made; null when the file cannot be stamped.
    // Proved once per pass, as parsed files are: the steps of one check that
    // read the same texture see the same file.
    Reads* of(const std::string& diskPath) {
        const uint64_t pass = FS::fileSystem()->generation();
        if (const auto known = files_.find(diskPath);
            known != files_.end() && known->second.provedIn == pass) {
            return &known->second;
        }
        const FileStamp stamp = fileStamp(diskPath);
        if (stamp.type != FileStamp::File) {
            files_.erase(diskPath);
            return nullptr;
        }
        Reads& reads = files_[diskPath];
        if (!(reads.stamp == stamp && stampProvesContent(reads.stamp, reads.readNs))) {
            // Stamped before the read: a save during the read changes the stamp.
            reads = Reads{stamp, fileClockNowNs(), std::nullopt, {}, 0};
        }
        reads.provedIn = pass;
        return &reads;
    }

  private:
    std::unordered_map<std::string, Reads> files_;
};

} // namespace

bool Validator::textureVerdict(const std::string& check, const std::string& path,
                               const std::function<std::optional<bool>()>& compute) {
    // Within a scope a path names the file it named before: it is resolved
    // only when the scope has not met it.
    const std::string scopeKey = check + ":" + path;
    if (textureReads_.active) {
        const auto known = textureReads_.pixelVerdicts.find(scopeKey);
        if (known != textureReads_.pixelVerdicts.end()) {
            return known->second;
        }
    }
    KnownTextures::Reads* reads = KnownTextures::instance().of(textureReadKey(path));
    bool verdict = false;
    // Only a file that loaded keeps a verdict: one that could not be read may
    // become readable without any change of its contents.
    const bool keep = reads && reads->header;
    const auto known = keep ? reads->verdicts.find(check) : std::unordered_map<std::string, bool>::iterator();
    if (keep && known != reads->verdicts.end()) {
        verdict = known->second;
    } else {
        const std::optional<bool> computed = compute();
        verdict = computed.value_or(false);
        if (keep && computed) {
            reads->verdicts[check] = *computed;
        }
    }
    if (textureReads_.active) {
        textureReads_.pixelVerdicts[scopeKey] = verdict;
    }
    return verdict;
}

Validator::TextureReadScope::TextureReadScope(Validator& validator) : validator_(validator) {
    validator_.textureReads_ = TextureReads();
    validator_.textureReads_.active = true;
}

Validator::TextureReadScope::~TextureReadScope() {
    validator_.textureReads_ = TextureReads();
}

bool Validator::loadTexture(const std::string& path, TextureLoader::Output& output) {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::loadTexture");
    output.reset();
    // The scope knows files by the paths it was asked, which name the same
    // files while it lives; the reads kept across checks, by disk path.
    if (textureReads_.active) {
        const auto known = textureReads_.headers.find(path);
        if (known != textureReads_.headers.end()) {
            if (known->second) {
                output = *known->second;
            }
            return known->second.has_value();
        }
    }
    KnownTextures::Reads* reads = KnownTextures::instance().of(textureReadKey(path));
    bool loaded = false;
    if (reads && reads->header) {
        loaded = true;
        output = *reads->header;
    } else {
        TextureLoader loader;
        // Failures are findings of the caller; the loader need not log them too.
        loaded =
            loader.loadTextureFromFile(path, textureInputOptions(), "texture/unknown managed texture", false);
        if (loaded) {
            output = loader.takeOutput();
        }
        if (reads && loaded) {
            reads->header = output;
        }
    }
    if (textureReads_.active) {
        textureReads_.headers[path] = loaded ? std::optional<TextureLoader::Output>(output) : std::nullopt;
    }
    return loaded;
}

void Validator::checkTextureFormat(const std::string& textureName, Render::ResourceFormat expected,
                                   const TextureLoader::Output& output, ValidationErrorSeverity severity,
                                   int code, const std::string& lodText, const std::string& materialName) {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::checkTextureFormat");
    if (output.width == 0 || output.height == 0 || output.format == expected) {
        return;
    }
    report(Findings::TextureFormatMismatch, code, severity, getStyleName(textureName),
           Findings::TextureFormatMismatch.text(textureName, Render::getResourceFormatName(output.format),
                                                Render::getResourceFormatName(expected), lodText,
                                                materialName));
}

void Validator::checkMipLevel(const std::string& textureName, const TextureLoader::Output& output,
                              ValidationErrorSeverity severity, int code) {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::checkMipLevel");
    if (output.width == 0 || output.height == 0) {
        return;
    }
    const int expected = expectedMipLevels(output.width, output.height);
    const int actual = getTextureMipLevel(textureName, code);
    if (actual == expected) {
        return;
    }
    report(Findings::TextureMipLevelMismatch, code, severity, getStyleName(textureName),
           Findings::TextureMipLevelMismatch.text(textureName, actual, expected));
}

int Validator::getTextureMipLevel(const std::string& textureName, int code) {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::getTextureMipLevel");
    TextureLoader::Output output;
    bool loaded = loadTexture(textureName, output);
    if (!loaded) {
        std::string absolute = textureName;
        FS::Utils::resolveToAbsolutePath(absolute);
        loaded = loadTexture(absolute, output);
    }
    if (loaded) {
        return static_cast<int>(output.mipCount);
    }
    report(Findings::TextureMipLevelUnreadable, code, getStyleName(textureName),
           Findings::TextureMipLevelUnreadable.text(textureName));
    return -1;
}

} // namespace KX::ValidatorHelper
