#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/platform/utf8_path.h"
#include "harness.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> readInput(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Runs every file of fuzz/<kind>/<target>/ through its target.
size_t replay(const std::string& kind) {
    size_t inputs = 0;
    for (const FuzzHarness::Target& target : FuzzHarness::targets()) {
        const fs::path folder = pathFromUtf8(std::string(KX_FUZZ_DIR) + "/" + kind + "/" + target.name);
        std::error_code missing;
        for (fs::directory_iterator it(folder, missing), end; !missing && it != end; it.increment(missing)) {
            if (!it->is_regular_file() || it->path().filename() == "README.md") {
                continue;
            }
            SCOPED_TRACE(pathToUtf8(it->path()));
            const std::vector<uint8_t> input = readInput(it->path());
            target.run(input.data(), input.size());
            ++inputs;
        }
    }
    return inputs;
}

} // namespace

// The seeds keep every harness working between fuzzing runs; the
// regressions are inputs that once crashed, hung or leaked.
TEST(FuzzReplay, SeedsAndRegressionsRunCleanly) {
    EXPECT_GT(replay("corpus"), 0u);
    replay("regressions");
}
