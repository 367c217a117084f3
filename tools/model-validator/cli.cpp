#include "cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "command_line.h"
#include "config.h"
#include "discovery.h"
#include "engine/platform/utf8_path.h"
#include "engine/resource/file_system.h"
#include "fix_tags.h"
#include "import_mesh.h"
#include "inspect.h"
#include "model_validator/finding_catalogue.h"
#include "model_validator/vehicle_validator.h"
#include "process.h"
#include "report_writers.h"
#include "workers.h"

namespace KX::Cli {

Environment processEnvironment() {
    Environment environment;
    environment.executable = Platform::currentExecutable();
    environment.stdoutIsTerminal = Platform::isTerminal(1);
    environment.stderrIsTerminal = Platform::isTerminal(2);
    const char* noColor = std::getenv("NO_COLOR");
    environment.noColor = noColor != nullptr && *noColor != '\0';
    environment.processors = Platform::processorCount();
    return environment;
}

namespace {

enum ExitStatus : int {
    Clean = 0,
    Failing = 1,
    UsageError = 2,
    MissingInput = 3,
};

const char* kCommands = "Commands (each with --help):\n"
                        "  vehicle FOLDER...      check the component models of vehicle folders\n"
                        "  merge REPORT.json...   join shard reports into one\n"
                        "  inspect FILE...        what the engine sees in a file, as JSON\n"
                        "  import-mesh MESH OUT   an OBJ or PLY mesh as a .primitives file\n"
                        "  findings               the catalogue of findings, as Markdown\n"
                        "  fix-tags MODEL...      rename root tags that start with a digit\n"
                        "Exit status: 0 pass, 1 findings at or above the failure level, 2 usage or\n"
                        "configuration error, 3 a missing root, path or input file.\n";

// How a report is written; shared by validation and merge.
struct Output {
    std::string format = "text";
    int reportVersion = 1;
    std::string file;
    std::string color = "auto";

    void addTo(CLI::App& app) {
        app.add_option("--format", format, "text (default), json, sarif or junit")
            ->type_name("FORMAT")
            ->check(CLI::IsMember({"text", "json", "sarif", "junit"}).description(""));
        app.add_option("--report-version", reportVersion, "json: 1 a finding array (default), 2 a report")
            ->type_name("1|2")
            ->check(CLI::IsMember({1, 2}).description(""));
        app.add_option("--output", file, "write the report to FILE instead of stdout")->type_name("FILE");
        app.add_option("--color", color, "auto (on a terminal, unless NO_COLOR), always, never")
            ->type_name("WHEN")
            ->check(CLI::IsMember({"auto", "always", "never"}).description(""));
    }

    // False (with a reason) when the file cannot be written. The report goes
    // straight to its stream: a whole tree's report held as one string first
    // made the peak memory grow with the number of models.
    bool write(const Report& report, std::optional<double> seconds, std::ostream& out, const Environment& env,
               std::string& reason) const {
        if (file.empty()) {
            render(report, seconds, out, env);
            return true;
        }
        return writeFile(
            file, [&](std::ostream& stream) { render(report, seconds, stream, env); }, reason);
    }

    void render(const Report& report, std::optional<double> seconds, std::ostream& out,
                const Environment& env) const {
        if (format == "json") {
            reportVersion == 1 ? writeJsonArray(report, out) : writeJsonReport(report, out);
        } else if (format == "sarif") {
            writeSarif(report, out);
        } else if (format == "junit") {
            writeJunit(report, out);
        } else {
            const bool colored = color == "always" ||
                                 (color == "auto" && file.empty() && env.stdoutIsTerminal && !env.noColor);
            writeText(report, out, colored, seconds);
        }
    }

