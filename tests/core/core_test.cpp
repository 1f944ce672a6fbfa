// The Qt-free core against the recording fake: what goes over the wire, and what the driver's
// answers turn into.
#include "core/autostart.h"
#include "core/cachetable.h"
#include "core/commandline.h"
#include "core/driverchannel.h"
#include "core/installlayout.h"
#include "core/statusview.h"
#include "core/volumes.h"
#include "core/writers.h"
#include "recordingsystem.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <sstream>

using namespace orvanta;
using orvanta::testing::expectedTable;
using orvanta::testing::GB;
using orvanta::testing::RecordingSystem;
using Calls = std::vector<std::string>;

TEST(DriverChannel, OneOpenOneRequestOneClose) {
    RecordingSystem system;
    system.status.memoryUsed = 123;
    DriverChannel channel(system);
    StatusRecord status{};
    EXPECT_TRUE(channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0));
    EXPECT_EQ(system.calls,
              (Calls{"open \\\\.\\PhysicalDrive0 100", "ioctl 100 0x72A0C", "close 100"}));
    EXPECT_EQ(status.memoryUsed, 123u);
    // Output before input in the channel's arguments, input first in the system's.
    OptionsRecord options{7, 7, 7, 7};
    ASSERT_TRUE(channel.driverRequest(IOCTL_SET_OPTIONS, nullptr, 0, &options, sizeof options));
    EXPECT_TRUE(system.requests.back().inBuffer == &options && system.requests.back().inSize == 16);
    // A failed request still closes and leaves the buffer alone; a short answer fills what it has.
    system.failing.insert(IOCTL_GET_OPTIONS);
    EXPECT_FALSE(channel.driverRequest(IOCTL_GET_OPTIONS, &options, sizeof options, nullptr, 0));
    EXPECT_EQ(options.disableSpeculative, 7u);
    EXPECT_EQ(system.calls.back(), "close 102");
    system.rawAnswers[IOCTL_GET_STATUS] = {3};
    EXPECT_TRUE(channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0));
    EXPECT_TRUE(status.state == 3 && status.memoryUsed == 123 && system.openHandles.empty());
    // The longest name that fits 256 characters is tried; a longer one, or one a NUL would cut
    // short, is not.
    EXPECT_FALSE(channel.deviceRequest(std::wstring(251, L'x'), 1, nullptr, 0, nullptr, 0));
    EXPECT_EQ(system.calls.back(), "open-failed \\\\.\\" + std::string(251, 'x'));
    system.clearLog();
    EXPECT_FALSE(channel.deviceRequest(std::wstring(252, L'x'), 1, nullptr, 0, nullptr, 0));
    EXPECT_FALSE(channel.deviceRequest(std::wstring(L"C:\0X", 4), 1, nullptr, 0, nullptr, 0));
    EXPECT_TRUE(system.calls.empty());
}

TEST(CacheTable, EntriesPackFromZeroAndReadBackBounded) {
    CacheTable table = emptyCacheTable();
    for (const char *root : {"C:\\", "D:\\"})
        ASSERT_NE(appendEntry(table, root, root[0] == 'C' ? 4 : 0, 700), nullptr);
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(&table);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + 2296),
              expectedTable({{"C:\\", 4, 700}, {"D:\\", 0, 700}}));
    for (int i = 2; i < 26; ++i)
        ASSERT_NE(appendEntry(table, "Z:\\", 1, 0), nullptr);
    EXPECT_TRUE(appendEntry(table, "Q:\\", 1, 0) == nullptr && !appendEntry(table = {}, "", 1, 0));

    CacheEntry entry{};
    setEntrySizeGB(entry, -1);
    EXPECT_TRUE(entry.sizeBytes == -1073741824 && entrySizeGB(entry) == -1);
    for (std::int64_t bytes :
         {std::int64_t(1610612736), std::int64_t(1) << 62}) // whole GB, 32 bits
        EXPECT_EQ(entrySizeGB(CacheEntry{{}, bytes, {}, 0, 0}),
                  int(bytes < (std::int64_t(2) << 30)));
    setEntryPath(entry, std::string(100, 'x'));
    EXPECT_EQ(entryPath(entry), std::string(63, 'x'));
    struct {
        CacheEntry entry;
        char after[8];
    } guarded;
    std::memset(&guarded, 'y', sizeof guarded);
    EXPECT_EQ(entryPath(guarded.entry), std::string(64, 'y'));

    CacheTable found = emptyCacheTable();
    for (const char *path : {"c:\\", "D:", "E:\\", "e:\\"})
        appendEntry(found, path, 4, 0);
    setEntryPath(found.entries[25], "Z:\\");
    EXPECT_EQ(findEntry(found, "C:\\"), &found.entries[0]);
    EXPECT_EQ(findEntry(found, "E:\\"), &found.entries[3]) << "the last match wins";
    EXPECT_EQ(findEntry(found, "Z:\\"), &found.entries[25]);
    EXPECT_FALSE(findEntry(found, "D:\\") || findEntry(found, "") || driverConfirmed(found));
}

