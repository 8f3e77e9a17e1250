// Verification as a user meets it: build/kelvaro solves a small problem
// file and checks its solution; the console and the report file are read
// back. The positions are those of verify_test.cpp, where the analysis of
// each is written out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"

namespace {

using namespace harness;

const char* const RANK_NAMES[9] = {"一", "二", "三", "四", "五", "六", "七", "八", "九"};

struct Outcome {
    int exitCode = -1;
    std::string console;  // CP932, the program runs in the C locale
    std::string report;
};

// Writes the problem (string literals here are CP932 already) to a file of
// its own and runs the program on it with the given standard input.
Outcome solveProblem(const std::string& name, const std::string& problemText, const std::string& input = "") {
    const ProblemFile file(RawText{problemText}, name + ".kif");
    Command command;
    command.arguments = {file.path()};
    command.locale = "C";
    command.input = input;
    const RunResult run = runProgram(command);
    return {run.exitCode, run.console, file.report()};
}

// A problem file: header lines, the defender without pieces in hand, the
// diagram (the ranks not given are empty), the attacker's hand and the
// composer's moves if any.
std::string problem(const std::string& header, const std::vector<std::pair<int, std::string>>& ranks,
                    const std::string& attackerHand, const std::string& moves = "") {
    std::string text = header + "後手の持駒：なし\n  ９ ８ ７ ６ ５ ４ ３ ２ １\n+---------------------------+\n";
    for (int rank = 1; rank <= 9; ++rank) {
        std::string row = " ・ ・ ・ ・ ・ ・ ・ ・ ・";
        for (const auto& [r, cells] : ranks)
            if (r == rank) row = cells;
        text += "|" + row + "|" + RANK_NAMES[rank - 1] + "\n";
    }
    text += "+---------------------------+\n先手の持駒：" + attackerHand + "\n";
    if (!moves.empty()) text += "手数----指手---------消費時間--\n" + moves;
    return text;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The findings of the report: the lines after the diagram's last hand line
// and before the solution.
std::string findings(const std::string& report) {
    const size_t afterDiagram = report.find('\n', report.rfind("持駒：")) + 1;
    const size_t solutionEnd = report.find("まで ", afterDiagram);
    if (afterDiagram == 0 || solutionEnd == std::string::npos) return report;
    // The solution block starts with an empty line.
    const size_t solutionStart = report.rfind("\n\n", solutionEnd);
    return report.substr(afterDiagram, solutionStart + 1 - afterDiagram);
}

// The king boxed on 11 by its own bishop 21 and knight 12; 66角 is the one
// check and it mates.
TEST(VerificationRun, NodeWithOneLegalMoveIsNotExamined) {
    const Outcome run = solveProblem(
        "verify_one_move",
        problem("手数：1\n", {{1, " ・ ・ ・ ・ ・ ・ ・v角v玉"}, {2, " ・ ・ ・ ・ ・ ・ ・ ・v桂"}, {5, " ・ ・ 角 ・ ・ ・ ・ ・ ・"}},
                "なし"));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(contains(run.console, "\n1手目66角 \t：終了\n\n66角 まで 1手\n")) << run.console;
    EXPECT_EQ(findings(run.report), "") << run.report;
}

// 1.21歩成: the king takes (同玉) or steps to 12, each mated at once; the
// solution shows the board move found last, 12玉.
TEST(VerificationRun, LastDefenceReportsTheOtherDefenceAsNotUnique) {
    const Outcome run = solveProblem(
        "verify_last_defence",
        problem("手数：3\n", {{1, " ・ ・ ・ ・ ・ ・ 角 ・v玉"}, {2, " ・ ・ ・ ・ ・ ・ 歩 歩 ・"}}, "金"));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(contains(run.console, "2手目12玉 \t：同玉 \n非限定：2手目 同玉 \n\t\t　終了\n")) << run.console;
    EXPECT_EQ(findings(run.report), "\n非限定：2手目 同玉 \n") << run.report;
    EXPECT_TRUE(contains(run.report, "21歩成 12玉 22角成 まで 3手"));
}

// The boxed king again: 33角成 and 33角生 both mate (the bishop covers 22),
// and so does 23桂 (the rook 92 covers 22); the solution takes the first,
// 33角成.
const std::vector<std::pair<int, std::string>> TWIN_MATES = {{1, " ・ ・ ・ ・ 角 ・ ・v角v玉"},
                                                             {2, " 飛 ・ ・ ・ ・ ・ ・ ・v桂"}};

TEST(VerificationRun, OtherMatesAreNotUniqueWithoutTheCookCheck) {
    const Outcome run = solveProblem("verify_no_cook_check", problem("手数：1\n", TWIN_MATES, "桂"));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(findings(run.report), "\n非限定：1手目 33角生 \n\n非限定：1手目 23桂 \n") << run.report;
}

TEST(VerificationRun, UnderTheCookCheckTheOtherMateIsACookAndThePromotionTwinNotUnique) {
    const Outcome run = solveProblem("verify_cook_check", problem("手数：1\n備考：余詰検討\n", TWIN_MATES, "桂"));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(findings(run.report), "\n非限定：1手目 33角生 \n\n余詰：1手目 23桂 \n") << run.report;
    // The finding interrupts the list, which goes on indented.
    EXPECT_TRUE(contains(run.console, "1手目33角成 \t：33角生 \n非限定：1手目 33角生 \n\t\t　22飛成 12飛成 12飛生 23桂 \n"
                                      "余詰：1手目 23桂 \n\t\t　終了\n"))
        << run.console;
}

// Thirteen checks, only 12金 mates: the list of the other twelve ends its
// line after the one that takes it past 53 columns.
TEST(VerificationRun, ListOfAlternativesBreaksAfter53Columns) {
    const Outcome run = solveProblem(
        "verify_width",
        problem("手数：1\n", {{1, " ・ ・ ・ ・ ・ ・ ・ 角v玉"}, {3, " ・ ・ ・ ・ 金 ・ ・ ・ ・"}}, "角　金三　銀"));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(contains(run.console, "1手目12金 \t：12角成 22角 33角 44角 55角 66角 77角 88角 99角 22金 12銀 \n"
                                      "\t\t　22銀 終了\n"))
        << run.console;
    EXPECT_EQ(findings(run.report), "");
}

// The composer answers 33角成 with 21玉, which 22金 mates at once; 12玉
// lasts the full five moves (22金 13玉 23馬). Followed, the composer's line
// becomes the provisional solution (its defence is recorded as long as the
// other), and the check corrects it.
TEST(VerificationRun, ComposersDefenceThatLosesFasterIsCorrected) {
    const std::string moves = "   1 ３三角成(42)\n   2 ２一玉(11)\n   3 ３二金打\n   4 １二玉(21)\n   5 ２二馬(33)\n";
    const Outcome run = solveProblem(
        "verify_correction",
        problem("手数：5\n", {{1, " ・ ・ ・ ・ ・ ・ ・ ・v玉"}, {2, " ・ ・ ・ ・ ・ 角 ・ ・ ・"}, {4, " ・ ・ ・ ・ 桂 ・ ・ ・ ・"}},
                "金", moves),
        "Y\n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(contains(run.console, "2手目21玉 \t：変別検出！ 代替手を探しています...手順修正\n2手目12玉 \t：21玉 終了\n"))
        << run.console;
    EXPECT_TRUE(contains(run.report, "\n33角成 12玉 22金 13玉 23馬 まで 5手\n")) << run.report;
    // After 12玉, 23金 mates in three as well as 22金.
    EXPECT_EQ(findings(run.report), "\n非限定：3手目 23金 \n") << run.report;
}

}  // namespace
