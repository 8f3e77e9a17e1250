#include "driver/solution.h"

#include <algorithm>
#include <deque>
#include <memory>

#include "base/console.h"
#include "driver/keyboard.h"
#include "driver/notation.h"
#include "driver/problem_header.h"
#include "driver/progress.h"
#include "driver/report.h"
#include "position/movegen.h"
#include "position/moves.h"
#include "search/futile_interposition.h"
#include "search/position_table.h"
#include "search/search.h"
#include "search/table_expansion.h"

namespace {

// ---- what the table says about a position ----

bool isProofEntry(const TableEntry* e) {
    return e && e->proofNumber == 0 && e->disproofNumber == INFINITE_NUMBER;
}
// Plain, cut-off and loop disproofs alike.
bool isDisproofEntry(const TableEntry* e) { return e && isAnyDisproof(*e); }

const TableEntry* proofAt(SearchContext& ctx, Position& p, int depth) {
    const TableEntry* e = lookup(ctx, p, int16_t(depth));
    return isProofEntry(e) ? e : nullptr;
}
bool hasDisproofAt(SearchContext& ctx, Position& p, int depth) {
    return isDisproofEntry(lookup(ctx, p, int16_t(depth)));
}

void markProved(Position& p) {
    p.proofNumber = 0;
    p.disproofNumber = INFINITE_NUMBER;
}

bool isAttackerNode(const SearchContext& ctx, const Position& p) { return p.sideToMove == ctx.attackerSide; }

bool isBoardMove(Move m) { return m.from != 0; }
int kindNibble(Move m) { return m.piece & 0x0F; }
bool isPresent(Move m) { return m.from != 0 || m.to != 0; }

// The move that led to p, in notation; empty at a root.
std::string moveTextOf(const Position& p) {
    if (!p.parent || isNoMove(p.lastMove)) return "";
    return formatMove(*p.parent, p.lastMove);
}

void printNodeLine(const char* label, const Position& p) {
    newLineIfNeeded();
    consoleOut() << label << decimalText(int32_t(p.ply)) << "手目" << moveTextOf(p) << '\n' << std::flush;
}

// The node's child list lives in the builder's frame; the link must not
// outlive it. With a depth, the futile interpositions are no replies: a
// stop while they are tested leaves the node stopped.
struct ExpandedNode {
    Position& node;
    ChildList children;
    ExpandedNode(SearchContext& ctx, Position& n) : node(n) { expandNode(ctx, node, &children); }
    ExpandedNode(SearchContext& ctx, Position& n, int16_t depth) : node(n) {
        if (expandNode(ctx, node, &children) <= 0) return;
        if (removeFutileInterpositions(ctx, node, children, depth).interrupted) {
            node.searchStatus = STATUS_INTERRUPTED;
            children.clear();
        }
    }
    ~ExpandedNode() { node.children = nullptr; }
    bool empty() const { return children.empty(); }
};

using Builder = MoveLine (*)(SearchContext&, Position&, int16_t);

// The first entry steps of both builders: the keyboard thread and the
// interruption poll. Returns false when the node is stopped (searchStatus 3)
// and the builder must return an empty line.
bool pollNode(SearchContext& ctx, Position& node) {
    if (!keyboardThreadRunning) startKeyboardThread();
    checkInterrupt(ctx, node);
    if (escPressed) node.searchStatus = STATUS_INTERRUPTED;
    return node.searchStatus != STATUS_INTERRUPTED;
}

// The key D: where the builder stands.
void showBuildProgress(const Position& node, const char* label) {
    if (!progressRequested) return;
    printNodeLine(label, node);
    progressRequested = 0;
}

// With the composer's line forced, the line follows the composer's moves
// whatever the table holds. When the composer's move is not among the
// node's moves there is nothing to follow; the table-driven choice takes
// over (the search did the same).
bool followForcedLine(SearchContext& ctx, ExpandedNode& x, Move composer, int16_t depth, Builder build,
                      MoveLine& line) {
    if (!ctx.followIntendedLine || !ctx.forceComposerLine || !isPresent(composer)) return false;
    Position* child = childWithMove(x.children, composer);
    if (!child) return false;
    line = withMoveInFront(composer, build(ctx, *child, int16_t(depth - 1)));
    if (child->searchStatus == STATUS_INTERRUPTED) x.node.searchStatus = STATUS_INTERRUPTED;
    return true;
}

// Searches p again at the given depth; false when the user stopped it (the
// node is then marked stopped).
bool searchAgain(SearchContext& ctx, Position& p, int16_t depth, Position& node) {
    invokeSearch(ctx, p, depth);
    if (p.searchStatus == STATUS_INTERRUPTED) {
        node.searchStatus = STATUS_INTERRUPTED;
        return false;
    }
    return true;
}

// ---- the mate builder ----

// Makes sure node is proved within n: re-searches where the children lack
// proofs at n - 1. False when the proof cannot be confirmed or the user
// stopped (searchStatus tells which).
bool confirmMate(SearchContext& ctx, ExpandedNode& x, int16_t n) {
    Position& node = x.node;
    if (isAttackerNode(ctx, node)) {
        for (Position& c : x.children)
            if (proofAt(ctx, c, n - 1)) return true;
        if (problem.detailedMonitor) printNodeLine("詰データが足りないため再探索します:", node);
        auto copy = std::make_unique<Position>(node);
        if (!searchAgain(ctx, *copy, n, node)) return false;
        if (copy->proofNumber != 0) return false;
        markProved(node);
        return true;
    }
    for (Position& c : x.children) {
        if (proofAt(ctx, c, n - 1)) continue;
        if (problem.detailedMonitor) printNodeLine("詰データが足りないため再探索します:", c);
        if (!searchAgain(ctx, c, int16_t(n - 1), node)) return false;
        if (c.proofNumber != 0) return false;
        markProved(node);
    }
    return true;
}

// Candidate moves of a defender node, longest defences first: board moves
// found later come before earlier ones; while only drops have been met, a
// drop of a smaller piece kind goes in front.
std::deque<Position*> defenderCandidates(SearchContext& ctx, ChildList& children, int lmax) {
    std::deque<Position*> candidates;
    bool dropsOnly = true;
    for (Position& c : children) {
        const TableEntry* e = proofAt(ctx, c, lmax);
        if (!e || e->length != lmax) continue;
        if (isBoardMove(c.lastMove)) {
            candidates.push_front(&c);
            dropsOnly = false;
        } else if (dropsOnly && !candidates.empty() &&
                   kindNibble(c.lastMove) < kindNibble(candidates.front()->lastMove)) {
            candidates.push_front(&c);
        } else {
            candidates.push_back(&c);
        }
    }
    return candidates;
}

std::deque<Position*> attackerCandidates(SearchContext& ctx, ChildList& children, int lmin) {
    std::deque<Position*> candidates;
    for (Position& c : children) {
        const TableEntry* e = proofAt(ctx, c, lmin);
        if (e && e->length == lmin) candidates.push_back(&c);
    }
    return candidates;
}

void composerMoveFirst(std::deque<Position*>& candidates, Move composer) {
    if (!isPresent(composer) || candidates.size() < 2) return;
    auto it = std::find_if(candidates.begin(), candidates.end(), [&](Position* c) { return c->lastMove == composer; });
    if (it == candidates.end()) return;
    Position* c = *it;
    candidates.erase(it);
    candidates.push_front(c);
}

// The node's proof is shorter than the depth it was asked for: record it
// with the depth it needs.
void storeShorterProof(Position& node, int length) {
    markProved(node);
    store(node, int16_t(length));
}

struct Choice {
    Position* child = nullptr;
    MoveLine line;
};

// The defender picks the longest line; the attacker the shortest. Equal
// lengths keep the earlier candidate.
Choice chooseDefence(SearchContext& ctx, Position& node, const std::deque<Position*>& candidates, int lmax) {
    Choice best;
    if (lmax == 0) {
        if (!candidates.empty()) best.child = candidates.front();
        return best;
    }
    for (Position* c : candidates) {
        MoveLine line = buildMateSolution(ctx, *c, int16_t(lmax));
        if (c->searchStatus == STATUS_INTERRUPTED) {
            node.searchStatus = STATUS_INTERRUPTED;
            break;
        }
        if (!best.child || line.size() > best.line.size()) {
            best.child = c;
            best.line = std::move(line);
        }
        if (best.line.size() == size_t(lmax)) break;
    }
    return best;
}

// A defender left with no reply (every one a futile interposition): the
// empty line is the whole of its solution, though the table, which counts
// from the first proof found, may give it a longer one.
bool hasNoReply(SearchContext& ctx, Position& p, int depth) {
    if (isAttackerNode(ctx, p)) return false;
    ExpandedNode x(ctx, p, int16_t(depth));
    return p.searchStatus != STATUS_INTERRUPTED && x.empty();
}

Choice chooseMate(SearchContext& ctx, Position& node, const std::deque<Position*>& candidates, int lmin) {
    Choice best;
    if (lmin == 0) {
        if (!candidates.empty()) best.child = candidates.front();
        return best;
    }
    for (Position* c : candidates) {
        MoveLine line = buildMateSolution(ctx, *c, int16_t(lmin));
        if (c->searchStatus == STATUS_INTERRUPTED) {
            node.searchStatus = STATUS_INTERRUPTED;
            break;
        }
        if (line.empty() && !hasNoReply(ctx, *c, lmin)) continue;
        if (!best.child || line.size() < best.line.size()) {
            best.child = c;
            best.line = std::move(line);
        }
        if (best.line.size() <= size_t(lmin)) break;
    }
    return best;
}

// A defence chosen from the table turned out shorter than the longest one
// recorded: store what was found for it, and when another defence claims
// more, build again at the depth that one needs.
void rebuildForLongerDefence(SearchContext& ctx, ExpandedNode& x, int16_t n, Move chosen, MoveLine& result) {
    int h = -1;
    for (Position& c : x.children) {
        if (c.lastMove == chosen) {
            markProved(c);
            store(c, int16_t(result.size() - 1));
        } else if (const TableEntry* e = proofAt(ctx, c, n - 1)) {
            h = std::max<int>(h, e->length);
        }
    }
    if (h >= 0 && result.size() < size_t(h)) result = buildMateSolution(ctx, x.node, int16_t(h + 1));
}

// ---- the no-mate builder ----

// Makes sure node is disproved within n. False when the builder is to
// return an empty line (a stop, or a node the table cannot refute).
bool confirmNoMate(SearchContext& ctx, ExpandedNode& x, int16_t n) {
    Position& node = x.node;
    if (!isAttackerNode(ctx, node)) {
        for (Position& c : x.children)
            if (hasDisproofAt(ctx, c, n - 1)) return true;
        if (problem.detailedMonitor) printNodeLine("不詰データが足りないため再探索します:", node);
        auto copy = std::make_unique<Position>(node);
        if (!searchAgain(ctx, *copy, n, node)) return false;
        // Not refuted within n: there is no refuting move to show from here.
        return copy->disproofNumber == 0;
    }
    for (Position& c : x.children) {
        if (hasDisproofAt(ctx, c, n - 1)) continue;
        if (problem.detailedMonitor) printNodeLine("不詰データが足りないため再探索します:", c);
        if (!searchAgain(ctx, c, int16_t(n - 1), node)) return false;
        if (c.disproofNumber != 0) return false;
    }
    return true;
}

}  // namespace

