// Problem texts read through the program's reader, for the tests of the
// reader and of the notation. (Files, fixtures and program runs: harness.h.)
#pragma once

#include <string>
#include <vector>

#include "harness.h"
#include "program/problem_reader.h"

// Reads a problem text from scratch (header, move list and setup cleared
// first). Returns whether it was accepted; the refusal message otherwise.
struct ReadOutcome {
    bool accepted;
    std::string refusal;
    ProblemSetup setup;
};
ReadOutcome readProblemText(const std::string& text);

// A problem text around the given rows: a move count of 1, a defender's hand line, the two
// heading lines, nine rows, the border and an attacker's hand line.
std::string problemWithRows(const std::vector<std::string>& rows, const std::string& defenderHand = "なし",
                            const std::string& attackerHand = "なし");

// Diagram code of (file, rank).
inline uint8_t cellOf(const ProblemSetup& setup, int file, int rank) {
    return setup.diagram[(rank - 1) * 9 + (9 - file)];
}
