// Turning the keyboard thread's flags into dialogue on the main thread.
#pragma once

#include "position/position.h"
#include "search/search_context.h"

// Polled at every node. On ESC shows where the search stands and asks
// whether to stop; true when it is to stop (the position's searchStatus is
// then 3).
bool checkInterrupt(SearchContext& ctx, Position& pos);

// The progress block: the current line, the position, the table use.
void showProgress(SearchContext& ctx, const Position& pos);
