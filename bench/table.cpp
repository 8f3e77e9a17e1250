// Throughput of the position table: stores and lookups with random keys on
// tables of 2^20 and 2^24 entries, filled to 60 % (between the half that
// reclamation leaves and the 80 % that starts it) with the mix of entries a
// search leaves behind.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <random>
#include <sstream>
#include <vector>

#include "search/position_table.h"
#include "search/search_context.h"

namespace {

constexpr double PREFILL = 0.6;
constexpr size_t SAMPLE_KEYS = 1 << 20;

struct StoredKey {
    uint64_t key;
    int16_t ply;
};

int prefilledBits = 0;
std::vector<StoredKey> storedKeys;  // a sample of what the prefill stored
std::mt19937_64 rng(20240601);

// Reclamation reports on the console; keep it out of the figures' output.
struct QuietConsole {
    std::ostringstream sink;
    std::streambuf* saved = std::cout.rdbuf(sink.rdbuf());
    ~QuietConsole() { std::cout.rdbuf(saved); }
};

// A search-like node: mostly unresolved entries at plies up to 30, some
// proofs and disproofs.
void randomNode(Position& p, uint64_t key) {
    const uint32_t r = uint32_t(rng());
    p.positionKey = key;
    p.pathKey = key ^ rng();
    p.ply = int16_t(1 + r % 30);
    p.loopDisproof = 0;
    p.treeSize = 1 + (r >> 8) % 5000;
    p.openTreeSize = 1 + (r >> 8) % 500;
    switch ((r >> 24) % 10) {
    case 0: p.proofNumber = 0; p.disproofNumber = INFINITE_NUMBER; break;
    case 1: p.proofNumber = INFINITE_NUMBER; p.disproofNumber = 0; break;
    case 2: p.proofNumber = LARGEST_FINITE; p.disproofNumber = 0; break;
    default: p.proofNumber = 1 + r % 40; p.disproofNumber = 1 + (r >> 6) % 40; break;
    }
}

void prepareTable(int bits) {
    if (prefilledBits == bits) return;
    QuietConsole quiet;
    if (!allocatePositionTable((uint64_t(1) << bits) - 1)) {
        std::cerr << "table of 2^" << bits << " entries not allocated\n";
        std::exit(1);
    }
    storedKeys.clear();
    auto p = std::make_unique<Position>();
    const uint64_t target = uint64_t(double(positionTable.capacity) * PREFILL);
    while (positionTable.usedCount < target) {
        const uint64_t key = rng();
        randomNode(*p, key);
        store(*p, int16_t(p->ply % 7));
        if (storedKeys.size() < SAMPLE_KEYS && p->proofNumber && p->disproofNumber)
            storedKeys.push_back({key, p->ply});
    }
    prefilledBits = bits;
}

void report(benchmark::State& state) {
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.counters["fill%"] = 100.0 * double(positionTable.usedCount) / double(positionTable.capacity);
}

void BM_LookupHit(benchmark::State& state) {
    prepareTable(int(state.range(0)));
    auto p = std::make_unique<Position>();
    searchContext.deepestPly = 0;
    searchContext.depthLimit = 31;
    size_t i = 0, hits = 0;
    for (auto _ : state) {
        const StoredKey& k = storedKeys[i++ % storedKeys.size()];
        p->positionKey = k.key;
        p->pathKey = ~k.key;
        p->ply = k.ply;
        p->proofNumber = p->disproofNumber = 1;
        p->shallowestPly = NO_PLY;
        hits += lookup(searchContext, *p, 5) != nullptr;
    }
    report(state);
    state.counters["hit%"] = 100.0 * double(hits) / double(i);
}

void BM_LookupMiss(benchmark::State& state) {
    prepareTable(int(state.range(0)));
    auto p = std::make_unique<Position>();
    for (auto _ : state) {
        p->positionKey = rng();
        p->pathKey = rng();
        p->ply = 10;
        p->shallowestPly = NO_PLY;
        benchmark::DoNotOptimize(lookup(searchContext, *p, 5));
    }
    report(state);
}

// Stores keep filling the table, so reclamation runs now and then and its
// cost is part of the figure.
void BM_Store(benchmark::State& state) {
    prepareTable(int(state.range(0)));
    QuietConsole quiet;
    auto p = std::make_unique<Position>();
    for (auto _ : state) {
        randomNode(*p, rng());
        benchmark::DoNotOptimize(store(*p, int16_t(p->ply % 7)));
    }
    prefilledBits = 0;  // the fill has changed: prepare afresh next time
    report(state);
}

// Creation cost: mapping, committing and writing the fresh state.
void BM_Allocate(benchmark::State& state) {
    const uint64_t capacity = (uint64_t(1) << state.range(0)) - 1;
    for (auto _ : state) {
        if (!allocatePositionTable(capacity)) state.SkipWithError("allocation refused");
    }
    prefilledBits = 0;
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t((capacity + 1) * sizeof(TableEntry)));
}

}  // namespace

BENCHMARK(BM_Allocate)->Arg(24)->Arg(27)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LookupHit)->Arg(20)->Arg(24);
BENCHMARK(BM_LookupMiss)->Arg(20)->Arg(24);
BENCHMARK(BM_Store)->Arg(20)->Arg(24);
