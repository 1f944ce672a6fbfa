// The real kernel32 implementation, on Windows without the driver or under Wine, where the disk
// device opens but no Orvanta driver answers.
#include "core/installlayout.h"
#include "system/win32system.h"

#include <gtest/gtest.h>

#include <thread>

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

// The writers' lock is a named mutex, owned by a thread: another thread with a Win32System of its
// own meets it as another program does. The thread that holds it either lets go or ends without
// letting go, as a writer that crashed mid-change; its handle is kept open then, so what is taken
// next is the abandoned mutex and not a new one.
TEST(Win32WritersLock, HeldElsewhereItKeepsThisWriterOutUntilLetGoOrAbandoned) {
    for (const bool letGo : {true, false}) {
        HANDLE taken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::thread other([&] {
            auto *holder = new Win32System;
            if (holder->lockWriters(10000))
                SetEvent(taken);
            WaitForSingleObject(done, 60000);
            if (letGo) {
                holder->unlockWriters();
                delete holder;
            }
        });
        // Not an ASSERT: returning with the holder's thread still joinable would end the process.
        EXPECT_EQ(WaitForSingleObject(taken, 60000), WAIT_OBJECT_0);
        // The name every program opens, whatever process holds it.
        HANDLE named = OpenMutexW(SYNCHRONIZE, FALSE, Win32System::WritersMutexName);
        EXPECT_NE(named, nullptr);
        CloseHandle(named);
        Win32System system;
        EXPECT_FALSE(system.lockWriters(300));
        SetEvent(done);
        other.join();
        EXPECT_TRUE(system.lockWriters(300)) << (letGo ? "let go" : "abandoned");
        system.unlockWriters();
        CloseHandle(taken);
        CloseHandle(done);
    }
}
