#include "search/move_count_cache.h"

#include <algorithm>
#include <array>

#include "position/expand.h"
#include "position/rules.h"

namespace {

// Layout of a slot: bits 8..63 are those of the position's key mixed with
// the rules, bits 0..7 the count plus one (so that an empty slot, 0, never
// matches). 2^16 slots, 512 KB, about what a core keeps in its own cache.
constexpr int SLOT_BITS_LOG2 = 16;
constexpr uint64_t SLOT_MASK = (uint64_t(1) << SLOT_BITS_LOG2) - 1;
constexpr uint64_t COUNT_BITS = 0xFF;

std::array<uint64_t, size_t(1) << SLOT_BITS_LOG2> slots{};

// The rules a count depends on, each in bits of its own and mixed into the
// key, so that a count made under other rules (the problem before, in the
// same process) never answers.
uint64_t rulesMix() {
    const RuleSwitches& r = ruleSwitches;
    const uint64_t packed = uint64_t(r.RuleFlags) << 32 | uint64_t(uint16_t(r.restrictionKind)) << 16 |
                            uint64_t(r.restrictionSides) << 8 |
                            uint64_t(r.checkRequired << 2 | r.dropPawnMateAllowed << 1 | r.handSaving);
    return packed * 0x9E3779B97F4A7C15ull;  // odd: distinct rules stay distinct
}

}  // namespace

int32_t cachedMoveCount(Position& pos) {
    const uint64_t key = (pos.positionKey ^ rulesMix()) & ~COUNT_BITS;
    uint64_t& slot = slots[(key >> 8) & SLOT_MASK];
    if ((slot & ~COUNT_BITS) == key && (slot & COUNT_BITS) != 0) return int32_t(slot & COUNT_BITS) - 1;
    const int32_t count = std::clamp<int32_t>(expandNode(pos, nullptr), 0, MOST_CACHED_MOVES);
    slot = key | uint64_t(count + 1);
    return count;
}
