// The position table: one process-wide open-addressing hash table in which
// the search records proofs, disproofs and the numbers of unresolved
// positions. Only the search thread touches it.
//
// Invariants kept by every operation here:
//  - usedCount is the number of entries that are neither empty nor Free;
//  - only indices 0 .. capacity-1 are addressed (the array has one more);
//  - an entry's generation nibble is the table generation at its last touch;
//  - every key held by a slot has its filter bit set, and every count that
//    is not stuck says exactly how many slots hold keys of its hash (so a
//    write of a slot's key goes through copyInto or emptyEntry, and a table
//    filled any other way is recounted with rebuildKeyFilters);
//  - every key held by a slot with the Loop flag has its loop-filter bit set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "position/position.h"

struct SearchContext;

constexpr int16_t PLAIN_DISPROOF_LENGTH = 0x7FFF;
constexpr int STORE_PROBE_LIMIT = 100;

// Stored raw in the suspend file: the layout is part of the file format.
struct TableEntry {
    int32_t proofNumber;
    int32_t disproofNumber;
    uint32_t keyCheck;   // key bits 16..47
    uint16_t keyHigh;    // key bits 48..63
    int16_t length;      // meaning depends on the kind of entry
    int16_t loopPly;
    uint8_t level;       // floor(log2) of the subtree size when stored
    uint8_t flags;       // the bits below, generation in bits 4..7
};
static_assert(sizeof(TableEntry) == 20);
static_assert(offsetof(TableEntry, proofNumber) == 0);
static_assert(offsetof(TableEntry, disproofNumber) == 4);
static_assert(offsetof(TableEntry, keyCheck) == 8);
static_assert(offsetof(TableEntry, keyHigh) == 12);
static_assert(offsetof(TableEntry, length) == 14);
static_assert(offsetof(TableEntry, loopPly) == 16);
static_assert(offsetof(TableEntry, level) == 18);
static_assert(offsetof(TableEntry, flags) == 19);

constexpr uint8_t Free = 1, Protected = 2, Loop = 4, Referenced = 8;
constexpr uint8_t GENERATION_MASK = 0xF0;

// One cache line of what the table holds of the keys whose hash falls in
// it. A filter bit is set for every key written into a slot since the last
// recount: a clear bit spares a lookup the walk of the key's slots (most keys
// looked up are in no slot). A four-bit count, kept by every write of a
// slot's key (copyInto, emptyEntry), tells how many slots hold keys that
// share it; a walk that has met that many slots of its own key knows that
// no further slot holds it and stops, instead of running to the probe bound
// as it must in a crowded table. A count that reaches 15 sticks there until
// the next recount (after the table is filled from elsewhere, at every
// reclamation, and after a purge that emptied much of the table).
struct alignas(64) KeyLine {
    uint64_t written[4];  // 256 filter bits
    uint8_t counts[32];   // 64 four-bit counts
};
static_assert(sizeof(KeyLine) == 64);

struct PositionTable {
    TableEntry* entries = nullptr;
    uint64_t capacity = 0;
    uint64_t usedCount = 0;
    uint64_t peakUsed = 0;
    double fillRatioLimit = 0.8;
    uint64_t reclaimThreshold = 0;
    int32_t generation = 1;
    int32_t previousGeneration = 0;
    uint64_t touchCount = 0;
    uint64_t generationLength = 0;
    int32_t maxProbesUnresolved = 0;
    int32_t maxProbesProof = 0;
    int32_t maxProbesDisproof = 0;
    // Where the table's own notices go (a reclamation, with detailedNotices
    // its counts, and with dumpStores the probe walk of a store that examined
    // every slot); nowhere when null. The run's owner sets them; allocation
    // leaves them as they are.
    std::ostream* notices = nullptr;
    uint8_t detailedNotices = 0;
    uint8_t dumpStores = 0;
    // One bit per hash of the key bits of every entry given the Loop flag
    // since the filter was last rebuilt: a clear bit proves that no slot
    // holds a loop entry of such a key, which spares most lookups the walk
    // of the path key's slots. Bits are cleared only by a rebuild and by the
    // purge that empties every loop entry.
    std::vector<uint64_t> loopKeyFilter;
    // The slots given the Loop flag since loop entries were last purged, so
    // that the purge, which the verification runs at every step of the
    // attacker, visits them rather than the whole table. storeLoop adds to
    // it and rebuildKeyFilters refills it from the table; a list that would
    // outgrow LOOP_SLOT_LIST_LIMIT is dropped and the next purge scans.
    std::vector<uint64_t> loopSlots;
    bool loopSlotsOverflowed = false;
    // What the table holds of each key, by a hash of its key bits (see
    // KeyLine): sized with the table, two bytes per entry, at most 16 MB.
    std::vector<KeyLine> keyLines;
    int keyLineBitsLog2 = 0;
    // The used count the last sweep of the purge of unmarked entries left:
    // the purge sweeps again only once the table has grown well past it.
    uint64_t usedAfterSweep = 0;
    // The verification progress marker read by the purge of unmarked entries.
    int16_t verificationDepth = 0x7FFF;
    int16_t verificationPly = 0;
};

