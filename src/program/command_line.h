// The command line: a problem file name, or an option that asks for
// something else.
#pragma once

#include <string>
#include <vector>

struct CommandLine {
    enum class Action { Solve, Batch, Usi, Help, Version, Refuse };
    Action action = Action::Solve;
    // Solve: the problem file ("" when none was given, and the run asks for
    // it). Refuse: the argument refused, as typed ("" when none is named).
    std::string argument;
    // Refuse: what is wrong with the command line (CP932), followed by the
    // argument.
    std::string refusal;
    // Batch: the files and folders named after --batch.
    std::vector<std::string> paths;
};

CommandLine parseCommandLine(int argc, char* argv[]);

// What --help prints: the usage, the problem file's lines and keywords, the
// keys while a search runs and the exit codes, in one screen (CP932).
std::string usageText();
// What --version prints (CP932).
std::string versionText();
