// Reclamation of table space and the verifier's purges.
//
// Reclamation runs inside a store when more than 80 % of the table is live
// and frees entries until half the table is live again. Entries touched in
// the current or the previous generation are never freed. The first pass
// frees only old unresolved entries, the cheapest (lowest level) first; when
// they are too few, the second pass frees old unprotected entries of every
// kind by adjusted level, so proofs go last. Freed entries keep their data:
// a lookup that finds one revives it.
#include <algorithm>
#include <iomanip>
#include <ostream>

#include "search/position_table.h"

namespace {

constexpr int LEVEL_BINS = 64;

struct Census {
    uint64_t histogram[LEVEL_BINS] = {};
    int maxLevelSeen = 0;
    uint64_t live = 0, proofs = 0, plainDisproofs = 0, cutOffDisproofs = 0, loopDisproofs = 0,
             unresolved = 0, referenced = 0;
};

bool firstPassCandidate(const TableEntry& e) {
    return isLive(e) && isUnresolved(e) && !inProtectedGeneration(e);
}

bool secondPassCandidate(const TableEntry& e) {
    return isLive(e) && !(e.flags & Protected) && !inProtectedGeneration(e);
}

Census takeCensus() {
    Census c;
    const PositionTable& t = positionTable;
    for (uint64_t i = 0; i < t.capacity; ++i) {
        const TableEntry& e = t.entries[i];
        if (!isLive(e)) continue;
        if (firstPassCandidate(e)) {
            ++c.histogram[std::min<int>(e.level, LEVEL_BINS - 1)];
            c.maxLevelSeen = std::max<int>(c.maxLevelSeen, e.level);
        }
        ++c.live;
        if (e.proofNumber == 0 && e.disproofNumber == INFINITE_NUMBER) ++c.proofs;
        if (e.proofNumber == INFINITE_NUMBER) ++c.plainDisproofs;
        if (isCutOffDisproof(e)) ++c.cutOffDisproofs;
        if (isLoopDisproof(e)) ++c.loopDisproofs;
        if (isUnresolved(e)) ++c.unresolved;
        if (e.flags & Referenced) ++c.referenced;
    }
    return c;
}

// The lowest level at which the running total of the histogram reaches the
// target, looking no higher than topLevel; -1 when it never does.
int cutLevel(const uint64_t histogram[LEVEL_BINS], int topLevel, int64_t target) {
    int64_t total = 0;
    for (int level = 0; level <= std::min(topLevel, LEVEL_BINS - 1); ++level) {
        total += int64_t(histogram[level]);
        if (total >= target) return level;
    }
    return -1;
}

template <typename Candidate, typename LevelOf>
uint64_t discard(Candidate isCandidate, LevelOf levelOfEntry, int cut, int64_t target) {
    PositionTable& t = positionTable;
    uint64_t discarded = 0;
    for (uint64_t i = 0; i < t.capacity && int64_t(discarded) < target; ++i) {
        TableEntry& e = t.entries[i];
        if (!isCandidate(e) || levelOfEntry(e) > cut) continue;
        e.flags |= Free;
        --t.usedCount;
        ++discarded;
    }
    return discarded;
}

double percentOf(uint64_t count, uint64_t total) { return double(count) / double(total) * 100; }

void printCensus(std::ostream& out, const Census& c) {
    const uint64_t n = positionTable.capacity;
    out << "詰" << percentOf(c.proofs, n) << "％、不詰" << percentOf(c.plainDisproofs, n) << "％、打切"
        << percentOf(c.cutOffDisproofs, n) << "％、ループ" << percentOf(c.loopDisproofs, n) << "％、不定"
        << percentOf(c.unresolved, n) << "％：参照" << percentOf(c.referenced, n) << "％" << std::endl;
    out << "探索レベルの最大値：" << c.maxLevelSeen << std::endl;
    out << "保護対象世代：" << positionTable.previousGeneration << ", " << positionTable.generation
        << std::endl;
}

}  // namespace

uint64_t reclaim() {
    PositionTable& t = positionTable;
    const uint64_t n = t.capacity;
    const double ratio = double(t.usedCount) / double(n);
    if (ratio <= t.fillRatioLimit) return 0;

    std::ostream& out = tableNotices();
    out << std::fixed << std::setprecision(1);
    out << std::endl << "メモリが不足気味です（局面表利用率" << ratio * 100 << "％）" << std::endl;
    t.peakUsed = std::max(t.peakUsed, t.usedCount);
    if (t.detailedNotices) {
        out << "リトライ" << t.maxProbesUnresolved << ", 不詰リトライ" << t.maxProbesDisproof
            << ", 詰リトライ" << t.maxProbesProof << std::endl;
    }

    Census census = takeCensus();
    if (t.detailedNotices) printCensus(out, census);

    const int64_t target = int64_t(census.live) - int64_t(double(n) * 0.5);
    uint64_t discarded;
    int cut = cutLevel(census.histogram, census.maxLevelSeen, target);
    if (cut >= 0) {
        discarded = discard(firstPassCandidate, [](const TableEntry& e) { return int(e.level); }, cut,
                            target);
    } else {
        uint64_t histogram[LEVEL_BINS] = {};
        int topLevel = 0;
        for (uint64_t i = 0; i < n; ++i) {
            const TableEntry& e = t.entries[i];
            if (!secondPassCandidate(e)) continue;
            const int level = adjustedLevel(e);
            ++histogram[level];
            topLevel = std::max(topLevel, level);
        }
        cut = cutLevel(histogram, topLevel, target);
        if (cut < 0) cut = topLevel;
        discarded = discard(secondPassCandidate, adjustedLevel, cut, target);
    }

    out << percentOf(discarded, n) << "％の非保護データ（探索レベル" << cut
        << "以下）を破棄して再利用します" << std::endl;

    t.verificationDepth = 0x7FFF;
    t.verificationPly = 0;
    recountUsedEntries();
    rebuildKeyFilters();
    // The purge measures its growth from what is left.
    t.usedAfterSweep = std::min(t.usedAfterSweep, t.usedCount);
    return discarded;
}

