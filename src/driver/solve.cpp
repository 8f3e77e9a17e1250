#include "driver/solve.h"

#include <ctime>
#include <memory>

#include "base/console.h"
#include "driver/console_observer.h"
#include "driver/keyboard.h"
#include "driver/notation.h"
#include "driver/phase_log.h"
#include "driver/problem_header.h"
#include "driver/report.h"
#include "driver/run_findings.h"
#include "driver/suspend.h"
#include "driver/trace.h"
#include "driver/verify.h"
#include "search/position_table.h"
#include "search/search.h"

MoveLine currentSolution;
MoveLine suspendedSolution;

namespace {

constexpr int MIN_MOVE_COUNT = 1;
constexpr int MAX_MOVE_COUNT = 2999;

constexpr int32_t SOLVE_ONLY = 1;
constexpr int32_t ABBREVIATED_CHECK = 2;

std::ostream& console() { return consoleOut(); }

void tracesOff() {
    problem.traceOn = 0;
    problem.monitorOn = 0;
}

bool repetitionRule() { return ruleSwitches.RuleFlags & GOAL_REPETITION; }

// The refusals that end the solve before anything is searched. True when
// the problem may be solved.
bool acceptsProblem(SearchContext& ctx, Position& initial, int16_t n) {
    if (n < MIN_MOVE_COUNT || n > MAX_MOVE_COUNT) {
        console() << "手数は" << MIN_MOVE_COUNT << "手以上、" << MAX_MOVE_COUNT << "手以内を指定してください" << '\n';
        return false;
    }
    if (ruleSwitches.dropPawnMateAllowed && (ruleSwitches.RuleFlags & TARGET_OWN_KING)) {
        console() << "自玉系ルールでは「打歩」指定はできません" << '\n';
        return false;
    }
    if (ruleSwitches.dropPawnMateAllowed && repetitionRule()) {
        console() << "「打歩」と「千日手」の同時指定はできません" << '\n';
        return false;
    }
    if (repetitionRule()) {
        if (n % 2 != 0) {
            console() << "千日手ルールでは手数は偶数のみ有効です" << '\n';
            return false;
        }
        ctx.goalPosition = &initial;
    }
    return true;
}

// The root of every search of the run. It stands on the composer's line by
// definition: the search follows the line from here when asked to.
void clearPerSearchFields(Position& p) {
    p.parent = nullptr;
    p.treeSize = 0;
    p.openTreeSize = 0;
    p.lastMove = Move{};
    p.ply = 0;
    p.onIntendedLine = 1;
    resetSearchFields(p);
}

// The composer's line, offered as the line to follow.
void offerEnteredSequence(SearchContext& ctx, const Position& initial) {
    console() << "以下の手順が入力されています" << '\n';
    showSolution(initial, ctx.composerLine);
    if (askYesNo("この手順を元に検討しますか？（Y/N）：", 'Y')) {
        ctx.followIntendedLine = 1;
        currentSolution = ctx.composerLine;
    }
    // The time spent on the question does not count.
    runStartTime = std::time(nullptr);
}

void markInterrupted(Position& initial) { initial.searchStatus = STATUS_INTERRUPTED; }

// After a stop: the line found so far may be written out unless it is the
// one the run was resumed with.
void offerProvisionalSolution(SearchContext& ctx, const Position& initial, const MoveLine& line) {
    if (line.empty() || line == suspendedSolution) return;
    if (askYesNo("暫定的な解を出力しますか？（Y/N）：", 'Y')) printSolution(initial, line, ctx.reportStream);
}

void reportNoMate(SearchContext& ctx, const Position& initial, Position& w) {
    const int16_t deepest = ctx.deepestPlyOverall;
    const std::string verdict = "詰みませんでした, 最大検討深度：" + decimalText(int32_t(deepest)) + "手";
    console() << verdict << '\n';
    appendToReport(ctx.reportStream, "\n" + verdict + "\n");

    const Position& refuted = ctx.refutedPosition;
    if (ctx.followIntendedLine && refuted.positionKey != 0) {
        // The refuting defence is played where the composer's line stood
        // after ply - 1 moves.
        const size_t before = refuted.ply > 0 ? size_t(refuted.ply - 1) : 0;
        const std::string failure = "（作意" + decimalText(int32_t(refuted.ply)) + "手目" +
                                    moveTextAfter(initial, ctx.composerLine, before, refuted.lastMove) + "で不詰）";
        console() << failure << '\n';
        appendToReport(ctx.reportStream, failure + "\n");
    }

    if (problem.noMateOutput) {
        console() << "最大検討深度：" << decimalText(int32_t(deepest)) << '\n';
        currentSolution = buildNoMateLine(ctx, w, deepest);
        console() << "不詰解（参考）を表示します。" << '\n';
        printSolution(initial, currentSolution, ctx.reportStream);
        console() << '\n' << std::flush;
    }
}

enum class Outcome { Continue, Done };

// Phase 1: the search at the stated move count.
Outcome solvingPhase(SearchContext& ctx, Position& initial, Position& w, int16_t n, int32_t checkLevel) {
    ctx.phase = PHASE_SOLVING;
    ctx.depthLimit = n;
    ctx.solutionLength = n;
    invokeSearch(ctx, w, n);
    initial.treeSize = w.treeSize;
    console() << '\n';

    if (w.searchStatus == STATUS_INTERRUPTED) {
        console() << "中断します。" << '\n';
        offerSave(initial, MoveLine(currentSolution));
        markInterrupted(initial);
        return Outcome::Done;
    }
    if (w.proofNumber != 0) {
        reportNoMate(ctx, initial, w);
        return Outcome::Done;
    }

    console() << "詰みを見つけました" << '\n';
    runFindings.mateFound = true;
    logPhaseEnd(ctx, "solve");
    if (problem.detailedMonitor) printSearchStatistics(ctx, w);
    tracesOff();
    currentSolution = buildMateSolution(ctx, w, n);
    if (w.searchStatus == STATUS_INTERRUPTED) {
        console() << "求解処理は中断されました。" << '\n';
        // Nothing is saved, but the report must not read as a finished run.
        markInterrupted(initial);
        return Outcome::Done;
    }
    markSolutionTree(ctx, w, currentSolution);

    const size_t length = currentSolution.size();
    if (length < size_t(n)) {
        ++runFindings.shorterMates;
        console() << '\n'
                  << "少なくとも" << decimalText(int64_t(n - int64_t(length))) << "手短い早詰があります。" << '\n'
                  << "図や手数指定に誤りがないか確認してください。" << '\n';
    }
    if (checkLevel == SOLVE_ONLY) {
        console() << "暫定的な解を出力します。" << '\n';
        printSolution(initial, currentSolution, ctx.reportStream);
        runFindings.solutionLength = int32_t(currentSolution.size());
        return Outcome::Done;
    }
    console() << "暫定的な解を表示します。" << '\n';
    showSolution(initial, currentSolution);
    console() << '\n';
    if (checkLevel != ABBREVIATED_CHECK) console() << "引続き早詰のチェックを行います。" << '\n';
    console() << std::flush;
    return Outcome::Continue;
}

// Under the repetition goal the root's entry at this depth may rest on the
// earlier, longer searches; the search starts the root afresh.
void forgetRootEntry(SearchContext& ctx, Position& root, int16_t d) {
    TableEntry* e = lookup(ctx, root, d);
    if (e && !isEmpty(*e)) emptyEntry(*e);
}

// Phase 2: searches at smaller depths until none mates.
Outcome shorterMatePhase(SearchContext& ctx, Position& initial, int16_t n) {
    int d = int(currentSolution.size()) - 2;
    auto w2 = std::make_unique<Position>(initial);
    ctx.phase = PHASE_SHORTER_MATE;
    while (d >= 2) {
        const MoveLine before = currentSolution;
        if (repetitionRule()) forgetRootEntry(ctx, *w2, int16_t(d));
        invokeSearch(ctx, *w2, int16_t(d));

        if (w2->searchStatus == STATUS_INTERRUPTED) {
            currentSolution = before;
            console() << "中断します。" << '\n';
            offerProvisionalSolution(ctx, initial, currentSolution);
            offerSave(initial, currentSolution);
            markInterrupted(initial);
            return Outcome::Done;
        }
        if (w2->proofNumber != 0) {
            currentSolution = before;
            break;
        }
        if (!repetitionRule()) {
            const TableEntry* e = lookup(ctx, *w2, int16_t(d));
            if (e && e->proofNumber == 0 && e->disproofNumber == INFINITE_NUMBER && e->length < d) d = e->length;
        }
        ++runFindings.shorterMates;
        setTextAttribute(ATTR_YELLOW);
        console() << "早詰検出:" << decimalText(int32_t(d)) << "手 ..暫定的な解を求めます";
        setTextAttribute(ATTR_NORMAL);
        console() << '\n' << std::flush;

        currentSolution = buildMateSolution(ctx, *w2, int16_t(d));
        if (currentSolution.empty() || w2->searchStatus == STATUS_INTERRUPTED) {
            console() << decimalText(int32_t(d)) << "手検索：暫定解の選択処理が中断されました" << '\n';
            offerSave(initial, before);
            markInterrupted(initial);
            return Outcome::Done;
        }
        markSolutionTree(ctx, *w2, currentSolution);
        showSolution(*w2, currentSolution);
        ctx.solutionLength = int16_t(currentSolution.size());
        d = int(currentSolution.size()) - 2;
        if (problem.detailedMonitor) printSearchStatistics(ctx, *w2);
    }

    logPhaseEnd(ctx, "shorter");
    if (currentSolution.size() == size_t(n)) {
        console() << '\n' << "早詰はありません。変別や非限定のチェックを行います。" << '\n' << '\n' << std::flush;
        return Outcome::Continue;
    }
    console() << "最短解は" << decimalText(uint64_t(currentSolution.size())) << "手でした。" << '\n';
    if (askYesNo("早詰順（暫定解）をもとに、変別や非限定の検討を行いますか？（Y/N）：", 'N')) {
        printSolution(initial, currentSolution, ctx.reportStream);
        ctx.phase = PHASE_VERIFYING;
        offerSave(initial, currentSolution);
        markInterrupted(initial);
        return Outcome::Done;
    }
    return Outcome::Continue;
}

// Phase 4: the solution examined move by move.
void verificationPhase(SearchContext& ctx, Position& initial) {
    recountUsedEntries();
    ctx.phase = PHASE_VERIFYING;
    if (ctx.savedPly == 0 && isNoMove(ctx.savedMove)) ctx.resuming = 0;
    resetSearchFields(initial);
    tracesOff();

    MoveLine result = verifySolution(ctx, initial, MoveLine(currentSolution), false);
    logPhaseEnd(ctx, "verify");
    if (initial.searchStatus != STATUS_INTERRUPTED) {
        printSolution(initial, result, ctx.reportStream);
        runFindings.solutionLength = int32_t(result.size());
        return;
    }
    if (result.empty()) return;
    offerProvisionalSolution(ctx, initial, result);
    offerSave(initial, result);
}

void runPhases(SearchContext& ctx, Position& initial, int16_t n, int32_t checkLevel) {
    setUpSidesAndHandSaving(ctx);
    ctx.observer = &consoleObserver;

    // A resumed run keeps its mark through the first search, which clears
    // the context's flag; the phases it runs depend on it.
    const bool resumed = ctx.resuming != 0;
    clearPerSearchFields(initial);
    initial.searchStatus = STATUS_RUNNING;
    if (!resumed && !ctx.composerLine.empty()) offerEnteredSequence(ctx, initial);

    ctx.reportStream.open(reportFileName, std::ios::out | std::ios::app | std::ios::binary);
    reportStreamHolds(ctx.reportStream);
    auto w = std::make_unique<Position>(initial);

    const bool resumedWhileSolving = resumed && ctx.phase == PHASE_SOLVING;
    if (!resumed || resumedWhileSolving) {
        if (solvingPhase(ctx, initial, *w, n, checkLevel) == Outcome::Done) return;
    }
    // A run taken up in its first search goes on to the shorter-mate check
    // as an uninterrupted run would; skipping it would let a shorter mate
    // pass unreported just because the run was stopped once.
    const bool shorterMateCheck = resumed && !resumedWhileSolving ? ctx.phase == PHASE_SHORTER_MATE
                                                                  : checkLevel != ABBREVIATED_CHECK;
    if (shorterMateCheck && shorterMatePhase(ctx, initial, n) == Outcome::Done) return;
    verificationPhase(ctx, initial);
}

}  // namespace

