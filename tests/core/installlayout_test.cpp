#include "core/cachetable.h"
#include "core/installlayout.h"
#include "core/records.h"
#include "recordingsystem.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace orvanta;
using orvanta::testing::RecordingSystem;

namespace {
constexpr std::uint64_t GB = std::uint64_t(1) << 30;

struct Disk {
    wchar_t letter;
    std::uint32_t diskId;
    std::uint32_t rating;
    std::uint64_t freeBytes;
};

struct Entry {
    std::string path;
    std::int64_t gigabytes;
    std::uint32_t rating;
};

// The 2296 bytes of a table as the driver must receive them, laid out by hand.
std::vector<std::uint8_t> wireTable(const std::vector<Entry> &entries) {
    std::vector<std::uint8_t> bytes(2296, 0);
    for (std::size_t k = 0; k < entries.size(); ++k) {
        std::uint8_t *entry = bytes.data() + 8 + 88 * k;
        std::memcpy(entry, entries[k].path.data(), entries[k].path.size());
        const std::int64_t size = entries[k].gigabytes * std::int64_t(GB);
        std::memcpy(entry + 64, &size, 8);
        std::memcpy(entry + 80, &entries[k].rating, 4);
    }
    return bytes;
}

RecordingSystem machine(const std::vector<Disk> &disks) {
    RecordingSystem system;
    for (const Disk &disk : disks) {
        RecordingSystem::Volume &volume = system.volumes[disk.letter];
        volume.freeBytes = disk.freeBytes;
        volume.query = VolumeQueryResult{disk.diskId, disk.rating};
    }
    return system;
}

VolumeCandidate candidate(wchar_t letter, std::uint32_t diskId, std::uint32_t rating,
                          std::uint64_t freeBytes, std::int32_t weight = 1) {
    return VolumeCandidate{letter, weight, 0, VolumeQueryResult{diskId, rating}, freeBytes};
}

std::wstring letters(const std::vector<VolumeCandidate> &candidates) {
    std::wstring text;
    for (const VolumeCandidate &c : candidates)
        text += c.letter;
    return text;
}
} // namespace

