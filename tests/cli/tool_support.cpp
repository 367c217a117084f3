#include "tool_support.h"

#include <filesystem>
#include <random>
#include <regex>
#include <sstream>

#include "process.h"

ToolRun runInProcess(const std::vector<std::string>& args, const KX::Cli::Environment& environment) {
    std::ostringstream out, err;
    const int status = KX::Cli::run(args, out, err, environment);
    return {status, out.str(), err.str()};
}

ToolRun runExecutable(const std::vector<std::string>& args) {
    namespace fs = std::filesystem;
    // ctest runs several test processes at once: each run needs its own folder.
    const fs::path folder =
        fs::temp_directory_path() / ("kx-tool-run-" + std::to_string(std::random_device()()));
    fs::create_directories(folder);
    const std::string out = (folder / "out").string(), err = (folder / "err").string();
    std::string reason;
    KX::Cli::Platform::Process process =
        KX::Cli::Platform::startProcess(KX_MODEL_VALIDATOR_EXE, args, out, err, reason);
    EXPECT_TRUE(process.valid()) << reason;
    ToolRun run;
    run.status = process.valid() ? KX::Cli::Platform::waitFor(process) : -1;
    run.out = readDiskFile(out);
    run.err = readDiskFile(err);
    fs::remove_all(folder);
    return run;
}

ToolTree::ToolTree() {
    writeEmptyRegistries(tree);
    addModel("buildings", "house", 0);
    addModel("props", "bush", 3);
    addModel("props", "hedge", 1024);
    addModel("fences", "gate", 2048);
    tree.write("content/props/bush/normal/lod0/bush.hkt.model", "<root/>");
    tree.write("content/stray.model", "<root/>");
    lod0Models.push_back("content/stray.model");
    std::sort(lod0Models.begin(), lod0Models.end());
}

std::string ToolTree::addModel(const std::string& category, const std::string& name, unsigned decor) {
    SceneryModel model(category, name, 3);
    // A material kind, so that only what a test sets up is reported.
    model.materials({sceneryMaterial("n_stone_01", 12)});
    if (decor != 0) {
        model.lod(0).decorative = decor;
    }
    model.write(tree);
    lod0Models.push_back(model.path(0));
    std::sort(lod0Models.begin(), lod0Models.end());
    return model.path(0);
}

nlohmann::json parseJson(const std::string& text) {
    try {
        return nlohmann::json::parse(text);
    } catch (const std::exception& e) {
        ADD_FAILURE() << "not JSON: " << e.what() << "\n" << text;
        return nullptr;
    }
}

std::string withoutTime(const std::string& text) {
    return std::regex_replace(text, std::regex("; [0-9]+\\.[0-9]+ s\n$"), "\n");
}
