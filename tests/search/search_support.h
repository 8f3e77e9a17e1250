// Helpers of the search tests: a clean solve state, problems from the
// corpus, and positions from SFEN set up as search roots.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "frontend/problem_header.h"
#include "frontend/problem_reader.h"
#include "position/position.h"
#include "position/sfen.h"
#include "position/validate.h"
#include "driver/keyboard.h"
#include "search/position_table.h"
#include "search/search.h"
#include "search/search_context.h"
#include "test_data.h"

// The search state of a fresh run: default header, empty path records, a
// context as the driver leaves it before phase 1.
inline void resetSolveState() {
    resetProblemHeader(problem);
    enteredSequence.clear();
    resumePath.clear();
    SearchContext& ctx = searchContext;
    ctx.resumePly = 0;
    ctx.savedChildLists.clear();
    ctx.depthLimit = 0;
    ctx.phase = PHASE_SOLVING;
    ctx.subPhase = 0;
    ctx.resumeMove = Move{};
    ctx.savedPly = 0;
    ctx.savedMove = Move{};
    ctx.rootPly = 0;
    ctx.deepestPlyOverall = 0;
    ctx.deepestPly = 0;
    ctx.solutionLength = 0;
    ctx.resuming = 0;
    ctx.maxProofNumber = ctx.maxDisproofNumber = ctx.maxLevel = 0;
    ctx.rootSide = ATTACKER;
    ctx.goalPosition = nullptr;
    ctx.attackerSide = ATTACKER;
    ctx.defenderSide = DEFENDER;
    ctx.followIntendedLine = 0;
    ctx.refutedPosition = Position{};
    ctx.nodeCount = 0;
    ctx.composerLine.clear();
    ctx.forceComposerLine = 0;
    escPressed = 0;
    progressRequested = 0;
}

// The hand-saving rule as the driver settles it for the problem's rules.
inline void settleHandSaving() {
    ruleSwitches.handSaving = !ruleSwitches.dropPawnMateAllowed &&
                         (ruleSwitches.restrictionKind == RESTRICTION_NONE || ruleSwitches.restrictionKind == RESTRICTION_GREEDY) &&
                         (ruleSwitches.RuleFlags == ORTHODOX_RULES || ((ruleSwitches.RuleFlags & PLAY_BEST) && ruleSwitches.handSaving));
}

// Reads a corpus problem into root and creates the table its memory figure
// asks for. The caller releases the table.
inline ::testing::AssertionResult loadCorpusProblem(const std::string& file, Position& root) {
    resetSolveState();
    std::ifstream in(std::string(KELVARO_CORPUS_DIR) + "/" + file, std::ios::binary);
    if (!in) return ::testing::AssertionFailure() << "cannot open " << file;
    ProblemSetup setup{};
    std::string refusal;
    if (!readProblemFile(in, setup, refusal)) return ::testing::AssertionFailure() << file << " refused";
    root = Position{};
    setUpPosition(root, setup.diagram, setup.handCounts, firstMover());
    if (!validateInitialPosition(root)) return ::testing::AssertionFailure() << file << " fails validation";
    settleHandSaving();
    const bool worst = ruleSwitches.RuleFlags & PLAY_WORST;
    searchContext.attackerSide = worst ? DEFENDER : ATTACKER;
    searchContext.defenderSide = worst ? ATTACKER : DEFENDER;
    if (ruleSwitches.RuleFlags & GOAL_REPETITION) searchContext.goalPosition = &root;
    const int32_t mb = problem.memoryMB < 20 ? 20 : problem.memoryMB;
    if (!allocatePositionTable(tableCapacityForMemory(mb))) return ::testing::AssertionFailure() << "no table";
    return ::testing::AssertionSuccess();
}

// A fresh solve state and a small table around each test.
class SmallTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetSolveState();
        ASSERT_TRUE(allocatePositionTable(65521));
    }
    void TearDown() override {
        releasePositionTable();
        resetSolveState();
    }
};

struct SearchOutcome {
    int32_t pn;
    int32_t dn;
    uint64_t nodes;
};

inline SearchOutcome searchRoot(Position& root, int16_t depth) {
    searchContext.solutionLength = depth;
    invokeSearch(searchContext, root, depth);
    return {root.proofNumber, root.disproofNumber, searchContext.nodeCount};
}