void setUpSidesAndHandSaving(SearchContext& ctx) {
    const bool worstPlay = ruleSwitches.RuleFlags & PLAY_WORST;
    ctx.attackerSide = uint8_t(worstPlay ? DEFENDER : ATTACKER);
    ctx.defenderSide = uint8_t(worstPlay ? ATTACKER : DEFENDER);
    const bool restrictionAllows =
        ruleSwitches.restrictionKind == RESTRICTION_NONE || ruleSwitches.restrictionKind == RESTRICTION_GREEDY;
    const bool bestPlayMate = ruleSwitches.RuleFlags == ORTHODOX_RULES ||
                              ((ruleSwitches.RuleFlags & PLAY_BEST) && ruleSwitches.handSaving);
    ruleSwitches.handSaving = !ruleSwitches.dropPawnMateAllowed && restrictionAllows && bestPlayMate;
}

bool solve(SearchContext& ctx, Position& initial, int16_t moveCount, int32_t checkLevel) {
    runFindings = RunFindings{};
    const bool accepted = acceptsProblem(ctx, initial, moveCount);
    if (accepted) runPhases(ctx, initial, moveCount, checkLevel);
    // A builder may have started the keyboard thread outside any search.
    stopKeyboardThread();
    ctx.reportStream.flush();
    reportStreamHolds(ctx.reportStream);
    return accepted;
}
