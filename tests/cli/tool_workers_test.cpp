#include <gtest/gtest.h>

#ifdef __linux__
#include <sched.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <tuple>
#include <utility>

#include "engine/platform/file_stamp.h"
#include "process.h"
#include "tool_support.h"
#include "workers.h"

namespace {

using nlohmann::json;

std::vector<std::string> plus(std::vector<std::string> args, const std::vector<std::string>& extra) {
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

const std::vector<std::vector<std::string>> kFormats = {{"--format", "text"},
                                                        {"--format", "json"},
                                                        {"--format", "json", "--report-version", "2"},
                                                        {"--format", "sarif"},
                                                        {"--format", "junit"}};

// A real worker fed `input` at once through the channel the tool uses: its
// standard output, and the reports it wrote.
std::pair<std::string, std::string> runWorkerOn(const ToolTree& t, const std::string& input) {
    const std::string reports = t.tree.path("reports");
    std::string reason;
    KX::Cli::Platform::Process process = KX::Cli::Platform::startProcessWithChannel(
        KX_MODEL_VALIDATOR_EXE, {"worker", "--output", reports, "--res", t.tree.root()}, "", reason);
    EXPECT_TRUE(process.valid()) << reason;
    EXPECT_TRUE(KX::Cli::Platform::writeInput(process, input));
    KX::Cli::Platform::closeInput(process);
    std::string output;
    while (KX::Cli::Platform::readOutput(process, output)) {
        KX::Cli::Platform::waitForOutput({&process}, 100);
    }
    EXPECT_EQ(KX::Cli::Platform::waitFor(process), 0);
    return {output, readDiskFile(reports)};
}

} // namespace

TEST(ToolWorkers, WorkerProcessesPrintTheSerialReportByteForByte) {
    ToolTree t;
    // Enough models for batches of several models per worker; a worker
    // reads "%41" in a name as written.
    for (int i = 0; i < 16; ++i) {
        t.addModel("rocks", (i == 5 ? "rock%41_" : "rock") + std::to_string(i), i % 2 ? 1024 : 0);
    }
    const std::vector<std::string> args = {"--res", t.tree.root(), "content"};
    for (const std::vector<std::string>& format : kFormats) {
        const ToolRun serial = runExecutable(plus(plus(args, format), {"--jobs", "1"}));
        const ToolRun parallel = runExecutable(plus(plus(args, format), {"--jobs", "2"}));
        EXPECT_EQ(serial.status, 1) << serial.err;
        EXPECT_EQ(parallel.status, serial.status) << parallel.err;
        EXPECT_EQ(withoutTime(parallel.out), withoutTime(serial.out)) << format[1];
        EXPECT_EQ(parallel.err, "");
    }
    // A model named twice, and named besides its folder, is checked once, in path order.
    const std::vector<std::string> named = {
        "--res", t.tree.root(),   "--format", "json",          "--report-version",
        "2",     t.lod0Models[3], "content",  t.lod0Models[0], t.lod0Models[3]};
    EXPECT_EQ(runExecutable(plus(named, {"--jobs", "2"})).out,
              runExecutable(plus(named, {"--jobs", "1"})).out);
    // Options reach the workers: logs are written, findings filtered as in a serial run.
    const ToolRun logs = runExecutable(plus(args, {"--jobs", "2", "--write-logs", "--only", "152"}));
    EXPECT_EQ(logs.status, 0) << logs.err;
    for (const std::string& model : t.lod0Models) {
        EXPECT_TRUE(std::filesystem::exists(t.tree.path(model) + ".log")) << model;
    }
}

TEST(ToolWorkers, BundledSamplesGiveTheSameReportWithTwoJobs) {
    const std::vector<std::string> args = {
        "--res", KX_SAMPLES_DIR, "--format", "json", "--report-version", "2", "."};
    const ToolRun serial = runExecutable(plus(args, {"--jobs", "1"}));
    const ToolRun parallel = runExecutable(plus(args, {"--jobs", "2"}));
    EXPECT_FALSE(parseJson(serial.out)["models"].empty());
    EXPECT_EQ(parallel.out, serial.out);
    EXPECT_EQ(parallel.status, serial.status);
    // The samples hold realm files: a realm the workers did not get would show.
    EXPECT_EQ(runExecutable(plus(args, {"--jobs", "2", "--realm", "EU"})).out,
              runExecutable(plus(args, {"--jobs", "1", "--realm", "EU"})).out);
}

TEST(ToolShards, MergedShardReportsEqualTheUnshardedReport) {
    ToolTree t;
    for (int i = 0; i < 6; ++i) {
        t.addModel("walls", "wall" + std::to_string(i), i % 3 ? 0 : 2048);
    }
    const std::vector<std::string> args = {"--res", t.tree.root(), "--format", "json", "--report-version",
                                           "2",     "content"};
    std::vector<std::string> shards;
    std::set<std::string> firstShard;
    size_t models = 0;
    for (int i = 1; i <= 3; ++i) {
        shards.push_back(t.tree.path("shard" + std::to_string(i) + ".json"));
        const std::vector<std::string> shard = {"--shard", std::to_string(i) + "/3", "--output",
                                                shards.back()};
        runInProcess(plus(args, shard));
        const json report = parseJson(readDiskFile(shards.back()));
        EXPECT_EQ(report["configuration"]["shard"], std::to_string(i) + "/3");
        models += report["models"].size();
        for (const json& model : report["models"]) {
            if (i == 1) {
                firstShard.insert(model["model"].get<std::string>());
            }
        }
    }
    EXPECT_EQ(models, t.lod0Models.size());

    const ToolRun whole = runInProcess(args);
    const ToolRun merged = runInProcess(plus({"merge", "--format", "json", "--report-version", "2"}, shards));
    EXPECT_EQ(merged.out, whole.out);
    EXPECT_EQ(merged.status, whole.status);
    const ToolRun wholeText = runInProcess({"--res", t.tree.root(), "content"});
    EXPECT_EQ(runInProcess(plus({"merge"}, shards)).out, withoutTime(wholeText.out));
    EXPECT_EQ(runInProcess(plus({"merge", "--format", "sarif"}, shards)).out,
              runInProcess({"--res", t.tree.root(), "--format", "sarif", "content"}).out);

    // Reports that do not belong together are refused.
    const std::string other = t.tree.path("other.json");
    runInProcess(plus(args, {"--shard", "2/3", "--ignore", "152", "--output", other}));
    const std::string array =
        t.tree.write("array.json", runInProcess({"--res", t.tree.root(), "--format", "json", "content"}).out);
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {shards[0], other}, {shards[0], shards[0]}, {shards[0], shards[2]}, {shards[0], array}, {}}) {
        EXPECT_EQ(runInProcess(plus({"merge"}, bad)).status, 2) << (bad.empty() ? "" : bad.back());
    }

    // Models added elsewhere leave every model in its shard.
    for (int i = 0; i < 10; ++i) {
        t.addModel("more", "crate" + std::to_string(i), 0);
    }
    const json later = parseJson(runInProcess(plus(args, {"--shard", "1/3"})).out);
    std::set<std::string> laterFirst;
    for (const json& model : later["models"]) {
        laterFirst.insert(model["model"].get<std::string>());
    }
    EXPECT_TRUE(std::includes(laterFirst.begin(), laterFirst.end(), firstShard.begin(), firstShard.end()));
}

