#pragma once

// A recording fake of the system seam with a small scriptable driver behind it: every call is
// noted in order, and the seven requests are answered from plain fields a test sets up.

#include "core/cachetable.h"
#include "system/systemapi.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace orvanta::testing {

constexpr std::uint64_t GB = std::uint64_t(1) << 30;

// The exact 2296 bytes of a cache table as the driver must receive them, laid out by hand
// rather than by the code under test: entries packed from 0, everything else zero.
struct ExpectedEntry {
    const char *path;
    double gigabytes; // 2.5 for 2.5 GiB
    std::uint32_t rating;
};
inline std::vector<std::uint8_t> expectedTable(std::initializer_list<ExpectedEntry> entries) {
    std::vector<std::uint8_t> table(2296, 0);
    std::size_t offset = 8;
    for (const ExpectedEntry &entry : entries) {
        const auto bytes = static_cast<std::int64_t>(entry.gigabytes * double(GB));
        std::memcpy(&table[offset], entry.path, std::strlen(entry.path));
        std::memcpy(&table[offset + 64], &bytes, 8);
        std::memcpy(&table[offset + 80], &entry.rating, 4);
        offset += 88;
    }
    return table;
}

class RecordingSystem : public SystemApi {
public:
    struct Volume { // by default a fixed NTFS volume with 100 GB free that the driver ignores
        unsigned type = DriveFixed;
        std::optional<std::wstring> fileSystem = std::wstring(L"NTFS");
        std::optional<std::uint64_t> freeBytes = std::uint64_t(100) << 30;
        std::optional<VolumeQueryResult> query;
    };
    struct Request { // on the device as opened, with the input bytes as they were when sent
        std::wstring device;
        std::uint32_t code;
        const void *inBuffer;
        void *outBuffer;
        std::uint32_t inSize, outSize;
        std::vector<std::uint8_t> in;
        bool underLock; // sent while this process held the writers' lock
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
    bool lockKeptByOther = false; // another writer holds the writers' lock throughout
    bool writersLocked = false;

    std::map<wchar_t, Volume> volumes;
    std::map<std::wstring, std::uint64_t> files; // by full path, such as C:\orvn#001.io

    // Such as "open <path> <handle>", "ioctl <handle> <code>", "freeSpace <root>", "sleep <ms>".
    std::vector<std::string> calls;
    std::vector<Request> requests;
    std::set<Handle> openHandles;

    Handle createFile(const std::wstring &path) override {
        const bool volume = path.size() == 6 && path.rfind(L"\\\\.\\", 0) == 0 && path[5] == L':';
        if (path == L"\\\\.\\PhysicalDrive0" ? !driverLoaded
                                             : !(volume && volumes.count(path[4]))) {
            calls.push_back("open-failed " + narrow(path));
            return invalidHandle();
        }
        paths_[nextHandle_] = path;
        openHandles.insert(nextHandle_);
        calls.push_back("open " + narrow(path) + " " + std::to_string(nextHandle_));
        return nextHandle_++;
    }
    bool deviceIoControl(Handle handle, std::uint32_t code, const void *in, std::uint32_t inSize,
                         void *out, std::uint32_t outSize) override {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%X", unsigned(code));
        calls.push_back("ioctl " + std::to_string(handle) + " " + hex);
        const auto *bytes = static_cast<const std::uint8_t *>(in);
        requests.push_back(
            {paths_[handle], code, in, out, inSize, outSize,
             bytes ? std::vector<std::uint8_t>(bytes, bytes + inSize) : std::vector<std::uint8_t>(),
             writersLocked});
        return openHandles.count(handle) && !failing.count(code) && answer(requests.back(), out);
    }
    void closeHandle(Handle handle) override {
        calls.push_back("close " + std::to_string(handle));
        openHandles.erase(handle);
    }
    unsigned driveType(const std::wstring &root) override {
        const Volume *volume = volumeOf(root, "driveType");
        return volume ? volume->type : DriveNoRootDir;
    }
    bool volumeFileSystem(const std::wstring &root, std::wstring &name) override {
        const Volume *volume = volumeOf(root, "volumeInformation");
        return volume && volume->fileSystem && (name = *volume->fileSystem, true);
    }
    bool freeBytesAvailable(const std::wstring &root, std::uint64_t &bytes) override {
        const Volume *volume = volumeOf(root, "freeSpace");
        return volume && volume->freeBytes && (bytes = *volume->freeBytes, true);
    }
    std::uint64_t fileSize(const std::wstring &path) override {
        calls.push_back("fileSize " + narrow(path));
        return files.count(path) ? files[path] : 0;
    }
    void sleep(unsigned milliseconds) override {
        calls.push_back("sleep " + std::to_string(milliseconds));
    }
    bool lockWriters(unsigned timeoutMs) override {
        calls.push_back("lock " + std::to_string(timeoutMs));
        return !writersLocked && !lockKeptByOther && (writersLocked = true);
    }
    void unlockWriters() override {
        calls.push_back("unlock");
        writersLocked = false;
    }

