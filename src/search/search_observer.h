// What the search tells the layer that runs it. The search itself never
// writes to the console or the report: the driver's observer shows the
// progress, the trace and the monitor, runs the keyboard thread and asks
// whether to stop. Every call comes on the search's thread.
#pragma once

#include "position/position.h"

struct SearchContext;

struct SearchObserver {
    virtual ~SearchObserver() = default;

    // Around one search invocation.
    virtual void invocationStarted(SearchContext&, int16_t /*depth*/) {}
    virtual void invocationEnded(SearchContext&) {}
    // Polled at every node before it is expanded; true stops the search
    // there (the node is then marked interrupted).
    virtual bool stopRequested(SearchContext&, Position& /*node*/) { return false; }
    // Whether childEntered and childReturned are wanted: the search skips
    // the calls when they are not.
    virtual bool watchingChildren() const { return false; }
    virtual void childEntered(SearchContext&, const Position& /*node*/, const Position& /*child*/) {}
    virtual void childReturned(SearchContext&, const Position& /*node*/, const Position& /*child*/) {}
    // A resumed search rebuilt one level of its saved path: move is the saved
    // one from node, child the position searched next; last is true for the
    // path's last level.
    virtual void pathReplayed(const Position& /*node*/, Move /*move*/, const Position& /*child*/, bool /*last*/) {}
};

// Tells nothing and never stops: the observer of a context nobody watches.
extern SearchObserver silentObserver;
