#include "program/usi_mate.h"

#include <memory>

#include "base/monotonic_clock.h"
#include "driver/large_stack.h"
#include "driver/problem_header.h"
#include "driver/solution.h"
#include "driver/solve.h"
#include "driver/table_setup.h"
#include "position/rules.h"
#include "position/usi_move.h"
#include "position/validate.h"
#include "search/position_table.h"
#include "search/search.h"
#include "search/search_context.h"

namespace {

using Send = std::function<void(const std::string&)>;

const std::string NO_MATE = "checkmate nomate";
const std::string TIMEOUT = "checkmate timeout";

// The clock is read once in so many nodes: often enough for a stop within
// a millisecond, rarely enough to cost nothing beside the expansions.
constexpr int NODES_PER_CLOCK_READ = 64;
// At most two info lines a second, as the protocol asks of an engine.
constexpr int64_t INFO_INTERVAL_MS = 500;

int turnedSquare(int sq) { return makeSquare(10 - fileOf(sq), 10 - rankOf(sq)); }

std::string movesText(const MoveLine& line, bool turned) {
    std::string text;
    for (Move m : line) {
        if (turned) {
            if (!isDrop(m)) m.from = uint8_t(turnedSquare(m.from));
            m.to = uint8_t(turnedSquare(m.to));
        }
        if (!text.empty()) text.push_back(' ');
        text += usiMoveText(m);
    }
    return text;
}

std::string infoLine(const SearchContext& ctx, int depth, int64_t ms) {
    const uint64_t nps = ms > 0 ? ctx.nodeCount * 1000 / uint64_t(ms) : 0;
    return "info depth " + std::to_string(depth) + " nodes " + std::to_string(ctx.nodeCount) + " nps " +
           std::to_string(nps) + " time " + std::to_string(ms);
}

// Stops the search when the GUI says stop or quit or the time is up, and
// shows how far it got twice a second.
class UsiObserver final : public SearchObserver {
public:
    UsiObserver(const MateRequest& request, int64_t startMs, const Send& send)
        : request_(request), startMs_(startMs), send_(send) {}

    bool stopRequested(SearchContext& ctx, Position&) override {
        if (stopped_) return true;
        if (request_.stoppedGo->load() == request_.goNumber) return stopped_ = true;
        if (--untilClockRead_ > 0) return false;
        untilClockRead_ = NODES_PER_CLOCK_READ;
        const int64_t now = elapsedMs();
        if (request_.timeLimitMs > 0 && now >= request_.timeLimitMs) return stopped_ = true;
        if (now - lastInfoMs_ >= INFO_INTERVAL_MS) {
            send_(infoLine(ctx, depth, now));
            lastInfoMs_ = now;
        }
        return false;
    }

    int64_t elapsedMs() const { return monotonicMilliseconds() - startMs_; }

