#include "core/driver.h"

#include "core/cachetable.h"
#include "core/statusview.h"
#include "core/volumes.h"

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
    if (!channel.driverRequest(IOCTL_GET_CACHE_TABLE, &read.table, sizeof read.table, nullptr, 0)) {
        read.table = emptyCacheTable();
        return read;
    }
    // The driver answered: a status of 0 is its word that no layout is in force.
    read.state = driverConfirmed(read.table) ? LayoutRead::Known : LayoutRead::None;
    if (read.state == LayoutRead::None)
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
    std::vector<std::string> rowRoots;
    for (wchar_t letter : rows) {
        if (next == CacheEntryCount)
            return std::nullopt;
        const std::wstring root = volumeRoot(letter);
        rowRoots.emplace_back(root.begin(), root.end()); // a letter, ':' and '\'
        const CacheEntry *entry = findEntry(held, rowRoots.back());
        const auto chosen = chosenGB.find(letter);
        const int size = chosen != chosenGB.end() ? chosen->second
                         : entry                  ? entrySizeGB(*entry)
                                                  : 0;
        fillCacheEntry(table.entries[next++], letter, size, system);
    }
    for (const CacheEntry &entry : held.entries) {
        const std::string root = entryPath(entry);
        bool hasRow = false;
        for (const std::string &rowRoot : rowRoots)
            hasRow = hasRow || findEntry(held, rowRoot) == &entry;
        // findEntry's rule decides which entry a row stands for; the others of the same volume
        // are left behind, as a row sends one entry per volume.
        if (root.empty() || hasRow || findEntry(held, root) != &entry)
            continue;
        if (next == CacheEntryCount)
            return std::nullopt;
        table.entries[next++] = entry;
    }
    return table;
}

} // namespace orvanta
