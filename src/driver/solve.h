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

// Solves the problem from the initial position. The outcome stands in the
// console output, the report, currentSolution and initial.searchStatus (3
// when the run ended by interruption).
void solve(SearchContext& ctx, Position& initial, int16_t moveCount, int32_t checkLevel);
