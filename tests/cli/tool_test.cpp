#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "discovery.h"
#include "engine/platform/utf8_path.h"
#include "engine/resource/file_system.h"
#include "json_schema.h"
#include "json_util.h"
#include "model_validator/finding_catalogue.h"
#include "tool_support.h"

namespace {

using nlohmann::json;

std::vector<std::string> headers(const std::string& text) {
    std::vector<std::string> models;
    const std::regex header("^== (.*) \\([0-9]+ findings?\\)$");
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_match(line, m, header)) {
            models.push_back(m[1]);
        }
    }
    return models;
}

std::string lastLine(const std::string& text) {
    const size_t end = text.find_last_not_of('\n');
    return text.substr(text.rfind('\n', end) + 1, end - text.rfind('\n', end));
}

} // namespace

TEST(ToolDiscovery, AReportNamesAFileFromTheCurrentFolderOnlyWhenItLiesBelowIt) {
    TempResourceTree tree;
    tree.write("content/a/x.model", "<x.model/>");
    const std::string absolute = tree.path("content/a/x.model");
    const std::string parent = tree.root().substr(0, tree.root().rfind('/') + 1);
    const std::string rootName = tree.root().substr(parent.size());
    using KX::Cli::diskFileOf;
    EXPECT_EQ(diskFileOf("content/a/x.model", tree.root() + "/"), "content/a/x.model");
    EXPECT_EQ(diskFileOf("content/a/x.model", parent), rootName + "/content/a/x.model");
    EXPECT_EQ(diskFileOf("content/a/x.model", ""), absolute);
    EXPECT_EQ(diskFileOf("content/a/x.model", tree.root() + "/content/b/"), absolute);
    EXPECT_EQ(diskFileOf("content/a/x.model", absolute + "/"), absolute);
    EXPECT_EQ(KX::Cli::currentFolderOfReports(), pathToUtf8(std::filesystem::current_path()) + "/");
}

TEST(ToolPaths, GlobsShardsAndWhichModelsAFolderHolds) {
    using KX::Cli::globMatches;
    EXPECT_TRUE(globMatches("content/*/x.model", "content/a/x.model"));
    EXPECT_FALSE(globMatches("content/*/x.model", "content/a/b/x.model"));
    EXPECT_TRUE(globMatches("content/**/x.model", "content/a/b/x.model"));
    EXPECT_TRUE(globMatches("content/**/x.model", "content/x.model"));
    EXPECT_TRUE(globMatches("**/lod0/*.model", "content/a/normal/lod0/a.model"));
    EXPECT_TRUE(
        globMatches("content/sa?ples", "content/samples/a/b.model")); // a matching folder takes all below
    EXPECT_FALSE(globMatches("content/sa", "content/samples/a.model"));
    EXPECT_FALSE(globMatches("content?a", "content/a"));

    using KX::Cli::isValidatedModel;
    EXPECT_TRUE(isValidatedModel("content/a/normal/lod0/a.model"));
    EXPECT_TRUE(isValidatedModel("content/a/normal/LOD0/a.MODEL"));
    EXPECT_TRUE(isValidatedModel("maps/skyboxes/sky.model"));
    EXPECT_TRUE(isValidatedModel("content/a/lodge/a.model"));
    EXPECT_FALSE(isValidatedModel("content/a/normal/lod1/a.model"));
    EXPECT_FALSE(isValidatedModel("content/a/normal/Lod12/a.model"));
    EXPECT_FALSE(isValidatedModel("content/a/normal/lod0/a.hkt.model"));
    EXPECT_FALSE(isValidatedModel("content/a/normal/lod0/A.Hkt.Model"));
    EXPECT_TRUE(isValidatedModel("content/a.hkt/normal/lod0/a.model"));
    EXPECT_FALSE(isValidatedModel("model"));
    EXPECT_TRUE(isValidatedModel(".model"));
    EXPECT_FALSE(isValidatedModel("content/a/normal/lod0/a.visual"));

    // Every model lands in exactly one shard, and the shares are not lopsided.
    std::vector<size_t> sizes(3);
    for (int i = 0; i < 300; ++i) {
        const std::string model = "content/m" + std::to_string(i) + "/normal/lod0/m.model";
        int owners = 0;
        for (unsigned s = 1; s <= 3; ++s) {
            if (KX::Cli::inShard(model, {s, 3})) {
                ++owners;
                ++sizes[s - 1];
            }
        }
        EXPECT_EQ(owners, 1) << model;
    }
    for (size_t size : sizes) {
        EXPECT_GT(size, 60u);
    }
}

