// The command line: a problem file name, or an option that asks for
// something else.
#pragma once

#include <string>

struct CommandLine {
    enum class Action { Solve, Help, Version, Usi, Refuse };
    Action action = Action::Solve;
    // Solve: the problem file ("" when none was given, and the run asks for
    // it). Refuse: the option that is not known, as typed.
    std::string argument;
};

CommandLine parseCommandLine(int argc, char* argv[]);

// What --help prints: the usage, the problem file's lines and keywords, the
// keys while a search runs and the exit codes, in one screen (CP932).
std::string usageText();
// What --version prints (CP932).
std::string versionText();
