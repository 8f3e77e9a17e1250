// Node expansion: the one place where the fairy conditions touch move
// generation (checks required, symmetry pruning, the move-selection
// conditions, the pawn-drop-mate condition).
#pragma once

#include "position/position.h"

struct SearchContext;

// Expands node into childList (stored in node.children) and returns the
// number of children, or without a list only the number of moves. With no
// move the result is a terminal code:
//   0  the defender is mated, or the attacker has no checking move when
//      checks are required;
//  -1  the attacker is in check and has no reply;
//  -2  the attacker has no move and is not in check (or has no king);
//  -3  the defender has no move and is not in check (or has no king).
// With deferChildMaps the children are made without their attack maps
// (makeChildDeferringMaps): for the search, which completes a child only
// when it expands it. node itself may be such a child.
int expandNode(SearchContext& ctx, Position& node, ChildList* childList, bool deferChildMaps = false);