extern PositionTable positionTable;

// --- the key and the probe sequence ---

inline uint32_t keyCheckOf(uint64_t key) { return uint32_t(key >> 16); }
inline uint16_t keyHighOf(uint64_t key) { return uint16_t(key >> 48); }
// The 48 key bits an entry keeps.
inline uint64_t storedKeyBits(const TableEntry& e) { return uint64_t(e.keyHigh) << 32 | e.keyCheck; }
inline bool sameKey(const TableEntry& a, const TableEntry& b) {
    return a.keyCheck == b.keyCheck && a.keyHigh == b.keyHigh;
}
inline bool holdsKey(const TableEntry& e, uint64_t key) {
    return e.keyCheck == keyCheckOf(key) && e.keyHigh == keyHighOf(key);
}

// Walks the slots of one key: probe j is at (key + j * step) mod capacity,
// the sum kept in a running 64-bit word (so it wraps at 2^64 first). The
// index is carried along so that only the first probe divides; a running
// word that wraps (a key within j * step of 2^64) is divided again.
struct ProbeSequence {
    uint64_t running;
    uint64_t step;
    uint64_t slotIndex;
    explicit ProbeSequence(uint64_t key)
        : running(key), step((key >> 48) & 0xFF), slotIndex(key % positionTable.capacity) {
        if (step == 0) step = 1;
    }
    uint64_t index() const { return slotIndex; }
    TableEntry& slot() const { return positionTable.entries[slotIndex]; }
    void advance() {
        const uint64_t capacity = positionTable.capacity;
        running += step;
        if (running < step) {
            slotIndex = running % capacity;
            return;
        }
        slotIndex += step;
        if (slotIndex >= capacity) slotIndex = slotIndex - capacity < capacity ? slotIndex - capacity : slotIndex % capacity;
    }
};

// --- the loop-key filter ---

constexpr int LOOP_FILTER_BITS_LOG2 = 20;

// keyBits: the 48 key bits an entry keeps (storedKeyBits, or key >> 16).
inline uint64_t loopFilterIndex(uint64_t keyBits) {
    return (keyBits * 0x9E3779B97F4A7C15ull) >> (64 - LOOP_FILTER_BITS_LOG2);
}
inline void noteLoopKey(uint64_t keyBits) {
    const uint64_t i = loopFilterIndex(keyBits);
    positionTable.loopKeyFilter[i >> 6] |= uint64_t(1) << (i & 63);
}
inline bool mayHoldLoopKey(uint64_t keyBits) {
    const uint64_t i = loopFilterIndex(keyBits);
    return positionTable.loopKeyFilter[i >> 6] >> (i & 63) & 1;
}

// At most a million slots (8 MB) are listed; a verification makes far fewer
// loop entries between two of its steps.
constexpr size_t LOOP_SLOT_LIST_LIMIT = size_t(1) << 20;

