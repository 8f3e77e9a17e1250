// Helpers of the search tests: a clean solve state and a small table.
#pragma once

#include <gtest/gtest.h>

#include "position/position.h"
#include "position/rules.h"
#include "position/sfen.h"
#include "search/position_table.h"
#include "search/search.h"
#include "search/search_context.h"

// The search state of a fresh run: orthodox rules, empty path records, a
// context as the driver leaves it before phase 1.
inline void resetSearchState() {
    ruleSwitches = RuleSwitches{};
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
}

// A fresh search state and a small table around each test.
class SmallTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetSearchState();
        ASSERT_TRUE(allocatePositionTable(65521));
    }
    void TearDown() override {
        releasePositionTable();
        resetSearchState();
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
