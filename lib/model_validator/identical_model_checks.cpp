#include <algorithm>
#include <list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/core/stack_tracker.h"
#include "engine/model/visual_path.h"
#include "engine/resource/file_system.h"
#include "model_validator/finding_catalogue.h"
#include "model_validator/model_validator.h"

namespace KX {

using namespace ValidatorHelper;

namespace {

// The lower-cased lines of a text, sorted, so that files holding the same
// lines in another order compare equal.
std::vector<std::string> sortedLines(std::string_view text, bool textMode) {
    std::list<std::string> lines;
    splitLines(text, textMode, true, lines);
    std::vector<std::string> sorted(lines.begin(), lines.end());
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

// The same of a file; nothing when it cannot be read.
std::optional<std::vector<std::string>> sortedLines(const std::string& file, bool textMode) {
    std::string absolute = file;
    FS::Utils::resolveToAbsolutePath(absolute);
    std::string reason;
    const BinaryPtr bytes = FS::Utils::readFileOfPass(absolute, reason);
    if (!bytes) {
        return std::nullopt;
    }
    return sortedLines(bytes->view(), textMode);
}

// A visual as the unused-texture search reads it: its lines are split only
// when there are textures left to look for in them.
class VisualText {
  public:
    explicit VisualText(const std::string& absolute) {
        std::string reason;
        bytes_ = FS::Utils::readFileOfPass(absolute, reason);
    }
    bool readable() const { return bytes_ != nullptr; }
    const std::vector<std::string>& lines() {
        if (!lines_) {
            lines_ = sortedLines(bytes_->view(), true);
        }
        return *lines_;
    }

  private:
    BinaryPtr bytes_;
    std::optional<std::vector<std::string>> lines_;
};

// Each file of a folder is sized and read at most once, however many pairs
// it takes part in: a folder of a few hundred files stays cheap.
class FileContents {
  public:
    explicit FileContents(const std::vector<std::string>& files)
        : files_(files), sizes_(files.size()), lines_(files.size()) {}

    unsigned size(size_t index) {
        if (!sizes_[index]) {
            sizes_[index] = Validator::getFileSize(files_[index]);
        }
        return *sizes_[index];
    }

    // Null when the file cannot be read.
    const std::vector<std::string>* lines(size_t index) {
        if (!lines_[index]) {
            lines_[index] = sortedLines(files_[index], false);
        }
        return *lines_[index] ? &**lines_[index] : nullptr;
    }

  private:
    const std::vector<std::string>& files_;
    std::vector<std::optional<unsigned>> sizes_;
    std::vector<std::optional<std::optional<std::vector<std::string>>>> lines_;
};

} // namespace

void ModelValidator::checkIdenticalModels(const ModelDesc& desc) {
    KX_STACK_TRACK("KX::ModelValidator::checkIdenticalModels");
    std::vector<std::string> files;
    for (const std::string& file : folderFiles(FS::Utils::getDirectory(desc.path), false)->files) {
        if (FS::Utils::extensionOf(file) == kPrimitiveExtension) {
            files.push_back(file);
        }
    }
    FileContents contents(files);
    std::set<std::pair<size_t, size_t>> identicalPairs;
    for (size_t a = 0; a < files.size(); ++a) {
        for (size_t b = 0; b < files.size(); ++b) {
            if (cancelled()) {
                return;
            }
            if (files[a] == files[b] || identicalPairs.count({a, b}) > 0 ||
                identicalPairs.count({b, a}) > 0 || contents.size(a) != contents.size(b)) {
                continue;
            }
            const std::vector<std::string>* linesA = contents.lines(a);
            if (!linesA) {
                report(Findings::IdenticalModelUnreadable, Findings::IdenticalModelUnreadable.text(files[a]));
                continue;
            }
            const std::vector<std::string>* linesB = contents.lines(b);
            if (!linesB) {
                report(Findings::IdenticalModelUnreadable, Findings::IdenticalModelUnreadable.text(files[b]));
                continue;
            }
            if (*linesA == *linesB) {
                identicalPairs.insert({a, b});
                report(Findings::IdenticalModels, Findings::IdenticalModels.text(files[a], files[b]));
            }
        }
    }
}

void ModelValidator::checkUseTextures(const ModelDesc& /*desc*/) {
    KX_STACK_TRACK("KX::ModelValidator::checkUseTextures");
    std::list<std::string> textures;
    readDirectory(modelPath_, false, textures, {kTextureExtention});
    const std::shared_ptr<const FolderFiles> listed = folderFiles(modelPath_, true);

    // Models of one folder share their LOD files: read each visual once.
    std::map<std::string, VisualText> visuals;
    const auto markUsed = [&](const std::vector<std::string>& lods) {
        for (const std::string& lod : lods) {
            if (cancelled()) {
                return;
            }
            const std::string visualPath = Utilities::getVisualPath(lod);
            if (visualPath.empty()) {
                report(Findings::UsedTexturesVisualMissing, Findings::UsedTexturesVisualMissing.text(lod));
                continue;
            }
            std::string absolute = visualPath;
            FS::Utils::resolveToAbsolutePath(absolute);
            auto found = visuals.find(absolute);
            if (found == visuals.end()) {
                found = visuals.emplace(absolute, VisualText(absolute)).first;
            }
            if (!found->second.readable()) {
                report(Findings::UsedTexturesVisualUnreadable,
                       Findings::UsedTexturesVisualUnreadable.text(absolute));
                continue;
            }
            if (textures.empty()) {
                return;
            }
            const std::vector<std::string>& lines = found->second.lines();
            textures.remove_if([&](const std::string& texture) {
                const std::string name = toLower(FS::Utils::getFilename(texture));
                return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
                    return line.find(name) != std::string::npos;
                });
            });
            if (textures.empty()) {
                return;
            }
        }
    };
    for (const std::string& model : listed->files) {
        if (FS::Utils::extensionOf(model) != kModelExtension) {
            continue;
        }
        if (cancelled()) {
            return;
        }
        const std::string name = FS::Utils::getFilename(model);
        markUsed(getModelLODs(name, "normal"));
        markUsed(getModelLODs(name, "crash"));
        if (textures.empty()) {
            break;
        }
    }
    // A walk cancelled while marking the last model has not seen every
    // visual: its leftovers are not unused textures.
    if (cancelled()) {
        return;
    }
    for (const std::string& texture : textures) {
        report(Findings::UnusedTexture, Findings::UnusedTexture.text(texture));
    }
}

} // namespace KX
