// The simulated driver's answers, worked out from the machine: the live counters, the cache table
// it reports, and what it makes of a new cache layout.
#include "sim/simmachine.h"

#include "core/cachetable.h"
#include "core/volumes.h"
#include "sim/tabletaking.h"

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
    if (tableHex) { // whole, as machine.json was read; the bound holds all the same
        std::memcpy(&table, tableHex->constData(),
                    std::min(std::size_t(tableHex->size()), sizeof table));
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

namespace {

// What each letter's volume can take of a new layout: only a volume a cache may live on has room.
// The driver's own files count as room: it would reuse their space. Where the free space cannot
// be asked, they are all the room there is, so a cache it holds stays.
void roomByLetter(const Machine &machine, const std::map<char, std::uint64_t> &oldFiles,
                  std::uint64_t (&room)[ORVANTA_DRIVE_LETTERS]) {
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const Volume *volume = machine.volume(letter);
        room[letter - 'A'] = 0;
        if (volume && volume->fileSystem &&
            isCacheVolumeKind(volume->type, volume->fileSystem->toStdWString()))
            room[letter - 'A'] = saturatingAdd(volume->freeBytes.value_or(0), oldFiles.at(letter));
    }
}

// One cache file per kept entry on a listed volume, numbered by its position; the old files no
// longer named are removed. The new files come first, so a failure takes nothing away.
bool placeCacheFiles(const QString &root, const Machine &machine, const CacheTable &kept,
                     unsigned count, std::map<char, std::uint64_t> &newFiles, QString &error) {
    std::map<QString, std::int64_t> wanted;
    for (unsigned i = 0; i < count; ++i) {
        const char letter = orvanta_entry_letter(&kept.entries[i]);
        if (!letter || !machine.volume(letter))
            continue;
        wanted[cacheFilePath(root, letter, int(i))] = kept.entries[i].sizeBytes;
        newFiles[letter] =
            saturatingAdd(newFiles[letter], std::uint64_t(kept.entries[i].sizeBytes));
    }
    for (const auto &[path, size] : wanted)
        if (!writeCacheFile(path, size, error))
            return false;
    for (const Volume &volume : machine.volumes)
        removeCacheFilesExcept(root, volume.letter,
                               [&wanted](const QString &path) { return wanted.count(path); });
    return true;
}

} // namespace

bool takeCacheTable(const QString &root, Machine &machine, const CacheTable &received,
                    std::uint32_t &answerStatus, QString &error) {
    Driver &driver = machine.driver;
    const bool automatic = !driver.setTableStatus.has_value();
    std::map<char, std::uint64_t> oldFiles;
    for (const Volume &volume : machine.volumes)
        oldFiles[volume.letter] = cacheFilesSize(root, volume.letter);

    std::uint64_t room[ORVANTA_DRIVE_LETTERS];
    roomByLetter(machine, oldFiles, room);
    CacheTable kept;
    int allFit = 0;
    const unsigned count = orvanta_keep_entries(&received, room, automatic, &kept, &allFit);
    answerStatus = automatic ? (allFit ? 1u : 0u) : *driver.setTableStatus;

    std::map<char, std::uint64_t> newFiles;
    if (!placeCacheFiles(root, machine, kept, count, newFiles, error))
        return false;
    for (Volume &volume : machine.volumes) {
        if (!volume.freeBytes)
            continue;
        const std::uint64_t before = saturatingAdd(*volume.freeBytes, oldFiles[volume.letter]);
        const std::uint64_t taken = newFiles[volume.letter];
        volume.freeBytes = before - std::min(before, taken);
    }
    driver.tableStatus = kept.status;
    driver.tableEntries.clear();
    for (unsigned i = 0; i < count; ++i) {
        const std::string path = entryPath(kept.entries[i]);
        driver.tableEntries.push_back({QByteArray(path.data(), int(path.size())),
                                       kept.entries[i].sizeBytes, kept.entries[i].rating});
    }
    driver.tableHex.reset();
    return true;
}

} // namespace orvanta::sim
