// Reading lines out of the table after a real search, marking the solution
// tree, and writing lines.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "driver/keyboard.h"
#include "driver/problem_header.h"
#include "driver/solution.h"
#include "driver/solve.h"
#include "search/position_table.h"
#include "search/search.h"
#include "search/table_expansion.h"

namespace {

constexpr int sq(int file, int rank) { return 16 * file + rank; }

struct Piece {
    int file, rank, code;
};

std::unique_ptr<Position> positionOf(std::initializer_list<Piece> pieces, std::initializer_list<std::pair<int, int>> hand,
                                     int side) {
    uint8_t diagram[81] = {};
    for (const Piece& p : pieces) diagram[9 * (p.rank - 1) + (9 - p.file)] = uint8_t(p.code);
    int32_t counts[HAND_SLOTS] = {};
    for (const auto& [code, n] : hand) counts[code] = n;
    auto pos = std::make_unique<Position>();
    setUpPosition(*pos, diagram, counts, side);
    return pos;
}

class SolutionLines : public ::testing::Test {
protected:
    void SetUp() override {
        resetProblemHeader(problem);
        searchContext.followIntendedLine = 0;
        searchContext.goalPosition = nullptr;
        searchContext.phase = PHASE_SOLVING;
        setUpSidesAndHandSaving(searchContext);
        ASSERT_TRUE(allocatePositionTable(65521));
    }
    void TearDown() override {
        // The builders start the keyboard thread when none runs.
        stopKeyboardThread();
        releasePositionTable();
    }

