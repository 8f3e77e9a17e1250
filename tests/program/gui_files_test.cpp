// Problem files as shogi GUIs export them, run as a user runs them.
#include <gtest/gtest.h>

#include "harness.h"

namespace {

using namespace harness;

// The console from the rule line up to the times at the end.
std::string fromRuleLineToTimes(const std::string& console) {
    const size_t start = console.find("最善詰 ");
    const size_t end = console.find("所要時間：");
    if (start == std::string::npos || end == std::string::npos || end < start) return "";
    return console.substr(start, end - start);
}

// A GUI's KIF (CP932) and KIFU (UTF-8) of a corpus problem, with no "手数："
// line, give the corpus file's solution and findings.
TEST(GuiFiles, KifAndKifuExportsSolveAsTheCorpusFileOfTheirProblem) {
    const ProblemFile corpus(RawText{readFile(sourcePath("problems/corpus/kif/m001.kif"))});
    const RunResult expected = corpus.run();
    ASSERT_EQ(expected.exitCode, 0) << expected.console;
    ASSERT_NE(fromRuleLineToTimes(expected.console).find("まで 11手"), std::string::npos) << expected.console;
    std::string reports[2];
    for (const char* name : {"gui_export.kif", "gui_export.kifu"}) {
        const ProblemFile file(RawText{readFile(fixturePath(name))}, name);
        const RunResult run = file.run();
        EXPECT_EQ(run.exitCode, 0) << name;
        EXPECT_NE(run.console.find("手数：指し手の数から 11手\n最善詰 11手\n"), std::string::npos) << run.console;
        EXPECT_EQ(fromRuleLineToTimes(run.console), fromRuleLineToTimes(expected.console)) << name;
        reports[reports[0].empty() ? 0 : 1] = file.report();
        if (reports[1].empty()) continue;
        // The KIFU's report is the KIF's in UTF-8; a second run converts
        // only what it appends.
        ASSERT_NE(fromRuleLineToTimes(reports[0]), "");
        EXPECT_EQ(fromRuleLineToTimes(utf8ToCp932(reports[1])), fromRuleLineToTimes(reports[0]));
        EXPECT_EQ(file.run().exitCode, 0);
        const std::string twice = file.report();
        EXPECT_EQ(twice.substr(0, reports[1].size()), reports[1]);
        EXPECT_EQ(fromRuleLineToTimes(utf8ToCp932(twice.substr(reports[1].size()))), fromRuleLineToTimes(reports[0]));
    }
}

}  // namespace
