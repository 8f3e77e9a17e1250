#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <vector>
#include <string>

#include "search/table_fixture.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

// The entries of a table take at most the memory asked for and less than 20
// MB below it; smaller figures get the 20 MB table.
TEST(TableGeometry, EntriesFitTheMemoryFigure) {
    constexpr uint64_t MB = 1048576;
    std::mt19937 rng(3);
    std::vector<int32_t> figures = {INT_MIN, -7, 0, 19, 20, 39, 40, 2048, INT_MAX};
    for (int i = 0; i < 200; ++i) figures.push_back(int32_t(rng() % 100000));
    uint64_t previous = 0;
    std::sort(figures.begin(), figures.end());
    for (const int32_t mb : figures) {
        const uint64_t capacity = tableCapacityForMemory(mb);
        const uint64_t bytes = (capacity + 1) * sizeof(TableEntry);
        const uint64_t asked = uint64_t(std::max(mb, 20)) * MB;
        EXPECT_LE(bytes, asked) << mb;
        EXPECT_GT(bytes + 20 * MB, asked) << mb;
        EXPECT_GE(capacity, previous) << mb;  // more memory never buys fewer entries
        previous = capacity;
    }
}

// A fresh table holds nothing, every entry (the spare one too) truly empty,
// and reclaims before it is full.
TEST(TableGeometry, FreshTableIsEmpty) {
    ASSERT_TRUE(allocatePositionTable(tableCapacityForMemory(20)));
    const PositionTable& t = positionTable;
    EXPECT_EQ(t.usedCount, 0u);
    EXPECT_GT(t.reclaimThreshold, t.capacity / 2);
    EXPECT_LT(t.reclaimThreshold, t.capacity);
    EXPECT_GT(t.generationLength, 0u);
    uint64_t wrong = 0;
    for (uint64_t i = 0; i <= t.capacity; ++i) {
        const TableEntry& e = t.entries[i];
        wrong += !(isTrulyEmpty(e) && e.proofNumber == 0 && e.disproofNumber == 0 && e.length == 0 &&
                   e.level == 0 && e.loopPly == NO_PLY);
    }
    EXPECT_EQ(wrong, 0u);
    releasePositionTable();
    EXPECT_EQ(positionTable.entries, nullptr);
}

TEST(TableGeometry, RefusesWhatTheMachineCannotHold) {
    EXPECT_FALSE(allocatePositionTable(0));
    EXPECT_FALSE(allocatePositionTable(uint64_t(1) << 40));  // 20 TiB
    EXPECT_EQ(positionTable.entries, nullptr);
    EXPECT_EQ(positionTable.capacity, 0u);
}

TEST_F(SmallTable, ProbesStepByKeyBitsFortyEightToFiftyFive) {
    const uint64_t a = makeKey(10, 0, 1), b = makeKey(10, 0, 2), c = makeKey(10, 7, 3);
    EXPECT_EQ(storeUnresolved(entryFor(a, 5, 5, 1), a), &slot(10));
    EXPECT_EQ(storeUnresolved(entryFor(b, 5, 5, 1), b), &slot(11));  // byte zero: step 1
    EXPECT_EQ(storeUnresolved(entryFor(c, 5, 5, 1), c), &slot(17));

    // The index wraps at the capacity ...
    const uint64_t d = makeKey(99, 5, 4);
    EXPECT_EQ(storeUnresolved(entryFor(d, 5, 5, 1), d), &slot(99));
    EXPECT_EQ(storeUnresolved(entryFor(d, 5, 5, 2), d), &slot(3));

    // ... and the running key at 2^64, before the modulus is taken.
    const uint64_t e = ~uint64_t(0) - 10;  // step 0xFF
    const uint64_t home = e % CAPACITY, second = (e + 0xFF) % CAPACITY;
    ASSERT_NE(second, (home + 0xFF) % CAPACITY);
    EXPECT_EQ(storeUnresolved(entryFor(e, 5, 5, 1), e), &slot(home));
    EXPECT_EQ(storeUnresolved(entryFor(e, 5, 5, 2), e), &slot(second));
    EXPECT_EQ(positionTable.usedCount, 7u);
}

