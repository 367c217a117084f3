#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What the fuzz targets run on one input, kept apart from libFuzzer so that
// the normal test suite replays every seed input and every input that once
// failed through exactly the same code.
namespace FuzzHarness {

using Entry = void (*)(const uint8_t* data, size_t size);

struct Target {
    const char* name;
    Entry run;
};

// Every target, by the name of its fuzzer binary (fuzz_<name>) and corpus folder.
const std::vector<Target>& targets();
const Target* findTarget(const std::string& name);

} // namespace FuzzHarness
