#pragma once

#include <string>

#include "report.h"

namespace KX::Cli {

constexpr const char* kConfigFileName = "model-validator.json";

// Reads a configuration file (JSON) into `settings`: resource roots (relative
// ones against the file's folder), realm, exclude, ignore, only, severity,
// maxFindingsPerModel, failOn. False with a reason that names the file and
// the key when the file cannot be read, is not JSON, holds an unknown key
// or a bad value.
bool loadConfig(const std::string& file, Settings& settings, std::string& reason);

} // namespace KX::Cli
