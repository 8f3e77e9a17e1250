// The solve state of a fresh run, for tests above the search: the search's
// state, the default header and the keyboard's flags.
#pragma once

#include "driver/keyboard.h"
#include "driver/problem_header.h"
#include "search/search_support.h"

inline void resetSolveState() {
    resetSearchState();
    resetProblemHeader(problem);
    searchContext.composerLine.clear();
    searchContext.forceComposerLine = 0;
    escPressed = 0;
    progressRequested = 0;
}