TEST_F(SmallTable, StoreChoosesKeyLengthAndLevelByKind) {
    auto unresolved = node(makeKey(1, 1, 1), 6, 3, 4);
    unresolved->openTreeSize = 40;
    unresolved->treeSize = 1000;
    TableEntry* e = store(*unresolved, 9);
    EXPECT_EQ(e->length, 6);
    EXPECT_EQ(e->level, 5);

    auto proof = node(makeKey(2, 1, 2), 6, 0, INFINITE_NUMBER);
    proof->openTreeSize = 40;
    proof->treeSize = 1000;
    e = store(*proof, 9);
    EXPECT_EQ(e->length, 9);
    EXPECT_EQ(e->level, 9);

    auto plain = node(makeKey(3, 1, 3), 6, INFINITE_NUMBER, 0);
    plain->treeSize = 0;
    e = store(*plain, 9);
    EXPECT_EQ(e->length, 0x7FFF);
    EXPECT_EQ(e->level, 0);

    auto loop = node(makeKey(4, 1, 4), 7, LARGEST_FINITE, 0);
    loop->loopDisproof = 1;
    loop->loopPly = 2;
    loop->pathKey = makeKey(40, 1, 44);
    e = store(*loop, 0);
    EXPECT_EQ(e, &slot(40));
    EXPECT_TRUE(holdsKey(*e, loop->pathKey));
    EXPECT_EQ(e->length, 7);
    EXPECT_EQ(e->loopPly, 2);
    EXPECT_TRUE(e->flags & Loop);

    // Every stored entry carries the generation of its touch.
    EXPECT_EQ(generationOf(*e), 1);
    EXPECT_EQ(positionTable.usedCount, 4u);
}

TEST_F(SmallTable, ProofOverProofKeepsShorterMateAndLargerTreeAndDropsTheMark) {
    const uint64_t k = makeKey(20, 3, 9);
    auto p = node(k, 4, 0, INFINITE_NUMBER);
    p->treeSize = 8;
    TableEntry* e = store(*p, 5);
    ASSERT_EQ(e, &slot(20));
    e->flags |= Protected | Referenced;

    p->treeSize = 64;
    EXPECT_EQ(store(*p, 7), e);
    EXPECT_EQ(e->length, 5);
    EXPECT_EQ(e->level, 6);
    EXPECT_FALSE(e->flags & (Protected | Referenced));

    p->treeSize = 2;
    store(*p, 3);
    EXPECT_EQ(e->length, 3);
    EXPECT_EQ(e->level, 6);
    EXPECT_EQ(positionTable.usedCount, 1u);
}

TEST_F(SmallTable, OverwritingASlotKeepsItsMark) {
    const uint64_t k = makeKey(25, 1, 9);
    TableEntry* e = store(*node(k, 2, 3, 4), 0);
    e->flags |= Protected | Referenced;
    EXPECT_EQ(store(*node(k, 2, 0, INFINITE_NUMBER), 3), e);
    EXPECT_TRUE(isProof(*e));
    EXPECT_EQ(e->flags & (Protected | Referenced), Protected);
}

TEST_F(SmallTable, UnresolvedEntriesOfOnePositionAtDifferentPlies) {
    const uint64_t k = makeKey(30, 2, 5);
    auto p3 = node(k, 3, 4, 6), p5 = node(k, 5, 7, 8);
    EXPECT_EQ(store(*p3, 0), &slot(30));
    EXPECT_EQ(store(*p5, 0), &slot(32));  // the ply-3 entry stays
    EXPECT_EQ(slot(30).length, 3);
    EXPECT_EQ(slot(32).length, 5);

    p3->proofNumber = 9;
    EXPECT_EQ(store(*p3, 0), &slot(30));
    EXPECT_EQ(slot(30).proofNumber, 9);

    // A shallower occurrence takes the first slot of a ply not above it.
    EXPECT_EQ(store(*node(k, 2, 1, 2), 0), &slot(30));
    EXPECT_EQ(slot(30).length, 2);
    EXPECT_EQ(positionTable.usedCount, 2u);
}

