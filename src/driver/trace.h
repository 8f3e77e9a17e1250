// The search's own account of its work: the report trace, the console
// monitor, and the statistics block after a search.
#pragma once

#include "position/position.h"
#include "search/search_context.h"

// Just before child is searched from node.
void traceNodeEntry(SearchContext& ctx, const Position& node, const Position& child);
// After the child search returned.
void traceNodeReturn(SearchContext& ctx, const Position& node, const Position& child);

void printSearchStatistics(const SearchContext& ctx, const Position& root);