TEST(StatusView, StatesNumbersAndAverages) {
    EXPECT_STREQ(statusView(StatusRecord{1, 0, 0, 0, 0, 0, 0}).stateText, "Running");
    EXPECT_FALSE(statusView(StatusRecord{1, 0, 0, 0, 0, 0, 0}).controlsDisabled);
    StatusView view = statusView(StatusRecord{1, 0, 0, 1048575, 3, 10485760, 2000});
    EXPECT_EQ(view.memory + view.totalRequests + view.totalBytes, "0 MB310 MB");
    EXPECT_EQ(view.averageRequests + " " + view.averageBytes, "1 5120 kB/s");
    view = statusView(StatusRecord{1, 0, 0, 0xffffffffu, UINT64_MAX, UINT64_MAX, 0});
    EXPECT_EQ(view.memory + view.totalRequests + view.totalBytes,
              "4095 MB1844674407370955161517592186044415 MB");
    EXPECT_EQ(view.averageRequests + view.averageBytes, "--");
    EXPECT_EQ(averagePerSecond(std::uint64_t(1) << 60, 1000, 10), "1125899906842624");
    EXPECT_EQ(averagePerSecond(UINT64_MAX, 3), "6148914691236517205000");
    EXPECT_EQ(averagePerSecond(UINT64_MAX, 7, 10), "2573485501354569142");
    EXPECT_EQ(averagePerSecond(UINT64_MAX, UINT64_MAX), "1000");
    EXPECT_TRUE(optionFlags(OptionsRecord{2, 0, 0, 0x80000000u}).disableSpeculative);
}

TEST(CommandLineAndAutostart, WholeSwitchesAndNonZeroIntegers) {
    const char *whole[] = {"/hidden", nullptr, "/INSTALL"}; // the program's own name counts too
    const char *parts[] = {"m", "-hidden", "/hidden:1", "/hidden ", "//install", "/\xc4nstall"};
    EXPECT_TRUE(hasSwitch(3, whole, "/install") && hasSwitch(3, whole, "/hidden"));
    EXPECT_FALSE(hasSwitch(6, parts, "/install") || hasSwitch(6, parts, "/hidden"));

    // The logon launcher's rule: a non-zero integer of its type's own bytes, never text.
    const unsigned char one[8] = {1}, upper[8] = {0, 0, 0, 0, 0, 0, 0, 1};
    EXPECT_TRUE(autostartWanted(RegistryDwordBigEndian, one, 4) &&
                autostartWanted(RegistryQword, upper, 8));
    EXPECT_FALSE(autostartWanted(RegistryDword, upper, 8) || autostartWanted(1, "1\0\0", 4) ||
                 autostartWanted(RegistryDword, one, 3) || autostartWanted(RegistryQword, one, 4));
}

