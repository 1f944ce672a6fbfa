#include "core/installlayout.h"

#include "core/cachetable.h"
#include "core/driver.h"
#include "core/volumes.h"
#include "core/writers.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

namespace orvanta {

std::vector<VolumeCandidate> collectCandidates(SystemApi &system) {
    Driver driver(system);
    std::vector<VolumeCandidate> candidates;
    for (wchar_t letter = L'C'; letter <= L'Z'; ++letter) {
        std::uint64_t freeBytes = 0;
        if (!eligibleVolume(letter, freeBytes, system))
            continue;
        VolumeQueryResult query;
        if (!driver.queryVolume(letter, query))
            continue;
        const std::int32_t weight = query.rating > HeavyRating ? 2 : 1;
        candidates.push_back(VolumeCandidate{letter, weight, 0, query, freeBytes});
    }
    return candidates;
}

void mergeSameDisk(std::vector<VolumeCandidate> &candidates) {
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        std::size_t j = i + 1;
        while (j < candidates.size()) {
            if (candidates[j].query.diskId != candidates[i].query.diskId) {
                ++j;
                continue;
            }
            if (candidates[i].freeBytes < candidates[j].freeBytes)
                candidates[i] = candidates[j];
            // The record that moves into position j is compared next.
            candidates.erase(candidates.begin() + static_cast<std::ptrdiff_t>(j));
        }
    }
}

void sortByRating(std::vector<VolumeCandidate> &candidates) {
    for (std::size_t i = 0; i < candidates.size(); ++i)
        for (std::size_t j = i + 1; j < candidates.size(); ++j)
            if (candidates[i].query.rating < candidates[j].query.rating)
                std::swap(candidates[i], candidates[j]);
}

namespace {
// Gigabytes a volume may still take: its free gigabytes less what it has and the reserve.
std::int64_t roomGB(const VolumeCandidate &candidate) {
    // Taken whole as signed 32 bits, 2^31 GB or more would read as negative (or as a few GB)
    // and such a volume would get nothing.
    const std::int64_t freeGB = std::min<std::uint64_t>(candidate.freeBytes >> 30, INT32_MAX);
    const std::int64_t room = freeGB - candidate.allottedGB - InstallReserveGB;
    return std::max<std::int64_t>(room, 0);
}
} // namespace

void distributeBudget(std::vector<VolumeCandidate> &candidates) {
    std::int64_t totalWeight = 0;
    for (const VolumeCandidate &candidate : candidates)
        totalWeight += candidate.weight;
    // Weights are 1 or 2 when collected; a list without any weight (or without any candidate)
    // has nothing to share by.
    if (totalWeight <= 0)
        return;

    std::int64_t remaining = InstallBudgetGB;
    for (;;) {
        const std::int64_t passStart = remaining;
        for (VolumeCandidate &candidate : candidates) {
            if (remaining <= 0)
                break;
            const std::int64_t weight = candidate.weight;
            std::int64_t share = weight * passStart / totalWeight;
            if (share < weight)
                share = std::min(weight, remaining);
            share = std::min(share, roomGB(candidate));
            share = std::min(share, remaining);
            // Only a negative weight could make it negative; giving back would never end.
            if (share <= 0)
                continue;
            candidate.allottedGB += static_cast<std::int32_t>(share);
            remaining -= share;
        }
        if (remaining == passStart)
            break;
    }
}

CacheTable layoutTable(const std::vector<VolumeCandidate> &candidates) {
    CacheTable table = emptyCacheTable();
    for (const VolumeCandidate &candidate : candidates) {
        if (candidate.allottedGB <= 0)
            continue;
        // The letter formatted as 8-bit text; one that is no plain character names no volume.
        if (candidate.letter <= L' ' || candidate.letter > L'~')
            continue;
        const std::string path{static_cast<char>(candidate.letter), ':', '\\'};
        appendEntry(table, path, candidate.allottedGB, candidate.query.rating);
    }
    return table;
}

std::vector<VolumeCandidate> defaultLayout(SystemApi &system) {
    std::vector<VolumeCandidate> candidates = collectCandidates(system);
    mergeSameDisk(candidates);
    sortByRating(candidates);
    distributeBudget(candidates);
    return candidates;
}

bool installDefaultLayout(SystemApi &system) {
    system.sleep(InstallDelayMs);
    // Collected under the writers' lock too: the free space it shares out is that of the caches
    // in force, which another writer could be changing.
    Driver driver(system);
    const LayoutWrite write = replaceLayout(
        driver, system, [&system] { return layoutTable(defaultLayout(system)); }, false);
    return write.outcome != WriteOutcome::Busy && write.outcome != WriteOutcome::NotCarried;
}

} // namespace orvanta
