// Reading concrete lines out of the position table after a search: the
// mating line (the provisional solution) and the refuting line of an
// unsolved problem; marking the solution tree; printing lines.
#pragma once

#include <cstdint>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "position/position.h"
#include "search/search_context.h"

using MoveLine = std::vector<Move>;

// The child reached by m, or null.
Position* childWithMove(ChildList& children, Move m);
// m, then the moves of rest.
MoveLine withMoveInFront(Move m, const MoveLine& rest);

// The mating line from node within depth moves; empty when it cannot be
// shown, on a stop (node.searchStatus is then 3) and on a repetition cut.
// Searches nodes again where the table lacks data.
MoveLine buildMateSolution(SearchContext& ctx, Position& node, int16_t depth);

// The refuting line of a disproved node, within depth moves.
MoveLine buildNoMateLine(SearchContext& ctx, Position& node, int16_t depth);

// Sets the solution mark (Protected) on the proof entries along the line
// and on the replies around it.
void markSolutionTree(SearchContext& ctx, const Position& pos, MoveLine line);

// The line in move notation from pos, ten moves a row, then "まで N手".
void writeSequence(const Position& pos, const MoveLine& line, std::ostream& out);
// To the report stream, then to the console.
void printSolution(const Position& pos, const MoveLine& line, std::ofstream& report);
// To the console only.
void showSolution(const Position& pos, const MoveLine& line);

// The text of move played after the first count moves of line from start.
// A move that is not legal where it stands (a composer's list can hold
// anything) is written in the short record form.
std::string moveTextAfter(const Position& start, const MoveLine& line, size_t count, Move move);
