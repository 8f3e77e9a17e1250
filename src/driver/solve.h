// The solve driver: phase 1 (solving), phase 2 (shorter mates), phase 4
// (verification), with the console and report output of each.
#pragma once

#include <cstdint>

#include "driver/solution.h"
#include "position/position.h"
#include "search/search_context.h"

// The solution of the moment (provisional after phase 1, shortened after
// phase 2); this is what a suspend file saves.
extern MoveLine currentSolution;
// The solution read back from a suspend file.
extern MoveLine suspendedSolution;

// The parts the two sides play in the search (exchanged under worst play)
// and the hand-saving switch, which holds only for best-play mates without
// the pawn-drop condition and under no restriction or the greedy one.
void setUpSidesAndHandSaving(SearchContext& ctx);

// Solves the problem from the initial position. The outcome stands in the
// console output, the report, currentSolution and initial.searchStatus (3
// when the run ended by interruption). False when the move count or the
// rules were refused and nothing was searched.
bool solve(SearchContext& ctx, Position& initial, int16_t moveCount, int32_t checkLevel);
