// The process-wide state of one solve, shared by the search, its invocation
// wrapper and the solve driver.
#pragma once

#include <cstdint>
#include <fstream>
#include <list>
#include <vector>

#include "position/position.h"
#include "search/search_observer.h"

// One level of an interrupted search path. 24 bytes, stored raw in the
// suspend file.
struct ResumeRecord {
    Move lastMove;
    int32_t proofNumber;
    int32_t disproofNumber;
    int32_t proofThreshold;
    int32_t disproofThreshold;
    int16_t visitCount;
    uint16_t unused;
};
static_assert(sizeof(ResumeRecord) == 24);

// Phase word of the driver.
constexpr int32_t PHASE_SOLVING = 1;
constexpr int32_t PHASE_SHORTER_MATE = 2;
constexpr int32_t PHASE_VERIFYING = 4;

// Verification sub-phases.
constexpr int32_t SUBPHASE_MAIN_LINE_DEFENCE = 5;
constexpr int32_t SUBPHASE_ATTACKER_ALTERNATIVES = 6;
constexpr int32_t SUBPHASE_DEFENDER_ALTERNATIVES = 8;

struct SearchContext {
    std::ofstream reportStream;
    int16_t resumePly = 0;
    std::list<ChildList> savedChildLists;  // child lists of an interrupted path, root first
    int16_t depthLimit = 0;
    int32_t phase = 0;
    int32_t subPhase = 0;
    Move resumeMove{};
    int16_t savedPly = 0;
    Move savedMove{};
    int16_t rootPly = 0;
    int16_t deepestPlyOverall = 0;
    int16_t deepestPly = 0;
    int16_t solutionLength = 0;
    uint8_t resuming = 0;
    int32_t maxProofNumber = 0;
    int32_t maxDisproofNumber = 0;
    int32_t maxLevel = 0;
    uint8_t rootSide = ATTACKER;
    const Position* goalPosition = nullptr;
    uint8_t attackerSide = ATTACKER;
    uint8_t defenderSide = DEFENDER;
    uint8_t followIntendedLine = 0;
    Position refutedPosition{};
    uint64_t nodeCount = 0;
    // The composer's moves from the problem file (the reader fills them),
    // and whether the search must follow them alone where they lead (the
    // remark 作意強制).
    std::vector<Move> composerLine;
    uint8_t forceComposerLine = 0;
    SearchObserver* observer = &silentObserver;
    // The positions of the side that may not repeat on the current search
    // path, counted by a hash of their position key and of their board key
    // (see PathCounts in the search): a bucket that holds only the node
    // itself spares the repetition test its walk up a path that may be
    // hundreds of plies long. Sized by the first search; counted only
    // while an invocation runs (countingPath), whose root starts the path.
    std::vector<uint16_t> pathPositionCounts;
    std::vector<uint16_t> pathBoardCounts;
    uint8_t countingPath = 0;
};

// The composer's move at ply when the line is followed; no move otherwise.
inline Move composerMoveAt(const SearchContext& ctx, int ply) {
    if (!ctx.followIntendedLine || ply < 0 || size_t(ply) >= ctx.composerLine.size()) return Move{};
    return ctx.composerLine[size_t(ply)];
}

// The records of an interrupted path, root first.
extern std::list<ResumeRecord> resumePath;

// The context of the solve; there is one per process.
extern SearchContext searchContext;
