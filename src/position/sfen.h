// Reading positions written in SFEN, the usual one-line position text of
// shogi programs: "BOARD SIDE HANDS [MOVE-NUMBER]".
//
// BOARD lists ranks 1..9 (a..i) separated by '/', each from file 9 to file 1;
// upper case letters are the attacker's pieces (the side moving toward rank
// 1), lower case the defender's; digits count empty squares; '+' before P, L,
// N, S, B, R marks a promoted piece. SIDE is 'b' (attacker to move) or 'w'.
// HANDS is '-' or a list of pieces, each optionally preceded by a count of
// 1..99. The move number, when present, is a positive decimal number and is
// otherwise ignored.
#pragma once

#include <string>
#include <string_view>

#include "position/position.h"

struct SfenPosition {
    uint8_t diagram[81];          // set-up order: rank 1 first, each from file 9
    int32_t handCounts[HAND_SLOTS];
    int side;
};

// Parses text; on failure returns false and puts a one-line reason in error.
bool parseSfen(std::string_view text, SfenPosition& out, std::string& error);

// Parses text and sets up pos (zero-filled first). False on a malformed text.
bool setUpFromSfen(Position& pos, std::string_view text, std::string& error);

// The upper-case letter of a piece kind (PAWN .. KING), promotion left out.
char sfenLetter(int kind);

// The position in SFEN, move number 1; the hands in the usual order (rook,
// bishop, gold, silver, knight, lance, pawn), the attacker's first.
std::string sfenOf(const Position& pos);
