#include <cctype>
#include <exception>
#include <string_view>

#include "engine/core/ascii_case.h"
#include "engine/core/debug_log.h"
#include "engine/core/stack_tracker.h"
#include "engine/model/visual_path.h"
#include "engine/platform/file_replace.h"
#include "engine/resource/data_section_cache.h"
#include "engine/resource/file_system.h"
#include "model_validator/finding_catalogue.h"
#include "model_validator/model_validator.h"
#include "model_validator/path_helpers.h"

namespace KX {

using namespace ValidatorHelper;

namespace {

// What a model file contains to declare its visual; a chain must use one.
const std::string kNodelessVisualTag = "<nodelessvisual>";
const std::string kNodefullVisualTag = "<nodefullvisual>";

const std::vector<std::string>& visualTags() {
    static const std::vector<std::string> tags = {kNodelessVisualTag, kNodefullVisualTag};
    return tags;
}

// The states whose lod0 file the step examines, in order.
const std::vector<std::string>& tagCheckStates() {
    static const std::vector<std::string> states = {"crash", "normal"};
    return states;
}

// The finding number of the scenery step.
constexpr int kDifferentTagsCode = 7;

// Tag text -> the file in which it was seen ("" while unseen).
using TagUsage = std::unordered_map<std::string, std::string>;

TagUsage emptyUsage(const std::vector<std::string>& tags) {
    TagUsage usage;
    for (const std::string& tag : tags) {
        usage.emplace(tag, std::string());
    }
    return usage;
}

// False when two or more of the tags are in use.
bool validateTagsUsing(const TagUsage& usage) {
    size_t used = 0;
    for (const auto& [tag, file] : usage) {
        used += file.empty() ? 0 : 1;
    }
    return used < 2;
}

// Records in `usage` which of `tags` the file contains, in any letter case
// (a tag never spans lines). False when the file cannot be read.
bool searchTags(const std::string& path, const std::vector<std::string>& tags, TagUsage& usage) {
    std::string absolute = path;
    FS::Utils::resolveToAbsolutePath(absolute);
    std::string reason;
    const BinaryPtr bytes = FS::Utils::readFileOfPass(absolute, reason);
    if (!bytes) {
        return false;
    }
    const std::string_view text = bytes->view();
    for (const std::string& tag : tags) {
        if (AsciiCase::findInLowered(text, tag) == std::string_view::npos) {
            continue;
        }
        usage[tag] = path;
        if (!validateTagsUsing(usage)) {
            return true;
        }
    }
    return true;
}

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : ", ") + item;
    }
    return text;
}

// --- The root-tag repair ---------------------------------------------------

// Characters at which a line ends for the tag patterns (a '.' of a regular
// expression matches neither).
bool isLineTerminator(char c) {
    return c == '\n' || c == '\r';
}

// Replaces every match of `opener` + one or more digits + anything up to (not
// including) the last '>' before the line ends, by `replacement`: what the
// expression "<\d+.*(?=>)" (or "<\/\d+.*(?=>)") replaces, without the
// backtracking matcher, whose recursion a long line would overflow. Matches
// do not overlap, and the search goes on after each. True when the text changed.
bool replaceNumberedTags(std::string& line, std::string_view opener, const std::string& replacement) {
    std::string result;
    bool changed = false;
    size_t i = 0;
    while (i < line.size()) {
        const size_t digit = i + opener.size();
        if (line.compare(i, opener.size(), opener) == 0 && digit < line.size() &&
            std::isdigit(static_cast<unsigned char>(line[digit]))) {
            size_t end = digit;
            while (end < line.size() && !isLineTerminator(line[end])) {
                ++end;
            }
            const size_t close = line.rfind('>', end - 1);
            if (close != std::string::npos && close > digit) {
                changed = changed || line.compare(i, close - i, replacement) != 0;
                result += replacement;
                i = close;
                continue;
            }
        }
        result += line[i];
        ++i;
    }
    if (changed) {
        line = std::move(result);
    }
    return changed;
}

// A file split into lines, each with its own ending ("\n", "\r\n" or none
// for the last), so that lines the repair does not change keep their bytes.
struct FileLines {
    struct Line {
        std::string text;
        std::string ending;
    };
    std::vector<Line> lines;

    static FileLines split(std::string_view bytes) {
        FileLines file;
        size_t start = 0;
        while (start < bytes.size()) {
            size_t end = bytes.find('\n', start);
            Line line;
            if (end == std::string_view::npos) {
                line.text = std::string(bytes.substr(start));
                start = bytes.size();
            } else {
                line.text = std::string(bytes.substr(start, end - start));
                line.ending = "\n";
                start = end + 1;
            }
            if (!line.ending.empty() && !line.text.empty() && line.text.back() == '\r') {
                line.text.pop_back();
                line.ending = "\r\n";
            }
            file.lines.push_back(std::move(line));
        }
        return file;
    }

    std::string join() const {
        std::string bytes;
        for (const Line& line : lines) {
            bytes += line.text + line.ending;
        }
        return bytes;
    }
};

void logRepairFailure(const std::string& reason) {
    DebugLog::messageText(DebugLog::Error, "", "CheckTagsName: " + reason);
}

