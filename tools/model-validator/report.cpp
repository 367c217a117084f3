#include "report.h"

#include <algorithm>
#include <fstream>
#include <tuple>

#include "engine/geometry/byte_io.h"
#include "engine/platform/utf8_path.h"

namespace KX::Cli {

const char* toolVersion() {
    return KX_TOOL_VERSION;
}

bool severityFromName(const std::string& name, Severity& severity) {
    for (Severity s : {Severity::None, Severity::Normal, Severity::Medium, Severity::High}) {
        if (name == ValidatorHelper::severityName(s)) {
            severity = s;
            return true;
        }
    }
    return false;
}

namespace {

const char* name(Severity s) {
    return ValidatorHelper::severityName(s);
}

// The finding number stored in the message's bracketed prefix.
int codeOf(const std::string& message) {
    const size_t space = message.find(' ');
    if (message.empty() || message[0] != '[' || space == std::string::npos) {
        return 0;
    }
    return std::atoi(message.c_str() + space + 1);
}

} // namespace

Json settingsJson(const Settings& settings) {
    Json severity = Json::object();
    for (const auto& [code, s] : settings.severity) {
        severity[std::to_string(code)] = name(s);
    }
    Json json = Json::object();
    json["configFile"] = settings.configFile.empty() ? Json() : Json(settings.configFile);
    json["roots"] = settings.roots;
    json["realm"] = settings.realm.empty() ? Json() : Json(settings.realm);
    json["paths"] = settings.paths;
    json["exclude"] = settings.exclude;
    json["ignore"] = settings.ignore;
    json["only"] = settings.only;
    json["severity"] = severity;
    json["maxFindingsPerModel"] =
        settings.maxFindingsPerModel == 0 ? Json() : Json(settings.maxFindingsPerModel);
    json["failOn"] = name(settings.failOn);
    json["shard"] =
        settings.shard
            ? Json(std::to_string(settings.shard->index) + "/" + std::to_string(settings.shard->count))
            : Json();
    json["baseline"] = settings.baseline.empty() ? Json() : Json(settings.baseline);
    return json;
}

bool failing(const ModelReport& model, Severity failOn) {
    return std::any_of(model.findings.begin(), model.findings.end(),
                       [&](const Finding& f) { return f.severity >= failOn; });
}

Summary summarize(const Report& report) {
    Summary summary;
    summary.models = report.models.size();
    for (const ModelReport& model : report.models) {
        summary.findings += model.findings.size();
        summary.known += model.known;
        summary.omitted += model.omitted;
        summary.failedModels += failing(model, report.failOn) ? 1 : 0;
        for (const Finding& f : model.findings) {
            ++summary.bySeverity[static_cast<int>(f.severity)];
            ++summary.byCode[f.code];
        }
    }
    return summary;
}

Finding findingOf(const ValidatorHelper::ValidationError& error) {
    return {codeOf(error.message), error.severity, ValidatorHelper::titleName(error.title), error.category,
            error.message};
}

void applySettings(const Settings& settings, ModelReport& model) {
    std::vector<Finding> kept;
    for (Finding& f : model.findings) {
        if (settings.ignore.count(f.code) || (!settings.only.empty() && !settings.only.count(f.code))) {
            continue;
        }
        if (auto s = settings.severity.find(f.code); s != settings.severity.end()) {
            f.severity = s->second;
        }
        kept.push_back(std::move(f));
    }
    if (settings.maxFindingsPerModel > 0 && kept.size() > settings.maxFindingsPerModel) {
        std::stable_sort(kept.begin(), kept.end(),
                         [](const Finding& a, const Finding& b) { return a.severity > b.severity; });
        model.omitted = kept.size() - settings.maxFindingsPerModel;
        kept.resize(settings.maxFindingsPerModel);
    }
    model.findings = std::move(kept);
}

void applyBaseline(const std::vector<ModelReport>& baseline, std::vector<ModelReport>& models) {
    std::map<std::tuple<std::string, int, std::string>, size_t> known;
    for (const ModelReport& model : baseline) {
        for (const Finding& f : model.findings) {
            ++known[{model.model, f.code, f.message}];
        }
    }
    for (ModelReport& model : models) {
        std::vector<Finding> fresh;
        for (Finding& f : model.findings) {
            auto it = known.find({model.model, f.code, f.message});
            if (it != known.end() && it->second > 0) {
                --it->second;
                ++model.known;
            } else {
                fresh.push_back(std::move(f));
            }
        }
        model.findings = std::move(fresh);
    }
}

Json modelJson(const ModelReport& model) {
    Json findings = Json::array();
    for (const Finding& f : model.findings) {
        findings.push_back({{"code", f.code},
                            {"severity", name(f.severity)},
                            {"title", f.title},
                            {"category", f.category},
                            {"message", f.message}});
    }
    return {{"model", model.model},
            {"file", model.file},
            {"findings", std::move(findings)},
            {"omittedFindings", model.omitted},
            {"knownFindings", model.known}};
}

namespace {

bool readText(ByteIO::Reader& in, std::string& text) {
    text.assign(in.text());
    return !in.failed();
}

} // namespace

std::string modelRecord(const ModelReport& model) {
    // A model's report crosses from a worker for every model it checks: a
    // plain record costs a fraction of encoding and decoding a JSON tree.
    ByteIO::Writer out;
    out.text(model.model);
    out.text(model.file);
    out.u64(model.omitted);
    out.u64(model.known);
    out.u32(static_cast<uint32_t>(model.findings.size()));
    for (const Finding& f : model.findings) {
        out.u32(static_cast<uint32_t>(f.code));
        out.u8(static_cast<uint8_t>(f.severity));
        out.text(f.title);
        out.text(f.category);
        out.text(f.message);
    }
    return std::string(out.buffer().begin(), out.buffer().end());
}

bool modelFromRecord(std::string_view bytes, ModelReport& model) {
    ByteIO::Reader in(bytes);
    model = ModelReport();
    if (!readText(in, model.model) || !readText(in, model.file)) {
        return false;
    }
    model.omitted = static_cast<size_t>(in.u64());
    model.known = static_cast<size_t>(in.u64());
    const uint32_t count = in.u32();
    // Each finding takes at least 17 bytes: a count larger than the rest allows is no record.
    if (in.failed() || count > in.remaining() / 17) {
        return false;
    }
    model.findings.resize(count);
    for (Finding& f : model.findings) {
        f.code = static_cast<int>(in.u32());
        const uint8_t severity = in.u8();
        if (severity > static_cast<uint8_t>(Severity::High)) {
            return false;
        }
        f.severity = static_cast<Severity>(severity);
        if (!readText(in, f.title) || !readText(in, f.category) || !readText(in, f.message)) {
            return false;
        }
    }
    return !in.failed() && in.remaining() == 0;
}

namespace {

Finding findingFromJson(const Json& json) {
    Finding f;
    f.code = json.at("code").get<int>();
    if (!severityFromName(json.at("severity").get<std::string>(), f.severity)) {
        throw std::runtime_error("unknown severity '" + json.at("severity").get<std::string>() + "'");
    }
    f.title = json.at("title").get<std::string>();
    f.category = json.at("category").get<std::string>();
    f.message = json.at("message").get<std::string>();
    return f;
}

} // namespace

ModelReport modelFromJson(const Json& json) {
    ModelReport model;
    model.model = json.at("model").get<std::string>();
    model.file = json.value("file", std::string());
    for (const Json& f : json.at("findings")) {
        model.findings.push_back(findingFromJson(f));
    }
    model.omitted = json.value("omittedFindings", size_t(0));
    model.known = json.value("knownFindings", size_t(0));
    return model;
}

bool readReport(const std::string& file, Report& report, std::string& reason) {
    std::ifstream in(pathFromUtf8(file), std::ios::binary);
    if (!in) {
        reason = file + ": cannot be read";
        return false;
    }
    try {
        const Json json = Json::parse(in);
        report = Report();
        if (json.is_array()) {
            // Version 1: findings only, each naming its model.
            for (const Json& f : json) {
                const std::string model = f.at("model").get<std::string>();
                if (report.models.empty() || report.models.back().model != model) {
                    report.models.push_back({model, "", {}, 0, 0});
                }
                report.models.back().findings.push_back(findingFromJson(f));
            }
            return true;
        }
        if (json.value("reportVersion", 0) != kReportVersion) {
            reason = file + ": not a version " + std::to_string(kReportVersion) + " report";
            return false;
        }
        report.configuration = json.at("configuration");
        if (!severityFromName(report.configuration.value("failOn", "high"), report.failOn)) {
            reason = file + ": unknown failOn";
            return false;
        }
        for (const Json& model : json.at("models")) {
            report.models.push_back(modelFromJson(model));
        }
        return true;
    } catch (const std::exception& e) {
        reason = file + ": not a report: " + e.what();
        return false;
    }
}

} // namespace KX::Cli
