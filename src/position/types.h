// Basic vocabulary of the rules engine: piece codes, squares, directions,
// the piece movement table and the four-byte move word.
#pragma once

#include <cstdint>
#include <cstring>

// Owner bits. The attacker moves toward rank 1, the defender toward rank 9.
constexpr int ATTACKER = 0x10;
constexpr int DEFENDER = 0x20;
constexpr int EMPTY = 0;
// The frame carries both owner bits, so "cell & side" is true for a wall and
// no piece ever moves onto or through it.
constexpr int WALL = 0x30;
constexpr int PROMOTED = 0x08;

constexpr int PAWN = 1, LANCE = 2, KNIGHT = 3, SILVER = 4, GOLD = 5, BISHOP = 6,
              ROOK = 7, KING = 8;
constexpr int HORSE = BISHOP | PROMOTED, DRAGON = ROOK | PROMOTED;

constexpr int ATTACKER_KING = ATTACKER | KING;  // 24
constexpr int DEFENDER_KING = DEFENDER | KING;  // 40

inline constexpr int otherSide(int side) { return 0x30 - side; }
inline constexpr int ownerOf(int code) { return code & 0x30; }
inline constexpr int kindOf(int code) { return code & 0x0f; }
// The kind a captured piece takes in hand: owner and promotion bits cleared.
inline constexpr int handKindOf(int code) { return code & 7; }

// Square = 16 * file + rank, files and ranks 1..9.
constexpr int SQUARE_MIN = 17;
constexpr int SQUARE_MAX = 153;
inline constexpr int makeSquare(int file, int rank) { return 16 * file + rank; }
inline constexpr int fileOf(int sq) { return sq >> 4; }
inline constexpr int rankOf(int sq) { return sq & 15; }
inline constexpr bool isBoardSquare(int sq) {
    return fileOf(sq) >= 1 && fileOf(sq) <= 9 && rankOf(sq) >= 1 && rankOf(sq) <= 9;
}

// Direction numbers double as bit indices in the attack maps: bit D for a
// step, bit 16 + D for a slide.
constexpr int DIRECTION_COUNT = 12;
constexpr int directionOffset[DIRECTION_COUNT] = {17, 1, -15, 16, -16, 15, -1, -17, 14, -18, 18, -14};
constexpr int SLIDE_BIT_BASE = 16;

enum : uint8_t { MOVES_NOWHERE = 0, MOVES_STEP = 1, MOVES_SLIDE = 2 };

// movementTable[code][direction]: whether the piece steps, slides or neither.
struct MovementTable {
    uint8_t entry[64][DIRECTION_COUNT];
};
extern const MovementTable movementTable;

inline bool stepsIn(int code, int dir) { return movementTable.entry[code & 63][dir] == MOVES_STEP; }
inline bool slidesIn(int code, int dir) { return movementTable.entry[code & 63][dir] == MOVES_SLIDE; }
inline bool movesIn(int code, int dir) { return movementTable.entry[code & 63][dir] != MOVES_NOWHERE; }

// 1 for the codes that may promote (pawn, lance, knight, silver, bishop, rook of either side).
extern const uint8_t promotable[64];

// The move word. Byte 0 is the least significant byte of the 32-bit word.
struct Move {
    uint8_t from;     // 0 (any value up to 16) for a drop
    uint8_t to;
    uint8_t piece;    // code of the mover before the move, or the code taken from the hand
    uint8_t promote;  // 1 when the piece promotes on this move
};
static_assert(sizeof(Move) == 4 && alignof(Move) == 1);

inline uint32_t moveWord(Move m) {
    return uint32_t(m.from) | uint32_t(m.to) << 8 | uint32_t(m.piece) << 16 | uint32_t(m.promote) << 24;
}
inline Move moveFromWord(uint32_t w) {
    return Move{uint8_t(w), uint8_t(w >> 8), uint8_t(w >> 16), uint8_t(w >> 24)};
}
inline bool operator==(Move a, Move b) { return moveWord(a) == moveWord(b); }
inline bool operator!=(Move a, Move b) { return !(a == b); }
inline bool isDrop(Move m) { return m.from <= 16; }
inline bool isNoMove(Move m) { return moveWord(m) == 0; }

// Proof and disproof number conventions.
constexpr int32_t INFINITE_NUMBER = 0x7FFFFFFF;
constexpr int32_t LARGEST_FINITE = 0x7FFFFF;
constexpr int16_t NO_PLY = 0x7FFF;