MoveLine buildMateSolution(SearchContext& ctx, Position& node, int16_t n) {
    if (!pollNode(ctx, node)) return {};
    // Under the repetition goal a line back to the initial position ends here.
    if ((ruleSwitches.RuleFlags & GOAL_REPETITION) && node.ply != 0 && ctx.goalPosition &&
        node.positionKey == ctx.goalPosition->positionKey)
        return {};
    showBuildProgress(node, "暫定解構築中：");

    const Move composer = composerMoveAt(ctx, node.ply);
    ExpandedNode x(ctx, node, n);
    if (node.searchStatus == STATUS_INTERRUPTED) return {};
    MoveLine forced;
    if (followForcedLine(ctx, x, composer, n, buildMateSolution, forced)) return forced;
    if (x.empty()) return {};

    if (n == 0) {
        for (Position& c : x.children)
            if (lookup(ctx, c, 0)) return {c.lastMove};
        return {};
    }
    if (!confirmMate(ctx, x, n)) return {};

    const int d = n - 1;
    int lmax = 0, lmin = d;
    for (Position& c : x.children)
        if (const TableEntry* e = proofAt(ctx, c, d)) {
            lmax = std::max<int>(lmax, e->length);
            lmin = std::min<int>(lmin, e->length);
        }

    const bool defender = !isAttackerNode(ctx, node);
    std::deque<Position*> candidates;
    if (defender) {
        candidates = defenderCandidates(ctx, x.children, lmax);
        // A futile interposition taken off the replies may need more moves
        // than every reply left.
        const int needed = std::max<int>(lmax + 1, node.futileMateLength);
        if (needed < n) storeShorterProof(node, needed);
    } else {
        candidates = attackerCandidates(ctx, x.children, lmin);
        if (lmin < d) storeShorterProof(node, lmin + 1);
    }
    composerMoveFirst(candidates, composer);

    Choice best = defender ? chooseDefence(ctx, node, candidates, lmax) : chooseMate(ctx, node, candidates, lmin);
    if (!best.child) return {};
    const Move chosen = best.child->lastMove;
    MoveLine result = withMoveInFront(chosen, best.line);
    if (node.searchStatus == STATUS_INTERRUPTED) return result;

    if (n > 2 && result.size() >= 2 && defender && result.size() < size_t(lmax))
        rebuildForLongerDefence(ctx, x, n, chosen, result);
    return result;
}