TEST_F(SmallTable, DisproofsOfOnePositionMerge) {
    const uint64_t k = makeKey(33, 1, 7);
    auto cut = node(k, 2, LARGEST_FINITE, 0);
    TableEntry* e = store(*cut, 3);
    EXPECT_EQ(store(*cut, 5), e);
    EXPECT_EQ(e->length, 5);
    store(*cut, 2);
    EXPECT_EQ(e->length, 5);

    auto plain = node(k, 2, INFINITE_NUMBER, 0);
    plain->treeSize = 16;
    EXPECT_EQ(store(*plain, 0), e);
    EXPECT_EQ(e->proofNumber, INFINITE_NUMBER);
    EXPECT_EQ(e->length, 0x7FFF);
    EXPECT_EQ(e->level, 4);

    store(*cut, 4);  // a cut-off adds nothing to a plain disproof
    EXPECT_EQ(e->proofNumber, INFINITE_NUMBER);
    EXPECT_EQ(e->level, 4);
    EXPECT_EQ(positionTable.usedCount, 1u);
}

TEST_F(SmallTable, FreedEntriesAreFoundAndCountedAgain) {
    const uint64_t proofKey = makeKey(40, 1, 6), openKey = makeKey(40, 1, 7);
    TableEntry* proof = store(*node(proofKey, 2, 0, INFINITE_NUMBER), 3);
    TableEntry* open = store(*node(openKey, 4, 5, 6), 0);
    ASSERT_EQ(open, &slot(41));
    proof->flags |= Free;
    open->flags |= Free;
    recountUsedEntries();
    ASSERT_EQ(positionTable.usedCount, 0u);

    EXPECT_EQ(findResolved(*node(proofKey, 2), 5), proof);
    EXPECT_EQ(proof->flags & (Free | Referenced), Referenced);
    EXPECT_EQ(positionTable.usedCount, 1u);

    SearchContext ctx;
    auto p = node(openKey, 4);
    EXPECT_EQ(lookup(ctx, *p, 3), open);
    EXPECT_FALSE(open->flags & Free);
    EXPECT_EQ(p->proofNumber, 5);
    EXPECT_EQ(positionTable.usedCount, 2u);

    // A purged slot is probed past; a truly empty one ends the probing.
    emptyEntry(*proof);
    EXPECT_EQ(positionTable.usedCount, 1u);
    EXPECT_EQ(lookup(ctx, *node(openKey, 4), 3), open);
    *proof = TableEntry{0, 0, 0, 0, 0, NO_PLY, 0, 0};
    EXPECT_EQ(lookup(ctx, *node(openKey, 4), 3), nullptr);
}

TEST_F(SmallTable, GenerationAdvancesEveryGenerationLengthTouchesAndWrapsAfterFifteen) {
    ASSERT_EQ(positionTable.generationLength, 6u);
    TableEntry e{};
    e.flags = Protected | Referenced;
    for (int i = 0; i < 5; ++i) touch(e);
    EXPECT_EQ(positionTable.generation, 1);
    touch(e);
    EXPECT_EQ(generationOf(e), 1);  // stamped before the advance
    EXPECT_EQ(positionTable.generation, 2);
    EXPECT_EQ(positionTable.previousGeneration, 1);
    EXPECT_EQ(e.flags & 0x0F, Protected | Referenced);

    while (positionTable.generation != 15) touch(e);
    for (int i = 0; i < 6; ++i) touch(e);
    EXPECT_EQ(generationOf(e), 15);
    EXPECT_EQ(positionTable.generation, 1);
    EXPECT_EQ(positionTable.previousGeneration, 15);
}

