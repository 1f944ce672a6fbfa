#pragma once

#include "system/systemapi.h"

#include <cstdint>
#include <string>

namespace orvanta {

// Synchronous device I/O control requests to the filter driver. Each request opens the device,
// sends one code, closes the device and says whether it worked; nothing outlives a request.
class DriverChannel {
public:
    // The disk device that takes every request but the volume query.
    static constexpr const wchar_t *DriverDevice = L"PhysicalDrive0";
    // "\\.\" + name must fit 256 wide characters with its terminator.
    static constexpr std::size_t MaxDeviceNameLength = 251;

    explicit DriverChannel(SystemApi &system)
        : system_(system) {}

    // The output buffer and its size come before the input buffer and its size.
    bool deviceRequest(const std::wstring &name, std::uint32_t code, void *outBuffer,
                       std::uint32_t outSize, const void *inBuffer, std::uint32_t inSize);
    bool driverRequest(std::uint32_t code, void *outBuffer, std::uint32_t outSize,
                       const void *inBuffer, std::uint32_t inSize);

    // The path a device name is opened under, or an empty text for a name that cannot be
    // formatted whole (too long, or holding a NUL that would cut it short).
    static std::wstring devicePath(const std::wstring &name);

private:
    SystemApi &system_;
};

} // namespace orvanta
