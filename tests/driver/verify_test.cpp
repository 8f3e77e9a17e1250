// Verification of solutions on small positions whose lines were worked out
// by hand. Squares are written file then rank ("62" is file 6, rank 2).
//
// Positions (attacker moves toward rank 1, defender's king on 11 unless said):
//  CORNER_BISHOP  7bk/8n/9/9/2B6/9/9/9/9 b -      king boxed by its own
//      bishop 21 and knight 12; the only check is 75-66, and it mates.
//  TWIN_BISHOP    4B2bk/R7n/9/9/9/9/9/9/9 b N     the same box; checks
//      33角成, 33角生, 23桂 (all mate: 22 is the only flight, covered by the
//      bishop or the rook 92) and three rook checks that the king or the
//      bishop 21 answers by capturing.
//  TOKIN          6B1k/6PP1/9/9/9/9/9/9/9 b G     1.21歩成: the king takes
//      (同玉) or steps to 12, both mated at once (12玉 22角成).
//  GOLD_DROP      7Bk/9/4G4/9/9/9/9/9/9 b BGGGS   13 checks, only 12金 mates
//      (the bishop 21 guards 12); every other check lets the king take the
//      checker or the bishop 21, or flee to 22.
//  HORSE_FINISH          8k/5B3/9/4N4/9/9/9/9/9 b G      five moves: 33角成 12玉
//      22金 13玉 23馬; the other defence 21玉 is mated at once by 22金.
//  SHUTTLE        8k/3R5/5B1pp/6N2/9/9/9/9/9 b -  the rook shuttles 62-61
//      with check and the king 11-12 (each reply forced); 22桂成 mates.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "base/console.h"
#include "driver/console_observer.h"
#include "driver/keyboard.h"
#include "driver/problem_header.h"
#include "driver/solve.h"
#include "driver/verify.h"
#include "position/moves.h"
#include "position/sfen.h"
#include "search/position_table.h"
#include "search/search.h"
#include "search/search_context.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

constexpr const char* CORNER_BISHOP = "7bk/8n/9/9/2B6/9/9/9/9 b - 1";
constexpr const char* TWIN_BISHOP = "4B2bk/R7n/9/9/9/9/9/9/9 b N 1";
constexpr const char* TOKIN = "6B1k/6PP1/9/9/9/9/9/9/9 b G 1";
constexpr const char* GOLD_DROP = "7Bk/9/4G4/9/9/9/9/9/9 b BGGGS 1";
constexpr const char* HORSE_FINISH = "8k/5B3/9/4N4/9/9/9/9/9 b G 1";
constexpr const char* SHUTTLE = "8k/3R5/5B1pp/6N2/9/9/9/9/9 b - 1";

constexpr int sq(int fileRank) { return 16 * (fileRank / 10) + fileRank % 10; }
Move boardMove(int from, int to, int piece, bool promote = false) {
    return Move{uint8_t(sq(from)), uint8_t(sq(to)), uint8_t(piece), uint8_t(promote)};
}
Move drop(int to, int piece) { return Move{0, uint8_t(sq(to)), uint8_t(piece), 0}; }

constexpr int A_PAWN = ATTACKER | PAWN, A_KNIGHT = ATTACKER | KNIGHT, A_GOLD = ATTACKER | GOLD,
              A_BISHOP = ATTACKER | BISHOP, A_ROOK = ATTACKER | ROOK, A_HORSE = ATTACKER | HORSE,
              D_KING = DEFENDER | KING;