TEST_F(SmallTable, ProofDisplacesAnotherPositionsEntryWhichIsStoredAgain) {
    // The copy is placed along the proof's probe sequence.
    const uint64_t openKey = makeKey(50, 1, 11), proofKey = makeKey(50, 4, 12);
    store(*node(openKey, 2, 3, 4), 0);
    EXPECT_EQ(store(*node(proofKey, 5, 0, INFINITE_NUMBER), 1), &slot(50));
    EXPECT_TRUE(holdsKey(slot(54), openKey));
    EXPECT_EQ(slot(54).proofNumber, 3);
    EXPECT_EQ(slot(54).length, 2);
    EXPECT_EQ(positionTable.usedCount, 2u);

    // An unresolved entry of an older generation is dropped.
    const uint64_t oldKey = makeKey(60, 1, 13), proof2 = makeKey(60, 4, 14);
    put(60, oldKey, 3, 4, 2, 0, 0, 9);
    EXPECT_EQ(store(*node(proof2, 5, 0, INFINITE_NUMBER), 1), &slot(60));
    EXPECT_TRUE(isTrulyEmpty(slot(64)));
    EXPECT_EQ(positionTable.usedCount, 3u);

    // A disproof goes back as a disproof, whatever its generation.
    const uint64_t cutKey = makeKey(70, 1, 15), proof3 = makeKey(70, 4, 16);
    put(70, cutKey, LARGEST_FINITE, 0, 6, 2, 0, 9);
    store(*node(proof3, 5, 0, INFINITE_NUMBER), 1);
    EXPECT_TRUE(holdsKey(slot(74), cutKey));
    EXPECT_TRUE(isCutOffDisproof(slot(74)));
    EXPECT_EQ(slot(74).length, 6);
    EXPECT_EQ(positionTable.usedCount, 5u);
}

TEST_F(SmallTable, ProofStoreReplacesTheFirstCheapestUnprotectedProof) {
    for (uint64_t i = 0; i < 100; ++i) put(i, makeKey(i, 0, 1000 + uint32_t(i)), 0, INFINITE_NUMBER, 3, 20, 0, 1);
    slot(10).level = 0;
    slot(10).flags |= Protected;
    slot(30).level = 5;
    slot(60).level = 5;
    const uint64_t k = makeKey(0, 0, 1);
    EXPECT_EQ(storeProof(entryFor(k, 0, INFINITE_NUMBER, 7), k), &slot(30));
    EXPECT_TRUE(holdsKey(slot(30), k));
    EXPECT_EQ(slot(60).level, 5);
    EXPECT_EQ(positionTable.maxProbesProof, 30);
    EXPECT_EQ(positionTable.usedCount, 100u);

    for (uint64_t i = 0; i < 100; ++i) slot(i).flags |= Protected;
    const uint64_t other = makeKey(0, 0, 2);
    EXPECT_EQ(storeProof(entryFor(other, 0, INFINITE_NUMBER, 7), other), nullptr);
}

TEST_F(SmallTable, UnresolvedStoreReplacesOnlyOldUnprotectedUnresolvedEntries) {
    for (uint64_t i = 0; i < 100; ++i) put(i, makeKey(i, 0, 1000 + uint32_t(i)), 3, 4, 1, 10, 0, 9);
    slot(3) = TableEntry{LARGEST_FINITE, 0, slot(3).keyCheck, slot(3).keyHigh, 1, NO_PLY, 0, 9 << 4};
    slot(5).level = 3;
    slot(5).flags |= Referenced;  // adjusted 4
    slot(8).level = 4;            // also 4, met later
    slot(12).level = 1;
    slot(12).flags = 1 << 4;      // current generation
    slot(15).level = 1;
    slot(15).flags |= Protected;
    slot(20).level = 1;
    slot(20).flags = 0;           // previous generation (0 at start)
    const uint64_t k = makeKey(0, 0, 1);
    EXPECT_EQ(storeUnresolved(entryFor(k, 3, 4, 7), k), &slot(5));
    EXPECT_EQ(positionTable.maxProbesUnresolved, 5);
    EXPECT_EQ(slot(5).flags & Referenced, 0);
}

TEST_F(SmallTable, DisproofStoreTakesTheFirstNonProofMetEvenIfProtected) {
    auto fill = [] {
        for (uint64_t i = 0; i < 100; ++i) put(i, makeKey(i, 0, 1000 + uint32_t(i)), LARGEST_FINITE, 0, 1, 20, 0, 1);
        slot(0).level = 9;
        slot(0).flags |= Protected;
        slot(50).level = 1;
        slot(50).flags |= Protected;
    };
    const uint64_t k = makeKey(0, 0, 1);
    fill();
    EXPECT_EQ(storeDisproof(entryFor(k, INFINITE_NUMBER, 0, 0x7FFF), k), &slot(0));
    EXPECT_TRUE(slot(0).flags & Protected);

    fill();
    slot(70).level = 8;
    EXPECT_EQ(storeDisproof(entryFor(k, INFINITE_NUMBER, 0, 0x7FFF), k), &slot(70));
}