    // Writes what `write` puts on its stream to `file`; false (with a reason) when it cannot.
    template <typename Write>
    static bool writeFile(const std::string& file, Write write, std::string& reason) {
        std::ofstream stream(pathFromUtf8(file), std::ios::binary | std::ios::trunc);
        write(stream);
        if (!stream) {
            reason = file + ": cannot be written";
            return false;
        }
        return true;
    }
};

void shapeHelp(CLI::App& app) {
    app.get_formatter()->column_width(30);
    app.get_formatter()->label("OPTIONS", "OPTION");
}

struct CommandLine {
    std::vector<std::string> paths;
    std::vector<std::string> roots;
    std::string realm;
    std::string config;
    std::vector<std::string> exclude;
    std::vector<int> ignore;
    std::vector<int> only;
    std::vector<std::string> severity;
    std::optional<size_t> maxFindings;
    std::string failOn;
    std::string baseline;
    std::string writeBaseline;
    bool writeLogs = false;
    std::optional<unsigned> jobs;
    std::string shard;
    bool verbose = false;
    Output output;
};

void addValidateOptions(CLI::App& app, CommandLine& cl) {
    app.add_option("PATH", cl.paths, "a model or a folder of models (resource or disk path)")->type_name("");
    app.add_option("--res", cl.roots, "a resource root, in order (default: the current folder)")
        ->type_name("DIR")
        ->allow_extra_args(false);
    app.add_option("--realm", cl.realm, "prefer realm files name.CODE.ext")->type_name("CODE");
    app.add_option("--config", cl.config, "configuration file (default: model-validator.json)")
        ->type_name("FILE");
    app.add_option("--exclude", cl.exclude, "skip models found in folders that match GLOB")
        ->type_name("GLOB")
        ->allow_extra_args(false);
    app.add_option("--ignore", cl.ignore, "drop findings with CODE")
        ->type_name("CODE")
        ->allow_extra_args(false);
    app.add_option("--only", cl.only, "keep only findings with CODE")
        ->type_name("CODE")
        ->allow_extra_args(false);
    app.add_option("--severity", cl.severity, "report CODE with another severity")
        ->type_name("CODE=LEVEL")
        ->allow_extra_args(false);
    app.add_option("--max-findings", cl.maxFindings, "at most N findings per model, higher severity first")
        ->type_name("N");
    app.add_option("--fail-on", cl.failOn, "failure level: high (default), medium, normal, none")
        ->type_name("LEVEL")
        ->check(CLI::IsMember({"high", "medium", "normal", "none"}).description(""));
    app.add_option("--baseline", cl.baseline, "report only findings absent from this earlier report")
        ->type_name("REPORT");
    app.add_option("--write-baseline", cl.writeBaseline, "also write this run's findings as a baseline")
        ->type_name("FILE");
    app.add_flag("--write-logs", cl.writeLogs, "write each model's error log beside it (MODEL.log)");
    app.add_option("--jobs,-j", cl.jobs,
                   "this process and N - 1 workers (default: one per processor, one per 200 models at most)")
        ->type_name("N")
        ->check(CLI::Range(1u, 1024u).description(""));
    app.add_option("--shard", cl.shard, "check the I-th of N shares of the models")->type_name("I/N");
    app.add_flag("--verbose", cl.verbose, "show the engine's log on stderr");
    cl.output.addTo(app);
}

bool parseShard(const std::string& text, Shard& shard) {
    unsigned index = 0, count = 0;
    char slash = 0, extra = 0;
    std::istringstream in(text);
    if (!(in >> index >> slash >> count) || slash != '/' || (in >> extra) || count == 0 || index == 0 ||
        index > count) {
        return false;
    }
    shard = {index, count};
    return true;
}

// Folds the configuration file and the command line into settings; the
// command line wins. Returns -1 to go on, else the exit status.
int settle(const CommandLine& cl, Settings& settings, std::ostream& err) {
    std::string config = cl.config;
    if (config.empty()) {
        for (const std::string& folder :
             {cl.roots.empty() ? std::string(".") : cl.roots.front(), std::string(".")}) {
            std::error_code ec;
            const std::string candidate = folder + "/" + kConfigFileName;
            if (std::filesystem::is_regular_file(pathFromUtf8(candidate), ec)) {
                config = folder == "." ? kConfigFileName : candidate;
                break;
            }
        }
    }
    std::string reason;
    if (!config.empty() && !loadConfig(config, settings, reason)) {
        err << "model-validator: " << reason << "\n";
        return UsageError;
    }
    if (!cl.roots.empty()) {
        settings.roots = cl.roots;
    }
    if (settings.roots.empty()) {
        settings.roots.push_back(".");
    }
    if (!cl.realm.empty()) {
        settings.realm = cl.realm;
    }
    settings.paths = cl.paths;
    settings.exclude.insert(settings.exclude.end(), cl.exclude.begin(), cl.exclude.end());
    settings.ignore.insert(cl.ignore.begin(), cl.ignore.end());
    settings.only.insert(cl.only.begin(), cl.only.end());
    for (const std::string& item : cl.severity) {
        const size_t equals = item.find('=');
        Severity level;
        char* end = nullptr;
        const long code =
            equals == std::string::npos || equals == 0 ? -1 : std::strtol(item.c_str(), &end, 10);
        if (code < 0 || end != item.c_str() + equals || !severityFromName(item.substr(equals + 1), level)) {
            err << "model-validator: --severity " << item << ": expected CODE=high|medium|normal|none\n";
            return UsageError;
        }
        settings.severity[static_cast<int>(code)] = level;
    }
    if (cl.maxFindings) {
        settings.maxFindingsPerModel = *cl.maxFindings;
    }
    if (!cl.failOn.empty()) {
        severityFromName(cl.failOn, settings.failOn);
    }
    if (!cl.shard.empty()) {
        Shard shard;
        if (!parseShard(cl.shard, shard)) {
            err << "model-validator: --shard " << cl.shard << ": expected I/N with 1 <= I <= N\n";
            return UsageError;
        }
        settings.shard = shard;
    }
    settings.baseline = cl.baseline;
    return -1;
}

// The absolute forms of the resource roots; false (with a reason) when one is missing.
bool absoluteRootsOf(const std::vector<std::string>& roots, std::vector<std::string>& absoluteRoots,
                     std::ostream& err) {
    for (const std::string& root : roots) {
        std::error_code ec;
        if (!std::filesystem::is_directory(pathFromUtf8(root), ec)) {
            err << "model-validator: resource root '" << root << "' does not exist\n";
            return false;
        }
        absoluteRoots.push_back(
            pathToUtf8(std::filesystem::absolute(pathFromUtf8(root), ec).lexically_normal()));
    }
    return true;
}

int validate(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             const Environment& env) {
    const auto start = std::chrono::steady_clock::now();
    CLI::App app("Validates models and the folders of models below resource roots.", "model-validator");
    shapeHelp(app);
    app.set_version_flag("--version", toolVersion());
    app.footer(kCommands);
    CommandLine cl;
    addValidateOptions(app, cl);
    if (const int status = parseArguments(app, args, out, err); status >= 0) {
        return status;
    }
    if (cl.paths.empty()) {
        err << "model-validator: no PATH given\nRun 'model-validator --help' for the options.\n";
        return UsageError;
    }
    Settings settings;
    if (const int status = settle(cl, settings, err); status >= 0) {
        return status;
    }

    std::vector<std::string> absoluteRoots;
    if (!absoluteRootsOf(settings.roots, absoluteRoots, err)) {
        return MissingInput;
    }
    Report baseline;
    std::string reason;
    if (!settings.baseline.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(pathFromUtf8(settings.baseline), ec)) {
            err << "model-validator: baseline '" << settings.baseline << "' does not exist\n";
            return MissingInput;
        }
        if (!readReport(settings.baseline, baseline, reason)) {
            err << "model-validator: " << reason << "\n";
            return UsageError;
        }
    }
    setUpEngine(absoluteRoots, settings.realm, cl.verbose);