TEST(ToolTree, ValidatesTheLod0ModelsOfAFolderInStableOrder) {
    ToolTree t;
    const ToolRun all = runInProcess({"--res", t.tree.root(), "content"});
    EXPECT_EQ(headers(all.out), t.lod0Models) << all.out;
    // The same tree named by its disk path, the root itself and a trailing slash.
    EXPECT_EQ(headers(runInProcess({"--res", t.tree.root(), t.tree.path("content")}).out), t.lod0Models);
    EXPECT_EQ(headers(runInProcess({"--res", t.tree.root(), "content/"}).out), t.lod0Models);
    EXPECT_EQ(headers(runInProcess({"--res", t.tree.root(), t.tree.root()}).out), t.lod0Models);
    // However the root is spelled, the models are named below it.
    for (const std::string& root : {t.tree.root() + "/", t.tree.root() + "/.", t.tree.root() + "//"}) {
        EXPECT_EQ(headers(runInProcess({"--res", root, "content"}).out), t.lod0Models) << root;
    }

    // Models named outright keep no argument order and appear once.
    const ToolRun named =
        runInProcess({"--res", t.tree.root(), t.lod0Models[2], t.lod0Models[0], t.lod0Models[2]});
    EXPECT_EQ(headers(named.out), (std::vector<std::string>{t.lod0Models[0], t.lod0Models[2]}));

    const ToolRun excluded = runInProcess(
        {"--res", t.tree.root(), "--exclude", "content/props", "--exclude", "**/stray.model", "content"});
    for (const std::string& model : headers(excluded.out)) {
        EXPECT_EQ(model.find("props"), std::string::npos) << model;
        EXPECT_EQ(model.find("stray"), std::string::npos) << model;
    }
    EXPECT_EQ(headers(excluded.out).size(), 2u) << excluded.out;

    // A missing path is named and the rest is still reported; a path outside every root is missing too.
    const ToolRun missing = runInProcess({"--res", t.tree.root(), "content/nothing", "content/fences"});
    EXPECT_EQ(missing.status, 3);
    EXPECT_NE(missing.err.find("'content/nothing' does not exist"), std::string::npos) << missing.err;
    EXPECT_EQ(headers(missing.out).size(), 1u);
    TempResourceTree elsewhere;
    elsewhere.write("a/lod0/a.model", "<root/>");
    const ToolRun outside = runInProcess({"--res", t.tree.root(), elsewhere.path("a")});
    EXPECT_EQ(outside.status, 3);
    EXPECT_NE(outside.err.find("is not inside a resource root"), std::string::npos) << outside.err;
}

TEST(ToolTree, FindsModelsThroughLinksToFilesButNeverEntersLinkedFolders) {
    TempResourceTree tree;
    tree.write("content/a/normal/lod0/a.model", "<root/>");
    tree.write("content/a/normal/lod1/a.model", "<root/>");
    tree.write("content/b/deep/er/still/normal/lod0/b.model", "<root/>");
    std::error_code linked;
    std::filesystem::create_directory_symlink(tree.path("content/a"), tree.path("content/again"), linked);
    if (!linked) {
        std::filesystem::create_symlink(tree.path("content/a/normal/lod0/a.model"),
                                        tree.path("content/alias.model"), linked);
    }
    if (linked) {
        GTEST_SKIP() << "this disk cannot hold symbolic links: " << linked.message();
    }
    const KX::Cli::Discovery found = KX::Cli::discoverModels({"content"}, {tree.root()}, {});
    EXPECT_EQ(found.models, (std::vector<std::string>{"content/a/normal/lod0/a.model", "content/alias.model",
                                                      "content/b/deep/er/still/normal/lod0/b.model"}));
    EXPECT_TRUE(found.missing.empty());
}

