// The program as a user runs it: build/kelvaro on a problem file, with
// standard input at its end.
#include <gtest/gtest.h>

#include "support.h"

namespace {

const std::string KEY_WAIT = "何かキーを押してください...";

std::string golden() { return readFile(fixturePath("golden problem.expected")); }

TEST(Program, PrintsCaptionRuleLineAndDiagramInUtf8) {
    ProgramRun run = runKelvaro({fixturePath("golden problem.kif")}, "C.UTF-8");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, golden());
}

TEST(Program, WritesRawCp932InAnotherLocale) {
    ProgramRun run = runKelvaro({fixturePath("golden problem.kif")}, "C");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, utf8ToCp932(golden()));
}

TEST(Program, AsksForTheFileNameAndTakesTheWholeLine) {
    ProgramRun run = runKelvaro({}, "C.UTF-8", fixturePath("golden problem.kif") + "\n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "\xe5\x85\xa5\xe5\x8a\x9b\xe3\x83\x95\xe3\x82\xa1\xe3\x82\xa4\xe3\x83\xab\xe5\x90\x8d"
                          "\xef\xbc\x9a" + golden());  // 入力ファイル名：
}

TEST(Program, ExampleProblemIsShown) {
    ProgramRun run = runKelvaro({std::string(KELVARO_SOURCE_DIR) + "/problems/example.kif"}, "C");
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
    ProgramRun run = runKelvaro({fixturePath("move_count_overflow.kif")}, "C");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.output.find("最善詰 -1手\n"), std::string::npos) << run.output;
}

}  // namespace
