// The df-pn search on small positions, and its selection and aggregation
// rules on hand-made child lists.
#include "search_support.h"

#include <cstdint>
#include <vector>

#include "position/moves.h"

namespace {

class Search : public SmallTableTest {
protected:
    // A root from SFEN, kept in static storage (children point at it).
    static Position& root(const char* sfen, int slot = 0) {
        static Position roots[3];
        std::string error;
        EXPECT_TRUE(setUpFromSfen(roots[slot], sfen, error)) << error;
        resetSearchFields(roots[slot]);
        return roots[slot];
    }

    // search() as the invocation runs it, without the keyboard thread.
    static void searchAt(Position& node, int16_t depth) {
        searchContext.rootPly = node.ply;
        searchContext.depthLimit = depth;
        searchContext.deepestPly = node.ply;
        search(searchContext, node, depth);
    }
};

// A child record with the given numbers that selection takes as already
// looked up.
Position child(Position& parent, int32_t pn, int32_t dn, uint64_t openTreeSize = 1) {
    Position c{};
    c.parent = &parent;
    c.ply = int16_t(parent.ply + 1);
    c.sideToMove = uint8_t(otherSide(parent.sideToMove));
    c.proofNumber = c.previousProofNumber = pn;
    c.disproofNumber = c.previousDisproofNumber = dn;
    c.visitCount = 1;
    c.treeSize = 1;
    c.openTreeSize = openTreeSize;
    c.loopPly = NO_PLY;
    return c;
}

struct Family {
    Position node{};
    ChildList kids;
    explicit Family(int side) {
        node.sideToMove = uint8_t(side);
        node.proofThreshold = node.disproofThreshold = LARGEST_FINITE;
        node.proofNumber = node.disproofNumber = node.previousProofNumber = node.previousDisproofNumber = 1;
        node.children = &kids;
    }
    void add(int32_t pn, int32_t dn, uint64_t openTreeSize = 1) { kids.push_back(child(node, pn, dn, openTreeSize)); }
};

}  // namespace

TEST_F(Search, TerminalNodesOfBothSides) {
    // The defender mated: proven with length 0, whatever depth is left.
    Position& mated = root("4k4/4G4/4P4/9/9/9/9/9/9 w - 1");
    searchAt(mated, 4);
    EXPECT_EQ(0, mated.proofNumber);
    EXPECT_EQ(INFINITE_NUMBER, mated.disproofNumber);
    const TableEntry* proof = findResolved(mated, 0);
    ASSERT_NE(nullptr, proof);
    EXPECT_TRUE(isProof(*proof));
    EXPECT_EQ(0, proof->length);

    // The attacker without any move, and without a check: plain disproofs.
    Position& stuck = root("4k4/9/9/9/9/9/9/9/P8 b - 1", 1);
    searchAt(stuck, 4);
    EXPECT_EQ(INFINITE_NUMBER, stuck.proofNumber);
    EXPECT_EQ(0, stuck.disproofNumber);
    Position& noCheck = root("3gkg3/4p4/9/9/9/9/9/9/9 b R 1", 2);
    searchAt(noCheck, 4);
    EXPECT_EQ(INFINITE_NUMBER, noCheck.proofNumber);
    EXPECT_EQ(0, noCheck.disproofNumber);
    const TableEntry* plain = findResolved(noCheck, 30);
    ASSERT_NE(nullptr, plain);
    EXPECT_EQ(PLAIN_DISPROOF_LENGTH, plain->length);
    EXPECT_EQ(0, searchContext.maxLevel);
}

TEST_F(Search, DepthZeroCutsOffAndTheCutOffHoldsOnlyForThatDepth) {
    Position& pos = root("4k4/9/4P4/9/9/9/9/9/9 b G 1");
    searchAt(pos, 0);
    EXPECT_EQ(LARGEST_FINITE, pos.proofNumber);
    EXPECT_EQ(0, pos.disproofNumber);
    EXPECT_EQ(0, pos.loopDisproof);
    EXPECT_EQ(NO_PLY, pos.loopPly);
    const TableEntry* e = findResolved(pos, 0);
    ASSERT_NE(nullptr, e);
    EXPECT_TRUE(isCutOffDisproof(*e));
    EXPECT_EQ(0, e->length);
    EXPECT_EQ(nullptr, findResolved(pos, 1));
    EXPECT_EQ(1, searchContext.deepestPly);
}

