#pragma once

// The driver's side of the exchange under the names the monitor uses: the control codes and
// records of core/wire.h, whose every size and offset is checked here, because the driver reads
// and writes these bytes directly.

#include "core/wire.h"

#include <cstddef>
#include <cstdint>

namespace orvanta {

#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__)
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the records are little-endian");
#endif

// The wire's codes (ORVANTA_CODE: FILE_DEVICE_DISK, METHOD_BUFFERED, FILE_ANY_ACCESS) as
// constants, each checked against its place in the list and against its value below.
#define ORVANTA_IOCTL_CONSTANT(name, function, word)                                               \
    constexpr std::uint32_t IOCTL_##name = ORVANTA_CODE(function);                                 \
    static_assert(IOCTL_##name == ORVANTA_FIRST_CODE + 4 * ORVANTA_INDEX_##name, #name);
ORVANTA_CONTROL_CODES(ORVANTA_IOCTL_CONSTANT)
#undef ORVANTA_IOCTL_CONSTANT

static_assert(IOCTL_GET_STATUS == 0x72A0C, "IOCTL_GET_STATUS");
static_assert(IOCTL_CLEAR_STATISTICS == 0x72A10, "IOCTL_CLEAR_STATISTICS");
static_assert(IOCTL_SET_OPTIONS == 0x72A14, "IOCTL_SET_OPTIONS");
static_assert(IOCTL_GET_OPTIONS == 0x72A18, "IOCTL_GET_OPTIONS");
static_assert(IOCTL_GET_CACHE_TABLE == 0x72A1C, "IOCTL_GET_CACHE_TABLE");
static_assert(IOCTL_SET_CACHE_TABLE == 0x72A20, "IOCTL_SET_CACHE_TABLE");
static_assert(IOCTL_QUERY_VOLUME == 0x72A24, "IOCTL_QUERY_VOLUME");

// Every control code, in the order of their functions.
constexpr std::uint32_t ControlCodes[] = {
#define ORVANTA_IOCTL_ELEMENT(name, function, word) IOCTL_##name,
    ORVANTA_CONTROL_CODES(ORVANTA_IOCTL_ELEMENT)
#undef ORVANTA_IOCTL_ELEMENT
};

// The name of a control code as the journal and tools write it; nullptr for an unknown code.
const char *controlCodeName(std::uint32_t code);
// The code of a name written by controlCodeName; 0 for an unknown name.
std::uint32_t controlCodeByName(const char *name);

enum class DriverState : std::uint32_t {
    NotRunning = ORVANTA_NOT_RUNNING,
    Running = ORVANTA_RUNNING,
    Disabled = ORVANTA_DISABLED,
    Failsafe = ORVANTA_FAILSAFE,
};

// The untranslated word for a state, as the Status tab and the tools show it ("Not running");
// nullptr for a state the monitor does not know.
const char *driverStateWord(std::uint32_t state);

using StatusRecord = orvanta_status_record;
static_assert(sizeof(StatusRecord) == 40, "StatusRecord");
static_assert(offsetof(StatusRecord, state) == 0, "StatusRecord::state");
static_assert(offsetof(StatusRecord, failsafeReason) == 4, "StatusRecord::failsafeReason");
static_assert(offsetof(StatusRecord, reserved) == 8, "StatusRecord::reserved");
static_assert(offsetof(StatusRecord, memoryUsed) == 12, "StatusRecord::memoryUsed");
static_assert(offsetof(StatusRecord, totalRequests) == 16, "StatusRecord::totalRequests");
static_assert(offsetof(StatusRecord, totalBytes) == 24, "StatusRecord::totalBytes");
static_assert(offsetof(StatusRecord, elapsedMs) == 32, "StatusRecord::elapsedMs");

using OptionsRecord = orvanta_options_record;
static_assert(sizeof(OptionsRecord) == 16, "OptionsRecord");
static_assert(offsetof(OptionsRecord, prefetcherEnabled) == 0, "OptionsRecord::prefetcherEnabled");
static_assert(offsetof(OptionsRecord, saveMemory) == 4, "OptionsRecord::saveMemory");
static_assert(offsetof(OptionsRecord, disableWriteCache) == 8, "OptionsRecord::disableWriteCache");
static_assert(offsetof(OptionsRecord, disableSpeculative) == 12,
              "OptionsRecord::disableSpeculative");

// The meaning of an OptionsRecord: the four option boxes in record order, non-zero read as on.
struct OptionFlags {
    bool prefetcherEnabled = false;
    bool saveMemory = false;
    bool disableWriteCache = false;
    bool disableSpeculative = false;
};
OptionsRecord optionsRecord(const OptionFlags &flags);
OptionFlags optionFlags(const OptionsRecord &record);

using VolumeQueryResult = orvanta_volume_query_result;
static_assert(sizeof(VolumeQueryResult) == 8, "VolumeQueryResult");
static_assert(offsetof(VolumeQueryResult, diskId) == 0, "VolumeQueryResult::diskId");
static_assert(offsetof(VolumeQueryResult, rating) == 4, "VolumeQueryResult::rating");

constexpr int CacheEntryCount = ORVANTA_CACHE_ENTRY_COUNT;
constexpr std::size_t CachePathSize = ORVANTA_CACHE_PATH_SIZE;

using CacheEntry = orvanta_cache_entry;
static_assert(sizeof(CacheEntry) == 88, "CacheEntry");
static_assert(offsetof(CacheEntry, path) == 0, "CacheEntry::path");
static_assert(offsetof(CacheEntry, sizeBytes) == 64, "CacheEntry::sizeBytes");
static_assert(offsetof(CacheEntry, reserved1) == 72, "CacheEntry::reserved1");
static_assert(offsetof(CacheEntry, rating) == 80, "CacheEntry::rating");
static_assert(offsetof(CacheEntry, reserved2) == 84, "CacheEntry::reserved2");

using CacheTable = orvanta_cache_table;
static_assert(sizeof(CacheTable) == 2296, "CacheTable");
static_assert(offsetof(CacheTable, status) == 0, "CacheTable::status");
static_assert(offsetof(CacheTable, reserved) == 4, "CacheTable::reserved");
static_assert(offsetof(CacheTable, entries) == 8, "CacheTable::entries");

} // namespace orvanta
