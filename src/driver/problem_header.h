// The problem header: caption, move count, class, and the condition and
// option switches that the problem file's class and remark lines set, besides
// the rule switches (position/rules.h) that the same lines fill. One instance
// for the whole run; the keyword interpreter is its only writer apart from
// the solve driver's checks at start.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "position/rules.h"
#include "position/types.h"

// Texts are CP932 byte strings.
struct ProblemHeader {
    std::string caption;
    int16_t moveCount = 0;
    // The "手数：" figure as written, shown on the rule line: moveCount is -1
    // when the figure does not fit it.
    int64_t statedMoveCount = 0;
    // Files written by shogi GUIs give no "手数：" line: the length is then
    // the number of moves of the move list.
    enum class MoveCountSource : uint8_t { None, Stated, MoveList };
    MoveCountSource moveCountSource = MoveCountSource::None;
    std::string className;
    std::string ruleName;
    uint8_t recordSide = ATTACKER;

    uint8_t defenderFirst = 0;

    int32_t checkLevel = 0;
    uint8_t cookCheck = 0;
    int16_t cookDepth = 0;
    // The keyboard thread changes these three while a search runs.
    std::atomic<uint8_t> traceOn{0};
    std::atomic<uint8_t> monitorOn{0};
    uint8_t detailedMonitor = 0;
    std::atomic<int16_t> monitorDepth{2};  // plies shown below the root
    uint8_t hashMonitor = 0;
    uint8_t noMateOutput = 0;
    int32_t memoryMB = 0;
    // A memory option whose size is not a decimal integer in the signed
    // 32-bit range: the run stops before the table is created. The text is
    // the option as written, from its keyword to its unit.
    uint8_t memorySizeInvalid = 0;
    std::string memorySizeText;
};

extern ProblemHeader problem;

// Back to the defaults, the rule switches with it (the header holds
// atomics, so it cannot be assigned).
void resetProblemHeader(ProblemHeader& header);

// The files of the run. The problem file name, from the first argument or
// typed at the prompt:
extern std::string inputFileName;
// inputFileName + ".txt": the report, appended to by every run.
extern std::string reportFileName;
// The name without its extension + ".kvs": the suspend file.
extern std::string suspendFileName;
