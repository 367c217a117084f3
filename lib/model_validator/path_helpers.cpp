#include "model_validator/path_helpers.h"

#include <algorithm>

#include "engine/core/ascii_case.h"
#include "engine/resource/file_system.h"
#include "model_validator/validator_helper.h"

namespace KX::PathHelpers {

void normalizePath(std::string& path) {
    // Back slashes are rare: looked for at the speed of a byte search first.
    for (size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1)) {
        path[at] = '/';
    }
    while (!path.empty() && (path.back() == '/' || path.back() == '\\')) {
        path.pop_back();
    }
}

std::string getRelativePath(const std::string& root, const std::string& path) {
    std::string normalized = path;
    normalizePath(normalized);
    size_t pos = normalized.find(root);
    return pos == std::string::npos ? path : normalized.substr(pos);
}

std::string getLastNameFromPath(std::string& path) {
    size_t p = path.find('/');
    size_t skip = 0;
    if (p == 0) {
        skip = 1;
        p = path.find('/', 2);
    }
    std::string name = path.substr(skip, p == std::string::npos ? std::string::npos : p - skip);
    // What is left moves to the front where it lies: walks call this once per folder.
    if (p == std::string::npos) {
        path.clear();
    } else {
        path.erase(0, p);
    }
    return name;
}

std::string getFoldersFromPath(const std::string& path, std::string& first, std::string& second) {
    first.clear();
    second.clear();
    std::string rest = path;
    first = getLastNameFromPath(rest);
    second = getLastNameFromPath(rest);
    return rest;
}

std::string getLodFolder(const std::string& path) {
    size_t pos = path.find("/" + ValidatorHelper::kLodDirectory);
    if (pos == std::string::npos) {
        return {};
    }
    size_t start = pos + 1;
    size_t end = path.find_first_of("/\\", start);
    return path.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

const std::vector<std::string>& realmCodes() {
    // Regions of the game service; the list order is the order of comparison.
    static const std::vector<std::string> codes = {"NA",   "EU",  "ASIA", "SA", "OCE",
                                                   "MENA", "CIS", "CN",   "KR", "SEA"};
    return codes;
}

namespace {

bool isWordCharacter(char c) {
    return AsciiCase::isDigit(c) || AsciiCase::isLetter(c) || c == '_';
}

} // namespace

bool isRealmFileName(std::string_view path) {
    // Asked of every texture path a check spells, so it scans the name rather
    // than running a pattern: the extension is what follows the last dot, and
    // the realm code must end the rest.
    const size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == path.size()) {
        return false;
    }
    for (char c : path.substr(dot + 1)) {
        if (!isWordCharacter(c)) {
            return false;
        }
    }
    // No code holds a dot, so the code is what follows the last dot of the
    // rest, and that dot lies no further back than the longest code reaches.
    const std::vector<std::string>& codes = realmCodes();
    static const size_t longest =
        std::max_element(codes.begin(), codes.end(), [](const std::string& a, const std::string& b) {
            return a.size() < b.size();
        })->size();
    const std::string_view head = path.substr(0, dot);
    const size_t reach = std::min(head.size(), longest + 1);
    const size_t dotInReach = head.substr(head.size() - reach).rfind('.');
    if (dotInReach == std::string_view::npos) {
        return false;
    }
    const size_t codeDot = head.size() - reach + dotInReach;
    return std::find(codes.begin(), codes.end(), head.substr(codeDot + 1)) != codes.end() &&
           head.substr(0, codeDot).find_first_of("\n\r") == std::string_view::npos;
}

std::string realmPrimitivesPath(const std::string& primitivesPath, const std::string& realmCode) {
    return FS::Utils::changeExtension(primitivesPath,
                                      "." + realmCode + "." + FS::Utils::getExtension(primitivesPath));
}

} // namespace KX::PathHelpers
