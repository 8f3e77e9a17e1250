// Stopping a run, on a terminal as a user does.
#include <gtest/gtest.h>

#include "harness.h"

namespace {

using namespace harness;

// 打歩非王手可最善詰 in 7 moves: without the check obligation the first search
// runs for minutes, long enough to be stopped.
std::string longSearchProblem() {
    return readFile(std::string(KELVARO_SOURCE_DIR) + "/tests/program/fixtures/golden problem.kif");
}
const std::string DIAGRAM_END = "持駒：飛 角 金2 銀2 桂3 香3 歩2 \n";
const std::string STOP_QUESTION = "中断しますか？（Y/N）：";
const std::string SAVE_QUESTION = "現在の状態を保存しますか？（Y/N）：";
// A question is on the screen a moment before the key poller lets go of the
// terminal; an answer typed within that moment is taken as keys. A user
// does not type that fast.
constexpr int ANSWER_DELAY_MS = 300;

TEST(Interruption, StopInTheFirstSearchEndsTheRunAsStoppedWhileSolving) {
    ProblemFile file(RawText{longSearchProblem()});
    const RunResult run = runOnTerminal({file.path()}, {
                                                           {DIAGRAM_END, "\x1b", 300},
                                                           // No: the search goes on.
                                                           {STOP_QUESTION, "n\n", ANSWER_DELAY_MS},
                                                           {"再開します\n", "\x1b", 300},
                                                           {STOP_QUESTION, "y\n", ANSWER_DELAY_MS},
                                                           {SAVE_QUESTION, "n\n", ANSWER_DELAY_MS},
                                                           {KEY_WAIT, "x", ANSWER_DELAY_MS},
                                                       });
    ASSERT_EQ(run.exitCode, 0) << shown(run.console);
    // The progress block shows where the search stood.
    EXPECT_NE(run.console.find("現在の読み筋：開始0手目、検討深度(実/指定)："), std::string::npos) << shown(run.console);
    const std::string stopped = " \n(中断：求解中)\n\n";
    // (The terminal echoes the answers, or not, depending on when they
    // arrive: before or after the program leaves its single-key mode.)
    EXPECT_MATCH(run.console, "{*}" + STOP_QUESTION + "{*}\n中断します。\n\n" + SAVE_QUESTION + "{*}" +
                                  closingBlock("", stopped) + KEY_WAIT + "{*}");
    EXPECT_MATCH(file.report(), "{*}Checked by Kelvaro 1.07" + stopped);
    // Declined: no suspend file.
    EXPECT_NE(access((file.dir() + "/problem.kvs").c_str(), F_OK), 0);
}

}  // namespace

namespace {

TEST(Interruption, StopInTheVerificationOffersTheLineAndNamesTheMoveExamined) {
    ProblemFile file(RawText{readFile(std::string(KELVARO_SOURCE_DIR) + "/problems/example.kif")});
    const std::string line = "\n52香 61玉 72角 71玉 81角成 同玉 82香 71玉 72香 61玉 \n62香 まで 11手\n";
    // The example's verification lasts a fraction of a second: the stop
    // comes from the program's test hook, early in it, not from a key.
    const RunResult run = runOnTerminalStoppedAt("verify@1", {file.path()}, {
                                                           {"この手順を元に検討しますか？（Y/N）：", "n\n", ANSWER_DELAY_MS},
                                                           {STOP_QUESTION, "y\n", ANSWER_DELAY_MS},
                                                           {"暫定的な解を出力しますか？（Y/N）：", "y\n", ANSWER_DELAY_MS},
                                                           {SAVE_QUESTION, "n\n", ANSWER_DELAY_MS},
                                                           {KEY_WAIT, "x", ANSWER_DELAY_MS},
                                                       });
    ASSERT_EQ(run.exitCode, 0) << shown(run.console);
    const std::string stopped = " \n(中断：変別・非限定検討中、{*}手目{*}まで)\n\n";
    EXPECT_MATCH(run.console, "{*}" + line + "{*}" + SAVE_QUESTION + "{*}" + closingBlock("", stopped) + KEY_WAIT + "{*}");
    EXPECT_MATCH(file.report(), "{*}" + line + closingBlock("", stopped));
}

}  // namespace
