#include "driver/progress.h"

#include <cstdlib>
#include <cstring>
#include <deque>
#include <vector>

#include "base/console.h"
#include "driver/keyboard.h"
#include "driver/notation.h"
#include "driver/problem_header.h"
#include "search/position_table.h"
#include "search/search.h"

namespace {

// The positions from the root's first child down to pos.
std::vector<const Position*> currentLine(const Position& pos) {
    std::vector<const Position*> line;
    for (const Position* p = &pos; p; p = p->parent)
        if (p->ply > 0) line.insert(line.begin(), p);
    return line;
}

void printCurrentLine(const SearchContext& ctx, const std::vector<const Position*>& line) {
    std::ostream& out = consoleOut();
    bool agreesWithComposer = ctx.followIntendedLine;
    for (size_t i = 0; i < line.size(); ++i) {
        const Position& p = *line[i];
        if (agreesWithComposer && (i >= ctx.composerLine.size() || ctx.composerLine[i] != p.lastMove)) {
            out << "★";
            agreesWithComposer = false;
        }
        if (problem.detailedMonitor && isGrandparentKiller(p)) out << '!';
        out << formatMove(p.parent ? *p.parent : p, p.lastMove);
        if ((i + 1) % 10 == 0) out << '\n';
    }
    if (line.size() % 10 != 0) out << '\n';
}

// A stop asked for by the tests, as a press of ESC at a point that is the
// same on every machine: KELVARO_TEST_STOPS, read once, lists STAGE@N
// (solve, shorter, verify), each a stop once N positions of that stage have
// been searched in this run, in the order given. verifyM@N counts the N
// positions from the moment the verification's marker first stands at the
// position before the Mth move (it examines that move's alternatives), so
// that the stop falls in that move's examination however many positions
// the moves before it took.
struct TestStop {
    int stage;
    uint64_t positions;
    int move;  // 0: counted from the stage's start
};

int stageOf(int32_t phase) { return phase >= PHASE_VERIFYING ? 3 : phase == PHASE_SHORTER_MATE ? 2 : 1; }

std::deque<TestStop> readTestStops() {
    std::deque<TestStop> stops;
    const char* text = std::getenv("KELVARO_TEST_STOPS");
    static const char* const stages[] = {"solve", "shorter", "verify"};
    while (text && *text) {
        int stage = 0;
        for (int i = 0; i < 3 && !stage; ++i)
            if (std::strncmp(text, stages[i], std::strlen(stages[i])) == 0) stage = i + 1;
        if (!stage) break;
        char* end = nullptr;
        const long move = std::strtol(text + std::strlen(stages[stage - 1]), &end, 10);
        if (*end != '@' || (move != 0 && stage != 3)) break;  // a move is the verification's
        const unsigned long long n = std::strtoull(end + 1, &end, 10);
        stops.push_back({stage, n, int(move)});
        text = *end == ',' ? end + 1 : end;
    }
    return stops;
}

bool testStopDue(const SearchContext& ctx) {
    static std::deque<TestStop> stops = readTestStops();
    static int stage = 0;
    static uint64_t countFrom = 0;
    static bool counting = false;
    if (stops.empty()) return false;
    const int now = stageOf(ctx.phase);
    if (now != stage) {
        stage = now;
        countFrom = ctx.nodeCount;
        counting = false;
    }
    while (!stops.empty() && stops.front().stage < now) stops.pop_front();
    if (stops.empty() || stops.front().stage != now) return false;
    const TestStop& next = stops.front();
    if (!counting) {
        if (next.move && positionTable.verificationPly != next.move - 1) return false;
        if (next.move) countFrom = ctx.nodeCount;
        counting = true;
    }
    if (ctx.nodeCount - countFrom < next.positions) return false;
    stops.pop_front();
    counting = false;
    return true;
}

}  // namespace

void showProgress(SearchContext& ctx, const Position& pos) {
    std::ostream& out = consoleOut();
    out << "\n現在の読み筋：開始" << decimalText(int32_t(ctx.rootPly)) << "手目、検討深度(実/指定)："
        << decimalText(int32_t(ctx.deepestPly)) << "/" << decimalText(int32_t(ctx.depthLimit)) << '\n';
    printCurrentLine(ctx, currentLine(pos));
    out << '\n' << decimalText(int32_t(pos.ply)) << "手目：";
    if (!isNoMove(pos.lastMove) && pos.parent) out << formatMove(*pos.parent, pos.lastMove);
    out << '\n' << std::flush;
    formatDiagram(pos, "");
    const double used = positionTable.capacity ? double(positionTable.usedCount) / double(positionTable.capacity) : 0;
    out.setf(std::ios::fixed);
    out.precision(1);
    out << "局面表使用率：" << used * 100 << "％\n";
    if (problem.detailedMonitor)
        out << "リトライ" << decimalText(positionTable.maxProbesUnresolved) << ", 不詰リトライ"
            << decimalText(positionTable.maxProbesDisproof) << ", 詰リトライ" << decimalText(positionTable.maxProbesProof)
            << '\n';
    out << std::flush;
}

bool checkInterrupt(SearchContext& ctx, Position& pos) {
    if (testStopDue(ctx)) escPressed = 1;
    if (keyboardNoticesPending()) printKeyboardNotices();
    if (ctrlCPressed) {
        ctrlCPressed = 0;
        installCtrlCHandler();
    }
    if (!escPressed) return false;
    resumePath.clear();
    ctx.resumePly = pos.ply;
    ctx.resumeMove = pos.lastMove;
    escPressed = 0;
    showProgress(ctx, pos);
    const bool stop = askYesNo("\n中断しますか？（Y/N）：", 'Y');
    resumePath.clear();
    ctx.savedChildLists.clear();
    if (stop) {
        keyboardThreadRunning = 0;
        pos.searchStatus = STATUS_INTERRUPTED;
        return true;
    }
    ctx.resumePly = 0;
    ctx.resumeMove = Move{};
    consoleOut() << "\n再開します\n" << std::flush;
    return false;
}
