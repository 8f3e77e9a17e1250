// The number of moves of positions the search counted but did not expand.
//
// Outside the first search a child the table does not know starts from the
// count of its moves (a move generation). Most counted children are never
// searched, so nothing of them reaches the table, and every later visit of
// their parent, which makes its children again, counts them again. A small
// direct-mapped cache keeps the counts: a count depends only on the position
// and on the rules, so a cached one is the count itself, and the search is
// the same with the cache as without it.
#pragma once

#include <cstdint>

#include "position/position.h"

constexpr int32_t MOST_CACHED_MOVES = 254;

// The position's count of moves as expandNode gives it without a list (a
// terminal code as 0), at most MOST_CACHED_MOVES; counted and cached on a
// miss.
int32_t cachedMoveCount(Position& pos);
