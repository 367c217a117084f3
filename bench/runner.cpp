// Validates a synthetic content tree of N models and compares the time with
// the floor (reading and parsing what the checks read), with two worker
// processes, and records peak memory. The last line printed is one JSON
// object; docs/performance.md keeps one row per N.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "content_tree.h"
#include "engine/platform/utf8_path.h"
#include "floor.h"
#include "process.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Bumped whenever the generator writes different trees, so that a tree
// written by an older generator is not reused.
constexpr int kTreeVersion = 2;

struct Options {
    int models = 0;
    std::string out;
    std::string validator = KX_MODEL_VALIDATOR_EXE;
    std::string doc;
    // Rounds of floor, one job and two jobs, taken in turn; each keeps its
    // fastest. Five, because on a shared machine a fifth of the runs of one
    // job, and a third of those of two jobs (which need both processors at
    // once), come out a fifth slower or more.
    int repeats = 5;
    bool writeTreeOnly = false; // the child that writes the tree
};

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--models" && hasValue) {
            options.models = std::atoi(argv[++i]);
        } else if (arg == "--out" && hasValue) {
            options.out = argv[++i];
        } else if (arg == "--validator" && hasValue) {
            options.validator = argv[++i];
        } else if (arg == "--write-tree") {
            options.writeTreeOnly = true;
        } else if (arg == "--doc" && hasValue) {
            options.doc = argv[++i];
        } else if (arg == "--repeats" && hasValue) {
            options.repeats = std::atoi(argv[++i]);
        } else {
            return false;
        }
    }
    return options.models > 0 && options.repeats > 0;
}

bool prepareTree(const Options& options, std::string& error) {
    const fs::path root = pathFromUtf8(options.out);
    const fs::path stamp = root / ".kx-bench-tree";
    const std::string wanted =
        "models=" + std::to_string(options.models) + " version=" + std::to_string(kTreeVersion);
    {
        std::ifstream in(stamp);
        std::string line;
        if (in && std::getline(in, line) && line == wanted) {
            std::cerr << "bench: reusing the tree in " << options.out << "\n";
            return true;
        }
    }
    std::error_code ec;
    // DIR may be a folder the user keeps other things in: only a tree this
    // runner wrote, which holds the stamp from its first file on, or an empty
    // folder is ever cleared.
    const bool occupied = fs::exists(root, ec) && !fs::exists(stamp, ec) &&
                          !(fs::is_directory(root, ec) && fs::is_empty(root, ec));
    if (occupied) {
        error =
            options.out + " is not empty and holds no tree written by bench/run; give a new or empty folder";
        return false;
    }
    fs::remove_all(root, ec);
    fs::create_directories(root, ec);
    // Marks the folder as ours before anything else is written, so that an
    // interrupted write can be replaced by the next run.
    if (ec || !(std::ofstream(stamp) << "incomplete\n")) {
        error = "cannot write to " + options.out;
        return false;
    }
    std::cerr << "bench: writing " << options.models << " models to " << options.out << "\n";
    // In a process of its own: a process started later shares this one's
    // memory until it runs its program, and the system counts that towards
    // the started process's peak, so this one must stay small.
    KX::Cli::Platform::Process writer = KX::Cli::Platform::startProcess(
        KX::Cli::Platform::currentExecutable(),
        {"--write-tree", "--models", std::to_string(options.models), "--out", options.out}, "", "", error);
    if (!writer.valid()) {
        return false;
    }
    if (KX::Cli::Platform::waitFor(writer) != 0) {
        error = "the tree could not be written";
        return false;
    }
    std::ofstream(stamp) << wanted << "\n";
    return true;
}

int writeTree(const Options& options) {
    KX::Bench::TreeShape shape;
    shape.models = options.models;
    std::string error;
    if (!KX::Bench::writeContentTree(options.out, shape, &error)) {
        std::cerr << "bench: " << error << "\n";
        return 1;
    }
    return 0;
}

