// The order in which the generators emit their moves: the search later
// depends on it node for node.
#include "test_support.h"

namespace {

std::string pieceMoves(const char* sfen, int file, int rank) {
    const Position& pos = positionFrom(sfen);
    PinTable pins;
    findPins(pos, pins);
    const int s = sq(file, rank);
    clearMoveBuffer();
    generatePieceMoves(pos, ownerOf(pos.cell(s)), s, pins[s]);
    return bufferText(moveBufferCount());
}

std::string legalMoves(const char* sfen) { return bufferText(generateLegalMoves(positionFrom(sfen))); }

}  // namespace

TEST(PieceMoveOrder, StepsThenRaysInTheFixedDirectionOrder) {
    EXPECT_EQ("55-54 55-44 55-64 55-66 55-46", pieceMoves("k8/9/9/9/4S4/9/9/9/8K b - 1", 5, 5));
    EXPECT_EQ("55-54 55-44 55-64 55-56 55-45 55-65", pieceMoves("k8/9/9/9/4G4/9/9/9/8K b - 1", 5, 5));
    EXPECT_EQ("55-56 55-66 55-46 55-44 55-64", pieceMoves("K8/9/9/9/4s4/9/9/9/8k w - 1", 5, 5));
    EXPECT_EQ("55-56 55-66 55-46 55-54 55-45 55-65", pieceMoves("K8/9/9/9/4+n4/9/9/9/8k w - 1", 5, 5));
    // Horse: orthogonal steps, then the diagonals +17, -17, +15, -15, each
    // ending on a capture (the king on 9一) or before an own piece (1九).
    EXPECT_EQ("55-56 55-65 55-45 55-54 55-66 55-77 55-88 55-99 55-44 55-33 55-22 55-11 55-64 55-73 55-82 55-91 "
              "55-46 55-37 55-28",
              pieceMoves("k8/9/9/9/4+B4/9/9/9/8K b - 1", 5, 5));
    EXPECT_EQ("55-66 55-46 55-44 55-64 55-56 55-57 55-58 55-59 55-54 55-53 55-52 55-51 55-45 55-35 55-25 55-15 "
              "55-65 55-75 55-85 55-95",
              pieceMoves("k8/9/9/9/4+R4/9/9/9/8K b - 1", 5, 5));
    EXPECT_EQ("55-44 55-54 55-64 55-45 55-65 55-46 55-56 55-66", pieceMoves("k8/9/9/9/4K4/9/9/9/9 b - 1", 5, 5));
}

TEST(PieceMoveOrder, PromotionChoices) {
    // Lance: plain outside the zone, promoting first inside it, only
    // promoting on the last rank.
    EXPECT_EQ("59-58 59-57 59-56 59-55 59-54 59-53+ 59-53 59-52+ 59-52 59-51+",
              pieceMoves("k8/9/9/9/9/9/9/9/4L3K b - 1", 5, 9));
    EXPECT_EQ("52-51+", pieceMoves("k8/4P4/9/9/9/9/9/9/8K b - 1", 5, 2));
    EXPECT_EQ("54-53+ 54-53", pieceMoves("k8/9/9/4P4/9/9/9/9/8K b - 1", 5, 4));
    EXPECT_EQ("55-63+ 55-63 55-43+ 55-43", pieceMoves("k8/9/9/9/4N4/9/9/9/8K b - 1", 5, 5));
    EXPECT_EQ("54-62+ 54-42+", pieceMoves("k8/9/9/4N4/9/9/9/9/8K b - 1", 5, 4));
    EXPECT_EQ("56-48+ 56-68+", pieceMoves("K8/9/9/9/9/4n4/9/9/8k w - 1", 5, 6));
    // A bishop leaving the zone (3三 to 5五) may promote.
    EXPECT_EQ("33-44+ 33-44 33-55+ 33-55", pieceMoves("k8/5S1S1/6B2/7S1/9/3S5/9/9/8K b - 1", 3, 3));
}

TEST(PieceMoveOrder, PinnedPiecesStayOnTheirLine) {
    // The rook on 5七 is pinned to its king by the rook on 5二: it moves only
    // along the file, the capture of the pinner included.
    EXPECT_EQ("57-58 57-56 57-55 57-54 57-53+ 57-53 57-52+ 57-52", pieceMoves("k8/4r4/9/9/9/9/4R4/9/4K4 b - 1", 5, 7));
    // A pinned knight has no move; a bishop pinned on a file has none either.
    EXPECT_EQ("", pieceMoves("k8/4r4/9/9/9/9/4N4/9/4K4 b - 1", 5, 7));
    EXPECT_EQ("", pieceMoves("k8/4r4/9/9/9/9/4B4/9/4K4 b - 1", 5, 7));
}

