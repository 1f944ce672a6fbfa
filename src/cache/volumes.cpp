#include "cache/volumes.h"

#include <climits>

namespace orvanta {

namespace {
constexpr int CacheFileCount = 26;
} // namespace

std::wstring volumeRoot(wchar_t letter) {
    return std::wstring{letter, L':', L'\\'};
}

bool eligibleVolume(wchar_t letter, std::uint64_t &freeBytes, SystemApi &system) {
    if (letter < L'C' || letter > L'Z')
        return false;
    const std::wstring root = volumeRoot(letter);
    if (system.driveType(root) != SystemApi::DriveFixed)
        return false;
    std::wstring fileSystem;
    if (!system.volumeFileSystem(root, fileSystem))
        return false;
    if (fileSystem != L"NTFS")
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

    // root + "orvn#%03d.io", the three digits rewritten in place for each number.
    std::wstring path = root + L"orvn#000.io";
    const std::size_t digits = root.size() + 5;
    for (int n = 1; n <= CacheFileCount; ++n) {
        path[digits] = static_cast<wchar_t>(L'0' + n / 100);
        path[digits + 1] = static_cast<wchar_t>(L'0' + n / 10 % 10);
        path[digits + 2] = static_cast<wchar_t>(L'0' + n % 10);
        const std::uint64_t size = system.fileSize(path);
        // Sizes come from the disk: a wrapped sum would show a full volume as empty.
        total = size > UINT64_MAX - total ? UINT64_MAX : total + size;
    }

    const std::uint64_t gigabytes = total >> 30;
    // Narrowed whole, a huge volume would read as negative and take no cache at all.
    return gigabytes > static_cast<std::uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(gigabytes);
}

} // namespace orvanta
