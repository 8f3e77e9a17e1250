// The driver's observer of every search: the keyboard thread beside each
// invocation, the stop question and the progress block, the trace in the
// report and the monitor on the console, the replay of a resumed path.
#pragma once

#include <vector>

#include "search/search_observer.h"

class ConsoleObserver final : public SearchObserver {
public:
    void invocationStarted(SearchContext& ctx, int16_t depth) override;
    void invocationEnded(SearchContext& ctx) override;
    bool stopRequested(SearchContext& ctx, Position& node) override;
    bool watchingChildren() const override;
    void childEntered(SearchContext& ctx, const Position& node, const Position& child) override;
    void childReturned(SearchContext& ctx, const Position& node, const Position& child) override;
    void pathReplayed(const Position& node, Move move, const Position& child, bool last) override;

private:
    // One flag per running invocation, innermost last: whether it started
    // the keyboard thread (a search nested in another finds it running).
    std::vector<bool> startedKeyboardThread;
};

extern ConsoleObserver consoleObserver;