TEST(ToolProgress, ABarOnATerminalOnlyAndForMoreThanOneModel) {
    ToolTree t;
    KX::Cli::Environment terminal;
    terminal.stderrIsTerminal = true;
    const ToolRun many = runInProcess({"--res", t.tree.root(), "content"}, terminal);
    EXPECT_NE(many.err.find("] 5/5 models, "), std::string::npos) << many.err;
    // Models are checked as they are found (a model folder once the walk has
    // left it): the count grows until the walk ends.
    EXPECT_NE(many.err.find("/3+ models, "), std::string::npos) << many.err;
    EXPECT_EQ(many.err.substr(many.err.size() - 4), "\r\033[K");
    EXPECT_EQ(runInProcess({"--res", t.tree.root(), t.lod0Models[0]}, terminal).err, "");
    EXPECT_EQ(runInProcess({"--res", t.tree.root(), "content"}).err, "");
    // Workers tell of each model they finish, and of its findings.
    const std::string all = many.err.substr(many.err.find("] 5/5 models, "));
    const std::string counts = all.substr(0, all.find(" findings") + 9);
    terminal.executable = KX_MODEL_VALIDATOR_EXE;
    const ToolRun workers = runInProcess({"--res", t.tree.root(), "--jobs", "2", "content"}, terminal);
    EXPECT_NE(workers.err.find(counts), std::string::npos) << counts << "\n" << workers.err;
    EXPECT_EQ(withoutTime(workers.out), withoutTime(runInProcess({"--res", t.tree.root(), "content"}).out));
}

