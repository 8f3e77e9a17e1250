#include <gtest/gtest.h>

#include "position/sfen.h"
#include "position/usi_move.h"

TEST(UsiMove, WritesBoardMovesPromotionsAndDropsAndFindsOnlyLegalMoves) {
    EXPECT_EQ("7g7f", usiMoveText(Move{makeSquare(7, 7), makeSquare(7, 6), ATTACKER | PAWN, 0}));
    EXPECT_EQ("8h2b+", usiMoveText(Move{makeSquare(8, 8), makeSquare(2, 2), ATTACKER | BISHOP, 1}));
    // A drop names the piece in upper case for either side.
    EXPECT_EQ("P*5d", usiMoveText(Move{0, makeSquare(5, 4), ATTACKER | PAWN, 0}));
    EXPECT_EQ("G*1i", usiMoveText(Move{0, makeSquare(1, 9), DEFENDER | GOLD, 0}));

    Position pos;
    std::string error;
    ASSERT_TRUE(setUpFromSfen(pos, "4k4/9/9/9/9/9/9/9/4K4 b P 1", error)) << error;
    Move move{};
    ASSERT_TRUE(findUsiMove(pos, "P*5b", move));
    EXPECT_EQ(makeSquare(5, 2), move.to);
    for (const char* refused : {"P*5a", "5i5g", "5a5b", "P5b", ""})
        EXPECT_FALSE(findUsiMove(pos, refused, move)) << refused;
}