struct Run {
    double seconds = 0;
    int status = 0;
    KX::Cli::Platform::ProcessUsage usage;
};

bool validate(const Options& options, int jobs, Run& run, std::string& error) {
    const std::string report = options.out + ".report.json";
    const auto start = Clock::now();
    KX::Cli::Platform::Process process =
        KX::Cli::Platform::startProcess(options.validator,
                                        {"--res", options.out, "--jobs", std::to_string(jobs), "--format",
                                         "json", "--fail-on", "none", "content"},
                                        report, report + ".err", error);
    if (!process.valid()) {
        return false;
    }
    run.status = KX::Cli::Platform::waitFor(process, run.usage);
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    // 1 only says that there are findings, as a fifth of the models have.
    if (run.status > 1) {
        error = "the validator exited with " + std::to_string(run.status) + " (see " + report + ".err)";
        return false;
    }
    return true;
}

struct FloorTime {
    double seconds = 0;
    double cpuSeconds = 0;
};

// One read of the tree as the floor reads it, in wall and in processor time.
FloorTime floorTime(const Options& options, KX::Bench::FloorRead& read) {
    const auto start = Clock::now();
    const std::clock_t cpuStart = std::clock();
    read = KX::Bench::readLikeTheChecks(options.out);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    return {seconds, cpu};
}

// How many path entries the kernel keeps (Linux), or -1 where it does not
// tell. The floor is nearly all path lookups, whose cost grows with the
// entries kept: a machine that has run builds for days keeps a hundred times
// as many as a fresh one, and its floor is a quarter to a third slower while
// the checks, nearly all user time, are a tenth slower. Runs compare only
// when their counts are alike.
long long cachedPathEntries() {
    std::ifstream in("/proc/sys/fs/dentry-state");
    long long entries = -1;
    return in >> entries ? entries : -1;
}

std::string fixed(double value, int decimals) {
    std::ostringstream out;
    out.setf(std::ios::fixed);
    out.precision(decimals);
    out << value;
    return out.str();
}

std::string machine() {
    std::string cpu = "unknown processor";
    std::ifstream in("/proc/cpuinfo");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("model name", 0) == 0 && line.find(':') != std::string::npos) {
            cpu = line.substr(line.find(':') + 2);
            break;
        }
    }
    std::string described = cpu + ", " + std::to_string(KX::Cli::Platform::processorCount()) + " processors";
    if (const long long entries = cachedPathEntries(); entries >= 0) {
        described += ", " + fixed(static_cast<double>(entries) / 1e6, 2) + " M cached path entries";
    }
    return described;
}

const char* const kDocHead =
    "# Performance\n"
    "\n"
    "Written by `bench/run --models N` (see `bench/README.md`); each run replaces the row of its N.\n"
    "A synthetic content tree of N scenery models is validated by `model-validator --jobs 1 --format json`\n"
    "in one process with a warm file cache. The floor is the least any validation must do on the same\n"
    "tree: read every file the checks read (only the header of a texture) and parse every XML file once.\n"
    "The floor, one job and two jobs run five times in turn (`--repeats`), and each keeps its fastest run.\n"
    "The ratio is the validation time over the floor; `--jobs 2` is the same validation with two worker\n"
    "processes; memory is the peak resident size of the validator in the one-process run. The machine is\n"
    "shared, so the processor time (user and system) of the one-process run and of the floor is given\n"
    "too: when other work crowds the processors, wall time grows far more than processor time.\n"
    "The floor is nearly all path lookups, whose cost grows with the path entries the kernel keeps\n"
    "(given with the machine): compare rows whose counts are alike.\n"
    "\n"
    "| N | seconds | ms per model | floor s | ratio | jobs 2 s | speed-up | peak MB | CPU s | floor CPU s "
    "| machine |\n"
    "|---|---|---|---|---|---|---|---|---|---|---|\n";

