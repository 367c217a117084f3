#include "engine/model/visual_path.h"

#include "engine/resource/data_section.h"
#include "engine/resource/file_system.h"
#include "engine/resource/view_memo.h"

namespace Utilities {

std::string getVisualPath(const std::string& modelPath) {
    // Asked by path as often as by section: one look-up instead of two. A
    // model that does not open, or names no visual, is asked again each time,
    // as opening it is.
    static ViewMemo<std::string, std::string> byPath;
    return byPath.get(
        modelPath, [&] { return getVisualPath(FS::Utils::openSection(modelPath)); },
        [](const std::string& visual) { return !visual.empty(); });
}

namespace {

std::string readVisualPath(const DataSectionPtr& model) {
    std::string visual = model->readString("nodefullVisual");
    if (visual.empty()) {
        visual = model->readString("nodelessVisual");
    }
    if (visual.empty()) {
        return {};
    }
    if (FS::Utils::getExtension(visual) != "visual") {
        visual += ".visual";
    }
    return visual;
}

} // namespace

std::string getVisualPath(const DataSectionPtr& model) {
    // Every step asks for the visual of every LOD's model, many times a check.
    static ViewMemo<DataSectionPtr, std::string> known;
    if (!model) {
        return {};
    }
    return known.get(model, [&] { return readVisualPath(model); });
}

} // namespace Utilities
