#pragma once

#include <string>
#include <vector>

// A per-thread stack of the operations in progress, for crash reports and
// diagnostics. Entries are string literals, so pushing costs no allocation.
namespace StackTracker {

void push(const char* name, const char* file);
void pop();
size_t depth();
// "name (file)" per entry, outermost first.
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