TEST(InstallLayout, SharesEightGigabytesOverTheDisks) {
    struct Example {
        const char *name;
        std::vector<Disk> disks;
        std::vector<Entry> expected;
    };
    const Example examples[] = {
        {"one disk", {{L'C', 0, 100, 100 * GB}}, {{"C:\\", 8, 100}}},
        {"weights 2 and 1, the heavier first",
         {{L'C', 0, 100, 100 * GB}, {L'D', 1, 600, 100 * GB}},
         {{"D:\\", 6, 600}, {"C:\\", 2, 100}}},
        {"three equal disks",
         {{L'C', 0, 100, 100 * GB}, {L'D', 1, 100, 100 * GB}, {L'E', 2, 100, 100 * GB}},
         {{"C:\\", 3, 100}, {"D:\\", 3, 100}, {"E:\\", 2, 100}}},
        {"5 GB free keeps 2 GB and the rest is not given out",
         {{L'C', 0, 100, 5 * GB}},
         {{"C:\\", 3, 100}}},
        {"under 3 GB free gets no entry",
         {{L'C', 0, 100, 3 * GB - 1}, {L'D', 1, 50, 100 * GB}},
         {{"D:\\", 8, 50}}},
        {"exactly 3 GB free takes 1 GB",
         {{L'C', 0, 100, 3 * GB}, {L'D', 1, 50, 100 * GB}},
         {{"C:\\", 1, 100}, {"D:\\", 7, 50}}},
        {"one volume per disk, the freest",
         {{L'C', 0, 100, 50 * GB}, {L'D', 0, 200, 80 * GB}, {L'E', 1, 100, 100 * GB}},
         {{"D:\\", 4, 200}, {"E:\\", 4, 100}}},
        {"more disks than gigabytes",
         {{L'C', 0, 90, 100 * GB},
          {L'D', 1, 80, 100 * GB},
          {L'E', 2, 70, 100 * GB},
          {L'F', 3, 60, 100 * GB},
          {L'G', 4, 50, 100 * GB},
          {L'H', 5, 40, 100 * GB},
          {L'I', 6, 30, 100 * GB},
          {L'J', 7, 20, 100 * GB},
          {L'K', 8, 10, 100 * GB},
          {L'L', 9, 0, 100 * GB}},
         {{"C:\\", 1, 90},
          {"D:\\", 1, 80},
          {"E:\\", 1, 70},
          {"F:\\", 1, 60},
          {"G:\\", 1, 50},
          {"H:\\", 1, 40},
          {"I:\\", 1, 30},
          {"J:\\", 1, 20}}},
        {"heavy disks take their weight while it lasts",
         {{L'C', 0, 600, 100 * GB},
          {L'D', 1, 600, 100 * GB},
          {L'E', 2, 600, 100 * GB},
          {L'F', 3, 600, 100 * GB},
          {L'G', 4, 600, 100 * GB}},
         {{"C:\\", 2, 600}, {"D:\\", 2, 600}, {"E:\\", 2, 600}, {"F:\\", 2, 600}}},
        // Read as signed 32 bits, these free gigabytes would be 5, negative and 0.
        {"2^32 + 5 GB free", {{L'C', 0, 1, ((std::uint64_t(1) << 32) + 5) * GB}}, {{"C:\\", 8, 1}}},
        {"2^31 GB free", {{L'C', 0, 1, (std::uint64_t(1) << 31) * GB}}, {{"C:\\", 8, 1}}},
        {"2^64 - 1 bytes free", {{L'C', 0, 1, UINT64_MAX}}, {{"C:\\", 8, 1}}},
        {"no volumes", {}, {}},
    };
    for (const Example &example : examples) {
        SCOPED_TRACE(example.name);
        RecordingSystem system = machine(example.disks);
        EXPECT_TRUE(installDefaultLayout(system));
        const auto sets = system.requestsWith(IOCTL_SET_CACHE_TABLE);
        ASSERT_EQ(sets.size(), 1u);
        EXPECT_EQ(sets[0].in, wireTable(example.expected));
    }
}

TEST(InstallLayout, RunsInOrderAndSendsOneTableBothWays) {
    RecordingSystem system = machine({{L'D', 3, 700, 40 * GB}, {L'F', 4, 10, 40 * GB}});
    system.volumes[L'E'].query.reset(); // an eligible volume the driver does not answer for
    system.volumes[L'G'].type = SystemApi::DriveRemovable;
    system.volumes[L'G'].query = VolumeQueryResult{5, 1};
    // What the driver holds already is replaced without being read first.
    appendEntry(system.cacheTable, "Q:\\", 30, 1);

    EXPECT_TRUE(installDefaultLayout(system));

    ASSERT_FALSE(system.calls.empty());
    EXPECT_EQ(system.calls.front(), "sleep 5000");
    EXPECT_EQ(system.sleeps, std::vector<unsigned>{5000});
    ASSERT_EQ(system.requests.size(), 4u);
    const std::vector<std::wstring> queried = {L"\\\\.\\D:", L"\\\\.\\E:", L"\\\\.\\F:"};
    for (std::size_t i = 0; i < queried.size(); ++i) {
        const RecordingSystem::Request &query = system.requests[i];
        EXPECT_EQ(query.device, queried[i]);
        EXPECT_EQ(query.code, IOCTL_QUERY_VOLUME);
        EXPECT_EQ(query.inBuffer, nullptr);
        EXPECT_EQ(query.inSize, 0u);
        EXPECT_NE(query.outBuffer, nullptr);
        EXPECT_EQ(query.outSize, 8u);
    }
    const RecordingSystem::Request &set = system.requests.back();
    EXPECT_EQ(set.device, L"\\\\.\\PhysicalDrive0");
    EXPECT_EQ(set.code, IOCTL_SET_CACHE_TABLE);
    EXPECT_EQ(set.inBuffer, set.outBuffer);
    EXPECT_EQ(set.inSize, 2296u);
    EXPECT_EQ(set.outSize, 2296u);
    EXPECT_EQ(set.in, wireTable({{"D:\\", 6, 700}, {"F:\\", 2, 10}}));
    EXPECT_EQ(system.calls.back(), "close 103");
    EXPECT_TRUE(system.openHandles.empty());
    EXPECT_EQ(entryPath(system.cacheTable.entries[0]), "D:\\");
    EXPECT_EQ(entryPath(system.cacheTable.entries[2]), "");
}

