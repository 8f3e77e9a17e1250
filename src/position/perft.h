// Move-path enumeration: the number of leaf positions DEPTH moves below a
// position, every leaf made with makeChild (no bulk counting at the last ply).
#pragma once

#include <cstdint>

#include "position/position.h"

uint64_t perft(const Position& pos, int depth);
