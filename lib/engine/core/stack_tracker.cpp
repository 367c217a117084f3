#include "engine/core/stack_tracker.h"

#include <algorithm>

namespace StackTracker {

thread_local constinit Frames frames{};

std::vector<std::string> snapshot() {
    std::vector<std::string> result;
    const size_t recorded = std::min(frames.depth, Frames::kKept);
    for (size_t i = 0; i < recorded; ++i) {
        const Entry& entry = frames.entries[i];
        result.push_back(std::string(entry.name) + " (" + entry.file + ")");
    }
    return result;
}

} // namespace StackTracker
