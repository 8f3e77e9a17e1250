// The run of the console program, from the problem file name to the end.
#pragma once

#include <string>

// One whole run; returns the process exit code (1 after a refusal before the
// solve, 0 otherwise).
int runEntrySequence(int argc, char* argv[]);
