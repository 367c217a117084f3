#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/resource/data_section.h"

// Names artists give to materials and files, as the material checks read
// them, and the shared reads of a material section.
namespace KX::MaterialProperties {

// The material word of an identifier: the letters after the first letter
// that is followed by '_' and a letter ("n_stone_01" gives "stone"); "" when
// there is none.
std::string getMaterialName(const std::string& identifier);
// The number between the first '_' and the next '_' or the end ("n_stone_01"
// gives 1); -1 when there is none.
int getFirstIndex(const std::string& text);
// The digits that end the text ("lod3" gives 3); -1 when it ends otherwise.
int getLastIndex(const std::string& text);

// The LOD number of a model path ("x/normal/lod2/x.model" gives 2); -1 when
// the LOD folder name ends in no digits or there is none.
int lodNumber(const std::string& modelPath);
// The material's "property" children, in file order.
const std::vector<DataSectionPtr>& propertiesOf(const DataSectionPtr& material);
// The first of `properties` called `name`, or null.
DataSectionPtr findProperty(const std::vector<DataSectionPtr>& properties, std::string_view name);
// The file name of the material's effect without folder and extension
// ("shaders/std_effects/PBS_ext.fx" gives "PBS_ext").
std::string effectName(const DataSectionPtr& material);

} // namespace KX::MaterialProperties
