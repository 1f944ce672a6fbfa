#include "core/driver.h"

#include "core/cachetable.h"
#include "core/statusview.h"
#include "core/volumes.h"

#include <algorithm>

namespace orvanta {

bool Driver::status(StatusRecord &record) {
    record = StatusRecord{};
    return channel.driverRequest(IOCTL_GET_STATUS, &record, sizeof record, nullptr, 0);
}

bool Driver::clearStatistics() {
    return channel.driverRequest(IOCTL_CLEAR_STATISTICS, nullptr, 0, nullptr, 0);
}

bool Driver::options(OptionFlags &flags) {
    OptionsRecord record{};
    if (!channel.driverRequest(IOCTL_GET_OPTIONS, &record, sizeof record, nullptr, 0))
        return false;
    flags = optionFlags(record);
    return true;
}

bool Driver::setOptions(const OptionFlags &flags) {
    OptionsRecord record = optionsRecord(flags);
    return channel.driverRequest(IOCTL_SET_OPTIONS, nullptr, 0, &record, sizeof record);
}

LayoutRead Driver::layout() {
    LayoutRead read;
    read.table = emptyCacheTable();
    const bool answered =
        channel.driverRequest(IOCTL_GET_CACHE_TABLE, &read.table, sizeof read.table, nullptr, 0);
    if (answered && driverConfirmed(read.table)) {
        read.state = LayoutRead::Known;
        return read;
    }
    // A status of 0 is the driver's word that no layout is in force; a failed request may have
    // left part of an answer.
    read.state = answered ? LayoutRead::None : LayoutRead::Unreadable;
    read.table = emptyCacheTable();
    return read;
}

Applied Driver::applyLayout(const CacheTable &table) {
    // One buffer both ways: the driver answers in the table it was sent.
    CacheTable answer = table;
    if (!channel.driverRequest(IOCTL_SET_CACHE_TABLE, &answer, sizeof answer, &answer,
                               sizeof answer))
        return Applied::NotCarried;
    return driverConfirmed(answer) ? Applied::Confirmed : Applied::Refused;
}

bool Driver::queryVolume(wchar_t letter, VolumeQueryResult &result) {
    result = VolumeQueryResult{};
    return channel.deviceRequest(std::wstring{letter, L':'}, IOCTL_QUERY_VOLUME, &result,
                                 sizeof result, nullptr, 0);
}

std::optional<CacheTable> layoutForChange(const CacheTable &held, const std::vector<wchar_t> &rows,
                                          const std::map<wchar_t, int> &chosenGB,
                                          SystemApi &system) {
    CacheTable table = emptyCacheTable();
    int next = 0;
    // The entries the rows stand for, by findEntry's rule; others of the same volume are left
    // behind, as a row sends one entry per volume.
    std::vector<const CacheEntry *> rowEntries;
    for (wchar_t letter : rows) {
        if (next == CacheEntryCount)
            return std::nullopt;
        const std::wstring root = volumeRoot(letter);
        const CacheEntry *entry = findEntry(held, std::string(root.begin(), root.end()));
        rowEntries.push_back(entry);
        const auto chosen = chosenGB.find(letter);
        const int size = chosen != chosenGB.end() ? chosen->second
                         : entry                  ? entrySizeGB(*entry)
                                                  : 0;
        fillCacheEntry(table.entries[next++], letter, size, system);
    }
    for (const CacheEntry &entry : held.entries) {
        const std::string root = entryRoot(entry);
        const bool hasRow =
            std::find(rowEntries.begin(), rowEntries.end(), &entry) != rowEntries.end();
        if (root.empty() || hasRow || findEntry(held, root) != &entry)
            continue;
        if (next == CacheEntryCount)
            return std::nullopt;
        table.entries[next++] = entry;
    }
    return table;
}

} // namespace orvanta
