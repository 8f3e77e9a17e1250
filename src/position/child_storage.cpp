// The storage kept for child lists: a list of freed blocks per size in
// records, threaded through the blocks themselves (a block's first bytes
// hold the next block while it is kept).
#include <cstring>
#include <new>

#include "position/position.h"

namespace {

struct KeptChildStorage {
    void* firstOfSize[CHILD_STORAGE_KEPT_RECORDS + 1] = {};
    size_t bytes = 0;

    ~KeptChildStorage() {
        for (void*& first : firstOfSize)
            while (first) {
                void* block = first;
                std::memcpy(&first, block, sizeof first);
                ::operator delete(block);
            }
    }
};

// Each thread keeps its own: the search runs on one thread, but lists may be
// made on one and dropped on another (a saved path handed back).
thread_local KeptChildStorage kept;

}  // namespace

Position* takeChildStorage(size_t records) {
    if (records != 0 && records <= CHILD_STORAGE_KEPT_RECORDS) {
        KeptChildStorage& k = kept;
        void*& first = k.firstOfSize[records];
        if (first) {
            void* block = first;
            std::memcpy(&first, block, sizeof first);
            k.bytes -= records * sizeof(Position);
            return static_cast<Position*>(block);
        }
    }
    if (records > SIZE_MAX / sizeof(Position)) throw std::bad_array_new_length();
    return static_cast<Position*>(::operator new(records * sizeof(Position)));
}

void giveBackChildStorage(Position* storage, size_t records) {
    KeptChildStorage& k = kept;
    const size_t size = records * sizeof(Position);
    if (records == 0 || records > CHILD_STORAGE_KEPT_RECORDS || k.bytes + size > CHILD_STORAGE_KEPT_BYTES) {
        ::operator delete(storage);
        return;
    }
    void*& first = k.firstOfSize[records];
    std::memcpy(static_cast<void*>(storage), &first, sizeof first);
    first = storage;
    k.bytes += size;
}

size_t keptChildStorageBytes() { return kept.bytes; }