inline void noteLoopSlot(uint64_t index) {
    PositionTable& t = positionTable;
    if (t.loopSlotsOverflowed) return;
    if (t.loopSlots.size() >= LOOP_SLOT_LIST_LIMIT) {
        t.loopSlotsOverflowed = true;
        t.loopSlots.clear();
        return;
    }
    t.loopSlots.push_back(index);
}

// --- the key lines ---

constexpr int KEY_COUNT_STUCK = 15;

// The filter bit and the count of some key bits.
struct KeyPlace {
    KeyLine* line;
    unsigned bit;    // 0..255
    unsigned count;  // 0..63
};
inline KeyPlace keyPlaceOf(uint64_t keyBits) {
    PositionTable& t = positionTable;
    const uint64_t h = keyBits * 0xD6E8FEB86659FD93ull;
    const uint64_t line = t.keyLineBitsLog2 ? h >> (64 - t.keyLineBitsLog2) : 0;
    return {&t.keyLines[line], unsigned(h >> 16) & 255, unsigned(h >> 24) & 63};
}

// Asks for what a lookup of the position reads first (the key line of its
// position key, then the first slots of its position key and its path key),
// so that the misses of many lookups overlap.
inline void prefetchLookup(const Position& pos) {
    const PositionTable& t = positionTable;
    if (t.capacity == 0) return;  // no table yet (an expansion outside a search)
    __builtin_prefetch(keyPlaceOf(pos.positionKey >> 16).line);
    __builtin_prefetch(&t.entries[pos.positionKey % t.capacity]);
    __builtin_prefetch(&t.entries[pos.pathKey % t.capacity]);
}

inline bool wasWritten(const KeyPlace& p) { return p.line->written[p.bit >> 6] >> (p.bit & 63) & 1; }
inline void markWritten(const KeyPlace& p) { p.line->written[p.bit >> 6] |= uint64_t(1) << (p.bit & 63); }
inline int countAt(const KeyPlace& p) { return p.line->counts[p.count >> 1] >> ((p.count & 1) * 4) & 15; }
inline void addToCount(const KeyPlace& p, int change) {
    const int count = countAt(p);
    if (count == KEY_COUNT_STUCK) return;
    uint8_t& pair = p.line->counts[p.count >> 1];
    const int shift = (p.count & 1) * 4;
    pair = uint8_t((pair & ~(15 << shift)) | (count + change) << shift);
}

// A slot's key bits change from `before` to `after` (0: empty).
inline void countKeyChange(uint64_t before, uint64_t after) {
    if (before == after) return;
    if (before != 0) addToCount(keyPlaceOf(before), -1);
    if (after != 0) {
        const KeyPlace p = keyPlaceOf(after);
        addToCount(p, +1);
        markWritten(p);
    }
}

// What the counts tell a walk of a key's slots: that no slot holds the key,
// or that none is left once the walk has met `met` slots of the key and the
// key's bucket counts no more. That needs a walk that meets no slot twice:
// the probe sequence must neither come round again within the hundred
// probes of a walk (a table of fewer than 100 x 255 entries may) nor wrap
// its running word. Key bits 0 are those of an empty slot; such a key is
// never ruled out.
struct KeyWalkLimit {
    int count;
    explicit KeyWalkLimit(uint64_t key) : count(countFor(key)) {}
    bool noneAtAll() const { return count == 0; }
    bool allMet(int met) const { return count != KEY_COUNT_STUCK && met >= count; }

    static int countFor(uint64_t key) {
        const uint64_t keyBits = key >> 16;
        if (keyBits == 0) return KEY_COUNT_STUCK;
        const KeyPlace p = keyPlaceOf(keyBits);
        if (!wasWritten(p)) return 0;
        constexpr uint64_t LONGEST_WALK = uint64_t(STORE_PROBE_LIMIT) * 255;
        if (positionTable.capacity < LONGEST_WALK || key > ~uint64_t(0) - LONGEST_WALK) return KEY_COUNT_STUCK;
        return countAt(p);
    }
};

// The key lines and the loop-key filter from the table's present entries:
// after the table was filled from elsewhere, or to shed the bits of entries
// gone and loosen stuck counts.
void rebuildKeyFilters();

// --- kinds of entry ---

