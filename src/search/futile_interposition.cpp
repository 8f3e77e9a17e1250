#include "search/futile_interposition.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "position/expand.h"
#include "position/hash_keys.h"
#include "position/moves.h"
#include "position/rules.h"
#include "search/position_table.h"
#include "search/search.h"

namespace {

int kingDistance(int a, int b) { return std::max(std::abs(fileOf(a) - fileOf(b)), std::abs(rankOf(a) - rankOf(b))); }

// The line of a single check by a slider that does not stand next to the
// king: the step from the king towards the checker and the checker's square.
struct CheckLine {
    int step = 0;
    int checker = 0;
};

bool findSlidingCheck(const Position& node, CheckLine& line) {
    const int king = node.defenderKingSquare;
    if (king == 0) return false;
    const int32_t bits = node.attackerAttacks[king];
    if (bits == 0 || (bits & (bits - 1)) != 0) return false;  // no check, or a double check
    const int i = __builtin_ctz(unsigned(bits));
    if (i < SLIDE_BIT_BASE) return false;
    // An attack bit of direction d comes from the squares at -offset(d).
    line.step = -directionOffset[i - SLIDE_BIT_BASE];
    line.checker = king + line.step;
    while (node.cell(line.checker) == EMPTY) line.checker += line.step;
    return line.checker != king + line.step;
}

bool isBetween(const CheckLine& line, int king, int sq) {
    for (int s = king + line.step; s != line.checker; s += line.step)
        if (s == sq) return true;
    return false;
}

// The king's own step bit in an attack word on sq, 0 when the king is not
// next to sq.
int32_t kingStepBit(int king, int sq) {
    for (int d = 0; d < 8; ++d)
        if (sq - directionOffset[d] == king) return int32_t(1) << d;
    return 0;
}

// Whether the interposition in child c may be futile at all: no other
// defender piece guards it, and a moved piece leaves a square that the
// defender cannot use (not next to the king, on no line of the defender's
// sliders).
bool mayBeFutile(const Position& node, const CheckLine& line, Position& c) {
    const Move m = c.lastMove;
    const int king = node.defenderKingSquare;
    if (kindOf(m.piece) == KING || !isBetween(line, king, m.to)) return false;
    if (!isDrop(m)) {
        if (kingDistance(m.from, king) == 1) return false;
        if ((node.defenderAttacks[m.from] >> SLIDE_BIT_BASE) != 0) return false;
    }
    // A drop changes no attack on its own square, so the node's map answers
    // for it; a moved piece changes the map, and the child's is completed.
    if (!isDrop(m)) ensureAttackMaps(c);
    const int32_t guards = isDrop(m) ? node.defenderAttacks[m.to] : c.defenderAttacks[m.to];
    return (guards & ~kingStepBit(king, m.to)) == 0;
}

// A path through a candidate or a free capture is not the same path as the
// plain one: loop entries, kept by path key, must not be shared with it.
// The marks pass to every position below through the move keys.
constexpr uint64_t FREE_CAPTURE_PATH_MARK = 0x5DEECE66DF00DB1Dull;

void keepCandidate(Position& p, int sq) {
    p.interpositionRole = INTERPOSITION_CANDIDATE;
    p.interpositionSquare = uint8_t(sq);
    p.positionKey ^= candidateMark(sq);
}

// The position right after the interposition.
void makeCandidate(Position& p, int sq) {
    keepCandidate(p, sq);
    p.pathKey ^= candidateMark(sq);
}

// Turns q, a reply of candidate c that takes the interposed piece, into the
// free capture: the piece leaves the attacker's hand, and with it the game.
// False when the capture is not free: the king, next door, takes back.
bool makeFreeCapture(const Position& c, Position& q) {
    const int t = c.interpositionSquare;
    if (kingDistance(t, c.defenderKingSquare) == 1) {
        ensureAttackMaps(q);
        if (q.attackerAttacks[t] == 0) return false;
    }
    const int h = handKindOf(c.cell(t)) | ATTACKER;
    q.handKey ^= hashTables.handKeys[h - 17][q.hand[h]];
    --q.hand[h];
    --q.attackerHandCount;
    q.positionKey = withSideBit(q.boardKey ^ q.handKey, q.sideToMove);
    q.pathKey ^= FREE_CAPTURE_PATH_MARK;
    q.interpositionRole = INTERPOSITION_FREE_CAPTURE;
    q.interpositionSquare = 0;
    return true;
}

// The mate length of p within depth, or NO_MATE. A candidate's length may
// be -1 and its depth too: its free captures count no move. A stop leaves p
// interrupted.
int mateLength(SearchContext& ctx, Position& p, int16_t depth) {
    if (depth < (p.interpositionRole == INTERPOSITION_CANDIDATE ? -1 : 0)) return NO_MATE;
    const TableEntry* e = lookup(ctx, p, depth);
    if (e && isProof(*e)) return e->length;
    if (e && isAnyDisproof(*e)) return NO_MATE;
    if (depth >= 0) {
        invokeSearch(ctx, p, depth);
    } else {
        resetSearchFields(p);
        search(ctx, p, depth);
    }
    if (p.searchStatus == STATUS_INTERRUPTED || p.proofNumber != 0) return NO_MATE;
    const TableEntry* stored = lookup(ctx, p, depth);
    // A proof the table could not keep is counted at the full depth.
    return stored && isProof(*stored) ? stored->length : depth;
}

// The moves to mate after the interposition c when a free capture of its
// piece saves moves, else NO_MATE: the interposition counts as a reply.
int futileMateLength(SearchContext& ctx, const Position& c, int16_t depth, bool& interrupted) {
    auto candidate = std::make_unique<Position>(c);
    makeCandidate(*candidate, c.lastMove.to);
    const int withFreeCapture = mateLength(ctx, *candidate, depth);
    if (candidate->searchStatus == STATUS_INTERRUPTED) interrupted = true;
    if (withFreeCapture == NO_MATE) return NO_MATE;
    // As many moves without the free capture: a reply like any other.
    auto plain = std::make_unique<Position>(c);
    const int withoutIt = mateLength(ctx, *plain, int16_t(withFreeCapture));
    if (plain->searchStatus == STATUS_INTERRUPTED) interrupted = true;
    return withoutIt != NO_MATE ? NO_MATE : withFreeCapture;
}

// A stop inside a test: the node stops where it stands, as if the key had
// been seen at the node itself, and nothing of the test's path is kept.
void stopAtNode(SearchContext& ctx, const Position& node) {
    resumePath.clear();
    ctx.savedChildLists.clear();
    ctx.resumePly = node.ply;
    ctx.resumeMove = node.lastMove;
}

}  // namespace

