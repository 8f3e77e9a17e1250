// Stores and lookups of the position table.
//
// Every store walks the probe sequence of its key for at most 100 slots and
// decides, by the kind of the new entry and of each slot, whether to take
// the slot, merge into it, pass it over or remember it as a victim. The
// Protected bit belongs to the slot and survives every overwrite except the
// merge of a proof into an existing proof of the same position.
#include "search/position_table.h"

#include <algorithm>
#include <charconv>
#include <string>

#include "search/search_context.h"

PositionTable positionTable;

namespace {

// The first candidate with the smallest adjusted level; a later one wins
// only when strictly smaller.
struct VictimChoice {
    TableEntry* slot = nullptr;
    int level = 0;
    int probe = 0;

    void consider(TableEntry& candidate, int probeNumber) {
        const int adjusted = adjustedLevel(candidate);
        if (!slot || adjusted < level) {
            slot = &candidate;
            level = adjusted;
            probe = probeNumber;
        }
    }
    // Disproof and loop stores take the first non-proof they meet whatever
    // its Protected bit; only unprotected ones may displace it later.
    void considerFirstAnyway(TableEntry& candidate, int probeNumber) {
        if (!slot || !(candidate.flags & Protected)) consider(candidate, probeNumber);
    }
};

// A store taking an empty or Free slot brings it back into the used count.
void claim(TableEntry& slot) {
    if (!isLive(slot)) ++positionTable.usedCount;
    slot.flags &= ~Free;
}

void raise(int32_t& maximum, int value) { maximum = std::max(maximum, int32_t(value)); }

// The flags a store leaves on the slot it wrote: only the slot's Protected
// bit survives (touch adds the generation).
void finishStoredSlot(TableEntry& slot, uint8_t extraFlags) {
    slot.flags = uint8_t((slot.flags & Protected) | extraFlags);
    touch(slot);
}

void restoreDisplaced(const TableEntry& displaced, uint64_t key) {
    if (displaced.flags & Loop) {
        storeLoop(displaced, key);
    } else if (isAnyDisproof(displaced)) {
        storeDisproof(displaced, key);
    } else if (isUnresolved(displaced) && generationOf(displaced) == positionTable.generation) {
        storeUnresolved(displaced, key);
    }
}

void appendHex(std::string& text, uint64_t value) {
    char digits[17];
    const auto end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
    text.append(digits, end);
}

void appendNumbers(std::string& text, const TableEntry& e) {
    text += "　手数：" + std::to_string(e.length) + " (" + std::to_string(e.proofNumber) + ", " +
            std::to_string(e.disproofNumber) + "), Level" + std::to_string(e.level);
}

// The probe dump of a congested unresolved store.
void appendDumpHead(std::string& text, const TableEntry& e, uint64_t key) {
    text += "\n登録データ：\nハッシュ値：";
    appendHex(text, storedKeyBits(e));
    text += "　インデックス：";
    appendHex(text, key % positionTable.capacity);
    appendNumbers(text, e);
    text += '\n';
}

void appendDumpLine(std::string& text, const TableEntry& slot, const TableEntry& e, int probe) {
    if (sameKey(slot, e)) text += "***";
    text += std::to_string(probe + 1) + "：";
    appendHex(text, storedKeyBits(slot));
    appendNumbers(text, slot);
    if (slot.flags & Protected) text += ", Protected";
    if (slot.loopPly != NO_PLY) text += ", Loop:" + std::to_string(slot.loopPly);
    text += '\n';
}

void revive(TableEntry& e) {
    if (isFree(e)) {
        e.flags &= ~Free;
        ++positionTable.usedCount;
    }
}

// What a lookup does to the entry it returns.
void markReferenced(TableEntry& e) {
    revive(e);
    e.flags |= Referenced;
    touch(e);
}

}  // namespace

