#include "position/movegen.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstring>

#include "position/movegen_detail.h"
#include "position/rules.h"

namespace movegen_detail {
Move buffer[MOVE_BUFFER_SIZE];
int count = 0;
}  // namespace movegen_detail

using namespace movegen_detail;

const Move* moveBuffer() { return buffer; }
int moveBufferCount() { return count; }
void clearMoveBuffer() { count = 0; }

namespace {

// The order in which a piece's moves are produced: its steps (target offsets)
// first, then its rays, each ray nearest square first.
struct MovePlan {
    int8_t steps[8];
    int8_t rays[4];
    uint8_t stepCount;
    uint8_t rayCount;
};

constexpr int8_t BISHOP_RAYS[] = {17, -17, 15, -15};
constexpr int8_t ROOK_RAYS[] = {1, -1, -16, 16};

struct MovePlans {
    MovePlan of[64];

    void set(int code, std::initializer_list<int> steps, const int8_t* rays = nullptr) {
        MovePlan& p = of[code];
        for (int s : steps) p.steps[p.stepCount++] = int8_t(s);
        if (rays)
            for (int i = 0; i < 4; ++i) p.rays[p.rayCount++] = rays[i];
    }
    void setRay(int code, int ray) { of[code].rays[of[code].rayCount++] = int8_t(ray); }

    MovePlans() : of{} {
        set(ATTACKER | PAWN, {-1});
        setRay(ATTACKER | LANCE, -1);
        set(ATTACKER | KNIGHT, {14, -18});
        set(ATTACKER | SILVER, {-1, -17, 15, 17, -15});
        for (int code : {21, 25, 26, 27, 28, 29}) set(code, {-1, -17, 15, 1, -16, 16});
        set(DEFENDER | PAWN, {1});
        setRay(DEFENDER | LANCE, 1);
        set(DEFENDER | KNIGHT, {-14, 18});
        set(DEFENDER | SILVER, {1, 17, -15, -17, 15});
        for (int code : {37, 41, 42, 43, 44, 45}) set(code, {1, 17, -15, -1, -16, 16});
        for (int side : {ATTACKER, DEFENDER}) {
            set(side | BISHOP, {}, BISHOP_RAYS);
            set(side | ROOK, {}, ROOK_RAYS);
            set(side | HORSE, {1, 16, -16, -1}, BISHOP_RAYS);
            set(side | DRAGON, {17, -15, -17, 15}, ROOK_RAYS);
        }
    }
};
const MovePlans plans;

// King steps in the order of the direction numbers: target = K - offset[j].
inline void emitKingSteps(const Position& pos, int side, int king, int code) {
    const int32_t* enemyMap = pos.attacksOf(otherSide(side));
    for (int j = 0; j < 8; ++j) {
        const int t = king - directionOffset[j];
        // The maps are exact with the king still on its square, which is the
        // board the safety test is defined on.
        if (isTarget(pos.cell(t), side) && enemyMap[t] == 0) emit(king, t, code, 0);
    }
}

// The cells of one file, ranks 0..15 (rank 0 and 10..15 are frame), as one
// 16-byte row: the board keeps a file's cells side by side.
inline __m128i fileRow(const Position& pos, int file) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(&pos.board[16 * file + 16]));
}

constexpr unsigned BOARD_RANKS = 0x3FE;  // bits 1..9
inline unsigned ranksBetween(int firstRank, int lastRank) {
    return firstRank > lastRank ? 0 : ((2u << lastRank) - 1) & ~((1u << firstRank) - 1);
}
inline unsigned matchingRanks(__m128i cells, __m128i value) {
    return unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(cells, value))) & BOARD_RANKS;
}
// Bit r set when rank r of the file holds a piece of side.
inline unsigned ownPieceRanks(const Position& pos, int file, int side) {
    return matchingRanks(_mm_and_si128(fileRow(pos, file), _mm_set1_epi8(0x30)), _mm_set1_epi8(char(side)));
}
inline unsigned emptyRanks(const Position& pos, int file) {
    return matchingRanks(fileRow(pos, file), _mm_setzero_si128());
}

// Calls visit(sq) for each rank bit set, nearest rank 1 first.
template <typename Visit>
inline void forRanks(int file, unsigned ranks, Visit&& visit) {
    for (; ranks; ranks &= ranks - 1) visit(makeSquare(file, __builtin_ctz(ranks)));
}

// The empty squares within ranks firstRank..lastRank, files 1..9 outer, ranks inner.
template <typename Emit>
inline void forEmptySquares(const Position& pos, int firstRank, int lastRank, Emit&& emitAt) {
    const unsigned wanted = ranksBetween(firstRank, lastRank);
    for (int file = 1; file <= 9; ++file) forRanks(file, emptyRanks(pos, file) & wanted, emitAt);
}

