/* The rule by which the simulated driver takes a new cache layout, in C: the simulated machine
 * (simdriver.cpp) and the kernel-mode stand-in (sim/windows-driver/standin.c) both take tables
 * through these functions, so the two drivers cannot drift apart. Freestanding, as the stand-in
 * has no C runtime: nothing but core/wire.h. What each side does with the files stays its own. */
#ifndef ORVANTA_TABLETAKING_H
#define ORVANTA_TABLETAKING_H

#include "core/wire.h"

#ifdef __cplusplus
namespace orvanta {
#endif

/* Drive letters A to Z: room[letter - 'A']. */
#define ORVANTA_DRIVE_LETTERS 26

/* The upper-case drive letter of an entry whose path is exactly a volume root "X:\" (either
 * case), or 0. Never reads past the path field. */
static inline char orvanta_entry_letter(const struct orvanta_cache_entry *entry) {
    const char *path = entry->path;

    if (path[1] != ':' || path[2] != '\\' || path[3] != '\0')
        return 0;
    if (path[0] >= 'a' && path[0] <= 'z')
        return (char)(path[0] - 'a' + 'A');
    if (path[0] >= 'A' && path[0] <= 'Z')
        return path[0];
    return 0;
}

/* Keeps the entries of a received layout that have a size, packed from entry 0 of *kept, which
 * is written whole: status 1 and the path up to its NUL (never past the field), the size and the
 * rating of each, every other byte zero, as the driver holds the table afterwards.
 *
 * room[L - 'A'] is what volume L can still take (0 where no cache may live); an entry fits when
 * its size is no more than what is left there, and takes it. One that does not fit is dropped when
 * automatic and kept all the same otherwise; *allFit says whether every entry fitted. Returns the
 * number of entries kept. */
static inline unsigned orvanta_keep_entries(const struct orvanta_cache_table *received,
                                            uint64_t room[ORVANTA_DRIVE_LETTERS], int automatic,
                                            struct orvanta_cache_table *kept, int *allFit) {
    unsigned char *bytes = (unsigned char *)kept;
    unsigned count = 0;

    for (size_t at = 0; at < sizeof *kept; at++)
        bytes[at] = 0;
    kept->status = 1;
    *allFit = 1;
    for (unsigned index = 0; index < ORVANTA_CACHE_ENTRY_COUNT; index++) {
        const struct orvanta_cache_entry *entry = &received->entries[index];
        struct orvanta_cache_entry *taken = &kept->entries[count];
        const char letter = orvanta_entry_letter(entry);
        uint64_t *left = letter ? &room[letter - 'A'] : NULL;

        if (entry->sizeBytes <= 0)
            continue;
        if (left && (uint64_t)entry->sizeBytes <= *left) {
            *left -= (uint64_t)entry->sizeBytes;
        } else {
            *allFit = 0;
            if (automatic)
                continue;
        }
        for (size_t at = 0; at < sizeof entry->path && entry->path[at]; at++)
            taken->path[at] = entry->path[at];
        taken->sizeBytes = entry->sizeBytes;
        taken->rating = entry->rating;
        count++;
    }
    return count;
}

#ifdef __cplusplus
} // namespace orvanta
#endif

#endif
