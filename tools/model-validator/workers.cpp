#include "workers.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "discovery.h"
#include "engine/core/debug_log.h"
#include "engine/platform/utf8_path.h"
#include "engine/resource/data_section_cache.h"
#include "engine/resource/file_system.h"
#include "engine/settings/options.h"
#include "model_validator/model_validator.h"
#include "process.h"

namespace KX::Cli {

void setUpEngine(const std::vector<std::string>& roots, const std::string& realm, bool verbose) {
    DebugLog::setStderrThreshold(verbose ? DebugLog::Info : DebugLog::Critical + 1);
    FS::fileSystem()->setRoots(roots);
    DataSectionCache::instance().clear();
    ::Options::setOptionString("realm/currentRealm", realm);
}

unsigned defaultJobs(size_t models, unsigned processors) {
    // Measured with bench/run: below this many models per worker the serial run wins.
    constexpr size_t kModelsPerWorker = 200;
    const size_t busy = std::max<size_t>(1, models / kModelsPerWorker);
    return static_cast<unsigned>(std::min<size_t>(busy, std::max(1u, processors)));
}

namespace {

using Clock = std::chrono::steady_clock;

ModelReport validateOne(const std::string& model, bool writeLogs) {
    ModelValidator validator;
    ModelReport report;
    report.model = model;
    for (const ValidatorHelper::ValidationError& error : validator.check(model)) {
        report.findings.push_back(findingOf(error));
    }
    // Resolved in the pass of the check, which has listed the model's folders.
    report.file = diskFileOf(model);
    if (writeLogs) {
        validator.writeErrorLog(FS::fileSystem()->resolveFilename(model));
    }
    return report;
}

// One line on a terminal, redrawn in place.
class ProgressBar {
  public:
    ProgressBar(std::ostream& err, bool enabled, size_t total)
        : err_(err), enabled_(enabled && total > 1), total_(total), start_(Clock::now()) {}
    ~ProgressBar() {
        if (enabled_) {
            err_ << "\r\033[K" << std::flush;
        }
    }
    void advance(size_t models, size_t findings) {
        done_ += models;
        findings_ += findings;
        if (!enabled_) {
            return;
        }
        const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
        const double left =
            done_ > 0 ? elapsed * static_cast<double>(total_ - done_) / static_cast<double>(done_) : 0;
        const size_t width = 24;
        const size_t filled = total_ > 0 ? width * done_ / total_ : width;
        char line[160];
        std::snprintf(line, sizeof(line), "\r\033[K[%s%s] %zu/%zu models, %zu findings, %.0f s, ~%.0f s left",
                      std::string(filled, '#').c_str(), std::string(width - filled, '.').c_str(), done_,
                      total_, findings_, elapsed, left);
        err_ << line << std::flush;
    }