    int depth = 0;  // of the search under way

private:
    const MateRequest& request_;
    const int64_t startMs_;
    const Send& send_;
    bool stopped_ = false;
    int untilClockRead_ = NODES_PER_CLOCK_READ;
    int64_t lastInfoMs_ = 0;
};

// The megabytes of the table set up (0: none), and whether a search has
// used it since: every problem starts from an empty table.
int32_t tableSetUpMB = 0;
bool tableUsed = false;

// Every go starts from the state of a fresh run of the console program: an
// orthodox problem file without remarks.
void resetForProblem() {
    resetProblemHeader(problem);
    searchContext = SearchContext{};
    resumePath.clear();
}

std::string mateAnswer(Position& root, const MateProblem& problemAsked, int depth, UsiObserver& watch,
                       const Send& send) {
    const MoveLine line = buildMateSolution(searchContext, root, int16_t(depth));
    if (root.searchStatus == STATUS_INTERRUPTED) return TIMEOUT;
    if (line.empty()) {
        send("info string the mate line could not be read from the table");
        return TIMEOUT;
    }
    const std::string moves = movesText(line, problemAsked.turned);
    send(infoLine(searchContext, depth, watch.elapsedMs()) + " pv " + moves);
    return "checkmate " + moves;
}

// Odd depths upwards: the first that mates gives the shortest mate. A plain
// disproof holds at every depth, so the deepening ends there. What a search
// leaves in the table serves the deeper ones, except its loop disproofs:
// they are kept by path, not by depth, and one that also rests on the
// depth limit would refute a line that a deeper search mates.
std::string searchShortestMate(Position& root, const MateProblem& problemAsked, const MateRequest& request,
                               UsiObserver& watch, const Send& send) {
    SearchContext& ctx = searchContext;
    for (int depth = 1; depth <= request.depthLimit; depth += 2) {
        if (depth > 1) purgeMarkedEntries();
        watch.depth = depth;
        ctx.phase = PHASE_SOLVING;
        ctx.solutionLength = int16_t(depth);
        invokeSearch(ctx, root, int16_t(depth));
        if (root.searchStatus == STATUS_INTERRUPTED) return TIMEOUT;
        if (root.proofNumber == 0) return mateAnswer(root, problemAsked, depth, watch, send);
        if (root.proofNumber == INFINITE_NUMBER) return NO_MATE;
    }
    return NO_MATE;
}

std::string solveMateProblem(const MateProblem& problemAsked, const MateRequest& request, int64_t startMs,
                             const Send& send) {
    resetForProblem();
    if (!prepareTable(request.hashMB)) {
        send("info string no position table of " + std::to_string(request.hashMB) + " MB can be had");
        return TIMEOUT;
    }
    auto root = std::make_unique<Position>();
    setUpPosition(*root, problemAsked.diagram, problemAsked.handCounts, ATTACKER);
    if (!validateInitialPosition(*root)) {
        send("info string the position is no mate problem (the reason is on standard error)");
        return NO_MATE;
    }
    setUpSidesAndHandSaving(searchContext);
    UsiObserver watch(request, startMs, send);
    searchContext.observer = &watch;
    tableUsed = true;
    const std::string answer = searchShortestMate(*root, problemAsked, request, watch, send);
    searchContext.observer = &silentObserver;
    // A stopped search keeps its path for resuming, which nothing here does:
    // the child lists along it would hold their memory until the next go.
    searchContext.savedChildLists.clear();
    resumePath.clear();
    return answer;
}

}  // namespace

MateProblem mateProblemOf(const Position& pos) {
    MateProblem p{};
    p.turned = pos.sideToMove != ATTACKER;
    for (int file = 1; file <= 9; ++file)
        for (int rank = 1; rank <= 9; ++rank) {
            const int code = pos.cell(makeSquare(file, rank));
            const int sq = p.turned ? turnedSquare(makeSquare(file, rank)) : makeSquare(file, rank);
            const int placed = p.turned && code != EMPTY ? otherSide(ownerOf(code)) | kindOf(code) : code;
            p.diagram[diagramIndex(fileOf(sq), rankOf(sq))] = uint8_t(placed);
        }
    for (const int side : {ATTACKER, DEFENDER})
        for (int kind = PAWN; kind <= ROOK; ++kind)
            p.handCounts[(p.turned ? otherSide(side) : side) | kind] = pos.hand[side | kind];
    return p;
}

bool prepareTable(int32_t hashMB) {
    if (positionTable.entries && tableSetUpMB == hashMB) {
        if (!tableUsed) return true;
        tableUsed = false;
        if (allocatePositionTable(positionTable.capacity)) return true;
    }
    // The default gives way to what the machine can spare, as it does for a
    // problem file without a size remark; a size asked for is refused.
    problem.memoryMB = hashMB == DEFAULT_TABLE_MB ? 0 : hashMB;
    tableSetUpMB = 0;
    tableUsed = false;
    if (!setUpTableForRun(problem)) return false;
    tableSetUpMB = hashMB;
    return true;
}

std::string answerGoMate(const MateProblem& problemAsked, const MateRequest& request, const Send& send) {
    const int64_t startMs = monotonicMilliseconds();
    std::string answer = TIMEOUT;
    if (!runOnSolverStack([&] { answer = solveMateProblem(problemAsked, request, startMs, send); }))
        send("info string the solving thread could not be started");
    return answer;
}
