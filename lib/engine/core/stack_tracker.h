#pragma once

#include <cstddef>
#include <string>
#include <vector>

// A per-thread stack of the operations in progress, for crash reports and
// diagnostics. Entries are string literals, so pushing costs no allocation.
namespace StackTracker {

struct Entry {
    const char* name;
    const char* file;
};

// Pushed and popped inline: the steps track some two hundred calls a check.
// Calls deeper than the frames kept are counted, not recorded.
struct Frames {
    static constexpr size_t kKept = 256;
    Entry entries[kKept];
    size_t depth;
};
extern thread_local constinit Frames frames;

inline void push(const char* name, const char* file) {
    Frames& f = frames;
    if (f.depth < Frames::kKept) {
        f.entries[f.depth] = {name, file};
    }
    ++f.depth;
}

inline void pop() {
    Frames& f = frames;
    if (f.depth > 0) {
        --f.depth;
    }
}

inline size_t depth() {
    return frames.depth;
}

// "name (file)" per recorded entry, outermost first.
std::vector<std::string> snapshot();

class Scope {
  public:
    Scope(const char* name, const char* file) { push(name, file); }
    ~Scope() { pop(); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
};

} // namespace StackTracker

#define KX_TRACK_CONCAT2(a, b) a##b
#define KX_TRACK_CONCAT(a, b) KX_TRACK_CONCAT2(a, b)
#define KX_STACK_TRACK(name) StackTracker::Scope KX_TRACK_CONCAT(kxStackScope_, __LINE__)(name, __FILE__)
