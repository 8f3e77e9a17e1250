// Check evasions. The generator is exact: every move it returns leaves the
// king out of check.
#include "position/movegen.h"
#include "position/movegen_detail.h"
#include "position/rules.h"

using namespace movegen_detail;

void generateKingMoves(const Position& pos, int side, int32_t checkBits) {
    const int king = pos.kingSquareOf(side);
    if (king == 0) return;
    const int code = pos.cell(king);
    const int32_t* enemyMap = pos.attacksOf(otherSide(side));
    // An adjacent stepping checker is taken first.
    const int first = (checkBits & 0xff) ? __builtin_ctz(unsigned(checkBits & 0xff)) : -1;
    auto tryStep = [&](int j) {
        const int t = king - directionOffset[j];
        if (!isTarget(pos.cell(t), side)) return;
        // The maps are exact with the king still on its square. A slider
        // checking along the line the king would move on still reaches the
        // square behind the king, which the king itself hides on the board.
        if (enemyMap[t] != 0) return;
        if (checkBits & (1 << (SLIDE_BIT_BASE + 7 - j))) return;
        emit(king, t, code, 0);
    };
    if (first >= 0) tryStep(first);
    for (int j = 0; j < 8; ++j)
        if (j != first) tryStep(j);
}

void generateMovesTo(const Position& pos, int side, int sq, const int32_t* pins) {
    // The side's attack word on sq names, direction by direction, the piece
    // next door that steps there or the slider whose line reaches it; the
    // directions are taken in their numbered order.
    const int32_t bits = pos.attacksOf(side)[sq];
    const unsigned steps = unsigned(bits) & 0xFFF;
    for (unsigned m = steps | (unsigned(bits) >> SLIDE_BIT_BASE & 0xFFF); m; m &= m - 1) {
        const int d = __builtin_ctz(m);
        const int offset = directionOffset[d];
        int from = sq - offset;
        if (steps >> d & 1) {
            if (kindOf(pos.cell(from)) == KING) continue;
        } else {
            while (pos.cell(from) == EMPTY) from -= offset;
        }
        // A pinned piece stays on its line; for the squares asked here this
        // keeps every pinned piece out (its line and the check line meet
        // only at the king).
        if (!pinAllows(pins[from], offset)) continue;
        emitBoardMove(side, pos.cell(from), from, sq);
    }
}

void generateDropsTo(const Position& pos, int side, int sq, const int32_t* pins) {
    const int e = side == ATTACKER ? rankOf(sq) : 10 - rankOf(sq);
    for (int kind : {ROOK, BISHOP, GOLD, SILVER})
        if (pos.hand[side | kind] > 0) emit(0, sq, side | kind, 0);
    if (pos.hand[side | KNIGHT] > 0 && e > 2) emit(0, sq, side | KNIGHT, 0);
    if (pos.hand[side | LANCE] > 0 && e > 1) emit(0, sq, side | LANCE, 0);
    if (pos.hand[side | PAWN] > 0 && e > 1) {
        const int pawn = side | PAWN;
        const int file = fileOf(sq);
        for (int rank = 1; rank <= 9; ++rank)
            if (pos.cell(makeSquare(file, rank)) == pawn) return;
        if (!ruleSwitches.dropPawnMateAllowed) {
            PinTable ownPins;
            if (!pins) {
                findPins(pos, ownPins);
                pins = ownPins;
            }
            if (isPawnDropMate(pos, side, sq, pins)) return;
        }
        emit(0, sq, pawn, 0);
    }
}

int generateEvasions(const Position& pos, int32_t checkBits, const int32_t* pins) {
    count = 0;
    const int side = pos.sideToMove;
    const int king = pos.kingSquareOf(side);
    if (king == 0) return 0;
    if (checkBits & (checkBits - 1)) {  // double check: only the king can answer
        generateKingMoves(pos, side, checkBits);
        return count;
    }
    const int i = __builtin_ctz(unsigned(checkBits));
    const bool sliding = i >= SLIDE_BIT_BASE;
    const int lineOffset = sliding ? directionOffset[i - SLIDE_BIT_BASE] : 0;
    int checker;
    if (sliding) {
        checker = king - lineOffset;
        while (pos.cell(checker) == EMPTY) checker -= lineOffset;
    } else {
        checker = king - directionOffset[i];
    }
    generateMovesTo(pos, side, checker, pins);
    generateKingMoves(pos, side, checkBits);
    if (sliding) {
        // Interpositions, the square next to the king first: board moves on
        // every square, then drops on every square.
        for (int s = king - lineOffset; s != checker; s -= lineOffset) generateMovesTo(pos, side, s, pins);
        for (int s = king - lineOffset; s != checker; s -= lineOffset) generateDropsTo(pos, side, s, pins);
    }
    return count;
}
