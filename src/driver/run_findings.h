// What one run found, counted as the console and the report tell it, for a
// caller that checks many problems and tabulates them.
#pragma once

#include <cstdint>

struct RunFindings {
    bool mateFound = false;       // the first search proved a mate
    int32_t solutionLength = -1;  // the moves of the solution printed last; -1: none
    int32_t shorterMates = 0;     // shorter mates the run found (早詰)
    int32_t changedDefences = 0;  // main-line defences replaced (変別)
    int32_t cooks = 0;            // 余詰
    int32_t notUnique = 0;        // 非限定
    int32_t detours = 0;          // 迂回
};

// Cleared when a solve starts.
extern RunFindings runFindings;
