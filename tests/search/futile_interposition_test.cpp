// The futile-interposition rule on small hand-made positions: the shortest
// mate the search finds, and the replies the solution builder is offered.
#include "search_support.h"

#include "search/futile_interposition.h"
#include "search/table_expansion.h"

namespace {

class FutileInterposition : public SmallTableTest {
protected:
    // The shortest mate of an SFEN position, searched at odd depths up to
    // `limit`; 0 when there is none within it.
    static int shortestMate(const char* sfen, int limit) {
        for (int depth = 1; depth <= limit; depth += 2) {
            Position root{};
            std::string error;
            EXPECT_TRUE(setUpFromSfen(root, sfen, error)) << error;
            if (searchRoot(root, int16_t(depth)).pn == 0) return depth;
        }
        return 0;
    }
};

// 91飛: every interposition on the first rank is taken by the rook for
// nothing, the last one next to the king under the silver's guard.
const char* const RANK_ONE_MATE = "8k/6S2/7G1/9/8P/9/9/9/R8 b r2b3g3s4n4l17p 1";

// The defender's replies after 91飛: drops on seven squares, nothing else.
void expandAfterRankOneCheck(Position& after, ChildList& replies) {
    std::string error;
    ASSERT_TRUE(setUpFromSfen(after, "R7k/6S2/7G1/9/8P/9/9/9/9 w r2b3g3s4n4l17p 1", error)) << error;
    resetSearchFields(after);
    ASSERT_GT(expandNode(searchContext, after, &replies), 40);
}

TEST_F(FutileInterposition, DropsNextToTheKingAndAwayFromItAreNoDefence) {
    EXPECT_EQ(1, shortestMate(RANK_ONE_MATE, 7));

    // The solution builder is offered none of the drops after 91飛.
    Position after{};
    ChildList replies;
    expandAfterRankOneCheck(after, replies);
    if (HasFatalFailure()) return;
    const FutilityOutcome out = removeFutileInterpositions(searchContext, after, replies, 0);
    after.children = nullptr;
    EXPECT_FALSE(out.interrupted);
    EXPECT_TRUE(replies.empty()) << replies.size() << " replies left";
    EXPECT_EQ(0, after.futileMateLength);
}

TEST_F(FutileInterposition, ADropTheDefenderGuardsIsADefence) {
    // A defender's silver on 42 guards 31 and 51: a drop there is taken
    // back, and 91飛 no longer mates.
    EXPECT_EQ(0, shortestMate("8k/5sS2/7G1/9/8P/9/9/9/R8 b r2b3g2s4n4l17p 1", 1));
}

TEST_F(FutileInterposition, AGuardedDropWhosePieceMatesIsADefence) {
    // 12飛 21玉 65馬: the gold dropped on 32, guarded by the gold on 31,
    // costs the horse (同馬 同金), and the attacker mates with the gold it
    // took: 11飛成 同玉 12金. Nine moves; the drops on 43 and 54 are taken
    // for nothing and count none.
    EXPECT_EQ(9, shortestMate("6g1k/+B8/7lP/9/9/9/9/9/9 b Rg 1", 9));
}

TEST_F(FutileInterposition, ADropTheKingTakesBackIsADefence) {
    // Without the silver nothing guards 21: the rook that takes a piece
    // there is taken by the king.
    EXPECT_EQ(0, shortestMate("8k/9/7G1/9/8P/9/9/9/R8 b r2b3g4s4n4l17p 1", 1));
}

TEST_F(FutileInterposition, AnInterpositionThatGainsMovesCountsInFull) {
    // After 19飛 the king's step to 21 is mated at once (11飛成). The knight
    // put on 13 holds longer: a rook that takes it is taken by the king, and
    // the mate goes 24桂 21玉 32桂成 12玉 22圭. No capture of the knight later
    // on may make it a futile interposition: it counts, mate in seven.
    EXPECT_EQ(7, shortestMate("9/8k/6+B2/9/9/9/9/P8/R8 b Nn 1", 7));
}

TEST_F(FutileInterposition, TheOtherDropsOfASquareAreWeighedOnceItsPawnIsMated) {
    // After 91飛 the defender may drop any of its pieces on 21. Every reply
    // but those drops is mated, and so is the pawn's: the selection must
    // turn to another piece on 21, in every phase, and the node must not
    // read as mated.
    Position after{};
    ChildList replies;
    expandAfterRankOneCheck(after, replies);
    if (HasFatalFailure()) return;
    markInterpositionCandidates(after, replies);
    const int square21 = makeSquare(2, 1);
    const Position* pawnOn21 = nullptr;
    for (Position& c : replies)
        if (isDrop(c.lastMove) && kindOf(c.lastMove.piece) == PAWN && c.lastMove.to == square21)
            pawnOn21 = &c;
    ASSERT_NE(nullptr, pawnOn21);
    int othersOn21 = 0;
    for (Position& c : replies) {
        const bool stillOpen = isDrop(c.lastMove) && c.lastMove.to == square21 && &c != pawnOn21;
        othersOn21 += stillOpen;
        c.proofNumber = stillOpen ? 1 : 0;
        c.disproofNumber = stillOpen ? 1 : INFINITE_NUMBER;
        c.visitCount = 1;
    }
    ASSERT_GT(othersOn21, 3);
    for (const int32_t phase : {PHASE_SOLVING, PHASE_SHORTER_MATE, PHASE_VERIFYING}) {
        searchContext.phase = phase;
        const ChildSelection s = selectChild(searchContext, after, 3);
        ASSERT_NE(nullptr, s.best) << "phase " << phase;
        EXPECT_EQ(square21, s.best->lastMove.to) << "phase " << phase;
        EXPECT_NE(pawnOn21, s.best) << "phase " << phase;
        EXPECT_GT(s.deltaSide, 0) << "phase " << phase;
    }
    after.children = nullptr;
}

TEST_F(FutileInterposition, AMovedPieceThatOpensNothingIsNoDefence) {
    // The defender's only reply to 91飛 is its gold's step back to 71, taken
    // by the rook for nothing: a mate in one, not in three.
    EXPECT_EQ(1, shortestMate("8k/2g3S2/7G1/9/8P/9/9/9/R8 b - 1", 3));
}

}  // namespace