TEST_F(Search, ProofLengthComesFromTheChildrenNotFromTheDepth) {
    // A mate in one searched with three moves allowed is stored as one.
    Position& pos = root("4k4/9/4P4/9/9/9/9/9/9 b G 1");
    searchAt(pos, 3);
    ASSERT_EQ(0, pos.proofNumber);
    const TableEntry* e = findResolved(pos, 3);
    ASSERT_NE(nullptr, e);
    EXPECT_EQ(1, e->length);
    // The killer move of the root's grandchildren is not kept: the root has
    // no parent, and the mating child came back proven.
    EXPECT_GE(searchContext.nodeCount, 1u);
}

TEST_F(Search, RepetitionAtAnAttackerNodeIsALoopDisproofUnderThePathKey) {
    // Rook 1九-1八, king 5一-4一, rook back, king back: the fourth position
    // repeats the root.
    Position& start = root("4k4/9/9/9/9/9/9/9/8R b - 1");
    static Position line[4];
    const int r19 = makeSquare(1, 9), r18 = makeSquare(1, 8), k51 = makeSquare(5, 1), k41 = makeSquare(4, 1);
    makeChild(start, line[0], Move{uint8_t(r19), uint8_t(r18), uint8_t(ATTACKER | ROOK), 0});
    makeChild(line[0], line[1], Move{uint8_t(k51), uint8_t(k41), uint8_t(DEFENDER | KING), 0});
    makeChild(line[1], line[2], Move{uint8_t(r18), uint8_t(r19), uint8_t(ATTACKER | ROOK), 0});
    makeChild(line[2], line[3], Move{uint8_t(k41), uint8_t(k51), uint8_t(DEFENDER | KING), 0});
    Position& again = line[3];
    ASSERT_EQ(start.positionKey, again.positionKey);
    ASSERT_NE(start.pathKey, again.pathKey);

    searchContext.rootPly = 0;
    searchContext.depthLimit = 7;
    search(searchContext, again, 3);
    EXPECT_EQ(LARGEST_FINITE, again.proofNumber);
    EXPECT_EQ(0, again.disproofNumber);
    EXPECT_EQ(1, again.loopDisproof);
    EXPECT_EQ(0, again.loopPly);
    EXPECT_EQ(0u, again.treeSize);
    EXPECT_EQ(1, again.repetitionChecked);

    // Recorded as a loop entry of the path, not as a disproof of the
    // position: the root itself finds nothing, a copy on the same path does.
    EXPECT_EQ(nullptr, findResolved(start, 3));
    Position copy = again;
    resetSearchFields(copy);
    copy.repetitionChecked = 0;
    ASSERT_NE(nullptr, lookup(searchContext, copy, 3));
    EXPECT_EQ(LARGEST_FINITE, copy.proofNumber);
    EXPECT_EQ(0, copy.disproofNumber);
    EXPECT_EQ(1, copy.loopDisproof);
    EXPECT_EQ(0, copy.loopPly);

    // Found below the root of the search only: with the root at ply 1 the
    // earlier position is out of reach and the node is searched.
    Position fresh = again;
    resetSearchFields(fresh);
    fresh.repetitionChecked = 0;
    fresh.pathKey ^= 1;  // keep the loop entry above out of its way
    searchContext.rootPly = 1;
    search(searchContext, fresh, 1);
    EXPECT_EQ(0, fresh.loopDisproof);
}

TEST_F(Search, AnInvocationFindsTheRepetitionsDownItsPath) {
    // A lone rook cannot mate, and its checks come back to positions seen
    // earlier on the same line; the repetition test, which walks the path
    // only when the path counts say it may repeat, must record them as
    // loop entries just as a walk at every node would.
    Position& pos = root("4k4/9/9/9/9/9/9/9/8R b - 1");
    invokeSearch(searchContext, pos, 9);
    EXPECT_EQ(0, pos.disproofNumber);
    uint64_t loops = 0;
    for (uint64_t i = 0; i < positionTable.capacity; ++i) loops += (positionTable.entries[i].flags & Loop) != 0;
    EXPECT_GT(loops, 0u);
    EXPECT_EQ(0, searchContext.countingPath);
    for (const uint16_t count : searchContext.pathPositionCounts) ASSERT_EQ(0, count);
}

