// The real kernel32 implementation, on Windows without the driver or under Wine, where the disk
// device opens but no Orvanta driver answers.
#include "core/installlayout.h"
#include "platform/win32system.h"

#include <gtest/gtest.h>

#include <windows.h>

using namespace orvanta;

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
    ASSERT_TRUE(SetFilePointerEx(held, size, nullptr, FILE_BEGIN) && SetEndOfFile(held));
    EXPECT_EQ(Win32System().fileSize(path), 3ull << 30);
    // Windows refuses the attribute query for such a file (Wine does not): the size then comes
    // from the directory entry. Any other failure means there is no such file, and a search
    // must not find another one.
    for (unsigned long error :
         {ERROR_SHARING_VIOLATION, ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND}) {
        refusal = error;
        EXPECT_EQ(Win32System(refusingQuery).fileSize(path),
                  error == ERROR_FILE_NOT_FOUND ? 0 : 3ull << 30);
    }
    EXPECT_EQ(Win32System(refusingQuery).fileSize(L"C:\\orvn#00?.io"), 0u);
    EXPECT_EQ(Win32System(refusingQuery).fileSize(L"C:\\windows"), 0u);
    CloseHandle(held);
    DeleteFileW(path);
    EXPECT_EQ(Win32System().fileSize(path), 0u);
    Win32System system; // without the driver nothing is taken
    EXPECT_FALSE(installDefaultLayout(system));
}
