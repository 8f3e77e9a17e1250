#include "driver/problem_header.h"

ProblemHeader problem;
std::string inputFileName;
std::string reportFileName;
std::string suspendFileName;

void resetProblemHeader(ProblemHeader& h) {
    const ProblemHeader defaults;
    h.caption = defaults.caption;
    h.moveCount = defaults.moveCount;
    h.statedMoveCount = defaults.statedMoveCount;
    h.moveCountSource = defaults.moveCountSource;
    h.className = defaults.className;
    h.ruleName = defaults.ruleName;
    h.recordSide = defaults.recordSide;
    h.defenderFirst = defaults.defenderFirst;
    h.checkLevel = defaults.checkLevel;
    h.cookCheck = defaults.cookCheck;
    h.cookDepth = defaults.cookDepth;
    h.traceOn = defaults.traceOn.load();
    h.monitorOn = defaults.monitorOn.load();
    h.detailedMonitor = defaults.detailedMonitor;
    h.monitorDepth = defaults.monitorDepth.load();
    h.hashMonitor = defaults.hashMonitor;
    h.noMateOutput = defaults.noMateOutput;
    h.memoryMB = defaults.memoryMB;
    h.memorySizeInvalid = defaults.memorySizeInvalid;
    h.memorySizeText = defaults.memorySizeText;
    ruleSwitches = RuleSwitches{};
}