TEST_F(SmallTable, StoreDumpIsShownOnlyWhenAllHundredSlotsWereExamined) {
    positionTable.dumpStores = 1;
    const uint64_t k = makeKey(0, 0, 1);
    CaptureStdout();
    storeUnresolved(entryFor(k, 3, 4, 7, 2), k);
    EXPECT_EQ(GetCapturedStdout(), "");

    for (uint64_t i = 1; i < 100; ++i) put(i, makeKey(i, 0, 1000 + uint32_t(i)), 3, 4, 1, 10, 0, 9);
    slot(0).length = 2;  // the same position at a shallower ply stays
    slot(4).level = 2;
    slot(4).flags |= Protected;
    slot(4).loopPly = 6;
    slot(7).level = 1;
    CaptureStdout();
    EXPECT_EQ(storeUnresolved(entryFor(k, 3, 4, 7, 2), k), &slot(7));
    const std::string out = GetCapturedStdout();
    EXPECT_EQ(out.rfind("\n登録データ：\nハッシュ値：1　インデックス：0　手数：7 (3, 4), Level2\n"
                        "***1：1　手数：2 (3, 4), Level2\n",
                        0),
              0u)
        << out;
    EXPECT_NE(out.find("\n5：3ec　手数：1 (3, 4), Level2, Protected, Loop:6\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n100：44b　手数：1 (3, 4), Level10\n\n8番のデータを上書き\n"), std::string::npos)
        << out;
}

TEST_F(SmallTable, LookupCopiesResolvedEntriesIntoThePosition) {
    SearchContext ctx;
    const uint64_t proofKey = makeKey(5, 1, 1), cutKey = makeKey(15, 1, 2), plainKey = makeKey(25, 1, 3);
    auto proof = node(proofKey, 2, 0, INFINITE_NUMBER);
    proof->treeSize = 4;
    store(*proof, 3);
    store(*node(cutKey, 2, LARGEST_FINITE, 0), 4);
    store(*node(plainKey, 2, INFINITE_NUMBER, 0), 0);

    auto p = node(proofKey, 2);
    EXPECT_EQ(lookup(ctx, *p, 2), nullptr);  // a mate in 3 is no use with 2 moves left
    EXPECT_EQ(p->proofNumber, 1);
    EXPECT_NE(lookup(ctx, *p, 3), nullptr);
    EXPECT_EQ(p->proofNumber, 0);
    EXPECT_EQ(p->disproofNumber, INFINITE_NUMBER);
    EXPECT_EQ(p->treeSize, 4u);
    EXPECT_EQ(p->openTreeSize, 0u);

    p = node(cutKey, 2);
    EXPECT_EQ(lookup(ctx, *p, 5), nullptr);  // no mate in 4 says nothing about 5
    EXPECT_NE(lookup(ctx, *p, 4), nullptr);
    EXPECT_EQ(p->proofNumber, LARGEST_FINITE);
    EXPECT_EQ(p->disproofNumber, 0);

    p = node(plainKey, 2);
    EXPECT_NE(lookup(ctx, *p, 999), nullptr);
    EXPECT_EQ(p->proofNumber, INFINITE_NUMBER);
    EXPECT_EQ(p->treeSize, 1u);

    // Loop entries live under the path key; a second loop store keeps the first.
    auto loop = node(makeKey(35, 1, 4), 6, LARGEST_FINITE, 0);
    loop->loopDisproof = 1;
    loop->loopPly = 2;
    TableEntry* e = store(*loop, 0);
    loop->loopPly = 4;
    EXPECT_EQ(store(*loop, 0), e);
    EXPECT_EQ(e->loopPly, 2);
    p = node(loop->positionKey, 6);
    ASSERT_EQ(lookup(ctx, *p, 3), e);
    EXPECT_TRUE(e->flags & Referenced);
    EXPECT_EQ(p->proofNumber, LARGEST_FINITE);
    EXPECT_EQ(p->disproofNumber, 0);
    EXPECT_EQ(p->loopDisproof, 1);
    EXPECT_EQ(p->loopPly, 2);
    EXPECT_EQ(p->treeSize, 1u);
    EXPECT_EQ(p->openTreeSize, 0u);
}

