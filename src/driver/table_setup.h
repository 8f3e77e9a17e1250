// The position table of a run.
#pragma once

#include "driver/problem_header.h"

// Sizes the table from the header's memory figure (20 MB at least), checks
// it against the available memory and allocates it, with the console
// messages of a refusal; the table's own notices then go to the console.
// False on failure; the caller waits for a key and exits 1.
bool setUpTableForRun(const ProblemHeader& header);
