#include "cli.h"

#include <cstdlib>
#include <filesystem>

#include "engine/core/debug_log.h"
#include "engine/platform/utf8_path.h"
#include "engine/resource/data_section_cache.h"
#include "engine/resource/file_system.h"
#include "engine/settings/options.h"
#include "import_mesh.h"
#include "inspect.h"
#include "json_util.h"
#include "model_validator/finding_catalogue.h"
#include "model_validator/model_validator.h"

namespace KX::Cli {
namespace {

using ValidatorHelper::ValidationError;
using ValidatorHelper::ValidationErrorSeverity;

enum ExitStatus : int {
    Clean = 0,
    HighFindings = 1,
    UsageError = 2,
    MissingInput = 3,
};

const char* kUsage =
    "usage: model-validator [--res DIR]... [--realm CODE] [--format text|json] [--verbose] MODEL...\n"
    "       model-validator inspect [--res DIR]... FILE...\n"
    "       model-validator import-mesh MESH.obj|MESH.ply OUT.primitives\n"
    "       model-validator findings      (the catalogue of findings, as Markdown)\n"
    "\n"
    "Validates each MODEL, a resource path such as content/props/crate/normal/lod0/crate.model,\n"
    "against the resource roots given with --res (the current folder when none is given).\n"
    "Exit status: 0 no error finding, 1 error findings, 2 usage error, 3 missing root or model.\n";

struct Options {
    std::vector<std::string> roots;
    std::string realm;
    std::string format = "text";
    bool verbose = false;
    std::vector<std::string> models;
};

// Returns false (with a reason) when the command line is not understood.
bool parseOptions(const std::vector<std::string>& args, Options& options, std::string& reason) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) {
                reason = arg + " needs a value";
                return false;
            }
            into = args[++i];
            return true;
        };
        if (arg == "--res") {
            std::string root;
            if (!value(root)) {
                return false;
            }
            options.roots.push_back(root);
        } else if (arg == "--realm") {
            if (!value(options.realm)) {
                return false;
            }
        } else if (arg == "--format") {
            if (!value(options.format)) {
                return false;
            }
            if (options.format != "text" && options.format != "json") {
                reason = "unknown format '" + options.format + "' (text or json)";
                return false;
            }
        } else if (arg == "--verbose") {
            options.verbose = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            reason = "unknown option " + arg;
            return false;
        } else {
            options.models.push_back(arg);
        }
    }
    if (options.models.empty()) {
        reason = "no model given";
        return false;
    }
    return true;
}

// The finding number stored in the message's bracketed prefix.
int codeOf(const ValidationError& error) {
    const std::string& m = error.message;
    size_t space = m.find(' ');
    if (m.empty() || m[0] != '[' || space == std::string::npos) {
        return 0;
    }
    return std::atoi(m.c_str() + space + 1);
}

struct ModelResult {
    std::string model;
    std::vector<ValidationError> findings;
};

void printText(const std::vector<ModelResult>& results, std::ostream& out) {
    for (const ModelResult& result : results) {
        out << "== " << result.model << " (" << result.findings.size()
            << (result.findings.size() == 1 ? " finding" : " findings") << ")\n";
        for (const ValidationError& error : result.findings) {
            out << error.category << '\t' << error.message << '\n';
        }
    }
}

void printJson(const std::vector<ModelResult>& results, std::ostream& out) {
    out << "[";
    bool first = true;
    for (const ModelResult& result : results) {
        for (const ValidationError& error : result.findings) {
            out << (first ? "\n" : ",\n") << "  {\"model\": " << jsonString(result.model)
                << ", \"code\": " << codeOf(error) << ", \"severity\": \""
                << ValidatorHelper::severityName(error.severity) << "\", \"title\": \""
                << ValidatorHelper::titleName(error.title)
                << "\", \"category\": " << jsonString(error.category)
                << ", \"message\": " << jsonString(error.message) << "}";
            first = false;
        }
    }
    out << (first ? "]\n" : "\n]\n");
}

int validate(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options options;
    std::string reason;
    if (!parseOptions(args, options, reason)) {
        err << "model-validator: " << reason << "\n" << kUsage;
        return UsageError;
    }
    if (options.roots.empty()) {
        options.roots.push_back(".");
    }
    std::vector<std::string> absoluteRoots;
    for (const std::string& root : options.roots) {
        std::error_code ec;
        if (!std::filesystem::is_directory(pathFromUtf8(root), ec)) {
            err << "model-validator: resource root '" << root << "' does not exist\n";
            return MissingInput;
        }
        absoluteRoots.push_back(
            pathToUtf8(std::filesystem::absolute(pathFromUtf8(root), ec).lexically_normal()));
    }
    DebugLog::setStderrThreshold(options.verbose ? DebugLog::Info : DebugLog::Critical + 1);
    FS::fileSystem()->setRoots(absoluteRoots);
    DataSectionCache::instance().clear();
    if (!options.realm.empty()) {
        ::Options::setOptionString("realm/currentRealm", options.realm);
    }

    int status = Clean;
    std::vector<ModelResult> results;
    for (const std::string& model : options.models) {
        if (!FS::Utils::fileExists(model)) {
            err << "model-validator: model '" << model << "' does not exist in the resource roots\n";
            status = MissingInput;
            continue;
        }
        ModelValidator validator;
        results.push_back({model, validator.check(model)});
        for (const ValidationError& error : results.back().findings) {
            if (error.severity == ValidationErrorSeverity::High && status == Clean) {
                status = HighFindings;
            }
        }
    }
    if (options.format == "json") {
        printJson(results, out);
    } else {
        printText(results, out);
    }
    return status;
}

} // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        out << kUsage;
        return Clean;
    }
    const std::vector<std::string> rest(args.empty() ? args.end() : args.begin() + 1, args.end());
    if (!args.empty() && args[0] == "inspect") {
        return runInspect(rest, out, err);
    }
    if (!args.empty() && args[0] == "import-mesh") {
        return runImportMesh(rest, out, err);
    }
    if (!args.empty() && args[0] == "findings") {
        out << findingCatalogueMarkdown();
        return Clean;
    }
    return validate(args, out, err);
}

} // namespace KX::Cli
