// The built-in system where there is no Windows: a machine with no volumes and no driver.
// Programs install the simulated machine over it; code that forgets to sees every call fail
// instead of touching anything real.
#include "platform/systemapi.h"

namespace orvanta {
namespace {

class BareSystem final : public SystemApi {
public:
    Handle createFile(const std::wstring &) override { return invalidHandle(); }
    bool deviceIoControl(Handle, std::uint32_t, const void *, std::uint32_t, void *,
                         std::uint32_t) override {
        return false;
    }
    void closeHandle(Handle) override {}
    unsigned driveType(const std::wstring &) override { return DriveNoRootDir; }
    bool volumeFileSystem(const std::wstring &, std::wstring &) override { return false; }
    bool freeBytesAvailable(const std::wstring &, std::uint64_t &) override { return false; }
    std::uint64_t fileSize(const std::wstring &) override { return 0; }
    void sleep(unsigned) override {}
    // No driver, nothing to guard: a writer goes on to find that out for itself.
    bool lockWriters(unsigned) override { return true; }
    void unlockWriters() override {}
};

} // namespace

SystemApi &builtinSystem() {
    static BareSystem system;
    return system;
}

} // namespace orvanta
