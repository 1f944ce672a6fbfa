#pragma once

// The exact 2296 bytes of a cache table as the monitor must send it, built independently of
// the code under test: entries packed from 0, everything else zero.

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>

namespace orvanta::testing {

struct ExpectedEntry {
    const char *path;
    std::int64_t gigabytes;
    std::uint32_t rating;
};

inline std::string expectedTableBytes(std::initializer_list<ExpectedEntry> entries) {
    std::string table(2296, '\0');
    std::size_t offset = 8;
    for (const ExpectedEntry &entry : entries) {
        std::memcpy(&table[offset], entry.path, std::strlen(entry.path));
        const std::int64_t bytes = entry.gigabytes * (std::int64_t(1) << 30);
        std::memcpy(&table[offset + 64], &bytes, 8);
        std::memcpy(&table[offset + 80], &entry.rating, 4);
        offset += 88;
    }
    return table;
}

} // namespace orvanta::testing
