#include "workers.h"

#include <CLI/CLI.hpp>
#include <array>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <thread>

#include "discovery.h"
#include "engine/core/debug_log.h"
#include "engine/geometry/byte_io.h"
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

using Clock = std::chrono::steady_clock;

namespace {

ModelReport validateOne(const std::string& model, bool writeLogs, const std::string& currentFolder) {
    ModelValidator validator;
    ModelReport report;
    report.model = model;
    for (const ValidatorHelper::ValidationError& error : validator.check(model)) {
        report.findings.push_back(findingOf(error));
    }
    // Resolved in the pass of the check, which has listed the model's folders.
    report.file = diskFileOf(model, currentFolder);
    if (writeLogs) {
        validator.writeErrorLog(FS::fileSystem()->resolveFilename(model));
    }
    return report;
}

} // namespace

// One line on a terminal, redrawn in place. While the walk still finds
// models the count of models known so far ends in "+".
class ProgressBar {
  public:
    ProgressBar(std::ostream& err, bool enabled) : err_(err), enabled_(enabled), start_(Clock::now()) {}
    ~ProgressBar() {
        if (drawn_) {
            err_ << "\r\033[K" << std::flush;
        }
    }
    void setTotal(size_t total, bool walkEnded) {
        total_ = total;
        walkEnded_ = walkEnded;
        if (walkEnded) {
            draw();
        }
    }
    void advance(size_t models, size_t findings) {
        done_ += models;
        findings_ += findings;
        draw();
    }

  private:
    void draw() {
        // A single model needs no bar.
        if (!enabled_ || total_ < 2) {
            return;
        }
        drawn_ = true;
        const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
        const double left =
            done_ > 0 ? elapsed * static_cast<double>(total_ - done_) / static_cast<double>(done_) : 0;
        const size_t width = 24;
        const size_t filled = width * std::min(done_, total_) / total_;
        char line[160];
        std::snprintf(line, sizeof(line),
                      "\r\033[K[%s%s] %zu/%zu%s models, %zu findings, %.0f s, ~%.0f s left",
                      std::string(filled, '#').c_str(), std::string(width - filled, '.').c_str(), done_,
                      total_, walkEnded_ ? "" : "+", findings_, elapsed, left);
        err_ << line << std::flush;
    }

    std::ostream& err_;
    bool enabled_;
    bool drawn_ = false;
    bool walkEnded_ = false;
    size_t total_ = 0;
    size_t done_ = 0;
    size_t findings_ = 0;
    Clock::time_point start_;
};

namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// How many models a worker holds that it has not finished: enough that it
// does not wait for the next while this process walks or waits for a
// processor, few enough (some 3 ms of checks) that the workers end together
// however the cost of their models differs.
constexpr size_t kModelsAhead = 6;

// Why a run failed when a worker ended before its models, unless its status says more.
constexpr const char* kWorkerStopped = "a worker stopped taking models";

// Begins a listing's record on a worker's input, before the size of the rest.
constexpr char kListingMark = '\t';
constexpr size_t kListingHead = 1 + 4;
// Begins the line that asks a worker to give back models, before the number
// of jobs. No model's line begins with a control byte: its name's are escaped.
constexpr char kGiveBack = '\x05';
// The worker's answer, among its lines that tell of models finished: this
// mark and how many of the last models it was given it will not check.
constexpr char kGivenBack = '-';
// The worker's last line, once each report is written and its output
// closed: what is left of its process is its own end.
constexpr std::string_view kDone = "done";

// A model's line on a worker's input stays one line of text whatever bytes
// its name holds: control bytes and the escape itself are written as %XX.
constexpr std::array<bool, 256> kEscaped = [] {
    std::array<bool, 256> escaped{};
    for (size_t byte = 0; byte < escaped.size(); ++byte) {
        escaped[byte] = byte < 0x20 || byte == 0x7F || byte == '%';
    }
    return escaped;
}();

