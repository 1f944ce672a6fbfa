#pragma once

// A recording fake of the system seam with a small scriptable driver behind it. It notes every
// call in order, keeps track of open handles, and answers the seven requests from plain fields
// that a test sets up, so core and widget tests can check exactly what was sent.

#include "core/records.h"
#include "platform/systemapi.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace orvanta::testing {

class RecordingSystem : public SystemApi {
public:
    struct Volume {
        unsigned type = DriveFixed;
        std::optional<std::wstring> fileSystem = std::wstring(L"NTFS");
        std::optional<std::uint64_t> freeBytes = std::uint64_t(100) << 30;
        std::optional<VolumeQueryResult> query; // absent: the volume query fails
    };

    // One control request as the driver saw it.
    struct Request {
        std::wstring device; // the path it was opened under, such as \\.\PhysicalDrive0
        std::uint32_t code = 0;
        const void *inBuffer = nullptr;
        std::uint32_t inSize = 0;
        void *outBuffer = nullptr;
        std::uint32_t outSize = 0;
        std::vector<std::uint8_t> in; // the input bytes as they were when sent
        bool ok = false;
    };

    // The driver behind \\.\PhysicalDrive0.
    bool driverLoaded = true;
    StatusRecord status{};
    OptionsRecord options{};
    CacheTable cacheTable{};          // what the get request answers
    std::uint32_t setTableStatus = 1; // the status the set request answers with
    bool setStoresTable = true;       // a set request replaces cacheTable, as the driver does
    std::set<std::uint32_t> failing;  // codes whose requests fail after the open
    std::map<std::uint32_t, std::vector<std::uint8_t>> rawAnswers; // bytes copied out instead
    std::set<std::wstring> extraDevices; // further paths that open (and reject every request)

    std::map<wchar_t, Volume> volumes;           // by drive letter
    std::map<std::wstring, std::uint64_t> files; // by full path, such as C:\orvn#001.io

    std::vector<std::string>
        calls; // "open <path>", "open-failed <path>", "ioctl <h> <code>", "close <h>", ...
    std::vector<Request> requests;
    std::vector<unsigned> sleeps;
    std::set<Handle> openHandles;

    RecordingSystem();

    Handle createFile(const std::wstring &path) override;
    bool deviceIoControl(Handle handle, std::uint32_t code, const void *in, std::uint32_t inSize,
                         void *out, std::uint32_t outSize) override;
    void closeHandle(Handle handle) override;
    unsigned driveType(const std::wstring &root) override;
    bool volumeFileSystem(const std::wstring &root, std::wstring &fileSystemName) override;
    bool freeBytesAvailable(const std::wstring &root, std::uint64_t &bytes) override;
    std::uint64_t fileSize(const std::wstring &path) override;
    void sleep(unsigned milliseconds) override;

    // The requests with one code, in order.
    std::vector<Request> requestsWith(std::uint32_t code) const;
    void clearLog();

private:
    const Volume *volumeOf(const std::wstring &root) const;
    bool answer(const std::wstring &device, std::uint32_t code, const void *in,
                std::uint32_t inSize, void *out, std::uint32_t outSize);

    Handle nextHandle_ = 100;
    std::map<Handle, std::wstring> handlePaths_;
};

} // namespace orvanta::testing
