// An independent, deliberately simple move generator used as the reference
// in the property tests: every piece, every direction of the movement table,
// legality by making the move on a plain board and looking for an attack on
// the king from scratch, pawn-drop mate by trying every reply.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "position/position.h"

struct PlainBoard {
    uint8_t cell[BOARD_CELLS];  // Square s at cell[s + 16], frame = WALL
    int32_t hand[HAND_SLOTS];
    int side;  // side to move

    uint8_t at(int sq) const { return cell[sq + 16]; }
    uint8_t& at(int sq) { return cell[sq + 16]; }
};

PlainBoard plainBoardOf(const Position& pos);
PlainBoard afterMove(const PlainBoard& b, Move m);

// Some piece of bySide attacks sq.
bool attackedBy(const PlainBoard& b, int sq, int bySide);
// Square of side's king, 0 when it has none.
int kingSquare(const PlainBoard& b, int side);
bool inCheck(const PlainBoard& b, int side);

// Every legal move of the side to move, as sorted move words.
std::vector<uint32_t> bruteLegalMoves(const PlainBoard& b, bool dropPawnMateAllowed);

// Readable move text for failure messages and order tests: "77-76", "88-22+",
// "P*55" (piece letter of the dropped kind).
std::string moveText(Move m);
std::string movesText(const Move* moves, int n);
