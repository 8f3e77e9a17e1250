// Stopping a run, on a terminal as a user does.
#include <gtest/gtest.h>
#include <unistd.h>

#include "harness.h"

namespace {

using namespace harness;

// 打歩非王手可最善詰 in 7 moves: without the check obligation the first search
// runs for minutes, long enough to be stopped.
std::string longSearchProblem() { return readFile(fixturePath("golden problem.kif")); }
const std::string DIAGRAM_END = "持駒：飛 角 金2 銀2 桂3 香3 歩2 \n";
const std::string STOP_QUESTION = "中断しますか？（Y/N）：";
const std::string SAVE_QUESTION = "現在の状態を保存しますか？（Y/N）：";
// ESC is a key for the running search: typed once its keyboard thread has
// the terminal. Answers are typed once the question has given it back.
constexpr TerminalMode KEY = TerminalMode::Keys;
constexpr TerminalMode ANSWER = TerminalMode::Lines;

// A run of build/kelvaro on the file; with stops, stopped where they say.
Command runOf(const ProblemFile& file, const std::string& stops = "") {
    Command command;
    command.arguments = {file.path()};
    if (!stops.empty()) command.environment = {testStops(stops)};
    return command;
}

TEST(Interruption, StopInTheFirstSearchEndsTheRunAsStoppedWhileSolving) {
    ProblemFile file(RawText{longSearchProblem()});
    const RunResult run = runOnTerminal(runOf(file), {
                                                         {DIAGRAM_END, "\x1b", KEY},
                                                         // No: the search goes on.
                                                         {STOP_QUESTION, "n\n", ANSWER},
                                                         {"再開します\n", "\x1b", KEY},
                                                         {STOP_QUESTION, "y\n", ANSWER},
                                                         {SAVE_QUESTION, "n\n", ANSWER},
                                                         {KEY_WAIT, "x", KEY},
                                                     });
    ASSERT_EQ(run.exitCode, 0) << shown(run.console);
    // The progress block shows where the search stood.
    EXPECT_NE(run.console.find("現在の読み筋：開始0手目、検討深度(実/指定)："), std::string::npos) << shown(run.console);
    const std::string stopped = " \n(中断：求解中)\n\n";
    // (The terminal echoes the answers after the questions.)
    EXPECT_MATCH(run.console, "{*}" + STOP_QUESTION + "{*}\n中断します。\n\n" + SAVE_QUESTION + "{*}" +
                                  closingBlock("", stopped) + KEY_WAIT + "{*}");
    EXPECT_MATCH(file.report(), "{*}Checked by Kelvaro 1.07" + stopped);
    // Declined: no suspend file.
    EXPECT_NE(access((file.dir() + "/problem.kvs").c_str(), F_OK), 0);
}

}  // namespace

namespace {

TEST(Interruption, StopInTheVerificationOffersTheLineAndNamesTheMoveExamined) {
    ProblemFile file(RawText{readFile(sourcePath("problems/example.kif"))});
    const std::string line = "\n52香 61玉 72角 71玉 81角成 同玉 82香 71玉 72香 61玉 \n62香 まで 11手\n";
    // The example's verification lasts a fraction of a second: the stop
    // comes from the program's test hook, early in it, not from a key.
    const RunResult run = runOnTerminal(runOf(file, "verify@1"), {
                                                                     {"この手順を元に検討しますか？（Y/N）：", "n\n", ANSWER},
                                                                     {STOP_QUESTION, "y\n", ANSWER},
                                                                     {"暫定的な解を出力しますか？（Y/N）：", "y\n", ANSWER},
                                                                     {SAVE_QUESTION, "n\n", ANSWER},
                                                                     {KEY_WAIT, "x", KEY},
                                                                 });
    ASSERT_EQ(run.exitCode, 0) << shown(run.console);
    const std::string stopped = " \n(中断：変別・非限定検討中、{*}手目{*}まで)\n\n";
    EXPECT_MATCH(run.console, "{*}" + line + "{*}" + SAVE_QUESTION + "{*}" + closingBlock("", stopped) + KEY_WAIT + "{*}");
    EXPECT_MATCH(file.report(), "{*}" + line + closingBlock("", stopped));
}

}  // namespace

namespace {

const std::string CTRL_C_ADVICE = "本プログラムの終了には Ctrl-C ではなく ESC を使ってください\n";

size_t countOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// Ctrl-C is answered with the advice to press ESC only where ESC can be
// read: while a search polls the keys of a terminal, not while a question
// has the terminal, nor when standard input is not a terminal at all.
TEST(Interruption, CtrlCAdvisesEscOnlyWhereEscCanBeRead) {
    {
        ProblemFile file(RawText{longSearchProblem()});
        // The terminal echoes a Ctrl-C typed in line mode as "^C".
        const RunResult run = runOnTerminal(runOf(file), {
                                                             {DIAGRAM_END, "\x03", KEY},
                                                             {CTRL_C_ADVICE, "\x1b", KEY},
                                                             {STOP_QUESTION, "\x03", ANSWER},
                                                             {"^C", "y\n", ANSWER},
                                                             {SAVE_QUESTION, "n\n", ANSWER},
                                                             {KEY_WAIT, "x", KEY},
                                                         });
        ASSERT_EQ(run.exitCode, 0) << shown(run.console);
        EXPECT_EQ(countOf(run.console, CTRL_C_ADVICE), 1u) << shown(run.console);
    }
    {
        ProblemFile file(RawText{readFile(sourcePath("problems/example.kif"))});
        Command command = runOf(file);
        command.inputFromPipe = true;
        TerminalSession session(command);
        ASSERT_TRUE(session.started());
        session.type("n\n");  // the composer's line is not followed
        ASSERT_NE(session.waitForText(KEY_WAIT, 0, 120), std::string::npos) << shown(session.text());
        session.interrupt();
        session.type("\n");
        EXPECT_EQ(session.finish(60), 0);
        EXPECT_EQ(session.text().find(CTRL_C_ADVICE), std::string::npos) << shown(session.text());
    }
}

}  // namespace