TEST(ToolWorkers, ModelsOfOneModelFolderGoToOneWorker) {
    EXPECT_EQ(KX::Cli::modelGroupOf("content/houses/house01/normal/lod0/house01.model"),
              "content/houses/house01");
    EXPECT_EQ(KX::Cli::modelGroupOf("content/houses/house01/crash/lod0/house01.model"),
              "content/houses/house01");
    EXPECT_EQ(KX::Cli::modelGroupOf("a/b/c.model"), "");
    EXPECT_EQ(KX::Cli::modelGroupOf("c.model"), "");
}

TEST(ToolWorkers, WritingToAWorkerThatHasEndedFailsWithoutEndingThisProcess) {
    std::string reason;
    // It ends at once, without reading its input.
    KX::Cli::Platform::Process process =
        KX::Cli::Platform::startProcessWithChannel(KX_MODEL_VALIDATOR_EXE, {"--version"}, "", reason);
    ASSERT_TRUE(process.valid()) << reason;
    // More than any buffer between the two holds: the write waits until the child has ended.
    EXPECT_FALSE(KX::Cli::Platform::writeInput(process, std::string(8 << 20, 'x')));
    // What it wrote before it ended is still there to read, then the end.
    std::string output;
    while (KX::Cli::Platform::readOutput(process, output)) {
        KX::Cli::Platform::waitForOutput({&process}, 100);
    }
    EXPECT_EQ(output.rfind("model-validator ", 0), 0u) << output;
    EXPECT_EQ(KX::Cli::Platform::waitFor(process), 0);
    EXPECT_EQ(process.input, -1);
    EXPECT_EQ(process.output, -1);
    EXPECT_FALSE(KX::Cli::Platform::readOutput(process, output));
}

#ifdef __linux__
TEST(ToolWorkers, StartingAWorkerLeavesThisProcessTheProcessorsItWasGiven) {
    cpu_set_t given;
    ASSERT_EQ(sched_getaffinity(0, sizeof given, &given), 0);
    // As given, and narrowed to one processor and to two, as a user's taskset would.
    std::vector<cpu_set_t> masks{given};
    cpu_set_t narrowed;
    CPU_ZERO(&narrowed);
    for (int cpu = 0; cpu < CPU_SETSIZE && CPU_COUNT(&narrowed) < 2; ++cpu) {
        if (CPU_ISSET(cpu, &given)) {
            CPU_SET(cpu, &narrowed);
            masks.push_back(narrowed);
        }
    }
    for (const cpu_set_t& mask : masks) {
        ASSERT_EQ(sched_setaffinity(0, sizeof mask, &mask), 0);
        std::string reason;
        KX::Cli::Platform::Process process =
            KX::Cli::Platform::startProcessWithChannel(KX_MODEL_VALIDATOR_EXE, {"--version"}, "", reason);
        ASSERT_TRUE(process.valid()) << reason;
        cpu_set_t after;
        ASSERT_EQ(sched_getaffinity(0, sizeof after, &after), 0);
        EXPECT_TRUE(CPU_EQUAL(&after, &mask)) << CPU_COUNT(&mask) << " processors";
        EXPECT_EQ(KX::Cli::Platform::waitFor(process), 0);
    }
    ASSERT_EQ(sched_setaffinity(0, sizeof given, &given), 0);
}

