#include <gtest/gtest.h>

#include <string>

#include "search/table_fixture.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

constexpr int OLD = 9;  // neither the current nor the previous generation

bool freed(uint64_t i) { return isFree(positionTable.entries[i]); }

uint64_t freedIn(uint64_t from, uint64_t to) {
    uint64_t n = 0;
    for (uint64_t i = from; i <= to; ++i) n += freed(i);
    return n;
}

}  // namespace

// 101 entries: the threshold is 80 and reclamation aims at 50 live ones.
TEST_F(SmallTable, ReclamationStartsOnlyAboveTheThreshold) {
    ASSERT_EQ(positionTable.reclaimThreshold, 80u);
    for (uint64_t i = 0; i < 80; ++i) put(i, makeKey(i, 0, 100 + uint32_t(i)), 3, 4, 1, 0, 0, OLD);

    CaptureStdout();
    EXPECT_EQ(reclaim(), 0u);
    store(*node(makeKey(90, 0, 1), 2, 3, 4), 0);
    EXPECT_EQ(GetCapturedStdout(), "");
    EXPECT_EQ(positionTable.usedCount, 81u);

    positionTable.verificationDepth = 5;
    positionTable.verificationPly = 3;
    CaptureStdout();
    TableEntry* e = store(*node(makeKey(91, 0, 2), 2, 3, 4), 0);
    EXPECT_EQ(GetCapturedStdout(),
              "\nメモリが不足気味です（局面表利用率80.2％）\n"
              "30.7％の非保護データ（探索レベル0以下）を破棄して再利用します\n");
    EXPECT_EQ(freedIn(0, 79), 31u);
    EXPECT_EQ(freedIn(0, 30), 31u);  // in index order
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(isLive(*e));
    EXPECT_EQ(positionTable.usedCount, 51u);
    EXPECT_EQ(positionTable.peakUsed, 81u);
    EXPECT_EQ(positionTable.verificationDepth, 0x7FFF);
    EXPECT_EQ(positionTable.verificationPly, 0);
}

TEST_F(SmallTable, FirstPassFreesOldUnresolvedEntriesFromTheLowestLevelUp) {
    for (uint64_t i = 0; i <= 40; ++i) put(i, makeKey(i, 0, 100 + uint32_t(i)), 3, 4, 1, 3, 0, OLD);
    for (uint64_t i = 41; i <= 45; ++i) put(i, makeKey(i, 0, 100 + uint32_t(i)), 3, 4, 1, 2, 0, 1);
    for (uint64_t i = 46; i <= 60; ++i) put(i, makeKey(i, 0, 100 + uint32_t(i)), 3, 4, 1, 2, 0, OLD);
    for (uint64_t i = 61; i <= 80; ++i) put(i, makeKey(i, 0, 100 + uint32_t(i)), 3, 4, 1, 1, 0, OLD);
    put(90, makeKey(90, 0, 9), 0, INFINITE_NUMBER, 1, 0, 0, OLD);  // old, cheap, but resolved

    // 82 live, 32 to go: levels 1 and 2 give 35, so the cut is 2, and the
    // level-2 entries met first in index order go before some of level 1.
    CaptureStdout();
    EXPECT_EQ(reclaim(), 32u);
    const std::string out = GetCapturedStdout();
    EXPECT_NE(out.find("\n31.7％の非保護データ（探索レベル2以下）を破棄して再利用します\n"), std::string::npos)
        << out;
    EXPECT_EQ(freedIn(0, 45), 0u);
    EXPECT_EQ(freedIn(46, 77), 32u);
    EXPECT_EQ(freedIn(78, 80), 0u);
    EXPECT_FALSE(freed(90));
    EXPECT_EQ(positionTable.usedCount, 50u);
}

TEST_F(SmallTable, SecondPassFreesOldResolvedEntriesProofsLast) {
    positionTable.generation = 3;
    positionTable.previousGeneration = 2;
    positionTable.maxProbesUnresolved = 4;
    positionTable.maxProbesDisproof = 2;
    positionTable.maxProbesProof = 1;
    positionTable.detailedNotices = 1;
    for (uint64_t i = 0; i <= 15; ++i) put(i, makeKey(i, 0, 100 + uint32_t(i)), 0, INFINITE_NUMBER, 1, 0, 0, OLD);
    for (uint64_t i = 16; i <= 50; ++i) put(i, makeKey(i, 0, 100 + uint32_t(i)), LARGEST_FINITE, 0, 1, 0, 0, OLD);
    for (uint64_t i = 51; i <= 80; ++i) put(i, makeKey(i, 0, 100 + uint32_t(i)), 3, 4, 1, 0, 0, i % 2 ? 2 : 3);

    // No old unresolved entry: 31 of the 35 cut-off disproofs (adjusted 4)
    // go, none of the proofs (adjusted 10), though they come first.
    CaptureStdout();
    EXPECT_EQ(reclaim(), 31u);
    EXPECT_EQ(GetCapturedStdout(),
              "\nメモリが不足気味です（局面表利用率80.2％）\n"
              "リトライ4, 不詰リトライ2, 詰リトライ1\n"
              "詰15.8％、不詰0.0％、打切34.7％、ループ0.0％、不定29.7％：参照0.0％\n"
              "探索レベルの最大値：0\n"
              "保護対象世代：2, 3\n"
              "30.7％の非保護データ（探索レベル4以下）を破棄して再利用します\n");
    EXPECT_EQ(freedIn(0, 15), 0u);
    EXPECT_EQ(freedIn(16, 46), 31u);
    EXPECT_EQ(freedIn(47, 80), 0u);
}

