#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "position/position.h"

namespace {

ChildList listOf(size_t records) {
    ChildList list;
    list.resize(records);
    return list;
}

// Each thread keeps storage of its own: a new thread starts with none kept,
// whatever the tests before left behind.
template <typename Body>
void onFreshThread(Body body) {
    std::thread thread(body);
    thread.join();
}

// A list of few children never holds the storage of a bigger one freed just
// before (a deep path of such lists would hold many times its records), and
// the storage of a list of the same size comes back, still warm.
TEST(ChildStorage, ListsGetStorageOfTheirOwnSizeAndReuseIt) {
    onFreshThread([] {
        const Position* fiveFirst;
        {
            ChildList five = listOf(5);
            fiveFirst = five.data();
            ChildList big = listOf(CHILD_STORAGE_KEPT_RECORDS);
        }
        const size_t keptBefore = keptChildStorageBytes();
        {
            ChildList three = listOf(3);
            EXPECT_EQ(three.capacity(), 3u);
            EXPECT_EQ(keptChildStorageBytes(), keptBefore) << "a list of 3 took kept storage of another size";
            ChildList five = listOf(5);
            EXPECT_EQ(five.data(), fiveFirst);
            EXPECT_EQ(keptChildStorageBytes(), keptBefore - 5 * sizeof(Position));
        }
        EXPECT_EQ(keptChildStorageBytes(), keptBefore + 3 * sizeof(Position));
    });
}

TEST(ChildStorage, KeptStorageStaysWithinItsBound) {
    onFreshThread([] {
        const size_t keptBefore = keptChildStorageBytes();
        { ChildList huge = listOf(CHILD_STORAGE_KEPT_RECORDS + 1); }
        EXPECT_EQ(keptChildStorageBytes(), keptBefore) << "storage of a long list was kept";

        std::vector<ChildList> lists;
        const size_t records = CHILD_STORAGE_KEPT_RECORDS;
        const size_t many = CHILD_STORAGE_KEPT_BYTES / (records * sizeof(Position)) + 8;
        for (size_t i = 0; i < many; ++i) lists.push_back(listOf(records));
        lists.clear();
        EXPECT_LE(keptChildStorageBytes(), CHILD_STORAGE_KEPT_BYTES);
        EXPECT_GT(keptChildStorageBytes(), CHILD_STORAGE_KEPT_BYTES - records * sizeof(Position));

        // Growing a list one child at a time passes its storage through the
        // kept lists of every size and loses none of its records.
        ChildList grown;
        for (int i = 0; i < 40; ++i) {
            grown.emplace_back();
            grown.back().ply = int16_t(i);
        }
        for (int i = 0; i < 40; ++i) ASSERT_EQ(grown[size_t(i)].ply, i);
    });
}

// A list made on one thread may be dropped on another: the storage goes to
// the dropping thread's kept lists and each thread frees its own at exit.
TEST(ChildStorage, ListsCrossThreads) {
    ChildList made = listOf(7);
    made[6].ply = 42;
    size_t keptOnOther = 0;
    std::thread other([&] {
        ChildList taken = std::move(made);
        EXPECT_EQ(taken[6].ply, 42);
        taken = ChildList{};
        keptOnOther = keptChildStorageBytes();
    });
    other.join();
    EXPECT_EQ(keptOnOther, 7 * sizeof(Position)) << "the storage was not kept by the thread that dropped it";
}

}  // namespace
