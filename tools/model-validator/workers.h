#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "engine/resource/file_system.h"
#include "process.h"
#include "report.h"

namespace KX::Cli {

class ProgressBar;

// Points the engine at the resource roots (absolute) and realm.
void setUpEngine(const std::vector<std::string>& roots, const std::string& realm, bool verbose);

struct RunRequest {
    std::vector<std::string> roots; // absolute
    std::string realm;
    bool writeLogs = false;
    bool verbose = false;
    // Jobs as asked (this process and jobs - 1 workers); unset: defaultJobs
    // of the models found so far.
    std::optional<unsigned> jobs;
    unsigned processors = 1;
    std::string executable; // started as the workers; "" checks every model in this process
    bool progress = false;  // draw a progress bar on `err`
};

// The number of jobs when the command line names none: one per processor,
// but no more than the models keep busy. A worker pays for its
// start and for reading the registries and decoding the shared textures once
// more, which on a small tree costs more than another processor saves
// (docs/performance.md).
unsigned defaultJobs(size_t models, unsigned processors);

// The folder holding a model's state folders (content/houses/house01 for
// content/houses/house01/normal/lod0/house01.model); "" when the path is shorter.
std::string modelGroupOf(const std::string& model);

// Validates models while they are still being found. As soon as the models
// found keep more than one job busy, worker processes start (one fewer than
// the jobs: this process is the last job). Each model found goes at once to
// a worker with room for it, else this process checks it itself, so the
// walk that finds the models overlaps with the checks, this process uses the
// listings its walk made, and the jobs end together whatever their models
// cost. With one job this process checks every model as it is found.
// Workers are processes, not threads, since the engine's caches are shared by
// all validators of a process; and a process of one thread keeps the C and C++
// libraries on their single-thread paths, which made threads with caches of
// their own slower than processes (docs/performance.md).
class ModelRun {
  public:
    ModelRun(RunRequest request, std::ostream& err);
    ~ModelRun();
    ModelRun(const ModelRun&) = delete;
    ModelRun& operator=(const ModelRun&) = delete;

    // A model found; each model is added once.
    void add(const std::string& model);
    // Checks what is left and waits for the workers. The results come in the
    // order of the models' paths whatever the number of jobs. False (with a
    // reason) when a worker cannot start or fails.
    bool finish(std::vector<ModelReport>& results, std::string& reason);

  private:
    struct Worker {
        Platform::Process process;
        std::filesystem::path output;
        std::filesystem::path errors;
        std::vector<size_t> models; // positions in models_, in the order sent
        size_t finished = 0;        // of `models`
        size_t reported = 0;        // of `models`, whose reports are read
        std::string received;       // output not yet taken
        bool ended = false;         // its output has ended, or it said it is done
        bool saidDone = false;      // it wrote each report and ended well
        std::ifstream reports;      // `output`, read as the worker tells of each report
        std::string unreadable;     // why a report could not be read; "" while all could
        std::string listedGroup;    // the model group whose listings it was given last
        size_t unfinished() const { return models.size() - std::min(finished, models.size()); }
    };
    size_t wantedWorkers() const;
    void startWorker();
    // Hands out every model found and not yet handed out: to a worker with
    // room, else to this process, which checks it at once. `ending`: every
    // model is known.
    void handOut(bool ending);
    void checkHere(size_t model);
    // The listings this process's walk made of a model group's folders, as
    // records for the worker that takes the group, which then need not list them.
    std::string listingsFor(const std::string& group) const;
    void takeFinished(Worker& worker);
    // Takes back the last `count` models the worker was given, which it will not check.
    void takeGivenBack(Worker& worker, std::string_view count);
    // Once every model is handed out: ends the workers' input, checks here
    // the models they give back, and reads their output until each has ended.
    void shareWhatIsLeft();
    // Reads the next report of `size` bytes from the worker's output into its model's place.
    void readReport(Worker& worker, uint64_t size);
    // A model's report is a few kilobytes; a claim past this is no report.
    static constexpr uint64_t kMaxReportBytes = uint64_t(256) << 20;
    // The worker the next model goes to; null: this process.
    Worker* workerFor(const std::string& model, bool ending);
    // Ends the worker's input and waits for it; its exit status.
    int endWorker(Worker& worker);
    // Whether the worker ended well and every model it took is reported; else why not.
    bool collect(Worker& worker, int status, std::string& reason);

    RunRequest request_;
    std::ostream& err_;
    std::string currentFolder_;           // the reports' files are named from it
    std::vector<std::string> models_;     // in the order found
    std::vector<ModelReport> byPosition_; // of models_
    size_t handedOut_ = 0;
    // Where the models of the group the walk is in begin: they wait there
    // until the walk leaves the group, when all its folders are listed.
    size_t lastGroupStart_ = 0;
    std::string lastGroup_;
    std::vector<Worker> workers_;
    std::vector<size_t> givenBack_; // by the workers, to be checked here
    // Who took the last model: a worker's position, or this process (which
    // stays itself when more workers start).
    static constexpr size_t kThisProcess = SIZE_MAX;
    size_t current_ = kThisProcess;
    std::string currentGroup_;     // and that model's group
    std::filesystem::path folder_; // the workers' files
    std::string failure_;          // why a worker could not start or be fed
    std::unique_ptr<ProgressBar> progress_;
};

// A listing made ahead as a record of a worker's input, and back: a tab,
// the size of the rest (32 bits), the folder, its stamp's kind and numbers,
// the time it was listed, and the number of entries with each entry's kinds
// and name; numbers little-endian, texts after their size (32 bits).
std::string listingRecord(const FS::FileSystem::ListedAhead& listed);
// The size of the listing's record `bytes` begin with; 0 while it is not all there.
size_t listingRecordSize(std::string_view bytes);
bool readListingRecord(std::string_view record, FS::FileSystem::ListedAhead& listed);

// The line on a worker's input that asks it to give back its share, among
// `jobs` jobs, of the models it has been given and not started.
std::string giveBackLine(size_t jobs);

// The hidden `worker` command the workers run.
int runWorker(const std::vector<std::string>& args, std::ostream& err);

} // namespace KX::Cli
