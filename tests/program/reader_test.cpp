// The problem file reader, on fixture files and small texts.
#include <gtest/gtest.h>

#include <algorithm>

#include "driver/problem_header.h"
#include "program/problem_reader.h"
#include "search/search_context.h"
#include "support.h"

namespace {

using harness::fixturePath;
using harness::readFile;

Move move(int from, int to, int piece, int promote = 0) {
    return Move{uint8_t(from), uint8_t(to), uint8_t(piece), uint8_t(promote)};
}

std::string withoutCarriageReturns(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

const std::string EMPTY_ROW = "| ・ ・ ・ ・ ・ ・ ・ ・ ・|";

std::vector<std::string> emptyRows() { return std::vector<std::string>(9, EMPTY_ROW); }

void expectFullHeaderFixture(const ReadOutcome& r) {
    ASSERT_TRUE(r.accepted) << r.refusal;
    EXPECT_EQ(problem.caption, "試験作品／作者名／詰棋雑誌／2001年1月");
    EXPECT_EQ(problem.moveCount, 5);
    EXPECT_EQ(problem.className, "最善詰");
    EXPECT_EQ(ruleSwitches.RuleFlags, 0x112u);
    EXPECT_EQ(ruleSwitches.handSaving, 1);
    EXPECT_EQ(problem.cookCheck, 1);  // remarks: 余詰検討 with no number of its own
    EXPECT_EQ(problem.cookDepth, 2999);
    EXPECT_EQ(problem.memoryMB, 200);
    // 手合割：平手 first, then a 後手番 line after the move list.
    EXPECT_EQ(problem.recordSide, DEFENDER);

    const ProblemSetup& s = r.setup;
    EXPECT_EQ(cellOf(s, 9, 1), DEFENDER | LANCE);
    EXPECT_EQ(cellOf(s, 8, 1), DEFENDER | KNIGHT);
    EXPECT_EQ(cellOf(s, 2, 1), EMPTY);  // "v・"
    EXPECT_EQ(cellOf(s, 1, 1), DEFENDER | KING);
    EXPECT_EQ(cellOf(s, 3, 2), WALL);   // " ●"
    EXPECT_EQ(cellOf(s, 1, 3), WALL);   // "v●"
    EXPECT_EQ(cellOf(s, 4, 4), ATTACKER | SILVER);
    EXPECT_EQ(cellOf(s, 9, 9), ATTACKER | LANCE);
    EXPECT_EQ(cellOf(s, 1, 9), ATTACKER | KING);
    EXPECT_EQ(std::count(s.diagram, s.diagram + 81, EMPTY), 81 - 8);

    int32_t hands[HAND_SLOTS] = {};
    hands[DEFENDER | ROOK] = 1;
    hands[DEFENDER | GOLD] = 2;
    hands[DEFENDER | PAWN] = 18;
    hands[ATTACKER | BISHOP] = 1;
    hands[ATTACKER | SILVER] = 2;
    EXPECT_TRUE(std::equal(hands, hands + HAND_SLOTS, s.handCounts));

    // Comments are skipped without changing sides, "まで…" is no move, the
    // empty line ends the list, and the line after it is no move.
    const std::vector<Move> expected = {
        move(0, 0x22, ATTACKER | SILVER),            // ２二銀打
        move(0x11, 0x22, DEFENDER | KING),           // 同　玉(11)
        move(0x44, 0x33, ATTACKER | SILVER, 1),      // ３三銀成(44)
        move(0x22, 0x33, DEFENDER | KING),           // 同　玉(22)
        move(0x33, 0x44, ATTACKER | SILVER | 8),     // ４四成銀(33): promoted silver, no promotion flag
    };
    EXPECT_EQ(searchContext.composerLine, expected);
}

TEST(ProblemReader, ReadsEveryPartOfAFullFile) {
    expectFullHeaderFixture(readProblemText(readFile(fixturePath("full_header.kif"))));
}

TEST(ProblemReader, LineFeedFileReadsLikeCarriageReturnLineFeed) {
    std::string crlf = readFile(fixturePath("full_header.kif"));
    ASSERT_NE(crlf.find("\r\n"), std::string::npos);
    expectFullHeaderFixture(readProblemText(withoutCarriageReturns(crlf)));
}

TEST(ProblemReader, HandicapRecordStartsWithTheDefendersMove) {
    ReadOutcome r = readProblemText(readFile(fixturePath("handicap.kif")));
    ASSERT_TRUE(r.accepted) << r.refusal;
    EXPECT_EQ(problem.recordSide, DEFENDER);
    const std::vector<Move> expected = {move(0x11, 0x12, DEFENDER | KING), move(0x59, 0x58, ATTACKER | KING)};
    EXPECT_EQ(searchContext.composerLine, expected);
    EXPECT_EQ(problem.caption, "駒落ちの記録");
}

TEST(ProblemReader, SideToRecordFromItsMarkers) {
    readProblemText("後手番\n");
    EXPECT_EQ(problem.recordSide, DEFENDER);
    readProblemText("手合割：平手\n下手番\n");
    EXPECT_EQ(problem.recordSide, ATTACKER);
    readProblemText("後手番 下手番\n");  // tested later, so it wins
    EXPECT_EQ(problem.recordSide, ATTACKER);
    readProblemText("手合割：二枚落ち\n");
    EXPECT_EQ(problem.recordSide, DEFENDER);
}

TEST(ProblemReader, CaptionTakesTheTitleOnlyFirst) {
    readProblemText("作者：甲\n作品名：題\n発表年月：昭和\n");
    EXPECT_EQ(problem.caption, "甲／昭和");
    readProblemText("作品名：題\n作品名：別題\n発表誌：誌\n");
    EXPECT_EQ(problem.caption, "題／誌");
}

TEST(ProblemReader, MissingClassGivesTheOrthodoxProblem) {
    ReadOutcome r = readProblemText("手数：3\n");
    ASSERT_TRUE(r.accepted);
    EXPECT_EQ(problem.className, "最善詰");
    EXPECT_EQ(ruleSwitches.RuleFlags, 0x112u);
    EXPECT_EQ(ruleSwitches.handSaving, 1);
    EXPECT_EQ(std::count(r.setup.diagram, r.setup.diagram + 81, EMPTY), 81);
}

TEST(ProblemReader, MoveCountThatDoesNotFitSixteenBitsIsOutOfRange) {
    ReadOutcome r = readProblemText(readFile(fixturePath("move_count_overflow.kif")));
    ASSERT_TRUE(r.accepted);
    EXPECT_EQ(problem.moveCount, -1);  // 65539 would otherwise wrap to 3
    readProblemText("手数：-70000\n");
    EXPECT_EQ(problem.moveCount, -1);
    readProblemText("手数： 32767手\n");
    EXPECT_EQ(problem.moveCount, 32767);
    readProblemText("手数：なし\n");
    EXPECT_EQ(problem.moveCount, 0);
}

// Files as shogi GUIs export them: no "手数：" line, so the move list gives
// the length; times after the moves, a "詰み" line and a trailer. The KIFU
// is UTF-8 with a byte-order mark, and reads alike without it.
TEST(ProblemReader, GuiExportsReadLikeTheCorpusFileOfTheirProblem) {
    const ReadOutcome corpus = readProblemText(readFile(harness::sourcePath("problems/corpus/kif/m001.kif")));
    ASSERT_TRUE(corpus.accepted);
    EXPECT_EQ(problem.moveCountSource, ProblemHeader::MoveCountSource::Stated);
    const std::vector<Move> corpusLine = searchContext.composerLine;
    const std::string kifu = readFile(fixturePath("gui_export.kifu"));
    for (const std::string& text : {readFile(fixturePath("gui_export.kif")), kifu, kifu.substr(3)}) {
        const ReadOutcome r = readProblemText(text);
        ASSERT_TRUE(r.accepted) << r.refusal;
        EXPECT_EQ(problem.moveCountSource, ProblemHeader::MoveCountSource::MoveList);
        EXPECT_EQ(problem.moveCount, 11);
        EXPECT_TRUE(std::equal(r.setup.diagram, r.setup.diagram + 81, corpus.setup.diagram));
        EXPECT_TRUE(std::equal(r.setup.handCounts, r.setup.handCounts + HAND_SLOTS, corpus.setup.handCounts));
        EXPECT_EQ(searchContext.composerLine, corpusLine);
    }
    // A stated count is the count, whatever the list holds.
    readProblemText("手数：13\n" + readFile(fixturePath("gui_export.kif")));
    EXPECT_EQ(problem.moveCount, 13);
    const ReadOutcome neither = readProblemText("作品名：題\n");
    EXPECT_FALSE(neither.accepted);
    EXPECT_EQ(neither.refusal, "手数の指定がありません（「手数：」の行か、「手数----指手」に続く指し手で指定してください）");
}

TEST(HandLine, EntriesCounts) {
    int32_t hands[HAND_SLOTS] = {};
    std::string bad;
    EXPECT_EQ(parseHandLine("先手の持駒：飛　歩十八", ATTACKER, hands, bad), HAND_READ);
    EXPECT_EQ(hands[ATTACKER | ROOK], 1);
    EXPECT_EQ(hands[ATTACKER | PAWN], 18);

    EXPECT_EQ(parseHandLine("持駒：金二　金三　銀九十九", DEFENDER, hands, bad), HAND_READ);
    EXPECT_EQ(hands[DEFENDER | GOLD], 3);  // the later entry replaces the earlier
    EXPECT_EQ(hands[DEFENDER | SILVER], 99);

    int32_t none[HAND_SLOTS] = {};
    EXPECT_EQ(parseHandLine("後手の持駒：なし", DEFENDER, none, bad), HAND_READ);
    EXPECT_TRUE(std::all_of(none, none + HAND_SLOTS, [](int32_t c) { return c == 0; }));

    // Layout blanks after a numeral do not make it a different count.
    EXPECT_EQ(parseHandLine("持駒：香三 　桂二\t", ATTACKER, hands, bad), HAND_READ);
    EXPECT_EQ(hands[ATTACKER | LANCE], 3);
    EXPECT_EQ(hands[ATTACKER | KNIGHT], 2);

    // A one-byte numeral text counts as one piece; a full-width digit is refused.
    EXPECT_EQ(parseHandLine("持駒：歩2", ATTACKER, hands, bad), HAND_READ);
    EXPECT_EQ(hands[ATTACKER | PAWN], 1);
    EXPECT_EQ(parseHandLine("持駒：歩２", ATTACKER, hands, bad), HAND_BAD_COUNT);
    EXPECT_EQ(bad, "２");
    EXPECT_EQ(parseHandLine("持駒：角　歩十十", ATTACKER, hands, bad), HAND_BAD_COUNT);
    EXPECT_EQ(bad, "十十");

    EXPECT_EQ(parseHandLine("後手の持駒：残り全部", DEFENDER, hands, bad), HAND_REST_OF_SET);
}

TEST(HandLine, KanjiCounts) {
    EXPECT_EQ(parseKanjiCount(""), 1);
    EXPECT_EQ(parseKanjiCount("一"), 1);
    EXPECT_EQ(parseKanjiCount("十"), 10);
    EXPECT_EQ(parseKanjiCount("十八"), 18);
    EXPECT_EQ(parseKanjiCount("二十"), 20);
    EXPECT_EQ(parseKanjiCount("九十九"), 99);
    EXPECT_EQ(parseKanjiCount("abc"), 1);  // an odd length is no numeral: one piece
    for (const char* bad : {"十十", "二三", "零", "十二三", "二十十", "十十一", "２", "1 "})
        EXPECT_EQ(parseKanjiCount(bad), -1) << bad;
}

TEST(ProblemReader, RestOfSetGoesToTheDefenderAfterTheBoard) {
    ReadOutcome r = readProblemText(readFile(fixturePath("rest_of_set.kif")));
    ASSERT_TRUE(r.accepted) << r.refusal;
    // Board: と, 歩, v歩, 竜, v桂, v香 and the king; attacker's hand 飛 金二 銀 歩三.
    const int32_t* h = r.setup.handCounts;
    EXPECT_EQ(h[DEFENDER | ROOK], 0);    // 2 - dragon - hand rook
    EXPECT_EQ(h[DEFENDER | BISHOP], 2);
    EXPECT_EQ(h[DEFENDER | GOLD], 2);
    EXPECT_EQ(h[DEFENDER | SILVER], 3);
    EXPECT_EQ(h[DEFENDER | KNIGHT], 3);
    EXPECT_EQ(h[DEFENDER | LANCE], 3);
    EXPECT_EQ(h[DEFENDER | PAWN], 12);   // 18 - three on the board - three in hand
    EXPECT_EQ(h[ATTACKER | PAWN], 3);
}

TEST(ProblemReader, RestOfSetNeverGoesNegativeAndIsOneSidedOnly) {
    std::vector<std::string> rows(9, "| 歩 歩 歩 歩 歩 歩 歩 歩 歩|");
    ReadOutcome r = readProblemText(problemWithRows(rows, "残り全部", "歩十"));
    ASSERT_TRUE(r.accepted);
    EXPECT_EQ(r.setup.handCounts[DEFENDER | PAWN], 0);  // 81 pawns on the board
    EXPECT_EQ(r.setup.handCounts[DEFENDER | GOLD], 4);

    r = readProblemText(problemWithRows(emptyRows(), "残り全部", "残り全部"));
    EXPECT_FALSE(r.accepted);
    EXPECT_EQ(r.refusal, "持駒の「残り全部」は片方の持駒にしか指定できません");
}

TEST(ProblemReader, KingGlyphAndDragonGlyphAreRead) {
    ReadOutcome r = readProblemText(readFile(fixturePath("kings_and_dragons.kif")));
    ASSERT_TRUE(r.accepted) << r.refusal;
    EXPECT_EQ(cellOf(r.setup, 5, 9), ATTACKER | KING);     // " 王"
    EXPECT_EQ(cellOf(r.setup, 5, 5), ATTACKER | DRAGON);   // " 竜"
    EXPECT_EQ(cellOf(r.setup, 2, 3), DEFENDER | DRAGON);   // "v竜"
    const std::vector<Move> expected = {move(0x59, 0x58, ATTACKER | KING), move(0x23, 0x24, DEFENDER | DRAGON)};
    EXPECT_EQ(searchContext.composerLine, expected);
}

TEST(ProblemReader, DiagramRefusalsNameWhereTheyAre) {
    auto rows = emptyRows();
    rows[4] = "| ・ ・ 成銀 ・ ・ ・ ・ ・ ・|";
    ReadOutcome r = readProblemText(problemWithRows(rows));
    EXPECT_FALSE(r.accepted);
    EXPECT_EQ(r.refusal, "盤面図の７五の駒「成」が読めません");

    rows = emptyRows();
    rows[8] = "| ・ ・ ・ ・ ・ ・ ・ ・ X|";  // no glyph worth quoting
    r = readProblemText(problemWithRows(rows));
    EXPECT_EQ(r.refusal, "盤面図の１九の駒が読めません");

    rows = emptyRows();
    rows[1] = "| ・ ・ ・ ・ ・ ・ ・ ・ ・";  // 28 bytes: the bar at the end is not needed
    EXPECT_TRUE(readProblemText(problemWithRows(rows)).accepted);
    rows[1].pop_back();
    r = readProblemText(problemWithRows(rows));
    EXPECT_EQ(r.refusal, "盤面図の二段目が短すぎます（９マス分の駒が読めません）");

    r = readProblemText("後手の持駒：なし\n  ９ ８ ７ ６ ５ ４ ３ ２ １\n");
    EXPECT_EQ(r.refusal, "盤面図が途中で終わっています（一段目がありません）");
    r = readProblemText("後手の持駒：なし\n  ９ ８\n+---+\n" + EMPTY_ROW + "\n");
    EXPECT_EQ(r.refusal, "盤面図が途中で終わっています（二段目がありません）");

    // Once the nine rows are in, a file may end without the attacker's hand.
    std::string complete = problemWithRows(emptyRows());
    r = readProblemText(complete.substr(0, complete.find("+---------------------------+\n先手")));
    EXPECT_TRUE(r.accepted) << r.refusal;
}

TEST(ProblemReader, BadHandCountStopsTheReading) {
    ReadOutcome r = readProblemText(readFile(fixturePath("bad_hand_count.kif")));
    EXPECT_FALSE(r.accepted);
    EXPECT_EQ(r.refusal, "持駒数の指定が誤っています：十十");
    r = readProblemText(problemWithRows(emptyRows(), "なし", "飛二十十"));
    EXPECT_EQ(r.refusal, "持駒数の指定が誤っています：二十十");
}

TEST(ProblemReader, TextThatIsNotTextIsRefused) {
    ReadOutcome r = readProblemText(readFile(fixturePath("binary.kif")));
    EXPECT_FALSE(r.accepted);
    EXPECT_EQ(r.refusal, "エラー：テキストファイルではありません（4行目に制御文字があります）");
    r = readProblemText(std::string("作品名：a\n\x1b[31m\n"));
    EXPECT_FALSE(r.accepted);
    // Tabs, line ends and a closing DOS end-of-file mark are text.
    EXPECT_TRUE(readProblemText("作品名：\ta\r\n手数：3\x1a").accepted);
    EXPECT_EQ(problem.moveCount, 3);
}

TEST(EnteredMoves, LineForms) {
    searchContext.composerLine.clear();
    int lastTo = 0;
    // "同" on the first line has no square to refer to: dropped.
    EXPECT_FALSE(parseEnteredMove("   1 同　歩(23)", ATTACKER, lastTo));
    EXPECT_TRUE(parseEnteredMove("   1 ７六歩(77)", ATTACKER, lastTo));
    EXPECT_EQ(lastTo, 0x76);
    // A line that is dropped still sets the square that "同" refers to.
    EXPECT_FALSE(parseEnteredMove("   2 ３四", DEFENDER, lastTo));
    EXPECT_TRUE(parseEnteredMove("   3 同　香成(39)", ATTACKER, lastTo));
    EXPECT_TRUE(parseEnteredMove("   4 ５五成香(59)", DEFENDER, lastTo));
    EXPECT_TRUE(parseEnteredMove("   5 ２八成桂(19)", ATTACKER, lastTo));
    EXPECT_TRUE(parseEnteredMove("   6 同　龍(21)   ( 0:01/00:00:01)", DEFENDER, lastTo));
    EXPECT_TRUE(parseEnteredMove("   7 ５二金打   ( 0:01/00:00:02)", ATTACKER, lastTo));
    EXPECT_FALSE(parseEnteredMove("   8 ５二金(5x)", DEFENDER, lastTo));  // "(5x)" reads as 5: no square
    const std::vector<Move> expected = {
        move(0x77, 0x76, ATTACKER | PAWN),
        move(0x39, 0x34, ATTACKER | LANCE, 1),
        move(0x59, 0x55, DEFENDER | LANCE | 8),
        move(0x19, 0x28, ATTACKER | KNIGHT | 8),
        move(0x21, 0x28, DEFENDER | DRAGON),
        move(0, 0x52, ATTACKER | GOLD),
    };
    EXPECT_EQ(searchContext.composerLine, expected);
}

TEST(FirstMover, FromRulesAndMoveCount) {
    resetProblemHeader(problem);
    problem.moveCount = 3;
    EXPECT_EQ(firstMover(), ATTACKER);
    problem.moveCount = 4;
    EXPECT_EQ(firstMover(), DEFENDER);
    ruleSwitches.RuleFlags = 0x122;  // own king
    EXPECT_EQ(firstMover(), ATTACKER);
    problem.moveCount = 5;
    EXPECT_EQ(firstMover(), DEFENDER);
    ruleSwitches.RuleFlags = 0x412;  // repetition: by 受先 only
    EXPECT_EQ(firstMover(), ATTACKER);
    problem.defenderFirst = 1;
    EXPECT_EQ(firstMover(), DEFENDER);
}

}  // namespace
