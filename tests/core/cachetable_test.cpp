#include "core/cachetable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace orvanta;

namespace {
bool allZero(const void *data, std::size_t size) {
    const auto *bytes = static_cast<const unsigned char *>(data);
    for (std::size_t i = 0; i < size; ++i)
        if (bytes[i])
            return false;
    return true;
}
} // namespace

TEST(CacheTable, AppendPacksEntriesAndKeepsReservedBytesZero) {
    CacheTable table = emptyCacheTable();
    ASSERT_TRUE(allZero(&table, sizeof table));

    std::vector<std::string> roots;
    for (char letter = 'C'; letter <= 'Z'; ++letter)
        roots.push_back(std::string(1, letter) + ":\\");
    for (std::size_t i = 0; i < roots.size(); ++i)
        ASSERT_NE(appendEntry(table, roots[i], static_cast<int>(i), 500 + i), nullptr);

    const auto *bytes = reinterpret_cast<const unsigned char *>(&table);
    EXPECT_TRUE(allZero(bytes, 8)); // status and reserved
    for (int k = 0; k < 24; ++k) {
        const unsigned char *entry = bytes + 8 + 88 * k;
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(entry)), roots[k]);
        EXPECT_TRUE(allZero(entry + 3, 61)) << k;
        std::int64_t size;
        std::memcpy(&size, entry + 64, 8);
        EXPECT_EQ(size, std::int64_t(k) << 30);
        EXPECT_TRUE(allZero(entry + 72, 8)) << k;
        std::uint32_t rating;
        std::memcpy(&rating, entry + 80, 4);
        EXPECT_EQ(rating, 500u + k);
        EXPECT_TRUE(allZero(entry + 84, 4)) << k;
    }
    EXPECT_TRUE(allZero(bytes + 8 + 88 * 24, 2 * 88));

    ASSERT_NE(appendEntry(table, "A:\\", 1, 0), nullptr);
    ASSERT_NE(appendEntry(table, "B:\\", 1, 0), nullptr);
    EXPECT_EQ(appendEntry(table, "Q:\\", 1, 0), nullptr) << "only 26 entries fit";
    CacheTable fresh = emptyCacheTable();
    EXPECT_EQ(appendEntry(fresh, "", 1, 0), nullptr) << "an entry without a path reads as empty";
}

TEST(CacheTable, SizesWidenWithSignAndReadBackInWholeGigabytes) {
    CacheEntry entry{};
    setEntrySizeGB(entry, 16);
    EXPECT_EQ(entry.sizeBytes, 17179869184);
    setEntrySizeGB(entry, -1);
    EXPECT_EQ(entry.sizeBytes, -1073741824);
    setEntrySizeGB(entry, 0x7fffffff);
    EXPECT_EQ(entry.sizeBytes, std::int64_t(0x7fffffff) << 30);

    entry.sizeBytes = 1610612736; // 1.5 GB
    EXPECT_EQ(entrySizeGB(entry), 1);
    entry.sizeBytes = 1073741823;
    EXPECT_EQ(entrySizeGB(entry), 0);
    entry.sizeBytes = std::int64_t(1) << 62; // 2^32 GB: the low 32 bits are 0
    EXPECT_EQ(entrySizeGB(entry), 0);
    entry.sizeBytes = -1073741824; // read as unsigned: 2^34 - 1 GB, low bits all ones
    EXPECT_EQ(entrySizeGB(entry), -1);
}

TEST(CacheTable, PathIsBoundedToItsField) {
    CacheEntry entry{};
    setEntryPath(entry, std::string(100, 'x'));
    EXPECT_EQ(entryPath(entry), std::string(63, 'x'));
    EXPECT_EQ(entry.path[63], '\0');

    // An unterminated path from the driver reads as its 64 bytes and no further.
    struct {
        CacheEntry entry;
        char after[8];
    } guarded;
    std::memset(&guarded, 'y', sizeof guarded);
    EXPECT_EQ(entryPath(guarded.entry), std::string(64, 'y'));
}

TEST(CacheTable, FindEntryByRoot) {
    CacheTable table = emptyCacheTable();
    appendEntry(table, "c:\\", 4, 0);
    appendEntry(table, "D:", 5, 0);
    appendEntry(table, "E:\\", 1, 0);
    appendEntry(table, "e:\\", 3, 0);

    const CacheEntry *c = findEntry(table, "C:\\");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(entrySizeGB(*c), 4);
    EXPECT_EQ(findEntry(table, "D:\\"), nullptr) << "a path without its backslash is no root";
    const CacheEntry *e = findEntry(table, "E:\\");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(entrySizeGB(*e), 3) << "the last match wins";
    EXPECT_EQ(findEntry(table, ""), nullptr) << "an empty entry never matches";
    EXPECT_EQ(findEntry(table, "F:\\"), nullptr);

    // The scan covers all 26 entries, also past an empty one, and stays inside each path field.
    CacheTable sparse = emptyCacheTable();
    setEntryPath(sparse.entries[25], "Z:\\");
    setEntrySizeGB(sparse.entries[25], 2);
    std::memset(sparse.entries[24].path, 'Z', 64);
    ASSERT_NE(findEntry(sparse, "Z:\\"), nullptr);
    EXPECT_EQ(findEntry(sparse, "Z:\\"), &sparse.entries[25]);
    EXPECT_EQ(findEntry(sparse, std::string(64, 'Z')), &sparse.entries[24]);

    EXPECT_FALSE(driverConfirmed(table));
    table.status = 2;
    EXPECT_TRUE(driverConfirmed(table));
}
