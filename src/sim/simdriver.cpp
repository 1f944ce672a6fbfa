// The simulated driver's answers, worked out from the machine: the live counters, the cache table
// it reports, and what it makes of a new cache layout.
#include "sim/simmachine.h"

#include "core/cachetable.h"
#include "core/volumes.h"

#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <vector>

namespace orvanta::sim {

namespace {

std::uint64_t saturatingMul(std::uint64_t a, std::uint64_t b) {
    std::uint64_t product;
    return __builtin_mul_overflow(a, b, &product) ? std::numeric_limits<std::uint64_t>::max()
                                                  : product;
}

// rate per second × ms / 1000, exact and without overflow for any rate.
std::uint64_t grownBy(std::uint64_t perSecond, std::uint64_t ms) {
    return saturatingAdd(saturatingMul(perSecond / 1000, ms),
                         saturatingMul(perSecond % 1000, ms) / 1000);
}

std::uint64_t cacheFilesSize(const QString &root, char letter) {
    std::uint64_t total = 0;
    for (const QFileInfo &file : cacheFilesOf(root, letter))
        total = saturatingAdd(total, static_cast<std::uint64_t>(file.size()));
    return total;
}

} // namespace

bool Driver::fails(std::uint32_t code) const {
    return std::find(failing.begin(), failing.end(), code) != failing.end();
}

StatusRecord Driver::statusAt(std::int64_t nowMs) const {
    StatusRecord status{};
    status.state = state;
    status.failsafeReason = failsafeReason;
    status.reserved = reserved;
    status.memoryUsed = memoryUsed;
    status.totalRequests = totalRequests;
    status.totalBytes = totalBytes;
    status.elapsedMs = elapsedMs;
    if (hasWorkload && statisticsSince && nowMs > *statisticsSince) {
        const std::uint64_t ms = static_cast<std::uint64_t>(nowMs - *statisticsSince);
        status.totalRequests = saturatingAdd(totalRequests, grownBy(requestsPerSecond, ms));
        status.totalBytes = saturatingAdd(totalBytes, grownBy(bytesPerSecond, ms));
        status.elapsedMs = saturatingAdd(elapsedMs, ms);
    }
    return status;
}

CacheTable Driver::cacheTable() const {
    CacheTable table = emptyCacheTable();
    if (tableHex && tableHex->size() == int(sizeof table)) {
        std::memcpy(&table, tableHex->constData(), sizeof table);
        return table;
    }
    table.status = tableStatus;
    const std::size_t count = std::min<std::size_t>(tableEntries.size(), CacheEntryCount);
    for (std::size_t i = 0; i < count; ++i) {
        CacheEntry &entry = table.entries[i];
        // A 64-byte path fills the field with no NUL, as the driver would hand it over.
        std::memcpy(entry.path, tableEntries[i].path.constData(),
                    std::min<std::size_t>(tableEntries[i].path.size(), CachePathSize));
        entry.sizeBytes = tableEntries[i].sizeBytes;
        entry.rating = tableEntries[i].rating;
    }
    return table;
}

const Volume *Machine::volume(char letter) const {
    for (const Volume &volume : volumes)
        if (volume.letter == letter)
            return &volume;
    return nullptr;
}

Volume *Machine::volume(char letter) {
    for (Volume &volume : volumes)
        if (volume.letter == letter)
            return &volume;
    return nullptr;
}

bool takeCacheTable(const QString &root, Machine &machine, const CacheTable &received,
                    std::uint32_t &answerStatus, QString &error) {
    Driver &driver = machine.driver;
    const bool automatic = !driver.setTableStatus.has_value();
    std::map<char, std::uint64_t> oldFiles;
    for (const Volume &volume : machine.volumes)
        oldFiles[volume.letter] = cacheFilesSize(root, volume.letter);

    std::map<char, std::uint64_t> granted;
    std::vector<TableEntry> kept;
    bool allEnabled = true;
    for (const CacheEntry &entry : received.entries) {
        if (entry.sizeBytes <= 0)
            continue;
        const std::string path = entryPath(entry);
        TableEntry stored{QByteArray(path.data(), int(path.size())), entry.sizeBytes, entry.rating};
        const char letter = rootLetter(stored.path);
        const Volume *volume = letter ? machine.volume(letter) : nullptr;
        bool fits = false;
        if (volume && volume->fileSystem &&
            isCacheVolumeKind(volume->type, volume->fileSystem->toStdWString())) {
            // The driver's own files count as room: it would reuse their space. Where the free
            // space cannot be asked, they are all the room there is, so a cache it holds stays.
            const std::uint64_t room =
                saturatingAdd(volume->freeBytes.value_or(0), oldFiles[letter]);
            const std::uint64_t size = static_cast<std::uint64_t>(entry.sizeBytes);
            fits = size <= room - granted[letter];
            if (fits)
                granted[letter] += size;
        }
        if (!fits) {
            allEnabled = false;
            if (automatic)
                continue;
        }
        kept.push_back(stored);
    }
    answerStatus = automatic ? (allEnabled ? 1u : 0u) : *driver.setTableStatus;

    std::map<QString, std::int64_t> wanted;
    std::map<char, std::uint64_t> newFiles;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const char letter = rootLetter(kept[i].path);
        if (!letter || !machine.volume(letter))
            continue;
        wanted[cacheFilePath(root, letter, int(i))] = kept[i].sizeBytes;
        newFiles[letter] = saturatingAdd(newFiles[letter], std::uint64_t(kept[i].sizeBytes));
    }
    // Write the new files before removing old ones, so a failure takes nothing away.
    for (const auto &[path, size] : wanted)
        if (!writeCacheFile(path, size, error))
            return false;
    for (const Volume &volume : machine.volumes)
        removeCacheFilesExcept(root, volume.letter,
                               [&wanted](const QString &path) { return wanted.count(path); });
    for (Volume &volume : machine.volumes) {
        if (!volume.freeBytes)
            continue;
        const std::uint64_t before = saturatingAdd(*volume.freeBytes, oldFiles[volume.letter]);
        const std::uint64_t taken = newFiles[volume.letter];
        volume.freeBytes = before > taken ? before - taken : 0;
    }
    driver.tableStatus = 1;
    driver.tableEntries = kept;
    driver.tableHex.reset();
    return true;
}

} // namespace orvanta::sim
