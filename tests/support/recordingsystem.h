#pragma once

// A recording fake of the system seam with a small scriptable driver behind it: every call is
// noted in order, and the seven requests are answered from plain fields a test sets up.

#include "core/records.h"
#include "platform/systemapi.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace orvanta::testing {

class RecordingSystem : public SystemApi {
public:
    struct Volume { // by default a fixed NTFS volume with 100 GB free that the driver ignores
        unsigned type = DriveFixed;
        std::optional<std::wstring> fileSystem = std::wstring(L"NTFS");
        std::optional<std::uint64_t> freeBytes = std::uint64_t(100) << 30;
        std::optional<VolumeQueryResult> query;
    };
    struct Request {
        std::wstring device; // as opened, such as \\.\PhysicalDrive0
        std::uint32_t code = 0;
        const void *inBuffer = nullptr;
        void *outBuffer = nullptr;
        std::uint32_t inSize = 0, outSize = 0;
        std::vector<std::uint8_t> in; // the input bytes as they were when sent
    };

    // The driver behind \\.\PhysicalDrive0.
    bool driverLoaded = true;
    StatusRecord status{};
    OptionsRecord options{};
    CacheTable cacheTable{};
    std::uint32_t setTableStatus = 1; // the set request's answer
    bool setStoresTable = true;       // a set request replaces cacheTable, as the driver does
    std::set<std::uint32_t> failing;  // codes whose requests fail after the open
    std::map<std::uint32_t, std::vector<std::uint8_t>> rawAnswers; // bytes copied out instead
    std::set<std::wstring> extraDevices; // further paths that open (and answer nothing)

    std::map<wchar_t, Volume> volumes;
    std::map<std::wstring, std::uint64_t> files; // by full path, such as C:\orvn#001.io

    // "open <path> <handle>", "open-failed <path>", "ioctl <handle> <code>", "close <handle>",
    // "driveType <root>", "volumeInformation <root>", "freeSpace <root>", "fileSize <path>",
    // "sleep <ms>"
    std::vector<std::string> calls;
    std::vector<Request> requests;
    std::set<Handle> openHandles;

    Handle createFile(const std::wstring &path) override;
    bool deviceIoControl(Handle handle, std::uint32_t code, const void *in, std::uint32_t inSize,
                         void *out, std::uint32_t outSize) override;
    void closeHandle(Handle handle) override;
    unsigned driveType(const std::wstring &root) override;
    bool volumeFileSystem(const std::wstring &root, std::wstring &fileSystemName) override;
    bool freeBytesAvailable(const std::wstring &root, std::uint64_t &bytes) override;
    std::uint64_t fileSize(const std::wstring &path) override;
    void sleep(unsigned milliseconds) override;

    std::vector<Request> requestsWith(std::uint32_t code) const;
    void clearLog();

private:
    const Volume *volumeOf(const std::wstring &root, const char *call);
    bool answer(const Request &request, void *out);

    Handle nextHandle_ = 100;
    std::map<Handle, std::wstring> paths_;
};

} // namespace orvanta::testing