// Renames the numbered root tags of one file to `rootTag`. `newBytes`
// receives the repaired contents when the file changes.
ModelValidator::TagRepair fixTagsOfFile(const std::string& file, const std::string& rootTag, bool dryRun,
                                        std::string& newBytes) {
    ModelValidator::TagRepair outcome{file, false, {}};
    // Only files inside the resource roots; a path that leads elsewhere
    // is never opened, let alone rewritten.
    if (!FS::Utils::fileExists(file)) {
        outcome.failure = "'" + file + "' is not a file in the resource folders";
        return outcome;
    }
    std::string absolute = file;
    FS::Utils::resolveToAbsolutePath(absolute);
    std::string reason;
    const BinaryPtr bytes = FS::Utils::readFileContents(absolute, reason);
    if (!bytes) {
        outcome.failure = "'" + file + "' " + reason;
        return outcome;
    }
    FileLines lines = FileLines::split(bytes->view());
    for (FileLines::Line& line : lines.lines) {
        for (const std::string_view opener : {"<", "</"}) {
            if (replaceNumberedTags(line.text, opener, std::string(opener) + rootTag)) {
                outcome.changed = true;
                if (!dryRun) {
                    DebugLog::messageText(DebugLog::Warning, "", "Tag name has been updated in the " + file);
                }
            }
        }
    }
    if (!outcome.changed) {
        return outcome;
    }
    newBytes = lines.join();
    if (dryRun) {
        return outcome;
    }
    const Platform::WriteResult written = Platform::replaceFileContents(absolute, newBytes);
    if (!written) {
        outcome.changed = false;
        outcome.failure = written.reason;
        return outcome;
    }
    DataSectionCache::instance().purge(absolute);
    return outcome;
}

// The visual a model's contents name, read from bytes not yet on disk.
std::string visualPathOfContents(const std::string& modelFile, const std::string& contents) {
    std::string error;
    const DataSectionPtr model = XMLFile::parse(
        FS::Utils::getFilename(modelFile),
        BinaryPtr(new BinaryBlock(std::vector<char>(contents.begin(), contents.end()))), error);
    return model ? Utilities::getVisualPath(model) : std::string();
}

} // namespace

void ModelValidator::checkModelForDifferentTags(const ModelDesc& desc) {
    KX_STACK_TRACK("KX::ModelValidator::checkModelForDifferentTags");
    const std::string fileName = FS::Utils::getFilename(desc.path);
    for (const std::string& state : tagCheckStates()) {
        if (cancelled()) {
            return;
        }
        const std::string lod0 = modelPath_ + "/" + state + "/" + kLodDirectory + "0/" + fileName;
        if (FS::Utils::openSection(lod0)) {
            Validator::checkModelForDifferentTags(lod0, kDifferentTagsCode);
        }
    }
}

namespace ValidatorHelper {

void Validator::checkModelForDifferentTags(const std::string& path, int code) {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::checkModelForDifferentTags");
    std::vector<std::string> files;
    if (hasModelsWithDifferentTags(path, visualTags(), files, code)) {
        return;
    }
    const std::string message = Findings::ModelsWithDifferentTags.text(joined(files), joined(visualTags()));
    DebugLog::messageText(DebugLog::Warning, "", message);
    report(Findings::ModelsWithDifferentTags, code, getStyleName(path), message);
}

bool Validator::hasModelsWithDifferentTags(const std::string& path, const std::vector<std::string>& tags,
                                           std::vector<std::string>& outFiles, int code) {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::hasModelsWithDifferentTags");
    outFiles.clear();
    TagUsage usage = emptyUsage(tags);
    const std::vector<LODEntry> chain =
        getModelLODHierarchy(FS::Utils::getFilename(path), getModelState(path));
    if (!searchTags(path, tags, usage)) {
        report(Findings::TagsNotValidated, code, getStyleName(path), Findings::TagsNotValidated.text(path));
        return true;
    }
    if (!validateTagsUsing(usage)) {
        outFiles.push_back(path);
        return false;
    }
    for (const LODEntry& entry : chain) {
        if (entry.parentPath.empty()) {
            continue;
        }
        TagUsage withParent = usage;
        if (!searchTags(entry.parentPath, tags, withParent)) {
            report(Findings::TagsNotValidated, code, getStyleName(path),
                   Findings::TagsNotValidated.text(entry.parentPath));
            return true;
        }
        if (!validateTagsUsing(withParent)) {
            outFiles.push_back(entry.parentPath);
        }
    }
    return outFiles.empty();
}

} // namespace ValidatorHelper

void ModelValidator::checkTagsName(const std::string& path) {
    (void)repairTagsName(path, false);
}

std::vector<ModelValidator::TagRepair> ModelValidator::repairTagsName(const std::string& path, bool dryRun) {
    KX_STACK_TRACK("KX::ModelValidator::checkTagsName");
    std::vector<TagRepair> outcomes;
    try {
        std::string first;
        std::string second;
        PathHelpers::getFoldersFromPath(path, first, second);
        const std::string rootTag = second + ".model";

        std::string repairedModel;
        if (path.empty()) {
            return outcomes;
        }
        outcomes.push_back(fixTagsOfFile(path, rootTag, dryRun, repairedModel));
        // A dry run leaves the model as it is, so its visual is read from
        // what the repair would write.
        const std::string visual = dryRun && outcomes.back().changed
                                       ? visualPathOfContents(path, repairedModel)
                                       : Utilities::getVisualPath(path);
        if (!visual.empty()) {
            std::string repairedVisual;
            outcomes.push_back(fixTagsOfFile(visual, rootTag, dryRun, repairedVisual));
        }
    } catch (const std::exception& e) {
        logRepairFailure(e.what());
        outcomes.push_back(TagRepair{path, false, e.what()});
        return outcomes;
    }
    for (const TagRepair& outcome : outcomes) {
        if (!outcome.failure.empty()) {
            logRepairFailure(outcome.failure);
        }
    }
    return outcomes;
}

} // namespace KX