TEST(InstallLayout, ResultIsWhetherTheTableWasSent) {
    RecordingSystem empty;
    EXPECT_TRUE(installDefaultLayout(empty)) << "an empty table is sent all the same";
    ASSERT_EQ(empty.requests.size(), 1u);
    EXPECT_EQ(empty.requests[0].in, std::vector<std::uint8_t>(2296, 0));

    // The driver's verdict in the answer is not examined.
    RecordingSystem refusing = machine({{L'C', 0, 1, 100 * GB}});
    refusing.setTableStatus = 0;
    EXPECT_TRUE(installDefaultLayout(refusing));

    RecordingSystem failing = machine({{L'C', 0, 1, 100 * GB}});
    failing.failing.insert(IOCTL_SET_CACHE_TABLE);
    EXPECT_FALSE(installDefaultLayout(failing));
    EXPECT_EQ(failing.requestsWith(IOCTL_SET_CACHE_TABLE).size(), 1u) << "no retry";

    RecordingSystem unloaded = machine({{L'C', 0, 1, 100 * GB}});
    unloaded.driverLoaded = false;
    EXPECT_FALSE(installDefaultLayout(unloaded));
}

TEST(InstallLayout, CollectsEligibleVolumesTheDriverAnswersFor) {
    RecordingSystem system = machine({{L'C', 1, 512, 10 * GB},
                                      {L'D', 2, 513, 20 * GB},
                                      {L'E', 3, 0, 30 * GB},
                                      {L'F', 4, 0xFFFFFFFF, 40 * GB}});
    system.volumes[L'G'].fileSystem = std::wstring(L"FAT32");
    system.volumes[L'G'].query = VolumeQueryResult{5, 1};
    system.volumes[L'H'].query.reset();

    const std::vector<VolumeCandidate> candidates = collectCandidates(system);
    ASSERT_EQ(letters(candidates), L"CDEF");
    const std::int32_t weights[] = {1, 2, 1, 2};
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        EXPECT_EQ(candidates[i].weight, weights[i]) << i;
        EXPECT_EQ(candidates[i].allottedGB, 0);
        EXPECT_EQ(candidates[i].query.diskId, i + 1);
        EXPECT_EQ(candidates[i].freeBytes, (i + 1) * 10 * GB);
    }
    EXPECT_EQ(candidates[3].query.rating, 0xFFFFFFFFu);
    EXPECT_EQ(system.requests.size(), 5u) << "an ineligible volume is not queried";

    // A short answer leaves the rest of the record zero.
    RecordingSystem shortAnswer = machine({{L'C', 1, 900, 10 * GB}});
    shortAnswer.rawAnswers[IOCTL_QUERY_VOLUME] = {7, 0, 0, 0};
    const std::vector<VolumeCandidate> short_ = collectCandidates(shortAnswer);
    ASSERT_EQ(short_.size(), 1u);
    EXPECT_EQ(short_[0].query.diskId, 7u);
    EXPECT_EQ(short_[0].query.rating, 0u);
    EXPECT_EQ(short_[0].weight, 1);
}

