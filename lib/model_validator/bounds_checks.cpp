#include <algorithm>
#include <cmath>

#include "engine/core/format.h"
#include "engine/core/stack_tracker.h"
#include "engine/model/super_model.h"
#include "engine/model/visual_path.h"
#include "engine/resource/data_section.h"
#include "engine/resource/file_system.h"
#include "model_validator/model_validator.h"

namespace KX {

using namespace ValidatorHelper;

namespace {

// Exporters leave some rounding in stored boxes; only larger drifts matter.
constexpr float kBoundingBoxTolerancePercent = 5.0f;
// Visibility boxes are often padded by hand, so they get more room.
constexpr float kVisibilityBoxTolerancePercent = 20.0f;

AABB readBox(const DataSectionPtr& section, const std::string& key) {
    return AABB(section->readVector3(key + "/min", Vector3::zero()),
                section->readVector3(key + "/max", Vector3::zero()));
}

float volumeOf(const AABB& box) {
    const float width = box.width();
    const float height = box.height();
    const float depth = box.depth();
    return width * height * depth;
}

// Percent of the smaller volume; infinite against an empty box, NaN (which
// compares not greater than any limit) when both are empty.
float relativeDifference(float a, float b) {
    const float difference = std::fabs(a - b);
    const float smaller = std::min(a, b);
    const float ratio = difference / smaller;
    return ratio * 100.0f;
}

std::string describeBoxes(const char* format, const AABB& first, const AABB& second) {
    return formatString(format, static_cast<double>(first.width()), static_cast<double>(first.height()),
                        static_cast<double>(first.depth()), static_cast<double>(second.width()),
                        static_cast<double>(second.height()), static_cast<double>(second.depth()));
}

} // namespace

void ModelValidator::checkBoundingBox(const ModelDesc& /*desc*/) {
    KX_STACK_TRACK("KX::ModelValidator::checkBoundingBox");
    const SuperModel model(currentModelPath);
    if (!model.isLoaded()) {
        addError(ValidationTitle::Common, ValidationErrorSeverity::High, "Can get super model", "", 3, "");
        return;
    }
    const AABB current = model.localBoundingBox();
    const float currentVolume = volumeOf(current);
    for (const std::string& file : lodModels) {
        if (cancelled()) {
            return;
        }
        DataSectionPtr visual = checkAndOpenVisualSectionForModelName(file);
        if (!visual) {
            addError(ValidationTitle::Common, ValidationErrorSeverity::High,
                     "Can not open visual for '" + file + "'", "", 3, "");
            continue;
        }
        const AABB stored = readBox(visual, "boundingBox");
        if (relativeDifference(currentVolume, volumeOf(stored)) > kBoundingBoxTolerancePercent) {
            const std::string key = FS::Utils::removeExtension(file) + "' has current bounding box ";
            const std::string boxes =
                describeBoxes("(width: %f height: %f depth: %f) and bounding box in the "
                              "resources (width: %f height: %f depth: %f)",
                              current, stored);
            addError(ValidationTitle::Common, ValidationErrorSeverity::Normal, "Model '" + key + boxes, key,
                     3, "");
        }
    }
}

void Validator::checkVisibilityBox(const std::string& path, int code) {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::checkVisibilityBox");
    if (path.find("/collision/") != std::string::npos ||
        path.find("/collision_client/") != std::string::npos) {
        return;
    }
    if (FS::Utils::getExtension(FS::Utils::getFilename(path)) != kModelExtension) {
        return;
    }
    const std::string styleName = getStyleName(path);
    DataSectionPtr model = FS::Utils::openSection(path);
    if (!model) {
        const std::string message = "Can not open '" + path + "'";
        addError(ValidationTitle::CheckVisibilityBox, ValidationErrorSeverity::High, message, message, code,
                 styleName);
        return;
    }
    const AABB visibility = readBox(model, "visibilityBox");
    DataSectionPtr visual = checkAndOpenVisualSectionForModelName(path);
    if (!visual) {
        addError(ValidationTitle::CheckVisibilityBox, ValidationErrorSeverity::High,
                 "Can not open '" + Utilities::getVisualPath(path) + "'", "", code, styleName);
        return;
    }
    const AABB boundsBox = readBox(visual, "boundingBox");

    const std::string name = FS::Utils::removeExtension(path);
    const float visibilityVolume = volumeOf(visibility);
    const float boundsVolume = volumeOf(boundsBox);
    if (visibilityVolume == 0.f) {
        const std::string message = "Model '" + name + "' has empty visibility box";
        addError(ValidationTitle::CheckVisibilityBox, ValidationErrorSeverity::Medium, message, message, code,
                 styleName);
    }
    if (boundsVolume == 0.f) {
        const std::string message = "Model '" + name + "' has empty bounding box";
        addError(ValidationTitle::CheckVisibilityBox, ValidationErrorSeverity::Medium, message, message, code,
                 styleName);
    }
    if (visibilityVolume != 0.f && boundsVolume != 0.f &&
        relativeDifference(visibilityVolume, boundsVolume) > kVisibilityBoxTolerancePercent) {
        const std::string key = name + "' has different bounding box ";
        const std::string boxes = describeBoxes(
            "(width: %f height: %f depth: %f) and visibility box (width: %f height: %f depth: %f)", boundsBox,
            visibility);
        addError(ValidationTitle::CheckVisibilityBox, ValidationErrorSeverity::High, "Model '" + key + boxes,
                 key, code, styleName);
    }
}

} // namespace KX
