#include "config.h"

#include <filesystem>
#include <fstream>

#include "engine/platform/utf8_path.h"

namespace KX::Cli {
namespace {

struct BadValue {
    std::string key;
    std::string expected;
};

std::vector<std::string> strings(const Json& value, const std::string& key) {
    if (!value.is_array()) {
        throw BadValue{key, "an array of strings"};
    }
    std::vector<std::string> out;
    for (const Json& item : value) {
        if (!item.is_string()) {
            throw BadValue{key, "an array of strings"};
        }
        out.push_back(item.get<std::string>());
    }
    return out;
}

int code(const Json& value, const std::string& key) {
    if (!value.is_number_integer() || value.get<long long>() < 0 || value.get<long long>() > 1000000) {
        throw BadValue{key, "finding codes (non-negative integers)"};
    }
    return value.get<int>();
}

Severity severity(const Json& value, const std::string& key) {
    Severity s;
    if (!value.is_string() || !severityFromName(value.get<std::string>(), s)) {
        throw BadValue{key, "one of high, medium, normal, none"};
    }
    return s;
}

void read(const Json& json, const std::filesystem::path& folder, Settings& settings) {
    for (const auto& [key, value] : json.items()) {
        if (key == "roots") {
            settings.roots.clear();
            for (const std::string& root : strings(value, key)) {
                const std::filesystem::path path = pathFromUtf8(root);
                std::string absolute =
                    pathToUtf8(path.is_absolute() ? path : (folder / path).lexically_normal());
                if (absolute.size() > 1 && absolute.back() == '/') {
                    absolute.pop_back(); // "ci/.." normalises to "ci/"'s parent with a slash
                }
                settings.roots.push_back(absolute);
            }
        } else if (key == "realm") {
            if (!value.is_string()) {
                throw BadValue{key, "a string"};
            }
            settings.realm = value.get<std::string>();
        } else if (key == "exclude") {
            for (const std::string& glob : strings(value, key)) {
                settings.exclude.push_back(glob);
            }
        } else if (key == "ignore" || key == "only") {
            if (!value.is_array()) {
                throw BadValue{key, "an array of finding codes"};
            }
            for (const Json& item : value) {
                (key == "ignore" ? settings.ignore : settings.only).insert(code(item, key));
            }
        } else if (key == "severity") {
            if (!value.is_object()) {
                throw BadValue{key, "an object from finding code to severity"};
            }
            for (const auto& [codeText, level] : value.items()) {
                const std::string where = key + "." + codeText;
                char* end = nullptr;
                const long n = std::strtol(codeText.c_str(), &end, 10);
                if (codeText.empty() || *end != '\0' || n < 0) {
                    throw BadValue{where, "a finding code as the key"};
                }
                settings.severity[static_cast<int>(n)] = severity(level, where);
            }
        } else if (key == "maxFindingsPerModel") {
            if (!value.is_number_integer() || value.get<long long>() < 0) {
                throw BadValue{key, "a non-negative integer (0: no maximum)"};
            }
            settings.maxFindingsPerModel = value.get<size_t>();
        } else if (key == "failOn") {
            settings.failOn = severity(value, key);
        } else {
            throw BadValue{key, ""};
        }
    }
}

} // namespace

bool loadConfig(const std::string& file, Settings& settings, std::string& reason) {
    std::ifstream in(pathFromUtf8(file), std::ios::binary);
    if (!in) {
        reason = file + ": cannot be read";
        return false;
    }
    Json json;
    try {
        json = Json::parse(in);
    } catch (const Json::parse_error& e) {
        reason = file + ": not valid JSON: " + e.what();
        return false;
    }
    if (!json.is_object()) {
        reason = file + ": must hold one JSON object";
        return false;
    }
    try {
        std::error_code ec;
        const auto folder = std::filesystem::absolute(pathFromUtf8(file), ec).parent_path();
        read(json, folder, settings);
    } catch (const BadValue& bad) {
        reason = file + ": " +
                 (bad.expected.empty() ? "unknown key '" + bad.key + "'"
                                       : "'" + bad.key + "' must be " + bad.expected);
        return false;
    }
    settings.configFile = file;
    return true;
}

} // namespace KX::Cli
