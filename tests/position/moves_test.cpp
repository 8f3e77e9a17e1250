#include <cstring>

#include "position/hash_keys.h"
#include "position/moves.h"
#include "test_support.h"

namespace {

Move boardMove(int from, int to, int piece, int promote = 0) {
    return Move{uint8_t(from), uint8_t(to), uint8_t(piece), uint8_t(promote)};
}
Move drop(int to, int piece) { return Move{0, uint8_t(to), uint8_t(piece), 0}; }

}  // namespace

TEST(MakeMove, DropsCapturesPromotionsAndKingSquares) {
    static Position child, grandchild;
    const Position& root = positionFrom("4k4/9/9/9/9/9/9/1+r7/4K4 b G2P 1");
    makeChild(root, child, drop(sq(5, 5), ATTACKER | PAWN));
    EXPECT_EQ(1, child.hand[ATTACKER | PAWN]);
    EXPECT_EQ(2, child.attackerHandCount);
    EXPECT_EQ(root.attackerBoardCount + 1, child.attackerBoardCount);
    EXPECT_EQ(ATTACKER | PAWN, child.cell(sq(5, 5)));
    EXPECT_EQ(DEFENDER, child.sideToMove);
    EXPECT_EQ(1, child.ply);

    // The defender's king steps; its square follows.
    makeChild(child, grandchild, boardMove(sq(5, 1), sq(4, 2), DEFENDER_KING));
    EXPECT_EQ(sq(4, 2), grandchild.defenderKingSquare);
    EXPECT_EQ(root.attackerKingSquare, grandchild.attackerKingSquare);

    // Taking the dragon puts a rook in hand.
    static Position kingTakes;
    const Position& beside = positionFrom("4k4/9/9/9/9/9/9/4+r4/4K4 b - 1", 1);
    makeChild(beside, kingTakes, boardMove(sq(5, 9), sq(5, 8), ATTACKER_KING));
    EXPECT_EQ(1, kingTakes.hand[ATTACKER | ROOK]);
    EXPECT_EQ(0, kingTakes.hand[ATTACKER | DRAGON]);
    EXPECT_EQ(1, kingTakes.attackerHandCount);
    EXPECT_EQ(sq(5, 8), kingTakes.attackerKingSquare);
    EXPECT_EQ(1, kingTakes.defenderBoardCount);

    // Promotion: the move word keeps the unpromoted code, the board the promoted one.
    static Position promoted;
    const Position& pawn = positionFrom("4k4/9/P8/9/9/9/9/9/4K4 b - 1", 2);
    const Move m = boardMove(sq(9, 3), sq(9, 2), ATTACKER | PAWN, 1);
    makeChild(pawn, promoted, m);
    EXPECT_EQ(ATTACKER | PAWN | PROMOTED, promoted.cell(sq(9, 2)));
    EXPECT_EQ(ATTACKER | PAWN, promoted.lastMove.piece);
    EXPECT_TRUE(promoted.lastMove == m);
    EXPECT_EQ(0, root.lastMove.from | root.lastMove.to | root.lastMove.piece | root.lastMove.promote);
}

TEST(MakeMove, ATakenKingLeavesNoHandEntryAndNoStaleSquare) {
    // Only a faulty diagram lets a king be taken (here the side not to move
    // stands in check); the record must stay consistent all the same.
    static Position child;
    const Position& root = positionFrom("4k4/4R4/9/9/9/9/9/9/4K4 b - 1");
    makeChild(root, child, boardMove(sq(5, 2), sq(5, 1), ATTACKER | ROOK));
    EXPECT_EQ(0, child.defenderKingSquare);
    EXPECT_EQ(0, child.attackerHandCount);
    EXPECT_EQ(0, child.defenderBoardCount);
    uint64_t handKey = 0;
    for (int code = 17; code <= 39; ++code)
        for (int n = 1; n <= child.hand[code]; ++n) handKey ^= hashTables.handKeys[code - 17][n];
    EXPECT_EQ(handKey, child.handKey);
    EXPECT_EQ(ATTACKER | ROOK, child.cell(sq(5, 1)));
}

TEST(MakeChild, LinksTheParentAndResetsTheSearchState) {
    Position& root = positionFrom("4k4/9/9/9/9/9/9/9/4K4 b G 1");
    root.proofNumber = 17;
    root.searchStatus = 3;
    root.visitCount = 9;
    root.killerMove = 5;
    root.openTreeSize = root.treeSize = 99;
    static Position child;
    makeChild(root, child, drop(sq(5, 5), ATTACKER | GOLD));
    EXPECT_EQ(&root, child.parent);
    EXPECT_EQ(2, child.searchStatus);
    EXPECT_EQ(1, child.proofNumber);
    EXPECT_EQ(0, child.visitCount);
    EXPECT_EQ(0, child.killerMove);
    EXPECT_EQ(1u, child.openTreeSize);
    EXPECT_EQ(1u, child.treeSize);
    EXPECT_EQ(NO_PLY, child.loopPly);
    EXPECT_EQ(NO_PLY, child.shallowestPly);
    EXPECT_EQ(LARGEST_FINITE, child.proofThreshold);
    EXPECT_EQ(nullptr, child.children);
    const uint64_t k = hashTables.moveFromKeys[0][0] ^ hashTables.moveToKeys[55][0] ^
                       hashTables.movePromoteKeys[0][0] ^ hashTables.movePieceKeys[ATTACKER | GOLD][0];
    EXPECT_EQ(k, child.lastMoveKey);  // a drop uses row 0 of the from-keys
    EXPECT_EQ(k, child.pathKey);
}

