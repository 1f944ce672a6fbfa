#pragma once

// The exact 2296 bytes of a cache table as the driver must receive them, laid out by hand
// rather than by the code under test: entries packed from 0, everything else zero.

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace orvanta::testing {

constexpr std::uint64_t GB = std::uint64_t(1) << 30;

struct ExpectedEntry {
    const char *path;
    std::int64_t gigabytes;
    std::uint32_t rating;
};

inline std::vector<std::uint8_t> expectedTable(std::initializer_list<ExpectedEntry> entries) {
    std::vector<std::uint8_t> table(2296, 0);
    std::size_t offset = 8;
    for (const ExpectedEntry &entry : entries) {
        std::memcpy(&table[offset], entry.path, std::strlen(entry.path));
        const std::int64_t bytes = entry.gigabytes * std::int64_t(GB);
        std::memcpy(&table[offset + 64], &bytes, 8);
        std::memcpy(&table[offset + 80], &entry.rating, 4);
        offset += 88;
    }
    return table;
}

} // namespace orvanta::testing