// `text` with every byte kEscaped names written as %XX; names seldom hold
// one, so runs of plain bytes go at once.
std::string escaped(std::string_view text) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string out;
    for (auto run = text.begin(); run != text.end();) {
        auto special = run;
        while (special != text.end() && !kEscaped[static_cast<unsigned char>(*special)]) {
            ++special;
        }
        out.append(run, special);
        if (special == text.end()) {
            break;
        }
        const auto byte = static_cast<unsigned char>(*special);
        out += '%';
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
        run = special + 1;
    }
    return out;
}

bool unescaped(std::string_view text, std::string& out) {
    const auto hex = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    };
    out.clear();
    for (size_t at = 0;;) {
        const size_t percent = text.find('%', at);
        out.append(
            text.substr(at, percent == std::string_view::npos ? std::string_view::npos : percent - at));
        if (percent == std::string_view::npos) {
            return true;
        }
        if (percent + 2 >= text.size() || hex(text[percent + 1]) < 0 || hex(text[percent + 2]) < 0) {
            return false;
        }
        out += static_cast<char>(hex(text[percent + 1]) * 16 + hex(text[percent + 2]));
        at = percent + 3;
    }
}

} // namespace

std::string listingRecord(const FS::FileSystem::ListedAhead& listed) {
    const FileStamp& stamp = listed.stamp;
    ByteIO::Writer out;
    out.buffer().reserve(kListingHead + 64 + listed.folder.size() + 24 * listed.disk->entries.size());
    out.u8(static_cast<uint8_t>(kListingMark));
    out.u32(0); // the size of the rest, known at the end
    out.text(listed.folder);
    out.u8(static_cast<uint8_t>(stamp.type));
    for (const uint64_t number :
         {stamp.device, stamp.identity, stamp.size, static_cast<uint64_t>(stamp.modifiedNs),
          static_cast<uint64_t>(stamp.changedNs), static_cast<uint64_t>(listed.readNs)}) {
        out.u64(number);
    }
    out.u32(static_cast<uint32_t>(listed.disk->entries.size()));
    for (const FS::FileSystem::DirectoryEntry& entry : listed.disk->entries) {
        out.u8(
            static_cast<uint8_t>((entry.isLink ? 1 : 0) + (entry.isFolder ? 2 : 0) + (entry.isFile ? 4 : 0)));
        out.text(entry.name);
    }
    out.patchU32(1, static_cast<uint32_t>(out.size() - kListingHead));
    return std::string(out.buffer().begin(), out.buffer().end());
}

size_t listingRecordSize(std::string_view bytes) {
    if (bytes.size() < kListingHead) {
        return 0;
    }
    const size_t size = kListingHead + ByteIO::u32At(bytes.data() + 1);
    return bytes.size() >= size ? size : 0;
}

bool readListingRecord(std::string_view record, FS::FileSystem::ListedAhead& listed) {
    ByteIO::Reader in(record);
    if (in.u8() != static_cast<uint8_t>(kListingMark)) {
        return false;
    }
    if (const uint32_t size = in.u32(); in.failed() || size != in.remaining()) {
        return false;
    }
    listed.folder.assign(in.text());
    const uint8_t type = in.u8();
    FileStamp& stamp = listed.stamp;
    stamp.type = static_cast<FileStamp::Type>(std::min<uint8_t>(type, FileStamp::Other));
    stamp.device = in.u64();
    stamp.identity = in.u64();
    stamp.size = in.u64();
    stamp.modifiedNs = static_cast<int64_t>(in.u64());
    stamp.changedNs = static_cast<int64_t>(in.u64());
    listed.readNs = static_cast<int64_t>(in.u64());
    const uint32_t count = in.u32();
    // Each entry takes at least 6 bytes: a count larger than the rest allows is no record.
    if (in.failed() || type > FileStamp::Other || count > in.remaining() / 6) {
        return false;
    }
    auto disk = std::make_shared<FS::FileSystem::DiskListing>();
    disk->entries.resize(count);
    for (FS::FileSystem::DirectoryEntry& entry : disk->entries) {
        const uint8_t kinds = in.u8();
        entry.name.assign(in.text());
        if (kinds > 7 || entry.name.empty()) {
            return false;
        }
        entry.isLink = (kinds & 1) != 0;
        entry.isFolder = (kinds & 2) != 0;
        entry.isFile = (kinds & 4) != 0;
    }
    if (in.failed() || in.remaining() != 0) {
        return false;
    }
    listed.disk = std::move(disk);
    return true;
}

