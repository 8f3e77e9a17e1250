// A small table with hand-made keys whose probe slots are known.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "base/console.h"
#include "search/position_table.h"
#include "search/search_context.h"

class SmallTable : public ::testing::Test {
protected:
    static constexpr uint64_t CAPACITY = 101;

    void SetUp() override {
        ASSERT_TRUE(allocatePositionTable(CAPACITY));
        positionTable.notices = &consoleOut();
        positionTable.dumpStores = 0;
        positionTable.detailedNotices = 0;
        searchContext.attackerSide = ATTACKER;
        searchContext.defenderSide = DEFENDER;
    }
    void TearDown() override {
        releasePositionTable();
        positionTable.notices = nullptr;
    }

    // A key whose home slot is `home` and whose probe step is `step`
    // (0 gives step 1); `tag` tells keys apart.
    static uint64_t makeKey(uint64_t home, uint8_t step, uint32_t tag, uint8_t top = 0) {
        const uint64_t base = uint64_t(top) << 56 | uint64_t(step) << 48 | uint64_t(tag) << 16;
        return base + (home + CAPACITY - base % CAPACITY) % CAPACITY;
    }

    static TableEntry& slot(uint64_t index) { return positionTable.entries[index]; }

    // Writes an entry of the given key straight into a slot, generation in
    // the flags, and recounts.
    static TableEntry& put(uint64_t index, uint64_t key, int32_t pn, int32_t dn, int16_t length,
                           uint8_t level, uint8_t flags, int generation) {
        TableEntry& e = slot(index);
        e = TableEntry{pn, dn, keyCheckOf(key), keyHighOf(key), length, NO_PLY, level,
                       uint8_t(flags | generation << 4)};
        recountUsedEntries();
        rebuildKeyFilters();
        return e;
    }

    static TableEntry entryFor(uint64_t key, int32_t pn, int32_t dn, int16_t length, uint8_t level = 0) {
        return TableEntry{pn, dn, keyCheckOf(key), keyHighOf(key), length, NO_PLY, level, 0};
    }

    // A fresh search node for a key.
    static std::unique_ptr<Position> node(uint64_t key, int16_t ply, int32_t pn = 1, int32_t dn = 1) {
        auto p = std::make_unique<Position>();
        p->positionKey = key;
        p->pathKey = key ^ 0x5A5A000000000000ull;
        p->ply = ply;
        p->proofNumber = p->previousProofNumber = pn;
        p->disproofNumber = p->previousDisproofNumber = dn;
        p->treeSize = p->openTreeSize = 1;
        p->loopPly = p->shallowestPly = NO_PLY;
        p->sideToMove = ply % 2 ? DEFENDER : ATTACKER;
        return p;
    }
};
