#include "report_writers.h"

#include <cctype>
#include <cstdio>
#include <map>

#include "json_util.h"
#include "model_validator/finding_catalogue.h"

namespace KX::Cli {

uint64_t stableHash(const std::string& text) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : text) {
        hash = (hash ^ c) * 1099511628211ull;
    }
    return hash;
}

namespace {

const char* name(Severity s) {
    return ValidatorHelper::severityName(s);
}

// Reports are often read on other machines: invalid UTF-8 in a content file
// name must not make the whole report unreadable.
void dumpJson(const Json& json, std::ostream& out) {
    out << json.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

std::string plural(size_t n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

const char* colorOf(Severity s) {
    switch (s) {
    case Severity::High:
        return "\033[31m";
    case Severity::Medium:
        return "\033[33m";
    case Severity::Normal:
        return "\033[36m";
    default:
        return "";
    }
}

} // namespace

void writeText(const Report& report, std::ostream& out, bool color, std::optional<double> seconds) {
    const char* reset = color ? "\033[0m" : "";
    for (const ModelReport& model : report.models) {
        out << (color ? "\033[1m" : "") << "== " << model.model << " ("
            << plural(model.findings.size(), "finding") << ")" << reset << "\n";
        for (const Finding& f : model.findings) {
            out << (color ? colorOf(f.severity) : "") << f.category << '\t' << f.message << reset << '\n';
        }
        if (model.omitted > 0) {
            out << "   (" << plural(model.omitted, "more finding") << " over the maximum per model)\n";
        }
        if (model.known > 0) {
            out << "   (" << plural(model.known, "known finding") << " from the baseline)\n";
        }
    }
    const Summary s = summarize(report);
    out << plural(s.models, "model") << ", " << plural(s.findings, "finding") << " ("
        << s.bySeverity[static_cast<int>(Severity::High)] << " high, "
        << s.bySeverity[static_cast<int>(Severity::Medium)] << " medium, "
        << s.bySeverity[static_cast<int>(Severity::Normal)] << " normal, "
        << s.bySeverity[static_cast<int>(Severity::None)] << " none), " << s.known << " known, " << s.omitted
        << " omitted; " << plural(s.failedModels, "model") << " failing at " << name(report.failOn);
    if (seconds) {
        char buffer[32];
        std::snprintf(buffer, sizeof(buffer), "%.2f", *seconds);
        out << "; " << buffer << " s";
    }
    out << '\n';
}

void writeJsonArray(const Report& report, std::ostream& out) {
    out << "[";
    bool first = true;
    for (const ModelReport& model : report.models) {
        for (const Finding& f : model.findings) {
            out << (first ? "\n" : ",\n") << "  {\"model\": " << jsonString(model.model)
                << ", \"code\": " << f.code << ", \"severity\": \"" << name(f.severity) << "\", \"title\": \""
                << f.title << "\", \"category\": " << jsonString(f.category)
                << ", \"message\": " << jsonString(f.message) << "}";
            first = false;
        }
    }
    out << (first ? "]\n" : "\n]\n");
}

void writeJsonReport(const Report& report, std::ostream& out) {
    const Summary s = summarize(report);
    Json bySeverity = Json::object();
    for (Severity level : {Severity::High, Severity::Medium, Severity::Normal, Severity::None}) {
        bySeverity[name(level)] = s.bySeverity[static_cast<int>(level)];
    }
    Json byCode = Json::object();
    for (const auto& [code, n] : s.byCode) {
        byCode[std::to_string(code)] = n;
    }
    Json models = Json::array();
    for (const ModelReport& model : report.models) {
        models.push_back(modelJson(model));
    }
    Json json = {{"reportVersion", kReportVersion},
                 {"tool", {{"name", "model-validator"}, {"version", toolVersion()}}},
                 {"configuration", report.configuration},
                 {"models", std::move(models)},
                 {"summary",
                  {{"models", s.models},
                   {"findings", s.findings},
                   {"known", s.known},
                   {"omitted", s.omitted},
                   {"failedModels", s.failedModels},
                   {"failed", s.failedModels > 0},
                   {"bySeverity", std::move(bySeverity)},
                   {"byCode", std::move(byCode)}}}};
    dumpJson(json, out);
}

namespace {

const char* sarifLevel(Severity s) {
    switch (s) {
    case Severity::High:
        return "error";
    case Severity::Medium:
        return "warning";
    case Severity::Normal:
        return "note";
    default:
        return "none";
    }
}

std::string ruleId(int code) {
    return "KX" + std::to_string(code);
}

// A URI reference for a '/'-separated path: relative stays relative.
std::string uriOf(const std::string& path) {
    std::string uri;
    if (!path.empty() && path[0] == '/') {
        uri = "file://";
    } else if (path.size() > 1 && path[1] == ':') {
        uri = "file:///";
    }
    static const char* hex = "0123456789ABCDEF";
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~' || c == ':') {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += hex[c >> 4];
            uri += hex[c & 15];
        }
    }
    return uri;
}

Json sarifRules(const Report& report, std::map<int, size_t>& index) {
    std::map<int, std::vector<const FindingKind*>> byCode;
    for (const FindingKind* kind : findingCatalogue()) {
        if (kind->code != kCallerCode) {
            byCode[kind->code].push_back(kind);
        }
    }
    for (const ModelReport& model : report.models) {
        for (const Finding& f : model.findings) {
            byCode[f.code];
        }
    }
    Json rules = Json::array();
    for (const auto& [code, kinds] : byCode) {
        index[code] = rules.size();
        Json rule = {{"id", ruleId(code)}};
        if (kinds.empty()) {
            // Reported under a code its caller chose: the catalogue has no fixed entry.
            rule["shortDescription"] = {{"text", "Finding " + std::to_string(code)}};
            rules.push_back(std::move(rule));
            continue;
        }
        std::string names, patterns;
        Json entries = Json::array();
        for (const FindingKind* kind : kinds) {
            names += (names.empty() ? "" : ", ") + std::string(kind->name);
            patterns += (patterns.empty() ? "" : "\n") + std::string(kind->message);
            entries.push_back({{"name", kind->name},
                               {"title", ValidatorHelper::titleName(kind->title)},
                               {"severity", name(kind->severity)},
                               {"messagePattern", kind->message}});
        }
        rule["name"] = kinds.front()->name;
        rule["shortDescription"] = {{"text", names}};
        rule["fullDescription"] = {{"text", patterns}};
        rule["defaultConfiguration"] = {{"level", sarifLevel(kinds.front()->severity)}};
        rule["properties"] = {{"title", ValidatorHelper::titleName(kinds.front()->title)},
                              {"entries", std::move(entries)}};
        rules.push_back(std::move(rule));
    }
    return rules;
}

} // namespace