void touch(TableEntry& entry) {
    PositionTable& t = positionTable;
    ++t.touchCount;
    entry.flags = uint8_t((entry.flags & ~GENERATION_MASK) | (t.generation << 4));
    if (t.touchCount >= t.generationLength) {
        t.previousGeneration = t.generation;
        t.generation = t.generation >= 15 ? 1 : t.generation + 1;
        t.touchCount = 0;
    }
}

void copyInto(TableEntry& slot, const TableEntry& entry) {
    slot.level = isProof(slot) && isProof(entry) ? std::max(slot.level, entry.level) : entry.level;
    slot.proofNumber = entry.proofNumber;
    slot.disproofNumber = entry.disproofNumber;
    countKeyChange(storedKeyBits(slot), storedKeyBits(entry));
    slot.keyCheck = entry.keyCheck;
    slot.keyHigh = entry.keyHigh;
    slot.length = entry.length;
    slot.loopPly = entry.loopPly;
}

TableEntry* store(const Position& pos, int16_t length) {
    PositionTable& t = positionTable;
    t.peakUsed = std::max(t.peakUsed, t.usedCount);
    if (t.usedCount > t.reclaimThreshold) reclaim();

    TableEntry e{};
    e.proofNumber = pos.proofNumber;
    e.disproofNumber = pos.disproofNumber;
    e.loopPly = NO_PLY;
    const bool unresolved = e.proofNumber != 0 && e.disproofNumber != 0;
    e.level = uint8_t(levelOf(unresolved ? pos.openTreeSize : pos.treeSize));

    uint64_t key = pos.positionKey;
    const bool loop = pos.loopDisproof && e.disproofNumber == 0;
    if (loop) {
        key = pos.pathKey;
        e.loopPly = pos.loopPly;
        e.length = pos.ply;
    } else if (unresolved) {
        e.length = pos.ply;
    } else if (isPlainDisproof(e)) {
        e.length = PLAIN_DISPROOF_LENGTH;
    } else {
        e.length = length;
    }
    e.keyCheck = keyCheckOf(key);
    e.keyHigh = keyHighOf(key);

    if (e.proofNumber == 0) return storeProof(e, key);
    if (unresolved) return storeUnresolved(e, key);
    if (loop) return storeLoop(e, key);
    return storeDisproof(e, key);
}

namespace {

// What a store makes of one slot of its probe walk.
enum class SlotVerdict {
    Pass,  // walk on (the kind may have noted the slot as a victim)
    Take,  // the store writes here
    Kept,  // the slot already holds what the store says; the store ends
};

// Where a walk ended: the slot taken or kept, else the victim chosen on the
// way (null when there was none).
struct WalkEnd {
    TableEntry* slot = nullptr;
    int probes = 0;
    bool kept = false;
    bool victim = false;
    bool examinedAll = false;  // every slot of the walk was looked at
};

// The walk every store shares: at most STORE_PROBE_LIMIT slots of the key's
// probe sequence, each judged by the kind's rule.
template <typename Judge>
WalkEnd walkProbes(uint64_t key, Judge judge) {
    ProbeSequence probe(key);
    VictimChoice victim;
    for (int j = 0; j < STORE_PROBE_LIMIT; ++j, probe.advance()) {
        TableEntry& slot = probe.slot();
        const SlotVerdict verdict = judge(slot, j, victim);
        if (verdict == SlotVerdict::Pass) continue;
        return {&slot, j, verdict == SlotVerdict::Kept, false, j == STORE_PROBE_LIMIT - 1};
    }
    return {victim.slot, victim.probe, false, true, true};
}

// What every store does once its slot is written: the probe statistics of
// its kind, the flags, and the entry it pushed out placed again.
TableEntry* finishStore(TableEntry& target, int probes, int32_t& maxProbes, uint8_t flags,
                        const TableEntry* displaced, uint64_t key) {
    raise(maxProbes, probes);
    if (!(flags & Loop)) target.loopPly = NO_PLY;
    finishStoredSlot(target, flags);
    if (displaced) restoreDisplaced(*displaced, key);
    return &target;
}

// A live entry of another position that a store takes the place of.
bool displaces(const WalkEnd& end, const TableEntry& entry) {
    return !end.victim && isLive(*end.slot) && !sameKey(*end.slot, entry);
}

}  // namespace

