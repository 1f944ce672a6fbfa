#pragma once

#include "core/records.h"
#include "system/systemapi.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orvanta {

// The root of a drive letter as the system calls want it: letter, colon, backslash (C:\).
std::wstring volumeRoot(wchar_t letter);

// The sum of two byte counts, held at the largest value instead of wrapping: the counts come from
// disks and from the driver, and a wrapped sum would show a full volume as an empty one.
std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b);

// The kind of volume a cache can live on: a fixed drive whose file system is exactly "NTFS".
bool isCacheVolumeKind(unsigned driveType, const std::wstring &fileSystem);

// The name of the driver's cache file for the cache table's entry at a position: orvn#001.io
// for position 0 up to orvn#026.io for the last entry (the pattern "orvn#%03d.io").
std::wstring cacheFileName(int position);

// Whether the volume of a letter from C to Z can hold a cache: a fixed drive whose volume
// information reads, whose file system is exactly "NTFS" and whose free space can be asked.
// On success freeBytes holds the bytes available to the caller.
bool eligibleVolume(wchar_t letter, std::uint64_t &freeBytes, SystemApi &system);

// The eligible letters in ascending order; A and B are never looked at.
std::vector<wchar_t> eligibleVolumes(SystemApi &system);

// Whole gigabytes free for caching on a volume: the bytes available to the caller plus the
// driver's own cache files orvn#001.io to orvn#026.io in the root, which it would give back.
// 0 when the volume cannot be asked; INT_MAX at most. Asks the disk afresh on every call.
int freeSpaceGB(const std::wstring &root, SystemApi &system);

// The Caches tab's rule for a size chosen for a volume (whole GB up to MaxCacheGB): what the row
// keeps of it. A size that would leave CacheReserveGB or less of what is free for caching is
// pulled back to what leaves exactly that much, or to 0 when not even that is free; the size the
// driver holds is always kept. orvanta-ctl takes a size exactly when it is kept unchanged.
constexpr int MaxCacheGB = 16;
constexpr int CacheReserveGB = 2;
inline int cacheSizeKept(int freeGB, int gigabytes, int sizeInForce) {
    if (gigabytes == sizeInForce || freeGB - gigabytes > CacheReserveGB)
        return gigabytes;
    return freeGB - CacheReserveGB > 0 ? freeGB - CacheReserveGB : 0;
}

// What a row shows as free beside a size: the gigabytes free for caching the size leaves, never
// below 0.
inline int freeLeftGB(int freeGB, int gigabytes) {
    return freeGB - gigabytes > 0 ? freeGB - gigabytes : 0;
}

// A volume's entry of the cache table as the Caches tab sends it: its root, the size, and for a
// cache the volume's rating (a volume without a cache is rated 0).
CacheEntry cacheEntryFor(wchar_t letter, std::int32_t gigabytes, std::uint32_t rating);

} // namespace orvanta
