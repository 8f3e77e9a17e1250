// Checks that the initial diagram, the side to move and the rules fit together.
#pragma once

#include "position/position.h"

// Prints the reason of the first failure on the console and returns false.
bool validateInitialPosition(const Position& pos);
