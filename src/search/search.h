// Depth-first proof-number search.
//
// The OR side is ctx.attackerSide: a node where it is to move is proven when
// one child is proven. Numbers are signed 32-bit; 0x7FFFFFFF is infinity and
// 0x7FFFFF the largest finite value, also the proof number of a disproof cut
// off by the depth limit or resting on a repetition.
#pragma once

#include <cstdint>

#include "position/position.h"
#include "search/search_context.h"

// Runs one search of root with the given depth (a negative depth does
// nothing), telling ctx.observer when it starts and ends.
void invokeSearch(SearchContext& ctx, Position& root, int16_t depth);

// Searches node until it is resolved, its numbers reach its thresholds, or
// the user stops the search. depth is the number of moves still allowed.
void search(SearchContext& ctx, Position& node, int16_t depth);

// The outcome of one pass over a node's children.
struct ChildSelection {
    Position* best = nullptr;
    Position* second = nullptr;
    int32_t phi1 = INFINITE_NUMBER;  // smallest of the numbers the node minimises
    int32_t phi2 = INFINITE_NUMBER;  // second smallest
    int32_t delta1 = 0;              // largest of the other numbers
    int32_t delta2 = 0;
    int32_t deltaSum = 0;
    int32_t phiSide = 0;    // the node's new minimised number
    int32_t deltaSide = 0;  // the node's new other number
};

ChildSelection selectChild(SearchContext& ctx, Position& node, int16_t depth);

// The node's numbers from its children without selection (after an
// interruption).
void aggregate(SearchContext& ctx, Position& node);
void updateTreeSize(SearchContext& ctx, Position& node);
void classifyLeaf(Position& node, int expansionResult, int16_t depth);
// Records an interrupted node at the front of resumePath and its child list
// at the front of savedChildLists. A caller about to drop the list lets it
// be taken instead of copied: the copies of a path a thousand plies deep
// would double the memory its lists hold at the moment of the stop.
enum class SavedChildren { Copied, Taken };
void savePath(SearchContext& ctx, Position& node, SavedChildren how = SavedChildren::Copied);

// The thresholds given to the child about to be searched.
void setChildThresholds(SearchContext& ctx, const Position& node, Position& child, const ChildSelection& s);

inline bool isOrNode(const SearchContext& ctx, const Position& node) { return node.sideToMove == ctx.attackerSide; }
inline bool isResolved(const Position& p) { return p.proofNumber == 0 || p.disproofNumber == 0; }
inline bool isUnresolvedNode(const Position& p) { return p.proofNumber != 0 && p.disproofNumber != 0; }
// c's move is the killer kept at its grandparent: the move of the same side
// that last resolved a sibling line in that side's favour.
bool isGrandparentKiller(const Position& c);
