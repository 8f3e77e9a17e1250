#include "driver/console_observer.h"

#include "base/console.h"
#include "driver/keyboard.h"
#include "driver/notation.h"
#include "driver/problem_header.h"
#include "driver/progress.h"
#include "driver/trace.h"

ConsoleObserver consoleObserver;

void ConsoleObserver::invocationStarted(SearchContext&, int16_t depth) {
    progressRequested = 0;
    // The keyboard thread reads the limit for '+': it gets its own atomic
    // copy, set before the thread starts.
    monitorDepthLimit = depth;
    startedKeyboardThread.push_back(startKeyboardThread());
}

void ConsoleObserver::invocationEnded(SearchContext&) {
    problem.traceOn = 0;
    problem.monitorOn = 0;
    keyboardThreadRunning = 0;
    const bool started = !startedKeyboardThread.empty() && startedKeyboardThread.back();
    if (!startedKeyboardThread.empty()) startedKeyboardThread.pop_back();
    if (started) stopKeyboardThread();
    printKeyboardNotices();
}

bool ConsoleObserver::stopRequested(SearchContext& ctx, Position& node) {
    if (checkInterrupt(ctx, node)) return true;
    if (progressRequested) {
        showProgress(ctx, node);
        progressRequested = 0;
    }
    return false;
}

bool ConsoleObserver::watchingChildren() const { return problem.traceOn || problem.monitorOn; }

void ConsoleObserver::childEntered(SearchContext& ctx, const Position& node, const Position& child) {
    traceNodeEntry(ctx, node, child);
}

void ConsoleObserver::childReturned(SearchContext& ctx, const Position& node, const Position& child) {
    traceNodeReturn(ctx, node, child);
}

void ConsoleObserver::pathReplayed(const Position& node, Move move, const Position& child, bool last) {
    std::ostream& out = consoleOut();
    if (node.ply > 0 && node.ply % 10 == 0) out << '\n';
    out << formatMove(node, move) << std::flush;
    if (!last) return;
    // The diagram starts on a line of its own, as in the progress block.
    out << "\n\n" << node.ply + 1 << "手目:" << formatMove(node, move) << '\n';
    formatDiagram(child, "");
}
