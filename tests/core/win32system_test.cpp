// Drives the real kernel32 implementation. Run on Windows, or under Wine, where the disk
// device opens but no Orvanta driver answers.
#include "core/driverchannel.h"
#include "core/installlayout.h"
#include "core/records.h"
#include "core/volumes.h"
#include "platform/win32system.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace orvanta;

TEST(Win32System, KernelCallsWithoutTheDriver) {
    Win32System system;
    DriverChannel channel(system);
    StatusRecord status{};
    EXPECT_FALSE(channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0));
    EXPECT_EQ(system.createFile(L"\\\\.\\NoSuchDevice_Orvanta"), SystemApi::invalidHandle());
    // The disk device itself opens: what fails is the request.
    const SystemApi::Handle disk = system.createFile(L"\\\\.\\PhysicalDrive0");
    ASSERT_NE(disk, SystemApi::invalidHandle());
    EXPECT_FALSE(
        system.deviceIoControl(disk, IOCTL_GET_STATUS, nullptr, 0, &status, sizeof status));
    system.closeHandle(disk);

    const std::vector<wchar_t> eligible = eligibleVolumes(system);
    EXPECT_NE(std::find(eligible.begin(), eligible.end(), L'C'), eligible.end());
    EXPECT_EQ(system.driveType(L"Q:\\"), SystemApi::DriveNoRootDir);
    EXPECT_EQ(freeSpaceGB(L"Q:\\", system), 0);
    // No driver answers the volume query, so no volume is a candidate and nothing is taken.
    EXPECT_TRUE(collectCandidates(system).empty());
    EXPECT_FALSE(installDefaultLayout(system));
}

namespace {
unsigned long refusal = 0;
Win32System::FileAttributes refusingQuery(const std::wstring &) {
    Win32System::FileAttributes refused;
    refused.error = refusal;
    return refused;
}
} // namespace

TEST(Win32System, AFileHeldOpenWithoutSharingStillHasItsSize) {
    const wchar_t *path = L"C:\\orvn#001.io";
    HANDLE held = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = 3LL << 30; // sparse as the driver's are: nothing is written
    ASSERT_TRUE(SetFilePointerEx(held, size, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(held));

    EXPECT_EQ(Win32System().fileSize(path), 3ull << 30);
    // Windows refuses the attribute query for such a file (Wine does not): the size then comes
    // from the directory entry.
    for (unsigned long error : {ERROR_SHARING_VIOLATION, ERROR_ACCESS_DENIED}) {
        refusal = error;
        EXPECT_EQ(Win32System(refusingQuery).fileSize(path), 3ull << 30) << error;
    }
    // Any other failure means there is no such file, and a search must not find another one.
    refusal = ERROR_FILE_NOT_FOUND;
    EXPECT_EQ(Win32System(refusingQuery).fileSize(path), 0u);
    refusal = ERROR_SHARING_VIOLATION;
    EXPECT_EQ(Win32System(refusingQuery).fileSize(L"C:\\orvn#00?.io"), 0u);
    EXPECT_EQ(Win32System(refusingQuery).fileSize(L"C:\\windows"), 0u);

    CloseHandle(held);
    DeleteFileW(path);
    EXPECT_EQ(Win32System().fileSize(path), 0u);
}

TEST(Win32System, InstallLayoutWithoutTheDriverSendsAnEmptyTableAndFails) {
    Win32System system;
    const std::vector<wchar_t> eligible = eligibleVolumes(system);
    EXPECT_NE(std::find(eligible.begin(), eligible.end(), L'C'), eligible.end());
    EXPECT_GE(freeSpaceGB(L"C:\\", system), 0);
    EXPECT_EQ(freeSpaceGB(L"Q:\\", system), 0);

    // No driver answers the volume query, so no volume is a candidate.
    EXPECT_TRUE(collectCandidates(system).empty());
    EXPECT_FALSE(sendLayout({}, system));
    EXPECT_FALSE(installDefaultLayout(system));
}
