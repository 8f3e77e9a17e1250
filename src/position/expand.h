// Node expansion: the one place where the fairy conditions touch move
// generation (checks required, symmetry pruning, the move-selection
// conditions, the pawn-drop-mate condition).
#pragma once

#include "position/position.h"

// What expansion tells the layer that keeps positions: each child as it is
// made (a table prefetches its entry) and each child decided on the spot (the
// pawn-drop condition; the table records it).
struct ExpansionListener {
    virtual void childMade(const Position& child) = 0;
    virtual void childDecided(const Position& child) = 0;

protected:
    ~ExpansionListener() = default;
};

struct ExpansionOptions {
    // Children without their attack maps (makeChildDeferringMaps): for the
    // search, which completes a child only when it expands it. The node
    // itself may be such a child.
    bool deferChildMaps = false;
    // Mirror-image moves of a symmetric position stay (the composer's line
    // is being followed and may take either).
    bool keepMirrorMoves = false;
    ExpansionListener* listener = nullptr;
};

// Expands node into childList (stored in node.children) and returns the
// number of children, or without a list only the number of moves. With no
// move the result is a terminal code:
//   0  the defender is mated, or the attacker has no checking move when
//      checks are required;
//  -1  the attacker is in check and has no reply;
//  -2  the attacker has no move and is not in check (or has no king);
//  -3  the defender has no move and is not in check (or has no king).
int expandNode(Position& node, ChildList* childList, const ExpansionOptions& options = {});
