// libFuzzer target: suspend files through the checked reader.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    runSuspendFileInput(data, size);
    return 0;
}

// `suspend_file_fuzzer -make_seeds=DIR` writes the seed files and exits.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    for (int i = 1; i < *argc; ++i) {
        const char* arg = (*argv)[i];
        if (std::strncmp(arg, "-make_seeds=", 12) == 0) {
            const int n = writeSuspendSeeds(arg + 12);
            std::fprintf(stderr, "%d seeds written\n", n);
            std::exit(n == 3 ? 0 : 1);
        }
    }
    return 0;
}