TEST_F(Search, CloseNumbersForbidTheSum) {
    // Children of pn 10 and 10 under an OR node: 10/10 > 0.99, so the
    // disproof side is the largest plus the other open children.
    Family even(ATTACKER);
    even.add(10, 5);
    even.add(10, 7);
    const ChildSelection s = selectChild(searchContext, even.node, 5);
    EXPECT_EQ(0, even.node.sumAllowed);
    EXPECT_EQ(2, even.node.openChildCount);
    EXPECT_EQ(10, s.phiSide);
    EXPECT_EQ(7 + 1, s.deltaSide);
    EXPECT_EQ(12, s.deltaSum);
    // The tie on pn is broken by the larger dn; the first child becomes second.
    EXPECT_EQ(&even.kids[1], s.best);
    EXPECT_EQ(&even.kids[0], s.second);

    // 10 against 12 is far enough apart: the sum counts.
    Family apart(ATTACKER);
    apart.add(10, 5);
    apart.add(12, 7);
    const ChildSelection t = selectChild(searchContext, apart.node, 5);
    EXPECT_EQ(1, apart.node.sumAllowed);
    EXPECT_EQ(12, t.deltaSide);
    EXPECT_EQ(&apart.kids[0], t.best);

    // Numbers of 1 never forbid the sum, and a resolved child is not open.
    Family ones(DEFENDER);
    ones.add(3, 1);
    ones.add(4, 1);
    ones.add(0, INFINITE_NUMBER);
    const ChildSelection u = selectChild(searchContext, ones.node, 5);
    EXPECT_EQ(1, ones.node.sumAllowed);
    EXPECT_EQ(2, ones.node.openChildCount);
    EXPECT_EQ(1, u.phiSide);
    // The proven child's pn of 0 is not added (it only takes part in the
    // maximum); the open children's pn are summed.
    EXPECT_EQ(3 + 4, u.deltaSum);
    EXPECT_EQ(4, u.delta1);
    EXPECT_EQ(3 + 4, u.deltaSide);
}

TEST_F(Search, TieBreaksBySizeThenByTheGrandparentsKiller) {
    Position grandparent{};
    Family f(ATTACKER);
    f.node.parent = &grandparent;
    f.add(4, 4, 9);
    f.add(4, 4, 3);
    f.add(4, 4, 3);
    f.kids[2].lastMove = Move{0, uint8_t(makeSquare(5, 2)), uint8_t(ATTACKER | GOLD), 0};
    // Same numbers: the smaller open tree wins, an equal one does not.
    EXPECT_EQ(&f.kids[1], selectChild(searchContext, f.node, 5).best);
    // Unless it is the killer move kept two plies up.
    grandparent.killerMove = int32_t(moveWord(f.kids[2].lastMove));
    EXPECT_EQ(&f.kids[2], selectChild(searchContext, f.node, 5).best);
}

TEST_F(Search, FreshChildrenAreLookedUpOnce) {
    Family f(ATTACKER);
    f.add(1, 1);
    f.add(1, 1);
    for (Position& c : f.kids) {
        c.visitCount = 0;
        c.positionKey = 0x1234567890ABCDEFull + uint64_t(&c - f.kids.data()) * 0x10000000000ull;
    }
    Position stored = f.kids[1];
    stored.proofNumber = 6;
    stored.disproofNumber = 2;
    store(stored, 0);
    const ChildSelection s = selectChild(searchContext, f.node, 5);
    EXPECT_EQ(0, f.kids[0].visitCount);
    EXPECT_EQ(1, f.kids[1].visitCount);
    EXPECT_EQ(6, f.kids[1].proofNumber);
    EXPECT_EQ(&f.kids[0], s.best);
    EXPECT_EQ(1 + 2, s.deltaSide);
}

TEST_F(Search, ChildThresholds) {
    // pn 8 and 12 under an OR node with a proof threshold of 100: the best
    // child may go to 12 + 1 + 8/8 = 14.
    Family f(ATTACKER);
    f.node.proofThreshold = 100;
    f.node.disproofThreshold = 50;
    f.add(8, 5);
    f.add(12, 7);
    ChildSelection s = selectChild(searchContext, f.node, 5);
    f.node.proofNumber = s.phiSide;
    f.node.disproofNumber = s.deltaSide;
    ASSERT_EQ(&f.kids[0], s.best);
    setChildThresholds(searchContext, f.node, *s.best, s);
    EXPECT_EQ(14, s.best->proofThreshold);
    EXPECT_EQ(50 - 12 + 5, s.best->disproofThreshold);

    // The AND side mirrors it, and an unbounded threshold stays unbounded.
    Family g(DEFENDER);
    g.node.proofThreshold = LARGEST_FINITE;
    g.node.disproofThreshold = 100;
    g.add(5, 8);
    g.add(7, 12);
    s = selectChild(searchContext, g.node, 5);
    g.node.disproofNumber = s.phiSide;
    g.node.proofNumber = s.deltaSide;
    setChildThresholds(searchContext, g.node, *s.best, s);
    EXPECT_EQ(14, s.best->disproofThreshold);
    EXPECT_EQ(LARGEST_FINITE, s.best->proofThreshold);

    // A single child inherits the node's threshold untouched.
    Family one(ATTACKER);
    one.node.proofThreshold = 30;
    one.add(8, 5);
    s = selectChild(searchContext, one.node, 5);
    setChildThresholds(searchContext, one.node, *s.best, s);
    EXPECT_EQ(30, s.best->proofThreshold);
}

