#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "process.h"
#include "support/resource_tree.h"

namespace {

namespace fs = std::filesystem;

struct BenchRun {
    int status = -1;
    std::string err;
};

// Runs bench/run on `out`; what it prints to its error stream goes to `err`.
BenchRun runBench(const fs::path& out, const std::string& models, const fs::path& err,
                  const std::vector<std::string>& more = {}) {
    std::string reason;
    std::vector<std::string> args = {"--models", models, "--out", out.string()};
    args.insert(args.end(), more.begin(), more.end());
    KX::Cli::Platform::Process process =
        KX::Cli::Platform::startProcess(KX_BENCH_EXE, args, "", err.string(), reason);
    EXPECT_TRUE(process.valid()) << reason;
    BenchRun run;
    run.status = process.valid() ? KX::Cli::Platform::waitFor(process) : -1;
    run.err = readDiskFile(err.string());
    return run;
}

std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// The runner clears DIR before writing a tree: a folder the user keeps other
// things in must survive a mistyped --out, and only its own trees, finished or
// not, are replaced.
TEST(BenchRunner, ClearsOnlyATreeItWrote) {
    const fs::path base =
        fs::temp_directory_path() / ("kx-bench-test-" + std::to_string(std::random_device()()));
    const fs::path users = base / "documents";
    fs::create_directories(users);
    std::ofstream(users / "notes.txt") << "keep me";

    const BenchRun refused = runBench(users, "1", base / "refused.err");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("holds no tree written by bench/run"), std::string::npos) << refused.err;
    EXPECT_EQ(firstLine(users / "notes.txt"), "keep me");
    EXPECT_FALSE(fs::exists(users / ".kx-bench-tree"));

    // A write that was cut short left its stamp: the next run replaces it.
    const fs::path own = base / "tree";
    fs::create_directories(own / "content");
    std::ofstream(own / ".kx-bench-tree") << "incomplete\n";
    std::ofstream(own / "content" / "left-over.model") << "<root/>";
    const BenchRun replaced = runBench(own, "1", base / "replaced.err");
    EXPECT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_FALSE(fs::exists(own / "content" / "left-over.model"));
    EXPECT_EQ(firstLine(own / ".kx-bench-tree"), "models=1 version=2");

    // A folder that cannot be made (a file stands where its parent should be) is told, not written.
    std::ofstream(base / "plain-file") << "x";
    const BenchRun unwritable = runBench(base / "plain-file" / "tree", "1", base / "unwritable.err");
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_NE(unwritable.err.find("cannot write to"), std::string::npos) << unwritable.err;

    std::error_code ec;
    fs::remove_all(base, ec);
}

// Models and rounds are counted from one, and an option it does not know is
// not taken for another: each is refused before anything is written.
TEST(BenchRunner, RefusesWhatItCannotMeasure) {
    const fs::path base =
        fs::temp_directory_path() / ("kx-bench-test-" + std::to_string(std::random_device()()));
    fs::create_directories(base);
    const std::vector<std::pair<std::string, std::vector<std::string>>> refused = {
        {"0", {}}, {"1", {"--repeats", "0"}}, {"1", {"--rounds", "2"}}};
    for (const auto& [models, more] : refused) {
        const BenchRun none = runBench(base / "tree", models, base / "none.err", more);
        EXPECT_EQ(none.status, 2) << models << " models, " << testing::PrintToString(more);
        EXPECT_NE(none.err.find("[--repeats K]"), std::string::npos) << none.err;
        EXPECT_FALSE(fs::exists(base / "tree"));
    }
    const BenchRun one = runBench(base / "tree", "1", base / "one.err", {"--repeats", "1"});
    EXPECT_EQ(one.status, 0) << one.err;

    std::error_code ec;
    fs::remove_all(base, ec);
}

} // namespace
