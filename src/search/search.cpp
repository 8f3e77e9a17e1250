#include "search/search.h"

#include <algorithm>
#include <climits>
#include <memory>

#include "position/expand.h"
#include "position/hash_keys.h"
#include "position/moves.h"
#include "position/rules.h"
#include "search/futile_interposition.h"
#include "search/move_count_cache.h"
#include "search/position_table.h"
#include "search/table_expansion.h"

namespace {

// visitCount is a 16-bit field counted as unsigned; it stops at 0xFFFF.
uint16_t visits(const Position& p) { return uint16_t(p.visitCount); }

bool isProven(const Position& p) { return p.proofNumber == 0; }
bool isDisproven(const Position& p) { return p.disproofNumber == 0; }

// The number the node minimises over its children, and the other one.
int32_t phiOf(bool orNode, const Position& c) { return orNode ? c.proofNumber : c.disproofNumber; }
int32_t deltaOf(bool orNode, const Position& c) { return orNode ? c.disproofNumber : c.proofNumber; }

void writeNumbers(bool orNode, Position& node, int32_t phi, int32_t delta) {
    if (orNode) {
        node.proofNumber = phi;
        node.disproofNumber = delta;
    } else {
        node.disproofNumber = phi;
        node.proofNumber = delta;
    }
}

double disproofShare(int32_t pn, int32_t dn) { return double(dn) / (double(pn) + double(dn)); }
double currentShare(const Position& p) { return disproofShare(p.proofNumber, p.disproofNumber); }
double previousShare(const Position& p) { return disproofShare(p.previousProofNumber, p.previousDisproofNumber); }
bool shareFell(const Position& p) { return currentShare(p) < previousShare(p); }

// pn stayed or fell while dn grew, and the opposite.
bool pnStalledDnGrew(const Position& p) {
    return p.previousProofNumber >= p.proofNumber && p.previousDisproofNumber < p.disproofNumber;
}
bool pnGrewDnStalled(const Position& p) {
    return p.previousProofNumber < p.proofNumber && p.previousDisproofNumber >= p.disproofNumber;
}
// The child's φ (for the node that minimises it) did not grow and its δ did.
bool phiStalledDeltaGrew(bool orNode, const Position& c) { return orNode ? pnStalledDnGrew(c) : pnGrewDnStalled(c); }

// Sum of the other numbers; a value outside the ordinary finite range
// (0, infinity, the cut-off mark) is not added but taken as a maximum.
int32_t addToDeltaSum(int32_t running, int32_t delta) {
    const bool ordinary = running >= 1 && running <= 0x7FFFFE && delta >= 1 && delta <= 0x7FFFFE;
    return ordinary ? running + delta : std::max(running, delta);
}

uint64_t saturatingAdd(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

int32_t capThreshold(int64_t t) { return int32_t(std::min<int64_t>(t, LARGEST_FINITE)); }

// The orthodox futile-interposition rule: a defender's drop that the attacker
// takes for nothing is left out of the selection while other replies are open.
// futile: the number of unresolved children that are futile drops.
// open: the unresolved children that are weighed at all.
bool leavesOutFutileDrops(const SearchContext& ctx, const Position& node, int futile, int open) {
    if (!futileInterpositionRuleApplies()) return false;
    if (isOrNode(ctx, node)) return false;
    if (pnStalledDnGrew(node)) return false;
    return futile < open;
}

bool isLeftOutFutileDrop(const Position& c) {
    return c.futileDrop && isUnresolvedNode(c) && (previousShare(c) <= currentShare(c) || currentShare(c) >= 0.01);
}

// The defender's drops on one square (interpositions: in the orthodox
// problem the defender is always in check) differ only in the piece, which
// stands pinned on the checking line: of those still open only one is
// weighed, the next once it is mated. The one weighed is the last
// generated, the weakest piece, whose capture gains the attacker least and
// which leaves the stronger ones in hand. The others' numbers still count in
// the node's sum, and each stands behind an open drop of its square, so the
// node is never taken for proven while one of them is open.
class SameSquareDrops {
public:
    SameSquareDrops(const SearchContext& ctx, const Position& node) : applies_(appliesAt(ctx, node)) {}
    // Called for each child in order, once the table has been read for it.
    void note(Position& c) {
        if (!applies_ || !isOpenDrop(c)) return;
        const int sq = c.lastMove.to;
        if (met(sq)) countWaiting(*weighed_[sq]);
        seen_[sq >> 6] |= uint64_t(1) << (sq & 63);
        weighed_[sq] = &c;
    }
    bool waits(const Position& c) const {
        return applies_ && isOpenDrop(c) && weighed_[c.lastMove.to] != &c;
    }
    int waiting = 0;        // open children left waiting
    int waitingFutile = 0;  // of them, drops flagged futile

private:
    // At a defender node of the orthodox problem, after the first search:
    // the solution builder reads its first line from the proofs the first
    // search leaves, and the defence it tries first depends on their
    // lengths, so that search weighs every drop as it always did.
    static bool appliesAt(const SearchContext& ctx, const Position& node) {
        return ctx.phase != PHASE_SOLVING && !isOrNode(ctx, node) && futileInterpositionRuleApplies();
    }
    static bool isOpenDrop(const Position& c) { return isDrop(c.lastMove) && isUnresolvedNode(c); }
    bool met(int sq) const { return seen_[sq >> 6] >> (sq & 63) & 1; }
    void countWaiting(const Position& c) {
        ++waiting;
        waitingFutile += c.futileDrop != 0;
    }
    bool applies_;
    // weighed_[sq] is written before it is read (seen_ tells which are), so
    // that a selection does not clear a pointer per square every time.
    uint64_t seen_[(SQUARE_MAX >> 6) + 1] = {};
    Position* weighed_[SQUARE_MAX + 1];
};

void considerChild(ChildSelection& s, bool orNode, Position& c) {
    const int32_t phi = phiOf(orNode, c), delta = deltaOf(orNode, c);
    bool becomesBest = false;
    if (!s.best) {
        becomesBest = true;
    } else if (phi < s.phi1) {
        becomesBest = true;
    } else if (phi == s.phi1) {
        if (delta > s.delta1)
            becomesBest = true;
        else if (delta == s.delta1)
            becomesBest = c.openTreeSize < s.best->openTreeSize ||
                          (!isGrandparentKiller(*s.best) && isGrandparentKiller(c));
    }
    if (becomesBest) {
        s.second = s.best;
        s.best = &c;
    }
    if (phi < s.phi1) {
        s.phi2 = s.phi1;
        s.phi1 = phi;
    } else if (phi < s.phi2) {
        s.phi2 = phi;
    }
    if (delta > s.delta1) {
        s.delta2 = s.delta1;
        s.delta1 = delta;
    } else if (delta > s.delta2) {
        s.delta2 = delta;
    }
    s.deltaSum = addToDeltaSum(s.deltaSum, delta);
}

// Children that are likely to share subtrees (close numbers) must not have
// their other numbers summed, or the sum counts the same work twice.
bool closeNumbersForbidSum(const ChildSelection& s, int openChildren) {
    return s.phi1 <= s.phi2 && s.phi1 > 1 && openChildren > 1 && double(s.phi1) / double(s.phi2) > 0.99;
}

int32_t deltaSide(int32_t delta1, int32_t deltaSum, int openChildren, int32_t phi1, bool sumAllowed) {
    if (openChildren > 0 && phi1 > 0) {
        int64_t n = int64_t(delta1) + openChildren - 1;
        if (sumAllowed) n = std::max<int64_t>(n, deltaSum);
        if (n < LARGEST_FINITE) return int32_t(n);
    }
    return delta1;
}

// ---- threshold inheritance ----

bool everyOpenChildShareFalls(const Position& node, const Position* minDisproofOf) {
    for (const Position& c : *node.children) {
        if (!isUnresolvedNode(c)) continue;
        if (!shareFell(c)) return false;
        if (minDisproofOf && c.disproofNumber < minDisproofOf->disproofNumber) return false;
    }
    return true;
}

bool reachesIntendedLineThroughSingleOpenChildren(const Position& node) {
    if (node.openChildCount != 1) return false;
    for (const Position* p = node.parent; p; p = p->parent) {
        if (p->onIntendedLine) return true;
        if (p->openChildCount != 1) return false;
    }
    return false;
}

bool inheritsNodeThresholds(const SearchContext& ctx, const Position& node, const Position& c, int32_t delta1) {
    const bool orNode = isOrNode(ctx, node);
    if (ctx.phase >= PHASE_SHORTER_MATE && orNode && node.disproofThreshold == LARGEST_FINITE && shareFell(c)) {
        if (visits(c) > 32 || levelOf(c.openTreeSize) == 63) return true;
        if (everyOpenChildShareFalls(node, &c)) return true;
    }
    if (!orNode && shareFell(c) && currentShare(c) < 0.01) {
        if (everyOpenChildShareFalls(node, nullptr)) return true;
        const Move m = c.lastMove;
        if (m.from == 0 && m.piece == (DEFENDER | PAWN) && c.sideToMove == ATTACKER && c.defenderKingSquare != 0 &&
            node.attackerAttacks[c.defenderKingSquare] != 0 && !c.futileDrop && c.proofNumber == delta1)
            return true;
    }
    if (ctx.followIntendedLine) {
        if (c.onIntendedLine && node.onIntendedLine) return true;
        if (ctx.phase >= PHASE_SHORTER_MATE && !c.onIntendedLine &&
            (node.onIntendedLine || reachesIntendedLineThroughSingleOpenChildren(node)))
            return true;
    }
    return false;
}

// ---- resuming an interrupted path ----

enum class ResumeOutcome { SearchNormally, Rebuilt, Interrupted };

ResumeRecord popResumeRecord() {
    ResumeRecord r = resumePath.front();
    resumePath.pop_front();
    return r;
}

void giveRecordNumbers(Position& p, const ResumeRecord& r) {
    p.proofNumber = r.proofNumber;
    p.disproofNumber = r.disproofNumber;
    p.proofThreshold = r.proofThreshold;
    p.disproofThreshold = r.disproofThreshold;
    p.visitCount = r.visitCount;
}

// Rebuilds a node of the saved path from its record and its saved child list
// and searches the child that the path followed.
ResumeOutcome resumeNode(SearchContext& ctx, Position& node, int16_t depth, ChildList& children) {
    if (!ctx.resuming) return ResumeOutcome::SearchNormally;
    if (resumePath.empty() || ctx.savedChildLists.empty()) {
        ctx.resuming = 0;
        return ResumeOutcome::SearchNormally;
    }
    if (node.ply == ctx.resumePly && node.lastMove == ctx.resumeMove) {
        ctx.resuming = 0;
        return ResumeOutcome::SearchNormally;
    }
    if (node.ply == 0) giveRecordNumbers(node, popResumeRecord());

    children = std::move(ctx.savedChildLists.front());
    ctx.savedChildLists.pop_front();
    for (Position& c : children) {
        c.parent = &node;
        c.children = nullptr;
        c.searchStatus = STATUS_RUNNING;
        if (c.proofNumber == 1 && c.disproofNumber == 1) lookup(ctx, c, childDepth(c, depth));
    }
    if (resumePath.empty() || children.empty()) {
        // The saved path ends here: carry on with the ordinary loop.
        ctx.resuming = 0;
        return ResumeOutcome::Rebuilt;
    }

    const ResumeRecord next = popResumeRecord();
    Position* child = &children.front();
    for (Position& c : children)
        if (c.lastMove == next.lastMove) {
            child = &c;
            break;
        }
    const bool last = resumePath.empty();
    if (last) {
        giveRecordNumbers(*child, next);
        if (child->proofNumber == 1 && child->disproofNumber == 1) lookup(ctx, *child, childDepth(*child, depth));
    }
    ctx.observer->pathReplayed(node, next.lastMove, *child, last);
    search(ctx, *child, childDepth(*child, depth));
    if (ctx.observer->watchingChildren()) ctx.observer->childReturned(ctx, node, *child);
    if (child->searchStatus == STATUS_INTERRUPTED) {
        node.searchStatus = STATUS_INTERRUPTED;
        aggregate(ctx, node);
        savePath(ctx, node, SavedChildren::Taken);
        return ResumeOutcome::Interrupted;
    }
    return ResumeOutcome::Rebuilt;
}

// ---- the steps of one node ----

void provenAtGoal(Position& node) {
    node.proofNumber = 0;
    node.disproofNumber = INFINITE_NUMBER;
}

void cutOff(Position& node) {
    node.proofNumber = LARGEST_FINITE;
    node.disproofNumber = 0;
}

// A node at the depth limit with nothing left that could mate: a cut-off
// that rests on no repetition, stored at the depth reached.
void cutOffAtLimit(Position& node, int16_t depth) {
    cutOff(node);
    node.loopDisproof = 0;
    node.openTreeSize = 0;
    node.loopPly = NO_PLY;
    store(node, depth);
}

// A child neither read from the table nor searched yet: its first numbers.
bool isUnknownChild(const Position& c) { return c.visitCount == 0 && c.proofNumber == 1 && c.disproofNumber == 1; }

// Under the repetition goal: the initial position reached again proves the
// node; a node too far from it (hand and board differences) to get back
// within the remaining depth is cut off.
bool settledByRepetitionGoal(const SearchContext& ctx, Position& node, int16_t depth) {
    if (!(ruleSwitches.RuleFlags & GOAL_REPETITION) || node.ply == 0 || !ctx.goalPosition) return false;
    const Position& goal = *ctx.goalPosition;
    if (node.positionKey == goal.positionKey) {
        provenAtGoal(node);
        store(node, depth);
        return true;
    }
    if (depth > 0 && isUnknownChild(node)) {
        int handDistance = 0;
        for (int code = 17; code <= 39; ++code) handDistance += std::abs(node.hand[code] - goal.hand[code]);
        int cellDistance = 0;
        for (int sq = SQUARE_MIN; sq <= SQUARE_MAX; ++sq)
            if (node.cell(sq) != goal.cell(sq)) ++cellDistance;
        if (handDistance > depth || handDistance + cellDistance > 3 * depth) {
            cutOff(node);
            store(node, depth);
            return true;
        }
    }
    return false;
}

// ---- the repetition test's path counts ----

constexpr size_t PATH_COUNT_BUCKETS = size_t(1) << 14;

size_t pathBucket(uint64_t key) { return size_t((key * 0x9E3779B97F4A7C15ull) >> 50); }

// Counts a node of the attacker's side into the path counts for as long as
// its search runs. Every position the repetition test can meet (a same-side
// ancestor from the invocation's root down) is in a search of this
// invocation or of one around it, so it is counted. A search entered
// outside an invocation counts nothing and always walks.
class PathCounts {
public:
    PathCounts(SearchContext& ctx, const Position& node)
        : ctx_(ctx), counted_(ctx.countingPath && node.sideToMove == ctx.attackerSide) {
        if (!counted_) return;
        position_ = pathBucket(node.positionKey);
        board_ = pathBucket(node.boardKey ^ node.sideToMove);
        ++ctx_.pathPositionCounts[position_];
        ++ctx_.pathBoardCounts[board_];
    }
    ~PathCounts() {
        if (!counted_) return;
        --ctx_.pathPositionCounts[position_];
        --ctx_.pathBoardCounts[board_];
    }
    PathCounts(const PathCounts&) = delete;
    PathCounts& operator=(const PathCounts&) = delete;

    // Whether some other counted position may repeat the node: one of the
    // same position key, or under hand saving one of the same board.
    bool mayRepeat() const {
        if (!counted_) return true;
        if (ctx_.pathPositionCounts[position_] > 1) return true;
        return ruleSwitches.handSaving && ctx_.pathBoardCounts[board_] > 1;
    }

private:
    SearchContext& ctx_;
    bool counted_;
    size_t position_ = 0;
    size_t board_ = 0;
};

void sizePathCounts(SearchContext& ctx) {
    if (ctx.pathPositionCounts.size() == PATH_COUNT_BUCKETS) return;
    ctx.pathPositionCounts.assign(PATH_COUNT_BUCKETS, 0);
    ctx.pathBoardCounts.assign(PATH_COUNT_BUCKETS, 0);
}

bool settledByRepetition(const SearchContext& ctx, Position& node, int16_t depth, const PathCounts& onPath) {
    if (node.sideToMove != ctx.attackerSide || node.repetitionChecked) return false;
    node.repetitionChecked = 1;
    if (depth <= 0) return false;
    if (!onPath.mayRepeat()) return false;
    const Position* earlier = findRepetition(node, ctx.rootPly);
    if (!earlier) return false;
    cutOff(node);
    node.loopDisproof = 1;
    node.loopPly = earlier->ply;
    node.treeSize = 0;
    node.openTreeSize = 0;
    store(node, 0);
    return true;
}

// The futile-interposition rule after an expansion: candidates are marked
// among the defender's replies, and a candidate gets its free captures.
// Near the depth limit free captures, which count no move, can still mate:
// a defender whose every reply is a candidate is searched at depth 0, and a
// candidate at depth 0 or below keeps only its free captures (none: cut off).
enum class AfterExpansion { Classify, Search, Settled };

AfterExpansion applyInterpositionRule(Position& node, int r, ChildList& children, int16_t depth) {
    if (r <= 0) return AfterExpansion::Classify;
    markInterpositionCandidates(node, children);
    if (node.interpositionRole == INTERPOSITION_CANDIDATE && node.sideToMove == ATTACKER) {
        addFreeCaptures(node, children, depth);
        if (depth > 0) return AfterExpansion::Classify;
        if (!children.empty()) return AfterExpansion::Search;
        cutOffAtLimit(node, depth);
        return AfterExpansion::Settled;
    }
    if (depth != 0) return AfterExpansion::Classify;
    const bool allCandidates = std::all_of(children.begin(), children.end(), [](const Position& c) {
        return c.interpositionRole == INTERPOSITION_CANDIDATE;
    });
    return allCandidates ? AfterExpansion::Search : AfterExpansion::Classify;
}

// The composer's reply at this node, when the search follows the entered line.
std::unique_ptr<Position> composerChild(const SearchContext& ctx, Position& node) {
    if (!node.onIntendedLine) return nullptr;
    const Move intended = composerMoveAt(ctx, node.ply);
    if (isNoMove(intended)) return nullptr;
    for (const Position& c : *node.children) {
        if (c.lastMove != intended) continue;
        auto copy = std::make_unique<Position>(c);
        copy->onIntendedLine = 1;
        copy->proofThreshold = node.proofThreshold;
        copy->disproofThreshold = node.disproofThreshold;
        if (node.parent) node.parent->killerMove = int32_t(moveWord(copy->lastMove));
        return copy;
    }
    return nullptr;
}

// Phase 1 on the composer's line: remember the first defence that refutes it.
void recordRefutation(SearchContext& ctx, const Position& node, Position& child) {
    const bool recorded = ctx.refutedPosition.positionKey != 0;
    const bool andNode = !isOrNode(ctx, node);
    if (!recorded && andNode && node.onIntendedLine && isDisproven(child)) {
        // The copy outlives the node: it must be complete.
        ensureAttackMaps(child);
        ctx.refutedPosition = child;
    } else if (recorded && andNode && !node.onIntendedLine && isProven(node) && ctx.refutedPosition.ply > node.ply) {
        ctx.refutedPosition.positionKey = 0;
    }
}

void updateKiller(const SearchContext& ctx, const Position& node, const Position& child) {
    if (!node.parent) return;
    const bool orNode = isOrNode(ctx, node);
    const bool forNode = orNode ? isProven(child) : isDisproven(child);
    const bool againstNode = orNode ? isDisproven(child) : isProven(child);
    if (forNode)
        node.parent->killerMove = int32_t(moveWord(child.lastMove));
    else if (againstNode)
        node.parent->killerMove = 0;
}

bool hasInterpositionRoles(const ChildList& children) {
    return std::any_of(children.begin(), children.end(),
                       [](const Position& c) { return c.interpositionRole != INTERPOSITION_NONE; });
}

// Moves to mate from a proven node: read from the children's proof entries.
// Near the end the depth is the length, unless free captures count in it.
int16_t proofLength(SearchContext& ctx, Position& node, int16_t depth) {
    if (depth <= 1 && !hasInterpositionRoles(*node.children)) return depth;
    const bool orNode = isOrNode(ctx, node);
    bool found = false;
    int best = 0;
    for (Position& c : *node.children) {
        if (!isProven(c)) continue;
        const int length = provenLengthThrough(ctx, c, depth);
        if (length == NO_MATE) continue;
        best = !found ? length : orNode ? std::min(best, length) : std::max(best, length);
        found = true;
    }
    // Without an entry to read the length cannot be shown shorter than the
    // depth searched.
    return found ? int16_t(best) : depth;
}

// A cut-off disproof that rests on a repetition on the current path is
// recorded under the path key, with the ply of the repeated position.
void storeCutOffOrLoop(SearchContext& ctx, Position& node, int16_t depth) {
    const bool orNode = isOrNode(ctx, node);
    bool holds = false;
    int l = orNode ? INT_MAX : INT_MIN;
    for (const Position& c : *node.children) {
        if (!isDisproven(c)) continue;
        if (orNode) {
            if (c.loopDisproof && c.loopPly < node.ply) {
                l = std::min<int>(l, c.loopPly);
                holds = true;
            }
        } else {
            if (!c.loopDisproof) {
                holds = false;
                node.loopPly = NO_PLY;
                break;
            }
            l = std::max<int>(l, c.loopPly);
            holds = true;
        }
    }
    if (holds) {
        node.loopDisproof = 1;
        node.loopPly = int16_t(std::min<int>(node.loopPly, l));
        store(node, 0);
    } else {
        node.loopDisproof = 0;
        node.loopPly = NO_PLY;
        store(node, depth);
    }
}

void storeNode(SearchContext& ctx, Position& node, int16_t depth) {
    if (isUnresolvedNode(node)) {
        store(node, 0);
    } else if (isDisproven(node) && node.proofNumber == INFINITE_NUMBER) {
        node.loopDisproof = 0;
        store(node, 0);
    } else if (isProven(node)) {
        store(node, proofLength(ctx, node, depth));
    } else {
        storeCutOffOrLoop(ctx, node, depth);
    }
}

// A settled node's children will not be searched from here again: their
// unresolved and loop entries give way first.
void freeChildEntries(SearchContext& ctx, Position& node, int16_t depth) {
    for (Position& c : *node.children) {
        TableEntry* e = lookup(ctx, c, childDepth(c, depth));
        if (!e || isEmpty(*e) || isFree(*e)) continue;
        if (isUnresolved(*e) || (e->flags & Loop)) {
            e->flags |= Free;
            --positionTable.usedCount;
        }
    }
}

void noteUnresolvedChild(SearchContext& ctx, const Position& child) {
    if (ctx.phase > PHASE_SOLVING || !isUnresolvedNode(child)) return;
    ctx.maxProofNumber = std::max(ctx.maxProofNumber, child.proofNumber);
    ctx.maxDisproofNumber = std::max(ctx.maxDisproofNumber, child.disproofNumber);
}

bool withinThresholds(const Position& node) {
    return node.proofNumber < node.proofThreshold && node.disproofNumber < node.disproofThreshold;
}

// Searches the composer's child alone; the node takes a proof from it.
void followComposerLineOnly(SearchContext& ctx, Position& node, Position& child, int16_t depth) {
    search(ctx, child, childDepth(child, depth));
    if (isProven(child)) {
        node.proofNumber = 0;
        node.disproofNumber = child.disproofNumber;
    }
    if (child.searchStatus == STATUS_INTERRUPTED) {
        node.searchStatus = STATUS_INTERRUPTED;
        savePath(ctx, node, SavedChildren::Taken);
    }
}

void searchChildren(SearchContext& ctx, Position& node, int16_t depth, Position* composer) {
    const bool orNode = isOrNode(ctx, node);
    while (withinThresholds(node)) {
        ChildSelection s = selectChild(ctx, node, depth);
        writeNumbers(orNode, node, s.phiSide, s.deltaSide);
        while (!orNode && node.proofNumber == 0 && demoteGainfulCandidates(ctx, node, depth)) {
            s = selectChild(ctx, node, depth);
            writeNumbers(orNode, node, s.phiSide, s.deltaSide);
        }
        if (!withinThresholds(node)) break;

        Position* child = composer ? composer : s.best ? s.best : &node.children->front();
        composer = nullptr;
        setChildThresholds(ctx, node, *child, s);
        ++ctx.nodeCount;
        if (ctx.observer->watchingChildren()) ctx.observer->childEntered(ctx, node, *child);
        search(ctx, *child, childDepth(*child, depth));
        noteUnresolvedChild(ctx, *child);
        if (visits(*child) != 0xFFFF) child->visitCount = int16_t(visits(*child) + 1);
        if (ctx.observer->watchingChildren()) ctx.observer->childReturned(ctx, node, *child);
        if (child->searchStatus == STATUS_INTERRUPTED) {
            node.searchStatus = STATUS_INTERRUPTED;
            break;
        }
        if (ctx.phase == PHASE_SOLVING && ctx.followIntendedLine) recordRefutation(ctx, node, *child);
        updateKiller(ctx, node, *child);
    }
}

// ---- first numbers of the children the table does not know ----

constexpr int32_t MOST_COUNTED_MOVES = 10;

// Outside the first search a child that the table does not know starts from
// the number of its moves, at most ten: a defender's node from its replies as
// its proof number, an attacker's from its checks as its disproof number.
// Expanded, such a child soon has about those numbers, the sums of its own
// children's; without them most of the visits of a long search would be
// expansions whose numbers at once send the search back up. The first search
// keeps its order, since the solution builder chooses among the proofs it
// leaves. Children the futile-interposition rule marks keep the numbers the
// rule weighs.
bool countsFirstNumbers(const SearchContext& ctx, const Position& c, int16_t depth) {
    if (ctx.phase == PHASE_SOLVING || !isUnknownChild(c)) return false;
    // The repetition goal cuts off, at its first visit, a child too far from
    // the initial position, which it tells by these first numbers.
    if (ruleSwitches.RuleFlags & GOAL_REPETITION) return false;
    if (c.interpositionRole != INTERPOSITION_NONE || c.futileDrop) return false;
    return childDepth(c, depth) > 0;
}

// The count costs a move generation, so it is made only for the child the
// selection would take; true when the child's numbers changed.
bool giveFirstNumbers(const SearchContext& ctx, const Position& node, Position& c) {
    const int32_t moves = cachedMoveCount(c);
    c.visitCount = 1;  // looked at: not read from the table again
    if (moves <= 1) return false;
    (isOrNode(ctx, node) ? c.proofNumber : c.disproofNumber) = std::min(moves, MOST_COUNTED_MOVES);
    return true;
}

// readTable: whether the children the table did not know are looked up. A
// weighing again within one selection skips that: nothing was stored since.
ChildSelection weighChildren(SearchContext& ctx, Position& node, int16_t depth, bool readTable) {
    int open = 0, futile = 0;
    SameSquareDrops drops(ctx, node);
    for (Position& c : *node.children) {
        if (readTable && isUnknownChild(c) && lookup(ctx, c, childDepth(c, depth))) c.visitCount = 1;
        if (isUnresolvedNode(c)) {
            ++open;
            futile += c.futileDrop != 0;
        }
        drops.note(c);
    }
    node.openChildCount = open;
    node.sumAllowed = 1;

    const bool orNode = isOrNode(ctx, node);
    const bool leaveOutFutile =
        leavesOutFutileDrops(ctx, node, futile - drops.waitingFutile, open - drops.waiting);
    ChildSelection s;
    for (Position& c : *node.children) {
        if (leaveOutFutile && isLeftOutFutileDrop(c)) continue;
        if (drops.waits(c)) {
            s.deltaSum = addToDeltaSum(s.deltaSum, deltaOf(orNode, c));
            continue;
        }
        considerChild(s, orNode, c);
    }
    if (closeNumbersForbidSum(s, open)) node.sumAllowed = 0;
    s.phiSide = s.phi1;
    s.deltaSide = deltaSide(s.delta1, s.deltaSum, open, s.phi1, node.sumAllowed);
    return s;
}

}  // namespace

// A child given its first numbers may no longer be the one to take: the
// children are weighed again until the one taken has its numbers.
ChildSelection selectChild(SearchContext& ctx, Position& node, int16_t depth) {
    for (bool readTable = true;; readTable = false) {
        ChildSelection s = weighChildren(ctx, node, depth, readTable);
        if (!s.best || !countsFirstNumbers(ctx, *s.best, depth) || !giveFirstNumbers(ctx, node, *s.best)) return s;
    }
}

// The child's thresholds in the node's own terms: φ, the number the node
// minimises, and δ, the other.
void setChildThresholds(SearchContext& ctx, const Position& node, Position& c, const ChildSelection& s) {
    const bool orNode = isOrNode(ctx, node);
    const int32_t phiT = orNode ? node.proofThreshold : node.disproofThreshold;
    const int32_t deltaT = orNode ? node.disproofThreshold : node.proofThreshold;
    const int64_t childDeltaT =
        deltaT >= LARGEST_FINITE ? LARGEST_FINITE : int64_t(deltaT) - deltaOf(orNode, node) + deltaOf(orNode, c);
    int64_t childPhiT = phiT;
    if (s.phi2 < phiT) {
        childPhiT = int64_t(s.phi2) + 1 + s.phi1 / 8;
        // Both best children stall on φ while δ grows: the child's φ
        // threshold is at least the second child's φ scaled by the ratio of
        // their δs.
        if (phiStalledDeltaGrew(orNode, c) && s.second && phiStalledDeltaGrew(orNode, *s.second))
            childPhiT = std::max<int64_t>(
                childPhiT, int64_t(std::min(double(deltaOf(orNode, c)) / deltaOf(orNode, *s.second) *
                                                phiOf(orNode, *s.second),
                                            double(LARGEST_FINITE))));
    }
    c.proofThreshold = capThreshold(orNode ? childPhiT : childDeltaT);
    c.disproofThreshold = capThreshold(orNode ? childDeltaT : childPhiT);
    if (inheritsNodeThresholds(ctx, node, c, s.delta1)) {
        c.proofThreshold = std::max(c.proofThreshold, node.proofThreshold);
        c.disproofThreshold = std::max(c.disproofThreshold, node.disproofThreshold);
    }
}

void aggregate(SearchContext& ctx, Position& node) {
    const bool orNode = isOrNode(ctx, node);
    int32_t phiMin = INFINITE_NUMBER, delta1 = 0, deltaSum = 0;
    int open = 0;
    for (const Position& c : *node.children) {
        phiMin = std::min(phiMin, phiOf(orNode, c));
        delta1 = std::max(delta1, deltaOf(orNode, c));
        deltaSum = addToDeltaSum(deltaSum, deltaOf(orNode, c));
        if (isUnresolvedNode(c)) ++open;
    }
    writeNumbers(orNode, node, phiMin, deltaSide(delta1, deltaSum, open, phiMin, node.sumAllowed));
    updateTreeSize(ctx, node);
}

void updateTreeSize(SearchContext& ctx, Position& node) {
    const ChildList& children = *node.children;
    if (isUnresolvedNode(node)) {
        uint64_t total = 0, open = 1;
        for (const Position& c : children) {
            total = saturatingAdd(total, std::max<uint64_t>(c.treeSize, 1));
            if (isUnresolvedNode(c)) open = saturatingAdd(open, c.openTreeSize);
        }
        node.treeSize = total;
        node.openTreeSize = open;
    } else {
        node.openTreeSize = 0;
        if (node.treeSize == 0) {
            const bool orNode = isOrNode(ctx, node);
            const bool proven = isProven(node);
            if (orNode == proven) {
                // The cheapest child that settles the node stands for it.
                uint64_t smallest = 0;
                for (const Position& c : children) {
                    if (proven ? !isProven(c) : !isDisproven(c)) continue;
                    const uint64_t size = std::max<uint64_t>(c.treeSize, 1);
                    if (smallest == 0 || size < smallest) smallest = size;
                }
                node.treeSize = smallest;
            } else {
                uint64_t sum = 0;
                for (const Position& c : children) sum += c.treeSize;
                node.treeSize = sum;
            }
        }
    }
    ctx.maxLevel = std::max(ctx.maxLevel, int32_t(levelOf(node.treeSize)));
}

void classifyLeaf(Position& node, int r, int16_t depth) {
    if (depth > 0 && r > 0) return;
    if (depth == 0 && r > 0) {
        cutOffAtLimit(node, 0);
        return;
    }
    const uint32_t rules = ruleSwitches.RuleFlags;
    auto has = [rules](uint32_t bits) { return (rules & bits) == bits; };
    bool proven;
    if (node.sideToMove == ATTACKER) {
        if (r == -1)
            proven = has(GOAL_MATE | TARGET_OWN_KING);
        else if (r == -2)
            proven = has(GOAL_STALEMATE | TARGET_OWN_KING);
        else if (r == 0)
            proven = false;
        else
            return;
    } else {
        if (r == 0)
            proven = has(GOAL_MATE | TARGET_DEFENDER_KING);
        else if (r == -3)
            proven = has(GOAL_STALEMATE | TARGET_DEFENDER_KING);
        else
            return;
    }
    node.loopPly = NO_PLY;
    node.openTreeSize = 0;
    if (proven)
        provenAtGoal(node);
    else {
        node.proofNumber = INFINITE_NUMBER;
        node.disproofNumber = 0;
    }
    store(node, 0);
}

void savePath(SearchContext& ctx, Position& node, SavedChildren how) {
    if (node.searchStatus != STATUS_INTERRUPTED) return;
    ResumeRecord r{};
    r.lastMove = node.lastMove;
    r.proofNumber = node.proofNumber;
    r.disproofNumber = node.disproofNumber;
    r.proofThreshold = node.proofThreshold;
    r.disproofThreshold = node.disproofThreshold;
    r.visitCount = node.visitCount;
    resumePath.push_front(r);
    // The saved records outlive the node and go to the suspend file whole.
    if (node.children)
        for (Position& c : *node.children) ensureAttackMaps(c);
    if (!node.children)
        ctx.savedChildLists.emplace_front();
    else if (how == SavedChildren::Taken)
        ctx.savedChildLists.push_front(std::move(*node.children));
    else
        ctx.savedChildLists.push_front(*node.children);
}

void search(SearchContext& ctx, Position& node, int16_t depth) {
    if (node.proofNumber != node.previousProofNumber || node.disproofNumber != node.previousDisproofNumber) {
        node.previousProofNumber = node.proofNumber;
        node.previousDisproofNumber = node.disproofNumber;
    }
    ChildList children;
    node.children = &children;
    ChildListLink link{node};
    const PathCounts onPath(ctx, node);

    if (settledByRepetitionGoal(ctx, node, depth)) return;

    const ResumeOutcome resumed = resumeNode(ctx, node, depth, children);
    if (resumed == ResumeOutcome::Interrupted) return;

    if (resumed == ResumeOutcome::SearchNormally) {
        if (settledByRepetition(ctx, node, depth, onPath)) return;
        if (ctx.observer->stopRequested(ctx, node)) {
            node.searchStatus = STATUS_INTERRUPTED;
            return;
        }
        const int r = expandNode(ctx, node, &children, /*deferChildMaps=*/true);
        ctx.deepestPly = std::max<int16_t>(ctx.deepestPly, int16_t(node.ply + 1));
        const AfterExpansion next = applyInterpositionRule(node, r, children, depth);
        if (next == AfterExpansion::Settled) return;
        if (next == AfterExpansion::Classify) classifyLeaf(node, r, depth);
        if (isResolved(node) || node.searchStatus == STATUS_INTERRUPTED) return;

        std::unique_ptr<Position> composer = composerChild(ctx, node);
        if (composer && ctx.forceComposerLine) {
            followComposerLineOnly(ctx, node, *composer, depth);
            return;
        }
        searchChildren(ctx, node, depth, composer.get());
    } else {
        searchChildren(ctx, node, depth, nullptr);
    }

    updateTreeSize(ctx, node);
    storeNode(ctx, node, depth);
    if (isResolved(node)) freeChildEntries(ctx, node, depth);
    ctx.resuming = 0;
    savePath(ctx, node, SavedChildren::Taken);
}

bool isGrandparentKiller(const Position& c) {
    return c.parent && c.parent->parent && moveWord(c.lastMove) == uint32_t(c.parent->parent->killerMove);
}

void invokeSearch(SearchContext& ctx, Position& root, int16_t depth) {
    if (depth < 0) return;
    resetSearchFields(root);
    sizePathCounts(ctx);
    ctx.rootPly = root.ply;
    ctx.rootSide = root.sideToMove;
    ctx.observer->invocationStarted(ctx, depth);

    ++ctx.nodeCount;
    ctx.depthLimit = depth;
    ctx.deepestPly = root.ply;
    const uint8_t wasCounting = ctx.countingPath;
    ctx.countingPath = 1;
    search(ctx, root, depth);
    ctx.countingPath = wasCounting;

    ctx.deepestPlyOverall = std::max(ctx.deepestPlyOverall, ctx.deepestPly);
    ctx.maxLevel = std::max(ctx.maxLevel, int32_t(levelOf(root.treeSize)));
    ctx.observer->invocationEnded(ctx);
}
