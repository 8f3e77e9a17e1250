#include "driver/table_setup.h"

#include "base/console.h"
#include "search/position_table.h"

bool setUpTableForRun(const ProblemHeader& header) {
    const int32_t mb = header.memoryMB < 20 ? 20 : header.memoryMB;
    std::ostream& out = consoleOut();
    const int64_t available = availableMemoryMB();
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
