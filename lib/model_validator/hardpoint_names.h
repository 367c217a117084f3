#pragma once

#include <string>

namespace KX::HardpointNames {

// Scenery hardpoints are numbered modules 0 to 13, optionally with a
// sub-number: "HP_module" and an optional '_', the number, optionally '_'
// and the sub-number ("HP_module_3", "HP_module12_1").
bool isModuleName(const std::string& name);

// The older spelling: '_' after "module" and numbers up to 99 ("HP_module_42_7").
bool isLegacyModuleName(const std::string& name);

} // namespace KX::HardpointNames