TEST(ToolTree, FindsEveryModelOfATreeLargerThanTheListingsKeptForTheChecks) {
    TempResourceTree tree;
    // Past the bound the walk alone holds each listing while it reads it.
    const size_t folders = FS::FileSystem::kMaxListedAhead + 64;
    std::vector<std::string> expected;
    for (size_t i = 0; i < folders; ++i) {
        expected.push_back("content/f" + std::to_string(i) + "/m.model");
        tree.write(expected.back(), "");
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(KX::Cli::discoverModels({"content"}, {tree.root()}, {}).models, expected);
}

TEST(ToolExit, StatusFollowsTheFailureLevelAndUsageErrorsNameThemselves) {
    ToolTree t;
    const std::vector<std::string> decorOnly = {"--res", t.tree.root(), "--only", "152", "content"};
    auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = decorOnly;
        args.insert(args.end(), extra.begin(), extra.end());
        return runInProcess(args);
    };
    EXPECT_EQ(with({}).status, 0); // code 152 is medium
    EXPECT_EQ(with({"--fail-on", "medium"}).status, 1);
    EXPECT_EQ(with({"--fail-on", "normal"}).status, 1);
    EXPECT_EQ(with({"--severity", "152=high"}).status, 1);
    EXPECT_EQ(with({"--ignore", "152", "--fail-on", "none"}).status, 0);

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{{"--bogus"},
                                                                                     {"--jobs", "0"},
                                                                                     {"--shard", "3/2"},
                                                                                     {"--shard", "x"},
                                                                                     {"--format", "xml"},
                                                                                     {"--severity", "152"},
                                                                                     {"--severity", "=high"},
                                                                                     {"--fail-on", "low"}}) {
        const ToolRun run = with(bad);
        EXPECT_EQ(run.status, 2) << bad[0];
        EXPECT_NE(run.err.find(bad[0]), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_NE(with({"--bogus"}).err.find("--help"), std::string::npos);
    EXPECT_EQ(runInProcess({"--res", t.tree.root()}).status, 2);
    EXPECT_EQ(runInProcess({"--res", t.tree.path("none"), "content"}).status, 3);
    EXPECT_EQ(with({"--baseline", t.tree.path("none.json")}).status, 3);
    EXPECT_EQ(runInProcess({"merge", t.tree.path("none.json")}).status, 3);
}

TEST(ToolHelp, EveryCommandListsEveryOptionOnOneScreen) {
    const std::map<std::string, std::vector<std::string>> options = {
        {"", {"--res",      "--realm",        "--config",  "--exclude",  "--ignore",         "--only",
              "--severity", "--max-findings", "--fail-on", "--baseline", "--write-baseline", "--write-logs",
              "--jobs",     "--shard",        "--verbose", "--format",   "--report-version", "--output",
              "--color",    "--version",      "merge",     "inspect",    "import-mesh",      "findings",
              "fix-tags"}},
        {"fix-tags", {"--res", "--dry-run", "MODEL"}},
        {"merge", {"REPORT", "--format", "--report-version", "--output", "--color"}},
        {"inspect", {"--res", "FILE"}},
        {"import-mesh", {"MESH.obj", "OUT.primitives"}},
        {"findings", {"Markdown"}},
    };
    for (const auto& [command, names] : options) {
        const ToolRun help = runInProcess(command.empty() ? std::vector<std::string>{"--help"}
                                                          : std::vector<std::string>{command, "--help"});
        EXPECT_EQ(help.status, 0);
        EXPECT_LE(std::count(help.out.begin(), help.out.end(), '\n'), 50) << help.out;
        for (const std::string& name : names) {
            EXPECT_NE(help.out.find(name), std::string::npos) << command << " --help lacks " << name;
        }
    }
}

TEST(ToolReport, TextEndsWithASummaryAndIsColouredOnlyWhenWanted) {
    ToolTree t;
    const std::vector<std::string> args = {"--res", t.tree.root(), "--only", "152", "content"};
    const ToolRun plain = runInProcess(args);
    EXPECT_TRUE(
        std::regex_match(lastLine(plain.out),
                         std::regex("5 models, 3 findings \\(0 high, 3 medium, 0 normal, 0 none\\), 0 known, "
                                    "0 omitted; 0 models failing at high; [0-9]+\\.[0-9]{2} s")))
        << lastLine(plain.out);
    EXPECT_EQ(plain.out.find('\033'), std::string::npos);

    auto colored = [&](std::vector<std::string> extra, bool terminal, bool noColor) {
        std::vector<std::string> all = args;
        all.insert(all.end(), extra.begin(), extra.end());
        KX::Cli::Environment environment;
        environment.stdoutIsTerminal = terminal;
        environment.noColor = noColor;
        return runInProcess(all, environment).out.find("\033[33m") != std::string::npos;
    };
    EXPECT_TRUE(colored({}, true, false));
    EXPECT_FALSE(colored({}, true, true));
    EXPECT_FALSE(colored({}, false, false));
    EXPECT_FALSE(colored({"--output", t.tree.path("report.txt")}, true, false));
    EXPECT_TRUE(colored({"--color", "always"}, false, true));
    EXPECT_FALSE(colored({"--color", "never"}, true, false));
    EXPECT_EQ(withoutTime(readDiskFile(t.tree.path("report.txt"))), withoutTime(plain.out));

    // Written to a file, the report leaves the run's status as it was.
    std::vector<std::string> toFile = args;
    toFile.insert(toFile.end(), {"--output", t.tree.path("report.txt")});
    const ToolRun written = runInProcess(toFile);
    EXPECT_EQ(written.status, plain.status);
    EXPECT_EQ(written.err, "");

    // A report that cannot be written is a failed run that names the file, not a silent loss.
    std::vector<std::string> unwritable = args;
    const std::string nowhere = t.tree.path("no-such-folder/report.txt");
    unwritable.insert(unwritable.end(), {"--output", nowhere});
    const ToolRun lost = runInProcess(unwritable);
    EXPECT_EQ(lost.status, 2);
    EXPECT_NE(lost.err.find(nowhere + ": cannot be written"), std::string::npos) << lost.err;
    EXPECT_EQ(lost.out, "");
}

TEST(ToolReport, JsonReportFollowsTheDocumentedSchema) {
    const std::string doc = readDiskFile(KX_SOURCE_DIR "/docs/report-schema.md");
    const size_t start = doc.find("```json\n");
    ASSERT_NE(start, std::string::npos);
    const json schema = parseJson(doc.substr(start + 8, doc.find("```", start + 8) - start - 8));

    ToolTree t;
    t.tree.write("model-validator.json", R"({"severity": {"152": "high"}, "maxFindingsPerModel": 1})");
    const ToolRun run =
        runInProcess({"--res", t.tree.root(), "--format", "json", "--report-version", "2", "--realm", "EU",
                      "--exclude", "**/gate*", "--ignore", "100", "content"});
    const json report = parseJson(run.out);
    EXPECT_EQ(schemaViolations(schema, report), std::vector<std::string>{});
    EXPECT_EQ(report["configuration"]["configFile"], t.tree.root() + "/model-validator.json");
    EXPECT_EQ(report["configuration"]["realm"], "EU");
    EXPECT_EQ(report["configuration"]["ignore"], json::array({100}));
    EXPECT_EQ(report["configuration"]["severity"], json({{"152", "high"}}));
    EXPECT_EQ(report["summary"]["byCode"]["152"], 2);
    EXPECT_EQ(report["summary"]["failed"], true);
    EXPECT_EQ(report["models"].size(), 4u);
    size_t findings = 0;
    for (const json& model : report["models"]) {
        EXPECT_LE(model["findings"].size(), 1u);
        findings += model["findings"].size();
    }
    EXPECT_EQ(report["summary"]["findings"], findings);

    // Version 1 stays the default: the array of findings.
    const json array = parseJson(runInProcess({"--res", t.tree.root(), "--format", "json", "content"}).out);
    ASSERT_TRUE(array.is_array());
    EXPECT_EQ(array[0].size(), 6u);
    EXPECT_TRUE(array[0].contains("model"));
}

TEST(ToolReport, SarifFollowsTheSchemaWithOneRulePerCodeAndStableFingerprints) {
    const json schema = parseJson(readDiskFile(KX_TEST_DATA_DIR "/sarif/sarif-2.1.0-subset.schema.json"));
    ToolTree t;
    const std::vector<std::string> args = {"--res", t.tree.root(), "--format", "sarif", "content"};
    const ToolRun run = runInProcess(args);
    const json sarif = parseJson(run.out);
    EXPECT_EQ(schemaViolations(schema, sarif), std::vector<std::string>{});

    const json& rules = sarif["runs"][0]["tool"]["driver"]["rules"];
    std::set<int> codes;
    for (const KX::FindingKind* kind : KX::findingCatalogue()) {
        if (kind->code != KX::kCallerCode) {
            codes.insert(kind->code);
        }
    }
    EXPECT_GE(rules.size(), codes.size());
    const json& results = sarif["runs"][0]["results"];
    ASSERT_FALSE(results.empty());
    std::set<std::string> fingerprints;
    const std::map<std::string, std::string> levels = {
        {"high", "error"}, {"medium", "warning"}, {"normal", "note"}, {"none", "none"}};
    const json findings =
        parseJson(runInProcess({"--res", t.tree.root(), "--format", "json", "content"}).out);
    ASSERT_EQ(results.size(), findings.size());
    for (size_t i = 0; i < results.size(); ++i) {
        const json& result = results[i];
        EXPECT_EQ(rules[result["ruleIndex"].get<size_t>()]["id"], result["ruleId"]);
        EXPECT_EQ(result["ruleId"], "KX" + std::to_string(findings[i]["code"].get<int>()));
        EXPECT_EQ(result["level"], levels.at(findings[i]["severity"]));
        EXPECT_EQ(result["message"]["text"], findings[i]["message"]);
        const std::string uri = result["locations"][0]["physicalLocation"]["artifactLocation"]["uri"];
        EXPECT_NE(uri.find(findings[i]["model"].get<std::string>()), std::string::npos) << uri;
        fingerprints.insert(result["partialFingerprints"]["modelFinding/v1"].get<std::string>());
    }
    EXPECT_EQ(fingerprints.size(), results.size());

    // Another run, with a model added elsewhere, keeps every fingerprint.
    t.addModel("buildings", "barn", 1024);
    const json again = parseJson(runInProcess(args).out);
    std::set<std::string> later;
    for (const json& result : again["runs"][0]["results"]) {
        later.insert(result["partialFingerprints"]["modelFinding/v1"].get<std::string>());
    }
    EXPECT_TRUE(std::includes(later.begin(), later.end(), fingerprints.begin(), fingerprints.end()));
    EXPECT_GT(later.size(), fingerprints.size());
}

TEST(ToolReport, JunitHasOneCasePerModelFailedAtTheFailureLevel) {
    ToolTree t;
    const auto junit = [&](const std::string& level) {
        return runInProcess({"--res", t.tree.root(), "--only", "152", "--format", "junit", "--fail-on", level,
                             "content"})
            .out;
    };
    const std::string high = junit("high"), medium = junit("medium");
    EXPECT_EQ(high.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites", 0), 0u) << high;
    const auto count = [](const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
            ++n;
        }
        return n;
    };
    EXPECT_EQ(count(high, "<testcase "), t.lod0Models.size());
    EXPECT_EQ(count(high, "<failure "), 0u);
    EXPECT_EQ(count(high, "<system-out>"), 3u);
    EXPECT_EQ(count(medium, "<failure message=\"1 finding at or above medium\""), 3u);
    EXPECT_NE(medium.find("tests=\"5\" failures=\"3\""), std::string::npos);
}

TEST(ToolConfig, FileSettingsApplyAndMistakesNameTheKeyAndFile) {
    ToolTree t;
    const std::string config = t.tree.write("ci/checks.json", R"({
        "roots": [".."], "only": [152, 100], "ignore": [100], "failOn": "medium",
        "exclude": ["content/fences"], "maxFindingsPerModel": 5, "severity": {"152": "normal"}})");
    const ToolRun run =
        runInProcess({"--config", config, "--format", "json", "--report-version", "2", "content"});
    EXPECT_EQ(run.status, 0) << run.err; // 152 lowered below the failure level
    const json report = parseJson(run.out);
    EXPECT_EQ(report["configuration"]["roots"], json::array({t.tree.root()}));
    EXPECT_EQ(report["summary"]["byCode"], json({{"152", 2}}));
    EXPECT_EQ(report["summary"]["bySeverity"]["normal"], 2);
    EXPECT_EQ(report["models"].size(), 4u);
    // The command line adds to the file and wins over it.
    EXPECT_EQ(runInProcess({"--config", config, "--severity", "152=medium", "content"}).status, 1);

    // The highest severities stay when a model has more findings than allowed:
    // here a medium decor finding and a normal stale bounding box.
    SceneryModel silo("props", "silo");
    silo.lod(0).decorative = 3;
    silo.lod(0).boundingBox = AABB(Vector3(-1.f, 0.f, -1.f), Vector3(1.f, 3.f, 1.f));
    silo.write(t.tree);
    const auto findingsOf = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = {"--res", t.tree.root(), "--format", "json", "--report-version", "2"};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(silo.path(0));
        return parseJson(runInProcess(args).out)["models"][0];
    };
    const json all = findingsOf({})["findings"];
    const json capped = findingsOf({"--max-findings", "1"});
    ASSERT_GT(all.size(), 1u);
    const std::map<std::string, int> rank = {{"none", 0}, {"normal", 1}, {"medium", 2}, {"high", 3}};
    int highest = 0;
    for (const json& f : all) {
        highest = std::max(highest, rank.at(f["severity"]));
    }
    ASSERT_EQ(capped["findings"].size(), 1u);
    EXPECT_EQ(rank.at(capped["findings"][0]["severity"]), highest);
    EXPECT_EQ(capped["omittedFindings"], all.size() - 1);

    const std::map<std::string, std::string> mistakes = {
        {R"({"ignores": [1]})", "unknown key 'ignores'"},
        {R"({"ignore": ["x"]})", "'ignore' must be"},
        {R"({"severity": {"152": "urgent"}})", "'severity.152' must be"},
        {R"({"severity": {"abc": "high"}})", "'severity.abc' must be"},
        {R"({"maxFindingsPerModel": -1})", "'maxFindingsPerModel' must be"},
        {R"({"failOn": 3})", "'failOn' must be"},
        {R"({"roots": "."})", "'roots' must be"},
        {R"([1])", "must hold one JSON object"},
        {R"({"only": [1)", "not valid JSON"},
    };
    for (const auto& [text, reason] : mistakes) {
        const std::string bad = t.tree.write("bad.json", text);
        const ToolRun r = runInProcess({"--config", bad, "--res", t.tree.root(), "content"});
        EXPECT_EQ(r.status, 2) << text;
        EXPECT_NE(r.err.find(bad + ": "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
    }
    EXPECT_EQ(runInProcess({"--config", t.tree.path("none.json"), "content"}).status, 2);
}

TEST(ToolBaseline, OnlyNewFindingsAreReportedAndTheRestCountAsKnown) {
    ToolTree t;
    const std::string baseline = t.tree.path("baseline.json");
    const ToolRun first =
        runInProcess({"--res", t.tree.root(), "--only", "152", "--write-baseline", baseline, "content"});
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(parseJson(readDiskFile(baseline))["summary"]["findings"], 3);

    // A new finding in a new model and one in a changed model; the others are known.
    t.addModel("buildings", "barn", 1024);
    SceneryModel hedge("props", "hedge", 3);
    hedge.lod(0).decorative = 5000;
    hedge.write(t.tree);
    const auto withBaseline = [&](const std::string& file) {
        return parseJson(runInProcess({"--res", t.tree.root(), "--only", "152", "--baseline", file,
                                       "--format", "json", "--report-version", "2", "content"})
                             .out);
    };
    const json report = withBaseline(baseline);
    EXPECT_EQ(report["summary"]["findings"], 2);
    EXPECT_EQ(report["summary"]["known"], 2);
    std::set<std::string> fresh;
    for (const json& model : report["models"]) {
        for (const json& f : model["findings"]) {
            fresh.insert(f["message"].get<std::string>());
        }
    }
    EXPECT_EQ(fresh, (std::set<std::string>{"[Wrn. 152] Invalid decor type (1024): " + t.lod0Models[0],
                                            "[Wrn. 152] Invalid decor type (5000): " + hedge.path(0)}));

    // A version 1 array serves as a baseline too.
    const std::string array = t.tree.write(
        "old.json",
        runInProcess({"--res", t.tree.root(), "--only", "152", "--format", "json", "content"}).out);
    EXPECT_EQ(withBaseline(array)["summary"]["known"], 4);
    EXPECT_EQ(
        runInProcess({"--res", t.tree.root(), "--baseline", t.tree.write("x.json", "{}"), "content"}).status,
        2);
}

TEST(ToolLogs, WriteLogsLeavesEachModelsErrorLogBesideIt) {
    ToolTree t;
    const std::string bush = "content/props/bush/normal/lod0/bush.model";
    EXPECT_EQ(runInProcess({"--res", t.tree.root(), "--only", "152", "--write-logs", "content/props"}).status,
              0);
    const std::string log = readDiskFile(t.tree.path(bush) + ".log");
    EXPECT_NE(log.find("[medium] [Wrn. 152] Invalid decor type (3): " + bush), std::string::npos) << log;
    EXPECT_FALSE(std::filesystem::exists(t.tree.path("content/fences/gate/normal/lod0/gate.model.log")));
}

TEST(ToolFixTags, RepairsNumberedRootTagsAndSaysWhatItChanged) {
    TempResourceTree tree;
    const std::string model = "content/props/1box/normal/lod0/1box.model";
    const std::string visual = "content/props/1box/normal/lod0/1box.visual";
    tree.write(model, "<1box.model>\n\t<nodelessVisual>content/props/1box/normal/lod0/1box</nodelessVisual>\n"
                      "</1box.model>\n");
    tree.write(visual, "<1box.visual>\n</1box.visual>\n");
    const std::string clean = "content/props/box/normal/lod0/box.model";
    tree.write(clean, "<box.model/>\n");

    ToolRun run = runInProcess({"fix-tags", "--res", tree.root(), "--dry-run", model, clean});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "would change " + model + "\nwould change " + visual + "\n");
    EXPECT_EQ(readDiskFile(tree.path(visual)), "<1box.visual>\n</1box.visual>\n");

    run = runInProcess({"fix-tags", "--res", tree.root(), model, clean});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "changed " + model + "\nchanged " + visual + "\n");
    EXPECT_EQ(readDiskFile(tree.path(visual)), "<props.model>\n</props.model>\n");
    EXPECT_EQ(runInProcess({"fix-tags", "--res", tree.root(), model}).out, "") << "nothing left to change";

    // A file that cannot be rewritten, a missing model or root, a usage error.
    tree.write(model, "<1box.model/>\n");
    std::filesystem::permissions(pathFromUtf8(tree.path(model)), std::filesystem::perms::owner_read);
    run = runInProcess({"fix-tags", "--res", tree.root(), model});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("is read-only"), std::string::npos) << run.err;
    EXPECT_EQ(readDiskFile(tree.path(model)), "<1box.model/>\n");
    EXPECT_EQ(runInProcess({"fix-tags", "--res", tree.root(), "content/none.model"}).status, 3);
    EXPECT_EQ(runInProcess({"fix-tags", "--res", tree.path("none"), model}).status, 3);
    EXPECT_EQ(runInProcess({"fix-tags", "--res", tree.root()}).status, 2);
}

