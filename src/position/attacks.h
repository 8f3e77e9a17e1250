// Attack maps, check detection, pins and discovered-check lines.
//
// Attack word of a cell in a side's map: bit D (0..11) when a piece of that
// side on cell - offset[D] steps onto the cell; bit 16 + D when a slider of
// that side moving in direction D reaches it (the first occupied cell of its
// line or an empty cell before it). Every cell is marked, walls included.
// At most one piece feeds each bit, so the bit count is the number of
// attackers.
#pragma once

#include <cstdint>

#include "position/position.h"

// One int per Square 0..175; 0 = not pinned / not a discovery piece,
// otherwise the offset of the line.
using PinTable = int32_t[ATTACK_CELLS];

void computeAttackMaps(Position& pos);

inline bool isInCheck(const Position& pos, int side) {
    int king = pos.kingSquareOf(side);
    return king != 0 && pos.attacksOf(otherSide(side))[king] != 0;
}

// The bits the side's map would hold on the square, computed from the board.
int32_t attacksOn(const Position& pos, int sq, int side);

// Pin table for both kings.
void findPins(const Position& pos, PinTable pins);

// Attacker pieces whose move uncovers a slider's check on the defender's king.
void findDiscoveries(const Position& pos, PinTable table);

// Both tables in one pass over the kings' lines.
void findPinsAndDiscoveries(const Position& pos, PinTable pins, PinTable discoveries);

// As attacksOn, but a pinned piece counts only along its pin line.
int32_t attacksOnUnpinned(const Position& pos, int sq, int side, const PinTable pins);
