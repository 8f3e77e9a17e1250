// Helpers shared by the front-end tests.
#pragma once

#include <string>
#include <vector>

#include "program/problem_reader.h"

// Contents of a file under tests/program/fixtures/.
std::string fixturePath(const std::string& name);
std::string readFile(const std::string& path);

// Reads a problem text from scratch (header, move list and setup cleared
// first). Returns whether it was accepted; the refusal message otherwise.
struct ReadOutcome {
    bool accepted;
    std::string refusal;
    ProblemSetup setup;
};
ReadOutcome readProblemText(const std::string& text);

// A problem text around the given rows: a defender's hand line, the two
// heading lines, nine rows, the border and an attacker's hand line.
std::string problemWithRows(const std::vector<std::string>& rows, const std::string& defenderHand = "なし",
                            const std::string& attackerHand = "なし");

// Diagram code of (file, rank).
inline uint8_t cellOf(const ProblemSetup& setup, int file, int rank) {
    return setup.diagram[(rank - 1) * 9 + (9 - file)];
}

// Runs build/kelvaro with the arguments, LC_ALL set to locale and standard
// input fed from stdinText (closed at its end).
struct ProgramRun {
    int exitCode;
    std::string output;  // standard output and standard error
};
ProgramRun runKelvaro(const std::vector<std::string>& arguments, const std::string& locale,
                      const std::string& stdinText = "");

// UTF-8 to CP932, for comparing raw console output with UTF-8 expectations.
std::string utf8ToCp932(const std::string& text);
