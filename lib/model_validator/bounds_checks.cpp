#include <algorithm>
#include <cmath>

#include "engine/core/format.h"
#include "engine/core/stack_tracker.h"
#include "engine/model/super_model.h"
#include "engine/model/visual_path.h"
#include "engine/resource/data_section.h"
#include "engine/resource/file_system.h"
#include "model_validator/finding_catalogue.h"
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

// The message of a finding that compares two boxes of a model, by size.
template <class Finding>
std::string describeBoxes(const Finding& finding, const std::string& name, const AABB& first,
                          const AABB& second) {
    return finding.text(name, static_cast<double>(first.width()), static_cast<double>(first.height()),
                        static_cast<double>(first.depth()), static_cast<double>(second.width()),
                        static_cast<double>(second.height()), static_cast<double>(second.depth()));
}

} // namespace

void ModelValidator::checkBoundingBox(const ModelDesc& /*desc*/) {
    KX_STACK_TRACK("KX::ModelValidator::checkBoundingBox");
    const SuperModel model(currentModelPath);
    if (!model.isLoaded()) {
        report(Findings::SuperModelUnavailable, Findings::SuperModelUnavailable.text(), "");
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
            report(Findings::BoundsVisualUnavailable, Findings::BoundsVisualUnavailable.text(file), "");
            continue;
        }
        const AABB stored = readBox(visual, "boundingBox");
        if (relativeDifference(currentVolume, volumeOf(stored)) > kBoundingBoxTolerancePercent) {
            // Keyed by the model alone: one finding per model, whichever LOD differs first.
            const std::string name = FS::Utils::removeExtension(file);
            report(Findings::BoundingBoxDiffers,
                   describeBoxes(Findings::BoundingBoxDiffers, name, current, stored),
                   name + "' has current bounding box ");
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
        report(Findings::VisibilityModelUnavailable, code, styleName,
               Findings::VisibilityModelUnavailable.text(path));
        return;
    }
    const AABB visibility = readBox(model, "visibilityBox");
    DataSectionPtr visual = checkAndOpenVisualSectionForModelName(path);
    if (!visual) {
        report(Findings::VisibilityVisualUnavailable, code, styleName,
               Findings::VisibilityVisualUnavailable.text(Utilities::getVisualPath(path)), "");
        return;
    }
    const AABB boundsBox = readBox(visual, "boundingBox");

    const std::string name = FS::Utils::removeExtension(path);
    const float visibilityVolume = volumeOf(visibility);
    const float boundsVolume = volumeOf(boundsBox);
    if (visibilityVolume == 0.f) {
        report(Findings::EmptyVisibilityBox, code, styleName, Findings::EmptyVisibilityBox.text(name));
    }
    if (boundsVolume == 0.f) {
        report(Findings::EmptyBoundingBox, code, styleName, Findings::EmptyBoundingBox.text(name));
    }
    if (visibilityVolume != 0.f && boundsVolume != 0.f &&
        relativeDifference(visibilityVolume, boundsVolume) > kVisibilityBoxTolerancePercent) {
        report(Findings::VisibilityBoxDiffers, code, styleName,
               describeBoxes(Findings::VisibilityBoxDiffers, name, boundsBox, visibility),
               name + "' has different bounding box ");
    }
}

} // namespace KX