  private:
    std::ostream& err_;
    bool enabled_;
    size_t total_;
    size_t done_ = 0;
    size_t findings_ = 0;
    Clock::time_point start_;
};

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Batch {
    size_t first = 0;
    size_t count = 0;
    std::filesystem::path output;
    std::filesystem::path errors;
    Platform::Process process;
};

bool startBatch(const RunRequest& request, const std::filesystem::path& folder, size_t number, Batch& batch,
                std::string& reason) {
    const std::string stem = "batch" + std::to_string(number);
    const std::filesystem::path list = folder / (stem + ".models");
    {
        std::ofstream out(list, std::ios::binary);
        for (size_t i = batch.first; i < batch.first + batch.count; ++i) {
            out << request.models[i] << '\n';
        }
    }
    batch.output = folder / (stem + ".cbor");
    batch.errors = folder / (stem + ".err");
    std::vector<std::string> args = {"worker", "--models", pathToUtf8(list), "--output",
                                     pathToUtf8(batch.output)};
    for (const std::string& root : request.roots) {
        args.insert(args.end(), {"--res", root});
    }
    if (!request.realm.empty()) {
        args.insert(args.end(), {"--realm", request.realm});
    }
    if (request.writeLogs) {
        args.push_back("--write-logs");
    }
    if (request.verbose) {
        args.push_back("--verbose");
    }
    batch.process = Platform::startProcess(request.executable, args, "", pathToUtf8(batch.errors), reason);
    return batch.process.valid();
}

bool collectBatch(const RunRequest& request, Batch& batch, int status, std::vector<ModelReport>& results,
                  std::ostream& err, std::string& reason) {
    const std::string errors = readFile(batch.errors);
    if (request.verbose) {
        err << errors;
    }
    if (status != 0) {
        reason =
            "a worker failed (status " + std::to_string(status) + ")" + (errors.empty() ? "" : ": " + errors);
        return false;
    }
    try {
        const std::string bytes = readFile(batch.output);
        const Json models = Json::from_cbor(bytes.begin(), bytes.end());
        if (models.size() != batch.count) {
            reason = "a worker returned " + std::to_string(models.size()) + " of " +
                     std::to_string(batch.count) + " models";
            return false;
        }
        for (size_t i = 0; i < batch.count; ++i) {
            results[batch.first + i] = modelFromJson(models[i]);
        }
    } catch (const std::exception& e) {
        reason = std::string("a worker's output cannot be read: ") + e.what();
        return false;
    }
    return true;
}

size_t findingsIn(const std::vector<ModelReport>& results, const Batch& batch) {
    size_t n = 0;
    for (size_t i = batch.first; i < batch.first + batch.count; ++i) {
        n += results[i].findings.size();
    }
    return n;
}

bool validateInWorkers(const RunRequest& request, std::vector<ModelReport>& results, std::ostream& err,
                       std::string& reason) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path folder =
        fs::temp_directory_path(ec) / ("model-validator-" + std::to_string(std::random_device()()));
    fs::create_directories(folder, ec);
    if (ec) {
        reason = "cannot make a temporary folder: " + ec.message();
        return false;
    }
    // Each batch is a process that warms its own caches (registries, shared
    // textures), which costs about as much as validating a few dozen models,
    // so a worker takes one batch. Only very large runs get two per worker,
    // which evens out slow and fast models and lets the progress bar move.
    constexpr size_t kModelsForTwoBatches = 2500;
    const size_t total = request.models.size();
    const size_t jobs = request.jobs;
    const size_t batches = total >= jobs * kModelsForTwoBatches ? jobs * 2 : jobs;
    const size_t size = std::max<size_t>(1, (total + batches - 1) / batches);
    std::vector<Batch> pending;
    for (size_t first = 0; first < total; first += size) {
        pending.push_back({first, std::min(size, total - first), {}, {}, {}});
    }
    ProgressBar progress(err, request.progress, total);
    std::vector<Batch> running;
    size_t next = 0;
    bool ok = true;
    while (ok && (next < pending.size() || !running.empty())) {
        while (ok && next < pending.size() && running.size() < request.jobs) {
            Batch batch = pending[next];
            ok = startBatch(request, folder, next++, batch, reason);
            if (ok) {
                running.push_back(batch);
            }
        }
        bool progressed = false;
        for (size_t i = 0; i < running.size();) {
            int status = 0;
            if (!Platform::finished(running[i].process, status)) {
                ++i;
                continue;
            }
            ok = collectBatch(request, running[i], status, results, err, reason) && ok;
            progress.advance(running[i].count, ok ? findingsIn(results, running[i]) : 0);
            running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
            progressed = true;
        }
        if (!progressed) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    for (Batch& batch : running) {
        Platform::waitFor(batch.process);
    }
    fs::remove_all(folder, ec);
    return ok;
}

} // namespace

bool validateModels(const RunRequest& request, std::vector<ModelReport>& results, std::ostream& err,
                    std::string& reason) {
    results.assign(request.models.size(), ModelReport());
    if (request.jobs > 1 && request.models.size() > 1 && !request.executable.empty()) {
        return validateInWorkers(request, results, err, reason);
    }
    ProgressBar progress(err, request.progress, request.models.size());
    for (size_t i = 0; i < request.models.size(); ++i) {
        results[i] = validateOne(request.models[i], request.writeLogs);
        progress.advance(1, results[i].findings.size());
    }
    return true;
}

int runWorker(const std::vector<std::string>& args, std::ostream& err) {
    CLI::App app("worker");
    std::string modelsFile, outputFile, realm;
    std::vector<std::string> roots;
    bool writeLogs = false, verbose = false;
    app.add_option("--models", modelsFile)->required();
    app.add_option("--output", outputFile)->required();
    app.add_option("--res", roots);
    app.add_option("--realm", realm);
    app.add_flag("--write-logs", writeLogs);
    app.add_flag("--verbose", verbose);
    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        err << "model-validator worker: " << e.what() << "\n";
        return 2;
    }
    setUpEngine(roots, realm, verbose);
    std::ifstream list(pathFromUtf8(modelsFile), std::ios::binary);
    Json models = Json::array();
    for (std::string model; std::getline(list, model);) {
        models.push_back(modelJson(validateOne(model, writeLogs)));
    }
    // CBOR keeps every byte of a message, valid UTF-8 or not.
    const std::vector<std::uint8_t> bytes = Json::to_cbor(models);
    std::ofstream out(pathFromUtf8(outputFile), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return out ? 0 : 1;
}

} // namespace KX::Cli