// Slots are matched against the entry's own key fields, so that an entry
// displaced by a proof and placed again along the proof's probe sequence
// merges only with entries of its own position.
TableEntry* storeProof(const TableEntry& entry, uint64_t key) {
    const WalkEnd end = walkProbes(key, [&](TableEntry& slot, int j, VictimChoice& victim) {
        if (isEmpty(slot) || isFree(slot) || sameKey(slot, entry) || !isProof(slot)) return SlotVerdict::Take;
        if (!(slot.flags & Protected)) victim.consider(slot, j);
        return SlotVerdict::Pass;
    });
    if (!end.slot) return nullptr;
    TableEntry& target = *end.slot;
    const TableEntry displaced = target;
    const bool displacing = displaces(end, entry);
    claim(target);
    if (sameKey(target, entry) && isProof(displaced) && !isEmpty(displaced)) {
        // The position was proven before: keep the shorter mate and the
        // larger tree, and drop the solution mark (the proof may change).
        target.length = std::min(target.length, entry.length);
        target.level = std::max(target.level, entry.level);
        target.flags &= ~Protected;
    } else {
        copyInto(target, entry);
    }
    return finishStore(target, end.probes, positionTable.maxProbesProof, 0, displacing ? &displaced : nullptr, key);
}

// A disproof takes an empty or Free slot or an unresolved entry of another
// position (placed again further on), and merges into a disproof of its own.
TableEntry* storeDisproof(const TableEntry& entry, uint64_t key) {
    const WalkEnd end = walkProbes(key, [&](TableEntry& slot, int j, VictimChoice& victim) {
        const bool mine = sameKey(slot, entry);
        if (isEmpty(slot) || isFree(slot) || (!mine && isUnresolved(slot))) return SlotVerdict::Take;
        if (mine && isPlainDisproof(slot)) {
            slot.level = std::max(slot.level, entry.level);
            return SlotVerdict::Kept;
        }
        if (mine && isCutOffDisproof(slot)) {
            // A deeper cut-off, or a plain disproof, widens what is known.
            slot.length = std::max(slot.length, entry.length);
            if (entry.proofNumber == INFINITE_NUMBER) slot.proofNumber = INFINITE_NUMBER;
            slot.level = std::max(slot.level, entry.level);
            return SlotVerdict::Kept;
        }
        if (!isProof(slot)) victim.considerFirstAnyway(slot, j);
        return SlotVerdict::Pass;
    });
    if (!end.slot || end.kept) return end.slot;
    TableEntry& target = *end.slot;
    const TableEntry displaced = target;
    const bool displacing = displaces(end, entry);
    claim(target);
    copyInto(target, entry);
    return finishStore(target, end.probes, positionTable.maxProbesDisproof, 0, displacing ? &displaced : nullptr,
                       key);
}

// A loop disproof lives under the path key. It overwrites what it takes:
// an unresolved entry it replaces is not placed again.
TableEntry* storeLoop(const TableEntry& entry, uint64_t key) {
    const WalkEnd end = walkProbes(key, [&](TableEntry& slot, int j, VictimChoice& victim) {
        const bool mine = sameKey(slot, entry);
        if ((mine && (slot.flags & Loop)) || isEmpty(slot) || isFree(slot) || (!mine && isUnresolved(slot)))
            return SlotVerdict::Take;
        if (!isProof(slot)) victim.considerFirstAnyway(slot, j);
        return SlotVerdict::Pass;
    });
    if (!end.slot) return nullptr;
    TableEntry& target = *end.slot;
    // A loop already known keeps its data.
    const bool known = sameKey(target, entry) && (target.flags & Loop);
    claim(target);
    if (!known) copyInto(target, entry);
    finishStore(target, end.probes, positionTable.maxProbesDisproof, Loop, nullptr, key);
    noteLoopKey(storedKeyBits(target));
    noteLoopSlot(uint64_t(&target - positionTable.entries));
    return &target;
}

