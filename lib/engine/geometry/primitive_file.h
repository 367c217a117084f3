#pragma once

#include <string>

#include "engine/resource/data_section.h"

// Access to .primitives files through the resource file system (and so
// through the section cache).
namespace PrimitiveFile {

// The root section of a .primitives container, or null. A missing file is
// silent; a file that is not a container logs one warning.
DataSectionPtr open(const std::string& path);
// The bytes of one block, or null when the file or the block is missing.
BinaryPtr openBlock(const std::string& path, const std::string& blockName);
// Where a visual's geometry lives: its "primitivesName" value plus
// ".primitives" when set, else the visual path with the extension changed.
std::string pathForVisual(const std::string& visualPath, const DataSectionPtr& visualSection);

} // namespace PrimitiveFile