std::string giveBackLine(size_t jobs) {
    return kGiveBack + std::to_string(jobs) + "\n";
}

std::string modelGroupOf(const std::string& model) {
    // name.model in lodN in a state folder (normal, crash) in the model's folder.
    size_t end = model.size();
    for (int up = 0; up < 3 && end != std::string::npos && end > 0; ++up) {
        end = model.rfind('/', end - 1);
    }
    return end == std::string::npos ? std::string() : model.substr(0, end);
}

ModelRun::ModelRun(RunRequest request, std::ostream& err)
    : request_(std::move(request)), err_(err), currentFolder_(currentFolderOfReports()),
      progress_(std::make_unique<ProgressBar>(err, request_.progress)) {}

ModelRun::~ModelRun() {
    for (Worker& worker : workers_) {
        endWorker(worker);
    }
    if (!folder_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
}

size_t ModelRun::wantedWorkers() const {
    if (request_.executable.empty() || models_.size() < 2) {
        return 0;
    }
    // This process is one of the jobs: it checks models too, with the
    // listings its walk made.
    const unsigned jobs = request_.jobs ? *request_.jobs : defaultJobs(models_.size(), request_.processors);
    return jobs > 1 ? jobs - 1 : 0;
}

void ModelRun::add(const std::string& model) {
    models_.push_back(model);
    byPosition_.emplace_back();
    if (std::string group = modelGroupOf(model); group.empty()) {
        // A model outside the usual folders has no listings to wait for.
        lastGroup_.clear();
        lastGroupStart_ = models_.size();
    } else if (group != lastGroup_) {
        lastGroup_ = std::move(group);
        lastGroupStart_ = models_.size() - 1;
    }
    progress_->setTotal(models_.size(), false);
    for (size_t wanted = wantedWorkers(); failure_.empty() && workers_.size() < wanted;) {
        startWorker();
    }
    // Checked while its listings are fresh, before the walk's bound lets them go.
    handOut(false);
}

void ModelRun::startWorker() {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (folder_.empty()) {
        folder_ = fs::temp_directory_path(ec) / ("model-validator-" + std::to_string(std::random_device()()));
        fs::create_directories(folder_, ec);
        if (ec) {
            failure_ = "cannot make a temporary folder: " + ec.message();
            return;
        }
    }
    Worker worker;
    const std::string stem = "worker" + std::to_string(workers_.size());
    worker.output = folder_ / (stem + ".reports");
    worker.errors = folder_ / (stem + ".err");
    std::vector<std::string> args = {"worker", "--output", pathToUtf8(worker.output)};
    for (const std::string& root : request_.roots) {
        args.insert(args.end(), {"--res", root});
    }
    if (!request_.realm.empty()) {
        args.insert(args.end(), {"--realm", request_.realm});
    }
    if (request_.writeLogs) {
        args.push_back("--write-logs");
    }
    if (request_.verbose) {
        args.push_back("--verbose");
    }
    worker.process =
        Platform::startProcessWithChannel(request_.executable, args, pathToUtf8(worker.errors), failure_);
    if (worker.process.valid()) {
        workers_.push_back(std::move(worker));
    }
}

void ModelRun::takeFinished(Worker& worker) {
    if (worker.ended) {
        return;
    }
    worker.ended = !Platform::readOutput(worker.process, worker.received);
    // One line per model finished: its number of findings and the size of its report.
    size_t start = 0;
    for (size_t end = worker.received.find('\n'); end != std::string::npos;
         start = end + 1, end = worker.received.find('\n', start)) {
        const std::string_view line = std::string_view(worker.received).substr(start, end - start);
        if (line == kDone) {
            worker.ended = worker.saidDone = true;
            break;
        }
        if (!line.empty() && line[0] == kGivenBack) {
            takeGivenBack(worker, line.substr(1));
            continue;
        }
        char* rest = nullptr;
        const size_t findings =
            static_cast<size_t>(std::strtoull(worker.received.c_str() + start, &rest, 10));
        char* sizeEnd = nullptr;
        const uint64_t reportSize = std::strtoull(rest, &sizeEnd, 10);
        if (sizeEnd != rest && sizeEnd <= worker.received.c_str() + end &&
            worker.finished < worker.models.size()) {
            readReport(worker, reportSize);
        }
        ++worker.finished;
        if (progress_) {
            progress_->advance(1, findings);
        }
    }
    worker.received.erase(0, start);
    if (worker.ended && worker.unfinished() > 0) {
        // Its status tells why when the run finishes.
        failure_ = kWorkerStopped;
    }
}

void ModelRun::takeGivenBack(Worker& worker, std::string_view count) {
    size_t back = 0;
    std::from_chars(count.data(), count.data() + count.size(), back);
    // Models it has started cannot come back.
    for (back = std::min(back, worker.unfinished()); back > 0; --back) {
        givenBack_.push_back(worker.models.back());
        worker.models.pop_back();
    }
}

void ModelRun::readReport(Worker& worker, uint64_t size) {
    // The worker has written the report before it told of it. A report
    // that cannot be read leaves its model unreported, and the run fails.
    if (!worker.unreadable.empty()) {
        return;
    }
    if (!worker.reports.is_open()) {
        worker.reports.open(worker.output, std::ios::binary);
    }
    std::string bytes(static_cast<size_t>(std::min<uint64_t>(size, kMaxReportBytes)), '\0');
    worker.reports.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (size > kMaxReportBytes || !worker.reports) {
        worker.unreadable = "a report of " + std::to_string(size) + " bytes is not there";
        return;
    }
    if (!modelFromRecord(bytes, byPosition_[worker.models[worker.finished]])) {
        worker.unreadable = "a model's report (" + std::to_string(size) + " bytes) is no whole record";
        return;
    }
    ++worker.reported;
}

ModelRun::Worker* ModelRun::workerFor(const std::string& model, bool ending) {
    // The states of one model share folders: checked by one process, those
    // are listed and proved once.
    std::string group = modelGroupOf(model);
    if (group == currentGroup_) {
        return current_ == kThisProcess ? nullptr : &workers_[current_];
    }
    currentGroup_ = std::move(group);
    current_ = kThisProcess;
    Worker* least = nullptr;
    size_t unfinished = 0;
    for (Worker& worker : workers_) {
        unfinished += worker.unfinished();
        if (!worker.ended && (!least || worker.unfinished() < least->unfinished())) {
            least = &worker;
        }
    }
    // Once every model is known, a worker gets no more than its share of
    // what is left, so that it does not end long after this process.
    size_t room = kModelsAhead;
    if (ending) {
        room = std::min(room, (unfinished + models_.size() - handedOut_) / (workers_.size() + 1) + 1);
    }
    if (!least || least->unfinished() >= room) {
        return nullptr;
    }
    current_ = static_cast<size_t>(least - workers_.data());
    return least;
}

void ModelRun::handOut(bool ending) {
    // A group waits until the walk leaves it (the walk goes depth first, so
    // it does not come back), so that a worker that takes it gets every
    // listing of its folders.
    const size_t ready = ending ? models_.size() : lastGroupStart_;
    while (failure_.empty() && handedOut_ < ready) {
        for (Worker& worker : workers_) {
            takeFinished(worker);
        }
        if (!failure_.empty()) {
            return;
        }
        const size_t model = handedOut_++;
        Worker* worker = workerFor(models_[model], ending);
        if (!worker) {
            checkHere(model);
            continue;
        }
        std::string lines;
        if (std::string group = modelGroupOf(models_[model]); group != worker->listedGroup) {
            lines = listingsFor(group);
            worker->listedGroup = std::move(group);
        }
        worker->models.push_back(model);
        lines += escaped(models_[model]) + "\n";
        if (!Platform::writeInput(worker->process, lines)) {
            failure_ = kWorkerStopped;
        }
    }
}

std::string ModelRun::listingsFor(const std::string& group) const {
    std::string lines;
    if (group.empty()) {
        return lines;
    }
    for (std::string root : request_.roots) {
        while (root.size() > 1 && (root.back() == '/' || root.back() == '\\')) {
            root.pop_back();
        }
        for (const FS::FileSystem::ListedAhead& listed :
             FS::fileSystem()->takeListedAhead(root + "/" + group)) {
            if (listed.disk->error.empty()) {
                lines += listingRecord(listed);
            }
        }
    }
    return lines;
}

void ModelRun::checkHere(size_t model) {
    byPosition_[model] = validateOne(models_[model], request_.writeLogs, currentFolder_);
    if (progress_) {
        progress_->advance(1, byPosition_[model].findings.size());
    }
}

int ModelRun::endWorker(Worker& worker) {
    if (!worker.process.valid()) {
        return 0;
    }
    Platform::closeInput(worker.process);
    // Read to the end, so that no worker waits on a full channel.
    while (!worker.ended) {
        Platform::waitForOutput({&worker.process}, 100);
        takeFinished(worker);
    }
    // Closed before the run's folder goes, which an open file would keep on some systems.
    worker.reports.close();
    return Platform::waitFor(worker.process);
}

bool ModelRun::collect(Worker& worker, int status, std::string& reason) {
    const std::string errors = readFile(worker.errors);
    if (request_.verbose) {
        err_ << errors;
    }
    if (status != 0) {
        reason =
            "a worker failed (status " + std::to_string(status) + ")" + (errors.empty() ? "" : ": " + errors);
        return false;
    }
    if (!worker.unreadable.empty()) {
        reason = "a worker's output cannot be read: " + worker.unreadable;
        return false;
    }
    if (worker.reported != worker.models.size()) {
        reason = "a worker returned " + std::to_string(worker.reported) + " of " +
                 std::to_string(worker.models.size()) + " models";
        return false;
    }
    return true;
}

void ModelRun::shareWhatIsLeft() {
    // This process has no model left: each worker gives back its share of
    // the models it holds and has not started, so that the jobs end together.
    const std::string request = giveBackLine(workers_.size() + 1);
    for (Worker& worker : workers_) {
        takeFinished(worker);
        if (failure_.empty() && !worker.ended && worker.unfinished() > 1) {
            Platform::writeInput(worker.process, request);
        }
        Platform::closeInput(worker.process);
    }
    for (;;) {
        std::vector<Platform::Process*> running;
        for (Worker& worker : workers_) {
            takeFinished(worker);
            if (!worker.ended) {
                running.push_back(&worker.process);
            }
        }
        for (const size_t model : givenBack_) {
            checkHere(model);
        }
        if (!givenBack_.empty()) {
            givenBack_.clear();
            continue;
        }
        if (running.empty()) {
            return;
        }
        Platform::waitForOutput(running, 100);
    }
}

bool ModelRun::finish(std::vector<ModelReport>& results, std::string& reason) {
    progress_->setTotal(models_.size(), true);
    handOut(true);
    shareWhatIsLeft();
    bool ok = failure_.empty();
    reason = failure_;
    for (Worker& worker : workers_) {
        // One that said it is done is left to end while the report is
        // written; this run's end waits for it.
        const int status = worker.saidDone ? 0 : endWorker(worker);
        // A failed worker's own reason says more than that it stopped taking models.
        std::string failed;
        if (!collect(worker, status, failed) && (ok || status != 0)) {
            reason = failed;
        }
        ok = ok && failed.empty();
    }
    std::vector<size_t> order(models_.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return models_[a] < models_[b]; });
    results.clear();
    results.reserve(order.size());
    for (size_t position : order) {
        results.push_back(std::move(byPosition_[position]));
    }
    // Emptied shells, one per model: let them go before the report is written.
    byPosition_ = {};
    // The bar leaves the terminal before the report comes.
    progress_.reset();
    return ok;
}

