// The position record. It is also the search node: a child is a byte copy of
// its parent with one move made, never undone. The suspend file stores the
// record raw, so its layout (field order, widths, the 1936-byte size) is fixed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

#include "position/types.h"

struct Position;

// Storage of child lists. Lists are made and dropped in stack order, one per
// ply of the search path, and most hold one of a few small sizes. Storage of
// up to CHILD_STORAGE_KEPT_RECORDS records is kept, when freed, on a list per
// size, so that the next list of that size takes it back (still in cache)
// instead of asking the allocator; at most CHILD_STORAGE_KEPT_BYTES are kept
// in all, per thread. Exact sizes matter: a list holding storage bigger than
// it needs would multiply the memory of a path a thousand plies deep.
constexpr size_t CHILD_STORAGE_KEPT_RECORDS = 32;
constexpr size_t CHILD_STORAGE_KEPT_BYTES = size_t(8) << 20;
Position* takeChildStorage(size_t records);
void giveBackChildStorage(Position* storage, size_t records);
// The bytes of storage kept by the calling thread.
size_t keptChildStorageBytes();

// The allocator of child lists: storage from the kept lists above, and
// growth that leaves the new records uninitialised (every child is written
// whole by makeChild, so zero-filling it first is wasted work). It is a
// template only because containers ask for it by its element type; it is
// used for Position alone.
template <typename T>
struct ChildListAllocator {
    static_assert(std::is_same_v<T, Position>);
    using value_type = T;
    template <typename U>
    struct rebind {
        using other = ChildListAllocator<U>;
    };
    ChildListAllocator() = default;
    template <typename U>
    ChildListAllocator(const ChildListAllocator<U>&) noexcept {}
    T* allocate(size_t n) { return takeChildStorage(n); }
    void deallocate(T* p, size_t n) noexcept { giveBackChildStorage(p, n); }
    template <typename U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    template <typename U>
    bool operator==(const ChildListAllocator<U>&) const noexcept {
        return true;
    }
};

using ChildList = std::vector<Position, ChildListAllocator<Position>>;

constexpr int BOARD_CELLS = 192;   // 12 rows of 16 cells; Square s lives in cell s + 16
constexpr int ATTACK_CELLS = 176;  // attack words indexed by Square 0..175
constexpr int HAND_SLOTS = 40;     // hand counts indexed by piece code

struct Position {
    uint8_t board[BOARD_CELLS];
    int32_t attackerAttacks[ATTACK_CELLS];
    int32_t defenderAttacks[ATTACK_CELLS];
    int32_t hand[HAND_SLOTS];
    int16_t ply;
    uint8_t sideToMove;
    // Set on a child whose attack maps are still its parent's business: the
    // search makes most children only to look them up, so their maps are
    // filled in (ensureAttackMaps) when the child is expanded. It lives in
    // what is otherwise padding and is always 0 in a stored record.
    uint8_t attackMapsPending;
    int32_t attackerKingSquare;
    int32_t defenderKingSquare;
    int32_t attackerBoardCount;
    int32_t defenderBoardCount;
    int32_t attackerHandCount;
    int32_t defenderHandCount;
    // Search state; see the search for the meaning of each field.
    int32_t proofThreshold;
    int32_t disproofThreshold;
    int32_t proofNumber;
    int32_t disproofNumber;
    int32_t previousProofNumber;
    int32_t previousDisproofNumber;
    uint8_t sumAllowed;
    int32_t openChildCount;
    uint64_t openTreeSize;
    uint64_t treeSize;
    uint8_t loopDisproof;
    int16_t loopPly;
    uint8_t repetitionChecked;
    int16_t visitCount;
    uint8_t onIntendedLine;
    // The square of the interposed piece that the attacker may still take
    // for free (interpositionRole candidate), else 0. In what is otherwise
    // padding.
    uint8_t interpositionSquare;
    ChildList* children;
    uint8_t mirrorSymmetric;
    Move lastMove;  // packed directly after mirrorSymmetric (Move has alignment 1)
    int32_t killerMove;
    uint8_t futileDrop;
    // What the child is to a futile-interposition test (INTERPOSITION_...).
    // In what is otherwise padding.
    uint8_t interpositionRole;
    // The longest mate that follows one of the futile interpositions taken
    // off the node's replies when they were last listed for the solution or
    // its verification: a proof of the node needs that many moves too. In
    // what is otherwise padding.
    int16_t futileMateLength;
    int32_t searchStatus;
    int16_t shallowestPly;
    uint64_t boardKey;
    uint64_t handKey;
    uint64_t positionKey;
    uint64_t pathKey;
    uint64_t lastMoveKey;
    Position* parent;

