#include "model_validator/model_validator.h"
#include "model_validator/finding_catalogue.h"

#include <algorithm>
#include <set>
#include <utility>

#include "engine/core/debug_log.h"
#include "engine/core/stack_tracker.h"
#include "engine/resource/file_system.h"
#include "model_validator/path_helpers.h"

namespace KX {

using namespace ValidatorHelper;

ModelValidator::ModelValidator() = default;
ModelValidator::ModelValidator(const ModelValidator& other) = default;
ModelValidator& ModelValidator::operator=(const ModelValidator& other) = default;
ModelValidator::~ModelValidator() = default;

ModelValidator::ModelValidator(ModelValidator&& other) noexcept
    : Validator(other), contentHardpoints(std::move(other.contentHardpoints)),
      lodModels(std::move(other.lodModels)), currentModelPath(std::move(other.currentModelPath)),
      cancelCallBack(std::move(other.cancelCallBack)) {
    other.contentHardpoints.clear();
    other.lodModels.clear();
    other.currentModelPath.clear();
    other.cancelCallBack = nullptr;
}

ModelValidator& ModelValidator::operator=(ModelValidator&& other) noexcept {
    if (this != &other) {
        Validator::operator=(other);
        contentHardpoints = std::move(other.contentHardpoints);
        lodModels = std::move(other.lodModels);
        currentModelPath = std::move(other.currentModelPath);
        cancelCallBack = std::move(other.cancelCallBack);
        other.contentHardpoints.clear();
        other.lodModels.clear();
        other.currentModelPath.clear();
        other.cancelCallBack = nullptr;
    }
    return *this;
}

void ModelValidator::setCancelCallBack(std::function<bool()> callback) {
    cancelCallBack = std::move(callback);
}

bool ModelValidator::cancelled() const {
    return cancelCallBack && cancelCallBack();
}

bool ModelValidator::isContentModelPath(const std::string& path) {
    return path.find("content/") != std::string::npos || path.find("content_cw/") != std::string::npos;
}

struct ModelValidator::StepEntry {
    CheckStep step;
    const char* name;
    bool contentOnly; // runs for content models only
};

// The steps in their fixed order: those of every model, then those of content
// models. The order matters: a finding is dropped when an earlier one already
// names it, and later steps read what earlier ones collected.
const std::vector<ModelValidator::StepEntry>& ModelValidator::stepTable() {
    static const std::vector<StepEntry> steps = {
        {&ModelValidator::checkTextures, "checkTextures", false},
        {&ModelValidator::checkModel, "checkModel", false},
        {&ModelValidator::checkBoundingBox, "checkBoundingBox", false},
        {&ModelValidator::checkModelForDifferentTags, "checkModelForDifferentTags", false},
        {&ModelValidator::checkOther, "checkOther", false},
        {&ModelValidator::checkVertexFormat, "checkVertexFormat", true},
        {&ModelValidator::checkDisconnectedLods, "checkDisconnectedLods", true},
        {&ModelValidator::checkMaterials, "checkMaterials", true},
        {&ModelValidator::checkIdenticalModels, "checkIdenticalModels", true},
        {&ModelValidator::checkUseTextures, "checkUseTextures", true},
        {&ModelValidator::checkFilesStructure, "checkFilesStructure", true},
        {&ModelValidator::checkContentHardpoints, "checkContentHardpoints", true},
        {&ModelValidator::checkTextureProperties, "checkTextureProperties", true},
        {&ModelValidator::checkMaterialTextureProperties, "checkMaterialTextureProperties", true},
        {&ModelValidator::checkDestructibles, "checkDestructibles", true},
        {&ModelValidator::checkMaterialAtlasProperties, "checkMaterialAtlasProperties", true},
        {&ModelValidator::checkDecorType, "checkDecorType", true},
    };
    return steps;
}

std::vector<ModelValidator::CheckStep> ModelValidator::stepsFor(const std::string& path) const {
    std::vector<CheckStep> steps;
    for (const StepEntry& entry : stepTable()) {
        if (!entry.contentOnly || isContentModelPath(path)) {
            steps.push_back(entry.step);
        }
    }
    return steps;
}

std::vector<std::string> ModelValidator::stepNamesFor(const std::string& path) {
    std::vector<std::string> names;
    for (const StepEntry& entry : stepTable()) {
        if (!entry.contentOnly || isContentModelPath(path)) {
            names.push_back(entry.name);
        }
    }
    return names;
}

const std::vector<ValidationError>& ModelValidator::check(const std::string& path) {
    KX_STACK_TRACK("KX::ModelValidator::check");
    currentModelPath = path;
    const ModelDesc desc{path};
    errors_.clear();
    // Files may have changed since the last check (the editor saves them):
    // the caches serve only what the disk proves unchanged.
    FS::fileSystem()->refresh();

    if (isContentModelPath(path)) {
        std::string rest = path;
        bool rootFound = false;
        while (!rest.empty()) {
            const std::string name = PathHelpers::getLastNameFromPath(rest);
            if (name.empty() || getModelState("/" + name + "/").empty()) {
                continue;
            }
            const size_t pos = path.find(name);
            if (pos != std::string::npos) {
                modelPath_ = path.substr(0, pos);
                rootFound = true;
            }
            break;
        }
        if (!rootFound) {
            modelPath_ = FS::Utils::getDirectory(path);
            report(Findings::InvalidModelPath, Findings::InvalidModelPath.text(path));
        }
    }
    PathHelpers::normalizePath(modelPath_);
    contentHardpoints.clear();

    lodModels = getModelLODs(FS::Utils::getFilename(path), getModelState(path));
    if (std::find(lodModels.begin(), lodModels.end(), path) == lodModels.end()) {
        lodModels = {path};
    }
    setup();
    DebugLog::takeFileProblems();
    processCheckSteps(stepsFor(path), desc);
    return errors_;
}

void ModelValidator::processCheckSteps(const std::vector<CheckStep>& steps, const ModelDesc& desc) {
    KX_STACK_TRACK("KX::ModelValidator::processCheckSteps");
    for (CheckStep step : steps) {
        if (cancelled()) {
            return;
        }
        (this->*step)(desc);
    }
    // A cancelled check ends silently; a finished one says which files it
    // could not use.
    reportUnusableFiles();
}

} // namespace KX