// Bit f set when the side has an unpromoted pawn on file f.
inline unsigned filesWithPawn(const Position& pos, int side) {
    unsigned files = 0;
    const __m128i pawn = _mm_set1_epi8(char(side | PAWN));
    for (int file = 1; file <= 9; ++file)
        if (matchingRanks(fileRow(pos, file), pawn)) files |= 1u << file;
    return files;
}

void generateAllDrops(const Position& pos, int side, const int32_t* pins) {
    // Ranks on which a knight, lance or pawn still has a move afterwards.
    const int knightFirst = side == ATTACKER ? 3 : 1, knightLast = side == ATTACKER ? 9 : 7;
    const int lanceFirst = side == ATTACKER ? 2 : 1, lanceLast = side == ATTACKER ? 9 : 8;
    for (int kind : {ROOK, BISHOP, GOLD, SILVER}) {
        const int code = side | kind;
        if (pos.hand[code] > 0) forEmptySquares(pos, 1, 9, [&](int sq) { emit(0, sq, code, 0); });
    }
    if (pos.hand[side | KNIGHT] > 0)
        forEmptySquares(pos, knightFirst, knightLast, [&](int sq) { emit(0, sq, side | KNIGHT, 0); });
    if (pos.hand[side | LANCE] > 0)
        forEmptySquares(pos, lanceFirst, lanceLast, [&](int sq) { emit(0, sq, side | LANCE, 0); });
    if (pos.hand[side | PAWN] > 0) {
        const unsigned blocked = filesWithPawn(pos, side);
        const bool mateAllowed = ruleSwitches.dropPawnMateAllowed;
        forEmptySquares(pos, lanceFirst, lanceLast, [&](int sq) {
            if (blocked & (1u << fileOf(sq))) return;
            if (!mateAllowed && isPawnDropMate(pos, side, sq, pins)) return;
            emit(0, sq, side | PAWN, 0);
        });
    }
}

inline int absolute(int v) { return v < 0 ? -v : v; }

// Whether the candidate generator may leave out the board moves of a piece
// that uncovers no check: it stands too far from the king to give one.
bool tooFarToCheck(int code, int sq, int king) {
    const int f = fileOf(sq), r = rankOf(sq);
    const int kf = fileOf(king), kr = rankOf(king);
    switch (code) {
    case ATTACKER | PAWN:
        return !(sq == king + 2 || (kr <= 3 && absolute(f - kf) <= 1 && kr + 1 <= r && r <= kr + 2));
    case ATTACKER | LANCE: return !(f == kf || (absolute(f - kf) <= 1 && kr <= 3));
    case ATTACKER | SILVER:
    case ATTACKER | GOLD:
    case ATTACKER | PAWN | PROMOTED:
    case ATTACKER | LANCE | PROMOTED:
    case ATTACKER | KNIGHT | PROMOTED:
    case ATTACKER | SILVER | PROMOTED: return absolute(f - kf) > 2;
    default: return false;
    }
}

// Drops of the attacker that can give check by geometry, each kind on the
// empty squares of its lines through the king, files 1..9 outer and ranks
// inner. Without a defender king the lines are taken through Square 0 (file
// 0, rank 0) like through any other square.
void generateCandidateDrops(const Position& pos, const int32_t* pins) {
    const int king = pos.defenderKingSquare;
    const int kf = fileOf(king), kr = rankOf(king);
    auto bit = [](int rank) { return rank >= 1 && rank <= 9 ? 1u << rank : 0u; };
    // ranksOn(file): the wanted ranks of that file.
    auto dropsOn = [&](int code, int firstFile, int lastFile, auto&& ranksOn) {
        if (pos.hand[code] <= 0) return;
        for (int file = std::max(firstFile, 1); file <= std::min(lastFile, 9); ++file)
            forRanks(file, ranksOn(file) & emptyRanks(pos, file), [&](int sq) { emit(0, sq, code, 0); });
    };
    dropsOn(ATTACKER | ROOK, 1, 9, [&](int f) { return f == kf ? BOARD_RANKS : bit(kr); });
    dropsOn(ATTACKER | BISHOP, 1, 9, [&](int f) { return bit(kf + kr - f) | bit(f - kf + kr); });
    const unsigned besideKing = ranksBetween(std::max(kr - 1, 1), std::min(kr + 1, 9));
    dropsOn(ATTACKER | GOLD, kf - 1, kf + 1, [&](int) { return besideKing; });
    dropsOn(ATTACKER | SILVER, kf - 1, kf + 1, [&](int) { return besideKing; });
    dropsOn(ATTACKER | KNIGHT, kf - 1, kf + 1, [&](int f) { return f != kf && kr + 2 >= 3 ? bit(kr + 2) : 0u; });
    dropsOn(ATTACKER | LANCE, kf, kf, [&](int) { return ranksBetween(std::max(kr + 1, 1), 9); });
    if (pos.hand[ATTACKER | PAWN] > 0 && kr + 1 >= 1 && kr + 1 <= 9 && kf >= 1) {
        const int sq = makeSquare(kf, kr + 1);
        const bool blocked = filesWithPawn(pos, ATTACKER) & (1u << kf);
        if (pos.cell(sq) == EMPTY && !blocked &&
            (ruleSwitches.dropPawnMateAllowed || !isPawnDropMate(pos, ATTACKER, sq, pins)))
            emit(0, sq, ATTACKER | PAWN, 0);
    }
}

}  // namespace

