#include "core/writers.h"

#include "core/cachetable.h"
#include "core/volumes.h"

#include <algorithm>
#include <string>

namespace orvanta {

WriterLock::WriterLock(SystemApi &system, unsigned timeoutMs)
    : system_(system)
    , held_(system.lockWriters(timeoutMs)) {}

WriterLock::~WriterLock() {
    if (held_)
        system_.unlockWriters();
}

namespace {

// Packs entries from the first on; false once all 26 are taken.
class TableBuilder {
public:
    bool add(const CacheEntry &entry) {
        if (next_ == CacheEntryCount)
            return false;
        table_.entries[next_++] = entry;
        return true;
    }
    const CacheTable &table() const { return table_; }

private:
    CacheTable table_ = emptyCacheTable();
    int next_ = 0;
};

std::vector<const CacheEntry *> entriesOf(const CacheTable &table, const std::string &root) {
    std::vector<const CacheEntry *> found;
    for (const CacheEntry &entry : table.entries)
        if (entryRoot(entry) == root)
            found.push_back(&entry);
    return found;
}

void send(Driver &driver, const CacheTable &table, bool readBack, LayoutWrite &write) {
    write.sent = table;
    switch (driver.applyLayout(table)) {
    case Applied::NotCarried:
        write.outcome = WriteOutcome::NotCarried;
        break;
    case Applied::Refused:
        write.outcome = WriteOutcome::Refused;
        break;
    case Applied::Confirmed:
        write.outcome = WriteOutcome::Confirmed;
        break;
    }
    if (readBack)
        write.after = driver.layout();
}

} // namespace

std::optional<CacheTable> layoutForChange(const CacheTable &held, const std::vector<wchar_t> &rows,
                                          const std::map<wchar_t, int> &chosenGB,
                                          const std::map<wchar_t, std::uint32_t> &ratings) {
    TableBuilder builder;
    std::vector<std::string> rowRoots;
    for (wchar_t letter : rows) {
        const std::wstring wideRoot = volumeRoot(letter);
        const std::string root(wideRoot.begin(), wideRoot.end()); // a letter, ':' and '\'
        rowRoots.push_back(root);
        const std::vector<const CacheEntry *> entries = entriesOf(held, root);
        const auto chosen = chosenGB.find(letter);
        if (chosen == chosenGB.end() && !entries.empty()) {
            for (const CacheEntry *entry : entries)
                if (!builder.add(*entry))
                    return std::nullopt;
            continue;
        }
        const auto rated = ratings.find(letter);
        const std::uint32_t rating = rated != ratings.end() ? rated->second
                                     : entries.empty()      ? 0
                                                            : entries.back()->rating;
        if (!builder.add(
                cacheEntryFor(letter, chosen == chosenGB.end() ? 0 : chosen->second, rating)))
            return std::nullopt;
    }
    for (const CacheEntry &entry : held.entries) {
        const std::string root = entryRoot(entry);
        if (root.empty() || std::find(rowRoots.begin(), rowRoots.end(), root) != rowRoots.end())
            continue;
        if (!builder.add(entry))
            return std::nullopt;
    }
    return builder.table();
}

namespace {
// The volume query for each row the user gave a cache, in row order, as the rows are built.
std::map<wchar_t, std::uint32_t> ratingsOfChanged(Driver &driver, const std::vector<wchar_t> &rows,
                                                  const std::map<wchar_t, int> &chosenGB) {
    std::map<wchar_t, std::uint32_t> ratings;
    for (wchar_t letter : rows) {
        const auto chosen = chosenGB.find(letter);
        VolumeQueryResult query;
        if (chosen != chosenGB.end() && chosen->second != 0 && driver.queryVolume(letter, query))
            ratings[letter] = query.rating;
    }
    return ratings;
}
} // namespace

LayoutWrite changeLayout(Driver &driver, SystemApi &system, const std::vector<wchar_t> &rows,
                         const std::map<wchar_t, int> &chosenGB) {
    LayoutWrite write;
    const WriterLock lock(system);
    if (!lock.held())
        return write;
    write.before = driver.layout();
    if (!write.before.readable()) {
        write.outcome = WriteOutcome::Unreadable;
        return write;
    }
    const std::optional<CacheTable> table = layoutForChange(
        write.before.table, rows, chosenGB, ratingsOfChanged(driver, rows, chosenGB));
    if (!table) {
        write.outcome = WriteOutcome::TooLarge;
        return write;
    }
    send(driver, *table, true, write);
    return write;
}

LayoutWrite replaceLayout(Driver &driver, SystemApi &system,
                          const std::function<CacheTable()> &build, bool report) {
    LayoutWrite write;
    const WriterLock lock(system);
    if (!lock.held())
        return write;
    if (report)
        write.before = driver.layout();
    send(driver, build(), report, write);
    return write;
}

OptionsWrite changeOptions(Driver &driver, SystemApi &system,
                           const std::vector<OptionChange> &changes) {
    OptionsWrite write;
    const WriterLock lock(system);
    if (!lock.held())
        return write;
    OptionFlags flags;
    if (!driver.options(flags)) {
        write.outcome = WriteOutcome::Unreadable;
        return write;
    }
    write.before = flags;
    for (const OptionChange &change : changes)
        flags.*change.flag = change.value;
    const bool sent = driver.setOptions(flags);
    OptionFlags held;
    if (driver.options(held))
        write.after = held;
    bool taken = write.after.has_value();
    for (const OptionChange &change : changes)
        taken = taken && (*write.after).*change.flag == change.value;
    write.outcome = !sent   ? WriteOutcome::NotCarried
                    : taken ? WriteOutcome::Confirmed
                            : WriteOutcome::Refused;
    return write;
}

} // namespace orvanta
