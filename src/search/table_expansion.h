// Node expansion as the searches and the solution builder use it: the
// children's entries are prefetched from the position table, the children
// decided on the spot are stored in it, and the composer's line, when it is
// followed, keeps the mirror-image moves.
#pragma once

#include "position/expand.h"
#include "search/search_context.h"

int expandNode(SearchContext& ctx, Position& node, ChildList* childList, bool deferChildMaps = false);