TEST_F(SmallTable, SecondPassNeverFreesProtectedEntries) {
    for (uint64_t i = 0; i <= 40; ++i) put(i, makeKey(i, 0, 100 + uint32_t(i)), LARGEST_FINITE, 0, 1, 0, Protected, OLD);
    for (uint64_t i = 41; i <= 80; ++i) put(i, makeKey(i, 0, 100 + uint32_t(i)), 3, 4, 1, 0, 0, 1);
    CaptureStdout();
    EXPECT_EQ(reclaim(), 0u);
    const std::string out = GetCapturedStdout();
    EXPECT_NE(out.find("\n0.0％の非保護データ（探索レベル0以下）"), std::string::npos) << out;
    EXPECT_EQ(freedIn(0, 100), 0u);
    EXPECT_EQ(positionTable.usedCount, 81u);
}

TEST_F(SmallTable, PurgeOfUnmarkedEntriesKeepsWhatHoldsBelowTheMarker) {
    positionTable.verificationDepth = 5;
    positionTable.verificationPly = 3;
    struct Case {
        int32_t pn, dn;
        int16_t length;
        uint8_t flags;
        bool survives;
    };
    const Case cases[] = {
        {0, INFINITE_NUMBER, 4, 0, true},           // proof within the depth
        {0, INFINITE_NUMBER, 6, 0, false},          // proof claiming more
        {0, INFINITE_NUMBER, 6, Protected, true},   // the solution's mark
        {LARGEST_FINITE, 0, 5, 0, true},            // cut-off within the depth
        {LARGEST_FINITE, 0, 6, 0, true},            // a deeper cut-off holds too
        {INFINITE_NUMBER, 0, 0x7FFF, 0, true},      // plain disproof: length 0x7FFF
        {LARGEST_FINITE, 0, 2, Loop, false},        // loop above the ply
        {LARGEST_FINITE, 0, 7, Loop, true},         // loop from the ply on
        {3, 4, 2, 0, false},                        // unresolved above the ply
        {3, 4, 3, 0, true},
        {3, 4, 9, 0, true},                         // deep, but no claim on the depth
    };
    uint64_t i = 0;
    for (const Case& c : cases) {
        put(i, makeKey(i, 0, 100 + uint32_t(i)), c.pn, c.dn, c.length, 1, c.flags, 1);
        ++i;
    }
    TableEntry& alreadyFree = put(i, makeKey(i, 0, 7), 0, INFINITE_NUMBER, 9, 1, Free, 1);

    // Far from its reclamation the table is left as it is; halfway there
    // the purge sweeps it.
    const uint64_t used = positionTable.usedCount;
    positionTable.reclaimThreshold = 2 * used + 2;
    purgeUnmarkedEntries();
    EXPECT_EQ(positionTable.usedCount, used);
    positionTable.reclaimThreshold = 2 * used;
    purgeUnmarkedEntries();
    uint64_t survivors = 0;
    for (uint64_t j = 0; j < std::size(cases); ++j) {
        const TableEntry& e = slot(j);
        EXPECT_EQ(!isEmpty(e), cases[j].survives) << "case " << j;
        if (!cases[j].survives) {
            EXPECT_EQ(e.flags, Free);
            EXPECT_EQ(e.loopPly, 0x7FFF);
            EXPECT_EQ(e.proofNumber | e.disproofNumber | e.length | e.level, 0);
        }
        survivors += cases[j].survives;
    }
    EXPECT_FALSE(isEmpty(alreadyFree));
    EXPECT_EQ(positionTable.usedCount, survivors);

    // With nothing stored since that sweep the next purge does not sweep,
    // though the marker moved past an unresolved entry.
    positionTable.verificationPly = 4;
    purgeUnmarkedEntries();
    EXPECT_FALSE(isEmpty(slot(9)));
    EXPECT_EQ(positionTable.usedCount, survivors);

    // Loop entries go whatever their state; a Free one does not lower the count twice.
    alreadyFree.flags |= Loop;
    rebuildKeyFilters();
    purgeMarkedEntries();
    EXPECT_TRUE(isEmpty(slot(7)));
    EXPECT_TRUE(isEmpty(alreadyFree));
    EXPECT_EQ(positionTable.usedCount, survivors - 1);
}