MoveLine buildNoMateLine(SearchContext& ctx, Position& node, int16_t n) {
    if (!pollNode(ctx, node)) return {};
    showBuildProgress(node, "暫定不詰解構築中：");

    const Move composer = composerMoveAt(ctx, node.ply);
    ExpandedNode x(ctx, node, n);
    if (node.searchStatus == STATUS_INTERRUPTED) return {};
    MoveLine forced;
    if (followForcedLine(ctx, x, composer, n, buildNoMateLine, forced)) return forced;
    if (x.empty()) return {};

    if (n == 0) {
        for (Position& c : x.children)
            if (hasDisproofAt(ctx, c, 0)) return {c.lastMove};
        return {};
    }
    if (!confirmNoMate(ctx, x, n)) return {};

    const bool defender = !isAttackerNode(ctx, node);
    Position* chosen = nullptr;
    MoveLine best;
    for (Position& c : x.children) {
        // From here on only exact repetitions count: the hand-saving rule
        // (same board, no piece gained) is switched off for the rest of the run.
        ruleSwitches.handSaving = 0;
        if (defender && findRepetition(c, 0)) return {c.lastMove};
        if (!hasDisproofAt(ctx, c, n - 1)) continue;
        MoveLine line = buildNoMateLine(ctx, c, int16_t(n - 1));
        if (c.searchStatus == STATUS_INTERRUPTED) {
            node.searchStatus = STATUS_INTERRUPTED;
            break;
        }
        if (line.size() > size_t(n - 1)) continue;
        const bool better = !chosen || (defender ? line.size() < best.size() : best.size() < line.size());
        if (better) {
            chosen = &c;
            best = std::move(line);
        }
    }
    if (!chosen || !isPresent(chosen->lastMove)) return {};
    return withMoveInFront(chosen->lastMove, best);
}

