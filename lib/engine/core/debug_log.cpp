#include "engine/core/debug_log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "engine/core/format.h"

namespace DebugLog {
namespace {

std::mutex& sinkMutex() {
    static std::mutex mutex;
    return mutex;
}

Sink& currentSink() {
    static Sink sink;
    return sink;
}

std::atomic<int>& stderrThreshold() {
    static std::atomic<int> threshold{Warning};
    return threshold;
}

const char* priorityName(int priority) {
    switch (priority) {
    case Trace:
        return "TRACE";
    case Debug:
        return "DEBUG";
    case Info:
        return "INFO";
    case Notice:
        return "NOTICE";
    case Warning:
        return "WARNING";
    case Error:
        return "ERROR";
    default:
        return "CRITICAL";
    }
}

void writeToStderr(int priority, const std::string& category, const std::string& text) {
    if (priority < stderrThreshold().load()) {
        return;
    }
    std::string line = priorityName(priority);
    if (!category.empty()) {
        line += " [" + category + "]";
    }
    line += ": " + text;
    if (line.empty() || line.back() != '\n') {
        line += '\n';
    }
    std::fputs(line.c_str(), stderr);
}

} // namespace

void messageText(int priority, const std::string& category, const std::string& text) {
    std::lock_guard<std::mutex> lock(sinkMutex());
    if (currentSink()) {
        currentSink()(priority, category, text);
    } else {
        writeToStderr(priority, category, text);
    }
}

void message(int priority, const char* category, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformatString(format, args);
    va_end(args);
    messageText(priority, category ? category : "", text);
}

namespace {
std::mutex& journalMutex() {
    static std::mutex mutex;
    return mutex;
}
std::vector<FileProblem>& journal() {
    static std::vector<FileProblem> problems;
    return problems;
}
} // namespace

void fileProblem(const char* category, const std::string& path, const std::string& reason) {
    messageText(Warning, category ? category : "", path + ": " + reason);
    std::lock_guard<std::mutex> lock(journalMutex());
    if (journal().size() < kMaxFileProblems) {
        journal().push_back({path, reason});
    }
}

std::vector<FileProblem> takeFileProblems() {
    std::lock_guard<std::mutex> lock(journalMutex());
    std::vector<FileProblem> problems;
    problems.swap(journal());
    return problems;
}

void setSink(Sink sink) {
    std::lock_guard<std::mutex> lock(sinkMutex());
    currentSink() = std::move(sink);
}

void setStderrThreshold(int priority) {
    stderrThreshold().store(priority);
}

Capture::Capture() {
    std::lock_guard<std::mutex> lock(sinkMutex());
    previous_ = currentSink();
    currentSink() = [this](int priority, const std::string& category, const std::string& text) {
        std::lock_guard<std::mutex> own(mutex_);
        lines_.push_back({priority, category, text});
    };
}

Capture::~Capture() {
    std::lock_guard<std::mutex> lock(sinkMutex());
    currentSink() = std::move(previous_);
}

std::vector<Line> Capture::lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

size_t Capture::count(const std::string& needle) const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t n = 0;
    for (const Line& line : lines_) {
        if (line.text.find(needle) != std::string::npos) {
            ++n;
        }
    }
    return n;
}

void Capture::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
}

} // namespace DebugLog