TEST(Volumes, EligibilityAndFreeSpaceForCaching) {
    RecordingSystem system;
    const std::pair<unsigned, const wchar_t *> kinds[] = {
        {SystemApi::DriveFixed, L"FAT32"},    {SystemApi::DriveFixed, L"ntfs"},
        {SystemApi::DriveFixed, L"NTFS "},    {SystemApi::DriveFixed, nullptr},
        {SystemApi::DriveRemovable, L"NTFS"}, {SystemApi::DriveRemote, L"NTFS"},
        {SystemApi::DriveRamdisk, L"NTFS"},   {SystemApi::DriveCdrom, L"NTFS"}};
    wchar_t letter = L'D';
    for (const auto &[type, fileSystem] : kinds) {
        system.volumes[letter].type = type;
        system.volumes[letter++].fileSystem =
            fileSystem ? std::optional<std::wstring>(fileSystem) : std::nullopt;
    }
    system.volumes[L'L'].freeBytes.reset();
    system.volumes[L'C'].freeBytes = 42 * GB;
    system.volumes[L'A'], system.volumes[L'B'], system.volumes[L'Z'];
    EXPECT_EQ(eligibleVolumes(system), (std::vector<wchar_t>{L'C', L'Z'}));
    // Free space is asked of fixed NTFS volumes only: C:, L: and Z:.
    EXPECT_EQ(
        std::count_if(system.calls.begin(), system.calls.end(),
                      [](const std::string &call) { return call.rfind("freeSpace", 0) == 0; }),
        3);
    std::uint64_t freeBytes = 0;
    EXPECT_TRUE(eligibleVolume(L'C', freeBytes, system) && freeBytes == 42 * GB);

    // The driver's 26 cache files count as free; other names and other volumes do not.
    system.volumes[L'C'].freeBytes = 109 * GB / 10;
    system.files[L"C:\\orvn#001.io"] = 3 * GB;
    system.files[L"C:\\orvn#026.io"] = GB;
    system.files[L"C:\\orvn#027.io"] = system.files[L"D:\\orvn#002.io"] = 5 * GB;
    system.clearLog();
    EXPECT_EQ(freeSpaceGB(L"C:\\", system), 14);
    system.volumes[L'C'].freeBytes.reset();
    EXPECT_EQ(freeSpaceGB(L"C:\\", system), 0);
    // Huge volumes neither wrap nor turn negative.
    const std::array<std::uint64_t, 3> huge[] = {{std::uint64_t(INT_MAX) * GB - 1, 0, INT_MAX - 1},
                                                 {UINT64_MAX, UINT64_MAX, INT_MAX}};
    for (const auto &[free, each, expected] : huge) {
        RecordingSystem big;
        big.volumes[L'E'].freeBytes = free;
        for (int n = 0; n < 26; ++n)
            big.files[L"E:\\" + cacheFileName(n)] = each;
        EXPECT_EQ(freeSpaceGB(L"E:\\", big), int(expected)) << free << " " << each;
    }
}

// The table /install sends on volumes C:, D:, ... given as "disk:rating:free GB" each, as
// "root size/rating" per entry.
std::string installed(const char *volumes, RecordingSystem system = {}) {
    std::istringstream in(volumes);
    std::uint32_t disk, rating;
    std::uint64_t freeGB;
    for (wchar_t letter = L'C'; in >> disk && in.ignore() >> rating && in.ignore() >> freeGB;
         ++letter)
        system.volumes[letter].query = VolumeQueryResult{disk, rating},
        system.volumes[letter].freeBytes = freeGB >= GB ? freeGB : freeGB * GB;
    EXPECT_TRUE(installDefaultLayout(system));
    const auto sets = system.requestsWith(IOCTL_SET_CACHE_TABLE);
    EXPECT_TRUE(sets.at(0).inBuffer == sets.at(0).outBuffer && sets.at(0).outSize == 2296);
    // Collected and sent under the writers' lock, which is given back.
    EXPECT_TRUE(system.requests.front().underLock && sets.at(0).underLock && !system.writersLocked);
    CacheTable sent = emptyCacheTable();
    std::memcpy(&sent, sets.at(0).in.data(), std::min(sets.at(0).in.size(), sizeof sent));
    std::ostringstream out;
    for (const CacheEntry &entry : sent.entries)
        if (entry.path[0])
            out << entryPath(entry) << entrySizeGB(entry) << '/' << entry.rating << ' ';
    return out.str();
}

