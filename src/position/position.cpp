#include "position/position.h"

#include "position/attacks.h"
#include "position/hash_keys.h"
#include "position/rules.h"

void setUpPosition(Position& pos, const uint8_t diagram[81], const int32_t handCounts[HAND_SLOTS], int side) {
    pos.lastMove = Move{};
    for (uint8_t& c : pos.board) c = WALL;

    pos.attackerKingSquare = pos.defenderKingSquare = 0;
    pos.attackerBoardCount = pos.defenderBoardCount = 0;
    pos.attackerHandCount = pos.defenderHandCount = 0;
    pos.ply = 0;
    pos.openChildCount = 0;

    ensureHashTables();

    pos.positionKey = pos.handKey = pos.boardKey = 0;
    pos.children = nullptr;
    pos.repetitionChecked = 0;

    for (int rank = 1; rank <= 9; ++rank) {
        for (int file = 1; file <= 9; ++file) {
            const int sq = makeSquare(file, rank);
            const int code = diagram[diagramIndex(file, rank)];
            pos.cell(sq) = uint8_t(code);
            pos.boardKey ^= hashTables.boardKeys[boardKeyRow(code)][sq];
            if (code == ATTACKER_KING) pos.attackerKingSquare = sq;
            if (code == DEFENDER_KING) pos.defenderKingSquare = sq;
            if (code != EMPTY) {
                if (code & ATTACKER) ++pos.attackerBoardCount;
                if (code & DEFENDER) ++pos.defenderBoardCount;
            }
        }
    }

    for (int code = 17; code <= 39; ++code) {
        const int n = handCounts[code];
        pos.hand[code] = n;
        if (code <= 23) pos.attackerHandCount += n;
        if (code >= 33) pos.defenderHandCount += n;
        for (int i = 1; i <= n; ++i) pos.handKey ^= hashTables.handKeys[code - 17][i];
    }

    pos.sideToMove = uint8_t(side);
    pos.positionKey = withSideBit(pos.boardKey ^ pos.handKey, side);
    computeAttackMaps(pos);
}

void resetSearchFields(Position& pos) {
    pos.proofThreshold = pos.disproofThreshold = LARGEST_FINITE;
    pos.proofNumber = pos.disproofNumber = 1;
    pos.previousProofNumber = pos.previousDisproofNumber = 1;
    pos.searchStatus = STATUS_RUNNING;
    pos.children = nullptr;
    pos.loopDisproof = 0;
    pos.loopPly = NO_PLY;
    pos.sumAllowed = 1;
    pos.visitCount = 0;
    pos.mirrorSymmetric = computeMirrorSymmetric(pos);
}

uint8_t computeMirrorSymmetric(const Position& pos) {
    if (!ruleSwitches.symmetryDetection) return 0;
    if (pos.defenderKingSquare != 0 && fileOf(pos.defenderKingSquare) != 5) return 0;
    for (int file = 1; file <= 4; ++file)
        for (int rank = 1; rank <= 9; ++rank)
            if (pos.cell(makeSquare(file, rank)) != pos.cell(makeSquare(10 - file, rank))) return 0;
    return 1;
}
