#include "position/hash_keys.h"

#include <random>

HashTables hashTables;

namespace {
bool tablesFilled = false;
}

void fillHashTables() {
    std::mt19937_64 rng(5489);
    HashTables& t = hashTables;
    for (int code = 0; code < 48; ++code) {
        for (int sq = 0; sq < 17; ++sq) t.boardKeys[code][sq] = 0;
        for (int sq = 17; sq <= 153; ++sq) t.boardKeys[code][sq] = rng();
    }
    for (int i = 0; i < 23; ++i)
        for (int n = 0; n < MAX_HAND_COUNT_KEYS; ++n) t.handKeys[i][n] = rng();
    for (int row = 0; row < 100; ++row)
        for (int ply = 0; ply < MAX_PLY_KEYS; ++ply) t.moveFromKeys[row][ply] = rng();
    for (int row = 0; row < 100; ++row)
        for (int ply = 0; ply < MAX_PLY_KEYS; ++ply) t.moveToKeys[row][ply] = rng();
    for (int code = 0; code < 17; ++code)
        for (int ply = 0; ply < MAX_PLY_KEYS; ++ply) t.movePieceKeys[code][ply] = 0;
    for (int code = 17; code < 48; ++code)
        for (int ply = 0; ply < MAX_PLY_KEYS; ++ply) t.movePieceKeys[code][ply] = rng();
    for (int flag = 0; flag < 2; ++flag)
        for (int ply = 0; ply < MAX_PLY_KEYS; ++ply) t.movePromoteKeys[flag][ply] = rng();
    tablesFilled = true;
}

void ensureHashTables() {
    if (!tablesFilled) fillHashTables();
}
