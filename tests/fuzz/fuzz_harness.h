// What the fuzzers drive: the problem file reader with validation and one
// expansion of the root, and the suspend file reader. The same functions
// replay the kept regression inputs in the ordinary test build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// One problem file given as bytes.
void runProblemFileInput(const uint8_t* data, size_t size);

// One suspend file given as bytes, read against a small fixed problem and a
// table of SUSPEND_FUZZ_CAPACITY entries.
constexpr uint64_t SUSPEND_FUZZ_CAPACITY = 61;
// True when the file was taken up.
bool runSuspendFileInput(const uint8_t* data, size_t size);

// Writes suspend files of that problem (stopped at several points) into dir,
// as seeds for the suspend file fuzzer. Returns how many it wrote.
int writeSuspendSeeds(const std::string& dir);
