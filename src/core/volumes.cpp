#include "core/volumes.h"

#include "core/cachetable.h"
#include "core/records.h"

#include <algorithm>
#include <climits>

namespace orvanta {

std::wstring volumeRoot(wchar_t letter) {
    return std::wstring{letter, L':', L'\\'};
}

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
    return a + std::min(b, UINT64_MAX - a);
}

bool isCacheVolumeKind(unsigned driveType, const std::wstring &fileSystem) {
    return driveType == SystemApi::DriveFixed && fileSystem == L"NTFS";
}

namespace {
// The driver's cache file names: the pattern "orvn#%03d.io", its three digits at DigitsAt.
constexpr wchar_t CacheFilePattern[] = L"orvn#000.io";
constexpr std::size_t DigitsAt = 5;

void writeCacheFileNumber(std::wstring &text, std::size_t at, int position) {
    const int number = position + 1;
    text[at] = wchar_t(L'0' + number / 100 % 10);
    text[at + 1] = wchar_t(L'0' + number / 10 % 10);
    text[at + 2] = wchar_t(L'0' + number % 10);
}
} // namespace

std::wstring cacheFileName(int position) {
    std::wstring name = CacheFilePattern;
    writeCacheFileNumber(name, DigitsAt, position);
    return name;
}

bool eligibleVolume(wchar_t letter, std::uint64_t &freeBytes, SystemApi &system) {
    if (letter < L'C' || letter > L'Z')
        return false;
    const std::wstring root = volumeRoot(letter);
    const unsigned type = system.driveType(root);
    // Asked in this order, and no further than needed: each is a call into the system.
    if (type != SystemApi::DriveFixed)
        return false;
    std::wstring fileSystem;
    if (!system.volumeFileSystem(root, fileSystem) || !isCacheVolumeKind(type, fileSystem))
        return false;
    return system.freeBytesAvailable(root, freeBytes);
}

std::vector<wchar_t> eligibleVolumes(SystemApi &system) {
    std::vector<wchar_t> letters;
    for (wchar_t letter = L'C'; letter <= L'Z'; ++letter) {
        std::uint64_t freeBytes = 0;
        if (eligibleVolume(letter, freeBytes, system))
            letters.push_back(letter);
    }
    return letters;
}

int freeSpaceGB(const std::wstring &root, SystemApi &system) {
    std::uint64_t total = 0;
    if (!system.freeBytesAvailable(root, total))
        return 0;

    // One path, its number rewritten in place: this runs on every change of a cache row.
    std::wstring path = root + CacheFilePattern;
    for (int position = 0; position < CacheEntryCount; ++position) {
        writeCacheFileNumber(path, root.size() + DigitsAt, position);
        total = saturatingAdd(total, system.fileSize(path));
    }

    const std::uint64_t gigabytes = total >> 30;
    // Narrowed whole, a huge volume would read as negative and take no cache at all.
    return static_cast<int>(std::min<std::uint64_t>(gigabytes, INT_MAX));
}

CacheEntry cacheEntryFor(wchar_t letter, std::int32_t gigabytes, std::uint32_t rating) {
    CacheEntry entry{};
    const std::wstring root = volumeRoot(letter);
    setEntryPath(entry, std::string(root.begin(), root.end())); // a letter, ':' and '\'
    entry.rating = gigabytes != 0 ? rating : 0;
    setEntrySizeGB(entry, gigabytes);
    return entry;
}

} // namespace orvanta
