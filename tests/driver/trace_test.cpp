// The texts of the search trace, the console monitor, the statistics block
// and the keys that steer the monitor.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "console_capture.h"
#include "driver/trace.h"
#include "solve_support.h"
#include "position/moves.h"

namespace {

class Trace : public ::testing::Test {
protected:
    void SetUp() override {
        resetSolveState();
        ASSERT_TRUE(allocatePositionTable(1009));
        std::string error;
        ASSERT_TRUE(setUpFromSfen(root, "4k4/9/4P4/9/9/9/9/9/9 b G 1", error)) << error;
        makeChild(root, child, Move{0, uint8_t(makeSquare(5, 2)), uint8_t(ATTACKER | GOLD), 0});
        makeChild(child, grandchild, Move{uint8_t(makeSquare(5, 1)), uint8_t(makeSquare(5, 2)), uint8_t(DEFENDER | KING), 0});
        child.proofNumber = 3;
        child.disproofNumber = 4;
        child.proofThreshold = 9;
        child.disproofThreshold = LARGEST_FINITE;
        // ctest runs the tests of this fixture side by side: one file each.
        reportPath = ::testing::TempDir() + "kelvaro-trace-" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
        searchContext.reportStream.open(reportPath, std::ios::binary | std::ios::trunc);
    }
    void TearDown() override {
        searchContext.reportStream.close();
        std::remove(reportPath.c_str());
        releasePositionTable();
        resetSolveState();
    }

    std::string report() {
        searchContext.reportStream.flush();
        std::ifstream in(reportPath, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    Position root{}, child{}, grandchild{};
    std::string reportPath;
};

}  // namespace

TEST_F(Trace, EntryAndReturnLinesInTheReport) {
    problem.traceOn = 1;
    traceNodeEntry(searchContext, root, child);
    child.previousProofNumber = 1;
    child.previousDisproofNumber = 2;
    traceNodeReturn(searchContext, root, child);
    EXPECT_EQ("\n探索中：1手目52金 (3, 4)→(9, 8388607)\n"
              "\n探索戻り：1手目52金 (3, 4)←(1, 2)\n",
              report());
}

TEST_F(Trace, TheReportTraceStopsAtTheMonitorDepth) {
    problem.traceOn = 1;
    problem.monitorDepth = 1;
    traceNodeEntry(searchContext, root, child);        // node at ply 0: shown
    traceNodeEntry(searchContext, child, grandchild);  // node at ply 1: not
    traceNodeReturn(searchContext, child, grandchild);  // child at ply 2: not
    traceNodeReturn(searchContext, root, child);        // child at ply 1: shown
    const std::string text = report();
    EXPECT_EQ(std::string::npos, text.find("2手目")) << text;
    EXPECT_NE(std::string::npos, text.find("探索中：1手目")) << text;
    EXPECT_NE(std::string::npos, text.find("探索戻り：1手目")) << text;
}

TEST_F(Trace, TheMonitorShowsTwoPliesBelowTheRootOfTheSearch) {
    problem.monitorOn = 1;
    problem.monitorDepth = 2;
    Position great{};
    makeChild(grandchild, great, Move{0, uint8_t(makeSquare(5, 3)), uint8_t(ATTACKER | GOLD), 0});
    RedirectedConsole console("");
    traceNodeEntry(searchContext, root, child);
    traceNodeEntry(searchContext, child, grandchild);
    traceNodeEntry(searchContext, grandchild, great);  // node at ply 2: beyond
    traceNodeReturn(searchContext, grandchild, great);  // child at ply 3: beyond
    traceNodeReturn(searchContext, child, grandchild);
    // Nothing goes to the report without the trace switch.
    const std::string shown = console.restore();
    EXPECT_EQ("\n探索中：1手目52金 (3, 4)→(9, 8388607)\n"
              "\n探索中：2手目同玉 (1, 1)→(8388607, 8388607)\n"
              "\n探索戻り：2手目同玉 (1, 1)←(1, 1)\n",
              shown);
    EXPECT_EQ("", report());

    // With the search rooted one ply lower the window moves with it.
    searchContext.rootPly = 1;
    RedirectedConsole lower("");
    traceNodeEntry(searchContext, root, child);
    traceNodeEntry(searchContext, grandchild, great);
    EXPECT_EQ(2u, [](const std::string& t) {
        size_t n = 0;
        for (size_t at = t.find("探索中："); at != std::string::npos; at = t.find("探索中：", at + 1)) ++n;
        return n;
    }(lower.restore()));
}

TEST_F(Trace, LaterPhasesAndTheDetailedMonitor) {
    problem.monitorOn = 1;
    problem.detailedMonitor = 1;
    searchContext.phase = PHASE_SHORTER_MATE;
    child.visitCount = int16_t(0xFFFF);
    child.openTreeSize = 5;
    child.treeSize = 1u << 20;
    RedirectedConsole console("");
    traceNodeEntry(searchContext, root, child);
    traceNodeReturn(searchContext, root, child);
    child.openTreeSize = 0;
    traceNodeReturn(searchContext, root, child);
    EXPECT_EQ("\n*探索中：1手目52金 (3, 4)→(9, 8388607) 探訪:65535\n"
              "\n*探索戻り：1手目52金 (3, 4)←(1, 1) 探索Lv:2/20\n"
              "\n*探索戻り：1手目52金 (3, 4)←(1, 1) 探索Lv:0/20\n",
              console.restore());
}

TEST_F(Trace, StatisticsBlock) {
    Position searched{};
    searched.treeSize = 1000;
    searchContext.maxProofNumber = 17;
    searchContext.maxDisproofNumber = 8388607;
    RedirectedConsole console("");
    printSearchStatistics(searchContext, searched);
    searched.treeSize = 0;
    printSearchStatistics(searchContext, searched);
    EXPECT_EQ("\n探索木サイズ：1000, 探索レベル：9\n証明数最大値：17, 反証数最大値：8388607\n\n"
              "\n探索木サイズ：0, 探索レベル：0\n証明数最大値：17, 反証数最大値：8388607\n\n",
              console.restore());
}

TEST_F(Trace, MonitorKeys) {
    monitorDepthLimit = 3;
    problem.monitorDepth = 2;
    RedirectedConsole console("");
    handleKey('m');  // on at depth 2
    handleKey('M');  // off
    handleKey('+');  // 3, on
    handleKey('+');  // the limit: nothing
    handleKey('-');  // 2
    handleKey('-');  // 1
    handleKey('-');  // off, the depth stays 1
    EXPECT_EQ(1, problem.monitorDepth.load());
    EXPECT_EQ(0, problem.monitorOn.load());
    handleKey('+');  // on at 2
    EXPECT_EQ(1, problem.monitorOn.load());
    handleKey('x');
    printKeyboardNotices();
    EXPECT_EQ("モニタ開始：2手\nモニタ停止\nモニタ深度：3手\nモニタ深度：2手\nモニタ深度：1手\nモニタ停止\n"
              "モニタ深度：2手\n",
              console.restore());
    handleKey('d');
    EXPECT_EQ(1, progressRequested.load());
    handleKey(27);
    EXPECT_EQ(1, escPressed.load());
}

TEST_F(Trace, ANegativeDepthSearchesNothing) {
    const uint64_t before = searchContext.nodeCount;
    root.proofNumber = 5;
    invokeSearch(searchContext, root, -1);
    EXPECT_EQ(before, searchContext.nodeCount);
    EXPECT_EQ(5, root.proofNumber);
    EXPECT_EQ(0, keyboardThreadRunning.load());
}
