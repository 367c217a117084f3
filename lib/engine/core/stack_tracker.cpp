#include "engine/core/stack_tracker.h"

namespace StackTracker {
namespace {

struct Entry {
    const char* name;
    const char* file;
};

std::vector<Entry>& stack() {
    thread_local std::vector<Entry> entries;
    return entries;
}

} // namespace

void push(const char* name, const char* file) {
    stack().push_back({name, file});
}

void pop() {
    if (!stack().empty()) {
        stack().pop_back();
    }
}

size_t depth() {
    return stack().size();
}

std::vector<std::string> snapshot() {
    std::vector<std::string> result;
    for (const Entry& entry : stack()) {
        result.push_back(std::string(entry.name) + " (" + entry.file + ")");
    }
    return result;
}

} // namespace StackTracker
