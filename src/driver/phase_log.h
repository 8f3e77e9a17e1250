// For the benchmarks: when KELVARO_PHASE_LOG names a file, the run appends
// to it the end of each phase and every search of the verification, one
// tab-separated line each. Nothing the console or the report shows changes.
//   PHASE POSITIONS                          positions searched so far
//   search PLY MOVE DEPTH POSITIONS RESULT   one search of the verification
#pragma once

#include <cstdint>

#include "position/position.h"
#include "search/search_context.h"

// phase: solve, shorter or verify.
void logPhaseEnd(const SearchContext& ctx, const char* phase);
// The search of `searched` (the position after the move examined) to
// depth, which took `positions`; RESULT is mate, nomate or open.
void logVerificationSearch(const Position& searched, int depth, uint64_t positions);
