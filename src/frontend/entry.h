// The run of the console program, from the problem file name to the end.
#pragma once

#include <string>

// The problem file name, from the first argument or typed at the prompt.
extern std::string inputFileName;
// inputFileName + ".txt": the report, appended to by every run.
extern std::string reportFileName;

// One whole run; returns the process exit code (1 after a refusal before the
// solve, 0 otherwise).
int runEntrySequence(int argc, char* argv[]);
