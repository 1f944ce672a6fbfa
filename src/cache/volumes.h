#pragma once

#include "platform/systemapi.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orvanta {

// The root of a drive letter as the system calls want it: letter, colon, backslash (C:\).
std::wstring volumeRoot(wchar_t letter);

// Whether the volume of a letter from C to Z can hold a cache: a fixed drive whose volume
// information reads, whose file system is exactly "NTFS" and whose free space can be asked.
// On success freeBytes holds the bytes available to the caller.
bool eligibleVolume(wchar_t letter, std::uint64_t &freeBytes, SystemApi &system = defaultSystem());

// The eligible letters in ascending order; A and B are never looked at.
std::vector<wchar_t> eligibleVolumes(SystemApi &system = defaultSystem());

// Whole gigabytes free for caching on a volume: the bytes available to the caller plus the
// driver's own cache files orvn#001.io to orvn#026.io in the root, which it would give back.
// 0 when the volume cannot be asked; INT_MAX at most. Asks the disk afresh on every call.
int freeSpaceGB(const std::wstring &root, SystemApi &system = defaultSystem());

} // namespace orvanta
