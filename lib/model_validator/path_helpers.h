#pragma once

#include <string>
#include <string_view>
#include <vector>

// Path-string helpers shared by the check steps of the model validator.
namespace KX::PathHelpers {

// Back slashes become '/', trailing separators are removed.
void normalizePath(std::string& path);
// The normalised `path` from the first occurrence of `root` on; `path`
// unchanged when `root` does not occur.
std::string getRelativePath(const std::string& root, const std::string& path);
// Removes the first '/'-separated name from `path` and returns it.
std::string getLastNameFromPath(std::string& path);
std::string getFoldersFromPath(const std::string& path, std::string& first, std::string& second);
// The LOD folder name ("lod2") that follows the first "/lod" in `path`.
std::string getLodFolder(const std::string& path);

// The realm codes of the game service, in a fixed order. Realm copies of a
// file carry one of them between the name and the extension.
const std::vector<std::string>& realmCodes();
// Whether a path names a realm-specific file (name.CODE.ext): ".CODE." then
// an extension of letters, digits and '_', with no line break before it.
bool isRealmFileName(std::string_view path);
// P with ".CODE." spliced in before its extension.
std::string realmPrimitivesPath(const std::string& primitivesPath, const std::string& realmCode);

} // namespace KX::PathHelpers
