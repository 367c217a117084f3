#include "json_schema.h"

#include <set>

namespace {

using nlohmann::json;

bool hasType(const json& value, const std::string& type) {
    if (type == "integer") {
        return value.is_number_integer();
    }
    if (type == "number") {
        return value.is_number();
    }
    return (type == "object" && value.is_object()) || (type == "array" && value.is_array()) ||
           (type == "string" && value.is_string()) || (type == "boolean" && value.is_boolean()) ||
           (type == "null" && value.is_null());
}

class Checker {
  public:
    explicit Checker(const json& root) : root_(root) {}

    void check(const json& schema, const json& value, const std::string& where) {
        static const std::set<std::string> known = {
            "$schema",  "title",      "description",          "format", "type",    "const",   "enum",
            "required", "properties", "additionalProperties", "items",  "minimum", "maximum", "$ref",
            "$defs",    "definitions"};
        for (const auto& [keyword, argument] : schema.items()) {
            if (!known.count(keyword)) {
                fail(where, "the schema uses '" + keyword + "', which this checker does not know");
            }
        }
        if (schema.contains("$ref")) {
            check(resolve(schema["$ref"].get<std::string>()), value, where);
        }
        if (schema.contains("type")) {
            const json& type = schema["type"];
            bool ok = false;
            for (const json& t : type.is_array() ? type : json::array({type})) {
                ok = ok || hasType(value, t.get<std::string>());
            }
            if (!ok) {
                fail(where, "is " + std::string(value.type_name()) + ", not " + type.dump());
                return;
            }
        }
        if (schema.contains("const") && value != schema["const"]) {
            fail(where, "is " + value.dump() + ", not " + schema["const"].dump());
        }
        if (schema.contains("enum")) {
            const json& options = schema["enum"];
            if (std::find(options.begin(), options.end(), value) == options.end()) {
                fail(where, "is " + value.dump() + ", not one of " + options.dump());
            }
        }
        if (value.is_number()) {
            if (schema.contains("minimum") && value.get<double>() < schema["minimum"].get<double>()) {
                fail(where, "is below " + schema["minimum"].dump());
            }
            if (schema.contains("maximum") && value.get<double>() > schema["maximum"].get<double>()) {
                fail(where, "is above " + schema["maximum"].dump());
            }
        }
        if (value.is_object()) {
            for (const json& key : schema.value("required", json::array())) {
                if (!value.contains(key.get<std::string>())) {
                    fail(where, "lacks required '" + key.get<std::string>() + "'");
                }
            }
            const json properties = schema.value("properties", json::object());
            for (const auto& [key, member] : value.items()) {
                if (properties.contains(key)) {
                    check(properties[key], member, where + "/" + key);
                } else if (schema.contains("additionalProperties")) {
                    const json& extra = schema["additionalProperties"];
                    if (extra.is_boolean() && !extra.get<bool>()) {
                        fail(where, "has unexpected '" + key + "'");
                    } else if (extra.is_object()) {
                        check(extra, member, where + "/" + key);
                    }
                }
            }
        }
        if (value.is_array() && schema.contains("items")) {
            for (size_t i = 0; i < value.size(); ++i) {
                check(schema["items"], value[i], where + "/" + std::to_string(i));
            }
        }
    }

    std::vector<std::string> violations;

  private:
    const json& resolve(const std::string& ref) {
        for (const std::string prefix : {"#/$defs/", "#/definitions/"}) {
            const std::string group = prefix.substr(2, prefix.size() - 3);
            if (ref.rfind(prefix, 0) == 0 && root_.contains(group) &&
                root_[group].contains(ref.substr(prefix.size()))) {
                return root_[group][ref.substr(prefix.size())];
            }
        }
        fail("", "unresolved $ref " + ref);
        static const json anything = json::object();
        return anything;
    }
    void fail(const std::string& where, const std::string& what) {
        violations.push_back((where.empty() ? "/" : where) + " " + what);
    }

    const json& root_;
};

} // namespace

std::vector<std::string> schemaViolations(const nlohmann::json& schema, const nlohmann::json& document) {
    Checker checker(schema);
    checker.check(schema, document, "");
    return checker.violations;
}
