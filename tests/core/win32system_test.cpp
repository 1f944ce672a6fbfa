// The real kernel32 implementation, on Windows without the driver or under Wine, where the disk
// device opens but no Orvanta driver answers.
#include "core/installlayout.h"
#include "system/win32system.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

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

// The writers' lock between processes: this executable, started again with HolderSwitch, is the
// other writer. It takes the lock through its own Win32System and holds it until told to let go.
namespace {
const char *const HolderSwitch = "--hold-writers-lock";

std::wstring eventName(const wchar_t *what, DWORD parent) {
    return std::wstring(L"Local\\Orvanta.WritersLockTest.") + what + L"." + std::to_wstring(parent);
}

int holdWritersLock(DWORD parent) {
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName(L"Ready", parent).c_str());
    HANDLE done = OpenEventW(SYNCHRONIZE, FALSE, eventName(L"Done", parent).c_str());
    Win32System system;
    if (!ready || !done || !system.lockWriters(10000))
        return 2;
    SetEvent(ready);
    // Bounded, so that a parent that failed midway leaves no process behind for long.
    const DWORD waited = WaitForSingleObject(done, 60000);
    system.unlockWriters();
    return waited == WAIT_OBJECT_0 ? 0 : 3;
}

class OtherWriter {
public:
    OtherWriter()
        : ready_(CreateEventW(nullptr, TRUE, FALSE,
                              eventName(L"Ready", GetCurrentProcessId()).c_str()))
        , done_(CreateEventW(nullptr, TRUE, FALSE,
                             eventName(L"Done", GetCurrentProcessId()).c_str())) {
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring line = L"\"" + std::wstring(self) + L"\" " +
                            std::wstring(HolderSwitch, HolderSwitch + std::strlen(HolderSwitch)) +
                            L" " + std::to_wstring(GetCurrentProcessId());
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        if (CreateProcessW(self, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &process_))
            CloseHandle(process_.hThread);
        else
            process_.hProcess = nullptr;
    }
    ~OtherWriter() {
        if (process_.hProcess) {
            TerminateProcess(process_.hProcess, 9);
            CloseHandle(process_.hProcess);
        }
        CloseHandle(ready_);
        CloseHandle(done_);
    }
    OtherWriter(const OtherWriter &) = delete;
    OtherWriter &operator=(const OtherWriter &) = delete;

    // True once the other process holds the lock; false if it ended without taking it.
    bool holding() {
        if (!process_.hProcess || !ready_ || !done_)
            return false;
        HANDLE either[2] = {ready_, process_.hProcess};
        return WaitForMultipleObjects(2, either, FALSE, 60000) == WAIT_OBJECT_0;
    }
    // Lets go of the lock and ends; its exit code, 0 when it held the lock to the end.
    DWORD finish() {
        SetEvent(done_);
        return ended();
    }
    // Ends the other writer mid-change, with the lock held, as a crash would.
    DWORD crash() {
        TerminateProcess(process_.hProcess, 9);
        return ended();
    }

private:
    DWORD ended() {
        DWORD code = STILL_ACTIVE;
        WaitForSingleObject(process_.hProcess, 60000);
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

    HANDLE ready_;
    HANDLE done_;
    PROCESS_INFORMATION process_ = {};
};

} // namespace

TEST(Win32WritersLock, AnotherProcessHoldingItKeepsThisOneOutUntilItLetsGo) {
    OtherWriter other;
    ASSERT_TRUE(other.holding());
    Win32System system;
    EXPECT_FALSE(system.lockWriters(300));
    EXPECT_EQ(other.finish(), 0u);
    EXPECT_TRUE(system.lockWriters(300));
    system.unlockWriters();
}

TEST(Win32WritersLock, AWriterThatDiesHoldingItLocksNobodyOut) {
    OtherWriter other;
    ASSERT_TRUE(other.holding());
    // Another handle keeps the mutex in being when its holder ends, so what is taken next is the
    // abandoned mutex and not a new one.
    HANDLE kept = OpenMutexW(SYNCHRONIZE, FALSE, Win32System::WritersMutexName);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(other.crash(), 9u);
    Win32System system;
    EXPECT_TRUE(system.lockWriters(300));
    system.unlockWriters();
    CloseHandle(kept);
}

int main(int argc, char **argv) {
    if (argc == 3 && std::strcmp(argv[1], HolderSwitch) == 0)
        return holdWritersLock(std::strtoul(argv[2], nullptr, 10));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
