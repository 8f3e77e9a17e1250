#include "driver/table_setup.h"

#include "base/console.h"
#include "search/position_table.h"

int32_t tableMegabytes(const ProblemHeader& header) {
    if (header.memoryMB == 0) return DEFAULT_TABLE_MB;
    return header.memoryMB < SMALLEST_TABLE_MB ? SMALLEST_TABLE_MB : header.memoryMB;
}

namespace {

// Half of what the machine has free, in whole steps of 20 MB, at least 20.
int32_t defaultThatFits(int64_t availableMB) {
    const int64_t half = availableMB / 2 / SMALLEST_TABLE_MB * SMALLEST_TABLE_MB;
    return int32_t(half < SMALLEST_TABLE_MB ? SMALLEST_TABLE_MB : half);
}

}  // namespace

bool setUpTableForRun(const ProblemHeader& header) {
    int32_t mb = tableMegabytes(header);
    std::ostream& out = consoleOut();
    const int64_t available = availableMemoryMB();
    if (header.memoryMB == 0 && available >= 0 && available / 2 < mb) {
        mb = defaultThatFits(available);
        out << "使用可能なメモリが少ないため、局面表を" << mb << "MBにします" << std::endl;
    }
    if (available >= 0 && available < mb) {
        out << "指定のメモリサイズが実際に使える値より大きくなっています" << std::endl;
        out << "指定：" << mb << "MB, 使用可能：" << available << "MB" << std::endl;
        return false;
    }
    if (!allocatePositionTable(tableCapacityForMemory(mb))) {
        out << "領域確保失敗" << std::endl;
        return false;
    }
    positionTable.notices = &out;
    positionTable.detailedNotices = header.detailedMonitor;
    positionTable.dumpStores = header.hashMonitor;
    return true;
}
