// libFuzzer target: problem files through the reader, validation and one
// expansion of the root.
#include "fuzz/fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    runProblemFileInput(data, size);
    return 0;
}