TEST(ToolWorkers, AProcessIsFoundOnTheProcessorItRunsOn) {
    cpu_set_t given;
    ASSERT_EQ(sched_getaffinity(0, sizeof given, &given), 0);
    // Held on each processor it may use in turn, this process is found there.
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (!CPU_ISSET(cpu, &given)) {
            continue;
        }
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
        EXPECT_EQ(KX::Cli::Platform::processorOf(getpid()), cpu);
    }
    ASSERT_EQ(sched_setaffinity(0, sizeof given, &given), 0);
    // A process that is not there is on none.
    EXPECT_EQ(KX::Cli::Platform::processorOf(-1), -1);
    EXPECT_EQ(KX::Cli::Platform::processorOf(0x7fffffff), -1);
}

TEST(ToolWorkers, TheProcessorIsReadFromTheStatusLineAfterTheName) {
    using KX::Cli::Platform::processorInStatusLine;
    // 35 fields between the state and the processor, as Linux writes them.
    const auto line = [](const std::string& name, const std::string& processor) {
        std::string fields;
        for (int i = 0; i < 35; ++i) {
            fields += " 0";
        }
        return "4242 (" + name + ") S" + fields + " " + processor + " 0 0\n";
    };
    EXPECT_EQ(processorInStatusLine(line("model-validator", "1")), 1);
    EXPECT_EQ(processorInStatusLine(line("a) b (c) d", "17")), 17);
    // A line cut short, a field that is not a number, no name at all.
    EXPECT_EQ(processorInStatusLine(line("x", "1").substr(0, 60)), -1);
    EXPECT_EQ(processorInStatusLine(line("x", "cpu")), -1);
    EXPECT_EQ(processorInStatusLine(line("x", "")), -1);
    EXPECT_EQ(processorInStatusLine("4242 model-validator S 0 0"), -1);
    EXPECT_EQ(processorInStatusLine(""), -1);
}

TEST(ToolWorkers, TheToolStepsToAnotherProcessorAndMayRunOnAllAgain) {
    cpu_set_t given;
    ASSERT_EQ(sched_getaffinity(0, sizeof given, &given), 0);
    if (CPU_COUNT(&given) < 2) {
        GTEST_SKIP() << "one processor";
    }
    // Back and forth between processors: every step leaves the one it ran on.
    for (int step = 0; step < 4; ++step) {
        const int left = KX::Cli::Platform::stepToAnotherProcessor();
        ASSERT_GE(left, 0);
        EXPECT_TRUE(CPU_ISSET(left, &given));
        EXPECT_NE(sched_getcpu(), left);
        cpu_set_t after;
        ASSERT_EQ(sched_getaffinity(0, sizeof after, &after), 0);
        EXPECT_TRUE(CPU_EQUAL(&after, &given));
    }
    // Alone on one processor, it stays.
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    EXPECT_EQ(KX::Cli::Platform::stepToAnotherProcessor(), -1);
    ASSERT_EQ(sched_setaffinity(0, sizeof given, &given), 0);
}
#endif

