#include "engine/model/visual_path.h"

#include "engine/resource/data_section.h"
#include "engine/resource/file_system.h"

namespace Utilities {

std::string getVisualPath(const std::string& modelPath) {
    return getVisualPath(FS::Utils::openSection(modelPath));
}

std::string getVisualPath(const DataSectionPtr& model) {
    if (!model) {
        return {};
    }
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

} // namespace Utilities