TEST(LegalMoveOrder, BoardMovesByFileAndRankThenDropsKindByKind) {
    // Board moves: files 1..9, ranks 1..9. Drops: rook, bishop, gold,
    // silver, knight, lance, pawn, each over the empty squares in the same
    // order; knights not on ranks 1-2, lances and pawns not on rank 1, no
    // pawn on a file holding an unpromoted pawn of the side (file 1) while a
    // promoted one (file 2) does not count.
    const char* sfen = "k8/1+P7/P+P7/9/9/9/9/9/8K b NLPS 1";
    const Position& pos = positionFrom(sfen);
    const int n = generateLegalMoves(pos);
    ASSERT_GT(n, 0);
    const Move* moves = moveBuffer();
    const int dropRank[] = {0, 6, 5, 4, 3, 2, 1, 0};  // by kind: rook first, pawn last
    int previous = -1;
    bool dropsStarted = false;
    for (int i = 0; i < n; ++i) {
        const Move m = moves[i];
        const int kind = kindOf(m.piece), rank = rankOf(m.to), file = fileOf(m.to);
        SCOPED_TRACE(moveText(m));
        if (!isDrop(m)) {
            EXPECT_FALSE(dropsStarted);
            continue;
        }
        dropsStarted = true;
        const int key = dropRank[kind] * 1000 + m.to;
        EXPECT_GT(key, previous);
        previous = key;
        if (kind == KNIGHT) {
            EXPECT_GE(rank, 3);
        } else if (kind == LANCE || kind == PAWN) {
            EXPECT_GE(rank, 2);
            EXPECT_TRUE(kind != PAWN || file != 9);  // 9三 holds an unpromoted pawn
        }
    }
    const std::string text = bufferText(n);
    EXPECT_NE(std::string::npos, text.find("P*84"));  // file 8 holds promoted pawns only
    EXPECT_EQ(std::string::npos, text.find("P*94"));
    EXPECT_EQ(std::string::npos, text.find("N*12"));
    EXPECT_NE(std::string::npos, text.find("N*13"));
}

TEST(LegalMoveOrder, ResultCodesWhenThereIsNoMove) {
    EXPECT_EQ(ATTACKER_NO_MOVE, generateLegalMoves(positionFrom("4k4/9/9/9/9/9/9/9/9 b - 1")));
    EXPECT_EQ(DEFENDER_NO_MOVE, generateLegalMoves(positionFrom("9/9/9/9/9/9/9/9/4K4 w - 1")));
    // A piece that cannot move (a pawn on the last rank) is no move either.
    EXPECT_EQ(ATTACKER_NO_MOVE, generateLegalMoves(positionFrom("4k3P/9/9/9/9/9/9/9/9 b - 1")));
    EXPECT_EQ(DEFENDER_MATED, generateLegalMoves(positionFrom("4k4/4G4/4P4/9/9/9/9/9/8K w - 1")));
    EXPECT_EQ(ATTACKER_MATED, generateLegalMoves(positionFrom("8k/9/9/9/9/9/4p4/4g4/4K4 b - 1")));
    EXPECT_EQ(ATTACKER_MATED, generateCheckCandidates(positionFrom("8k/9/9/9/9/9/4p4/4g4/4K4 b - 1")));
}

TEST(EvasionOrder, CaptureKingMovesThenInterpositionsNearestFirst) {
    // Bishop on 9五 checks the king on 5一 across 6二, 7三, 8四: the capture by
    // the lance, the king's moves, board interpositions nearest the king
    // first, then the drops on the same squares nearest first.
    EXPECT_EQ("91-95 51-41 51-61 51-42 51-52 71-62 82-73 89-84+ 89-84 G*62 P*62 G*73 P*73 G*84 P*84",
              legalMoves("l1g1k4/1s7/9/9/B8/9/9/8K/1r7 w gp 1"));
}

TEST(EvasionOrder, KingTakesAnAdjacentCheckerFirstAmongKingMoves) {
    EXPECT_EQ("63-52 51-52", legalMoves("4k4/4G4/3s5/9/9/9/9/9/8K w - 1"));
    // Guarded by a pawn, the gold can be taken by the silver only.
    EXPECT_EQ("63-52", legalMoves("4k4/4G4/3sP4/9/9/9/9/9/8K w - 1"));
}

TEST(EvasionOrder, DoubleCheckLeavesOnlyKingMoves) {
    // Rook on 5五 and knight on 6三 both check: neither the gold's capture
    // of the knight nor a drop is offered.
    EXPECT_EQ("51-41 51-61 51-42", legalMoves("4k4/3g5/3N5/9/4R4/9/9/9/8K w g 1"));
}

