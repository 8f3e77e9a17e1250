// Zobrist keys. All tables come from one mt19937-64 seeded 5489 and drawn in a
// fixed order, so key values are the same in every run and across a resume.
#pragma once

#include <cstdint>

constexpr int MAX_PLY_KEYS = 3000;  // no move may be made at ply 3000 or beyond
constexpr int MAX_HAND_COUNT_KEYS = 300;

struct HashTables {
    uint64_t boardKeys[48][154];
    uint64_t handKeys[23][MAX_HAND_COUNT_KEYS];
    uint64_t moveFromKeys[100][MAX_PLY_KEYS];
    uint64_t moveToKeys[100][MAX_PLY_KEYS];
    uint64_t movePieceKeys[48][MAX_PLY_KEYS];
    uint64_t movePromoteKeys[2][MAX_PLY_KEYS];
};

extern HashTables hashTables;

// (Re)fills all six tables.
void fillHashTables();
// Fills them unless they are filled: every filling draws the same values,
// so a set-up after the first need not draw them again.
void ensureHashTables();

inline uint64_t withSideBit(uint64_t key, int sideToMove) {
    constexpr uint64_t ATTACKER_TO_MOVE_BIT = uint64_t(1) << 63;
    return sideToMove == 0x10 ? key | ATTACKER_TO_MOVE_BIT : key & ~ATTACKER_TO_MOVE_BIT;
}

// Row of boardKeys for a cell code. A wall written into the diagram (code
// 0x30) has no row of its own; it never moves, so any constant row keeps the
// keys consistent, and the empty row is used.
inline int boardKeyRow(int code) { return code < 48 ? code : 0; }

// 10 * file + rank, the row of a square in the move key tables (0 for a drop).
inline int moveKeyRow(int sq) { return 10 * (sq >> 4) + (sq & 15); }
