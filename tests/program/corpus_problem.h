// A corpus problem read by the program's reader and set up as a search root.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "driver/solve.h"
#include "driver/solve_support.h"
#include "driver/table_setup.h"
#include "position/validate.h"
#include "program/problem_reader.h"
#include "test_data.h"

// Reads a corpus problem into root, set up as its diagram and hands give it
// (the reader's header, rules and move list replace those of the run).
inline ::testing::AssertionResult readCorpusPosition(const std::string& file, Position& root) {
    resetSolveState();
    std::ifstream in(std::string(KELVARO_CORPUS_DIR) + "/" + file, std::ios::binary);
    if (!in) return ::testing::AssertionFailure() << "cannot open " << file;
    ProblemSetup setup{};
    std::string refusal;
    if (!readProblemFile(in, setup, refusal)) return ::testing::AssertionFailure() << file << " refused";
    root = Position{};
    setUpPosition(root, setup.diagram, setup.handCounts, firstMover());
    if (!validateInitialPosition(root)) return ::testing::AssertionFailure() << file << " fails validation";
    return ::testing::AssertionSuccess();
}

// Reads a corpus problem into root and creates the table its memory figure
// asks for. The caller releases the table.
inline ::testing::AssertionResult loadCorpusProblem(const std::string& file, Position& root) {
    const ::testing::AssertionResult read = readCorpusPosition(file, root);
    if (!read) return read;
    setUpSidesAndHandSaving(searchContext);
    if (ruleSwitches.RuleFlags & GOAL_REPETITION) searchContext.goalPosition = &root;
    if (!allocatePositionTable(tableCapacityForMemory(tableMegabytes(problem))))
        return ::testing::AssertionFailure() << "no table";
    return ::testing::AssertionSuccess();
}
