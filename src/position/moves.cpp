#include "position/moves.h"

#include <emmintrin.h>

#include <cassert>
#include <cstring>

#include "position/attacks.h"
#include "position/hash_keys.h"
#include "position/rules.h"

namespace {

// Direction masks per piece code, derived from the movement table once, so
// the attack updates visit only the directions a piece really uses.
struct AttackShape {
    uint16_t steps;
    uint16_t slides;
};

struct AttackShapes {
    AttackShape of[64];
    AttackShapes() {
        for (int code = 0; code < 64; ++code) {
            of[code] = {};
            for (int d = 0; d < DIRECTION_COUNT; ++d) {
                if (stepsIn(code, d)) of[code].steps |= uint16_t(1u << d);
                if (slidesIn(code, d)) of[code].slides |= uint16_t(1u << d);
            }
        }
    }
};
const AttackShapes shapes;

// Only the eight neighbour directions carry slides.
constexpr int SLIDE_BITS = 0xff << SLIDE_BIT_BASE;

inline void addPieceAttacks(Position& pos, int32_t* map, int sq, int code) {
    const AttackShape s = shapes.of[code];
    for (unsigned m = s.steps; m; m &= m - 1) {
        const int d = __builtin_ctz(m);
        const int target = sq + directionOffset[d];
        if (target >= 0) map[target] |= 1 << d;  // Square -1: a knight on 1一
    }
    for (unsigned m = s.slides; m; m &= m - 1) {
        const int d = __builtin_ctz(m);
        const int offset = directionOffset[d];
        const int32_t bit = 1 << (SLIDE_BIT_BASE + d);
        int c = sq + offset;
        for (;;) {
            map[c] |= bit;
            if (pos.cell(c) != EMPTY) break;
            c += offset;
        }
    }
}

// The exact inverse of addPieceAttacks on the same board.
inline void removePieceAttacks(Position& pos, int32_t* map, int sq, int code) {
    const AttackShape s = shapes.of[code];
    for (unsigned m = s.steps; m; m &= m - 1) {
        const int d = __builtin_ctz(m);
        const int target = sq + directionOffset[d];
        if (target >= 0) map[target] &= ~(1 << d);
    }
    for (unsigned m = s.slides; m; m &= m - 1) {
        const int d = __builtin_ctz(m);
        const int offset = directionOffset[d];
        const int32_t bit = 1 << (SLIDE_BIT_BASE + d);
        int c = sq + offset;
        for (;;) {
            map[c] &= ~bit;
            if (pos.cell(c) != EMPTY) break;
            c += offset;
        }
    }
}

// sq has just become empty: every slide that stopped on it runs on to the
// next occupied cell.
inline void extendSlidesThrough(Position& pos, int32_t* map, int sq) {
    for (unsigned m = unsigned(map[sq] & SLIDE_BITS) >> SLIDE_BIT_BASE; m; m &= m - 1) {
        const int d = __builtin_ctz(m);
        const int offset = directionOffset[d];
        const int32_t bit = 1 << (SLIDE_BIT_BASE + d);
        int c = sq + offset;
        for (;;) {
            map[c] |= bit;
            if (pos.cell(c) != EMPTY) break;
            c += offset;
        }
    }
}

// sq (still empty on the board) is about to be occupied: every slide that
// passed over it now stops there.
inline void cutSlidesAt(Position& pos, int32_t* map, int sq) {
    for (unsigned m = unsigned(map[sq] & SLIDE_BITS) >> SLIDE_BIT_BASE; m; m &= m - 1) {
        const int d = __builtin_ctz(m);
        const int offset = directionOffset[d];
        const int32_t bit = 1 << (SLIDE_BIT_BASE + d);
        int c = sq + offset;
        for (;;) {
            map[c] &= ~bit;
            if (pos.cell(c) != EMPTY) break;
            c += offset;
        }
    }
}

inline int32_t& boardCountOf(Position& pos, int side) {
    return side == ATTACKER ? pos.attackerBoardCount : pos.defenderBoardCount;
}
inline int32_t& handCountOf(Position& pos, int side) {
    return side == ATTACKER ? pos.attackerHandCount : pos.defenderHandCount;
}

// A copy of a whole number of 16-byte blocks in plain vector moves: for the
// few hundred bytes of a child record that is quicker than the string
// instruction a memcpy of that size becomes.
template <size_t BYTES>
inline void copyBlocks(unsigned char* to, const unsigned char* from) {
    static_assert(BYTES % 16 == 0);
    for (size_t i = 0; i < BYTES; i += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)));
}

constexpr size_t MAPS_BEGIN = offsetof(Position, attackerAttacks);
constexpr size_t MAPS_END = offsetof(Position, hand);
static_assert(offsetof(Position, defenderAttacks) + sizeof(Position::defenderAttacks) == MAPS_END);