uint64_t candidateMark(int sq) {
    const uint64_t k = hashTables.boardKeys[0][sq] * 0x9E3779B97F4A7C15ull;
    return (k ^ (k >> 29)) & ~(uint64_t(1) << 63);
}

bool futileInterpositionRuleApplies() {
    return ruleSwitches.RuleFlags == ORTHODOX_RULES && ruleSwitches.restrictionKind == RESTRICTION_NONE;
}

void markInterpositionCandidates(Position& node, ChildList& children) {
    if (node.interpositionRole == INTERPOSITION_CANDIDATE) {
        // The interposed piece keeps its chance of a free capture while it
        // stands where it was put.
        const int t = node.interpositionSquare;
        for (Position& c : children)
            if (c.cell(t) == node.cell(t)) keepCandidate(c, t);
        return;
    }
    if (!futileInterpositionRuleApplies() || node.sideToMove != DEFENDER) return;
    CheckLine line;
    if (!findSlidingCheck(node, line)) return;
    for (Position& c : children)
        if (mayBeFutile(node, line, c)) makeCandidate(c, c.lastMove.to);
}

void addFreeCaptures(Position& c, ChildList& children, int16_t depth) {
    const int t = c.interpositionSquare;
    const size_t replies = children.size();
    for (size_t i = 0; i < replies; ++i) {
        if (children[i].lastMove.to != t) continue;
        Position q = children[i];
        if (makeFreeCapture(c, q)) children.push_back(q);
    }
    // With no move left to count, only the free captures can mate.
    if (depth <= 0) children.erase(children.begin(), children.begin() + std::ptrdiff_t(replies));
}

