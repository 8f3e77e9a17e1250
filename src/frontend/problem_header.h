// The problem header: caption, move count, class, and every rule, condition
// and option switch that the problem file's class and remark lines set.
// One instance for the whole run; the keyword interpreter is its only writer
// apart from the solve driver's checks at start.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

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

// Texts are CP932 byte strings.
struct ProblemHeader {
    std::string caption;
    int16_t moveCount = 0;
    std::string className;
    std::string ruleName;
    uint8_t recordSide = ATTACKER;

    uint32_t RuleFlags = ORTHODOX_RULES;
    int32_t restrictionKind = RESTRICTION_NONE;
    uint8_t restrictionSides = DEFENDER;
    uint8_t checkRequired = 1;
    uint8_t dropPawnMateAllowed = 0;
    uint8_t defenderFirst = 0;
    uint8_t handSaving = 0;

    int32_t checkLevel = 0;
    uint8_t cookCheck = 0;
    int16_t cookDepth = 0;
    uint8_t symmetryDetection = 0;
    // The keyboard thread changes these three while a search runs.
    std::atomic<uint8_t> traceOn{0};
    std::atomic<uint8_t> monitorOn{0};
    uint8_t detailedMonitor = 0;
    std::atomic<int16_t> monitorDepth{2};  // plies shown below the root
    uint8_t hashMonitor = 0;
    uint8_t noMateOutput = 0;
    uint8_t forceComposerLine = 0;
    int32_t memoryMB = 0;
    // A memory option whose size is not a decimal integer in the signed
    // 32-bit range: the run stops before the table is created. The text is
    // the option as written, from its keyword to its unit.
    uint8_t memorySizeInvalid = 0;
    std::string memorySizeText;
};

extern ProblemHeader problem;

// Back to the defaults (the header holds atomics, so it cannot be assigned).
void resetProblemHeader(ProblemHeader& header);

// The composer's move list from the file.
extern std::vector<Move> enteredSequence;
