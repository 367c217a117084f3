#pragma once

#include <string>

namespace ModelLod {

// The LOD folder named in a path: the last component, between '/' or '\'
// separators, that reads "lod" followed by one or more decimal digits in any
// letter case ("content/x/normal/LOD2/x.model" gives "lod2"). The name comes
// back lower-cased with its digits as written ("Lod01" gives "lod01"); ""
// when no component matches. A file name such as "lod1.model" is not a LOD
// folder name.
std::string extractLodName(const std::string& path);

} // namespace ModelLod
