/* The driver's side of the exchange as both languages see it: the control codes and the fixed
 * binary records that travel with them. The monitor (C++) and the kernel-mode stand-in (C, no C
 * runtime) read the same lines, so the two can never disagree on a byte. Layouts are
 * little-endian without gaps; the sizes are checked here and every offset in records.h.
 *
 * Nothing but <stdint.h> and <stddef.h>: the stand-in has no other header to offer. In C++ the
 * records live in namespace orvanta, where records.h gives them the monitor's names. */
#ifndef ORVANTA_WIRE_H
#define ORVANTA_WIRE_H

#include <stddef.h>
#include <stdint.h>

/* Built like the system's CTL_CODE macro. */
#define ORVANTA_CTL_CODE(deviceType, function, method, access)                                     \
    (((uint32_t)(deviceType) << 16) | ((uint32_t)(access) << 14) | ((uint32_t)(function) << 2) |   \
     (uint32_t)(method))

#define ORVANTA_FILE_DEVICE_DISK 7u
#define ORVANTA_METHOD_BUFFERED 0u
#define ORVANTA_FILE_ANY_ACCESS 0u

#define ORVANTA_CODE(function)                                                                     \
    ORVANTA_CTL_CODE(ORVANTA_FILE_DEVICE_DISK, function, ORVANTA_METHOD_BUFFERED,                  \
                     ORVANTA_FILE_ANY_ACCESS)

/* Every control code once, in the order of their functions: X(NAME, function, word), where
 * IOCTL_NAME is the name the journal and the tools write and word the stand-in tool's. A code's
 * index in this list is (code - ORVANTA_FIRST_CODE) / 4. */
#define ORVANTA_CONTROL_CODES(X)                                                                   \
    X(GET_STATUS, 0xA83, "get-status")                                                             \
    X(CLEAR_STATISTICS, 0xA84, "clear-statistics")                                                 \
    X(SET_OPTIONS, 0xA85, "set-options")                                                           \
    X(GET_OPTIONS, 0xA86, "get-options")                                                           \
    X(GET_CACHE_TABLE, 0xA87, "get-cache-table")                                                   \
    X(SET_CACHE_TABLE, 0xA88, "set-cache-table")                                                   \
    X(QUERY_VOLUME, 0xA89, "query-volume")

/* The code of the list's first function: the others follow it 4 apart. */
#define ORVANTA_FIRST_CODE ORVANTA_CODE(0xA83)

#ifdef __cplusplus
namespace orvanta {
#endif

#define ORVANTA_CODE_INDEX(name, function, word) ORVANTA_INDEX_##name,
enum orvanta_code_index { ORVANTA_CONTROL_CODES(ORVANTA_CODE_INDEX) ORVANTA_CODE_COUNT };
#undef ORVANTA_CODE_INDEX

/* The state field of the status record; a driver may send a value not listed. */
enum orvanta_driver_state {
    ORVANTA_NOT_RUNNING = 0,
    ORVANTA_RUNNING = 1,
    ORVANTA_DISABLED = 2,
    ORVANTA_FAILSAFE = 3,
    ORVANTA_STATE_COUNT = 4
};

/* The answer to IOCTL_GET_STATUS. */
struct orvanta_status_record {
    uint32_t state;         /* an orvanta_driver_state, or a value the monitor does not know */
    int32_t failsafeReason; /* the driver's code for the Failsafe state */
    uint32_t reserved;
    uint32_t memoryUsed; /* bytes */
    uint64_t totalRequests;
    uint64_t totalBytes;
    uint64_t elapsedMs; /* the period the two counters cover */
};

/* The input of IOCTL_SET_OPTIONS and the answer to IOCTL_GET_OPTIONS; each field a flag. */
struct orvanta_options_record {
    uint32_t prefetcherEnabled;
    uint32_t saveMemory;
    uint32_t disableWriteCache;
    uint32_t disableSpeculative;
};

/* The answer to IOCTL_QUERY_VOLUME, sent to a volume device. */
struct orvanta_volume_query_result {
    uint32_t diskId; /* equal on volumes of one physical disk */
    uint32_t rating;
};

#define ORVANTA_CACHE_ENTRY_COUNT 26
#define ORVANTA_CACHE_PATH_SIZE 64

/* One volume's cache in the table: all zero when empty. */
struct orvanta_cache_entry {
    /* 8-bit volume root such as "C:\", NUL-terminated when written */
    char path[ORVANTA_CACHE_PATH_SIZE];
    int64_t sizeBytes; /* whole gigabytes shifted left by 30 */
    uint8_t reserved1[8];
    uint32_t rating; /* from the volume's query result, 0 when not queried */
    uint32_t reserved2;
};

/* The whole cache layout, both ways through IOCTL_GET/SET_CACHE_TABLE. No count, no version:
 * entries are packed from entry 0 and the rest are zero. */
struct orvanta_cache_table {
    uint32_t status; /* 0 when sent; in an answer non-zero means valid / all enabled */
    uint32_t reserved;
    struct orvanta_cache_entry entries[ORVANTA_CACHE_ENTRY_COUNT];
};

#define ORVANTA_STATUS_SIZE 40
#define ORVANTA_OPTIONS_SIZE 16
#define ORVANTA_VOLUME_QUERY_SIZE 8
#define ORVANTA_CACHE_ENTRY_SIZE 88
#define ORVANTA_CACHE_TABLE_SIZE 2296

#ifdef __cplusplus
static_assert(sizeof(orvanta_status_record) == ORVANTA_STATUS_SIZE, "status record");
static_assert(sizeof(orvanta_options_record) == ORVANTA_OPTIONS_SIZE, "options record");
static_assert(sizeof(orvanta_volume_query_result) == ORVANTA_VOLUME_QUERY_SIZE, "volume query");
static_assert(sizeof(orvanta_cache_entry) == ORVANTA_CACHE_ENTRY_SIZE, "cache entry");
static_assert(sizeof(orvanta_cache_table) == ORVANTA_CACHE_TABLE_SIZE, "cache table");
} // namespace orvanta
#else
_Static_assert(sizeof(struct orvanta_status_record) == ORVANTA_STATUS_SIZE, "status record");
_Static_assert(sizeof(struct orvanta_options_record) == ORVANTA_OPTIONS_SIZE, "options record");
_Static_assert(sizeof(struct orvanta_volume_query_result) == ORVANTA_VOLUME_QUERY_SIZE,
               "volume query");
_Static_assert(sizeof(struct orvanta_cache_entry) == ORVANTA_CACHE_ENTRY_SIZE, "cache entry");
_Static_assert(sizeof(struct orvanta_cache_table) == ORVANTA_CACHE_TABLE_SIZE, "cache table");
#endif

#endif