TEST(ToolWorkers, AListingReachesAWorkerWhateverItsNames) {
    FS::FileSystem::ListedAhead listed;
    listed.folder = "/tree/a b/100%\tx";
    listed.stamp = {FileStamp::Folder, 2049, 1234567, 4096, -5, 1700000000123456789};
    listed.readNs = 1700000000987654321;
    auto disk = std::make_shared<FS::FileSystem::DiskListing>();
    disk->entries = {{"lod0", false, true, false},
                     {"new\nline.model", false, false, true},
                     {"link\x01%41", true, true, false},
                     {"\xc3\xa9t\x7f\r", true, false, true}};
    listed.disk = disk;
    const std::string record = KX::Cli::listingRecord(listed);
    EXPECT_EQ(record[0], '\t');
    FS::FileSystem::ListedAhead read;
    // Whole once its last byte has come, whatever comes after it.
    for (size_t size = 0; size < record.size(); ++size) {
        EXPECT_EQ(KX::Cli::listingRecordSize(record.substr(0, size)), 0u) << size;
        EXPECT_FALSE(KX::Cli::readListingRecord(record.substr(0, size), read)) << size;
    }
    EXPECT_EQ(KX::Cli::listingRecordSize(record + "content/a.model\n"), record.size());

    ASSERT_TRUE(KX::Cli::readListingRecord(record, read));
    EXPECT_EQ(read.folder, listed.folder);
    EXPECT_EQ(read.stamp, listed.stamp);
    EXPECT_EQ(read.readNs, listed.readNs);
    ASSERT_EQ(read.disk->entries.size(), disk->entries.size());
    for (size_t i = 0; i < disk->entries.size(); ++i) {
        const FS::FileSystem::DirectoryEntry& a = read.disk->entries[i];
        const FS::FileSystem::DirectoryEntry& b = disk->entries[i];
        EXPECT_EQ(a.name, b.name);
        EXPECT_EQ(std::make_tuple(a.isLink, a.isFolder, a.isFile),
                  std::make_tuple(b.isLink, b.isFolder, b.isFile));
    }
    // Anything else is no listing, and nothing of it is believed: another
    // mark, a byte too many, a kind of stamp or of entry that does not
    // exist, fewer or more entries than the bytes hold, an entry without a
    // name.
    const size_t type = 1 + 4 + 4 + listed.folder.size(), count = type + 1 + 6 * 8, kinds = count + 4;
    const auto changed = [&](size_t at, char byte) {
        std::string bad = record;
        bad[at] = byte;
        return bad;
    };
    for (const std::string& bad : {changed(0, 'x'), record + 'x', changed(type, 4), changed(kinds, 8),
                                   changed(count, 3), changed(count + 3, 1)}) {
        EXPECT_FALSE(KX::Cli::readListingRecord(bad, read));
    }
    disk->entries = {{"", false, false, true}};
    EXPECT_FALSE(KX::Cli::readListingRecord(KX::Cli::listingRecord(listed), read));
    disk->entries.clear();
    ASSERT_TRUE(KX::Cli::readListingRecord(KX::Cli::listingRecord(listed), read));
    EXPECT_TRUE(read.disk->entries.empty());
}

TEST(ToolWorkers, AReportRecordKeepsEveryByteAndRefusesWhatIsNotOne) {
    KX::Cli::ModelReport report;
    report.model = "content/a b/100%.model";
    report.file = "/tree/content/a b/100%.model";
    report.omitted = 3;
    report.known = 70000000000;
    report.findings = {{1234, KX::Cli::Severity::High, "CheckLods", "Check LODs", "[H 1234] bad\n\t\xff\x01"},
                       {-7, KX::Cli::Severity::None, "", "", ""}};
    const std::string record = KX::Cli::modelRecord(report);
    KX::Cli::ModelReport read;
    ASSERT_TRUE(KX::Cli::modelFromRecord(record, read));
    EXPECT_EQ(read.model, report.model);
    EXPECT_EQ(read.file, report.file);
    EXPECT_EQ(std::make_pair(read.omitted, read.known), std::make_pair(report.omitted, report.known));
    ASSERT_EQ(read.findings.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const KX::Cli::Finding& a = read.findings[i];
        const KX::Cli::Finding& b = report.findings[i];
        EXPECT_EQ(std::tie(a.code, a.severity, a.title, a.category, a.message),
                  std::tie(b.code, b.severity, b.title, b.category, b.message));
    }
    // A record cut short, one with a byte too many, and one whose severity is none of the four.
    for (size_t size = 0; size < record.size(); ++size) {
        EXPECT_FALSE(KX::Cli::modelFromRecord(record.substr(0, size), read)) << size;
    }
    EXPECT_FALSE(KX::Cli::modelFromRecord(record + '\0', read));
    std::string badSeverity =
        KX::Cli::modelRecord({"m", "f", {{1, KX::Cli::Severity::Normal, "", "", ""}}, 0, 0});
    ASSERT_TRUE(KX::Cli::modelFromRecord(badSeverity, read));
    badSeverity[2 * 4 + 2 + 2 * 8 + 4 + 4] = 4;
    EXPECT_FALSE(KX::Cli::modelFromRecord(badSeverity, read));
}

TEST(ToolWorkers, AWorkerThatCannotStartIsNamed) {
    ToolTree t;
    KX::Cli::Environment broken;
    broken.executable = t.tree.path("no-such-tool");
    const ToolRun run = runInProcess({"--res", t.tree.root(), "--jobs", "2", "content"}, broken);
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find("cannot start " + broken.executable), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
}

