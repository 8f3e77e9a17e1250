#include "position/expand.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>

#include "position/attacks.h"
#include "position/movegen.h"
#include "position/moves.h"
#include "position/rules.h"

namespace {

// A working copy of the generator's moves: the buffer is shared, and the
// pawn-drop condition below generates again.
struct MoveList {
    Move moves[MOVE_BUFFER_SIZE];
    int count = 0;
    void push(Move m) { moves[count++] = m; }
};

// Whether the cells from `from` (exclusive) along offset reach the king, all
// of them empty once the move from `vacated` to `occupied` is made.
bool lineReaches(const Position& node, int from, int offset, int king, int vacated, int occupied) {
    for (int s = from + offset;; s += offset) {
        if (s == king) return true;
        if (s == occupied || (node.cell(s) != EMPTY && s != vacated)) return false;
    }
}

// Whether `to` lies between `from` and the slider that reaches it along
// offset (the cells there are all empty).
bool movesTowardSlider(const Position& node, int from, int offset, int to) {
    for (int s = from - offset; node.cell(s) == EMPTY; s -= offset)
        if (s == to) return true;
    return false;
}

// Direction numbers by offset + 18 (offsets lie within -18..18), -1 where
// no direction has the offset.
struct DirectionsByOffset {
    int8_t of[37];
    constexpr DirectionsByOffset() : of{} {
        for (int8_t& d : of) d = -1;
        for (int d = 0; d < DIRECTION_COUNT; ++d) of[directionOffset[d] + 18] = int8_t(d);
    }
};
constexpr DirectionsByOffset directionsByOffset;

// The direction number whose single step goes from sq to target, -1 if none.
int stepDirection(int sq, int target) {
    const int offset = target - sq;
    return offset < -18 || offset > 18 ? -1 : directionsByOffset.of[offset + 18];
}

// Line direction numbers by the differences of file and rank (each -8..8,
// offset by 8) from one square of the board to another: the king direction
// (0..7) that leads from the one to the other, -1 when they share no rank,
// file or diagonal.
struct LinesByDifference {
    int8_t of[17][17];
    constexpr LinesByDifference() : of{} {
        for (int df = -8; df <= 8; ++df)
            for (int dr = -8; dr <= 8; ++dr) {
                const bool onLine = (df != 0 || dr != 0) && (df == 0 || dr == 0 || df == dr || df == -dr);
                const int unitStep = 16 * ((df > 0) - (df < 0)) + ((dr > 0) - (dr < 0));
                of[df + 8][dr + 8] = onLine ? directionsByOffset.of[unitStep + 18] : int8_t(-1);
            }
    }
};
constexpr LinesByDifference linesByDifference;

// The direction number (0..7) of the line from sq to target (both on the
// board), -1 when the two squares share no rank, file or diagonal. A walk
// along any other direction meets the frame before it could reach target.
int lineDirection(int sq, int target) {
    assert(isBoardSquare(sq) && isBoardSquare(target));
    return linesByDifference.of[fileOf(target) - fileOf(sq) + 8][rankOf(target) - rankOf(sq) + 8];
}

// Whether the attacker's move leaves the defender's king attacked: the
// answer of making the move on a copy and testing the defender's king, at
// the cost of a few cell reads. The defender is never in check when the
// attacker is to move, so a check can only come from the arriving piece
// itself or from a slider whose line the vacated square opens; the arriving
// piece always fills its own square, so a capture opens no line. Only the
// line through the king can carry either check, so only it is walked.
bool givesCheck(const Position& node, Move m) {
    const int king = node.defenderKingSquare;
    if (king == 0) return false;
    const int from = m.from, to = m.to;
    // A drop vacates nothing; its from byte (0..16) names a frame cell,
    // which must keep stopping the walks.
    const int vacated = isDrop(m) ? -1 : from;
    const int arriving = m.promote ? m.piece | PROMOTED : m.piece;
    const int step = stepDirection(to, king);
    if (step >= 0 && movesIn(arriving, step)) return true;
    const int line = lineDirection(to, king);
    if (line >= 0 && slidesIn(arriving, line) && lineReaches(node, to, directionOffset[line], king, vacated, to))
        return true;
    if (isDrop(m)) return false;
    // A slider of the attacker reaching the vacated square along the line
    // through the king. A piece that moves back along the slider's line
    // still blocks it.
    const int opened = lineDirection(from, king);
    if (opened < 0 || !(node.attackerAttacks[from] >> (SLIDE_BIT_BASE + opened) & 1)) return false;
    const int offset = directionOffset[opened];
    return !movesTowardSlider(node, from, offset, to) && lineReaches(node, from, offset, king, from, to);
}

// The attacker's moves when every one must give check: the candidates (or, in
// the own-king and stalemate families, all legal moves) that leave the
// defender's king attacked.
int checkingMoves(const Position& node, MoveList& list) {
    PinTable pins, discoveries;
    const uint32_t rules = ruleSwitches.RuleFlags;
    const bool allLegal = ((rules & TARGET_OWN_KING) && isInCheck(node, ATTACKER)) || (rules & GOAL_STALEMATE);
    if (allLegal)
        findPins(node, pins);
    else
        findPinsAndDiscoveries(node, pins, discoveries);
    const int n = allLegal ? generateLegalMoves(node, pins) : generateCheckCandidates(node, pins, discoveries);
    if (n <= 0) return isInCheck(node, ATTACKER) ? ATTACKER_MATED : ATTACKER_NO_MOVE;
    const Move* candidates = moveBuffer();
    for (int i = 0; i < n; ++i)
        if (givesCheck(node, candidates[i])) list.push(candidates[i]);
    return list.count;
}

// Symmetric boards: one of each mirrored pair of moves is enough.
void pruneMirrorMoves(MoveList& list) {
    int kept = 0;
    for (int i = 0; i < list.count; ++i) {
        const Move m = list.moves[i];
        if (m.from <= 89 && ((m.from >= 1 && m.from <= 80) || m.to <= 89)) list.moves[kept++] = m;
    }
    list.count = kept;
}

int squaredLength(Move m) {
    if (isDrop(m)) return 1;
    const int df = fileOf(m.to) - fileOf(m.from), dr = rankOf(m.to) - rankOf(m.from);
    return df * df + dr * dr;
}

int squaresCrossed(Move m) {
    if (isDrop(m)) return 1;
    return std::max(std::abs(fileOf(m.to) - fileOf(m.from)), std::abs(rankOf(m.to) - rankOf(m.from)));
}

// The value a restriction maximises; minimummer is the maximummer negated,
// abstinent and greedy are 0/1 choices.
int restrictionValue(const Position& node, Move m, int kind) {
    switch (kind) {
        case RESTRICTION_ABSTINENT: return node.cell(m.to) == EMPTY;
        case RESTRICTION_GREEDY: return node.cell(m.to) != EMPTY;
        case RESTRICTION_MAXIMUMMER: return squaredLength(m);
        case RESTRICTION_MINIMUMMER: return -squaredLength(m);
        case RESTRICTION_LONG_RANGE: return squaresCrossed(m);
        default: return 0;
    }
}

// Keeps the moves of the best value. Abstinent and greedy keep only the
// moves that satisfy them (value 1); a condition nothing satisfies binds
// nothing.
void applyRestriction(const Position& node, MoveList& list) {
    const int kind = ruleSwitches.restrictionKind;
    if (kind == RESTRICTION_NONE || list.count == 0) return;
    const int sides = ruleSwitches.restrictionSides;
    if (sides != (ATTACKER | DEFENDER) && sides != node.sideToMove) return;
    int best = restrictionValue(node, list.moves[0], kind);
    for (int i = 1; i < list.count; ++i) best = std::max(best, restrictionValue(node, list.moves[i], kind));
    const bool choice = kind == RESTRICTION_ABSTINENT || kind == RESTRICTION_GREEDY;
    if (choice && best == 0) return;
    int kept = 0;
    for (int i = 0; i < list.count; ++i)
        if (restrictionValue(node, list.moves[i], kind) == best) list.moves[kept++] = list.moves[i];
    list.count = kept;
}

bool isPawnDrop(Move m) { return isDrop(m) && handKindOf(m.piece) == PAWN; }

// Whether an end position reached by the goal side's move is the goal.
bool goalReachedBy(int mover, int result) {
    const uint32_t rules = ruleSwitches.RuleFlags;
    if (mover == ATTACKER) {
        if (!(rules & TARGET_DEFENDER_KING)) return false;
        return (result == DEFENDER_MATED && (rules & GOAL_MATE)) ||
               (result == DEFENDER_NO_MOVE && (rules & GOAL_STALEMATE));
    }
    if (!(rules & TARGET_OWN_KING)) return false;
    return (result == ATTACKER_MATED && (rules & GOAL_MATE)) ||
           (result == ATTACKER_NO_MOVE && (rules & GOAL_STALEMATE));
}

// Under the pawn-drop condition the goal may be reached only by a pawn drop:
// every other move that ends the problem is recorded as what it is, and a
// successful one is not offered to the search.
void applyPawnDropCondition(Position& node, ChildList& children, ExpansionListener* listener) {
    if (!ruleSwitches.dropPawnMateAllowed) return;
    const int goalSide = (ruleSwitches.RuleFlags & TARGET_DEFENDER_KING) ? ATTACKER : DEFENDER;
    if (node.sideToMove != goalSide) return;
    const int mover = node.sideToMove;
    for (Position& child : children) {
        if (isPawnDrop(child.lastMove)) continue;
        ensureAttackMaps(child);
        const int r = generateLegalMoves(child);
        if (r >= 1) continue;
        child.loopPly = NO_PLY;
        child.openTreeSize = 0;
        if (goalReachedBy(mover, r)) {
            child.proofNumber = 0;
            child.disproofNumber = INFINITE_NUMBER;
        } else {
            child.proofNumber = INFINITE_NUMBER;
            child.disproofNumber = 0;
        }
        if (listener) listener->childDecided(child);
    }
    std::erase_if(children, [](const Position& c) { return c.proofNumber == 0; });
}

}  // namespace

int expandNode(Position& node, ChildList* childList, const ExpansionOptions& options) {
    ensureAttackMaps(node);
    MoveList list;
    if (node.sideToMove == ATTACKER && ruleSwitches.checkRequired) {
        const int n = checkingMoves(node, list);
        if (n < 0) return n;
        if (n == 0) return DEFENDER_MATED;
    } else {
        const int n = generateLegalMoves(node);
        if (n <= 0) return n;
        std::copy(moveBuffer(), moveBuffer() + n, list.moves);
        list.count = n;
    }
    if (!childList) return list.count;

    if (node.mirrorSymmetric == 1 && !options.keepMirrorMoves) pruneMirrorMoves(list);
    applyRestriction(node, list);

    childList->resize(list.count);
    Position& (*const make)(const Position&, Position&, Move) =
        options.deferChildMaps ? makeChildDeferringMaps : makeChild;
    for (int i = 0; i < list.count; ++i) {
        const Position& child = make(node, (*childList)[i], list.moves[i]);
        if (options.listener) options.listener->childMade(child);
    }
    applyPawnDropCondition(node, *childList, options.listener);
    node.children = childList;
    return int(childList->size());
}