TEST_F(SmallTable, LookupOfUnresolvedEntriesByPly) {
    SearchContext ctx;
    ctx.deepestPly = 3;
    ctx.depthLimit = 9;
    const uint64_t k = makeKey(45, 2, 8);
    auto at2 = node(k, 2, 5, 6), at4 = node(k, 4, 7, 8);
    at2->openTreeSize = 8;
    at4->openTreeSize = 16;
    store(*at2, 0);
    TableEntry* e4 = store(*at4, 0);

    auto p = node(k, 4);
    EXPECT_EQ(lookup(ctx, *p, 5), e4);
    EXPECT_EQ(p->proofNumber, 7);
    EXPECT_EQ(p->disproofNumber, 8);
    EXPECT_EQ(p->previousProofNumber, 1);
    EXPECT_EQ(p->treeSize, 16u);
    EXPECT_EQ(p->openTreeSize, 16u);
    EXPECT_EQ(p->shallowestPly, 2);
    EXPECT_TRUE(e4->flags & Referenced);

    // Deeper than every entry: the last shallower one met gives its numbers
    // but not its sizes.
    p = node(k, 6);
    EXPECT_EQ(lookup(ctx, *p, 3), e4);
    EXPECT_EQ(p->proofNumber, 7);
    EXPECT_EQ(p->treeSize, 1u);
    EXPECT_EQ(p->shallowestPly, 2);

    // Once the search has reached its depth limit such an entry is only reported.
    ctx.deepestPly = 9;
    p = node(k, 6);
    EXPECT_EQ(lookup(ctx, *p, 3), e4);
    EXPECT_EQ(p->proofNumber, 1);
    EXPECT_EQ(p->shallowestPly, 2);

    ctx.deepestPly = 3;
    p = node(k, 3);
    EXPECT_EQ(lookup(ctx, *p, 6), &slot(45));
    EXPECT_EQ(p->proofNumber, 5);
    EXPECT_EQ(lookup(ctx, *node(k, 1), 8), nullptr);
}

TEST_F(SmallTable, ResolvedHitWritesTheKillerIntoTheGrandparent) {
    auto grandparent = node(makeKey(1, 1, 1), 0), parent = node(makeKey(2, 1, 2), 1);
    parent->parent = grandparent.get();
    auto child = [&](uint64_t key, uint8_t side) {
        auto c = node(key, 2);
        c->parent = parent.get();
        c->sideToMove = side;
        c->lastMove = Move{0x77, 0x76, 0x11, 0};
        return c;
    };
    const int32_t word = int32_t(moveWord(Move{0x77, 0x76, 0x11, 0}));
    const uint64_t disproven = makeKey(10, 1, 10), proven = makeKey(20, 1, 20);
    store(*node(disproven, 2, INFINITE_NUMBER, 0), 0);
    store(*node(proven, 2, 0, INFINITE_NUMBER), 1);

    EXPECT_NE(findResolved(*child(proven, ATTACKER), 5), nullptr);
    EXPECT_EQ(grandparent->killerMove, 0);
    EXPECT_NE(findResolved(*child(disproven, ATTACKER), 5), nullptr);
    EXPECT_EQ(grandparent->killerMove, word);
    grandparent->killerMove = 0;
    EXPECT_NE(findResolved(*child(proven, DEFENDER), 5), nullptr);
    EXPECT_EQ(grandparent->killerMove, word);

    auto orphan = node(disproven, 2);
    orphan->parent = parent.get();
    parent->parent = nullptr;
    EXPECT_NE(findResolved(*orphan, 5), nullptr);  // no grandparent: nothing written
}

