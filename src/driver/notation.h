// The program's glyph tables, its board diagram and its move notation.
// All texts are CP932.
#pragma once

#include <array>
#include <map>
#include <string>
#include <string_view>

#include "position/position.h"
#include "position/square_names.h"

// Two-byte diagram glyph -> kind byte (0 empty, 1..15 kinds, WALL for "●").
// Besides the program's own glyphs it accepts "王" for a king (the
// diagram below writes the attacker's king that way, so its output must
// read back) and "竜", which many record writers use for the dragon.
extern const std::map<std::string_view, uint8_t> glyphToCode;

// By piece code: a side prefix (" " or "v") and the two-byte glyph.
extern const std::array<std::string_view, 64> cellGlyphs;
// By piece code: the two-byte name ("王" for the attacker's king, "玉" for
// the defender's).
extern const std::array<std::string_view, 64> pieceNames;

// The diagram of a position with both hands, each line ended by '\n'.
std::string diagramText(const Position& pos);
// Writes diagramText to the console when fileName is empty, else appends it
// to that file (created if missing). False when the file could not be opened
// or written.
bool formatDiagram(const Position& pos, const std::string& fileName);

// The full move text of a move made from pos, ending with one blank:
// "同" or the destination, the piece, the disambiguation word, 成 or 生.
std::string formatMove(const Position& before, Move move);
// The short record form: 76歩(77), 23銀成(34), 52金打.
std::string formatMoveRecord(Move move);
// The record form and a tab, on the console.
void printMoveRecord(Move move);
