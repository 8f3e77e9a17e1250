// The rules of the problem being solved, as move generation, expansion and
// the terminal tests read them. One instance for the whole run: the problem
// file's class and remark lines fill it, before any search starts.
#pragma once

#include <cstdint>

#include "position/types.h"

// RuleFlags fields.
constexpr uint32_t PLAY_WORST = 0x001;
constexpr uint32_t PLAY_BEST = 0x002;
constexpr uint32_t TARGET_DEFENDER_KING = 0x010;
constexpr uint32_t TARGET_OWN_KING = 0x020;
constexpr uint32_t GOAL_MATE = 0x100;
constexpr uint32_t GOAL_STALEMATE = 0x200;
constexpr uint32_t GOAL_WIN = 0x300;
constexpr uint32_t GOAL_REPETITION = 0x400;
constexpr uint32_t ORTHODOX_RULES = 0x112;

enum RestrictionKind : int32_t {
    RESTRICTION_NONE = 0,
    RESTRICTION_ABSTINENT = 1,   // 禁欲
    RESTRICTION_GREEDY = 2,      // 強欲
    RESTRICTION_MAXIMUMMER = 3,  // マキシ
    RESTRICTION_MINIMUMMER = 4,  // ミニ
    RESTRICTION_LONG_RANGE = 5,  // 長駆
};

struct RuleSwitches {
    uint32_t RuleFlags = ORTHODOX_RULES;
    int32_t restrictionKind = RESTRICTION_NONE;
    uint8_t restrictionSides = DEFENDER;
    uint8_t checkRequired = 1;
    uint8_t dropPawnMateAllowed = 0;
    uint8_t handSaving = 0;
    // Mirror-image positions share a table entry.
    uint8_t symmetryDetection = 0;
};

extern RuleSwitches ruleSwitches;