    uint8_t& cell(int sq) { return board[sq + 16]; }
    uint8_t cell(int sq) const { return board[sq + 16]; }
    int32_t* attacksOf(int side) { return side == ATTACKER ? attackerAttacks : defenderAttacks; }
    const int32_t* attacksOf(int side) const { return side == ATTACKER ? attackerAttacks : defenderAttacks; }
    int kingSquareOf(int side) const { return side == ATTACKER ? attackerKingSquare : defenderKingSquare; }
};

// Clears a node's link to a child list that lives on the caller's frame
// when the frame ends: the node must not point at children that are gone.
struct ChildListLink {
    Position& node;
    ~ChildListLink() { node.children = nullptr; }
};

static_assert(sizeof(void*) == 8, "the stored record layout assumes 64-bit pointers");
static_assert(sizeof(Position) == 1936);
static_assert(offsetof(Position, board) == 0);
static_assert(offsetof(Position, attackerAttacks) == 192);
static_assert(offsetof(Position, defenderAttacks) == 896);
static_assert(offsetof(Position, hand) == 1600);
static_assert(offsetof(Position, ply) == 1760);
static_assert(offsetof(Position, sideToMove) == 1762);
static_assert(offsetof(Position, attackMapsPending) == 1763);
static_assert(offsetof(Position, attackerKingSquare) == 1764);
static_assert(offsetof(Position, defenderKingSquare) == 1768);
static_assert(offsetof(Position, attackerBoardCount) == 1772);
static_assert(offsetof(Position, defenderBoardCount) == 1776);
static_assert(offsetof(Position, attackerHandCount) == 1780);
static_assert(offsetof(Position, defenderHandCount) == 1784);
static_assert(offsetof(Position, proofThreshold) == 1788);
static_assert(offsetof(Position, disproofThreshold) == 1792);
static_assert(offsetof(Position, proofNumber) == 1796);
static_assert(offsetof(Position, disproofNumber) == 1800);
static_assert(offsetof(Position, previousProofNumber) == 1804);
static_assert(offsetof(Position, previousDisproofNumber) == 1808);
static_assert(offsetof(Position, sumAllowed) == 1812);
static_assert(offsetof(Position, openChildCount) == 1816);
static_assert(offsetof(Position, openTreeSize) == 1824);
static_assert(offsetof(Position, treeSize) == 1832);
static_assert(offsetof(Position, loopDisproof) == 1840);
static_assert(offsetof(Position, loopPly) == 1842);
static_assert(offsetof(Position, repetitionChecked) == 1844);
static_assert(offsetof(Position, visitCount) == 1846);
static_assert(offsetof(Position, onIntendedLine) == 1848);
static_assert(offsetof(Position, interpositionSquare) == 1849);
static_assert(offsetof(Position, children) == 1856);
static_assert(offsetof(Position, mirrorSymmetric) == 1864);
static_assert(offsetof(Position, lastMove) == 1865);
static_assert(offsetof(Position, killerMove) == 1872);
static_assert(offsetof(Position, futileDrop) == 1876);
static_assert(offsetof(Position, interpositionRole) == 1877);
static_assert(offsetof(Position, futileMateLength) == 1878);
static_assert(offsetof(Position, searchStatus) == 1880);
static_assert(offsetof(Position, shallowestPly) == 1884);
static_assert(offsetof(Position, boardKey) == 1888);
static_assert(offsetof(Position, handKey) == 1896);
static_assert(offsetof(Position, positionKey) == 1904);
static_assert(offsetof(Position, pathKey) == 1912);
static_assert(offsetof(Position, lastMoveKey) == 1920);
static_assert(offsetof(Position, parent) == 1928);

// interpositionRole values. A candidate is a position in which a defender's
// interposed piece stands on its square and may still be taken for
// nothing: its key carries a mark of that square, since among the
// attacker's replies there are the free captures, whose two plies (the
// interposition and the capture) are not counted.
constexpr uint8_t INTERPOSITION_NONE = 0;
constexpr uint8_t INTERPOSITION_CANDIDATE = 1;
constexpr uint8_t INTERPOSITION_FREE_CAPTURE = 2;

// Search status values.
constexpr int32_t STATUS_RUNNING = 2;
constexpr int32_t STATUS_INTERRUPTED = 3;

// A square's entry in a set-up diagram: printed reading order, rank 1
// first, each rank from file 9 to file 1.
constexpr int diagramIndex(int file, int rank) { return 9 * (rank - 1) + (9 - file); }

// Builds the root position in a record the caller has zero-filled.
// diagram: 81 codes, the entry of a square at diagramIndex.
// handCounts: indexed by piece code, entries 17..39 are read.
void setUpPosition(Position& pos, const uint8_t diagram[81], const int32_t handCounts[HAND_SLOTS], int side);

// The per-search reset of a root.
void resetSearchFields(Position& pos);

// Left-right symmetry of the board, honouring the symmetry-detection switch.
uint8_t computeMirrorSymmetric(const Position& pos);
