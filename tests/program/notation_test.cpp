// Board diagram and move notation.
#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <utility>

#include "driver/notation.h"
#include "support.h"

namespace {

using harness::readFile;

// A position with the given pieces (squares written as 0x52 for 5二).
Position positionWith(std::initializer_list<std::pair<int, int>> pieces, int side = ATTACKER,
                      std::initializer_list<std::pair<int, int>> hand = {}) {
    uint8_t diagram[81] = {};
    int32_t hands[HAND_SLOTS] = {};
    for (auto [square, code] : pieces) diagram[(rankOf(square) - 1) * 9 + (9 - fileOf(square))] = uint8_t(code);
    for (auto [code, count] : hand) hands[code] = count;
    Position pos{};
    setUpPosition(pos, diagram, hands, side);
    return pos;
}

Move boardMove(int from, int to, int piece, int promote = 0) {
    return Move{uint8_t(from), uint8_t(to), uint8_t(piece), uint8_t(promote)};
}
Move drop(int to, int piece) { return Move{0, uint8_t(to), uint8_t(piece), 0}; }

constexpr int GOLD_A = ATTACKER | GOLD, SILVER_A = ATTACKER | SILVER, ROOK_A = ATTACKER | ROOK;
constexpr int HORSE_A = ATTACKER | HORSE, GOLD_D = DEFENDER | GOLD;

TEST(MoveNotation, SideAndStraightWords) {
    Position golds = positionWith({{0x43, GOLD_A}, {0x63, GOLD_A}});
    EXPECT_EQ(formatMove(golds, boardMove(0x43, 0x52, GOLD_A)), "52金右 ");
    EXPECT_EQ(formatMove(golds, boardMove(0x63, 0x52, GOLD_A)), "52金左 ");

    Position straight = positionWith({{0x43, GOLD_A}, {0x53, GOLD_A}});
    EXPECT_EQ(formatMove(straight, boardMove(0x53, 0x52, GOLD_A)), "52金直 ");

    // A gold on 6一 cannot move to 5二 (no diagonal step backwards).
    Position unreachable = positionWith({{0x43, GOLD_A}, {0x61, GOLD_A}});
    EXPECT_EQ(formatMove(unreachable, boardMove(0x43, 0x52, GOLD_A)), "52金 ");

    // The previous move's square: "同" directly followed by the piece.
    golds.lastMove.to = 0x52;
    EXPECT_EQ(formatMove(golds, boardMove(0x43, 0x52, GOLD_A)), "同金右 ");
}

// A silver or rook that ends on, or starts from, ranks 1 to 3 without
// promoting also gets 生, after the word that tells it apart.
TEST(MoveNotation, VerticalWords) {
    Position silvers = positionWith({{0x63, SILVER_A}, {0x41, SILVER_A}});
    EXPECT_EQ(formatMove(silvers, boardMove(0x63, 0x52, SILVER_A)), "52銀上生 ");
    EXPECT_EQ(formatMove(silvers, boardMove(0x41, 0x52, SILVER_A)), "52銀引生 ");

    // Three golds abreast: the middle one going straight up is 直.
    Position three = positionWith({{0x64, GOLD_A}, {0x54, GOLD_A}, {0x44, GOLD_A}});
    EXPECT_EQ(formatMove(three, boardMove(0x54, 0x53, GOLD_A)), "53金直 ");

    // Golds beside the square and one below it: 上 for the one below, 右 for a sideways one.
    Position around = positionWith({{0x43, GOLD_A}, {0x63, GOLD_A}, {0x54, GOLD_A}});
    EXPECT_EQ(formatMove(around, boardMove(0x54, 0x53, GOLD_A)), "53金上 ");
    EXPECT_EQ(formatMove(around, boardMove(0x43, 0x53, GOLD_A)), "53金右 ");

    Position pair = positionWith({{0x63, SILVER_A}, {0x53, SILVER_A}});
    EXPECT_EQ(formatMove(pair, boardMove(0x53, 0x52, SILVER_A)), "52銀直生 ");
    EXPECT_EQ(formatMove(pair, boardMove(0x63, 0x52, SILVER_A)), "52銀左生 ");
}

TEST(MoveNotation, LongRangePieces) {
    Position rooksOnRank = positionWith({{0x92, ROOK_A}, {0x12, ROOK_A}});
    EXPECT_EQ(formatMove(rooksOnRank, boardMove(0x92, 0x52, ROOK_A)), "52飛左生 ");
    EXPECT_EQ(formatMove(rooksOnRank, boardMove(0x12, 0x52, ROOK_A)), "52飛右生 ");

    Position rooksOnFile = positionWith({{0x59, ROOK_A}, {0x51, ROOK_A}});
    EXPECT_EQ(formatMove(rooksOnFile, boardMove(0x59, 0x55, ROOK_A)), "55飛上 ");
    EXPECT_EQ(formatMove(rooksOnFile, boardMove(0x51, 0x55, ROOK_A)), "55飛引生 ");

    Position horses = positionWith({{0x11, HORSE_A}, {0x33, HORSE_A}});
    EXPECT_EQ(formatMove(horses, boardMove(0x33, 0x22, HORSE_A)), "22馬上 ");
    EXPECT_EQ(formatMove(horses, boardMove(0x11, 0x22, HORSE_A)), "22馬引 ");

    // A second rook that cannot see the square: no word.
    Position blocked = positionWith({{0x92, ROOK_A}, {0x12, ROOK_A}, {0x32, SILVER_A}});
    EXPECT_EQ(formatMove(blocked, boardMove(0x92, 0x52, ROOK_A)), "52飛生 ");
}

TEST(MoveNotation, DefenderOrientationIsMirrored) {
    // For the defender right is toward file 9 and forward toward rank 9.
    Position golds = positionWith({{0x47, GOLD_D}, {0x67, GOLD_D}}, DEFENDER);
    EXPECT_EQ(formatMove(golds, boardMove(0x47, 0x58, GOLD_D)), "58金左 ");
    EXPECT_EQ(formatMove(golds, boardMove(0x67, 0x58, GOLD_D)), "58金右 ");
}

TEST(MoveNotation, DropsAndPromotionWords) {
    Position reachable = positionWith({{0x43, GOLD_A}}, ATTACKER, {{GOLD_A, 1}});
    EXPECT_EQ(formatMove(reachable, drop(0x52, GOLD_A)), "52金打 ");
    Position unreachable = positionWith({{0x61, GOLD_A}}, ATTACKER, {{GOLD_A, 1}});
    EXPECT_EQ(formatMove(unreachable, drop(0x52, GOLD_A)), "52金 ");

    Position silver = positionWith({{0x44, SILVER_A}, {0x33, SILVER_A | 8}, {0x66, DEFENDER | SILVER}});
    EXPECT_EQ(formatMove(silver, boardMove(0x44, 0x33, SILVER_A)), "33銀生 ");
    EXPECT_EQ(formatMove(silver, boardMove(0x44, 0x33, SILVER_A, 1)), "33銀成 ");
    EXPECT_EQ(formatMove(silver, boardMove(0x44, 0x55, SILVER_A)), "55銀 ");          // outside the zone
    EXPECT_EQ(formatMove(silver, boardMove(0x33, 0x44, SILVER_A | 8)), "44全 ");      // promoted: never 生
    EXPECT_EQ(formatMove(silver, boardMove(0x66, 0x77, DEFENDER | SILVER)), "77銀生 ");
    Position gold = positionWith({{0x44, GOLD_A}});
    EXPECT_EQ(formatMove(gold, boardMove(0x44, 0x43, GOLD_A)), "43金 ");                // gold: never 生
    Position fromZone = positionWith({{0x33, SILVER_A}});
    EXPECT_EQ(formatMove(fromZone, boardMove(0x33, 0x44, SILVER_A)), "44銀生 ");      // leaving the zone
}

TEST(MoveNotation, RecordForm) {
    EXPECT_EQ(formatMoveRecord(boardMove(0x77, 0x76, ATTACKER | PAWN)), "76歩(77)");
    EXPECT_EQ(formatMoveRecord(boardMove(0x34, 0x23, SILVER_A, 1)), "23銀成(34)");
    EXPECT_EQ(formatMoveRecord(drop(0x52, GOLD_A)), "52金打");  // always 打 in this form
    EXPECT_EQ(formatMoveRecord(boardMove(0x59, 0x58, ATTACKER | KING)), "58王(59)");
    EXPECT_EQ(formatMoveRecord(boardMove(0x51, 0x52, DEFENDER | KING)), "52玉(51)");
}

TEST(Diagram, LayoutAndHands) {
    Position pos = positionWith({{0x51, DEFENDER | KING}, {0x59, ATTACKER | KING}, {0x22, DEFENDER | HORSE},
                                 {0x18, ATTACKER | PAWN | 8}},
                                ATTACKER, {{DEFENDER | ROOK, 1}, {DEFENDER | PAWN, 18}});
    const std::string expected =
        "持駒：飛 歩18 \n"
        "  ９ ８ ７ ６ ５ ４ ３ ２ １ \n"
        "+---------------------------+\n"
        "| ・ ・ ・ ・v玉 ・ ・ ・ ・|一\n"
        "| ・ ・ ・ ・ ・ ・ ・v馬 ・|二\n"
        "| ・ ・ ・ ・ ・ ・ ・ ・ ・|三\n"
        "| ・ ・ ・ ・ ・ ・ ・ ・ ・|四\n"
        "| ・ ・ ・ ・ ・ ・ ・ ・ ・|五\n"
        "| ・ ・ ・ ・ ・ ・ ・ ・ ・|六\n"
        "| ・ ・ ・ ・ ・ ・ ・ ・ ・|七\n"
        "| ・ ・ ・ ・ ・ ・ ・ ・ と|八\n"
        "| ・ ・ ・ ・ 王 ・ ・ ・ ・|九\n"
        "+---------------------------+\n"
        "持駒：なし\n";
    EXPECT_EQ(diagramText(pos), expected);
}

TEST(Diagram, OwnOutputReadsBack) {
    // Hands of single pieces: the diagram's count form ("歩18") is not the
    // file's ("歩十八"), but every glyph, the attacker's " 王" included, is.
    Position pos = positionWith({{0x51, DEFENDER | KING}, {0x59, ATTACKER | KING}, {0x22, DEFENDER | DRAGON},
                                 {0x35, ATTACKER | HORSE}, {0x97, ATTACKER | LANCE | 8}, {0x13, DEFENDER | PAWN}},
                                ATTACKER, {{DEFENDER | GOLD, 1}, {ATTACKER | KNIGHT, 1}});
    ReadOutcome r = readProblemText("手数：1\n" + diagramText(pos));
    ASSERT_TRUE(r.accepted) << r.refusal;
    for (int file = 1; file <= 9; ++file)
        for (int rank = 1; rank <= 9; ++rank)
            EXPECT_EQ(cellOf(r.setup, file, rank), pos.cell(makeSquare(file, rank))) << file << rank;
    EXPECT_EQ(r.setup.handCounts[DEFENDER | GOLD], 1);
    EXPECT_EQ(r.setup.handCounts[ATTACKER | KNIGHT], 1);
}

TEST(Diagram, AppendsToANamedFile) {
    Position pos = positionWith({{0x51, DEFENDER | KING}});
    const std::string path = testing::TempDir() + "kelvaro_diagram_test.txt";
    std::remove(path.c_str());
    ASSERT_TRUE(formatDiagram(pos, path));
    ASSERT_TRUE(formatDiagram(pos, path));
    EXPECT_EQ(readFile(path), diagramText(pos) + diagramText(pos));
    std::remove(path.c_str());
    EXPECT_FALSE(formatDiagram(pos, testing::TempDir() + "no/such/dir/file.txt"));
}

}  // namespace