TEST(MakeChild, FutileInterpositionOnlyInTheOrthodoxProblem) {
    // The rook on 5九 checks the king on 5一 up the file.
    const Position& root = positionFrom("4k4/9/2G6/9/9/9/9/9/4R3K w 2g 1");
    static Position child;
    ASSERT_EQ(ORTHODOX_RULES, ruleSwitches.RuleFlags);
    makeChild(root, child, drop(sq(5, 5), DEFENDER | GOLD));  // unguarded
    EXPECT_EQ(1, child.futileDrop);
    makeChild(root, child, drop(sq(5, 2), DEFENDER | GOLD));  // the king guards it, one attacker
    EXPECT_EQ(0, child.futileDrop);
    {
        ScopedSwitch<uint32_t> rules(ruleSwitches.RuleFlags, 0x122);
        makeChild(root, child, drop(sq(5, 5), DEFENDER | GOLD));
        EXPECT_EQ(0, child.futileDrop);
    }
    // Next to the king, guarded by the king alone, attacked by the rook and
    // the gold on 6三.
    const Position& twoOnIt = positionFrom("4k4/9/3G5/9/9/9/9/9/4R3K w 2g 1", 1);
    ASSERT_NE(0, twoOnIt.attackerAttacks[sq(5, 2)] & (1 << 7));
    makeChild(twoOnIt, child, drop(sq(5, 2), DEFENDER | GOLD));
    EXPECT_EQ(1, child.futileDrop);
    // A board move that interposes is never marked.
    const Position& byMove = positionFrom("4k4/2g6/9/9/9/9/9/9/4R3K w - 1", 2);
    makeChild(byMove, child, boardMove(sq(7, 2), sq(6, 2), DEFENDER | GOLD));
    EXPECT_EQ(0, child.futileDrop);
}

namespace {

// A chain of records with hand-made keys: node i at ply i.
struct Chain {
    Position node[7];
    Chain() {
        for (int i = 0; i < 7; ++i) {
            std::memset(static_cast<void*>(&node[i]), 0, sizeof(Position));
            node[i].ply = int16_t(i);
            node[i].sideToMove = uint8_t(i % 2 ? DEFENDER : ATTACKER);
            node[i].positionKey = node[i].boardKey = 1000 + uint64_t(i);
            node[i].parent = i ? &node[i - 1] : nullptr;
        }
    }
};

}  // namespace

TEST(FindRepetition, SameSideAncestorsAtOrAboveMinPly) {
    static Chain c;
    Position& leaf = c.node[6];
    EXPECT_EQ(nullptr, findRepetition(leaf, 0));
    c.node[5].positionKey = leaf.positionKey;  // the parent: odd distance, never
    EXPECT_EQ(nullptr, findRepetition(leaf, 0));
    c.node[2].positionKey = leaf.positionKey;
    EXPECT_EQ(&c.node[2], findRepetition(leaf, 0));
    EXPECT_EQ(&c.node[2], findRepetition(leaf, -5));
    EXPECT_EQ(&c.node[2], findRepetition(leaf, 2));
    EXPECT_EQ(nullptr, findRepetition(leaf, 3));
    c.node[4].positionKey = leaf.positionKey;
    EXPECT_EQ(&c.node[4], findRepetition(leaf, 0));  // the nearest first
    EXPECT_EQ(nullptr, findRepetition(c.node[1], 0));
}

TEST(FindRepetition, HandSavingCountsAnEarlierRicherHandAsRepetition) {
    static Chain c;
    Position& leaf = c.node[6];
    Position& earlier = c.node[2];
    earlier.boardKey = leaf.boardKey;
    earlier.hand[ATTACKER | GOLD] = 2;
    earlier.hand[ATTACKER | PAWN] = 1;
    leaf.hand[ATTACKER | GOLD] = 1;
    leaf.hand[DEFENDER | ROOK] = 3;  // the defender's hand is not compared
    EXPECT_EQ(nullptr, findRepetition(leaf, 0));  // switch off
    ScopedSwitch<uint8_t> saving(ruleSwitches.handSaving, 1);
    EXPECT_EQ(&earlier, findRepetition(leaf, 0));
    leaf.hand[ATTACKER | SILVER] = 1;  // one piece more than before
    EXPECT_EQ(nullptr, findRepetition(leaf, 0));
    leaf.hand[ATTACKER | SILVER] = 0;
    {
        // In an own-king mate the defender's hand is the one compared.
        ScopedSwitch<uint32_t> rules(ruleSwitches.RuleFlags, 0x122);
        EXPECT_EQ(nullptr, findRepetition(leaf, 0));
        leaf.hand[DEFENDER | ROOK] = 0;
        leaf.hand[ATTACKER | SILVER] = 5;
        EXPECT_EQ(&earlier, findRepetition(leaf, 0));
    }
}

TEST(MoveBuffer, HoldsTheLargestPositionsAProblemCanDescribe) {
    // Open lines for unpromoted rooks and bishops in the zone, and every
    // piece kind 99 times in hand.
    const char* sfen = "B1R2BBR1/3R4R/1R3RB2/4+R4/R8/4+B1+R2/4B4/+R6+R1/3+R4R "
                       "b 99R99B99G99S99N99L99P 1";
    const int n = generateLegalMoves(positionFrom(sfen));
    EXPECT_GT(n, 700) << "a weaker position than intended";
    EXPECT_LE(n, MOVE_BUFFER_SIZE);
    EXPECT_LE(MOVE_BUFFER_SIZE, 2 * worstCaseMoveCount());
}
