#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "model_validator/validator_helper.h"

namespace KX::Cli {

using Severity = ValidatorHelper::ValidationErrorSeverity;
using Json = nlohmann::ordered_json;

// The version of the object report (`--report-version 2`); version 1 is the
// original array of findings.
constexpr int kReportVersion = 2;
const char* toolVersion();

// "none", "normal", "medium", "high"; false for any other name.
bool severityFromName(const std::string& name, Severity& severity);

struct Finding {
    int code = 0;
    Severity severity = Severity::None;
    std::string title;    // enumerator name, e.g. "CheckLods"
    std::string category; // display groups, e.g. "Check LODs"
    std::string message;  // "[<prefix> <code>] <text>"
};

struct ModelReport {
    std::string model; // resource path
    std::string file;  // disk path: relative to the current folder when inside it
    std::vector<Finding> findings;
    size_t omitted = 0; // dropped by the per-model maximum
    size_t known = 0;   // matched by the baseline
};

struct Shard {
    unsigned index = 1; // 1-based
    unsigned count = 1;
};

// Everything that decides which models are checked and how findings count.
struct Settings {
    std::string configFile; // "" when none was used
    std::vector<std::string> roots;
    std::string realm;
    std::vector<std::string> paths;
    std::vector<std::string> exclude;
    std::set<int> ignore;
    std::set<int> only;
    std::map<int, Severity> severity;
    size_t maxFindingsPerModel = 0; // 0: no maximum
    Severity failOn = Severity::High;
    std::optional<Shard> shard;
    std::string baseline;
};

// The configuration as a report records it.
Json settingsJson(const Settings& settings);

struct Report {
    Json configuration = Json::object();
    Severity failOn = Severity::High;
    std::vector<ModelReport> models;
};

struct Summary {
    size_t models = 0;
    size_t findings = 0;
    size_t known = 0;
    size_t omitted = 0;
    size_t failedModels = 0;
    size_t bySeverity[4] = {0, 0, 0, 0}; // indexed by Severity
    std::map<int, size_t> byCode;
};
Summary summarize(const Report& report);
bool failing(const ModelReport& model, Severity failOn);

// What a validator reported, as a finding.
Finding findingOf(const ValidatorHelper::ValidationError& error);

// Applies ignore/only codes, severity overrides and the per-model maximum
// (keeping higher severities first).
void applySettings(const Settings& settings, ModelReport& model);

// Drops the findings that an earlier report already holds (by model, code
// and message; each earlier finding matches once) and counts them as known.
void applyBaseline(const std::vector<ModelReport>& baseline, std::vector<ModelReport>& models);

// Per-model findings as JSON and back (reports and merges).
Json modelJson(const ModelReport& model);
ModelReport modelFromJson(const Json& json);

// Per-model findings as a worker hands them to the process that started it:
// length-prefixed little-endian fields, every byte of a message kept.
std::string modelRecord(const ModelReport& model);
// False when `bytes` are not one whole record.
bool modelFromRecord(std::string_view bytes, ModelReport& model);

// Reads a report of either version; false with a reason when it is not one.
bool readReport(const std::string& file, Report& report, std::string& reason);

} // namespace KX::Cli
