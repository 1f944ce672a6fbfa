#pragma once

// The default cache layout made once at install time: one volume per physical disk, ranked by
// the driver's rating, sharing a budget of 8 GB, sent to the driver in one table.

#include "core/records.h"
#include "system/systemapi.h"

#include <cstdint>
#include <vector>

namespace orvanta {

struct VolumeCandidate {
    wchar_t letter;
    std::int32_t weight;     // 2 for a rating above 512, else 1
    std::int32_t allottedGB; // given by the distribution
    VolumeQueryResult query; // the driver's answer for the volume
    std::uint64_t freeBytes; // available to the caller when the volume was enumerated
};

constexpr unsigned InstallDelayMs = 5000;
constexpr std::int32_t InstallBudgetGB = 8;
constexpr std::int32_t InstallReserveGB = 2; // left free on every volume
constexpr std::uint32_t HeavyRating = 512;   // ratings above it weigh 2

// Every eligible volume, C to Z, that the driver answers the volume query for.
std::vector<VolumeCandidate> collectCandidates(SystemApi &system);
// One record per disk, at the place of its lowest letter, holding its freest volume.
void mergeSameDisk(std::vector<VolumeCandidate> &candidates);
// Highest rating first, by an exchange sort whose exact order of equal ratings matters below.
void sortByRating(std::vector<VolumeCandidate> &candidates);
// Shares the budget in passes by weight, earlier candidates first, each within its room.
void distributeBudget(std::vector<VolumeCandidate> &candidates);
// The table the default layout sends: one entry per candidate with space, in list order.
CacheTable layoutTable(const std::vector<VolumeCandidate> &candidates);

// The candidates collected, merged by disk, ranked and given their shares: the default layout
// as it would be chosen now, before it is sent.
std::vector<VolumeCandidate> defaultLayout(SystemApi &system);

// The whole procedure, after a pause that lets the freshly installed driver come up: the default
// layout collected and sent under the writers' lock. True when the request was carried out (the
// answer is not examined); false, with nothing sent, when another writer kept the lock.
bool installDefaultLayout(SystemApi &system);

} // namespace orvanta