class Verification : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(allocatePositionTable((1u << 16) - 1));
        resetProblemHeader(problem);
        ruleSwitches.handSaving = 1;
        searchContext.composerLine.clear();
    searchContext.forceComposerLine = 0;
        currentSolution.clear();
        resumePath.clear();
        SearchContext& ctx = searchContext;
        ctx.savedChildLists.clear();
        ctx.attackerSide = ATTACKER;
        ctx.defenderSide = DEFENDER;
        ctx.phase = PHASE_VERIFYING;
        ctx.subPhase = 0;
        ctx.resuming = 0;
        ctx.savedPly = 0;
        ctx.savedMove = Move{};
        ctx.followIntendedLine = 0;
        ctx.observer = &consoleObserver;
        // Tests run in parallel processes: each has its own report file.
        reportName = ::testing::TempDir() + "verify_report_" + std::to_string(getpid()) + "_" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
        std::remove(reportName.c_str());
        ctx.reportStream.open(reportName, std::ios::out | std::ios::app | std::ios::binary);
    }
    void TearDown() override {
        stopKeyboardThread();
        searchContext.reportStream.close();
        std::remove(reportName.c_str());
        searchContext.savedChildLists.clear();
        resumePath.clear();
        currentSolution.clear();
        releasePositionTable();
    }

    Position& root(const char* sfen) {
        std::string error;
        EXPECT_TRUE(setUpFromSfen(*rootPosition, sfen, error)) << error;
        resetSearchFields(*rootPosition);
        return *rootPosition;
    }

    // Solves the root at depth first, as the driver does before verifying.
    void fillTable(Position& pos, int depth) {
        Position copy = pos;
        invokeSearch(searchContext, copy, int16_t(depth));
        ASSERT_EQ(copy.proofNumber, 0);
    }

    // Verifies line from pos with line as the reference solution; console
    // output goes to `console`.
    MoveLine verify(Position& pos, const MoveLine& line, bool nested = false) {
        if (currentSolution.empty()) currentSolution = line;
        CaptureStdout();
        MoveLine result = verifySolution(searchContext, pos, line, nested);
        consoleOut().flush();
        console = GetCapturedStdout();
        return result;
    }

    std::string report() {
        searchContext.reportStream.flush();
        std::ifstream in(reportName, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::unique_ptr<Position> rootPosition = std::make_unique<Position>();
    std::string reportName;
    std::string console;
};

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(Verification, NodeWithOneLegalMoveShowsOnlyTheClosingMark) {
    Position& pos = root(CORNER_BISHOP);
    const MoveLine line = {boardMove(75, 66, A_BISHOP)};
    EXPECT_EQ(verify(pos, line), line);
    EXPECT_EQ(console, "1手目66角 \t：終了\n");
    EXPECT_EQ(report(), "");
    EXPECT_EQ(pos.children, nullptr);
}

TEST_F(Verification, LastDefenceReportsEveryOtherDefenceAndTheListIndents) {
    Position& pos = root(TOKIN);
    const MoveLine line = {boardMove(22, 21, A_PAWN, true), boardMove(11, 12, D_KING), boardMove(31, 22, A_BISHOP, true)};
    fillTable(pos, 3);
    EXPECT_EQ(verify(pos, line), line);
    // 12金 and 21金 do not mate in three; after 22角成 nothing else mates.
    EXPECT_EQ(console,
              "1手目21歩成 \t：12金 21金 終了\n"
              "2手目12玉 \t：同玉 \n"
              "非限定：2手目 同玉 \n"
              "\t\t　終了\n"
              "3手目22角成 \t：22と 11と 13角成 11金 13金 22金 23金 終了\n");
    EXPECT_EQ(report(), "\n非限定：2手目 同玉 \n");
}

TEST_F(Verification, AlternativeMatesWithoutTheCookCheckAreNotUnique) {
    Position& pos = root(TWIN_BISHOP);
    const MoveLine line = {boardMove(51, 33, A_BISHOP, true)};
    EXPECT_EQ(verify(pos, line), line);
    EXPECT_EQ(report(), "\n非限定：1手目 33角生 \n\n非限定：1手目 23桂 \n");
}

TEST_F(Verification, UnderTheCookCheckAPromotionTwinIsNotUniqueAndAnotherMateIsACook) {
    problem.cookCheck = 1;
    problem.cookDepth = 1;
    Position& pos = root(TWIN_BISHOP);
    const MoveLine line = {boardMove(51, 33, A_BISHOP, true)};
    EXPECT_EQ(verify(pos, line), line);
    EXPECT_EQ(report(), "\n非限定：1手目 33角生 \n\n余詰：1手目 23桂 \n");
    EXPECT_TRUE(contains(console, "1手目33角成 \t：33角生 \n非限定：1手目 33角生 \n"));
}

TEST_F(Verification, ListOfAlternativesBreaksOnceItIsWiderThan53) {
    Position& pos = root(GOLD_DROP);
    const MoveLine line = {drop(12, A_GOLD)};
    EXPECT_EQ(verify(pos, line), line);
    // Widths 7 + 8 x 5 + 5 = 52, then 12銀 makes 57: the line ends after it.
    EXPECT_EQ(console,
              "1手目12金 \t：12角成 22角 33角 44角 55角 66角 77角 88角 99角 22金 12銀 \n"
              "\t\t　22銀 終了\n");
    EXPECT_EQ(report(), "");
}

TEST_F(Verification, MainLineDefenceThatLosesFasterIsReplacedAndTheLineCorrected) {
    Position& pos = root(HORSE_FINISH);
    // The line answers 33角成 with 21玉 and mates in three more, but 22金
    // mates at once there; 12玉 is the defence that lasts.
    const MoveLine wrong = {boardMove(42, 33, A_BISHOP, true), boardMove(11, 21, D_KING), drop(32, A_GOLD),
                            boardMove(21, 12, D_KING), boardMove(33, 22, A_HORSE)};
    const MoveLine corrected = {boardMove(42, 33, A_BISHOP, true), boardMove(11, 12, D_KING), drop(22, A_GOLD),
                                boardMove(12, 13, D_KING), boardMove(33, 23, A_HORSE)};
    fillTable(pos, 5);
    EXPECT_EQ(verify(pos, wrong), corrected);
    EXPECT_TRUE(contains(console, "2手目21玉 \t：変別検出！ 代替手を探しています...手順修正\n2手目12玉 \t：21玉 終了\n"))
        << console;
    // In the corrected line 23金 (instead of 22金) also mates in three.
    EXPECT_EQ(report(), "\n非限定：3手目 23金 \n");
    EXPECT_NE(pos.searchStatus, STATUS_INTERRUPTED);
}

TEST_F(Verification, WithoutAReplacementDefenceTheLineIsKeptAndTheCheckStops) {
    Position& pos = root(TOKIN);
    // A five-move line for a three-move problem: after 12玉 22角成 mates at
    // once, and 同玉 is mated at once too.
    const MoveLine line = {boardMove(22, 21, A_PAWN, true), boardMove(11, 12, D_KING), drop(13, A_GOLD),
                           boardMove(12, 21, D_KING), drop(22, A_GOLD)};
    fillTable(pos, 3);
    EXPECT_EQ(verify(pos, line), line);
    EXPECT_TRUE(contains(console, "2手目12玉 \t：変別検出！ 代替手を探しています...代替手が見つかりません。\n"
                                  "この解は正しくないと思われるので、検討を中断します。\n"))
        << console;
    // The check stops there: nothing below 12玉 is examined.
    EXPECT_FALSE(contains(console, "3手目"));
}

TEST_F(Verification, NestedCheckDoesNotLookForAFasterMainLineDefence) {
    Position& pos = root(HORSE_FINISH);
    fillTable(pos, 5);
    // The re-check after a correction starts at the defender's node itself.
    auto afterFirst = std::make_unique<Position>();
    makeChild(pos, *afterFirst, boardMove(42, 33, A_BISHOP, true));
    const MoveLine rest = {boardMove(11, 21, D_KING), drop(32, A_GOLD), boardMove(21, 12, D_KING),
                           boardMove(33, 22, A_HORSE)};
    EXPECT_EQ(verify(*afterFirst, rest, true), rest);
    EXPECT_FALSE(contains(console, "変別検出"));
    // Not nested, the same node is corrected.
    EXPECT_NE(verify(*afterFirst, rest, false), rest);
    EXPECT_TRUE(contains(console, "変別検出"));
}

TEST_F(Verification, MoveBackToAPositionOfTheLineIsADetour) {
    problem.cookCheck = 1;
    problem.cookDepth = 9;
    Position& pos = root(SHUTTLE);
    const MoveLine line = {boardMove(62, 61, A_ROOK), boardMove(11, 12, D_KING), boardMove(61, 62, A_ROOK),
                           boardMove(12, 11, D_KING), boardMove(34, 22, A_KNIGHT, true)};
    EXPECT_EQ(verify(pos, line), line);
    const std::string r = report();
    // At the last move: 61飛生 gives back the position after the first move
    // (mated from there), 61飛成 mates with 12玉 21竜, 21角成 with 同玉 and a
    // rook mate, and 22飛成 at once (the knight guards 22).
    EXPECT_TRUE(contains(r, "\n迂回：5手目 61飛生 \n")) << r;
    EXPECT_TRUE(contains(r, "\n余詰：5手目 61飛成 \n")) << r;
    EXPECT_TRUE(contains(r, "\n余詰：5手目 22飛成 \n")) << r;
    EXPECT_TRUE(contains(r, "\n余詰：5手目 21角成 \n")) << r;
    EXPECT_FALSE(contains(r, "5手目 12飛")) << r;
}

TEST_F(Verification, ResumePassesOverEarlierMovesAndTakesUpTheSavedAlternative) {
    Position& pos = root(TOKIN);
    const MoveLine line = {boardMove(22, 21, A_PAWN, true), boardMove(11, 12, D_KING), boardMove(31, 22, A_BISHOP, true)};
    fillTable(pos, 3);
    SearchContext& ctx = searchContext;
    ctx.resuming = 1;
    ctx.savedPly = 2;
    ctx.savedMove = drop(11, A_GOLD);
    ctx.subPhase = SUBPHASE_ATTACKER_ALTERNATIVES;
    // The walk's records of plies 0 and 1 and the child list of ply 0, as an
    // interrupted walk leaves them; ply 1's list belongs to ply 2's parent.
    resumePath = {ResumeRecord{}, ResumeRecord{}};
    ctx.savedChildLists = {ChildList(3), ChildList(2)};
    EXPECT_EQ(verify(pos, line), line);
    EXPECT_EQ(console,
              "1手目21歩成 \t：検討済\n"
              "2手目12玉 \t：検討済\n"
              "3手目22角成 \t：11金 \n"
              "\t\t　13金 22金 23金 終了\n");
    EXPECT_EQ(ctx.resuming, 0);
    EXPECT_TRUE(resumePath.empty());
    EXPECT_TRUE(ctx.savedChildLists.empty());
}

TEST_F(Verification, ResumeInTheMainLineDefenceCheckRunsItAgainThere) {
    Position& pos = root(HORSE_FINISH);
    const MoveLine wrong = {boardMove(42, 33, A_BISHOP, true), boardMove(11, 21, D_KING), drop(32, A_GOLD),
                            boardMove(21, 12, D_KING), boardMove(33, 22, A_HORSE)};
    fillTable(pos, 5);
    SearchContext& ctx = searchContext;
    ctx.resuming = 1;
    ctx.savedPly = 1;
    ctx.savedMove = boardMove(11, 21, D_KING);
    ctx.subPhase = SUBPHASE_MAIN_LINE_DEFENCE;
    const MoveLine result = verify(pos, wrong);
    EXPECT_EQ(result[1], boardMove(11, 12, D_KING));
    EXPECT_TRUE(contains(console, "1手目33角成 \t：検討済\n2手目21玉 \t：変別検出！")) << console;
}

TEST_F(Verification, ForcedComposersLineIsFollowedWithoutExamination) {
    searchContext.forceComposerLine = 1;
    searchContext.followIntendedLine = 1;
    Position& pos = root(TOKIN);
    const MoveLine line = {boardMove(22, 21, A_PAWN, true), boardMove(11, 12, D_KING), boardMove(31, 22, A_BISHOP, true)};
    searchContext.composerLine = line;
    EXPECT_EQ(verify(pos, line), line);
    EXPECT_EQ(console, "1手目21歩成 \t：作意強制\n2手目12玉 \t：作意強制\n3手目22角成 \t：終了\n");
    EXPECT_EQ(report(), "");
    searchContext.composerLine.clear();
}

TEST_F(Verification, MoveThatIsNotLegalEndsTheWalkUnverified) {
    Position& pos = root(CORNER_BISHOP);
    // 75-57 is no check; the line is handed back as it came.
    const MoveLine line = {boardMove(75, 57, A_BISHOP), boardMove(11, 22, D_KING)};
    EXPECT_EQ(verify(pos, line), line);
    EXPECT_EQ(console, "1手目57角 \t：終了\n");
}

TEST_F(Verification, ZeroMoveAtTheHeadOfAResumedLineIsDropped) {
    Position& pos = root(CORNER_BISHOP);
    searchContext.resuming = 1;
    const MoveLine line = {boardMove(75, 66, A_BISHOP)};
    MoveLine withZero = line;
    withZero.insert(withZero.begin(), Move{});
    currentSolution = line;
    EXPECT_EQ(verify(pos, withZero), line);
    EXPECT_EQ(verify(pos, {Move{}}), MoveLine{});
}

// A stop inside a search of the alternatives: the node records nothing, the
// nodes above it do, and a second run from that state takes the check up at
// the saved move. Runs in a child process, which answers the stop question
// from its own standard input.
TEST_F(Verification, StopInTheAlternativesIsRecordedAboveTheNodeAndResumedThere) {
    Position& pos = root(TOKIN);
    const MoveLine line = {boardMove(22, 21, A_PAWN, true), boardMove(11, 12, D_KING), boardMove(31, 22, A_BISHOP, true)};
    fillTable(pos, 3);
    auto scenario = [&]() -> const char* {
        int answer[2];
        if (pipe(answer) != 0) return "pipe";
        if (write(answer[1], "Y\n", 2) != 2) return "write";
        close(answer[1]);
        dup2(answer[0], STDIN_FILENO);
        SearchContext& ctx = searchContext;
        // Pass over plies 0 and 1, search 11金 at ply 2, and stop there.
        ctx.resuming = 1;
        ctx.savedPly = 2;
        ctx.savedMove = drop(11, A_GOLD);
        ctx.subPhase = SUBPHASE_ATTACKER_ALTERNATIVES;
        escPressed = 1;
        currentSolution = line;
        if (verifySolution(ctx, pos, line, false) != line) return "first result";
        if (pos.searchStatus != STATUS_INTERRUPTED) return "status";
        if (ctx.savedPly != 2 || ctx.savedMove != drop(11, A_GOLD) || !ctx.resuming) return "saved point";
        if (resumePath.size() != 2 || ctx.savedChildLists.size() != 2) return "record count";
        if (resumePath.front().lastMove != Move{} || resumePath.back().lastMove != line[0]) return "records";
        if (ctx.savedChildLists.front().size() != 3 || ctx.savedChildLists.back().size() != 2) return "child lists";
        resetSearchFields(pos);
        if (verifySolution(ctx, pos, line, false) != line) return "second result";
        if (pos.searchStatus == STATUS_INTERRUPTED || ctx.resuming) return "second status";
        if (!resumePath.empty() || !ctx.savedChildLists.empty()) return "left over";
        return nullptr;
    };
    EXPECT_EXIT(
        {
            const char* failure = scenario();
            stopKeyboardThread();
            if (failure) std::fprintf(stderr, "failed: %s\n", failure);
            std::fflush(nullptr);
            std::_Exit(failure ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
