#pragma once

// A broken invariant ends a fuzzing run like a crash, and libFuzzer keeps the input.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, what)                                                                \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "\n%s:%d: %s (%s)\n", __FILE__, __LINE__, what, #condition);      \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