inline int arrivingCode(Move move) { return move.promote ? move.piece | PROMOTED : move.piece; }

// The move's effect on the board cells and on both attack maps. The board
// must stand as before the move; `old` is what stood on the target. The
// updates are interleaved with the two cell writes because each walk reads
// the board in the state it is defined on.
void playOnBoardAndMaps(Position& pos, int side, Move move, int old) {
    const int from = move.from, to = move.to;
    int32_t* const ownMap = pos.attacksOf(side);
    if (!isDrop(move)) {
        removePieceAttacks(pos, ownMap, from, move.piece);
        pos.cell(from) = EMPTY;
        extendSlidesThrough(pos, pos.attackerAttacks, from);
        extendSlidesThrough(pos, pos.defenderAttacks, from);
    }
    if (old != EMPTY) {
        removePieceAttacks(pos, pos.attacksOf(otherSide(side)), to, old);
    } else {
        cutSlidesAt(pos, pos.attackerAttacks, to);
        cutSlidesAt(pos, pos.defenderAttacks, to);
    }
    const int arriving = arrivingCode(move);
    pos.cell(to) = uint8_t(arriving);
    addPieceAttacks(pos, ownMap, to, arriving);
}

// The same two cell writes without the maps.
void playOnBoard(Position& pos, Move move) {
    if (!isDrop(move)) pos.cell(move.from) = EMPTY;
    pos.cell(move.to) = uint8_t(arrivingCode(move));
}

void takePiece(Position& pos, int side, int to, int captured) {
    --boardCountOf(pos, otherSide(side));
    const int kind = handKindOf(captured);
    if (kind == 0) {
        // A king: only a diagram with two kings of one side, or one whose
        // side not to move stands in check, lets a king be taken. A king has
        // no hand slot or hand key, so it just leaves the board; the king
        // square must not keep pointing at the square.
        if (captured == ATTACKER_KING && pos.attackerKingSquare == to) pos.attackerKingSquare = 0;
        if (captured == DEFENDER_KING && pos.defenderKingSquare == to) pos.defenderKingSquare = 0;
        return;
    }
    const int h = kind | side;
    ++pos.hand[h];
    ++handCountOf(pos, side);
    pos.handKey ^= hashTables.handKeys[h - 17][pos.hand[h]];
}

// Everything a move changes besides the board cells and the attack maps:
// hands, counts, king squares, keys, ply and side. `old` is what stood on
// the target.
void recordMove(Position& pos, Move move, int old) {
    const int side = pos.sideToMove;
    const int from = move.from, to = move.to, piece = move.piece;
    const int ply = pos.ply;
    assert(ply < MAX_PLY_KEYS);
    if (isDrop(move)) {
        pos.handKey ^= hashTables.handKeys[piece - 17][pos.hand[piece]];
        --pos.hand[piece];
        ++boardCountOf(pos, side);
        --handCountOf(pos, side);
    } else {
        pos.boardKey ^= hashTables.boardKeys[piece][from] ^ hashTables.boardKeys[EMPTY][from];
    }
    if (old != EMPTY) takePiece(pos, side, to, old);
    pos.boardKey ^= hashTables.boardKeys[old][to] ^ hashTables.boardKeys[arrivingCode(move)][to];

    if (piece == ATTACKER_KING) pos.attackerKingSquare = to;
    if (piece == DEFENDER_KING) pos.defenderKingSquare = to;

    const uint64_t key = hashTables.moveFromKeys[moveKeyRow(from)][ply] ^ hashTables.moveToKeys[moveKeyRow(to)][ply] ^
                         hashTables.movePromoteKeys[move.promote][ply] ^ hashTables.movePieceKeys[piece][ply];
    pos.pathKey ^= key;
    pos.lastMoveKey = key;
    pos.ply = int16_t(ply + 1);
    pos.sideToMove = uint8_t(otherSide(side));
    pos.positionKey = withSideBit(pos.boardKey ^ pos.handKey, pos.sideToMove);
    pos.lastMove = move;
}

}  // namespace

void makeMove(Position& pos, Move move) {
    const int old = pos.cell(move.to);
    playOnBoardAndMaps(pos, pos.sideToMove, move, old);
    recordMove(pos, move, old);
}

void ensureAttackMaps(Position& pos) {
    if (!pos.attackMapsPending) return;
    // The parent is alive and complete: a deferred child is only ever
    // expanded below the parent that made it.
    const Position& parent = *pos.parent;
    std::memcpy(pos.attackerAttacks, parent.attackerAttacks, sizeof pos.attackerAttacks);
    std::memcpy(pos.defenderAttacks, parent.defenderAttacks, sizeof pos.defenderAttacks);
    const Move move = pos.lastMove;
    const int old = parent.cell(move.to);
    if (!isDrop(move)) pos.cell(move.from) = move.piece;
    pos.cell(move.to) = uint8_t(old);
    playOnBoardAndMaps(pos, parent.sideToMove, move, old);
    pos.attackMapsPending = 0;
}