    int status = Clean;
    RunRequest request;
    request.roots = absoluteRoots;
    request.realm = settings.realm;
    request.writeLogs = cl.writeLogs;
    request.verbose = cl.verbose;
    request.executable = env.executable;
    request.jobs = cl.jobs;
    request.processors = env.processors;
    request.progress = env.stderrIsTerminal;
    ModelRun run(request, err);
    const Discovery discovery =
        discoverModels(settings.paths, absoluteRoots, settings.exclude, [&](const std::string& model) {
            if (!settings.shard || inShard(model, *settings.shard)) {
                run.add(model);
            }
        });
    for (const std::string& missing : discovery.missing) {
        err << "model-validator: " << missing << "\n";
        status = MissingInput;
    }

    Report report;
    report.configuration = settingsJson(settings);
    report.failOn = settings.failOn;
    if (!run.finish(report.models, reason)) {
        err << "model-validator: " << reason << "\n";
        return MissingInput;
    }
    // Each model's file was resolved where it was checked, while its folders were listed anyway.
    for (ModelReport& model : report.models) {
        applySettings(settings, model);
    }
    if (!cl.writeBaseline.empty()) {
        if (!Output::writeFile(
                cl.writeBaseline, [&](std::ostream& stream) { writeJsonReport(report, stream); }, reason)) {
            err << "model-validator: " << reason << "\n";
            return UsageError;
        }
    }
    if (!settings.baseline.empty()) {
        applyBaseline(baseline.models, report.models);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!cl.output.write(report, seconds, out, env, reason)) {
        err << "model-validator: " << reason << "\n";
        return UsageError;
    }
    if (status == Clean && summarize(report).failedModels > 0) {
        status = Failing;
    }
    return status;
}

// One report entry per vehicle folder; each finding's category starts with
// its component.
int vehicle(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            const Environment& env) {
    CLI::App app("Validates the component models of vehicle folders (layout: docs/formats.md).",
                 "model-validator vehicle");
    shapeHelp(app);
    Settings settings;
    std::vector<std::string> roots;
    std::string failOn;
    bool verbose = false;
    Output output;
    app.add_option("VEHICLE_FOLDER", settings.paths, "a vehicle folder (resource or disk path)")
        ->type_name("")
        ->required();
    app.add_option("--res", roots, "a resource root, in order (default: the current folder)")
        ->type_name("DIR")
        ->allow_extra_args(false);
    app.add_option("--fail-on", failOn, "failure level: high (default), medium, normal, none")
        ->type_name("LEVEL")
        ->check(CLI::IsMember({"high", "medium", "normal", "none"}).description(""));
    app.add_flag("--verbose", verbose, "show the engine's log on stderr");
    output.addTo(app);
    if (const int status = parseArguments(app, args, out, err); status >= 0) {
        return status;
    }
    settings.roots = roots.empty() ? std::vector<std::string>{"."} : roots;
    if (!failOn.empty()) {
        severityFromName(failOn, settings.failOn);
    }
    std::vector<std::string> absoluteRoots;
    if (!absoluteRootsOf(settings.roots, absoluteRoots, err)) {
        return MissingInput;
    }
    setUpEngine(absoluteRoots, "", verbose);

    int status = Clean;
    Report report;
    report.configuration = settingsJson(settings);
    report.failOn = settings.failOn;
    const std::string currentFolder = currentFolderOfReports();
    for (const std::string& path : settings.paths) {
        std::string folder, reason;
        VehicleValidator validator;
        if (!resourcePathOf(path, absoluteRoots, folder, reason)) {
            err << "model-validator: " << reason << "\n";
            status = MissingInput;
            continue;
        }
        if (validator.findComponents(folder).empty()) {
            err << "model-validator: '" << path << "' holds no vehicle component (see docs/formats.md)\n";
            status = MissingInput;
            continue;
        }
        ModelReport model;
        model.model = folder;
        model.file = diskFileOf(folder, currentFolder);
        for (const ValidatorHelper::ValidationError& error : validator.check(folder)) {
            model.findings.push_back(findingOf(error));
        }
        report.models.push_back(std::move(model));
    }
    std::string reason;
    if (!output.write(report, std::nullopt, out, env, reason)) {
        err << "model-validator: " << reason << "\n";
        return UsageError;
    }
    if (status == Clean && summarize(report).failedModels > 0) {
        status = Failing;
    }
    return status;
}

int merge(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
          const Environment& env) {
    CLI::App app("Joins the version 2 JSON reports of shards (--shard I/N) into the report of one run.",
                 "model-validator merge");
    shapeHelp(app);
    std::vector<std::string> files;
    Output output;
    app.add_option("REPORT", files, "a report written with --format json --report-version 2")
        ->type_name("")
        ->required();
    output.addTo(app);
    if (const int status = parseArguments(app, args, out, err); status >= 0) {
        return status;
    }
    Report merged;
    std::set<std::string> shards;
    std::set<std::string> models;
    std::string reason;
    for (const std::string& file : files) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(pathFromUtf8(file), ec)) {
            err << "model-validator: report '" << file << "' does not exist\n";
            return MissingInput;
        }
        Report report;
        if (!readReport(file, report, reason) || report.configuration.empty()) {
            err << "model-validator: " << (reason.empty() ? file + ": not a version 2 report" : reason)
                << "\n";
            return UsageError;
        }
        const Json shard = report.configuration["shard"];
        report.configuration["shard"] = nullptr;
        if (file == files.front() && merged.configuration.empty()) {
            merged.configuration = report.configuration;
            merged.failOn = report.failOn;
        } else if (report.configuration != merged.configuration) {
            err << "model-validator: " << file << ": its configuration differs from " << files.front()
                << "'s\n";
            return UsageError;
        }
        if (shard.is_string() && !shards.insert(shard.get<std::string>()).second) {
            err << "model-validator: " << file << ": shard " << shard.get<std::string>() << " given twice\n";
            return UsageError;
        }
        for (ModelReport& model : report.models) {
            if (!models.insert(model.model).second) {
                err << "model-validator: " << file << ": model " << model.model << " is in two reports\n";
                return UsageError;
            }
            merged.models.push_back(std::move(model));
        }
    }
    // A missing shard would pass silently as a clean share of the models.
    if (!shards.empty()) {
        Shard shard;
        const unsigned count = parseShard(*shards.begin(), shard) ? shard.count : 0;
        for (unsigned i = 1; i <= count; ++i) {
            const std::string name = std::to_string(i) + "/" + std::to_string(count);
            if (!shards.count(name)) {
                err << "model-validator: shard " << name << " is missing\n";
                return UsageError;
            }
        }
        if (shards.size() != count || shards.size() != files.size()) {
            err << "model-validator: the reports are not the shards 1/N to N/N of one run\n";
            return UsageError;
        }
    }
    std::sort(merged.models.begin(), merged.models.end(),
              [](const ModelReport& a, const ModelReport& b) { return a.model < b.model; });
    if (!output.write(merged, std::nullopt, out, env, reason)) {
        err << "model-validator: " << reason << "\n";
        return UsageError;
    }
    return summarize(merged).failedModels > 0 ? Failing : Clean;
}

} // namespace