TEST(ToolHostile, NamesThatAreNotUtf8OrVeryLongStayReadableInEveryFormat) {
    ToolTree t;
    // A texture no visual names, under a name that is not UTF-8: the
    // unused-texture finding quotes its disk path.
    const std::string stray = "content/buildings/house/\xff\xfe_AM.dds";
    writeTexture(t.tree, stray);
    const std::string model = "content/buildings/house/normal/lod0/house.model";
    for (const char* format : {"json", "sarif"}) {
        const ToolRun run = runInProcess({"--res", t.tree.root(), "--format", format, model});
        EXPECT_EQ(run.status, 0) << run.err;
        const json report = parseJson(run.out);
        EXPECT_NE(report.dump(-1, ' ', false, json::error_handler_t::strict).find("_AM.dds"),
                  std::string::npos)
            << format;
    }
    const ToolRun junit = runInProcess({"--res", t.tree.root(), "--format", "junit", model});
    EXPECT_EQ(junit.status, 0);
    EXPECT_EQ(junit.out.find('\xff'), std::string::npos) << "XML holds no bytes that are not UTF-8";

    // A 4 KB path is a missing model, not a crash.
    const std::string longPath = "content/" + std::string(4096, 'a') + ".model";
    const ToolRun missing = runInProcess({"--res", t.tree.root(), longPath});
    EXPECT_EQ(missing.status, 3);
    EXPECT_NE(missing.err.find("aaaa"), std::string::npos);
}

TEST(ToolJson, StringsAreEscapedByteForByte) {
    using KX::Cli::jsonString;
    EXPECT_EQ(jsonString(""), "\"\"");
    EXPECT_EQ(jsonString("content/a b.model ~\x7f"), "\"content/a b.model ~\x7f\"");
    EXPECT_EQ(jsonString("say \"x\" at C:\\d"), "\"say \\\"x\\\" at C:\\\\d\"");
    EXPECT_EQ(jsonString("a\nb\rc\td\x01"
                         "e\x1f"),
              "\"a\\nb\\rc\\td\\u0001e\\u001f\"");
    // Valid UTF-8 passes as it is; a byte that is not is escaped by its value.
    EXPECT_EQ(jsonString("Pr\xc3\xbc"
                         "fung \xe2\x82\xac"),
              "\"Pr\xc3\xbc"
              "fung \xe2\x82\xac\"");
    EXPECT_EQ(jsonString("x\xff\xc3y\xc3"), "\"x\\u00ff\\u00c3y\\u00c3\"");
    EXPECT_EQ(jsonString("\"\"\\"), "\"\\\"\\\"\\\\\"");
}