inline bool isEmpty(const TableEntry& e) { return e.keyHigh == 0 && e.keyCheck == 0; }
inline bool isTrulyEmpty(const TableEntry& e) { return isEmpty(e) && e.flags == 0; }
inline bool isFree(const TableEntry& e) { return e.flags & Free; }
// Counted in usedCount.
inline bool isLive(const TableEntry& e) { return !isEmpty(e) && !isFree(e); }
inline bool isProof(const TableEntry& e) { return e.proofNumber == 0; }
inline bool isDisproof(const TableEntry& e) { return e.disproofNumber == 0; }
inline bool isUnresolved(const TableEntry& e) { return e.proofNumber != 0 && e.disproofNumber != 0; }
inline bool isPlainDisproof(const TableEntry& e) {
    return e.proofNumber == INFINITE_NUMBER && e.disproofNumber == 0;
}
// Plain, cut-off and loop disproofs alike.
inline bool isAnyDisproof(const TableEntry& e) {
    return e.disproofNumber == 0 &&
           (e.proofNumber == INFINITE_NUMBER || e.proofNumber == LARGEST_FINITE);
}
inline bool isCutOffDisproof(const TableEntry& e) {
    return e.proofNumber == LARGEST_FINITE && e.disproofNumber == 0 && !(e.flags & Loop);
}
inline bool isLoopDisproof(const TableEntry& e) {
    return e.proofNumber == LARGEST_FINITE && e.disproofNumber == 0 && (e.flags & Loop);
}
inline int generationOf(const TableEntry& e) { return e.flags >> 4; }
inline bool inProtectedGeneration(const TableEntry& e) {
    const int g = generationOf(e);
    return g == positionTable.generation || g == positionTable.previousGeneration;
}

// floor(log2(size)), 0 for 0.
inline int levelOf(uint64_t size) { return size == 0 ? 0 : 63 - __builtin_clzll(size); }
inline uint64_t sizeOfLevel(int level) { return uint64_t(1) << (level < 63 ? level : 63); }

// Replacement priority: the lower, the sooner an entry gives way.
inline int adjustedLevel(const TableEntry& e) {
    const int level = e.level;
    if (isProof(e)) return level + 10 < 63 ? level + 10 : 63;
    if (isAnyDisproof(e)) return level + 4 < 63 ? level + 4 : 63;
    return (e.flags & Referenced) && level < 63 ? level + 1 : level;
}

// --- creation ---

constexpr uint64_t ENTRIES_PER_20MB = 1048576;
// (MB / 20) * 1048576 - 1 entries, MB raised to 20.
uint64_t tableCapacityForMemory(int32_t memoryMB);
// MemAvailable of /proc/meminfo in MB; -1 when it cannot be read.
int64_t availableMemoryMB();
// capacity + 1 entries in their fresh state with every page committed;
// false when the memory cannot be had (nothing is left allocated then).
bool allocatePositionTable(uint64_t capacity);
void releasePositionTable();
// positionTable.notices, or a stream that drops what it is given.
std::ostream& tableNotices();

// --- stores and lookups ---

TableEntry* store(const Position& pos, int16_t length);
TableEntry* storeProof(const TableEntry& entry, uint64_t key);
TableEntry* storeDisproof(const TableEntry& entry, uint64_t key);
TableEntry* storeLoop(const TableEntry& entry, uint64_t key);
TableEntry* storeUnresolved(const TableEntry& entry, uint64_t key);
// A proof or disproof of the position usable at the given remaining depth.
TableEntry* findResolved(Position& pos, int16_t depth);
// The search's read path; copies what it finds into the position.
TableEntry* lookup(SearchContext& ctx, Position& pos, int16_t depth);
void touch(TableEntry& entry);
void copyInto(TableEntry& slot, const TableEntry& entry);

// --- reclamation and purges ---

// Frees old, cheap entries when the table is more than 80 % live; returns the
// number freed.
uint64_t reclaim();
void recountUsedEntries();
void emptyEntry(TableEntry& e);
void purgeMarkedEntries();
void purgeUnmarkedEntries();
