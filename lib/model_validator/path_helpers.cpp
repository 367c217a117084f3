#include "model_validator/path_helpers.h"

#include "engine/resource/file_system.h"
#include "model_validator/validator_helper.h"

namespace KX::PathHelpers {

void normalizePath(std::string& path) {
    for (char& c : path) {
        if (c == '\\') {
            c = '/';
        }
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
    path = p == std::string::npos ? std::string() : path.substr(p);
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

const std::regex& realmFileExpression() {
    static const std::regex expression = [] {
        std::string alternatives;
        for (const std::string& code : realmCodes()) {
            alternatives += (alternatives.empty() ? "" : "|") + code;
        }
        return std::regex("^.*\\.(" + alternatives + ")\\.\\w+");
    }();
    return expression;
}

std::string realmPrimitivesPath(const std::string& primitivesPath, const std::string& realmCode) {
    return FS::Utils::changeExtension(primitivesPath,
                                      "." + realmCode + "." + FS::Utils::getExtension(primitivesPath));
}

} // namespace KX::PathHelpers
