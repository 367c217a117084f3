#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

// Checks a JSON document against a JSON Schema. It knows the keywords the
// report and SARIF schemas use: type, const, enum, required, properties,
// additionalProperties, items, minimum, maximum and local $ref
// (#/$defs/... and #/definitions/...); any other keyword fails the check, so
// a schema cannot silently say more than is checked. Returns one line per
// violation, each starting with the JSON pointer of the value.
std::vector<std::string> schemaViolations(const nlohmann::json& schema, const nlohmann::json& document);