TEST_F(Search, AChildVisitedToTheLimitStillCountsAsOftenVisited) {
    // In the shorter-mate phase an often-visited child whose disproof share
    // fell keeps the OR node's own thresholds. A visit count stuck at 0xFFFF
    // is the most visited of all, not a negative number.
    searchContext.phase = PHASE_SHORTER_MATE;
    Family f(ATTACKER);
    f.node.proofThreshold = 20;
    f.add(8, 5);
    f.add(9, 50);
    Position& c = f.kids[0];
    c.previousProofNumber = 4;  // share 5/13 after 5/9: it fell
    c.visitCount = int16_t(0xFFFF);
    ChildSelection s = selectChild(searchContext, f.node, 5);
    f.node.proofNumber = s.phiSide;
    f.node.disproofNumber = s.deltaSide;
    ASSERT_EQ(&c, s.best);
    setChildThresholds(searchContext, f.node, c, s);
    EXPECT_EQ(20, c.proofThreshold);
    EXPECT_EQ(LARGEST_FINITE, c.disproofThreshold);
    // The same child with few visits gets the ordinary 9 + 1 + 1.
    c.visitCount = 3;
    c.previousProofNumber = 4;
    setChildThresholds(searchContext, f.node, c, s);
    EXPECT_EQ(11, c.proofThreshold);
}

TEST_F(Search, TreeSizes) {
    Family f(ATTACKER);
    f.add(3, 4);
    f.add(5, 6);
    f.add(INFINITE_NUMBER, 0);
    f.kids[0].treeSize = 0;
    f.kids[0].openTreeSize = 7;
    f.kids[1].treeSize = UINT64_MAX - 1;
    f.kids[1].openTreeSize = UINT64_MAX - 3;
    f.kids[2].treeSize = 5;
    f.kids[2].openTreeSize = 100;  // a resolved child adds no open size
    updateTreeSize(searchContext, f.node);
    EXPECT_EQ(UINT64_MAX, f.node.treeSize);
    EXPECT_EQ(UINT64_MAX, f.node.openTreeSize);
    EXPECT_EQ(63, searchContext.maxLevel);

    Family g(ATTACKER);
    g.add(3, 4);
    g.add(5, 6);
    g.kids[0].treeSize = 0;
    g.kids[1].treeSize = 6;
    updateTreeSize(searchContext, g.node);
    EXPECT_EQ(1u + 6u, g.node.treeSize);
    EXPECT_EQ(1u + 1u + 1u, g.node.openTreeSize);

    // A proven OR node stands for its cheapest proven child; a proven AND
    // node for all of its children.
    Family proven(ATTACKER);
    proven.add(0, INFINITE_NUMBER);
    proven.add(0, INFINITE_NUMBER);
    proven.add(7, 7);
    proven.kids[0].treeSize = 9;
    proven.kids[1].treeSize = 4;
    proven.kids[2].treeSize = 2;
    proven.node.proofNumber = 0;
    proven.node.disproofNumber = INFINITE_NUMBER;
    proven.node.treeSize = 0;
    updateTreeSize(searchContext, proven.node);
    EXPECT_EQ(4u, proven.node.treeSize);
    EXPECT_EQ(0u, proven.node.openTreeSize);
    proven.node.sideToMove = DEFENDER;
    proven.node.treeSize = 0;
    updateTreeSize(searchContext, proven.node);
    EXPECT_EQ(9u + 4u + 2u, proven.node.treeSize);
    // A size already known is kept.
    proven.node.treeSize = 3;
    updateTreeSize(searchContext, proven.node);
    EXPECT_EQ(3u, proven.node.treeSize);
}

TEST_F(Search, AggregateAfterAnInterruption) {
    Family f(DEFENDER);
    f.node.sumAllowed = 1;
    f.add(3, 9);
    f.add(4, 2);
    f.add(INFINITE_NUMBER, 0);
    aggregate(searchContext, f.node);
    // AND node: dn the smallest dn, pn the larger of the sum and max + open - 1.
    EXPECT_EQ(0, f.node.disproofNumber);
    EXPECT_EQ(INFINITE_NUMBER, f.node.proofNumber);
    f.kids.pop_back();
    aggregate(searchContext, f.node);
    EXPECT_EQ(2, f.node.disproofNumber);
    EXPECT_EQ(3 + 4, f.node.proofNumber);
    f.node.sumAllowed = 0;
    aggregate(searchContext, f.node);
    EXPECT_EQ(4 + 1, f.node.proofNumber);
}
