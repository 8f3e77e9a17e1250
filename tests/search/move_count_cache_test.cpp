#include "search/move_count_cache.h"

#include <gtest/gtest.h>

#include <string>

#include "position/expand.h"
#include "position/rules.h"
#include "position/sfen.h"

namespace {

Position positionOf(const char* sfen) {
    Position p;
    std::string error;
    EXPECT_TRUE(setUpFromSfen(p, sfen, error)) << error;
    return p;
}

int32_t countedNow(const Position& p) {
    Position copy = p;
    const int n = expandNode(copy, nullptr);
    return n < 0 ? 0 : n;
}

// Orthodox rules again when the test ends, however it ends.
struct OrthodoxRulesAfter {
    ~OrthodoxRulesAfter() { ruleSwitches = RuleSwitches{}; }
};

}  // namespace

// A cached count is the count itself, also after the rules changed in the
// same process (the next problem of a batch or of a test run): the attacker
// here has a few checks but many more moves once checks are not required.
TEST(MoveCountCache, AnswersTheCountOfThePositionUnderTheRulesInForce) {
    const OrthodoxRulesAfter restore;
    ruleSwitches = RuleSwitches{};
    const Position attacker = positionOf("4k4/9/4P4/9/9/9/9/9/9 b G 1");
    const int32_t checks = countedNow(attacker);
    ASSERT_GT(checks, 1);
    for (int pass = 0; pass < 2; ++pass) {
        Position p = attacker;
        EXPECT_EQ(checks, cachedMoveCount(p));
    }
    ruleSwitches.checkRequired = 0;
    const int32_t moves = countedNow(attacker);
    ASSERT_GT(moves, checks);
    Position p = attacker;
    EXPECT_EQ(moves, cachedMoveCount(p));
    ruleSwitches = RuleSwitches{};

    // A mated defender counts no move.
    Position mated = positionOf("4k4/4G4/4P4/9/9/9/9/9/9 w - 1");
    EXPECT_EQ(0, cachedMoveCount(mated));
}
