#pragma once

#include <cstdint>
#include <string>

namespace orvanta {

// The one door from the program into the operating system. Each call stands for one kernel32
// call, so the code above it reads as it would against kernel32 itself. Each program's main()
// builds the one it talks to (Win32System on Windows, the simulated machine elsewhere) and hands
// it down; tests hand in a recording fake.
class SystemApi {
public:
    // A Win32 HANDLE carried as an integer, so no header above the seam needs <windows.h>.
    using Handle = std::intptr_t;
    static constexpr Handle invalidHandle() { return -1; } // INVALID_HANDLE_VALUE

    // GetDriveTypeW answers.
    static constexpr unsigned DriveUnknown = 0;
    static constexpr unsigned DriveNoRootDir = 1;
    static constexpr unsigned DriveRemovable = 2;
    static constexpr unsigned DriveFixed = 3;
    static constexpr unsigned DriveRemote = 4;
    static constexpr unsigned DriveCdrom = 5;
    static constexpr unsigned DriveRamdisk = 6;

    virtual ~SystemApi();

    // CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr)
    virtual Handle createFile(const std::wstring &path) = 0;
    // DeviceIoControl, synchronous; the count of returned bytes is not passed on.
    virtual bool deviceIoControl(Handle handle, std::uint32_t code, const void *in,
                                 std::uint32_t inSize, void *out, std::uint32_t outSize) = 0;
    virtual void closeHandle(Handle handle) = 0;
    // GetDriveTypeW
    virtual unsigned driveType(const std::wstring &root) = 0;
    // GetVolumeInformationW with 256-character buffers; yields the file-system name.
    virtual bool volumeFileSystem(const std::wstring &root, std::wstring &fileSystemName) = 0;
    // GetDiskFreeSpaceExW: the bytes available to the caller (quota honoured).
    virtual bool freeBytesAvailable(const std::wstring &root, std::uint64_t &bytes) = 0;
    // Size of a file in bytes; 0 for a file that does not exist.
    virtual std::uint64_t fileSize(const std::wstring &path) = 0;
    // Sleep
    virtual void sleep(unsigned milliseconds) = 0;

    // The writers' lock, one for the whole machine: every program that changes the driver's
    // settings holds it from reading them to reading back what it sent, so no change is built
    // from a view another writer is about to make stale. On Windows a named mutex in the global
    // namespace (CreateMutexExW, WaitForSingleObject); true when this process now holds it,
    // false when another writer kept it for timeoutMs. Readers never take it.
    virtual bool lockWriters(unsigned timeoutMs) = 0;
    // ReleaseMutex: only after a lockWriters() that returned true.
    virtual void unlockWriters() = 0;
};

} // namespace orvanta
