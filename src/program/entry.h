// The run of the console program, from the problem file name to the end.
#pragma once

#include <string>

// One whole run as the command line asks; returns the process exit code.
int runEntrySequence(int argc, char* argv[]);

// The check of one problem file, asking for its name when none is given;
// returns the exit code (1 after a refusal before the solve or a failure, 0
// otherwise).
int checkProblemFile(const std::string* fileName);

// How the last check ended: whether the problem was searched, and whether a
// stop cut the search short.
struct CheckEnd {
    bool searched = false;
    bool interrupted = false;
};
extern CheckEnd lastCheckEnd;
