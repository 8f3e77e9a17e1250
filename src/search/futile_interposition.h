// Futile interpositions (無駄合) in the orthodox problem.
//
// A defender's piece put between the king and a checking slider, by a drop
// or by a move that opens nothing for the defender, gains nothing when the
// attacker can take it for free and then mate within the moves that were
// left, without using the piece taken. Such an interposition is no defence:
// it adds no moves to the mate, is not shown and is not examined.
//
// The position after such a capture, with the piece taken out of play (out
// of both hands), is a free capture: it stands at the depth of the node
// before the interposition, as if neither ply had been played. Each free
// capture holds one piece less than the node before it, so they chain only
// as far as there are pieces.
//
// In the search an interposition that may be futile (a candidate) is an
// ordinary child whose replies include its free captures, searched two
// plies deeper than its other replies; its key carries a mark of its
// square, so that its entries are never taken for those of the same
// position reached otherwise. The solution builder and the verifier take
// the futile interpositions off the replies they list.
#pragma once

#include <cstdint>

#include "position/position.h"
#include "search/search_context.h"

// Whether the rule applies to the problem: best play, mate of the
// defender's king, no move restriction.
bool futileInterpositionRuleApplies();

// The mark a candidate's key carries for its square. Bit 63 (the side to
// move) is left alone.
uint64_t candidateMark(int sq);

// The search: marks the children of node (the defender to move) that are
// candidates.
void markInterpositionCandidates(Position& node, ChildList& children);

// The search: adds to the replies of a candidate c its free captures; when
// no other reply can mate within depth (depth 0 or less) only they are kept.
void addFreeCaptures(Position& c, ChildList& children, int16_t depth);

// Depth and length of a child within its parent's count of moves.
inline int16_t childDepth(const Position& child, int16_t depth) {
    return int16_t(depth - 1 + (child.interpositionRole == INTERPOSITION_FREE_CAPTURE ? 2 : 0));
}
inline int lengthThroughChild(const Position& child, int childLength) {
    return childLength + 1 - (child.interpositionRole == INTERPOSITION_FREE_CAPTURE ? 2 : 0);
}

// No mate (a length no line has).
constexpr int NO_MATE = -0x8000;
// The moves to mate through child c of a node searched to depth, read from
// c's proof entry; NO_MATE when the table holds none.
int provenLengthThrough(SearchContext& ctx, Position& c, int16_t depth);

// The search, at a defender node whose replies are all mated: a candidate
// is futile only when the mate after it, its free captures counting no
// moves, is no longer than after the other replies (the king's moves, the
// captures, the interpositions that are not candidates). A longer one gains
// moves: it is an interposition like any other and counts whole. Such
// candidates are turned back into plain replies, to be searched again;
// true when there was one.
bool demoteGainfulCandidates(SearchContext& ctx, Position& node, int16_t depth);

struct FutilityOutcome {
    bool interrupted = false;  // the user stopped a test: the node is to stop too
    int removed = 0;           // interpositions taken off the children
};

// The solution builder and the verifier: takes the futile interpositions off
// node's children (node: the defender to move, `depth` moves from the end),
// searching their free captures where the table does not settle them, and
// sets node.futileMateLength to the longest mate after one of them (0 when
// none was taken off). When a search is stopped, the children are left as
// they were.
FutilityOutcome removeFutileInterpositions(SearchContext& ctx, Position& node, ChildList& children, int16_t depth);
