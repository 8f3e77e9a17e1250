// A clock that only goes forward, for lengths of time within a run: the
// wall clock may be set back meanwhile. (<chrono> does not compile with the
// CP932 execution character set.)
#pragma once

#include <time.h>

#include <cstdint>

inline int64_t monotonicMilliseconds() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}
