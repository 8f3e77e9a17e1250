// dfpn FILE DEPTH [solve|shorter|verify]: one search of a problem file's
// position at the given depth, as the run's first search does it (solve, the
// default) or as its shorter-mate check or verification would, whose search
// order differs. Prints one line, read by scripts and benchmarks:
//   pn=P dn=D nodes=N seconds=S [length=L, the moves to mate of a proof]
#include <sys/time.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "driver/console_observer.h"
#include "driver/large_stack.h"
#include "driver/problem_header.h"
#include "driver/solve.h"
#include "driver/table_setup.h"
#include "position/position.h"
#include "position/validate.h"
#include "program/problem_reader.h"
#include "search/position_table.h"
#include "search/search.h"
#include "search/search_context.h"

namespace {

double now() {
    timeval tv;
    gettimeofday(&tv, nullptr);
    return double(tv.tv_sec) + double(tv.tv_usec) / 1e6;
}

Position root;

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 3 && argc != 4) {
        std::cerr << "usage: dfpn FILE DEPTH [solve|shorter|verify]\n";
        return 2;
    }
    const std::string phaseName = argc == 4 ? argv[3] : "solve";
    const int32_t phase = phaseName == "solve"     ? PHASE_SOLVING
                          : phaseName == "shorter" ? PHASE_SHORTER_MATE
                          : phaseName == "verify"  ? PHASE_VERIFYING
                                                   : 0;
    if (phase == 0) {
        std::cerr << "dfpn: the phase must be solve, shorter or verify\n";
        return 2;
    }
    char* end = nullptr;
    const long depth = std::strtol(argv[2], &end, 10);
    if (*argv[2] == '\0' || *end != '\0' || depth < 0 || depth > 2999) {
        std::cerr << "dfpn: DEPTH must be a number from 0 to 2999\n";
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    if (!file) {
        std::cerr << "dfpn: cannot open " << argv[1] << "\n";
        return 2;
    }
    ProblemSetup setup{};
    std::string refusal;
    if (!readProblemFile(file, setup, refusal)) {
        std::cerr << "dfpn: the problem file is refused\n";
        return 1;
    }
    setUpPosition(root, setup.diagram, setup.handCounts, firstMover());
    if (!validateInitialPosition(root)) return 1;
    if (!setUpTableForRun(problem)) return 1;

    SearchContext& ctx = searchContext;
    setUpSidesAndHandSaving(ctx);
    if (ruleSwitches.RuleFlags & GOAL_REPETITION) ctx.goalPosition = &root;
    ctx.phase = phase;
    ctx.solutionLength = int16_t(depth);
    problem.traceOn = 0;
    problem.monitorOn = 0;
    // The keys work as in the program: progress, monitor, stop.
    ctx.observer = &consoleObserver;

    const double start = now();
    if (!runOnSolverStack([&] { invokeSearch(ctx, root, int16_t(depth)); })) {
        std::cerr << "dfpn: cannot start the solving thread\n";
        return 1;
    }
    std::printf("pn=%d dn=%d nodes=%llu seconds=%.3f", root.proofNumber, root.disproofNumber,
                (unsigned long long)ctx.nodeCount, now() - start);
    // A proof's length as the table holds it: moves to mate.
    const TableEntry* e = root.proofNumber == 0 ? lookup(ctx, root, int16_t(depth)) : nullptr;
    if (e && isProof(*e)) std::printf(" length=%d", e->length);
    std::printf("\n");
    return 0;
}