#ifndef _WIN32
TEST(ToolWorkers, TheWorkersFilesGoWithTheRun) {
    ToolTree t;
    KX::Cli::Environment environment;
    environment.executable = KX_MODEL_VALIDATOR_EXE;
    const std::string temporary = t.tree.path("tmp");
    std::filesystem::create_directories(temporary);
    const char* const before = std::getenv("TMPDIR");
    const std::string saved = before ? before : "";
    setenv("TMPDIR", temporary.c_str(), 1);
    const ToolRun run = runInProcess({"--res", t.tree.root(), "--jobs", "2", "content"}, environment);
    before ? setenv("TMPDIR", saved.c_str(), 1) : unsetenv("TMPDIR");
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_TRUE(std::filesystem::is_empty(temporary));
}

TEST(ToolWorkers, WorkersThatEndWithoutTheirModelsFailTheRunWithTheirStatus) {
    ToolTree t;
    for (int i = 0; i < 40; ++i) {
        t.addModel("rocks", "rock" + std::to_string(i), 0);
    }
    KX::Cli::Environment dying;
    // Takes two models, tells of one, and ends.
    dying.executable = t.tree.write("dying-worker", "#!/bin/sh\nread a; read b; echo 0; exit 4\n");
    std::filesystem::permissions(dying.executable, std::filesystem::perms::owner_all);
    const ToolRun run = runInProcess({"--res", t.tree.root(), "--jobs", "2", "content"}, dying);
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find("a worker failed (status 4)"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    // One that ends well but early has only its silence to show.
    t.tree.write("dying-worker", "#!/bin/sh\nread a\nexit 0\n");
    const ToolRun quiet = runInProcess({"--res", t.tree.root(), "--jobs", "2", "content"}, dying);
    EXPECT_EQ(quiet.status, 3);
    EXPECT_NE(quiet.err.find("model-validator: a worker stopped taking models\n"), std::string::npos)
        << quiet.err;
    // One that takes them all but tells of no report.
    t.tree.write("dying-worker", "#!/bin/sh\nwhile read m; do echo 0; done\n");
    const ToolRun empty = runInProcess({"--res", t.tree.root(), "--jobs", "2", "content"}, dying);
    EXPECT_EQ(empty.status, 3);
    const size_t returned = empty.err.find("model-validator: a worker returned 0 of ");
    EXPECT_NE(returned, std::string::npos) << empty.err;
    EXPECT_NE(empty.err.find(" models\n", returned), std::string::npos) << empty.err;
    // One that tells of reports it did not write, or wrote as no record.
    t.tree.write("dying-worker", "#!/bin/sh\nwhile read m; do echo 0 5; done\n");
    const ToolRun missing = runInProcess({"--res", t.tree.root(), "--jobs", "2", "content"}, dying);
    EXPECT_EQ(missing.status, 3);
    EXPECT_NE(missing.err.find("a worker's output cannot be read: a report of 5 bytes is not there"),
              std::string::npos)
        << missing.err;
    t.tree.write("dying-worker",
                 "#!/bin/sh\nwhile read m; do printf '\\377\\377' >> \"$3\"; echo 0 2; done\n");
    const ToolRun garbled = runInProcess({"--res", t.tree.root(), "--jobs", "2", "content"}, dying);
    EXPECT_EQ(garbled.status, 3);
    EXPECT_NE(
        garbled.err.find("a worker's output cannot be read: a model's report (2 bytes) is no whole record"),
        std::string::npos)
        << garbled.err;
    EXPECT_EQ(garbled.err.find("a report of"), std::string::npos) << garbled.err;
}
TEST(ToolWorkers, ModelsAWorkerGivesBackAreCheckedByTheTool) {
    ToolTree t;
    for (int i = 0; i < 16; ++i) {
        t.addModel("rocks", "rock" + std::to_string(i), i % 2 ? 1024 : 0);
    }
    // Checks nothing, and when asked gives back more than it holds and is done.
    KX::Cli::Environment idle;
    idle.executable = t.tree.write("idle-worker", "#!/bin/sh\nask=$(printf '\\005')\nwhile IFS= read -r "
                                                  "line; do case \"$line\" in \"$ask\"*) echo -99; echo "
                                                  "done;; esac; done\n");
    std::filesystem::permissions(idle.executable, std::filesystem::perms::owner_all);
    const std::vector<std::string> args = {"--res", t.tree.root(), "--format", "json", "content"};
    const ToolRun run = runInProcess(plus(args, {"--jobs", "2"}), idle);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(withoutTime(run.out), withoutTime(runInProcess(args).out));
}

TEST(ToolWorkers, AWorkerIsGivenTheWalksListingsOfItsModelFoldersBeforeTheirModels) {
    ToolTree t;
    for (int i = 0; i < 12; ++i) {
        t.addModel("rocks", "rock" + std::to_string(i), 0);
    }
    // A worker whose input is kept on its way, through a pipe rather than the tool's socket.
    const std::string given = t.tree.path("given");
    KX::Cli::Environment recording;
    recording.executable = t.tree.write("recording-worker", "#!/bin/sh\ntee '" + given + "' | '" +
                                                                KX_MODEL_VALIDATOR_EXE + "' \"$@\"\n");
    std::filesystem::permissions(recording.executable, std::filesystem::perms::owner_all);
    // Not the whole of content: a model lying in content itself has its
    // folder walked by its checks, which takes the listings for this process.
    const std::vector<std::string> args = {"--res", t.tree.root(), "--format", "json", "content/rocks"};
    const ToolRun run = runInProcess(plus(args, {"--jobs", "2"}), recording);
    const ToolRun serial = runInProcess(args);
    EXPECT_EQ(run.status, serial.status) << run.err;
    EXPECT_EQ(withoutTime(run.out), withoutTime(serial.out));

    const std::string input = readDiskFile(given);
    std::set<std::string> listed;
    size_t models = 0;
    for (std::string_view rest = input; !rest.empty();) {
        if (rest[0] == '\t') {
            const size_t size = KX::Cli::listingRecordSize(rest);
            FS::FileSystem::ListedAhead listing;
            ASSERT_TRUE(KX::Cli::readListingRecord(rest.substr(0, size), listing));
            listed.insert(listing.folder);
            rest.remove_prefix(size);
            continue;
        }
        const std::string line(rest.substr(0, rest.find('\n') + 1));
        rest.remove_prefix(line.size());
        if (line == KX::Cli::giveBackLine(2)) {
            continue;
        }
        // The model folder, its state folder and its LOD folder came first.
        const std::string folder = KX::Cli::modelGroupOf(line.substr(0, line.size() - 1));
        for (const std::string& below :
             {std::string(), std::string("/normal"), std::string("/normal/lod0")}) {
            EXPECT_EQ(listed.count(t.tree.path(folder + below)), 1u) << line << below;
        }
        ++models;
    }
    EXPECT_GT(models, 0u);
}
#endif

TEST(ToolWorkers, AWorkerGivesBackItsShareOfTheModelsItHasNotStarted) {
    ToolTree t;
    const std::vector<std::string>& models = t.lod0Models;
    ASSERT_EQ(models.size(), 5u);
    // Read at once: the first request finds no model waiting; the second
    // finds five but no other job; the third finds five and, among three
    // jobs, gives back one: the last, with the listing that came for it.
    std::string input = KX::Cli::giveBackLine(2);
    FS::FileSystem::ListedAhead elsewhere;
    elsewhere.folder = "/elsewhere";
    elsewhere.disk = std::make_shared<FS::FileSystem::DiskListing>();
    for (size_t i = 0; i < models.size(); ++i) {
        input += (i == 4 ? KX::Cli::listingRecord(elsewhere) : "") + models[i] + "\n";
    }
    input += KX::Cli::giveBackLine(1) + KX::Cli::giveBackLine(3);
    const auto expectAnswers = [&](const std::string& output, const std::string& records) {
        std::istringstream lines(output);
        std::string line;
        for (const char* answer : {"-0", "-0", "-1"}) {
            ASSERT_TRUE(std::getline(lines, line)) << output;
            EXPECT_EQ(line, answer);
        }
        size_t at = 0;
        for (size_t i = 0; i < 4; ++i) {
            ASSERT_TRUE(std::getline(lines, line)) << output;
            const uint64_t size = std::stoull(line.substr(line.find(' ') + 1));
            KX::Cli::ModelReport report;
            ASSERT_TRUE(KX::Cli::modelFromRecord(std::string_view(records).substr(at, size), report));
            EXPECT_EQ(report.model, models[i]);
            at += size;
        }
        EXPECT_EQ(at, records.size());
        ASSERT_TRUE(std::getline(lines, line)) << output;
        EXPECT_EQ(line, "done");
        EXPECT_FALSE(std::getline(lines, line));
    };
    // Through the channel the tool uses.
    const auto [output, records] = runWorkerOn(t, input);
    expectAnswers(output, records);
#ifndef _WIN32
    // From a file, which is no socket.
    const std::string given = t.tree.write("given", input);
    const std::string answers = t.tree.path("answers");
    const std::string reports = t.tree.path("reports");
    std::string reason;
    KX::Cli::Platform::Process fromFile =
        KX::Cli::Platform::startProcess("/bin/sh",
                                        {"-c", std::string(KX_MODEL_VALIDATOR_EXE) + " worker --output " +
                                                   reports + " --res " + t.tree.root() + " < " + given},
                                        answers, "", reason);
    ASSERT_TRUE(fromFile.valid()) << reason;
    EXPECT_EQ(KX::Cli::Platform::waitFor(fromFile), 0);
    expectAnswers(readDiskFile(answers), readDiskFile(reports));
#endif
}

#ifdef __linux__
TEST(ToolWorkers, AStandardInputThatCannotBeReadEndsAWorkersInput) {
    // With nothing open as standard input, reading fails at once rather
    // than being tried again forever.
    const int kept = dup(STDIN_FILENO);
    ASSERT_GE(kept, 0);
    close(STDIN_FILENO);
    std::string into;
    const bool waited = KX::Cli::Platform::readInput(into, true);
    const bool looked = KX::Cli::Platform::readInput(into, false);
    dup2(kept, STDIN_FILENO);
    close(kept);
    EXPECT_FALSE(waited);
    EXPECT_FALSE(looked);
    EXPECT_TRUE(into.empty());
}
#endif

TEST(ToolWorkers, AWorkerChecksWithTheListingsItIsGiven) {
    ToolTree t;
    const std::string model = "content/buildings/house/normal/lod0/house.model";
    const std::string folder = t.tree.path("content/buildings/house/normal/lod0");
    // The model's folder as if its visual were gone, and with a name that
    // ends as a line does; listed long after the folder last changed, so
    // its stamp proves it.
    FS::FileSystem::ListedAhead listed;
    listed.folder = folder;
    listed.stamp = fileStamp(folder);
    listed.readNs = listed.stamp.modifiedNs + 3600'000'000'000;
    auto disk = std::make_shared<FS::FileSystem::DiskListing>();
    for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename() != "house.visual") {
            disk->entries.push_back(
                {entry.path().filename().string(), false, entry.is_directory(), entry.is_regular_file()});
        }
    }
    disk->entries.push_back({"notes\n", false, false, true});
    listed.disk = disk;
    const auto findingsOf = [&](const std::string& input) {
        KX::Cli::ModelReport report;
        EXPECT_TRUE(KX::Cli::modelFromRecord(runWorkerOn(t, input).second, report));
        std::vector<std::string> messages;
        for (const KX::Cli::Finding& finding : report.findings) {
            messages.push_back(finding.message);
        }
        return messages;
    };
    const std::vector<std::string> own = findingsOf(model + "\n");
    const std::vector<std::string> given = findingsOf(KX::Cli::listingRecord(listed) + model + "\n");
    EXPECT_GT(given.size(), own.size());
    EXPECT_TRUE(std::any_of(given.begin(), given.end(), [](const std::string& message) {
        return message.find("can't find .visual file") != std::string::npos;
    })) << testing::PrintToString(given);
}

TEST(ToolWorkers, TheDefaultStartsNoMoreWorkersThanTheModelsKeepBusy) {
    // A small tree runs in this process; a large one uses every processor, never more.
    EXPECT_EQ(KX::Cli::defaultJobs(0, 8), 1u);
    EXPECT_EQ(KX::Cli::defaultJobs(399, 2), 1u);
    EXPECT_EQ(KX::Cli::defaultJobs(400, 2), 2u);
    EXPECT_EQ(KX::Cli::defaultJobs(100000, 4), 4u);
    EXPECT_EQ(KX::Cli::defaultJobs(100000, 0), 1u);
}