TEST(EvasionOrder, KingCannotRetreatAlongTheCheckingLine) {
    EXPECT_EQ("55-44 55-64 55-45 55-65 55-46 55-66", legalMoves("9/9/9/9/4k4/9/4R4/9/8K w - 1"));
}

TEST(EvasionOrder, PinnedPieceNeitherCapturesNorInterposes) {
    // The gold on 5二 is pinned by the rook on 5五; the bishop on 8四 checks.
    EXPECT_EQ("51-41 51-61 51-42", legalMoves("4k4/4g4/9/1B7/4R4/9/9/9/8K w - 1"));
    // A knight check allows no interposition.
    EXPECT_EQ("51-41 51-61 51-42 51-52 51-62", legalMoves("4k4/9/3N5/9/9/9/9/9/8K w g 1"));
}

TEST(PawnDropMate, NotGeneratedUnlessAllowed) {
    const char* mate = "7lk/9/7G1/9/9/9/9/9/K8 b P 1";  // guarded, only the king could take it
    auto hasDrop = [](int n) { return bufferText(n).find("P*12") != std::string::npos; };
    EXPECT_FALSE(hasDrop(generateLegalMoves(positionFrom(mate))));
    EXPECT_FALSE(hasDrop(generateCheckCandidates(positionFrom(mate))));
    {
        PinTable pins;
        findPins(positionFrom(mate), pins);
        EXPECT_TRUE(isPawnDropMate(positionFrom(mate), ATTACKER, sq(1, 2), pins));
        EXPECT_FALSE(isPawnDropMate(positionFrom(mate), ATTACKER, sq(1, 3), pins));  // not in front of the king
    }
    {
        ScopedSwitch<uint8_t> allowed(ruleSwitches.dropPawnMateAllowed, 1);
        EXPECT_TRUE(hasDrop(generateLegalMoves(positionFrom(mate))));
        EXPECT_TRUE(hasDrop(generateCheckCandidates(positionFrom(mate))));
    }
    // A defender's gold on 2一 can take the pawn: no mate.
    EXPECT_TRUE(hasDrop(generateLegalMoves(positionFrom("7gk/9/7G1/9/9/9/9/9/K8 b P 1"))));
    // Pinned along the first rank by the rook on 5一, the gold cannot.
    EXPECT_FALSE(hasDrop(generateLegalMoves(positionFrom("4R2gk/9/7G1/9/9/9/9/9/K8 b P 1"))));
    // Unguarded, the king takes it.
    EXPECT_TRUE(hasDrop(generateLegalMoves(positionFrom("7lk/9/9/9/9/9/9/9/K8 b P 1"))));
}

TEST(PawnDropMate, AnInterposingPawnMayNotMateTheDefender) {
    // The attacker's king on 1三 is checked by the bishop on 3一 across 2二.
    // A pawn interposed there stands right in front of the defender's king,
    // guarded by the attacker's king; the bishop is pinned by the rook on 5一
    // and every flight square is covered: the drop would mate.
    const char* sfen = "4R1bk1/9/7NK/9/9/9/9/9/6R2 b P 1";
    const Position& pos = positionFrom(sfen);
    ASSERT_NE(0, pos.defenderAttacks[pos.attackerKingSquare]);
    std::string evasions = bufferText(generateLegalMoves(pos));
    EXPECT_EQ(std::string::npos, evasions.find("P*22")) << evasions;
    EXPECT_NE(std::string::npos, evasions.find("23-31+")) << evasions;
    ScopedSwitch<uint8_t> allowed(ruleSwitches.dropPawnMateAllowed, 1);
    evasions = bufferText(generateLegalMoves(pos));
    EXPECT_NE(std::string::npos, evasions.find("P*22")) << evasions;
}

TEST(CandidateOrder, GeometryBoundsAndDiscoveredChecks) {
    // The gold on 8四 would be too far from the king but uncovers the bishop
    // on 9五; the gold on 1五 is skipped. Drops: rook on the king's file and
    // rank (1一 to 3一 behind the silver too), gold next to the king, knight
    // two ranks below it, pawn right in front.
    EXPECT_EQ("84-83 84-73 84-93 84-85 84-74 84-94 95-86 95-77 95-68 95-59 99-88 99-98 99-89 "
              "R*11 R*21 R*31 R*52 R*53 R*54 R*55 R*56 R*57 R*58 R*59 R*61 R*71 R*81 R*91 "
              "G*42 G*52 G*61 G*62 N*43 N*63 P*52",
              bufferText(generateCheckCandidates(positionFrom("4ks3/9/9/1G7/B7G/9/9/9/K8 b RGNP 1"))));
}
