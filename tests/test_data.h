// Data the tests read from the source tree (the corpus, fixtures). It is part
// of the repository: a test that cannot find it fails under CI (the variable
// CI set) and elsewhere is skipped with the reason, for a partial checkout.
// The same holds for what a test sets up and CI can always give it (a tmpfs
// mounted as root).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

#define SKIP_OR_FAIL_WITHOUT_DATA(reason)       \
    do {                                        \
        if (std::getenv("CI")) FAIL() << reason; \
        GTEST_SKIP() << reason;                 \
    } while (0)
