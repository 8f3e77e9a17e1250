// Checking a whole collection: every problem file of the named files and
// folders in turn, unattended, with one table of the results at the end.
#pragma once

#include <string>
#include <vector>

// Exit codes of a batch: every problem checked and sound, some problem with
// a finding or no mate, and a problem that could not be checked (refused,
// failed, or the batch stopped).
constexpr int BATCH_ALL_SOUND = 0;
constexpr int BATCH_FAILURE = 1;
constexpr int BATCH_FINDINGS = 2;

// Each problem is checked in a child process of its own, as a run of the
// program with standard input at its end (every question answered No) and
// the console discarded; its report is written beside it as by any run.
// The table goes to the console and to kelvaro-batch.tsv (UTF-8) in the
// current folder. Ctrl-C stops the problem under way and the batch.
int runBatch(const std::vector<std::string>& paths);
