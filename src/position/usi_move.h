// Moves as the USI protocol writes them: "7g7f" (from, to: file digit, rank
// letter a..i), "8h2b+" (with promotion), "P*5d" (a drop, the piece's SFEN
// letter in upper case for either side).
#pragma once

#include <string>
#include <string_view>

#include "position/position.h"

std::string usiMoveText(Move move);

// The legal move of the side to move in pos that text names. False when
// there is none (a malformed text, or a move that is not legal there).
bool findUsiMove(const Position& pos, std::string_view text, Move& move);
