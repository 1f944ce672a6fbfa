#pragma once

#include "system/systemapi.h"

namespace orvanta {

// The real kernel32, one call for each call of the seam.
class Win32System final : public SystemApi {
public:
    // What GetFileAttributesExW answered for a file: its size, or the error it failed with.
    struct FileAttributes {
        bool ok = false;
        unsigned long error = 0; // GetLastError() when !ok
        bool directory = false;
        std::uint64_t size = 0;
    };
    using FileAttributesQuery = FileAttributes (*)(const std::wstring &path);

    // The attribute query is GetFileAttributesExW; tests pass one that refuses as Windows does
    // for a file held open without sharing, which Wine never does.
    explicit Win32System(FileAttributesQuery query = nullptr);

    Handle createFile(const std::wstring &path) override;
    bool deviceIoControl(Handle handle, std::uint32_t code, const void *in, std::uint32_t inSize,
                         void *out, std::uint32_t outSize) override;
    void closeHandle(Handle handle) override;
    unsigned driveType(const std::wstring &root) override;
    bool volumeFileSystem(const std::wstring &root, std::wstring &fileSystemName) override;
    bool freeBytesAvailable(const std::wstring &root, std::uint64_t &bytes) override;
    std::uint64_t fileSize(const std::wstring &path) override;
    void sleep(unsigned milliseconds) override;
    bool lockWriters(unsigned timeoutMs) override;
    void unlockWriters() override;

    // The writers' lock's name: the global namespace is shared by every session and by services.
    static constexpr const wchar_t *WritersMutexName = L"Global\\Orvanta.SettingsWriters";

private:
    FileAttributesQuery attributes_;
    void *writersMutex_ = nullptr; // the HANDLE while this process holds the lock
};

} // namespace orvanta
