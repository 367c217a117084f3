// How the number of worker processes changes the time to validate a tree:
// the bundled samples and seven copies of their content folder (120 models),
// validated by the real executable.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "process.h"

namespace {

namespace fs = std::filesystem;

const fs::path& tree() {
    static const fs::path root = [] {
        const fs::path folder = fs::temp_directory_path() / "kx-jobs-benchmark";
        fs::remove_all(folder);
        fs::copy(KX_SAMPLES_DIR, folder, fs::copy_options::recursive);
        for (int i = 1; i <= 7; ++i) {
            fs::copy(folder / "content", folder / ("copy" + std::to_string(i)), fs::copy_options::recursive);
        }
        return folder;
    }();
    return root;
}

void validateTree(benchmark::State& state) {
    const std::string jobs = std::to_string(state.range(0));
    const std::string report = (fs::temp_directory_path() / "kx-jobs-benchmark.json").string();
    const std::string root = tree().string();
    for (auto _ : state) {
        std::string reason;
        KX::Cli::Platform::Process process = KX::Cli::Platform::startProcess(
            KX_MODEL_VALIDATOR_EXE, {"--res", root, "--jobs", jobs, "--format", "json", "."}, report,
            report + ".err", reason);
        if (!process.valid()) {
            state.SkipWithError(reason.c_str());
            break;
        }
        KX::Cli::Platform::waitFor(process);
    }
}

} // namespace

BENCHMARK(validateTree)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