namespace {

// The interposed piece can be taken for nothing: nothing of the defender
// guards it, or only the king guards it from next door while the attacker
// has two pieces on it.
// A drop changes neither map on its own square (its walks start next to
// it), so the parent's maps answer for the child's.
bool isFutileInterposition(const Position& parent, Move move) {
    if (ruleSwitches.RuleFlags != ORTHODOX_RULES) return false;
    if (parent.sideToMove != DEFENDER || !isDrop(move)) return false;
    const int king = parent.defenderKingSquare;
    if (king == 0 || parent.attackerAttacks[king] == 0) return false;
    const int t = move.to;
    const int32_t guards = parent.defenderAttacks[t];
    if (guards == 0) return true;
    if (__builtin_popcount(unsigned(guards)) != 1) return false;
    const int fileDistance = fileOf(t) > fileOf(king) ? fileOf(t) - fileOf(king) : fileOf(king) - fileOf(t);
    const int rankDistance = rankOf(t) > rankOf(king) ? rankOf(t) - rankOf(king) : rankOf(king) - rankOf(t);
    const bool kingAdjacent = (fileDistance > rankDistance ? fileDistance : rankDistance) == 1;
    return kingAdjacent && __builtin_popcount(unsigned(parent.attackerAttacks[t])) >= 2;
}

}  // namespace

namespace {

// The search state of a new child.
void startChild(const Position& parent, Position& child, Move move) {
    // The record's parent link is non-const by layout; nothing here writes
    // through it.
    child.parent = const_cast<Position*>(&parent);

    child.searchStatus = STATUS_RUNNING;
    child.visitCount = 0;
    child.children = nullptr;
    child.proofNumber = child.disproofNumber = 1;
    child.previousProofNumber = child.previousDisproofNumber = 1;
    child.loopPly = child.shallowestPly = NO_PLY;
    child.proofThreshold = child.disproofThreshold = LARGEST_FINITE;
    child.loopDisproof = 0;
    child.onIntendedLine = 0;
    child.openTreeSize = child.treeSize = 1;
    child.killerMove = 0;
    child.sumAllowed = 1;
    child.futileDrop = 0;
    child.interpositionRole = INTERPOSITION_NONE;
    child.interpositionSquare = 0;
    child.futileMateLength = 0;
    child.repetitionChecked = 0;

    child.mirrorSymmetric = computeMirrorSymmetric(child);
    if (isFutileInterposition(parent, move)) child.futileDrop = 1;
}

}  // namespace

Position& makeChild(const Position& parent, Position& child, Move move) {
    // A plain copy gives the same bytes as zero-filling first and copying.
    std::memcpy(static_cast<void*>(&child), &parent, sizeof(Position));
    makeMove(child, move);
    startChild(parent, child, move);
    return child;
}

Position& makeChildDeferringMaps(const Position& parent, Position& child, Move move) {
    // Everything but the maps; they stay unwritten until ensureAttackMaps.
    const auto* from = reinterpret_cast<const unsigned char*>(&parent);
    auto* to = reinterpret_cast<unsigned char*>(static_cast<void*>(&child));
    copyBlocks<MAPS_BEGIN>(to, from);
    copyBlocks<sizeof(Position) - MAPS_END>(to + MAPS_END, from + MAPS_END);
    const int old = parent.cell(move.to);
    playOnBoard(child, move);
    recordMove(child, move, old);
    child.attackMapsPending = 1;
    startChild(parent, child, move);
    return child;
}

namespace {

// Hand saving: the side whose hand is compared has not gained any piece.
bool handNoLarger(const Position& node, const Position& earlier) {
    const int first = ruleSwitches.RuleFlags == (PLAY_BEST | TARGET_OWN_KING | GOAL_MATE) ? DEFENDER | PAWN : ATTACKER | PAWN;
    for (int code = first; code <= first + (ROOK - PAWN); ++code)
        if (node.hand[code] > earlier.hand[code]) return false;
    return true;
}

const Position* grandparentOf(const Position* p) { return p->parent ? p->parent->parent : nullptr; }

}  // namespace

const Position* findRepetition(const Position& node, int16_t minPly) {
    if (minPly < 0) minPly = 0;
    for (const Position* a = grandparentOf(&node); a; a = grandparentOf(a)) {
        if (a->ply < minPly) return nullptr;
        if (a->positionKey == node.positionKey) return a;
        if (ruleSwitches.handSaving && a->boardKey == node.boardKey && a->sideToMove == node.sideToMove &&
            node.ply >= a->ply && handNoLarger(node, *a))
            return a;
    }
    return nullptr;
}
