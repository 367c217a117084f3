#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "report.h"

namespace KX::Cli {

// Points the engine at the resource roots (absolute) and realm.
void setUpEngine(const std::vector<std::string>& roots, const std::string& realm, bool verbose);

struct RunRequest {
    std::vector<std::string> roots; // absolute
    std::string realm;
    std::vector<std::string> models;
    bool writeLogs = false;
    bool verbose = false;
    unsigned jobs = 1;
    std::string executable; // started as the workers
    bool progress = false;  // draw a progress bar on `err`
};

// The number of worker processes when the command line names none: one per
// processor, but no more than the models keep busy. A worker pays for its
// start and for reading the registries and decoding the shared textures once
// more, which on a small tree costs more than another processor saves
// (docs/performance.md).
unsigned defaultJobs(size_t models, unsigned processors);

// Validates every model with a fresh validator, in `jobs` worker processes
// when there is more than one job: the engine's caches are shared by all
// validators of a process, so threads would race on them. Results come in
// the order of `request.models` whatever the number of jobs. False (with a
// reason) when a worker fails.
bool validateModels(const RunRequest& request, std::vector<ModelReport>& results, std::ostream& err,
                    std::string& reason);

// The hidden `worker` command the workers run.
int runWorker(const std::vector<std::string>& args, std::ostream& err);

} // namespace KX::Cli