namespace {

// A worker's input, read ahead of the model it checks: a request to give
// back models comes after the models it is about, and is answered on
// `answers` as soon as it comes. Its items are models' lines (without their
// end) and listings' records.
class WorkerInput {
  public:
    explicit WorkerInput(std::ostream& answers) : answers_(answers) {}
    // The next item; false once the input has ended.
    bool next(std::string& item) {
        bool looked = false;
        for (; items_.empty() && !ended_; looked = true) {
            take(true);
        }
        // Before a model is checked, what came meanwhile, without waiting.
        if (!looked && !items_.empty() && isModel(items_.front())) {
            take(false);
        }
        if (items_.empty()) {
            return false;
        }
        item = std::move(items_.front());
        items_.pop_front();
        return true;
    }
    static bool isModel(std::string_view item) { return item.empty() || item[0] != kListingMark; }

  private:
    void take(bool wait) {
        if (ended_) {
            return;
        }
        ended_ = !Platform::readInput(partial_, wait);
        size_t start = 0;
        for (size_t size; (size = itemSize(std::string_view(partial_).substr(start))) > 0; start += size) {
            addItem(std::string_view(partial_).substr(start, size));
        }
        // What is left at the end is an item still, or what is left of one.
        if (ended_ && start < partial_.size()) {
            addItem(std::string_view(partial_).substr(start));
            start = partial_.size();
        }
        partial_.erase(0, start);
    }
    // The size of the whole item `bytes` begin with; 0 while it is not all there.
    static size_t itemSize(std::string_view bytes) {
        if (!isModel(bytes)) {
            return listingRecordSize(bytes);
        }
        const size_t end = bytes.find('\n');
        return end == std::string_view::npos ? 0 : end + 1;
    }
    void addItem(std::string_view item) {
        if (isModel(item) && !item.empty() && item.back() == '\n') {
            item.remove_suffix(1);
        }
        if (!item.empty() && item[0] == kGiveBack) {
            giveBack(item.substr(1));
        } else {
            items_.emplace_back(item);
        }
    }
    // Gives back the last of the models waiting, their share of `jobs`,
    // with the listings that came for them (a group's listings come before
    // its first model).
    void giveBack(std::string_view jobs) {
        size_t sharing = 0;
        std::from_chars(jobs.data(), jobs.data() + jobs.size(), sharing);
        const size_t waiting = static_cast<size_t>(std::count_if(items_.begin(), items_.end(), isModel));
        const size_t back = sharing > 1 ? waiting / sharing : 0;
        if (back > 0) {
            // Just after the last model kept.
            auto cut = items_.begin();
            for (size_t kept = waiting - back; kept > 0; ++cut) {
                kept -= isModel(*cut) ? 1 : 0;
            }
            items_.erase(cut, items_.end());
        }
        answers_ << kGivenBack << back << std::endl;
    }