// An unresolved entry takes an empty or Free slot or its own position's
// entry at the same ply or a deeper one; else the unprotected unresolved
// entry of the lowest level.
TableEntry* storeUnresolved(const TableEntry& entry, uint64_t key) {
    const bool dumping = positionTable.dumpStores;
    std::string dump;
    if (dumping) appendDumpHead(dump, entry, key);
    const WalkEnd end = walkProbes(key, [&](TableEntry& slot, int j, VictimChoice& victim) {
        if (dumping) appendDumpLine(dump, slot, entry, j);
        if (isEmpty(slot) || isFree(slot) || (sameKey(slot, entry) && isUnresolved(slot) && slot.length >= entry.length))
            return SlotVerdict::Take;
        // An entry of the same position at a smaller ply stays: it belongs
        // to a shallower occurrence on the path.
        if (isUnresolved(slot) && !(slot.flags & Protected) && !inProtectedGeneration(slot))
            victim.consider(slot, j);
        return SlotVerdict::Pass;
    });
    if (dumping && end.examinedAll) {
        tableNotices() << dump << std::endl;
        if (end.slot) tableNotices() << end.probes + 1 << "番のデータを上書き" << std::endl;
    }
    if (!end.slot) return nullptr;
    TableEntry& target = *end.slot;
    claim(target);
    copyInto(target, entry);
    return finishStore(target, end.probes, positionTable.maxProbesUnresolved, 0, nullptr, key);
}

namespace {

// A proof or disproof that answers a search to the given remaining depth.
bool usableAtDepth(const TableEntry& slot, int16_t depth) {
    return (isProof(slot) && depth >= slot.length) || isPlainDisproof(slot) ||
           (isCutOffDisproof(slot) && slot.length >= depth);
}

int resolvedProbeBound() { return std::max(positionTable.maxProbesProof, positionTable.maxProbesDisproof) + 1; }

// What finding a usable proof or disproof does besides returning it.
TableEntry* takeResolved(Position& pos, TableEntry& slot) {
    // The move that led here refuted (or confirmed) the grandparent's
    // choice: remember it there as the killer.
    const uint8_t side = pos.sideToMove;
    if ((isDisproof(slot) && side == searchContext.attackerSide) ||
        (isProof(slot) && side == searchContext.defenderSide)) {
        if (pos.parent && pos.parent->parent) pos.parent->parent->killerMove = int32_t(moveWord(pos.lastMove));
    }
    markReferenced(slot);
    return &slot;
}

}  // namespace

TableEntry* findResolved(Position& pos, int16_t depth) {
    const uint64_t key = pos.positionKey;
    const KeyWalkLimit limit(key);
    if (limit.noneAtAll()) return nullptr;
    const int bound = resolvedProbeBound();
    int met = 0;
    ProbeSequence probe(key);
    for (int j = 0; j < bound; ++j, probe.advance()) {
        TableEntry& slot = probe.slot();
        if (isTrulyEmpty(slot)) return nullptr;
        if (!holdsKey(slot, key)) continue;
        if (!(slot.flags & Loop) && usableAtDepth(slot, depth)) return takeResolved(pos, slot);
        if (limit.allMet(++met)) return nullptr;  // no slot further on holds the key
    }
    return nullptr;
}

namespace {

TableEntry* findLoopEntry(Position& pos) {
    const uint64_t key = pos.pathKey;
    if (!mayHoldLoopKey(key >> 16)) return nullptr;
    ProbeSequence probe(key);
    for (int j = 0; j < positionTable.maxProbesDisproof + 1; ++j, probe.advance()) {
        TableEntry& slot = probe.slot();
        if (isTrulyEmpty(slot)) return nullptr;
        if (holdsKey(slot, key) && (slot.flags & Loop)) return &slot;
    }
    return nullptr;
}

}  // namespace