    static TableEntry* entryOf(Position& p, int depth) { return lookup(searchContext, p, int16_t(depth)); }
    static bool isMarked(Position& p, int depth) {
        const TableEntry* e = entryOf(p, depth);
        return e && isProof(*e) && (e->flags & Protected);
    }
};

// The defender in check from 13飛 can only interpose on 12, with its gold or
// its pawn; either is taken with mate (the bishop guards 12, the gold on 32
// covers 21 and 22).
std::unique_ptr<Position> interpositions() {
    return positionOf({{1, 1, DEFENDER_KING}, {3, 2, ATTACKER | GOLD}, {3, 4, ATTACKER | BISHOP}, {1, 3, ATTACKER | ROOK}},
                      {{DEFENDER | GOLD, 1}, {DEFENDER | PAWN, 1}}, DEFENDER);
}

TEST_F(SolutionLines, EqualDefencesByDropsShowTheSmallestPieceAndEqualMatesTheFirstMove) {
    auto pos = interpositions();
    invokeSearch(searchContext, *pos, 2);
    ASSERT_EQ(pos->proofNumber, 0);
    const MoveLine line = buildMateSolution(searchContext, *pos, 2);
    // 12歩, then 同飛成 before 同飛生 (promotion is generated first).
    const MoveLine expected = {Move{0, sq(1, 2), DEFENDER | PAWN, 0}, Move{sq(1, 3), sq(1, 2), ATTACKER | ROOK, 1}};
    EXPECT_EQ(line, expected);
}

TEST_F(SolutionLines, MarkCoversEveryDefenceButOnlyTheChosenAttack) {
    auto pos = interpositions();
    invokeSearch(searchContext, *pos, 2);
    const MoveLine line = buildMateSolution(searchContext, *pos, 2);
    ASSERT_EQ(line.size(), 2u);

    ChildList defences;
    expandNode(searchContext, *pos, &defences);
    ASSERT_EQ(defences.size(), 2u);
    Position* pawnDrop = nullptr;
    for (Position& d : defences)
        if (d.lastMove == line[0]) pawnDrop = &d;
    ASSERT_NE(pawnDrop, nullptr);
    // The twin mate without promotion gets a proof of its own, which the
    // mark must leave alone.
    ChildList mates;
    expandNode(searchContext, *pawnDrop, &mates);
    Position* twin = nullptr;
    for (Position& m : mates)
        if (m.lastMove == Move{sq(1, 3), sq(1, 2), ATTACKER | ROOK, 0}) twin = &m;
    ASSERT_NE(twin, nullptr);
    twin->proofNumber = 0;
    twin->disproofNumber = INFINITE_NUMBER;
    store(*twin, 0);

    markSolutionTree(searchContext, *pos, line);
    EXPECT_TRUE(isMarked(*pos, 2));
    for (Position& d : defences) EXPECT_TRUE(isMarked(d, 1)) << int(d.lastMove.to);
    for (Position& m : mates) {
        if (m.lastMove == line[1])
            EXPECT_TRUE(isMarked(m, 0));
        else
            EXPECT_FALSE(isMarked(m, 0)) << int(m.lastMove.from) << "-" << int(m.lastMove.to);
    }
    pos->children = pawnDrop->children = nullptr;
}

TEST_F(SolutionLines, MissingTableDataIsSearchedAgain) {
    // Nothing in the table: the builder searches the node itself.
    auto pos = interpositions();
    const MoveLine line = buildMateSolution(searchContext, *pos, 2);
    EXPECT_EQ(line.size(), 2u);
    EXPECT_EQ(pos->proofNumber, 0);
}

TEST_F(SolutionLines, NoMateWithinTheDepthGivesAnEmptyLine) {
    auto pos = interpositions();
    // Every interposition needs one more move: nothing mates at depth 0.
    EXPECT_TRUE(buildMateSolution(searchContext, *pos, 1).empty());
}

MoveLine kingShuffle(size_t moves) {
    const Move out{sq(5, 9), sq(5, 8), ATTACKER_KING, 0}, back{sq(5, 8), sq(5, 9), ATTACKER_KING, 0};
    const Move down{sq(5, 1), sq(5, 2), DEFENDER_KING, 0}, up{sq(5, 2), sq(5, 1), DEFENDER_KING, 0};
    const Move cycle[] = {out, down, back, up};
    MoveLine line;
    for (size_t i = 0; i < moves; ++i) line.push_back(cycle[i % 4]);
    return line;
}

std::unique_ptr<Position> twoKings() {
    return positionOf({{5, 1, DEFENDER_KING}, {5, 9, ATTACKER_KING}}, {}, ATTACKER);
}

TEST(WriteSequence, TenMovesARowThenTheCount) {
    std::ostringstream out;
    writeSequence(*twoKings(), kingShuffle(25), out);
    const std::string four = "58王 52玉 59王 51玉 ";
    const std::string ten = four + four + "58王 52玉 ";
    const std::string tenMore = "59王 51玉 " + four + four;
    EXPECT_EQ(out.str(), "\n" + ten + "\n" + tenMore + "\n" + four + "58王 まで 25手\n");

    std::ostringstream exact;
    writeSequence(*twoKings(), kingShuffle(10), exact);
    EXPECT_EQ(exact.str(), "\n" + ten + "\nまで 10手\n");

    std::ostringstream none;
    writeSequence(*twoKings(), {}, none);
    EXPECT_EQ(none.str(), "\nまで 0手\n");
}

TEST(WriteSequence, MovesThatCannotBePlayedAreWrittenInRecordForm) {
    // A composer's list may hold anything: a drop of a piece nobody holds
    // loses the position, and the rest is written without it.
    MoveLine line = kingShuffle(1);
    line.push_back(Move{0, sq(5, 5), ATTACKER | BISHOP, 0});
    line.push_back(Move{sq(5, 1), sq(5, 2), DEFENDER_KING, 0});
    std::ostringstream out;
    writeSequence(*twoKings(), line, out);
    EXPECT_EQ(out.str(), "\n58王 55角打 52玉(51) まで 3手\n");
    EXPECT_EQ(moveTextAfter(*twoKings(), line, 1, line[1]), "55角打 ");
    EXPECT_EQ(moveTextAfter(*twoKings(), line, 1, Move{sq(5, 1), sq(5, 2), DEFENDER_KING, 0}), "52玉 ");
}

}  // namespace
