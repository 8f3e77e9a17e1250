// Whole runs of the program on small problems: the console dialogue, the
// report block each run appends, the exit codes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "harness.h"
#include "test_data.h"

namespace {

using namespace harness;

const std::string EMPTY_ROW = "| ・ ・ ・ ・ ・ ・ ・ ・ ・|";
Rows rowsWith(std::vector<std::pair<int, std::string>> given) {
    static const char* numerals[] = {"一", "二", "三", "四", "五", "六", "七", "八", "九"};
    Rows rows;
    for (int rank = 1; rank <= 9; ++rank) {
        std::string row = EMPTY_ROW + numerals[rank - 1];
        for (const auto& [r, text] : given)
            if (r == rank) row = text + numerals[rank - 1];
        rows.push_back(row);
    }
    return rows;
}

// 22金 mates at once (the bishop guards 22); 12金 and 21金 do not.
const Rows ONE_MOVE = rowsWith({{1, "| ・ ・ ・ ・ ・ ・ 角 ・v玉|"}, {4, "| ・ ・ ・ ・v金 飛vと ・ ・|"}});

// 13飛成 leaves the king 21玉 alone (11 and the dragon's lines are covered);
// 22金 then mates, guarded by the dragon. No other first move mates in 3.
const Rows THREE_MOVES = rowsWith({{1, "| ・ ・ ・ ・v金 ・ ・ ・v玉|"},
                                   {3, "| ・ ・ ・ ・ ・ 飛 ・ ・ ・|"},
                                   {4, "| ・ ・ ・ ・ ・ ・ ・v金 ・|"},
                                   {5, "| ・ ・ ・ ・ ・ ・ ・ ・ 馬|"}});
const char* THREE_LINE = "\n13飛成 21玉 22金 まで 3手\n";

// The only check is 22銀, the only reply 同玉, and then the attacker has no
// check at all.
const Rows NO_MATE = rowsWith({{1, "| ・ ・ ・ ・ ・ ・ ・ ・v玉|"},
                               {2, "| ・ ・ ・ ・ ・ ・ ・ ・v香|"},
                               {3, "| ・ ・ ・ ・ ・ 桂 ・ ・ ・|"},
                               {5, "| ・ ・ ・ ・ ・ ・vと ・ ・|"}});

// Stated as 5 moves, but 23飛成 mates in 3 whichever way the king goes
// (11玉 12金, 31玉 32金). The first search proves the mate through a
// five-move line; the shorter-mate search at depth 3 finds the rest.
const Rows SHORTER = rowsWith({{1, "| ・ ・ ・ ・ ・ ・ ・v玉 ・|"},
                               {2, "| ・ ・ ・ ・v歩 ・ ・ ・ ・|"},
                               {3, "| ・ ・ ・ ・ ・ ・ 飛 ・ ・|"}});

Problem problemOf(const Rows& rows, const std::string& attackerHand, std::vector<std::string> header,
                  std::vector<std::string> moveList = {}) {
    Problem p;
    p.header = std::move(header);
    p.rows = rows;
    p.attackerHand = attackerHand;
    p.moveList = std::move(moveList);
    return p;
}

// The head that the console and the report share: rule line and diagram.
std::string head(const std::string& ruleLine, const Rows& rows, const std::string& attackerHand) {
    return ruleLine + "\n" + diagram(rows, "なし", attackerHand);
}

const std::string ONE_MOVE_TOP = head("最善詰 1手", ONE_MOVE, "金 ");
const std::string ONE_MOVE_LINE = "\n22金 まで 1手\n";
const std::string ONE_MOVE_CONSOLE = ONE_MOVE_TOP +
                                     "\n詰みを見つけました\n暫定的な解を表示します。\n" + ONE_MOVE_LINE +
                                     "\n引続き早詰のチェックを行います。\n"
                                     "\n早詰はありません。変別や非限定のチェックを行います。\n\n{*}" +
                                     ONE_MOVE_LINE + closingBlock() + KEY_WAIT;

TEST(Run, OneMoveMateIsSolvedCheckedAndReported) {
    ProblemFile file(problemOf(ONE_MOVE, "金", {"手数：1"}).lines());
    const RunResult run = file.run();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_MATCH(run.console, ONE_MOVE_CONSOLE);
    EXPECT_MATCH(file.report(), ONE_MOVE_TOP + ONE_MOVE_LINE + closingBlock());
}

TEST(Run, EveryRunAppendsOneBlockOfCp932Text) {
    ProblemFile file(problemOf(ONE_MOVE, "金", {"作品名：頭金", "手数：1"}).lines());
    const std::string block = "頭金\n\n" + ONE_MOVE_TOP + ONE_MOVE_LINE + closingBlock();
    EXPECT_EQ(file.run().exitCode, 0);
    EXPECT_MATCH(file.report(), block);
    EXPECT_EQ(file.run().exitCode, 0);
    const std::string twice = file.report();
    EXPECT_MATCH(twice, block + block);
    EXPECT_TRUE(isCp932Text(twice));
}

TEST(Run, ComposersLineIsShownAndFollowedOnlyWhenAccepted) {
    const std::vector<std::string> moves = {"   1 １三飛成(43)", "   2 ２一玉(11)", "   3 ２二金打"};
    const std::string top = head("最善詰 3手", THREE_MOVES, "金 ");
    const std::string offer = std::string("以下の手順が入力されています\n") + THREE_LINE + "この手順を元に検討しますか？（Y/N）：";
    struct Answer {
        const char* typed;
        const char* notes;
    };
    // Only Y (either case) accepts; blank lines before the answer are skipped.
    for (const Answer& a : {Answer{"y\n", ", 手順指定"}, Answer{"\n  Y\n", ", 手順指定"}, Answer{"n\n", ""},
                            Answer{"x\n", ""}}) {
        ProblemFile file(problemOf(THREE_MOVES, "金", {"手数：3"}, moves).lines());
        const RunResult run = file.run(a.typed);
        EXPECT_EQ(run.exitCode, 0) << a.typed;
        EXPECT_MATCH(run.console, top + offer + "\n詰みを見つけました\n暫定的な解を表示します。\n" + THREE_LINE +
                                      "\n引続き早詰のチェックを行います。\n"
                                      "\n早詰はありません。変別や非限定のチェックを行います。\n\n{*}" +
                                      THREE_LINE + closingBlock(a.notes) + KEY_WAIT);
        EXPECT_MATCH(file.report(), top + THREE_LINE + closingBlock(a.notes));
    }
}

TEST(Run, ComposersMovesThatCannotBePlayedAreShownWithoutHarm) {
    // No bishop in hand: the drop cannot be made, so neither can what follows.
    const std::vector<std::string> moves = {"   1 ５五角打", "   2 ２一玉(11)", "   3 ２一角打"};
    ProblemFile file(problemOf(THREE_MOVES, "金", {"手数：3", "備考：解図のみ"}, moves).lines());
    const RunResult run = file.run("y\n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_MATCH(run.console, "{*}以下の手順が入力されています\n\n55角打 21玉(11) 21角打 まで 3手\n"
                              "この手順を元に検討しますか？（Y/N）：\n{*}");
}

TEST(Run, MateShorterThanStatedIsWarnedAndTheShortestIsOffered) {
    // The three-move problem stated as five moves: the solution found is
    // already the shortest, so the shorter-mate search has nothing below it.
    ProblemFile file(problemOf(THREE_MOVES, "金", {"手数：5"}).lines());
    const RunResult run = file.run("n\nn\n");
    EXPECT_EQ(run.exitCode, 0);
    const std::string top = head("最善詰 5手", THREE_MOVES, "金 ");
    EXPECT_MATCH(run.console, top + "\n詰みを見つけました\n\n少なくとも2手短い早詰があります。\n"
                                    "図や手数指定に誤りがないか確認してください。\n"
                                    "暫定的な解を表示します。\n" +
                                  THREE_LINE + "\n引続き早詰のチェックを行います。\n" +
                                  "最短解は3手でした。\n"
                                  "早詰順（暫定解）をもとに、変別や非限定の検討を行いますか？（Y/N）：" +
                                  THREE_LINE + "\n現在の状態を保存しますか？（Y/N）：" +
                                  closingBlock("", " \n(中断：早詰検討まで)\n\n") + KEY_WAIT);
    EXPECT_MATCH(file.report(), top + THREE_LINE + closingBlock("", " \n(中断：早詰検討まで)\n\n"));
}

TEST(Run, ShorterMateSearchReplacesTheProvisionalSolution) {
    const std::string top = head("最善詰 5手", SHORTER, "金 ");
    const std::string found = "\n詰みを見つけました\n暫定的な解を表示します。\n\n{*} まで 5手\n\n"
                              "引続き早詰のチェックを行います。\n"
                              "早詰検出:3手 ..暫定的な解を求めます\n"
                              // Both king moves last as long; the one expanded last is shown.
                              "\n23飛成 31玉 32金 まで 3手\n"
                              "最短解は3手でした。\n"
                              "早詰順（暫定解）をもとに、変別や非限定の検討を行いますか？（Y/N）：";
    {
        // N: the shorter line is written and the run ends as stopped.
        ProblemFile file(problemOf(SHORTER, "金", {"手数：5"}).lines());
        const RunResult run = file.run("n\nn\n");
        EXPECT_EQ(run.exitCode, 0);
        const std::string closing = closingBlock("", " \n(中断：早詰検討まで)\n\n");
        EXPECT_MATCH(run.console, top + found + "\n23飛成 31玉 32金 まで 3手\n" +
                                      "\n現在の状態を保存しますか？（Y/N）：" + closing + KEY_WAIT);
        EXPECT_MATCH(file.report(), top + "\n23飛成 31玉 32金 まで 3手\n" + closing);
    }
    {
        // Anything else: the shorter line is verified.
        ProblemFile file(problemOf(SHORTER, "金", {"手数：5"}).lines());
        const RunResult run = file.run("y\n");
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_MATCH(run.console, top + found + "{*}\n23飛成 31玉 32金 まで 3手\n" + closingBlock() + KEY_WAIT);
    }
}

TEST(Run, NoMateIsReportedWithTheComposersFailureAndTheRefutingLine) {
    const std::vector<std::string> moves = {"   1 ２二銀打", "   2 同　玉(11)"};
    const std::string top = head("最善詰 3手", NO_MATE, "銀 ");
    const std::string offer = "以下の手順が入力されています\n\n22銀 同玉 まで 2手\nこの手順を元に検討しますか？（Y/N）：";
    for (bool follow : {true, false}) {
        ProblemFile file(problemOf(NO_MATE, "銀", {"手数：3", "備考：不詰出力"}, moves).lines());
        const RunResult run = file.run(follow ? "y\n" : "n\n");
        EXPECT_EQ(run.exitCode, 0);
        const std::string failure = follow ? "（作意2手目同玉 で不詰）\n" : "";
        const std::string closing = closingBlock(follow ? ", 手順指定" : "");
        EXPECT_MATCH(run.console, top + offer + "\n詰みませんでした, 最大検討深度：3手\n" + failure +
                                      "最大検討深度：3\n不詰解（参考）を表示します。\n\n22銀 同玉 まで 2手\n\n" +
                                      closing + KEY_WAIT);
        EXPECT_MATCH(file.report(),
                     top + "\n詰みませんでした, 最大検討深度：3手\n" + failure + "\n22銀 同玉 まで 2手\n" + closing);
    }
}

TEST(Run, NoMateWithoutOptionsReportsTheVerdictOnly) {
    ProblemFile file(problemOf(NO_MATE, "銀", {"手数：3"}).lines());
    const RunResult run = file.run();
    EXPECT_EQ(run.exitCode, 0);
    const std::string top = head("最善詰 3手", NO_MATE, "銀 ");
    EXPECT_MATCH(run.console, top + "\n詰みませんでした, 最大検討深度：3手\n" + closingBlock() + KEY_WAIT);
    EXPECT_MATCH(file.report(), top + "\n詰みませんでした, 最大検討深度：3手\n" + closingBlock());
}

TEST(Run, CheckLevelsEndTheRunEarlier) {
    const std::string top = head("最善詰 3手", THREE_MOVES, "金 ");
    {
        ProblemFile file(problemOf(THREE_MOVES, "金", {"手数：3", "備考：解図のみ"}).lines());
        const RunResult run = file.run();
        EXPECT_EQ(run.exitCode, 0);
        const std::string closing = closingBlock("", " (解図のみ)\n\n");
        EXPECT_MATCH(run.console,
                     top + "\n詰みを見つけました\n暫定的な解を出力します。\n" + THREE_LINE + closing + KEY_WAIT);
        EXPECT_MATCH(file.report(), top + THREE_LINE + closing);
    }
    {
        // No shorter-mate search, but the solution is verified.
        ProblemFile file(problemOf(THREE_MOVES, "金", {"手数：3", "備考：略式検討"}).lines());
        const RunResult run = file.run();
        EXPECT_EQ(run.exitCode, 0);
        const std::string closing = closingBlock("", " (略式検討)\n\n");
        EXPECT_MATCH(run.console, top + "\n詰みを見つけました\n暫定的な解を表示します。\n" + THREE_LINE + "\n{*}" +
                                      THREE_LINE + closing + KEY_WAIT);
        EXPECT_EQ(run.console.find("早詰"), std::string::npos) << shown(run.console);
        EXPECT_MATCH(file.report(), top + THREE_LINE + closing);
    }
}

TEST(Run, RefusedMoveCountsAndRuleCombinationsEndTheSolveWithExitCodeOne) {
    // A king of the attacker's own for the self-mate rules.
    const Rows rows = rowsWith({{1, "| ・ ・ ・ ・ ・ ・ 角 ・v玉|"},
                                {4, "| ・ ・ ・ ・v金 飛vと ・ ・|"},
                                {9, "| ・ ・ ・ ・ 王 ・ ・ ・ ・|"}});
    struct Case {
        std::vector<std::string> header;
        std::string ruleLine;
        std::string message;
    };
    const Case cases[] = {
        {{"手数：0"}, "最善詰 0手", "手数は1手以上、2999手以内を指定してください"},
        {{"手数：3000"}, "最善詰 3000手", "手数は1手以上、2999手以内を指定してください"},
        {{"手数：-3"}, "最善詰 -3手", "手数は1手以上、2999手以内を指定してください"},
        {{"手数：3", "分類：千日手"}, "最善千日手 3手", "千日手ルールでは手数は偶数のみ有効です"},
        {{"手数：2", "分類：打歩自玉詰"}, "打歩最善自玉詰 2手", "自玉系ルールでは「打歩」指定はできません"},
        // The combination is refused before the odd count is looked at.
        {{"手数：3", "分類：打歩千日手"}, "打歩最善千日手 3手", "「打歩」と「千日手」の同時指定はできません"},
    };
    const std::string nothingSearched =
        "\n所要時間：{*}秒 探索局面数：0\n局面表：0/12582911 (0.0％)\nChecked by Kelvaro 1.07\n\n";
    for (const Case& c : cases) {
        ProblemFile file(problemOf(rows, "金", c.header).lines());
        const RunResult run = file.run();
        EXPECT_EQ(run.exitCode, 1) << c.ruleLine;
        const std::string top = head(c.ruleLine, rows, "金 ");
        EXPECT_MATCH(run.console, top + c.message + "\n" + nothingSearched + KEY_WAIT);
        EXPECT_MATCH(file.report(), top + nothingSearched);
    }
}

TEST(Run, ReportThatCannotBeOpenedEndsTheRunWithExitCodeOne) {
    ProblemFile file(problemOf(ONE_MOVE, "金", {"手数：1"}).lines());
    ASSERT_EQ(mkdir(file.reportPath().c_str(), 0700), 0);
    const RunResult run = file.run();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_MATCH(run.console, "{*}持駒：金 \n出力用ファイルを開けませんでした。\n" + std::string(KEY_WAIT));
}

const std::string WRITE_FAILED = "出力用ファイルに書き込めませんでした：";

// The console of a run whose report failed: the message once, naming the
// report, and the rest as in a run that lost nothing.
void expectConsoleOfALostReport(const std::string& console, const std::string& reportPath,
                                const std::string& wholeRun) {
    const std::string message = WRITE_FAILED + reportPath + "\n";
    const size_t at = console.find(message);
    ASSERT_NE(at, std::string::npos) << shown(console);
    EXPECT_EQ(console.find(WRITE_FAILED, at + 1), std::string::npos) << shown(console);
    EXPECT_MATCH(std::string(console).erase(at, message.size()), wholeRun);
}

// The report on a disk that fills up during the run, at a point in each of
// its writes in turn: the head's rule line, its diagram (a stream of its
// own), the solution (the driver's stream), the closing block. What the
// report held before stays as it was; this run's text ends where the disk
// did, and the run goes on with the console alone.
TEST(Run, ReportCutShortByAFullDiskKeepsWhatItHeldAndEndsWithExitCodeOne) {
    const std::string written = ONE_MOVE_TOP + ONE_MOVE_LINE + "\n所要時間：";
    for (const size_t cut : {size_t(5), size_t(30), ONE_MOVE_TOP.size() + 3, written.size() - 6}) {
        ProblemFile file(problemOf(ONE_MOVE, "金", {"手数：1"}).lines());
        const std::string problemText = readFile(file.path());
        // The problem's folder becomes a small disk holding the problem and
        // an earlier report that leaves `cut` bytes of its last block.
        SmallFileSystem disk(file.dir(), 16);
        if (!disk.mounted()) SKIP_OR_FAIL_WITHOUT_DATA("no tmpfs could be mounted (only root can)");
        std::string before;
        while (before.size() + cut < disk.blockSize()) before += "以前の記録\n";
        before.resize(disk.blockSize() - cut);
        writeFile(file.path(), problemText);
        writeFile(file.reportPath(), before);
        disk.fill();

        const RunResult run = file.run();
        EXPECT_EQ(run.exitCode, 1) << cut;
        expectConsoleOfALostReport(run.console, file.reportPath(), ONE_MOVE_CONSOLE);
        EXPECT_EQ(file.report(), before + written.substr(0, cut)) << cut;
    }
}

// A name that CP932 cannot write (é) among kanji, on a UTF-8 terminal: the
// name is shown as the user typed it, in the window title and in the
// message of a report on a full disk (a link to /dev/full, where every
// write fails).
TEST(Run, FileNamesAreShownAsTyped) {
    const std::string name = cp932ToUtf8("詰将棋") + "\xc3\xa9.kif";
    ProblemFile file(problemOf(ONE_MOVE, "金", {"手数：1"}).lines(), name);
    ASSERT_EQ(symlink("/dev/full", file.reportPath().c_str()), 0);
    Command command;
    command.arguments = {file.path()};
    TerminalSession session(command);
    ASSERT_TRUE(session.started());
    ASSERT_NE(session.waitForScreen(cp932ToUtf8(KEY_WAIT), 0, 60), std::string::npos) << session.screen();
    ASSERT_TRUE(session.waitForMode(TerminalMode::Keys, 60));
    session.type("x");
    EXPECT_EQ(session.finish(60), 1);
    const std::string& screen = session.screen();
    EXPECT_NE(screen.find("\x1b]0;" + cp932ToUtf8("検討中：") + file.path() + "\x07"), std::string::npos) << screen;
    EXPECT_NE(screen.find(cp932ToUtf8(WRITE_FAILED) + file.reportPath() + "\r\n"), std::string::npos) << screen;
}

}  // namespace