int provenLengthThrough(SearchContext& ctx, Position& c, int16_t depth) {
    const TableEntry* e = lookup(ctx, c, childDepth(c, depth));
    return e && isProof(*e) ? lengthThroughChild(c, e->length) : NO_MATE;
}

namespace {

void makePlain(Position& c) {
    const int t = c.interpositionSquare;
    c.positionKey ^= candidateMark(t);
    c.pathKey ^= candidateMark(t);
    c.interpositionRole = INTERPOSITION_NONE;
    c.interpositionSquare = 0;
    c.proofNumber = 1;
    c.disproofNumber = 1;
    c.visitCount = 0;
    c.repetitionChecked = 0;
}

}  // namespace

bool demoteGainfulCandidates(SearchContext& ctx, Position& node, int16_t depth) {
    // Below a candidate every reply carries its mark: there the comparison
    // belongs to the node where the piece was put.
    if (node.interpositionRole == INTERPOSITION_CANDIDATE || node.sideToMove != DEFENDER) return false;
    ChildList& children = *node.children;
    const auto isCandidate = [](const Position& c) { return c.interpositionRole == INTERPOSITION_CANDIDATE; };
    if (std::none_of(children.begin(), children.end(), isCandidate)) return false;
    // With no other reply the check would be mate: nothing may be longer.
    int others = 0;
    for (Position& c : children) {
        if (isCandidate(c)) continue;
        const int length = provenLengthThrough(ctx, c, depth);
        if (length == NO_MATE) return false;
        others = std::max(others, length);
    }
    bool demoted = false;
    for (Position& c : children) {
        if (!isCandidate(c)) continue;
        const int length = provenLengthThrough(ctx, c, depth);
        if (length == NO_MATE || length <= others) continue;
        makePlain(c);
        demoted = true;
    }
    return demoted;
}

FutilityOutcome removeFutileInterpositions(SearchContext& ctx, Position& node, ChildList& children, int16_t depth) {
    FutilityOutcome outcome;
    node.futileMateLength = 0;
    if (!futileInterpositionRuleApplies() || node.sideToMove != DEFENDER || depth < 0) return outcome;
    CheckLine line;
    if (!findSlidingCheck(node, line)) return outcome;

    // The tests are searches of their own, never a replay of a saved path.
    const uint8_t resuming = ctx.resuming;
    ctx.resuming = 0;
    std::vector<bool> candidate(children.size(), false);
    for (size_t i = 0; i < children.size(); ++i) candidate[i] = mayBeFutile(node, line, children[i]);
    // A candidate is futile only when the mate after it is no longer than
    // after every other reply (none: the check itself would mate).
    int others = 0;
    for (size_t i = 0; i < children.size() && !outcome.interrupted; ++i) {
        if (candidate[i]) continue;
        auto reply = std::make_unique<Position>(children[i]);
        const int length = mateLength(ctx, *reply, int16_t(depth - 1));
        if (reply->searchStatus == STATUS_INTERRUPTED) outcome.interrupted = true;
        others = std::max(others, length == NO_MATE ? int(depth) : length + 1);
    }
    std::vector<bool> futile(children.size(), false);
    int longest = 0;
    for (size_t i = 0; i < children.size() && !outcome.interrupted; ++i) {
        if (!candidate[i]) continue;
        const int length = futileMateLength(ctx, children[i], int16_t(depth - 1), outcome.interrupted);
        if (outcome.interrupted || length == NO_MATE || length + 1 > others) continue;
        futile[i] = true;
        longest = std::max(longest, length + 1);
    }
    ctx.resuming = resuming;
    if (outcome.interrupted) {
        stopAtNode(ctx, node);
        return outcome;
    }

    size_t kept = 0;
    for (size_t i = 0; i < children.size(); ++i) {
        if (futile[i]) continue;
        if (kept != i) children[kept] = children[i];
        ++kept;
    }
    outcome.removed = int(children.size() - kept);
    children.erase(children.begin() + std::ptrdiff_t(kept), children.end());
    node.futileMateLength = int16_t(longest);
    return outcome;
}
