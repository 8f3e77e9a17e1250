// Internals shared by the move generators: the buffer storage, the move
// emitters with the promotion choices, and the pin and target rules.
#pragma once

#include "position/movegen.h"

namespace movegen_detail {

extern Move buffer[MOVE_BUFFER_SIZE];
extern int count;

inline void emit(int from, int to, int piece, int promote) {
    buffer[count++] = Move{uint8_t(from), uint8_t(to), uint8_t(piece), uint8_t(promote)};
}

// A pawn or lance on the last rank, or a knight on the last two, would have
// no further move: it must promote.
inline bool mustPromote(int code, int toRank) {
    switch (code) {
    case ATTACKER | PAWN:
    case ATTACKER | LANCE: return toRank == 1;
    case ATTACKER | KNIGHT: return toRank <= 2;
    case DEFENDER | PAWN:
    case DEFENDER | LANCE: return toRank == 9;
    case DEFENDER | KNIGHT: return toRank >= 8;
    default: return false;
    }
}

inline bool touchesZone(int side, int from, int to) {
    if (side == ATTACKER) return rankOf(from) <= 3 || rankOf(to) <= 3;
    return rankOf(from) >= 7 || rankOf(to) >= 7;
}

// A board move with its promotion choices: the promoting move first, then
// the plain one; only the promoting one where the plain one is impossible.
inline void emitBoardMove(int side, int code, int from, int to) {
    if (promotable[code] && touchesZone(side, from, to)) {
        emit(from, to, code, 1);
        if (!mustPromote(code, rankOf(to))) emit(from, to, code, 0);
    } else {
        emit(from, to, code, 0);
    }
}

// A piece pinned along the line with offset pin may move only along it.
inline bool pinAllows(int pin, int offset) { return pin == 0 || pin == offset || pin == -offset; }

// Empty or holding an enemy piece (walls carry both owner bits).
inline bool isTarget(int cellCode, int side) { return (cellCode & side) == 0; }

inline bool isOwnPiece(int cellCode, int side) { return (cellCode & 0x30) == side; }

}  // namespace movegen_detail
