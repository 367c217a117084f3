#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#if defined(__GNUC__) || defined(__clang__)
#define KX_PRINTF_FORMAT(fmtIndex, argIndex) __attribute__((format(printf, fmtIndex, argIndex)))
#else
#define KX_PRINTF_FORMAT(fmtIndex, argIndex)
#endif

// The engine's debug log. Messages carry a priority and an optional category
// and go to one sink: stderr unless a host or a test installs its own.
namespace DebugLog {

enum Priority : int {
    Trace = 0,
    Debug = 1,
    Info = 2,
    Notice = 3,
    Warning = 4,
    Error = 5,
    Critical = 6,
};

using Sink = std::function<void(int priority, const std::string& category, const std::string& text)>;

// `format` is a printf-style format; use messageText for text that must be
// written literally.
void message(int priority, const char* category, const char* format, ...) KX_PRINTF_FORMAT(3, 4);
void messageText(int priority, const std::string& category, const std::string& text);

// Installs a sink; an empty function restores the stderr sink.
void setSink(Sink sink);
// The stderr sink drops messages below this priority (default: Warning).
void setStderrThreshold(int priority);

// A file that exists but cannot be used (too large, damaged, not the format
// its name says): logged as a warning "path: reason" and kept in a journal
// that a validator drains after a check, so that the reason reaches the
// user as a finding and not only in the log. The journal holds at most
// `kMaxFileProblems` entries; later ones are only logged.
struct FileProblem {
    std::string path;
    std::string reason;
};
inline constexpr size_t kMaxFileProblems = 1000;
void fileProblem(const char* category, const std::string& path, const std::string& reason);
// The problems recorded since the last call, in order; empties the journal.
std::vector<FileProblem> takeFileProblems();

struct Line {
    int priority;
    std::string category;
    std::string text;
};

// Collects every message written while it lives; restores the previous sink
// when destroyed. Meant for tests.
class Capture {
  public:
    Capture();
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    std::vector<Line> lines() const;
    // Number of lines whose text contains `needle`.
    size_t count(const std::string& needle) const;
    void clear();

  private:
    mutable std::mutex mutex_;
    std::vector<Line> lines_;
    Sink previous_;
};

} // namespace DebugLog