    std::vector<Request> requestsWith(std::uint32_t code) const {
        std::vector<Request> found;
        std::copy_if(requests.begin(), requests.end(), std::back_inserter(found),
                     [code](const Request &request) { return request.code == code; });
        return found;
    }
    void clearLog() {
        calls.clear();
        requests.clear();
        // Kept, the paths of closed handles would grow with every request of a fuzzing run.
        for (auto it = paths_.begin(); it != paths_.end();)
            it = openHandles.count(it->first) ? std::next(it) : paths_.erase(it);
    }

private:
    static std::string narrow(const std::wstring &text) { // the tests' names are ASCII
        return std::string(text.begin(), text.end());
    }
    static bool copyOut(void *out, std::uint32_t outSize, const void *from, std::size_t size) {
        if (out && outSize && size) // an empty answer has no bytes for memcpy to point at
            std::memcpy(out, from, std::min<std::size_t>(outSize, size));
        return true;
    }
    const Volume *volumeOf(const std::wstring &root, const char *call) {
        calls.push_back(call + (" " + narrow(root)));
        const auto it = volumes.find(root.size() == 3 && root.substr(1) == L":\\" ? root[0] : 0);
        return it == volumes.end() ? nullptr : &it->second;
    }
    bool answer(const Request &request, void *out) {
        const std::uint32_t size = request.outSize;
        if (rawAnswers.count(request.code))
            return copyOut(out, size, rawAnswers[request.code].data(),
                           rawAnswers[request.code].size());
        if (request.device.size() == 6) {
            const Volume &volume = volumes.at(request.device[4]);
            return request.code == IOCTL_QUERY_VOLUME && volume.query &&
                   copyOut(out, size, &*volume.query, sizeof(VolumeQueryResult));
        }
        CacheTable received;
        switch (request.device == L"\\\\.\\PhysicalDrive0" ? request.code : 0) {
        case IOCTL_GET_STATUS:
            return copyOut(out, size, &status, sizeof status);
        case IOCTL_CLEAR_STATISTICS:
            return status.totalRequests = status.totalBytes = status.elapsedMs = 0, true;
        case IOCTL_SET_OPTIONS:
            return request.in.size() >= sizeof options &&
                   (std::memcpy(&options, request.in.data(), sizeof options), true);
        case IOCTL_GET_OPTIONS:
            return copyOut(out, size, &options, sizeof options);
        case IOCTL_GET_CACHE_TABLE:
            return copyOut(out, size, &cacheTable, sizeof cacheTable);
        case IOCTL_SET_CACHE_TABLE:
            if (request.in.size() < sizeof received)
                return false;
            std::memcpy(&received, request.in.data(), sizeof received);
            if (setStoresTable) { // the entries with a size, byte for byte
                cacheTable = emptyCacheTable();
                int kept = 0;
                for (const CacheEntry &entry : received.entries)
                    if (entry.sizeBytes > 0)
                        cacheTable.entries[kept++] = entry;
                cacheTable.status = 1;
            }
            received.status = setTableStatus;
            return copyOut(out, size, &received, sizeof received);
        }
        return false;
    }

    Handle nextHandle_ = 100;
    std::map<Handle, std::wstring> paths_;
};

} // namespace orvanta::testing
