// The program as a user runs it: build/kelvaro on a problem file, with
// standard input at its end.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>

#include "support.h"

namespace {

const std::string KEY_WAIT = "何かキーを押してください...";

void replaceFirst(std::string& text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
}

// The program goes on from the diagram to solve the problem and appends a
// report beside the file it reads. The runs here work on a copy in a
// directory of their own, and the golden problem is stated with a move
// count the solver refuses at once (it would search for minutes).
struct ProblemCopy {
    std::string dir;
    std::string path;
    ProblemCopy(const std::string& source, const std::string& name, bool refusedMoveCount = false) {
        char pattern[] = "/tmp/kelvaro-program-XXXXXX";
        dir = mkdtemp(pattern) ? pattern : "/tmp";
        path = dir + "/" + name;
        std::string text = readFile(source);
        if (refusedMoveCount) replaceFirst(text, "手数：7", "手数：3000");
        std::ofstream(path, std::ios::binary) << text;
    }
    ~ProblemCopy() {
        std::remove(path.c_str());
        std::remove((path + ".txt").c_str());
        rmdir(dir.c_str());
    }
};

ProblemCopy goldenCopy() { return ProblemCopy(fixturePath("golden problem.kif"), "golden problem.kif", true); }

// What the program prints up to its diagram (UTF-8).
std::string golden() {
    std::string text = readFile(fixturePath("golden problem.expected"));
    replaceFirst(text, " 7\xe6\x89\x8b", " 3000\xe6\x89\x8b");  // " 7手" in UTF-8
    return text;
}

bool startsWith(const std::string& text, const std::string& head) { return text.compare(0, head.size(), head) == 0; }

TEST(Program, PrintsCaptionRuleLineAndDiagramInUtf8) {
    const ProblemCopy copy = goldenCopy();
    ProgramRun run = runKelvaro({copy.path}, "C.UTF-8");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(startsWith(run.output, golden())) << run.output;
}

TEST(Program, WritesRawCp932InAnotherLocale) {
    const ProblemCopy copy = goldenCopy();
    ProgramRun run = runKelvaro({copy.path}, "C");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(startsWith(run.output, utf8ToCp932(golden())));
}

TEST(Program, AsksForTheFileNameAndTakesTheWholeLine) {
    const ProblemCopy copy = goldenCopy();
    ProgramRun run = runKelvaro({}, "C.UTF-8", copy.path + "\n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(startsWith(run.output, "\xe5\x85\xa5\xe5\x8a\x9b\xe3\x83\x95\xe3\x82\xa1\xe3\x82\xa4\xe3\x83\xab\xe5\x90\x8d"
                                       "\xef\xbc\x9a" + golden()))  // 入力ファイル名：
        << run.output;
}

TEST(Program, ExampleProblemIsShown) {
    const ProblemCopy copy(std::string(KELVARO_SOURCE_DIR) + "/problems/example.kif", "example.kif");
    ProgramRun run = runKelvaro({copy.path}, "C");
    EXPECT_EQ(run.exitCode, 0);
    const std::string head = "yumei 0295\n\n最善詰 11手\n持駒：飛2 角 金4 銀4 桂4 歩9 \n";
    EXPECT_EQ(run.output.substr(0, head.size()), head);
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
        ProgramRun run = runKelvaro(args, "C");
        EXPECT_EQ(run.exitCode, 1) << r.fixture;
        ASSERT_GE(run.output.size(), r.message.size()) << r.fixture << ": " << run.output;
        EXPECT_EQ(run.output.substr(run.output.size() - r.message.size()), r.message) << r.fixture;
    }
}

TEST(Program, MoveCountBeyondSixteenBitsIsShownOutOfRange) {
    const ProblemCopy copy(fixturePath("move_count_overflow.kif"), "move_count_overflow.kif");
    ProgramRun run = runKelvaro({copy.path}, "C");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.output.find("最善詰 -1手\n"), std::string::npos) << run.output;
}

}  // namespace
