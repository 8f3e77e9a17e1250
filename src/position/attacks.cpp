#include "position/attacks.h"

#include <cstring>

namespace {

void addPieceAttacks(Position& pos, int sq, int code) {
    int32_t* map = (code & DEFENDER) ? pos.defenderAttacks : pos.attackerAttacks;
    for (int d = 0; d < DIRECTION_COUNT; ++d) {
        const int offset = directionOffset[d];
        if (slidesIn(code, d)) {
            int c = sq + offset;
            for (;;) {
                map[c] |= 1 << (SLIDE_BIT_BASE + d);
                if (pos.cell(c) != EMPTY) break;
                c += offset;
            }
        } else if (stepsIn(code, d)) {
            // An attacker's knight on 1一 (only in a diagram that validation
            // rejects) would jump to Square -1, which has no attack word.
            const int target = sq + offset;
            if (target >= 0) map[target] |= 1 << d;
        }
    }
}

bool outsideBoard(int sq) { return sq < SQUARE_MIN || sq > SQUARE_MAX || rankOf(sq) == 0 || rankOf(sq) > 9; }

// The first non-empty cell walking from sq along -offset.
int firstOccupiedBehind(const Position& pos, int sq, int offset) {
    int c = sq - offset;
    while (pos.cell(c) == EMPTY) c -= offset;
    return c;
}

bool pinAllows(const PinTable pins, int sq, int offset) {
    const int pin = pins[sq];
    return pin == 0 || pin == offset || pin == -offset;
}

}  // namespace

void computeAttackMaps(Position& pos) {
    std::memset(pos.attackerAttacks, 0, sizeof pos.attackerAttacks);
    std::memset(pos.defenderAttacks, 0, sizeof pos.defenderAttacks);
    for (int file = 1; file <= 9; ++file) {
        for (int rank = 1; rank <= 9; ++rank) {
            const int sq = makeSquare(file, rank);
            const int code = pos.cell(sq);
            if (code == EMPTY || code == WALL) continue;
            addPieceAttacks(pos, sq, code);
        }
    }
}

int32_t attacksOn(const Position& pos, int sq, int side) {
    if (outsideBoard(sq)) return 0;
    int32_t bits = 0;
    for (int d = 0; d < DIRECTION_COUNT; ++d) {
        const int offset = directionOffset[d];
        const int neighbour = pos.cell(sq - offset);
        if ((neighbour & 0x30) == side && stepsIn(neighbour, d)) {
            bits |= 1 << d;
            continue;
        }
        const int code = pos.cell(firstOccupiedBehind(pos, sq, offset));
        if ((code & 0x30) == side && slidesIn(code, d)) bits |= 1 << (SLIDE_BIT_BASE + d);
    }
    return bits;
}

namespace {

// The first piece on each line from the king of side, pinned (a piece of
// side) or able to uncover a check on that king (a piece of the other side)
// when a slider of the other side stands behind it. Either table may be
// null; the other side's pieces are noted only for the defender's king.
void scanKingLines(const Position& pos, int side, PinTable pins, PinTable discoveries) {
    const int king = pos.kingSquareOf(side);
    if (king == 0) return;
    const int32_t* enemyMap = pos.attacksOf(otherSide(side));
    for (int d = 0; d < 8; ++d) {
        const int offset = directionOffset[d];
        const int p = firstOccupiedBehind(pos, king, offset);
        const int code = pos.cell(p);
        if (code == WALL || !(enemyMap[p] & (1 << (SLIDE_BIT_BASE + d)))) continue;
        if (pins && (code & side)) pins[p] = offset;
        if (discoveries && (code & 0x30) == otherSide(side)) discoveries[p] = offset;
    }
}

void clearLines(PinTable table) {
    for (int sq = SQUARE_MIN; sq <= SQUARE_MAX; ++sq) table[sq] = 0;
}

}  // namespace

void findPins(const Position& pos, PinTable pins) {
    clearLines(pins);
    scanKingLines(pos, ATTACKER, pins, nullptr);
    scanKingLines(pos, DEFENDER, pins, nullptr);
}

void findDiscoveries(const Position& pos, PinTable table) {
    clearLines(table);
    scanKingLines(pos, DEFENDER, nullptr, table);
}

void findPinsAndDiscoveries(const Position& pos, PinTable pins, PinTable discoveries) {
    clearLines(pins);
    clearLines(discoveries);
    scanKingLines(pos, ATTACKER, pins, nullptr);
    scanKingLines(pos, DEFENDER, pins, discoveries);
}

int32_t attacksOnUnpinned(const Position& pos, int sq, int side, const PinTable pins) {
    if (sq < SQUARE_MIN || sq > SQUARE_MAX || rankOf(sq) == 0) return 0;
    int32_t bits = 0;
    for (int d = 0; d < DIRECTION_COUNT; ++d) {
        const int offset = directionOffset[d];
        const int from = sq - offset;
        const int neighbour = pos.cell(from);
        if ((neighbour & 0x30) == side && stepsIn(neighbour, d)) {
            if (pinAllows(pins, from, offset)) bits |= 1 << d;
            continue;
        }
        const int p = firstOccupiedBehind(pos, sq, offset);
        const int code = pos.cell(p);
        if ((code & 0x30) == side && slidesIn(code, d) && pinAllows(pins, p, offset))
            bits |= 1 << (SLIDE_BIT_BASE + d);
    }
    return bits;
}
