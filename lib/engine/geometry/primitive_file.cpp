#include "engine/geometry/primitive_file.h"

#include "engine/core/debug_log.h"
#include "engine/resource/file_system.h"

namespace PrimitiveFile {

DataSectionPtr open(const std::string& path) {
    DataSectionPtr root = FS::Utils::openSection(path);
    if (!root) {
        return nullptr;
    }
    if (!BinaryContainer::isContainer(root->asBinary())) {
        DebugLog::fileProblem("geometry", path, "not a primitives container");
        return nullptr;
    }
    return root;
}

BinaryPtr openBlock(const std::string& path, const std::string& blockName) {
    DataSectionPtr root = open(path);
    DataSectionPtr block = root ? root->findChild(blockName) : nullptr;
    return block ? block->asBinary() : nullptr;
}

std::string pathForVisual(const std::string& visualPath, const DataSectionPtr& visualSection) {
    const std::string name = visualSection ? visualSection->readString("primitivesName") : std::string();
    if (!name.empty()) {
        return name + ".primitives";
    }
    return FS::Utils::changeExtension(visualPath, ".primitives");
}

} // namespace PrimitiveFile
