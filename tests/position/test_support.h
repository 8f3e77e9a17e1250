// Helpers shared by the position tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "brute_force.h"
#include "position/movegen.h"
#include "position/rules.h"
#include "position/sfen.h"

// A position set up from SFEN, kept in static storage (the record is large
// and children point at it).
inline Position& positionFrom(const char* sfen, int slot = 0) {
    static Position positions[4];
    std::string error;
    EXPECT_TRUE(setUpFromSfen(positions[slot], sfen, error)) << sfen << ": " << error;
    return positions[slot];
}

// The generated moves in order, as text.
inline std::string bufferText(int n) { return movesText(moveBuffer(), n < 0 ? 0 : n); }

inline int sq(int file, int rank) { return makeSquare(file, rank); }

// Sets a rule switch for the lifetime of the object.
template <typename T>
struct ScopedSwitch {
    T& field;
    T saved;
    ScopedSwitch(T& f, T value) : field(f), saved(f) { field = value; }
    ~ScopedSwitch() { field = saved; }
};
