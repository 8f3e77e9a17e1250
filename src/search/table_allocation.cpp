// Creation of the position table.
//
// The table may take most of the machine's memory. It is mapped anonymously
// and every page is committed while the fresh state is written (every entry
// carries loopPly 0x7FFF, so no page stays untouched anyway). A request the
// machine cannot meet is refused up front against MemAvailable, and the
// commit is asked for with MADV_POPULATE_WRITE where the kernel has it, so
// that a shortfall shows at creation time rather than hours into a search.
#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>

#include "search/position_table.h"

namespace {

size_t mappedBytes(uint64_t capacity) { return size_t(capacity + 1) * sizeof(TableEntry); }

bool commitPages(void* start, size_t bytes) {
    // Huge pages spare the TLB on a table that is probed at random.
    madvise(start, bytes, MADV_HUGEPAGE);
#ifdef MADV_POPULATE_WRITE
    if (madvise(start, bytes, MADV_POPULATE_WRITE) != 0 && errno != EINVAL) return false;
#endif
    return true;
}

void writeFreshState(TableEntry* entries, uint64_t count) {
    const TableEntry fresh{0, 0, 0, 0, 0, NO_PLY, 0, 0};
    for (uint64_t i = 0; i < count; ++i) entries[i] = fresh;
}

}  // namespace

uint64_t tableCapacityForMemory(int32_t memoryMB) {
    const int64_t mb = memoryMB < 20 ? 20 : memoryMB;
    return uint64_t(mb / 20) * ENTRIES_PER_20MB - 1;
}

int64_t availableMemoryMB() {
    std::ifstream meminfo("/proc/meminfo");
    std::string name, unit;
    int64_t kilobytes;
    while (meminfo >> name >> kilobytes) {
        std::getline(meminfo, unit);
        if (name == "MemAvailable:") return kilobytes / 1024;
    }
    return -1;
}

bool allocatePositionTable(uint64_t capacity) {
    releasePositionTable();
    if (capacity == 0 || capacity >= std::numeric_limits<size_t>::max() / sizeof(TableEntry) - 1)
        return false;
    const size_t bytes = mappedBytes(capacity);
    const int64_t available = availableMemoryMB();
    if (available >= 0 && bytes > uint64_t(available) * 1048576) return false;

    void* start = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (start == MAP_FAILED) return false;
    if (!commitPages(start, bytes)) {
        munmap(start, bytes);
        return false;
    }

    PositionTable& t = positionTable;
    t.entries = static_cast<TableEntry*>(start);
    t.capacity = capacity;
    writeFreshState(t.entries, capacity + 1);
    t.fillRatioLimit = 0.8;
    t.reclaimThreshold = uint64_t(double(capacity) * t.fillRatioLimit);
    t.generation = 1;
    t.previousGeneration = 0;
    t.touchCount = 0;
    t.generationLength = capacity / 15;
    t.maxProbesUnresolved = t.maxProbesProof = t.maxProbesDisproof = 0;
    t.verificationDepth = 0x7FFF;
    t.verificationPly = 0;
    t.usedAfterSweep = 0;
    t.loopKeyFilter.assign(size_t(1) << (LOOP_FILTER_BITS_LOG2 - 6), 0);
    t.loopSlots.clear();
    t.loopSlotsOverflowed = false;
    // About a line per 32 entries (eight filter bits and two counts each;
    // the power of two at or below), at most 16 MB of them: beside a table
    // of gigabytes the child lists of a search path a thousand plies and
    // more deep need their own megabytes (some 10 KB a ply), and the whole
    // must stay within the table and 64 MB.
    t.keyLineBitsLog2 = std::clamp(63 - __builtin_clzll(capacity + 1) - 5, 0, 18);
    t.keyLines.assign(size_t(1) << t.keyLineBitsLog2, KeyLine{});
    // Every entry is empty, so the scan the count asks for would find none.
    t.usedCount = 0;
    t.peakUsed = 0;
    return true;
}

void releasePositionTable() {
    PositionTable& t = positionTable;
    if (t.entries) munmap(t.entries, mappedBytes(t.capacity));
    t.entries = nullptr;
    t.capacity = 0;
    t.usedCount = t.peakUsed = 0;
    t.reclaimThreshold = t.generationLength = t.touchCount = 0;
    t.loopKeyFilter.clear();
    t.loopSlots.clear();
    t.loopSlotsOverflowed = false;
    t.keyLines.clear();
    t.keyLineBitsLog2 = 0;
}

void rebuildKeyFilters() {
    PositionTable& t = positionTable;
    std::fill(t.keyLines.begin(), t.keyLines.end(), KeyLine{});
    std::fill(t.loopKeyFilter.begin(), t.loopKeyFilter.end(), 0);
    t.loopSlots.clear();
    t.loopSlotsOverflowed = false;
    for (uint64_t i = 0; i < t.capacity; ++i) {
        const TableEntry& e = t.entries[i];
        if (!isEmpty(e)) countKeyChange(0, storedKeyBits(e));
        if (e.flags & Loop) {
            noteLoopKey(storedKeyBits(e));
            noteLoopSlot(i);
        }
    }
}

std::ostream& tableNotices() {
    // A stream without a buffer fails every write and so drops it.
    static std::ostream dropped(nullptr);
    return positionTable.notices ? *positionTable.notices : dropped;
}
