// The program as a user runs it: build/kelvaro on a problem file, with
// standard input at its end.
#include <gtest/gtest.h>

#include "harness.h"

namespace {

using namespace harness;

void replaceFirst(std::string& text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
}

// The console as the program writes it in the locale: these tests are about
// its encoding.
RunResult runKelvaro(const std::vector<std::string>& arguments, const std::string& locale,
                     const std::string& input = "") {
    Command command;
    command.arguments = arguments;
    command.locale = locale;
    command.input = input;
    return runProgram(command);
}

// The program goes on from the diagram to solve the problem and appends a
// report beside the file it reads. The runs here work on a copy in a
// directory of their own, and the golden problem is stated with a move
// count the solver refuses at once (it would search for minutes), so these
// runs end with the refusal's exit code 1.
std::string problemText(const std::string& source, bool refusedMoveCount = false) {
    std::string text = readFile(source);
    if (refusedMoveCount) replaceFirst(text, "手数：7", "手数：3000");
    return text;
}

RawText goldenProblem() { return {problemText(fixturePath("golden problem.kif"), true)}; }

// What the program prints up to its diagram (UTF-8).
std::string golden() {
    std::string text = readFile(fixturePath("golden problem.expected"));
    replaceFirst(text, " 7\xe6\x89\x8b", " 3000\xe6\x89\x8b");  // " 7手" in UTF-8
    return text;
}

bool startsWith(const std::string& text, const std::string& head) { return text.compare(0, head.size(), head) == 0; }

TEST(Program, PrintsCaptionRuleLineAndDiagramInUtf8) {
    const ProblemFile copy(goldenProblem(), "golden problem.kif");
    const RunResult run = runKelvaro({copy.path()}, "C.UTF-8");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(startsWith(run.console, golden())) << run.console;
}

TEST(Program, WritesRawCp932InAnotherLocale) {
    const ProblemFile copy(goldenProblem(), "golden problem.kif");
    const RunResult run = runKelvaro({copy.path()}, "C");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(startsWith(run.console, utf8ToCp932(golden())));
}

TEST(Program, AsksForTheFileNameAndTakesTheWholeLine) {
    const ProblemFile copy(goldenProblem(), "golden problem.kif");
    const RunResult run = runKelvaro({}, "C.UTF-8", copy.path() + "\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(startsWith(run.console, "\xe5\x85\xa5\xe5\x8a\x9b\xe3\x83\x95\xe3\x82\xa1\xe3\x82\xa4\xe3\x83\xab\xe5\x90\x8d"
                                       "\xef\xbc\x9a" + golden()))  // 入力ファイル名：
        << run.console;
}

TEST(Program, ExampleProblemIsShown) {
    const ProblemFile copy(RawText{problemText(sourcePath("problems/example.kif"))}, "example.kif");
    const RunResult run = runKelvaro({copy.path()}, "C");
    EXPECT_EQ(run.exitCode, 0);
    const std::string head = "yumei 0295\n\n最善詰 11手\n持駒：飛2 角 金4 銀4 桂4 歩9 \n";
    EXPECT_EQ(run.console.substr(0, head.size()), head);
}

struct Refusal {
    const char* fixture;  // empty: no argument, and the name prompt gets end of input
    std::string message;
};

// Each refusal: its message on the console, the key wait, exit code 1.
TEST(Program, RefusalsEndWithExitCodeOne) {
    const Refusal refusals[] = {
        {"no such file.kif", "エラー：ファイルを開けませんでした。Enterキーを押して終了してください\n"},
        {"", "エラー：ファイルを開けませんでした。Enterキーを押して終了してください\n"},
        {"bad_hand_count.kif", "持駒数の指定が誤っています：十十\n" + KEY_WAIT},
        {"short_row.kif", "盤面図の五段目が短すぎます（９マス分の駒が読めません）\n" + KEY_WAIT},
        {"truncated_diagram.kif", "盤面図が途中で終わっています（四段目がありません）\n" + KEY_WAIT},
        {"unknown_glyph.kif", "盤面図の７五の駒「成」が読めません\n" + KEY_WAIT},
        {"binary.kif", "エラー：テキストファイルではありません（4行目に制御文字があります）\n" + KEY_WAIT},
        {"memory_too_large.kif",
         "メモリサイズの指定が正しくありません：メモリ 3000000000MB（整数でMBまたはGBを付けて指定してください）\n" + KEY_WAIT},
        {"memory_not_integer.kif",
         "メモリサイズの指定が正しくありません：メモリ：500MB（整数でMBまたはGBを付けて指定してください）\n" + KEY_WAIT},
        {"no_defender_king.kif", "受方玉がありません\n図が正しいかどうかチェックしてください\n" + KEY_WAIT},
    };
    for (const Refusal& r : refusals) {
        std::vector<std::string> args;
        if (*r.fixture) args.push_back(fixturePath(r.fixture));
        const RunResult run = runKelvaro(args, "C");
        EXPECT_EQ(run.exitCode, 1) << r.fixture;
        ASSERT_GE(run.console.size(), r.message.size()) << r.fixture << ": " << run.console;
        EXPECT_EQ(run.console.substr(run.console.size() - r.message.size()), r.message) << r.fixture;
    }
}

// Shown as written, not as what is left of it in 16 bits, and refused.
TEST(Program, MoveCountBeyondSixteenBitsIsShownAsWrittenAndRefused) {
    const ProblemFile copy(RawText{problemText(fixturePath("move_count_overflow.kif"))}, "move_count_overflow.kif");
    const RunResult run = runKelvaro({copy.path()}, "C");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.console.find("最善詰 65539手\n"), std::string::npos) << run.console;
    EXPECT_NE(run.console.find("手数は1手以上、2999手以内を指定してください\n"), std::string::npos) << run.console;
}

}  // namespace

namespace {

// Options are answered, not opened as problem files.
TEST(Program, HelpAndVersionAreAnsweredAndAnUnknownOptionIsRefusedWithTheUsage) {
    const RunResult help = runKelvaro({"--help"}, "C");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(startsWith(help.console, "使い方：kelvaro [問題ファイル]\n")) << help.console;
    EXPECT_NE(help.console.find("ESC  中断"), std::string::npos);
    const RunResult shortHelp = runKelvaro({"-h"}, "C");
    EXPECT_EQ(shortHelp.exitCode, 0);
    EXPECT_EQ(shortHelp.console, help.console);
    const RunResult version = runKelvaro({"--version"}, "C");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.console, "Kelvaro 1.07\n");
    const RunResult unknown = runKelvaro({"--hlep"}, "C");
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_EQ(unknown.console, "エラー：知らないオプションです：--hlep\n\n" + help.console);
}

}  // namespace
