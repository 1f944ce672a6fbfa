#pragma once

// The check the libFuzzer targets share: a broken invariant ends the run like a crash, and
// libFuzzer keeps the input that caused it.

#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(condition, ...)                                                                 \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "\nInvariant broken at %s:%d: %s\n", __FILE__, __LINE__,          \
                         #condition);                                                              \
            std::fprintf(stderr, "  " __VA_ARGS__);                                                \
            std::fprintf(stderr, "\n");                                                            \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace orvanta::fuzzing {

inline std::string decimal(unsigned __int128 value) {
    if (value == 0)
        return "0";
    std::string digits;
    while (value != 0) {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
        value /= 10;
    }
    return digits;
}

} // namespace orvanta::fuzzing
