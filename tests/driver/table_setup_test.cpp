#include <gtest/gtest.h>

#include <climits>

#include "driver/table_setup.h"
#include "search/position_table.h"

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

TEST(TableSetUp, RefusesMoreMemoryThanTheMachineHasAndSaysHowMuchItHas) {
    ProblemHeader header;
    header.memoryMB = INT_MAX;
    CaptureStdout();
    EXPECT_FALSE(setUpTableForRun(header));
    const std::string out = GetCapturedStdout();
    EXPECT_EQ(out.rfind("指定のメモリサイズが実際に使える値より大きくなっています\n指定：2147483647MB, 使用可能：", 0), 0u)
        << out;
    EXPECT_EQ(positionTable.entries, nullptr);
}
