// Making moves. A child is a byte copy of its parent with one move made;
// nothing is ever undone, so every ancestor stays intact for the repetition
// test and for walking back up the tree.
#pragma once

#include "position/position.h"

// Applies a legal move of the side to move in place. The attack maps and the
// keys are updated incrementally and equal a full computation afterwards.
//
// Invariant: pos.ply < MAX_PLY_KEYS (3000). The move keys have no row for
// ply 3000 or beyond; the solve driver refuses problems longer than 2999
// moves, so no search path ever gets there. Callers that make moves outside
// the search (tools, tests) must keep to the same limit.
void makeMove(Position& pos, Move move);

// Copies the parent into child, makes the move there, links the child to the
// parent and resets the child's search state. Returns child.
Position& makeChild(const Position& parent, Position& child, Move move);

// The same, but the child's attack maps are left to ensureAttackMaps (the
// child is marked attackMapsPending). Everything else is as makeChild makes
// it. The parent must outlive the child's pending state.
Position& makeChildDeferringMaps(const Position& parent, Position& child, Move move);

// Fills in the attack maps of a child made with makeChildDeferringMaps from
// its parent's; does nothing for a complete position.
void ensureAttackMaps(Position& pos);

// The ancestor at an even distance (same side to move), at or above ply
// minPly, that node repeats; with hand saving on, also one with the same
// board where the side has not gained a piece. Null when there is none.
const Position* findRepetition(const Position& node, int16_t minPly);