void markSolutionTree(SearchContext& ctx, const Position& pos, MoveLine line) {
    // Each position along the line is a child of the one before it, so the
    // parent links stay valid while the walk goes on.
    std::deque<Position> path;
    path.push_back(pos);
    size_t next = 0;
    for (;;) {
        Position& p = path.back();
        const int k = int(line.size() - next);
        if (TableEntry* e = lookup(ctx, p, int16_t(k)); isProofEntry(e)) e->flags |= Protected;
        if (next == line.size()) return;
        const Move m = line[next++];
        ExpandedNode x(ctx, p);
        const bool defender = !isAttackerNode(ctx, p);
        Position* following = nullptr;
        for (Position& c : x.children) {
            if (c.lastMove == m) following = &c;
            if (!defender && c.lastMove != m) continue;
            if (TableEntry* e = lookup(ctx, c, int16_t(k - 1)); isProofEntry(e)) e->flags |= Protected;
        }
        // A move the position does not have ends the walk.
        if (!following) return;
        path.push_back(*following);
        path.back().children = nullptr;
    }
}

namespace {

bool isLegalIn(const Position& pos, Move m) {
    const int n = generateLegalMoves(pos);
    const Move* moves = moveBuffer();
    for (int i = 0; i < n; ++i)
        if (moves[i] == m) return true;
    return false;
}

}  // namespace

std::string moveTextAfter(const Position& start, const MoveLine& line, size_t count, Move move) {
    auto p = std::make_unique<Position>(start);
    for (size_t i = 0; i < count && i < line.size(); ++i) {
        if (!isLegalIn(*p, line[i])) return formatMoveRecord(move) + ' ';
        makeMove(*p, line[i]);
    }
    return isLegalIn(*p, move) ? formatMove(*p, move) : formatMoveRecord(move) + ' ';
}

void writeSequence(const Position& pos, const MoveLine& line, std::ostream& out) {
    out << '\n';
    auto copy = std::make_unique<Position>(pos);
    // Once a move is not legal (a composer's list can hold anything) the
    // position is lost; the rest is written in the position-free record form.
    bool onBoard = true;
    for (size_t i = 0; i < line.size(); ++i) {
        const Move m = line[i];
        if (onBoard && isLegalIn(*copy, m)) {
            out << formatMove(*copy, m);
            makeMove(*copy, m);
        } else {
            onBoard = false;
            out << formatMoveRecord(m) << ' ';
        }
        if ((i + 1) % 10 == 0) out << '\n';
    }
    out << "まで " << decimalText(uint64_t(line.size())) << "手" << '\n' << std::flush;
}

void printSolution(const Position& pos, const MoveLine& line, std::ofstream& report) {
    writeSequence(pos, line, report);
    writeSequence(pos, line, consoleOut());
    reportStreamHolds(report);
}

void showSolution(const Position& pos, const MoveLine& line) { writeSequence(pos, line, consoleOut()); }

Position* childWithMove(ChildList& children, Move m) {
    for (Position& c : children)
        if (c.lastMove == m) return &c;
    return nullptr;
}

MoveLine withMoveInFront(Move m, const MoveLine& rest) {
    MoveLine line;
    line.reserve(rest.size() + 1);
    line.push_back(m);
    line.insert(line.end(), rest.begin(), rest.end());
    return line;
}
