// Leaf positions per second of perft(5) from the initial position, every leaf
// made with makeChild.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "position/perft.h"
#include "position/sfen.h"

namespace {

void perftOfTheInitialPosition(benchmark::State& state) {
    static Position root;
    std::string error;
    if (!setUpFromSfen(root, "lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL b - 1", error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const int depth = int(state.range(0));
    uint64_t leaves = 0;
    for (auto _ : state) {
        const uint64_t n = perft(root, depth);
        benchmark::DoNotOptimize(n);
        leaves += n;
    }
    state.counters["leaves/s"] = benchmark::Counter(double(leaves), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(perftOfTheInitialPosition)->Arg(5)->Unit(benchmark::kMillisecond)->MinTime(3.0);
