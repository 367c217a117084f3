#include <cstdlib>

#include "harness.h"

// One fuzzer binary per target; the build names the target.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const FuzzHarness::Target* target = FuzzHarness::findTarget(KX_FUZZ_TARGET);
    if (target == nullptr) {
        std::abort();
    }
    target->run(data, size);
    return 0;
}
