// Stopping a search: ESC from the keyboard thread, "y" to the question,
// and what the stopped search leaves behind for a later resumption.
#include <gtest/gtest.h>

#include <condition_variable>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>

#include "console_capture.h"
#include "driver/console_observer.h"
#include "corpus_problem.h"

namespace {

const char* const PROBLEM = "kif/m017.kif";
const int16_t DEPTH = 21;

// The console observer, except that the search is held at its first node
// past `positions` until the test has pressed its keys: they land deep in
// the tree, and before the search ends, however fast the machine.
class HeldSearch final : public SearchObserver {
public:
    explicit HeldSearch(uint64_t positions) : positions_(positions) {}

    // On the test's thread: whether the search is held (false when it ended
    // first, or the safety time-out passed).
    bool waitUntilHeld() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(120), [&] { return held_ || ended_; });
        return held_;
    }
    void release() { set(released_); }
    void searchEnded() { set(ended_); }

    bool stopRequested(SearchContext& ctx, Position& node) override {
        if (ctx.nodeCount >= positions_ && !held_) {
            set(held_);
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return released_; });
        }
        return consoleObserver.stopRequested(ctx, node);
    }
    void invocationStarted(SearchContext& ctx, int16_t depth) override { consoleObserver.invocationStarted(ctx, depth); }
    void invocationEnded(SearchContext& ctx) override { consoleObserver.invocationEnded(ctx); }
    bool watchingChildren() const override { return consoleObserver.watchingChildren(); }
    void childEntered(SearchContext& ctx, const Position& node, const Position& child) override {
        consoleObserver.childEntered(ctx, node, child);
    }
    void childReturned(SearchContext& ctx, const Position& node, const Position& child) override {
        consoleObserver.childReturned(ctx, node, child);
    }
    void pathReplayed(const Position& node, Move move, const Position& child, bool last) override {
        consoleObserver.pathReplayed(node, move, child, last);
    }

private:
    void set(bool& flag) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            flag = true;
        }
        changed_.notify_all();
    }

    const uint64_t positions_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false, released_ = false, ended_ = false;
};

class SearchInterruption : public ::testing::Test {
protected:
    void SetUp() override { searchContext.observer = &consoleObserver; }
    void TearDown() override {
        searchContext.observer = &silentObserver;
        releasePositionTable();
        resetSolveState();
    }
    Position root{};
};

}  // namespace

TEST_F(SearchInterruption, YesStopsTheWholePathAndTheSavedPathResumes) {
    if (!loadCorpusProblem(PROBLEM, root)) SKIP_OR_FAIL_WITHOUT_DATA("the corpus is not there");
    std::string console;
    {
        // Some 100,000 of the search's 600,000 positions.
        HeldSearch held(100000);
        searchContext.observer = &held;
        RedirectedConsole redirect("y\n");
        std::thread solver([&] {
            invokeSearch(searchContext, root, DEPTH);
            held.searchEnded();
        });
        const bool wasHeld = held.waitUntilHeld();
        // Keys arrive from another thread than the search's: '+' reads the
        // depth limit of the running search.
        if (wasHeld) {
            handleKey('+');
            handleKey(27);
        }
        held.release();
        solver.join();
        console = redirect.restore();
        searchContext.observer = &consoleObserver;
        ASSERT_TRUE(wasHeld) << "the search ended before 100,000 positions";
    }
    EXPECT_NE(std::string::npos, console.find("中断しますか？（Y/N）：")) << console;
    EXPECT_NE(std::string::npos, console.find("局面表使用率：")) << console;
    EXPECT_EQ(std::string::npos, console.find("再開します"));
    EXPECT_EQ(0, escPressed.load());
    EXPECT_EQ(0, keyboardThreadRunning.load());

    // The root and every node of the path are stopped; each node above the
    // stopping one left its record and its child list, root first.
    ASSERT_EQ(STATUS_INTERRUPTED, root.searchStatus);
    ASSERT_TRUE(root.proofNumber != 0 && root.disproofNumber != 0);
    ASSERT_GE(resumePath.size(), 1u);
    ASSERT_EQ(resumePath.size(), searchContext.savedChildLists.size());
    EXPECT_EQ(root.proofNumber, resumePath.front().proofNumber);
    EXPECT_EQ(root.disproofNumber, resumePath.front().disproofNumber);
    auto record = std::next(resumePath.begin());
    int16_t ply = 0;
    for (const ChildList& list : searchContext.savedChildLists) {
        ++ply;
        const bool last = record == resumePath.end();
        const Move next = last ? searchContext.resumeMove : record->lastMove;
        int onPath = 0;
        for (const Position& c : list) {
            EXPECT_EQ(ply, c.ply);
            if (c.lastMove != next) continue;
            ++onPath;
            EXPECT_EQ(STATUS_INTERRUPTED, c.searchStatus) << "ply " << ply;
        }
        EXPECT_EQ(1, onPath) << "ply " << ply;
        if (!last) ++record;
    }
    // The stopping node is the last list's, at the ply kept for resuming.
    EXPECT_EQ(ply, searchContext.resumePly);

    // Taken up again, the saved path is replayed and the search ends as a
    // search from scratch does.
    searchContext.resuming = 1;
    {
        RedirectedConsole redirect("");
        std::thread solver([&] { invokeSearch(searchContext, root, DEPTH); });
        solver.join();
        console = redirect.restore();
    }
    EXPECT_EQ(0, root.proofNumber);
    EXPECT_EQ(STATUS_RUNNING, root.searchStatus);
    EXPECT_EQ(0, searchContext.resuming);
    EXPECT_TRUE(resumePath.empty());
    // The replay prints the moves it follows and the position it reaches.
    const size_t reached = console.find("手目:");
    ASSERT_NE(std::string::npos, reached) << console;
    const size_t diagram = console.find("\n持駒：", reached);
    ASSERT_NE(std::string::npos, diagram) << console;
    EXPECT_EQ(std::string::npos, console.substr(reached, diagram - reached).find('\n')) << console;
    EXPECT_NE(std::string::npos, console.find("+---------------------------+", diagram)) << console;
}

TEST_F(SearchInterruption, AnythingButYContinuesAndLeavesNothingToResume) {
    if (!loadCorpusProblem("kif/m003.kif", root)) SKIP_OR_FAIL_WITHOUT_DATA("the corpus is not there");
    const SearchOutcome quiet = searchRoot(root, 13);
    releasePositionTable();
    ASSERT_TRUE(loadCorpusProblem("kif/m003.kif", root));
    std::string console;
    {
        RedirectedConsole redirect("x\n");
        // ESC before the search starts: the root itself is where it is taken.
        escPressed = 1;
        std::thread solver([&] { invokeSearch(searchContext, root, 13); });
        solver.join();
        console = redirect.restore();
    }
    EXPECT_NE(std::string::npos, console.find("中断しますか？（Y/N）：\n再開します\n")) << console;
    // Taken at the root: an empty line, then ply 0 and the diagram.
    EXPECT_NE(std::string::npos, console.find("/13\n\n0手目：")) << console;
    EXPECT_EQ(0, root.proofNumber);
    EXPECT_EQ(quiet.nodes, searchContext.nodeCount);
    EXPECT_TRUE(resumePath.empty());
    EXPECT_TRUE(searchContext.savedChildLists.empty());
    EXPECT_EQ(0, searchContext.resumePly);
    EXPECT_TRUE(isNoMove(searchContext.resumeMove));
}
