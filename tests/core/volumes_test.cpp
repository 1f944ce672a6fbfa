#include "core/volumes.h"
#include "recordingsystem.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

using namespace orvanta;
using orvanta::testing::RecordingSystem;

namespace {
constexpr std::uint64_t GB = std::uint64_t(1) << 30;

RecordingSystem::Volume volume(unsigned type, const wchar_t *fileSystem) {
    RecordingSystem::Volume v;
    v.type = type;
    if (fileSystem)
        v.fileSystem = std::wstring(fileSystem);
    else
        v.fileSystem.reset();
    return v;
}

std::vector<std::string> callsStartingWith(const RecordingSystem &system, const std::string &kind) {
    std::vector<std::string> found;
    for (const std::string &call : system.calls)
        if (call.rfind(kind, 0) == 0)
            found.push_back(call);
    return found;
}
} // namespace

TEST(Volumes, OnlyFixedNtfsVolumesWithFreeSpaceAreEligible) {
    struct Row {
        wchar_t letter;
        RecordingSystem::Volume volume;
        bool eligible;
    };
    RecordingSystem::Volume noFreeSpace;
    noFreeSpace.freeBytes.reset();
    const Row rows[] = {
        {L'C', volume(SystemApi::DriveFixed, L"NTFS"), true},
        {L'D', volume(SystemApi::DriveFixed, L"FAT32"), false},
        {L'E', volume(SystemApi::DriveFixed, L"exFAT"), false},
        {L'F', volume(SystemApi::DriveFixed, L"ntfs"), false},
        {L'G', volume(SystemApi::DriveRemovable, L"NTFS"), false},
        {L'H', volume(SystemApi::DriveRemote, L"NTFS"), false},
        {L'I', volume(SystemApi::DriveCdrom, L"NTFS"), false},
        {L'J', volume(SystemApi::DriveFixed, nullptr), false}, // volume information fails
        {L'K', noFreeSpace, false},
        {L'L', volume(SystemApi::DriveRamdisk, L"NTFS"), false},
        {L'M', volume(SystemApi::DriveFixed, L"NTFS "), false},
        {L'N', volume(SystemApi::DriveFixed, L"NTF"), false},
        {L'Z', volume(SystemApi::DriveFixed, L"NTFS"), true},
    };
    RecordingSystem system;
    for (const Row &row : rows)
        system.volumes[row.letter] = row.volume;
    system.volumes[L'C'].freeBytes = 42 * GB;
    // A and B would pass every test, but are never looked at.
    system.volumes[L'A'] = volume(SystemApi::DriveFixed, L"NTFS");
    system.volumes[L'B'] = volume(SystemApi::DriveFixed, L"NTFS");

    for (const Row &row : rows) {
        std::uint64_t freeBytes = 7;
        EXPECT_EQ(eligibleVolume(row.letter, freeBytes, system), row.eligible)
            << static_cast<char>(row.letter);
    }
    std::uint64_t freeBytes = 0;
    ASSERT_TRUE(eligibleVolume(L'C', freeBytes, system));
    EXPECT_EQ(freeBytes, 42 * GB);
    EXPECT_FALSE(eligibleVolume(L'A', freeBytes, system));
    EXPECT_FALSE(eligibleVolume(L'c', freeBytes, system));

    system.clearLog();
    EXPECT_EQ(eligibleVolumes(system), (std::vector<wchar_t>{L'C', L'Z'}));

    // Every letter from C to Z in order, A and B never; each test only after the one before.
    const std::vector<std::string> driveTypes = callsStartingWith(system, "driveType");
    ASSERT_EQ(driveTypes.size(), 24u);
    EXPECT_EQ(driveTypes.front(), "driveType C:\\");
    EXPECT_EQ(driveTypes.back(), "driveType Z:\\");
    for (const std::string &call : system.calls)
        EXPECT_EQ(call.find(" A:"), std::string::npos) << call;
    for (const std::string &call : system.calls)
        EXPECT_EQ(call.find(" B:"), std::string::npos) << call;
    EXPECT_EQ(callsStartingWith(system, "volumeInformation").size(), 9u); // the fixed ones
    EXPECT_EQ(callsStartingWith(system, "freeSpace"),
              (std::vector<std::string>{"freeSpace C:\\", "freeSpace K:\\", "freeSpace Z:\\"}));
    EXPECT_TRUE(system.requests.empty());

    RecordingSystem bare;
    EXPECT_TRUE(eligibleVolumes(bare).empty());
    EXPECT_EQ(volumeRoot(L'D'), L"D:\\");
}