void recountUsedEntries() {
    PositionTable& t = positionTable;
    uint64_t used = 0;
    for (uint64_t i = 0; i < t.capacity; ++i) used += isLive(t.entries[i]);
    t.usedCount = used;
    t.peakUsed = std::max(t.peakUsed, used);
}

void emptyEntry(TableEntry& e) {
    // Only a counted entry leaves the count; emptying twice changes nothing.
    if (isLive(e)) --positionTable.usedCount;
    countKeyChange(storedKeyBits(e), 0);
    e.proofNumber = 0;
    e.disproofNumber = 0;
    e.keyCheck = 0;
    e.keyHigh = 0;
    e.length = 0;
    e.level = 0;
    e.loopPly = NO_PLY;
    // Free alone, not zero: lookups must probe past the hole.
    e.flags = Free;
}

namespace {

// A purge empties through emptyEntry, which keeps every count exact; what it
// leaves behind are filter bits of keys gone (and counts stuck at 15), which
// only lengthen walks. Recounting sheds them at the price of one more pass
// over the whole table, so it is done only when the purge emptied a good
// share of the table: a large table barely used would otherwise pay a pass
// over all its memory at every step of the verification for nothing.
void refreshKeyFiltersAfterPurge(uint64_t emptied) {
    if (emptied >= positionTable.capacity / 16) rebuildKeyFilters();
}

}  // namespace

void purgeMarkedEntries() {
    PositionTable& t = positionTable;
    // No key of a loop entry outlives this pass, so the loop-key filter is
    // rebuilt exactly as it goes (from the keyless slots that keep the flag,
    // which stay listed). A listed slot may have been listed twice or taken
    // by another kind of entry since; it is judged by what it holds now.
    std::fill(t.loopKeyFilter.begin(), t.loopKeyFilter.end(), 0);
    std::vector<uint64_t> kept;
    uint64_t emptied = 0;
    auto purge = [&](uint64_t i) {
        TableEntry& e = t.entries[i];
        if (!(e.flags & Loop)) return;
        if (isEmpty(e)) {
            noteLoopKey(storedKeyBits(e));
            kept.push_back(i);
        } else {
            emptyEntry(e);
            ++emptied;
        }
    };
    if (t.loopSlotsOverflowed) {
        for (uint64_t i = 0; i < t.capacity; ++i) purge(i);
    } else {
        for (const uint64_t i : t.loopSlots) purge(i);
    }
    t.loopSlots.clear();
    t.loopSlotsOverflowed = false;
    for (const uint64_t i : kept) noteLoopSlot(i);
    refreshKeyFiltersAfterPurge(emptied);
}

// Keeps what stays valid below the verification marker: resolved entries
// (and anything from ply P on) unless they are proofs that claim more than D
// moves. A disproof stays whatever depth it holds for: no mate within more
// moves is no mate within fewer, and the verification's searches of the
// alternatives at every ply are answered by the disproofs of the shorter-mate
// check and of one another.
//
// What the purge empties is of no use below the marker: proofs too long to
// answer there, loop entries of paths above the marker's ply, which no
// search from the marker on walks again, and unresolved entries above it,
// which give a search at most a first guess at the numbers of a position
// it meets again deeper down. They matter only when they crowd out what is
// being stored, so the table is swept only when it is halfway to its
// reclamation and has grown by a sixty-fourth of its slots since the last
// sweep: a large table is spared a sweep of all its memory at every step of
// the verification.
void purgeUnmarkedEntries() {
    PositionTable& t = positionTable;
    const bool crowded = t.usedCount >= t.reclaimThreshold / 2;
    const bool grown = t.usedCount >= t.usedAfterSweep + t.capacity / 64;
    if (!crowded || !grown) return;
    const int depth = t.verificationDepth;
    const int ply = t.verificationPly;
    uint64_t emptied = 0;
    for (uint64_t i = 0; i < t.capacity; ++i) {
        TableEntry& e = t.entries[i];
        if (!isLive(e) || (e.flags & Protected)) continue;
        const bool loop = e.flags & Loop;
        const int length = e.length;
        const bool resolved = (e.proofNumber == 0 || e.disproofNumber == 0) && !loop;
        const bool beyondDepth = isProof(e) && length > depth;
        if (!((resolved || length >= ply) && !beyondDepth)) {
            emptyEntry(e);
            ++emptied;
        }
    }
    refreshKeyFiltersAfterPurge(emptied);
    t.usedAfterSweep = t.usedCount;
}