namespace {

// One walk of the position key's slots serves both questions a lookup asks
// of them: a usable proof or disproof within the resolved probe bound, and
// the unresolved entries of this ply or shallower ones within the unresolved
// bound. Reading changes nothing, so the answers are those of two walks.
struct PositionKeyProbe {
    TableEntry* resolved = nullptr;
    TableEntry* samePly = nullptr;
    TableEntry* shallower = nullptr;
    int16_t shallowestPly = NO_PLY;
};

PositionKeyProbe probePositionKey(const Position& pos, int16_t depth) {
    PositionKeyProbe found;
    found.shallowestPly = pos.shallowestPly;
    const uint64_t key = pos.positionKey;
    const KeyWalkLimit keyLimit(key);
    if (keyLimit.noneAtAll()) return found;
    int met = 0;
    const int resolvedBound = resolvedProbeBound();
    const int unresolvedBound = positionTable.maxProbesUnresolved + 1;
    const int limit = std::max(resolvedBound, unresolvedBound);
    bool unresolvedDone = false;
    ProbeSequence probe(key);
    for (int j = 0; j < limit; ++j, probe.advance()) {
        if (unresolvedDone && j >= resolvedBound) break;
        TableEntry& slot = probe.slot();
        if (isTrulyEmpty(slot)) break;
        if (!holdsKey(slot, key)) continue;
        if (j < resolvedBound && !(slot.flags & Loop) && usableAtDepth(slot, depth)) {
            found.resolved = &slot;
            break;
        }
        if (!unresolvedDone && j < unresolvedBound && isUnresolved(slot)) {
            if (slot.length < pos.ply) {
                found.shallower = &slot;
                found.shallowestPly = std::min(found.shallowestPly, slot.length);
            } else if (slot.length == pos.ply) {
                found.samePly = &slot;
                unresolvedDone = true;
            }
        }
        if (keyLimit.allMet(++met)) break;  // no slot further on holds the key
    }
    return found;
}

}  // namespace

TableEntry* lookup(SearchContext& ctx, Position& pos, int16_t depth) {
    const PositionKeyProbe found = probePositionKey(pos, depth);
    if (found.resolved) {
        TableEntry* e = takeResolved(pos, *found.resolved);
        if (isProof(*e)) {
            pos.proofNumber = 0;
            pos.disproofNumber = INFINITE_NUMBER;
        } else {
            pos.proofNumber = e->proofNumber == INFINITE_NUMBER ? INFINITE_NUMBER : LARGEST_FINITE;
            pos.disproofNumber = 0;
        }
        pos.treeSize = sizeOfLevel(e->level);
        pos.openTreeSize = 0;
        return e;
    }

    if (TableEntry* e = findLoopEntry(pos)) {
        markReferenced(*e);
        pos.proofNumber = LARGEST_FINITE;
        pos.disproofNumber = 0;
        pos.loopDisproof = 1;
        pos.loopPly = e->loopPly;
        pos.treeSize = 1;
        pos.openTreeSize = 0;
        return e;
    }

    // Unresolved entries: the one of this ply, else the last one of a
    // shallower ply (an ancestor's occurrence of the same position).
    pos.shallowestPly = found.shallowestPly;
    TableEntry* const samePly = found.samePly;
    if (samePly) markReferenced(*samePly);
    TableEntry* e = samePly ? samePly : found.shallower;
    if (!e) return nullptr;
    if (!samePly && ctx.deepestPly >= ctx.depthLimit) return e;

    if (pos.proofNumber != e->proofNumber || pos.disproofNumber != e->disproofNumber) {
        pos.previousProofNumber = pos.proofNumber;
        pos.previousDisproofNumber = pos.disproofNumber;
    }
    pos.proofNumber = e->proofNumber;
    pos.disproofNumber = e->disproofNumber;
    if (samePly) pos.treeSize = pos.openTreeSize = sizeOfLevel(e->level);
    return e;
}
