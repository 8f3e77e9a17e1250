// The problem file reader: one KIF-like CP932 file becomes the problem
// header, the staging diagram and hands, and the composer's move list.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>

#include "position/position.h"

// What setUpPosition is built from.
struct ProblemSetup {
    // 81 piece codes, a square's at diagramIndex(file, rank).
    uint8_t diagram[81];
    // By piece code; the attacker's hand at 0x11..0x17, the defender's at 0x21..0x27.
    int32_t handCounts[HAND_SLOTS];
};

// Reads the whole stream, fills `problem`, the composer's line
// (searchContext.composerLine) and setup, and applies the default class at
// the end. The stream should be opened in binary mode; CR before LF is
// stripped here. On a refusal (a bad hand
// count, a diagram that cannot be read, a file that is not text) returns
// false with the CP932 message to show in `refusal` (without a line end).
bool readProblemFile(std::istream& in, ProblemSetup& setup, std::string& refusal);

enum HandLineResult {
    HAND_READ,         // the entries were read into the counts
    HAND_REST_OF_SET,  // "残り全部": the side holds every piece nobody else has
    HAND_BAD_COUNT,    // a numeral that is not a count; badNumeral holds it
};
// A hand line ("…持駒：飛　歩十八") for side ATTACKER or DEFENDER. A later
// entry for the same piece replaces an earlier one; entries that name no
// piece ("なし") are ignored.
HandLineResult parseHandLine(std::string_view line, int side, int32_t handCounts[HAND_SLOTS],
                             std::string& badNumeral);

// A kanji numeral 一 … 九十九 as a count; an empty or odd-length text counts
// as 1. Returns -1 when the text is not a count.
int parseKanjiCount(std::string_view numeral);

// A move line of the composer's list for side ATTACKER or DEFENDER;
// appends at most one move to searchContext.composerLine. lastTo is the
// destination of the previous move line (for "同"), read and updated.
// Returns whether a move was stored.
bool parseEnteredMove(std::string_view line, int side, int& lastTo);

// After the last line: a file without a class is an orthodox problem.
void applyDefaultClass();

// The side that moves first in the solution, from RuleFlags and moveCount.
int firstMover();
