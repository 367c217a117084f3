#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli.h"
#include "support/scenery_fixture.h"

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

// The tool run in this process (no workers unless `environment` names the executable).
ToolRun runInProcess(const std::vector<std::string>& args, const KX::Cli::Environment& environment = {});
// The built model-validator executable run as a real process.
ToolRun runExecutable(const std::vector<std::string>& args);

// A resource tree of scenery models: three three-LOD chains whose lod0 carry
// a known finding each (decor types 3, 1024 and 2048: code 152, medium), one
// without it, a physics companion and a stray model outside any LOD folder.
struct ToolTree {
    TempResourceTree tree;
    std::vector<std::string> lod0Models; // sorted

    ToolTree();
    // Adds content/<category>/<name> with decor type `decor` (0: none).
    std::string addModel(const std::string& category, const std::string& name, unsigned decor);
};

nlohmann::json parseJson(const std::string& text);
// The text report with the elapsed time dropped from its summary line.
std::string withoutTime(const std::string& text);