// Replaces the row of `models` in the table and keeps every other row and
// whatever follows the table (the notes written by hand).
void writeDoc(const std::string& path, int models, const std::string& row) {
    std::map<int, std::string> rows;
    std::string notes;
    bool afterTable = false;
    std::ifstream in(pathFromUtf8(path));
    for (std::string line; std::getline(in, line);) {
        if (line.size() > 2 && line[0] == '|' && std::isdigit(static_cast<unsigned char>(line[2]))) {
            rows[std::atoi(line.c_str() + 2)] = line;
            afterTable = true;
        } else if (afterTable) {
            notes += line + "\n";
        }
    }
    rows[models] = row;
    std::ofstream out(pathFromUtf8(path), std::ios::binary);
    out << kDocHead;
    for (const auto& [n, line] : rows) {
        out << line << "\n";
    }
    out << notes;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::cerr << "usage: bench/run --models N [--out DIR] [--repeats K]\n";
        return 2;
    }
    if (options.out.empty()) {
        options.out = pathToUtf8(fs::temp_directory_path() / ("kx-bench-" + std::to_string(options.models)));
    }
    if (options.writeTreeOnly) {
        return writeTree(options);
    }
    std::string error;
    if (!prepareTree(options, error)) {
        std::cerr << "bench: " << error << "\n";
        return 1;
    }
    // Warms the file cache, so that every measurement below reads from memory.
    KX::Bench::FloorRead read;
    floorTime(options, read);
    // The floor, one job and two jobs in turn, each keeping its fastest run:
    // on a shared machine a single run measures the neighbours as much as the
    // work, and taking them in turn lets none of the three have the quieter moments.
    FloorTime floorRun;
    Run one, two;
    for (int i = 0; i < options.repeats; ++i) {
        const FloorTime floorTry = floorTime(options, read);
        Run oneRun, twoRun;
        if (!validate(options, 1, oneRun, error) || !validate(options, 2, twoRun, error)) {
            std::cerr << "bench: " << error << "\n";
            return 1;
        }
        if (i == 0 || floorTry.seconds < floorRun.seconds) {
            floorRun = floorTry;
        }
        if (i == 0 || oneRun.seconds < one.seconds) {
            one = oneRun;
        }
        if (i == 0 || twoRun.seconds < two.seconds) {
            two = twoRun;
        }
    }
    const double floor = floorRun.seconds;
    const double ratio = one.seconds / floor;
    const double peakMb = static_cast<double>(one.usage.peakResidentBytes) / (1024.0 * 1024.0);
    std::cerr << "bench: floor read " << read.files << " files (" << read.bytes / 1024 << " KB), parsed "
              << read.xmlFiles << " XML files\n";
    if (!options.doc.empty()) {
        writeDoc(options.doc, options.models,
                 "| " + std::to_string(options.models) + " | " + fixed(one.seconds, 2) + " | " +
                     fixed(1000.0 * one.seconds / options.models, 2) + " | " + fixed(floor, 2) + " | " +
                     fixed(ratio, 1) + " | " + fixed(two.seconds, 2) + " | " +
                     fixed(one.seconds / two.seconds, 2) + " | " + fixed(peakMb, 0) + " | " +
                     fixed(one.usage.cpuSeconds, 2) + " | " + fixed(floorRun.cpuSeconds, 2) + " | " +
                     machine() + " |");
    }
    nlohmann::json result = {{"models", options.models},
                             {"tree", options.out},
                             {"seconds", one.seconds},
                             {"floor_seconds", floor},
                             {"ratio", ratio},
                             {"jobs2_seconds", two.seconds},
                             {"peak_rss_mb", peakMb},
                             {"cpu_seconds", one.usage.cpuSeconds},
                             {"floor_cpu_seconds", floorRun.cpuSeconds},
                             {"cached_path_entries", cachedPathEntries()}};
    std::cout << result.dump() << std::endl;
    return 0;
}