    std::ostream& answers_;
    std::deque<std::string> items_;
    std::string partial_;
    bool ended_ = false;
};

} // namespace

int runWorker(const std::vector<std::string>& args, std::ostream& err) {
    CLI::App app("worker");
    std::string outputFile, realm;
    std::vector<std::string> roots;
    bool writeLogs = false, verbose = false;
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
    // Standard output carries a line per model, buffered by the stream
    // itself rather than through C's.
    std::ios::sync_with_stdio(false);
    // Each model's report is written as soon as the model is checked, so
    // that the parent reads it while it still checks models itself, not all
    // of them once the last is done.
    std::ofstream out(pathFromUtf8(outputFile), std::ios::binary);
    // The models come on standard input, one per line, as the parent hands
    // them out, each group's after the listings the parent made of its folders.
    std::string model;
    const std::string currentFolder = currentFolderOfReports();
    WorkerInput input(std::cout);
    for (std::string item; out && input.next(item);) {
        if (FS::FileSystem::ListedAhead listed; !WorkerInput::isModel(item)) {
            if (readListingRecord(item, listed)) {
                FS::fileSystem()->keepListedAhead(std::move(listed));
            }
            continue;
        }
        if (!unescaped(item, model)) {
            model = item;
        }
        const ModelReport report = validateOne(model, writeLogs, currentFolder);
        const std::string bytes = modelRecord(report);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        // Tells the parent that the model is done: its findings and the size of its report.
        std::cout << report.findings.size() << ' ' << bytes.size() << std::endl;
    }
    out.close();
    if (!out) {
        return 1;
    }
    std::cout << kDone << std::endl;
    return 0;
}

} // namespace KX::Cli
