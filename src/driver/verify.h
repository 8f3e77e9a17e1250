// Verification of a solution move by move: alternative mates, defences as
// long as the main line, promotion choices, detours, and main-line defences
// that lose faster than the line says (the line is then corrected).
#pragma once

#include "driver/solution.h"
#include "position/position.h"
#include "search/search_context.h"

// Verifies line from node and returns the verified (possibly corrected) line.
// nested is false from the driver and true for the re-check after a
// correction. A stop inside sets node.searchStatus to 3; the unverified
// rest of the line is returned then.
MoveLine verifySolution(SearchContext& ctx, Position& node, MoveLine line, bool nested);
