#include "fuzz/fuzz_harness.h"

#include <cstdio>
#include <sstream>
#include <string>

#include "driver/keyboard.h"
#include "driver/problem_header.h"
#include "driver/solve.h"
#include "driver/suspend.h"
#include "position/position.h"
#include "position/validate.h"
#include "program/problem_reader.h"
#include "search/position_table.h"
#include "search/search.h"
#include "search/search_context.h"
#include "search/table_expansion.h"

namespace {

// The table of the size the suspend inputs describe, made once.
void ensureSmallTable() {
    if (positionTable.entries && positionTable.capacity == SUSPEND_FUZZ_CAPACITY) return;
    releasePositionTable();
    if (!allocatePositionTable(SUSPEND_FUZZ_CAPACITY)) std::abort();
}

void clearTable() {
    releasePositionTable();
    ensureSmallTable();
}

void resetRunState() {
    resetProblemHeader(problem);
    searchContext.composerLine.clear();
    searchContext.forceComposerLine = 0;
    currentSolution.clear();
    suspendedSolution.clear();
    resumePath.clear();
    searchContext.savedChildLists.clear();
    searchContext.refutedPosition = Position{};
    searchContext.phase = 0;
    searchContext.subPhase = 0;
    searchContext.resuming = 0;
    searchContext.followIntendedLine = 0;
    searchContext.nodeCount = 0;
    suspendFileResumed = false;
}

// A three-move mate: 2二金打 is the key after 2三桂 … (the shape is what
// matters: a small legal position with pieces in hand).
const char* SMALL_PROBLEM =
    "手数：3\r\n"
    "後手の持駒：なし\r\n"
    "  ９ ８ ７ ６ ５ ４ ３ ２ １\r\n"
    "+---------------------------+\r\n"
    "| ・ ・ ・ ・ ・ ・ ・v桂v香|一\r\n"
    "| ・ ・ ・ ・ ・ ・ ・ ・v玉|二\r\n"
    "| ・ ・ ・ ・ ・ ・ ・ ・ ・|三\r\n"
    "| ・ ・ ・ ・ ・ ・ ・ 歩 ・|四\r\n"
    "| ・ ・ ・ ・ ・ ・ ・ ・ ・|五\r\n"
    "| ・ ・ ・ ・ ・ ・ ・ ・ ・|六\r\n"
    "| ・ ・ ・ ・ ・ ・ ・ ・ ・|七\r\n"
    "| ・ ・ ・ ・ ・ ・ ・ ・ ・|八\r\n"
    "| ・ ・ ・ ・ ・ ・ ・ ・ ・|九\r\n"
    "+---------------------------+\r\n"
    "先手の持駒：金二　銀\r\n";

Position smallRoot;

// Reads the small problem into `problem` and smallRoot.
void setUpSmallProblem() {
    resetRunState();
    std::istringstream in(SMALL_PROBLEM);
    ProblemSetup setup{};
    std::string refusal;
    if (!readProblemFile(in, setup, refusal)) std::abort();
    smallRoot = Position{};
    setUpPosition(smallRoot, setup.diagram, setup.handCounts, firstMover());
    setUpSidesAndHandSaving(searchContext);
}

}  // namespace

void runProblemFileInput(const uint8_t* data, size_t size) {
    resetRunState();
    ensureSmallTable();
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    ProblemSetup setup{};
    std::string refusal;
    if (!readProblemFile(in, setup, refusal)) return;
    Position* root = new Position{};
    setUpPosition(*root, setup.diagram, setup.handCounts, firstMover());
    if (validateInitialPosition(*root)) {
        setUpSidesAndHandSaving(searchContext);
        resetSearchFields(*root);
        ChildList children;
        expandNode(searchContext, *root, &children);
        root->children = nullptr;
    }
    delete root;
}

bool runSuspendFileInput(const uint8_t* data, size_t size) {
    setUpSmallProblem();
    clearTable();
    // fmemopen refuses an empty buffer; an empty file is read from /dev/null.
    std::FILE* file = size ? fmemopen(const_cast<uint8_t*>(data), size, "rb") : std::fopen("/dev/null", "rb");
    if (!file) return false;
    const bool resumed = readSuspendFile(file, size, positionTable, smallRoot) == ResumeResult::RESUMED;
    std::fclose(file);
    return resumed;
}

int writeSuspendSeeds(const std::string& dir) {
    int written = 0;
    for (int phase : {PHASE_SOLVING, PHASE_SHORTER_MATE, PHASE_VERIFYING}) {
        setUpSmallProblem();
        clearTable();
        SearchContext& ctx = searchContext;
        Position root = smallRoot;
        invokeSearch(ctx, root, 3);
        stopKeyboardThread();
        ctx.phase = phase;
        if (phase >= PHASE_SHORTER_MATE) {
            // Any legal line will do: the reader replays it.
            ChildList children;
            resetSearchFields(root);
            if (expandNode(ctx, root, &children) > 0) currentSolution.push_back(children.front().lastMove);
            ResumeRecord r{};
            r.lastMove = children.empty() ? Move{} : children.front().lastMove;
            resumePath.push_back(ResumeRecord{});
            resumePath.push_back(r);
            ctx.savedChildLists.push_back(children);
        }
        if (phase == PHASE_VERIFYING) {
            ctx.savedPly = 1;
            ctx.savedMove = currentSolution.empty() ? Move{} : currentSolution.front();
            ctx.refutedPosition = smallRoot;
            ctx.refutedPosition.lastMove = ctx.savedMove;
        }
        suspendFileName = dir + "/seed" + std::to_string(phase) + ".kvs";
        runStartTime = std::time(nullptr);
        if (writeSuspendFile(smallRoot)) ++written;
    }
    // The last seed's lock goes with its file: dir holds the seeds only.
    endSuspendFileUse(false);
    return written;
}
