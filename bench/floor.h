#pragma once

#include <cstdint>
#include <string>

namespace KX::Bench {

struct FloorRead {
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    std::uint64_t xmlFiles = 0;
};

// The least any validation of the tree must do: read every file the checks
// read (whole, but only the header of a texture, whose size the file system
// gives) and parse every XML file once. Physics companions are only looked
// for by name, so they are not read.
FloorRead readLikeTheChecks(const std::string& root);

} // namespace KX::Bench