TEST(InstallLayout, MergeKeepsTheFreestVolumeOfEachDiskAtItsFirstPlace) {
    struct Example {
        const char *name;
        std::vector<VolumeCandidate> list;
        std::wstring expected;
    };
    const Example examples[] = {
        {"C: and D: share a disk, D: freer",
         {candidate(L'C', 0, 1, 50), candidate(L'D', 0, 1, 80), candidate(L'E', 1, 1, 10)},
         L"DE"},
        {"three on one disk",
         {candidate(L'C', 0, 1, 10), candidate(L'D', 0, 1, 30), candidate(L'E', 0, 1, 20)},
         L"D"},
        {"equal free space keeps the lower letter",
         {candidate(L'C', 0, 1, 10), candidate(L'D', 0, 1, 10)},
         L"C"},
        {"interleaved disks",
         {candidate(L'C', 0, 1, 10), candidate(L'D', 1, 1, 50), candidate(L'E', 0, 1, 30),
          candidate(L'F', 1, 1, 20), candidate(L'G', 2, 1, 1)},
         L"EDG"},
        // After a removal the record that moved up is compared too.
        {"one disk, freest in the middle",
         {candidate(L'C', 0, 1, 1), candidate(L'D', 0, 1, 2), candidate(L'E', 0, 1, 3),
          candidate(L'F', 0, 1, 2)},
         L"E"},
        {"free bytes compared unsigned",
         {candidate(L'C', 0, 1, 1), candidate(L'D', 0, 1, UINT64_MAX)},
         L"D"},
        {"empty", {}, L""},
    };
    for (const Example &example : examples) {
        SCOPED_TRACE(example.name);
        std::vector<VolumeCandidate> list = example.list;
        mergeSameDisk(list);
        EXPECT_EQ(letters(list), example.expected);
    }

    // The whole record is taken over, not just the letter.
    std::vector<VolumeCandidate> list = {candidate(L'C', 9, 1, 5, 1),
                                         candidate(L'D', 9, 800, 6, 2)};
    mergeSameDisk(list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].query.rating, 800u);
    EXPECT_EQ(list[0].weight, 2);
    EXPECT_EQ(list[0].freeBytes, 6u);
}

TEST(InstallLayout, SortPutsTheHighestRatingFirst) {
    struct Example {
        std::vector<std::uint32_t> ratings; // for C:, D:, ... in turn
        std::wstring expected;
    };
    const Example examples[] = {
        {{5, 1, 5, 7}, L"FECD"},   {{1, 2, 3}, L"EDC"}, {{3, 3, 3}, L"CDE"},
        {{0x80000000u, 1}, L"CD"}, {{}, L""},
    };
    for (const Example &example : examples) {
        std::vector<VolumeCandidate> list;
        for (std::size_t i = 0; i < example.ratings.size(); ++i)
            list.push_back(candidate(static_cast<wchar_t>(L'C' + i), static_cast<std::uint32_t>(i),
                                     example.ratings[i], 100 * GB));
        sortByRating(list);
        EXPECT_EQ(letters(list), example.expected);
    }
}

TEST(InstallLayout, MalformedListsNeitherHangNorOverflow) {
    // Lists that no enumeration produces, handed straight to the steps.
    std::vector<VolumeCandidate> weightless = {candidate(L'C', 0, 1, 100 * GB, 0)};
    distributeBudget(weightless);
    EXPECT_EQ(weightless[0].allottedGB, 0);

    std::vector<VolumeCandidate> negative = {candidate(L'C', 0, 1, 100 * GB, -1),
                                             candidate(L'D', 1, 1, 100 * GB, 3)};
    distributeBudget(negative);
    EXPECT_EQ(negative[0].allottedGB, 0);
    EXPECT_EQ(negative[1].allottedGB, 8);

    std::vector<VolumeCandidate> full = {candidate(L'C', 0, 1, UINT64_MAX)};
    full[0].allottedGB = INT32_MAX;
    distributeBudget(full);
    EXPECT_EQ(full[0].allottedGB, INT32_MAX);

    // More entries than the table holds, and letters that name no volume, stay out of it.
    std::vector<VolumeCandidate> many;
    for (int i = 0; i < 30; ++i) {
        many.push_back(candidate(static_cast<wchar_t>(L'A' + i % 26), 0, 1, GB));
        many.back().allottedGB = 1;
    }
    many[0].letter = L'\0';
    many[1].letter = 0x263A;
    many[2].allottedGB = -4;
    const CacheTable table = layoutTable(many);
    EXPECT_EQ(entryPath(table.entries[0]), "D:\\");
    EXPECT_EQ(entryPath(table.entries[25]), "C:\\");
    EXPECT_EQ(table.status, 0u);
}
