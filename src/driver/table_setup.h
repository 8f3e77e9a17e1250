// The position table of a run.
#pragma once

#include <cstdint>

#include "driver/problem_header.h"

// The table of a problem whose remarks name no size. At 20 MB the long
// problems spend their examination reclaiming and re-proving what the table
// let go; 240 MB holds the corpus's problems of up to about a hundred moves
// without a reclamation and is at hand on any machine we run on.
constexpr int32_t DEFAULT_TABLE_MB = 240;
constexpr int32_t SMALLEST_TABLE_MB = 20;

// The megabytes the table takes: the remark's figure raised to 20, or the
// default when the remarks name none.
int32_t tableMegabytes(const ProblemHeader& header);

// Sizes the table from the header's memory figure, checks it against the
// available memory and allocates it, with the console messages of a
// refusal; the table's own notices then go to the console. A default that
// the machine cannot spare gives way to what it can, with a notice; a size
// the remarks ask for is refused instead. False on failure; the caller waits
// for a key and exits 1.
bool setUpTableForRun(const ProblemHeader& header);