TEST(Volumes, FreeSpaceCountsTheDriversCacheFiles) {
    RecordingSystem system;
    system.volumes[L'C'].freeBytes = 109 * GB / 10; // 10.9 GB
    EXPECT_EQ(freeSpaceGB(L"C:\\", system), 10);

    // The 26 files are asked for in order, by exact name.
    const std::vector<std::string> sizes = callsStartingWith(system, "fileSize");
    ASSERT_EQ(sizes.size(), 26u);
    EXPECT_EQ(sizes[0], "fileSize C:\\orvn#001.io");
    EXPECT_EQ(sizes[9], "fileSize C:\\orvn#010.io");
    EXPECT_EQ(sizes[25], "fileSize C:\\orvn#026.io");

    system.files[L"C:\\orvn#001.io"] = 3 * GB;
    system.files[L"C:\\orvn#026.io"] = 1 * GB;
    EXPECT_EQ(freeSpaceGB(L"C:\\", system), 14);
    system.files[L"C:\\orvn#000.io"] = 5 * GB;
    system.files[L"C:\\orvn#027.io"] = 5 * GB;
    system.files[L"D:\\orvn#002.io"] = 5 * GB;
    EXPECT_EQ(freeSpaceGB(L"C:\\", system), 14);

    // Nothing is kept between calls: the figure follows the disk.
    system.volumes[L'C'].freeBytes = 20 * GB;
    system.files.erase(L"C:\\orvn#001.io");
    EXPECT_EQ(freeSpaceGB(L"C:\\", system), 21);

    // A volume that cannot be asked has no room, whatever files it holds.
    system.volumes[L'C'].freeBytes.reset();
    system.clearLog();
    EXPECT_EQ(freeSpaceGB(L"C:\\", system), 0);
    EXPECT_TRUE(callsStartingWith(system, "fileSize").empty());
    EXPECT_EQ(freeSpaceGB(L"Q:\\", system), 0);
}

TEST(Volumes, FreeSpaceOfHugeVolumesNeitherWrapsNorTurnsNegative) {
    struct Row {
        std::uint64_t freeBytes;
        std::uint64_t fileBytes; // in each of the 26 cache files
        int expected;
    };
    const Row rows[] = {
        {std::uint64_t(INT_MAX) * GB + (GB - 1), 0, INT_MAX},
        {std::uint64_t(INT_MAX) * GB - 1, 0, INT_MAX - 1},
        {(std::uint64_t(INT_MAX) + 1) * GB, 0, INT_MAX},
        {std::uint64_t(1) << 63, 0, INT_MAX},
        {UINT64_MAX, 0, INT_MAX},
        {UINT64_MAX, UINT64_MAX, INT_MAX},
        {GB, UINT64_MAX / 20, INT_MAX},
        {0, GB, 26},
    };
    for (const Row &row : rows) {
        RecordingSystem system;
        system.volumes[L'E'].freeBytes = row.freeBytes;
        for (int n = 1; n <= 26; ++n) {
            wchar_t name[16];
            std::swprintf(name, 16, L"E:\\orvn#%03d.io", n);
            system.files[name] = row.fileBytes;
        }
        EXPECT_EQ(freeSpaceGB(L"E:\\", system), row.expected)
            << row.freeBytes << " + 26 x " << row.fileBytes;
    }
}
