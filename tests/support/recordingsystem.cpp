#include "recordingsystem.h"

#include "core/cachetable.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace orvanta::testing {

namespace {
std::string narrow(const std::wstring &text) {
    std::string out;
    for (wchar_t c : text)
        out += (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '?';
    return out;
}

std::string hexCode(std::uint32_t code) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%X", static_cast<unsigned>(code));
    return buffer;
}

void copyOut(void *out, std::uint32_t outSize, const void *from, std::size_t size) {
    // An empty raw answer has no bytes to point at; memcpy must not be handed its null pointer.
    if (out && outSize && size)
        std::memcpy(out, from, std::min<std::size_t>(outSize, size));
}
} // namespace

RecordingSystem::RecordingSystem()
    : cacheTable(emptyCacheTable()) {}

const RecordingSystem::Volume *RecordingSystem::volumeOf(const std::wstring &root) const {
    if (root.size() != 3 || root[1] != L':' || root[2] != L'\\')
        return nullptr;
    auto it = volumes.find(root[0]);
    return it == volumes.end() ? nullptr : &it->second;
}

SystemApi::Handle RecordingSystem::createFile(const std::wstring &path) {
    bool opens = false;
    if (path == L"\\\\.\\PhysicalDrive0")
        opens = driverLoaded;
    else if (path.size() == 6 && path.compare(0, 4, L"\\\\.\\") == 0 && path[5] == L':')
        opens = volumes.count(path[4]) != 0;
    else
        opens = extraDevices.count(path) != 0;
    if (!opens) {
        calls.push_back("open-failed " + narrow(path));
        return invalidHandle();
    }
    const Handle handle = nextHandle_++;
    handlePaths_[handle] = path;
    openHandles.insert(handle);
    calls.push_back("open " + narrow(path) + " " + std::to_string(handle));
    return handle;
}

bool RecordingSystem::deviceIoControl(Handle handle, std::uint32_t code, const void *in,
                                      std::uint32_t inSize, void *out, std::uint32_t outSize) {
    calls.push_back("ioctl " + std::to_string(handle) + " " + hexCode(code));
    Request request;
    auto it = handlePaths_.find(handle);
    request.device = it == handlePaths_.end() ? std::wstring() : it->second;
    request.code = code;
    request.inBuffer = in;
    request.inSize = inSize;
    request.outBuffer = out;
    request.outSize = outSize;
    if (in && inSize)
        request.in.assign(static_cast<const std::uint8_t *>(in),
                          static_cast<const std::uint8_t *>(in) + inSize);
    request.ok =
        openHandles.count(handle) != 0 && answer(request.device, code, in, inSize, out, outSize);
    requests.push_back(request);
    return request.ok;
}

bool RecordingSystem::answer(const std::wstring &device, std::uint32_t code, const void *in,
                             std::uint32_t inSize, void *out, std::uint32_t outSize) {
    if (failing.count(code))
        return false;
    auto raw = rawAnswers.find(code);
    if (raw != rawAnswers.end()) {
        copyOut(out, outSize, raw->second.data(), raw->second.size());
        return true;
    }
    if (device.size() == 6 && device[5] == L':') {
        const Volume &volume = volumes.at(device[4]);
        if (code != IOCTL_QUERY_VOLUME || !volume.query)
            return false;
        copyOut(out, outSize, &*volume.query, sizeof(VolumeQueryResult));
        return true;
    }
    if (device != L"\\\\.\\PhysicalDrive0")
        return false;
    switch (code) {
    case IOCTL_GET_STATUS:
        copyOut(out, outSize, &status, sizeof status);
        return true;
    case IOCTL_CLEAR_STATISTICS:
        status.totalRequests = status.totalBytes = status.elapsedMs = 0;
        return true;
    case IOCTL_SET_OPTIONS:
        if (!in || inSize < sizeof options)
            return false;
        std::memcpy(&options, in, sizeof options);
        return true;
    case IOCTL_GET_OPTIONS:
        copyOut(out, outSize, &options, sizeof options);
        return true;
    case IOCTL_GET_CACHE_TABLE:
        copyOut(out, outSize, &cacheTable, sizeof cacheTable);
        return true;
    case IOCTL_SET_CACHE_TABLE: {
        if (!in || inSize < sizeof(CacheTable))
            return false;
        CacheTable received;
        std::memcpy(&received, in, sizeof received);
        if (setStoresTable) {
            cacheTable = emptyCacheTable();
            for (const CacheEntry &entry : received.entries)
                if (entry.sizeBytes > 0)
                    appendEntry(cacheTable, entryPath(entry), entrySizeGB(entry), entry.rating);
            cacheTable.status = 1;
        }
        CacheTable reply = received;
        reply.status = setTableStatus;
        copyOut(out, outSize, &reply, sizeof reply);
        return true;
    }
    default:
        return false;
    }
}

void RecordingSystem::closeHandle(Handle handle) {
    calls.push_back("close " + std::to_string(handle));
    openHandles.erase(handle);
}

unsigned RecordingSystem::driveType(const std::wstring &root) {
    calls.push_back("driveType " + narrow(root));
    const Volume *volume = volumeOf(root);
    return volume ? volume->type : DriveNoRootDir;
}

bool RecordingSystem::volumeFileSystem(const std::wstring &root, std::wstring &fileSystemName) {
    calls.push_back("volumeInformation " + narrow(root));
    const Volume *volume = volumeOf(root);
    if (!volume || !volume->fileSystem)
        return false;
    fileSystemName = *volume->fileSystem;
    return true;
}

bool RecordingSystem::freeBytesAvailable(const std::wstring &root, std::uint64_t &bytes) {
    calls.push_back("freeSpace " + narrow(root));
    const Volume *volume = volumeOf(root);
    if (!volume || !volume->freeBytes)
        return false;
    bytes = *volume->freeBytes;
    return true;
}

std::uint64_t RecordingSystem::fileSize(const std::wstring &path) {
    calls.push_back("fileSize " + narrow(path));
    auto it = files.find(path);
    return it == files.end() ? 0 : it->second;
}

void RecordingSystem::sleep(unsigned milliseconds) {
    calls.push_back("sleep " + std::to_string(milliseconds));
    sleeps.push_back(milliseconds);
}

std::vector<RecordingSystem::Request> RecordingSystem::requestsWith(std::uint32_t code) const {
    std::vector<Request> found;
    for (const Request &request : requests)
        if (request.code == code)
            found.push_back(request);
    return found;
}

void RecordingSystem::clearLog() {
    calls.clear();
    requests.clear();
    sleeps.clear();
    // The names of closed handles serve only the log just cleared; kept, a fake that lives for a
    // whole fuzzing run would grow with every request.
    for (auto it = handlePaths_.begin(); it != handlePaths_.end();)
        it = openHandles.count(it->first) ? std::next(it) : handlePaths_.erase(it);
}

} // namespace orvanta::testing
