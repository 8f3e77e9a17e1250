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
    for (const char* name : {"gui_export.kif", "gui_export.kifu"}) {
        const ProblemFile file(RawText{readFile(fixturePath(name))}, name);
        const RunResult run = file.run();
        EXPECT_EQ(run.exitCode, 0) << name;
        EXPECT_NE(run.console.find("手数：指し手の数から 11手\n最善詰 11手\n"), std::string::npos) << run.console;
        EXPECT_EQ(fromRuleLineToTimes(run.console), fromRuleLineToTimes(expected.console)) << name;
    }
}

}  // namespace
