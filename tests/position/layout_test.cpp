#include <gtest/gtest.h>

#include <random>

#include "position/attacks.h"
#include "position/hash_keys.h"
#include "position/position.h"

TEST(HashKeys, FirstDrawIsTheFirstOutputOfTheStandardGenerator) {
    fillHashTables();
    std::mt19937_64 rng(5489);
    EXPECT_EQ(hashTables.boardKeys[0][17], rng());
    EXPECT_EQ(hashTables.boardKeys[0][16], 0u);
    const uint64_t last = hashTables.movePromoteKeys[1][2999];
    fillHashTables();
    EXPECT_EQ(hashTables.movePromoteKeys[1][2999], last);
}

TEST(SetUp, KingsCountsAndSideBit) {
    uint8_t diagram[81] = {};
    int32_t hands[HAND_SLOTS] = {};
    diagram[9 * 0 + (9 - 5)] = DEFENDER_KING;  // 5一
    diagram[9 * 2 + (9 - 5)] = ATTACKER | GOLD;  // 5三
    hands[ATTACKER | ROOK] = 2;
    hands[24] = 3;  // copied, but counts toward neither hand
    Position a{}, d{};
    setUpPosition(a, diagram, hands, ATTACKER);
    setUpPosition(d, diagram, hands, DEFENDER);
    EXPECT_EQ(a.defenderKingSquare, makeSquare(5, 1));
    EXPECT_EQ(a.attackerKingSquare, 0);
    EXPECT_EQ(a.attackerBoardCount, 1);
    EXPECT_EQ(a.defenderBoardCount, 1);
    EXPECT_EQ(a.attackerHandCount, 2);
    EXPECT_EQ(a.hand[24], 3);
    EXPECT_EQ(a.positionKey ^ d.positionKey, uint64_t(1) << 63);
    // The gold on 5三 covers 5二 (straight ahead) but not 5四's diagonal.
    EXPECT_NE(a.attackerAttacks[makeSquare(5, 2)], 0);
    EXPECT_TRUE(a.attackerAttacks[makeSquare(5, 2)] & (1 << 6));
    EXPECT_EQ(a.attackerAttacks[makeSquare(4, 4)], 0);
}