void writeSarif(const Report& report, std::ostream& out) {
    std::map<int, size_t> ruleIndex;
    Json rules = sarifRules(report, ruleIndex);
    Json results = Json::array();
    for (const ModelReport& model : report.models) {
        std::map<std::string, int> seen;
        for (const Finding& f : model.findings) {
            // Same model, code and message twice: the occurrence keeps them apart.
            const std::string key = model.model + "\n" + std::to_string(f.code) + "\n" + f.message;
            char fingerprint[40];
            std::snprintf(fingerprint, sizeof(fingerprint), "%016llx:%d",
                          static_cast<unsigned long long>(stableHash(key)), ++seen[key]);
            Json location = {{"uri", uriOf(model.file.empty() ? model.model : model.file)}};
            if (model.file.empty()) {
                location["uriBaseId"] = "RESOURCE_ROOT";
            }
            results.push_back({{"ruleId", ruleId(f.code)},
                               {"ruleIndex", ruleIndex[f.code]},
                               {"level", sarifLevel(f.severity)},
                               {"message", {{"text", f.message}}},
                               {"locations", {{{"physicalLocation", {{"artifactLocation", location}}}}}},
                               {"partialFingerprints", {{"modelFinding/v1", fingerprint}}},
                               {"properties", {{"model", model.model}, {"category", f.category}}}});
        }
    }
    Json json = {{"$schema", "https://json.schemastore.org/sarif-2.1.0.json"},
                 {"version", "2.1.0"},
                 {"runs",
                  {{{"tool",
                     {{"driver",
                       {{"name", "model-validator"},
                        {"version", toolVersion()},
                        {"semanticVersion", toolVersion()},
                        {"rules", std::move(rules)}}}}},
                    {"results", std::move(results)},
                    {"properties", {{"configuration", report.configuration}}}}}}};
    dumpJson(json, out);
}

namespace {

// Text for XML attributes and content; control characters XML cannot hold
// become '?', bytes that are not UTF-8 the replacement character.
std::string xml(const std::string& text) {
    std::string out;
    for (unsigned char c : validUtf8(text)) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += (c < 0x20 && c != '\t' && c != '\n' && c != '\r') ? '?' : static_cast<char>(c);
        }
    }
    return out;
}

std::string classOf(const std::string& model) {
    std::string folder = model.substr(0, model.rfind('/') == std::string::npos ? 0 : model.rfind('/'));
    for (char& c : folder) {
        c = c == '/' ? '.' : c;
    }
    return folder;
}

} // namespace

void writeJunit(const Report& report, std::ostream& out) {
    const Summary s = summarize(report);
    const std::string counts =
        "tests=\"" + std::to_string(s.models) + "\" failures=\"" + std::to_string(s.failedModels) + "\"";
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<testsuites name=\"model-validator\" " << counts << ">\n"
        << "  <testsuite name=\"model-validator\" " << counts << " errors=\"0\" skipped=\"0\">\n";
    for (const ModelReport& model : report.models) {
        out << "    <testcase classname=\"" << xml(classOf(model.model)) << "\" name=\"" << xml(model.model)
            << "\"";
        if (model.findings.empty()) {
            out << "/>\n";
            continue;
        }
        out << ">\n";
        std::string failures, others;
        size_t failed = 0;
        for (const Finding& f : model.findings) {
            (f.severity >= report.failOn ? failures : others) += xml(f.category + "\t" + f.message) + "\n";
            failed += f.severity >= report.failOn ? 1 : 0;
        }
        if (failed > 0) {
            out << "      <failure message=\"" << plural(failed, "finding") << " at or above "
                << name(report.failOn) << "\" type=\"" << name(report.failOn) << "\">" << failures
                << "</failure>\n";
        }
        if (!others.empty()) {
            out << "      <system-out>" << others << "</system-out>\n";
        }
        out << "    </testcase>\n";
    }
    out << "  </testsuite>\n</testsuites>\n";
}

} // namespace KX::Cli
