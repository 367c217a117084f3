#include "fix_tags.h"

#include <filesystem>

#include "command_line.h"
#include "engine/core/debug_log.h"

#include "engine/platform/utf8_path.h"
#include "engine/resource/file_system.h"
#include "model_validator/model_validator.h"

namespace KX::Cli {

namespace {

// Restores the resource roots the process had when the command ends.
class RootsScope {
  public:
    explicit RootsScope(const std::vector<std::string>& roots) : previous_(FS::fileSystem()->roots()) {
        FS::fileSystem()->setRoots(roots);
    }
    ~RootsScope() { FS::fileSystem()->setRoots(previous_); }
    RootsScope(const RootsScope&) = delete;
    RootsScope& operator=(const RootsScope&) = delete;

  private:
    std::vector<std::string> previous_;
};

} // namespace

int runFixTags(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CLI::App app("Renames root tags that start with a digit (such files are not XML) in each model file and "
                 "its visual file. The new tag name is the second folder of the model's path with \".model\" "
                 "appended. Files are replaced whole or not at all; read-only files are left alone.",
                 "model-validator fix-tags");
    std::vector<std::string> roots;
    std::vector<std::string> models;
    bool dryRun = false;
    app.add_option("--res", roots, "a resource root, in order (default: the current folder)")
        ->type_name("DIR")
        ->allow_extra_args(false);
    app.add_flag("--dry-run", dryRun, "print what would change, change nothing");
    app.add_option("models", models, "model files, as resource paths")->type_name("MODEL")->required();
    if (const int status = parseArguments(app, args, out, err); status >= 0) {
        return status;
    }

    if (roots.empty()) {
        roots.push_back(".");
    }
    std::vector<std::string> absoluteRoots;
    for (const std::string& root : roots) {
        std::error_code ec;
        const std::filesystem::path path = std::filesystem::absolute(pathFromUtf8(root), ec);
        if (ec || !std::filesystem::is_directory(path, ec)) {
            err << "model-validator fix-tags: resource root '" << root << "' is not a folder\n";
            return 3;
        }
        absoluteRoots.push_back(pathToUtf8(path.lexically_normal()));
    }
    const RootsScope scope(absoluteRoots);
    for (const std::string& model : models) {
        if (!FS::Utils::fileExists(model)) {
            err << "model-validator fix-tags: model '" << model << "' is not a file in the resource roots\n";
            return 3;
        }
    }

    // The lines below say what changed; the engine's log would say it again.
    DebugLog::setStderrThreshold(DebugLog::Critical);
    int status = 0;
    for (const std::string& model : models) {
        for (const ModelValidator::TagRepair& repair : ModelValidator::repairTagsName(model, dryRun)) {
            if (!repair.failure.empty()) {
                err << "model-validator fix-tags: " << repair.failure << "\n";
                status = 1;
            } else if (repair.changed) {
                out << (dryRun ? "would change " : "changed ") << repair.file << "\n";
            }
        }
    }
    DebugLog::setStderrThreshold(DebugLog::Warning);
    return status;
}

} // namespace KX::Cli
