#include "recordingsystem.h"

#include "core/cachetable.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace orvanta::testing {

namespace {
std::string narrow(const std::wstring &text) {
    std::string out;
    for (wchar_t c : text)
        out += (c >= 0x20 && c < 0x7f) ? char(c) : '?';
    return out;
}

bool copyOut(void *out, std::uint32_t outSize, const void *from, std::size_t size) {
    if (out && outSize && size) // an empty answer has no bytes for memcpy to point at
        std::memcpy(out, from, std::min<std::size_t>(outSize, size));
    return true;
}
} // namespace

SystemApi::Handle RecordingSystem::createFile(const std::wstring &path) {
    const bool volume = path.size() == 6 && path.compare(0, 4, L"\\\\.\\") == 0 && path[5] == L':';
    if (path == L"\\\\.\\PhysicalDrive0"
            ? !driverLoaded
            : !(volume ? volumes.count(path[4]) : extraDevices.count(path))) {
        calls.push_back("open-failed " + narrow(path));
        return invalidHandle();
    }
    const Handle handle = nextHandle_++;
    paths_[handle] = path;
    openHandles.insert(handle);
    calls.push_back("open " + narrow(path) + " " + std::to_string(handle));
    return handle;
}

bool RecordingSystem::deviceIoControl(Handle handle, std::uint32_t code, const void *in,
                                      std::uint32_t inSize, void *out, std::uint32_t outSize) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%X", unsigned(code));
    calls.push_back("ioctl " + std::to_string(handle) + " " + hex);
    Request request{paths_[handle], code, in, out, inSize, outSize, {}};
    if (in && inSize)
        request.in.assign(static_cast<const std::uint8_t *>(in),
                          static_cast<const std::uint8_t *>(in) + inSize);
    requests.push_back(request);
    return openHandles.count(handle) && !failing.count(code) && answer(request, out);
}

bool RecordingSystem::answer(const Request &request, void *out) {
    const std::uint32_t outSize = request.outSize;
    if (auto raw = rawAnswers.find(request.code); raw != rawAnswers.end())
        return copyOut(out, outSize, raw->second.data(), raw->second.size());
    if (request.device.size() == 6) {
        const Volume &volume = volumes.at(request.device[4]);
        return request.code == IOCTL_QUERY_VOLUME && volume.query &&
               copyOut(out, outSize, &*volume.query, sizeof(VolumeQueryResult));
    }
    if (request.device != L"\\\\.\\PhysicalDrive0")
        return false;
    switch (request.code) {
    case IOCTL_GET_STATUS:
        return copyOut(out, outSize, &status, sizeof status);
    case IOCTL_CLEAR_STATISTICS:
        status.totalRequests = status.totalBytes = status.elapsedMs = 0;
        return true;
    case IOCTL_SET_OPTIONS:
        return request.in.size() >= sizeof options &&
               (std::memcpy(&options, request.in.data(), sizeof options), true);
    case IOCTL_GET_OPTIONS:
        return copyOut(out, outSize, &options, sizeof options);
    case IOCTL_GET_CACHE_TABLE:
        return copyOut(out, outSize, &cacheTable, sizeof cacheTable);
    case IOCTL_SET_CACHE_TABLE: {
        if (request.in.size() < sizeof(CacheTable))
            return false;
        CacheTable received;
        std::memcpy(&received, request.in.data(), sizeof received);
        if (setStoresTable) {
            cacheTable = emptyCacheTable();
            for (const CacheEntry &entry : received.entries)
                if (entry.sizeBytes > 0)
                    appendEntry(cacheTable, entryPath(entry), entrySizeGB(entry), entry.rating);
            cacheTable.status = 1;
        }
        received.status = setTableStatus;
        return copyOut(out, outSize, &received, sizeof received);
    }
    }
    return false;
}

void RecordingSystem::closeHandle(Handle handle) {
    calls.push_back("close " + std::to_string(handle));
    openHandles.erase(handle);
}

const RecordingSystem::Volume *RecordingSystem::volumeOf(const std::wstring &root,
                                                         const char *call) {
    calls.push_back(call + (" " + narrow(root)));
    const auto it = volumes.find(root.size() == 3 && root.substr(1) == L":\\" ? root[0] : 0);
    return it == volumes.end() ? nullptr : &it->second;
}

unsigned RecordingSystem::driveType(const std::wstring &root) {
    const Volume *volume = volumeOf(root, "driveType");
    return volume ? volume->type : DriveNoRootDir;
}

bool RecordingSystem::volumeFileSystem(const std::wstring &root, std::wstring &name) {
    const Volume *volume = volumeOf(root, "volumeInformation");
    return volume && volume->fileSystem && (name = *volume->fileSystem, true);
}

bool RecordingSystem::freeBytesAvailable(const std::wstring &root, std::uint64_t &bytes) {
    const Volume *volume = volumeOf(root, "freeSpace");
    return volume && volume->freeBytes && (bytes = *volume->freeBytes, true);
}

std::uint64_t RecordingSystem::fileSize(const std::wstring &path) {
    calls.push_back("fileSize " + narrow(path));
    const auto it = files.find(path);
    return it == files.end() ? 0 : it->second;
}

void RecordingSystem::sleep(unsigned milliseconds) {
    calls.push_back("sleep " + std::to_string(milliseconds));
}

std::vector<RecordingSystem::Request> RecordingSystem::requestsWith(std::uint32_t code) const {
    std::vector<Request> found;
    std::copy_if(requests.begin(), requests.end(), std::back_inserter(found),
                 [code](const Request &request) { return request.code == code; });
    return found;
}

void RecordingSystem::clearLog() {
    calls.clear();
    requests.clear();
    // Kept, the paths of closed handles would grow with every request of a fuzzing run.
    for (auto it = paths_.begin(); it != paths_.end();)
        it = openHandles.count(it->first) ? std::next(it) : paths_.erase(it);
}

} // namespace orvanta::testing
