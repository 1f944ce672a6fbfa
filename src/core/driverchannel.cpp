#include "core/driverchannel.h"

namespace orvanta {

std::wstring DriverChannel::devicePath(const std::wstring &name) {
    // A name cut short by the path buffer, or by an embedded NUL, could name another device:
    // such a name is refused rather than opened.
    if (name.size() > MaxDeviceNameLength || name.find(L'\0') != std::wstring::npos)
        return std::wstring();
    return L"\\\\.\\" + name;
}

bool DriverChannel::deviceRequest(const std::wstring &name, std::uint32_t code, void *outBuffer,
                                  std::uint32_t outSize, const void *inBuffer,
                                  std::uint32_t inSize) {
    const std::wstring path = devicePath(name);
    if (path.empty())
        return false;
    const SystemApi::Handle handle = system_.createFile(path);
    if (handle == SystemApi::invalidHandle())
        return false;
    const bool ok = system_.deviceIoControl(handle, code, inBuffer, inSize, outBuffer, outSize);
    system_.closeHandle(handle);
    return ok;
}

bool DriverChannel::driverRequest(std::uint32_t code, void *outBuffer, std::uint32_t outSize,
                                  const void *inBuffer, std::uint32_t inSize) {
    return deviceRequest(DriverDevice, code, outBuffer, outSize, inBuffer, inSize);
}

} // namespace orvanta
