#pragma once

// The driver's side of the exchange: control codes and the fixed binary records that travel
// with them. Layouts are little-endian without gaps; every size and offset is checked below,
// because the driver reads and writes these bytes directly.

#include <cstddef>
#include <cstdint>

namespace orvanta {

#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__)
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the records are little-endian");
#endif

// Built like the system's CTL_CODE macro.
constexpr std::uint32_t ctlCode(std::uint32_t deviceType, std::uint32_t function,
                                std::uint32_t method, std::uint32_t access) {
    return (deviceType << 16) | (access << 14) | (function << 2) | method;
}

constexpr std::uint32_t FILE_DEVICE_DISK = 7;
constexpr std::uint32_t METHOD_BUFFERED = 0;
constexpr std::uint32_t FILE_ANY_ACCESS = 0;

constexpr std::uint32_t orvantaCode(std::uint32_t function) {
    return ctlCode(FILE_DEVICE_DISK, function, METHOD_BUFFERED, FILE_ANY_ACCESS);
}

constexpr std::uint32_t IOCTL_GET_STATUS = orvantaCode(0xA83);
constexpr std::uint32_t IOCTL_CLEAR_STATISTICS = orvantaCode(0xA84);
constexpr std::uint32_t IOCTL_SET_OPTIONS = orvantaCode(0xA85);
constexpr std::uint32_t IOCTL_GET_OPTIONS = orvantaCode(0xA86);
constexpr std::uint32_t IOCTL_GET_CACHE_TABLE = orvantaCode(0xA87);
constexpr std::uint32_t IOCTL_SET_CACHE_TABLE = orvantaCode(0xA88);
constexpr std::uint32_t IOCTL_QUERY_VOLUME = orvantaCode(0xA89);

static_assert(IOCTL_GET_STATUS == 0x72A0C, "IOCTL_GET_STATUS");
static_assert(IOCTL_CLEAR_STATISTICS == 0x72A10, "IOCTL_CLEAR_STATISTICS");
static_assert(IOCTL_SET_OPTIONS == 0x72A14, "IOCTL_SET_OPTIONS");
static_assert(IOCTL_GET_OPTIONS == 0x72A18, "IOCTL_GET_OPTIONS");
static_assert(IOCTL_GET_CACHE_TABLE == 0x72A1C, "IOCTL_GET_CACHE_TABLE");
static_assert(IOCTL_SET_CACHE_TABLE == 0x72A20, "IOCTL_SET_CACHE_TABLE");
static_assert(IOCTL_QUERY_VOLUME == 0x72A24, "IOCTL_QUERY_VOLUME");

// The name of a control code as the journal and tools write it; nullptr for an unknown code.
const char *controlCodeName(std::uint32_t code);
// The code of a name written by controlCodeName; 0 for an unknown name.
std::uint32_t controlCodeByName(const char *name);

enum class DriverState : std::uint32_t {
    NotRunning = 0,
    Running = 1,
    Disabled = 2,
    Failsafe = 3,
};

// The answer to IOCTL_GET_STATUS.
struct StatusRecord {
    std::uint32_t state;         // a DriverState, or a value the monitor does not know
    std::int32_t failsafeReason; // the driver's code for the Failsafe state
    std::uint32_t reserved;
    std::uint32_t memoryUsed; // bytes
    std::uint64_t totalRequests;
    std::uint64_t totalBytes;
    std::uint64_t elapsedMs; // the period the two counters cover
};
static_assert(sizeof(StatusRecord) == 40, "StatusRecord");
static_assert(offsetof(StatusRecord, state) == 0, "StatusRecord::state");
static_assert(offsetof(StatusRecord, failsafeReason) == 4, "StatusRecord::failsafeReason");
static_assert(offsetof(StatusRecord, reserved) == 8, "StatusRecord::reserved");
static_assert(offsetof(StatusRecord, memoryUsed) == 12, "StatusRecord::memoryUsed");
static_assert(offsetof(StatusRecord, totalRequests) == 16, "StatusRecord::totalRequests");
static_assert(offsetof(StatusRecord, totalBytes) == 24, "StatusRecord::totalBytes");
static_assert(offsetof(StatusRecord, elapsedMs) == 32, "StatusRecord::elapsedMs");

// The input of IOCTL_SET_OPTIONS and the answer to IOCTL_GET_OPTIONS; each field a flag.
struct OptionsRecord {
    std::uint32_t prefetcherEnabled;
    std::uint32_t saveMemory;
    std::uint32_t disableWriteCache;
    std::uint32_t disableSpeculative;
};
static_assert(sizeof(OptionsRecord) == 16, "OptionsRecord");
static_assert(offsetof(OptionsRecord, prefetcherEnabled) == 0, "OptionsRecord::prefetcherEnabled");
static_assert(offsetof(OptionsRecord, saveMemory) == 4, "OptionsRecord::saveMemory");
static_assert(offsetof(OptionsRecord, disableWriteCache) == 8, "OptionsRecord::disableWriteCache");
static_assert(offsetof(OptionsRecord, disableSpeculative) == 12,
              "OptionsRecord::disableSpeculative");

// The answer to IOCTL_QUERY_VOLUME, sent to a volume device.
struct VolumeQueryResult {
    std::uint32_t diskId; // equal on volumes of one physical disk
    std::uint32_t rating;
};
static_assert(sizeof(VolumeQueryResult) == 8, "VolumeQueryResult");
static_assert(offsetof(VolumeQueryResult, diskId) == 0, "VolumeQueryResult::diskId");
static_assert(offsetof(VolumeQueryResult, rating) == 4, "VolumeQueryResult::rating");

constexpr int CacheEntryCount = 26;
constexpr std::size_t CachePathSize = 64;

// One volume's cache in the table: all zero when empty.
struct CacheEntry {
    char path[CachePathSize]; // 8-bit volume root such as "C:\", NUL-terminated when written
    std::int64_t sizeBytes;   // whole gigabytes shifted left by 30
    std::uint8_t reserved1[8];
    std::uint32_t rating; // from the volume's VolumeQueryResult, 0 when not queried
    std::uint32_t reserved2;
};
static_assert(sizeof(CacheEntry) == 88, "CacheEntry");
static_assert(offsetof(CacheEntry, path) == 0, "CacheEntry::path");
static_assert(offsetof(CacheEntry, sizeBytes) == 64, "CacheEntry::sizeBytes");
static_assert(offsetof(CacheEntry, reserved1) == 72, "CacheEntry::reserved1");
static_assert(offsetof(CacheEntry, rating) == 80, "CacheEntry::rating");
static_assert(offsetof(CacheEntry, reserved2) == 84, "CacheEntry::reserved2");

// The whole cache layout, both ways through IOCTL_GET/SET_CACHE_TABLE. No count, no version:
// entries are packed from entry 0 and the rest are zero.
struct CacheTable {
    std::uint32_t status; // 0 when sent; in an answer non-zero means valid / all enabled
    std::uint32_t reserved;
    CacheEntry entries[CacheEntryCount];
};
static_assert(sizeof(CacheTable) == 2296, "CacheTable");
static_assert(offsetof(CacheTable, status) == 0, "CacheTable::status");
static_assert(offsetof(CacheTable, reserved) == 4, "CacheTable::reserved");
static_assert(offsetof(CacheTable, entries) == 8, "CacheTable::entries");

} // namespace orvanta