int parseArguments(CLI::App& app, const std::vector<std::string>& args, std::ostream& out,
                   std::ostream& err) {
    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return 0;
    } catch (const CLI::CallForVersion&) {
        out << "model-validator " << toolVersion() << "\n";
        return 0;
    } catch (const CLI::ParseError& e) {
        err << "model-validator: " << e.what() << "\nRun '" << app.get_name()
            << " --help' for the options.\n";
        return 2;
    }
    return -1;
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        const Environment& environment) {
    const std::string command = args.empty() ? std::string() : args[0];
    const std::vector<std::string> rest(args.empty() ? args.end() : args.begin() + 1, args.end());
    // These commands read their few words themselves; their help is here.
    static const std::map<std::string, std::string> kHelp = {
        {"inspect", "Usage: model-validator inspect [--res DIR]... FILE...\n"
                    "Prints as JSON what the engine sees in texture, .model, .visual and .primitives files.\n"
                    "  --res DIR   a resource root, in order (default: the current folder)\n"},
        {"import-mesh", "Usage: model-validator import-mesh MESH.obj|MESH.ply OUT.primitives\n"
                        "Writes the mesh as a .primitives file with its collision tree.\n"},
        {"findings", "Usage: model-validator findings\n"
                     "Prints the catalogue of findings as Markdown (docs/findings.md).\n"},
    };
    const bool help = std::any_of(rest.begin(), rest.end(),
                                  [](const std::string& a) { return a == "--help" || a == "-h"; });
    if (help && kHelp.count(command)) {
        out << kHelp.at(command);
        return Clean;
    }
    if (command == "inspect") {
        return runInspect(rest, out, err);
    }
    if (command == "import-mesh") {
        return runImportMesh(rest, out, err);
    }
    if (command == "fix-tags") {
        return runFixTags(rest, out, err);
    }
    if (command == "findings") {
        out << findingCatalogueMarkdown();
        return Clean;
    }
    if (command == "merge") {
        return merge(rest, out, err, environment);
    }
    if (command == "vehicle") {
        return vehicle(rest, out, err, environment);
    }
    if (command == "worker") {
        return runWorker(rest, err);
    }
    return validate(args, out, err, environment);
}

} // namespace KX::Cli