TEST(InstallLayout, SharesEightGigabytesOverTheDisks) {
    EXPECT_EQ(installed("0:100:5"), "C:\\3/100 "); // 2 GB stay free
    EXPECT_EQ(installed("0:100:2 1:50:100"), "D:\\8/50 ");
    EXPECT_EQ(installed("0:100:3 1:50:100"), "C:\\1/100 D:\\7/50 ");
    EXPECT_EQ(installed("0:512:100 1:513:100"), "D:\\6/513 C:\\2/512 ");
    EXPECT_EQ(installed("0:9:9 1:9:9 2:9:9 3:9:9 4:9:9 5:9:9 6:9:9 7:9:9 8:9:9"),
              "C:\\1/9 D:\\1/9 E:\\1/9 F:\\1/9 G:\\1/9 H:\\1/9 I:\\1/9 J:\\1/9 ");
    EXPECT_EQ(installed("0:600:9 1:600:9 2:600:9 3:600:9 4:600:9"),
              "C:\\2/600 D:\\2/600 E:\\2/600 F:\\2/600 ");
    // Free bytes past 2^31 GB, and 2^32 + 5 GB, are no few or negative gigabytes.
    EXPECT_EQ(installed("0:1:2305843009213693952 1:1:4611686023796097024"), "C:\\4/1 D:\\4/1 ");
    // The exchange sort's order of equal ratings is exact; a merge keeps the freest volume of a
    // disk at its first place, comparing the record that moved up after a removal too.
    EXPECT_EQ(installed("0:5:9 1:1:9 2:5:9 3:7:9"), "F:\\2/7 E:\\2/5 C:\\2/5 D:\\2/1 ");
    EXPECT_EQ(installed("0:1:10 0:2:30 0:3:40 0:4:30 1:0:9"), "E:\\4/3 G:\\4/0 ");
    EXPECT_EQ(installed("0:1:10 0:2:10"), "C:\\8/1 ");
    EXPECT_EQ(installed(""), "");
    std::vector<VolumeCandidate> unweighted(2, VolumeCandidate{L'C', 0, 0, {}, 100 * GB});
    distributeBudget(unweighted); // nothing to share by, and nothing to divide by
    EXPECT_EQ(unweighted[0].allottedGB + unweighted[1].allottedGB, 0);

    // Only eligible volumes are asked.
    RecordingSystem system;
    system.volumes[L'D'].type = SystemApi::DriveRemovable;
    system.volumes[L'D'].query = VolumeQueryResult{5, 1};
    system.volumes[L'E'].query = VolumeQueryResult{7, 0};
    system.rawAnswers[IOCTL_QUERY_VOLUME] = {7, 0, 0, 3}; // short: the rest reads zero
    EXPECT_EQ(installed("", system), "E:\\8/0 ");
    // The result says whether the table went out; the driver's verdict is not examined.
    system.setTableStatus = 0;
    EXPECT_TRUE(installDefaultLayout(system));
    system.failing.insert(IOCTL_SET_CACHE_TABLE);
    EXPECT_FALSE(installDefaultLayout(system));
    // Another writer keeps the lock: nothing is asked or sent.
    system.lockKeptByOther = true;
    system.clearLog();
    EXPECT_FALSE(installDefaultLayout(system));
    EXPECT_TRUE(system.requests.empty());
}

// An option change is confirmed only by the read-back: a driver that answers the set request but
// keeps its value has not taken it.
TEST(Writers, OptionsConfirmedByWhatTheDriverHolds) {
    RecordingSystem system;
    system.options = OptionsRecord{0, 1, 0, 0};
    Driver driver(system);
    OptionsWrite write = changeOptions(driver, system, {{&OptionFlags::prefetcherEnabled, true}});
    EXPECT_EQ(write.outcome, WriteOutcome::Confirmed);
    EXPECT_TRUE(write.after->prefetcherEnabled && write.after->saveMemory);
    system.rawAnswers[IOCTL_GET_OPTIONS] = std::vector<std::uint8_t>(16, 0);
    write = changeOptions(driver, system, {{&OptionFlags::prefetcherEnabled, true}});
    EXPECT_EQ(write.outcome, WriteOutcome::Refused);
}

// A change that does not fit the table's 26 entries is refused whole, never sent short of one.
TEST(Writers, ALayoutThatDoesNotFitIsRefused) {
    CacheTable held = emptyCacheTable();
    for (int i = 0; i < 25; ++i)
        appendEntry(held, "Q:\\", 1, 0);
    EXPECT_TRUE(layoutForChange(held, {L'C'}, {{L'C', 1}}, {}).has_value());
    EXPECT_FALSE(layoutForChange(held, {L'C', L'D'}, {{L'C', 1}}, {}).has_value());
}