// The key counts let a walk stop once it has met every slot of its key, so
// they must follow every write of a slot's key exactly: stores of every
// kind (merges, displacements, re-stores), freeing, emptying, reclamation.
// A count too low would cut a walk short and lose an entry.
TEST_F(SmallTable, KeyCountsFollowEveryWriteOfASlotsKeyAndNeverCutAWalkShort) {
    constexpr uint64_t LARGE = 30011;  // large enough for walks to stop early
    ASSERT_TRUE(allocatePositionTable(LARGE));
    std::mt19937_64 rng(7);
    std::vector<uint64_t> keys(40000);
    for (uint64_t& k : keys) k = rng() | 1;
    auto anyKey = [&] { return keys[rng() % keys.size()]; };

    CaptureStdout();  // reclamation reports itself
    for (int i = 0; i < 120000; ++i) {
        auto p = node(anyKey(), int16_t(rng() % 20));
        switch (rng() % 5) {
            case 0: p->proofNumber = 0, p->disproofNumber = INFINITE_NUMBER; break;
            case 1: p->proofNumber = INFINITE_NUMBER, p->disproofNumber = 0; break;
            case 2: p->proofNumber = LARGEST_FINITE, p->disproofNumber = 0; break;
            case 3: p->proofNumber = LARGEST_FINITE, p->disproofNumber = 0, p->loopDisproof = 1, p->loopPly = 1; break;
            default: p->proofNumber = int32_t(1 + rng() % 50), p->disproofNumber = int32_t(1 + rng() % 50);
        }
        p->treeSize = p->openTreeSize = 1 + rng() % 5000;
        store(*p, int16_t(rng() % 20));
        if (i % 997 == 0) emptyEntry(positionTable.entries[rng() % LARGE]);
        if (i % 4999 == 0) {
            TableEntry& e = positionTable.entries[rng() % LARGE];
            if (isLive(e)) {
                e.flags |= Free;
                --positionTable.usedCount;
            }
        }
        // The first purge empties enough of the table to recount, the
        // second too little: the counts must stay exact either way.
        if (i == 60000 || i == 60500) purgeMarkedEntries();
    }
    GetCapturedStdout();
    uint64_t live = 0;
    for (uint64_t j = 0; j < LARGE; ++j) {
        const TableEntry& e = positionTable.entries[j];
        live += isLive(e);
        if (e.flags & Loop) {
            ASSERT_TRUE(mayHoldLoopKey(storedKeyBits(e))) << "slot " << j;
        }
    }
    EXPECT_EQ(live, positionTable.usedCount) << "the used count drifted from the table";

    auto allCounts = [] {
        std::vector<uint8_t> counts;
        for (const KeyLine& line : positionTable.keyLines) counts.insert(counts.end(), line.counts, line.counts + 32);
        return counts;
    };
    const std::vector<uint8_t> kept = allCounts();
    rebuildKeyFilters();
    EXPECT_TRUE(kept == allCounts()) << "the counts drifted from the table";

    // The same answers with every walk run to its bound.
    std::vector<const TableEntry*> early, full;
    for (size_t k = 0; k < 4000; ++k) {
        auto p = node(keys[k], 10);
        early.push_back(findResolved(*p, int16_t(k % 20)));
    }
    for (KeyLine& line : positionTable.keyLines) std::fill(std::begin(line.counts), std::end(line.counts), 0xFF);
    for (size_t k = 0; k < 4000; ++k) {
        auto p = node(keys[k], 10);
        full.push_back(findResolved(*p, int16_t(k % 20)));
    }
    EXPECT_EQ(early, full);
    EXPECT_GT(std::count(early.begin(), early.end(), nullptr), 0);
    EXPECT_LT(std::count(early.begin(), early.end(), nullptr), 4000);

    // The purge of loop entries visits the slots it listed, not the table:
    // stores since the last purge, displaced loops placed again and
    // reclamations in between, it must still leave no loop entry behind.
    for (int i = 0; i < 20000; ++i) {
        auto p = node(anyKey(), int16_t(rng() % 20), LARGEST_FINITE, 0);
        p->loopDisproof = 1;
        p->loopPly = 1;
        store(*p, 0);
    }
    purgeMarkedEntries();
    for (uint64_t j = 0; j < LARGE; ++j) {
        const TableEntry& e = positionTable.entries[j];
        ASSERT_FALSE(!isEmpty(e) && (e.flags & Loop)) << "slot " << j;
    }
}
