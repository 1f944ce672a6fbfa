#pragma once

#include "core/records.h"

#include <cstdint>
#include <string>

namespace orvanta {

// All 2296 bytes zero: reserved bytes, status and every entry.
CacheTable emptyCacheTable();

// Writes the volume root into an entry's 64-byte path: at most 63 bytes and a NUL.
void setEntryPath(CacheEntry &entry, const std::string &path8bit);

// GB widened with its sign and shifted left by 30.
std::int64_t gigabytesToBytes(std::int32_t gigabytes);
void setEntrySizeGB(CacheEntry &entry, std::int32_t gigabytes);

// sizeBytes as unsigned, shifted right by 30, low 32 bits: anything below a whole GB is dropped.
std::int32_t entrySizeGB(const CacheEntry &entry);

// The path text of an entry up to its NUL, never past the 64-byte field.
std::string entryPath(const CacheEntry &entry);
// The path upper-cased (ASCII letters only), as entries are compared with a volume root.
std::string entryRoot(const CacheEntry &entry);

// Fills the next empty entry (the first whose path is empty) with path, size and rating.
// Returns that entry, or nullptr when all 26 are taken.
CacheEntry *appendEntry(CacheTable &table, const std::string &path8bit, std::int32_t gigabytes,
                        std::uint32_t rating);

// The entry of a volume root such as "C:\": every entry's path upper-cased and compared whole;
// the last match wins; an empty path never matches. nullptr when there is none.
const CacheEntry *findEntry(const CacheTable &table, const std::string &root);

// The driver's verdict in an answer: a valid table (get) or every cache enabled (set).
inline bool driverConfirmed(const CacheTable &answer) {
    return answer.status != 0;
}

} // namespace orvanta
