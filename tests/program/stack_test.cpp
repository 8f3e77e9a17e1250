// Stack use of the recursive search: measured on a painted stack, per ply,
// from two searches that reach different depths. The solving thread's
// stack must hold the deepest search a problem may ask for (2999 moves).
#include <gtest/gtest.h>

#include <pthread.h>
#include <sys/mman.h>

#include <cstdio>
#include <cstring>

#include "driver/large_stack.h"
#include "corpus_problem.h"

namespace {

constexpr size_t PAINTED_BYTES = size_t(64) << 20;
constexpr uint8_t PAINT = 0xA5;

struct StackRun {
    const char* file;
    int16_t depth;
    size_t usedBytes = 0;
    int deepestPly = 0;
    Position* root = nullptr;
};

// Only the search runs on the painted stack: reading the problem file has
// large frames of its own that would hide the search's.
void* searchOnPaintedStack(void* arg) {
    StackRun& run = *static_cast<StackRun*>(arg);
    invokeSearch(searchContext, *run.root, run.depth);
    run.deepestPly = searchContext.deepestPly - searchContext.rootPly;
    return nullptr;
}

// Runs the search on a thread whose stack was painted first; the bytes it
// touched, counted from the top.
::testing::AssertionResult measure(StackRun& run) {
    static Position root;
    if (!loadCorpusProblem(run.file, root)) return ::testing::AssertionSuccess();  // no corpus: skipped below
    run.root = &root;
    void* stack = mmap(nullptr, PAINTED_BYTES, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (stack == MAP_FAILED) return ::testing::AssertionFailure() << "no memory for the stack";
    std::memset(stack, PAINT, PAINTED_BYTES);
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstack(&attr, stack, PAINTED_BYTES);
    pthread_t thread;
    const bool started = pthread_create(&thread, &attr, searchOnPaintedStack, &run) == 0;
    pthread_attr_destroy(&attr);
    if (started) pthread_join(thread, nullptr);
    const uint8_t* bytes = static_cast<const uint8_t*>(stack);
    size_t untouched = 0;
    while (untouched < PAINTED_BYTES && bytes[untouched] == PAINT) ++untouched;
    munmap(stack, PAINTED_BYTES);
    releasePositionTable();
    resetSolveState();
    if (!started) return ::testing::AssertionFailure() << "no thread";
    run.usedBytes = PAINTED_BYTES - untouched;
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST(StackDepth, ThreeThousandPliesFitTheSolverStackWithRoom) {
    StackRun shallow{"kif/s005.kif", 1};
    StackRun deep{"kif/m035.kif", 29};
    ASSERT_TRUE(measure(shallow));
    ASSERT_TRUE(measure(deep));
    if (deep.deepestPly == 0) SKIP_OR_FAIL_WITHOUT_DATA("the corpus is not there");
    ASSERT_GT(deep.deepestPly, shallow.deepestPly + 10);
    const double perPly =
        double(deep.usedBytes - shallow.usedBytes) / double(deep.deepestPly - shallow.deepestPly);
    const double base = double(shallow.usedBytes) - perPly * shallow.deepestPly;
    const double forMaxDepth = base + perPly * 3000;
    std::printf("stack: %zu bytes at %d plies, %zu bytes at %d plies: %.0f bytes per ply, "
                "%.1f MB for 3000 plies of %zu MB\n",
                shallow.usedBytes, shallow.deepestPly, deep.usedBytes, deep.deepestPly, perPly, forMaxDepth / 1048576.0,
                SOLVER_STACK_BYTES >> 20);
#ifndef __SANITIZE_ADDRESS__
    // No Position record (1936 bytes) lives in a frame of the recursion.
    // (The address sanitizer gives every local of the inlined helpers a
    // frame slot of its own with guard zones, some 2.9 KB per ply.)
    EXPECT_LT(perPly, 1936.0);
#endif
    EXPECT_LT(forMaxDepth * 8, double(SOLVER_STACK_BYTES));
}
