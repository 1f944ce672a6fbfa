#include "core/cachetable.h"

#include <algorithm>
#include <cstring>

namespace orvanta {

CacheTable emptyCacheTable() {
    CacheTable table;
    std::memset(&table, 0, sizeof table);
    return table;
}

void setEntryPath(CacheEntry &entry, const std::string &path8bit) {
    std::memset(entry.path, 0, sizeof entry.path);
    const std::size_t length = std::min(path8bit.size(), sizeof entry.path - 1);
    std::memcpy(entry.path, path8bit.data(), length);
}

std::int64_t gigabytesToBytes(std::int32_t gigabytes) {
    // The same bits as a sign-widening shift by 30, without shifting a negative value.
    return static_cast<std::int64_t>(gigabytes) * (std::int64_t(1) << 30);
}

void setEntrySizeGB(CacheEntry &entry, std::int32_t gigabytes) {
    entry.sizeBytes = gigabytesToBytes(gigabytes);
}

std::int32_t entrySizeGB(const CacheEntry &entry) {
    const std::uint64_t gigabytes = static_cast<std::uint64_t>(entry.sizeBytes) >> 30;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(gigabytes));
}

std::string entryPath(const CacheEntry &entry) {
    const char *end = static_cast<const char *>(std::memchr(entry.path, 0, sizeof entry.path));
    return std::string(entry.path, end ? end : entry.path + sizeof entry.path);
}

CacheEntry *appendEntry(CacheTable &table, const std::string &path8bit, std::int32_t gigabytes,
                        std::uint32_t rating) {
    // An entry without a path reads as empty and would be overwritten by the next append.
    if (path8bit.empty() || path8bit[0] == '\0')
        return nullptr;
    for (CacheEntry &entry : table.entries) {
        if (entry.path[0] != '\0')
            continue;
        setEntryPath(entry, path8bit);
        setEntrySizeGB(entry, gigabytes);
        entry.rating = rating;
        return &entry;
    }
    return nullptr;
}

std::string entryRoot(const CacheEntry &entry) {
    std::string path = entryPath(entry);
    std::transform(path.begin(), path.end(), path.begin(), [](char c) {
        return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    });
    return path;
}

const CacheEntry *findEntry(const CacheTable &table, const std::string &root) {
    const CacheEntry *found = nullptr;
    for (const CacheEntry &entry : table.entries) {
        const std::string path = entryRoot(entry);
        if (!path.empty() && path == root)
            found = &entry;
    }
    return found;
}

} // namespace orvanta
