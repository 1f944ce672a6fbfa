#pragma once

#include "platform/systemapi.h"

namespace orvanta {

// The real kernel32, one call for each call of the seam.
class Win32System final : public SystemApi {
public:
    Handle createFile(const std::wstring &path) override;
    bool deviceIoControl(Handle handle, std::uint32_t code, const void *in, std::uint32_t inSize,
                         void *out, std::uint32_t outSize) override;
    void closeHandle(Handle handle) override;
    unsigned driveType(const std::wstring &root) override;
    bool volumeFileSystem(const std::wstring &root, std::wstring &fileSystemName) override;
    bool freeBytesAvailable(const std::wstring &root, std::uint64_t &bytes) override;
    std::uint64_t fileSize(const std::wstring &path) override;
    void sleep(unsigned milliseconds) override;
};

} // namespace orvanta