void generatePieceMoves(const Position& pos, int side, int sq, int pin) {
    const int code = pos.cell(sq);
    if (kindOf(code) == KING) {
        emitKingSteps(pos, side, sq, code);
        return;
    }
    const MovePlan& plan = plans.of[code];
    for (int i = 0; i < plan.stepCount; ++i) {
        const int offset = plan.steps[i];
        if (!pinAllows(pin, offset)) continue;
        const int t = sq + offset;
        if (isTarget(pos.cell(t), side)) emitBoardMove(side, code, sq, t);
    }
    for (int i = 0; i < plan.rayCount; ++i) {
        const int offset = plan.rays[i];
        if (!pinAllows(pin, offset)) continue;
        int t = sq + offset;
        while (pos.cell(t) == EMPTY) {
            emitBoardMove(side, code, sq, t);
            t += offset;
        }
        if (isTarget(pos.cell(t), side)) emitBoardMove(side, code, sq, t);
    }
}

bool isPawnDropMate(const Position& pos, int side, int sq, const int32_t* pins) {
    const int opponent = otherSide(side);
    const int king = pos.kingSquareOf(opponent);
    if (king == 0) return false;
    if (side == ATTACKER ? sq != king + 1 : king != sq + 1) return false;

    // The pawn must be guarded, and only the king may take it.
    if (pos.attacksOf(side)[sq] == 0) return false;
    PinTable ownPins;
    if (!pins) {
        findPins(pos, ownPins);
        pins = ownPins;
    }
    const int32_t kingStepBit = side == ATTACKER ? 1 << 1 : 1 << 6;
    if (attacksOnUnpinned(pos, sq, opponent, pins) != kingStepBit) return false;

    // Every square next to the king must be closed to it with the pawn in
    // place. The pawn can cut a line onto those squares, so the test runs on
    // a copy of the board with the pawn on it (rare: a guarded pawn right in
    // front of the king that nothing else can take).
    // attacksOn reads nothing but the board, so only the board is copied.
    Position withPawn;
    std::memcpy(withPawn.board, pos.board, sizeof pos.board);
    withPawn.cell(sq) = uint8_t(side | PAWN);
    for (int d = 0; d < 8; ++d) {
        const int n = king + directionOffset[d];
        const int code = withPawn.cell(n);
        if (code & opponent) continue;  // the king's own piece or a wall
        if (attacksOn(withPawn, n, side) == 0) return false;
    }
    return true;
}

int generateLegalMoves(const Position& pos, const int32_t* pins) {
    PinTable ownPins;
    if (!pins) {
        findPins(pos, ownPins);
        pins = ownPins;
    }
    const int side = pos.sideToMove;
    const int king = pos.kingSquareOf(side);
    if (king != 0) {
        const int32_t checkBits = pos.attacksOf(otherSide(side))[king];
        if (checkBits != 0) {
            const int n = generateEvasions(pos, checkBits, pins);
            return side == ATTACKER && n == 0 ? ATTACKER_MATED : n;
        }
    }
    count = 0;
    for (int file = 1; file <= 9; ++file)
        forRanks(file, ownPieceRanks(pos, file, side), [&](int sq) { generatePieceMoves(pos, side, sq, pins[sq]); });
    generateAllDrops(pos, side, pins);
    if (count == 0) return side == ATTACKER ? ATTACKER_NO_MOVE : DEFENDER_NO_MOVE;
    return count;
}

int generateCheckCandidates(const Position& pos, const int32_t* pins, const int32_t* discoveries) {
    PinTable ownPins, ownDiscoveries;
    if (!pins) {
        findPinsAndDiscoveries(pos, ownPins, ownDiscoveries);
        pins = ownPins;
        discoveries = ownDiscoveries;
    }
    const int ownKing = pos.attackerKingSquare;
    if (ownKing != 0 && pos.defenderAttacks[ownKing] != 0) {
        const int n = generateEvasions(pos, pos.defenderAttacks[ownKing], pins);
        return n == 0 ? ATTACKER_MATED : n;
    }
    if (!discoveries) {
        findDiscoveries(pos, ownDiscoveries);
        discoveries = ownDiscoveries;
    }
    const int king = pos.defenderKingSquare;
    count = 0;
    for (int file = 1; file <= 9; ++file)
        forRanks(file, ownPieceRanks(pos, file, ATTACKER), [&](int sq) {
            if (discoveries[sq] == 0 && tooFarToCheck(pos.cell(sq), sq, king)) return;
            generatePieceMoves(pos, ATTACKER, sq, pins[sq]);
        });
    generateCandidateDrops(pos, pins);
    return count;
}
