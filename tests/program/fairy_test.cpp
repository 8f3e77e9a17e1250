// The fairy problems of problems/fairy/, run as a user runs them. Each file
// carries in its comment lines the hand analysis that fixes its answer; the
// expectations below are that answer, not a record of what the program once
// printed. Where it shows that the keyword matters, the same diagram is run
// again under another class (the class line swapped) and must give the plain
// answer instead.
#include <gtest/gtest.h>

#include "harness.h"

namespace {

using namespace harness;

std::string problemText(const std::string& name) {
    return readFile(std::string(KELVARO_SOURCE_DIR) + "/problems/fairy/" + name + ".kif");
}

// The problem's text with its class line replaced.
std::string withClass(const std::string& text, const std::string& from, const std::string& to) {
    const std::string key = "分類：";
    std::string out = text;
    const size_t at = out.find(key + from + "\r\n");
    if (at == std::string::npos) return "";
    out.replace(at + key.size(), from.size(), to);
    return out;
}

struct FairyCase {
    const char* name;      // file in problems/fairy/, without ".kif"
    const char* ruleLine;  // the first console line
    const char* answer;    // the solution as printed, or "" when there is none
};

void PrintTo(const FairyCase& c, std::ostream* os) { *os << c.name; }

const std::string NO_MATE = "\n詰みませんでした, 最大検討深度：{*}手\n";

// Runs a problem and checks the rule line, the final solution (the last
// block before the closing lines, on the console and in the report) and, for
// a solved problem, that no alternative was reported.
void expectAnswer(const std::string& text, const std::string& ruleLine, const std::string& answer) {
    ProblemFile file(RawText{text});
    const RunResult run = file.run();
    EXPECT_EQ(run.exitCode, 0);
    const std::string ending = answer.empty() ? NO_MATE : "\n" + answer + "\n";
    EXPECT_MATCH(run.console, ruleLine + "\n{*}" + ending + closingBlock() + KEY_WAIT);
    const std::string report = file.report();
    EXPECT_MATCH(report, ruleLine + "\n{*}" + ending + closingBlock());
    EXPECT_EQ(report.find("非限定："), std::string::npos) << shown(report);
    EXPECT_EQ(report.find("余詰："), std::string::npos) << shown(report);
}

class FairyProblem : public testing::TestWithParam<FairyCase> {};

TEST_P(FairyProblem, IsSolvedWithTheAnswerWorkedOutByHand) {
    const FairyCase& c = GetParam();
    const std::string text = problemText(c.name);
    ASSERT_FALSE(text.empty()) << c.name;
    expectAnswer(text, c.ruleLine, c.answer);
}

INSTANTIATE_TEST_SUITE_P(
    Goals, FairyProblem,
    testing::Values(FairyCase{"worst_mate", "最悪詰 2手", "12飛 23桂 まで 2手"},
                    FairyCase{"self_mate", "最善自玉詰 2手", "23桂 同金 まで 2手"},
                    FairyCase{"stalemate", "非王手可最善ステイルメイト 1手", "13歩 まで 1手"},
                    FairyCase{"win_by_stalemate", "最善勝 1手", "13歩 まで 1手"},
                    FairyCase{"win_by_quiet_mate", "最善勝 3手", "23王 21玉 22金 まで 3手"},
                    FairyCase{"repetition", "最善千日手 4手", "91飛生 12玉 92飛生 11玉 まで 4手"},
                    FairyCase{"repetition_defender_first", "受先最善千日手 4手",
                              "12玉 92飛生 11玉 91飛生 まで 4手"}),
    [](const testing::TestParamInfo<FairyCase>& c) { return std::string(c.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Restrictions, FairyProblem,
    testing::Values(FairyCase{"abstinent", "禁欲最善詰 1手", "12金 まで 1手"},
                    FairyCase{"greedy", "強欲最善詰 1手", "31龍 まで 1手"},
                    FairyCase{"attacker_maximummer", "攻方マキシ最善詰 1手", "31龍 まで 1手"},
                    FairyCase{"attacker_minimummer", "攻方ミニ最善詰 1手", "12金 まで 1手"},
                    FairyCase{"both_long_range", "双方長躯最善詰 1手", "31龍 まで 1手"},
                    FairyCase{"maximummer", "マキシ最善詰 3手", "12金 同飛 21金 まで 3手"},
                    FairyCase{"long_range", "長駆最善詰 3手", "12金 同飛 21金 まで 3手"}),
    [](const testing::TestParamInfo<FairyCase>& c) { return std::string(c.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Conditions, FairyProblem,
    testing::Values(FairyCase{"no_check_required", "非王手可最善詰 3手", "23王 21玉 22金 まで 3手"},
                    FairyCase{"pawn_drop_mate", "打歩最善詰 1手", "12歩 まで 1手"},
                    FairyCase{"hand_saving", "非王手可最善ステイルメイト 5手", ""}),
    [](const testing::TestParamInfo<FairyCase>& c) { return std::string(c.param.name); });

// The same diagrams without their keyword: the answers differ.

TEST(FairyControl, WithoutTheKeywordTheDiagramsGiveThePlainAnswers) {
    struct Control {
        const char* name;
        const char* from;
        const char* to;
        const char* ruleLine;
        const char* answer;
    };
    const Control controls[] = {
        {"worst_mate", "最悪詰", "最善詰", "最善詰 2手", ""},
        {"stalemate", "ステイルメイト", "最善詰", "最善詰 1手", ""},
        {"no_check_required", "非王手可", "最善詰", "最善詰 3手", ""},
        {"no_check_required", "非王手可", "ステイルメイト", "非王手可最善ステイルメイト 3手", ""},
        {"maximummer", "マキシ", "最善詰", "最善詰 3手", ""},
        {"repetition", "千日手", "受先千日手", "受先最善千日手 4手", ""},
    };
    for (const Control& c : controls) {
        SCOPED_TRACE(std::string(c.name) + " as " + c.to);
        const std::string text = withClass(problemText(c.name), c.from, c.to);
        ASSERT_FALSE(text.empty());
        expectAnswer(text, c.ruleLine, c.answer);
    }
}

// Under the plain rules the restriction diagram has two mates and the
// pawn-drop diagram mates by any lance drop; the restricted runs above show
// one answer each.
TEST(FairyControl, WithoutTheRestrictionTheAlternativeMatesAreReported) {
    {
        ProblemFile file(RawText{withClass(problemText("greedy"), "強欲", "最善詰")});
        ASSERT_EQ(file.run().exitCode, 0);
        EXPECT_MATCH(file.report(), "最善詰 1手\n{*}\n非限定：1手目 12金 {*}\n31龍 まで 1手\n" + closingBlock());
    }
    {
        ProblemFile file(RawText{withClass(problemText("pawn_drop_mate"), "打歩", "最善詰")});
        ASSERT_EQ(file.run().exitCode, 0);
        EXPECT_MATCH(file.report(), "最善詰 1手\n{*}\n非限定：1手目 13香 {*}\n非限定：1手目 19香 {*}\n12香 まで 1手\n" +
                                        closingBlock());
    }
}

// With the defender first the diagram of repetition_defender_first.kif is
// legal; with the attacker first its king in check is refused before any
// search.
TEST(FairyControl, RepetitionWithTheAttackerFirstRefusesACheckedKing) {
    ProblemFile file(RawText{withClass(problemText("repetition_defender_first"), "受先千日手", "千日手")});
    const RunResult run = file.run();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_MATCH(run.console, "最善千日手 4手\n{*}\n初形で既に王手が掛かっています\n{*}");
}

// The hand-saving rule cuts dominated repetitions: the same answer, with
// fewer positions searched.
TEST(FairyControl, HandSavingKeepsTheAnswerAndSavesWork) {
    auto positionsSearched = [](const std::string& text, std::string& console) {
        ProblemFile file(RawText{text});
        console = file.run().console;
        const std::string mark = "探索局面数：";
        const size_t at = console.rfind(mark);
        return at == std::string::npos ? -1L : std::atol(console.c_str() + at + mark.size());
    };
    const std::string with = problemText("hand_saving");
    std::string without = with;
    const std::string remark = "備考：持駒節約\r\n";
    ASSERT_NE(without.find(remark), std::string::npos);
    without.erase(without.find(remark), remark.size());
    std::string consoleWith, consoleWithout;
    const long nodesWith = positionsSearched(with, consoleWith);
    const long nodesWithout = positionsSearched(without, consoleWithout);
    EXPECT_MATCH(consoleWithout, "{*}" + NO_MATE + "{*}");
    EXPECT_GT(nodesWith, 0);
    EXPECT_LT(nodesWith, nodesWithout);
}

}  // namespace
