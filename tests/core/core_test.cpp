// The Qt-free core against the recording fake: what goes over the wire, and what the driver's
// answers turn into.
#include "core/autostart.h"
#include "core/cachetable.h"
#include "core/commandline.h"
#include "core/driverchannel.h"
#include "core/installlayout.h"
#include "core/statusview.h"
#include "core/volumes.h"
#include "expectedtable.h"
#include "recordingsystem.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

using namespace orvanta;
using orvanta::testing::expectedTable;
using orvanta::testing::GB;
using orvanta::testing::RecordingSystem;
using Calls = std::vector<std::string>;

namespace {
Calls callsOf(const RecordingSystem &system, const std::string &kind) {
    Calls found;
    for (const std::string &call : system.calls)
        if (call.rfind(kind, 0) == 0)
            found.push_back(call);
    return found;
}

// Volumes C:, D:, ... each with a disk id, a rating and its free bytes.
RecordingSystem disks(std::initializer_list<std::array<std::uint64_t, 3>> volumes) {
    RecordingSystem system;
    wchar_t letter = L'C';
    for (const auto &v : volumes) {
        system.volumes[letter].query = VolumeQueryResult{std::uint32_t(v[0]), std::uint32_t(v[1])};
        system.volumes[letter++].freeBytes = v[2];
    }
    return system;
}
} // namespace

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
    EXPECT_TRUE(status.state == 3 && status.memoryUsed == 123);
    EXPECT_TRUE(system.openHandles.empty());

    system.driverLoaded = false;
    system.clearLog();
    EXPECT_FALSE(channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0));
    EXPECT_EQ(system.calls, Calls{"open-failed \\\\.\\PhysicalDrive0"});
    // The longest name that fits 256 characters opens; a longer one, or one a NUL would cut
    // short, opens nothing.
    system.extraDevices.insert(L"\\\\.\\" + std::wstring(251, L'x'));
    EXPECT_FALSE(channel.deviceRequest(std::wstring(251, L'x'), 1, nullptr, 0, nullptr, 0));
    EXPECT_EQ(system.requests.size(), 1u);
    system.clearLog();
    EXPECT_FALSE(channel.deviceRequest(std::wstring(252, L'x'), 1, nullptr, 0, nullptr, 0));
    EXPECT_FALSE(channel.deviceRequest(std::wstring(L"C:\0X", 4), 1, nullptr, 0, nullptr, 0));
    EXPECT_TRUE(system.calls.empty());
    EXPECT_STREQ(controlCodeName(0x72A24), "IOCTL_QUERY_VOLUME");
    EXPECT_EQ(controlCodeByName("IOCTL_GET_STATUS"), 0x72A0Cu);
    EXPECT_TRUE(controlCodeName(0x72A28) == nullptr && controlCodeByName("IOCTL_X") == 0);
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
    EXPECT_EQ(appendEntry(table, "Q:\\", 1, 0), nullptr);
    CacheTable fresh = emptyCacheTable();
    EXPECT_EQ(appendEntry(fresh, "", 1, 0), nullptr);

    CacheEntry entry{};
    setEntrySizeGB(entry, -1);
    EXPECT_TRUE(entry.sizeBytes == -1073741824 && entrySizeGB(entry) == -1);
    entry.sizeBytes = 1610612736; // 1.5 GB
    EXPECT_EQ(entrySizeGB(entry), 1);
    entry.sizeBytes = std::int64_t(1) << 62;
    EXPECT_EQ(entrySizeGB(entry), 0);
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
    EXPECT_EQ(findEntry(found, "D:\\"), nullptr);
    EXPECT_EQ(findEntry(found, "E:\\"), &found.entries[3]) << "the last match wins";
    EXPECT_EQ(findEntry(found, "Z:\\"), &found.entries[25]);
    EXPECT_EQ(findEntry(found, ""), nullptr);
    EXPECT_FALSE(driverConfirmed(found));
}

TEST(StatusView, StatesNumbersAndAverages) {
    const char *texts[] = {"Not running", "Running", "Disabled", "Failsafe", "Unknown"};
    for (std::uint32_t state : {0u, 1u, 2u, 3u, 4u, 0xffffffffu}) {
        const StatusView view = statusView(StatusRecord{state, -2, 0, 0, 0, 0, 0});
        EXPECT_STREQ(view.stateText, texts[std::min(state, 4u)]);
        EXPECT_EQ(view.controlsDisabled, state != 1 && state != 2) << state;
        EXPECT_EQ(view.reason, state == 3 ? "-2" : "") << state;
        EXPECT_EQ(view.showsReason, state == 3) << state;
    }
    StatusView view = statusView(StatusRecord{1, 0, 0, 1048575, 3, 10485760, 2000});
    EXPECT_EQ(view.memory + view.totalRequests + view.totalBytes, "0 MB310 MB");
    EXPECT_EQ(view.averageRequests + " " + view.averageBytes, "1 5120 kB/s");
    view = statusView(StatusRecord{1, 0, 0, 0xffffffffu, UINT64_MAX, UINT64_MAX, 0});
    EXPECT_EQ(view.memory + view.totalRequests + view.totalBytes,
              "4095 MB1844674407370955161517592186044415 MB");
    EXPECT_EQ(view.averageRequests + view.averageBytes, "--");
    // The product with 1000 is taken in 128 bits.
    EXPECT_EQ(averagePerSecond(std::uint64_t(1) << 60, 1000, 10), "1125899906842624");
    EXPECT_EQ(averagePerSecond(UINT64_MAX, 3), "6148914691236517205000");
    EXPECT_EQ(averagePerSecond(UINT64_MAX, 7, 10), "2573485501354569142");
    EXPECT_EQ(averagePerSecond(UINT64_MAX, UINT64_MAX), "1000");
    EXPECT_EQ(averagePerSecond(18446744073709551ull, 999), "18465209282992543");
    EXPECT_EQ(averagePerSecond(1, 1001), "0");

    const OptionsRecord sent = optionsRecord({false, false, true, false});
    EXPECT_EQ(std::memcmp(&sent, "\0\0\0\0\0\0\0\0\1\0\0\0\0\0\0\0", 16), 0);
    const OptionFlags read = optionFlags(OptionsRecord{2, 0, 0, 0x80000000u});
    EXPECT_TRUE(read.prefetcherEnabled && read.disableSpeculative);
    EXPECT_FALSE(read.saveMemory || read.disableWriteCache);
}

TEST(CommandLineAndAutostart, WholeSwitchesAndNonZeroIntegers) {
    const struct {
        std::vector<const char *> args;
        bool install, hidden;
    } rows[] = {
        {{"m", "x", "/INSTALL", "y"}, true, false},
        {{"/hidden", "/Install"}, true, true}, // the program's own name is scanned too
        {{"m", "-hidden", "/hidden:1", "/hidden ", "//install", "/\xc4nstall", "install"}, 0, 0},
        {{"m", nullptr, "/install"}, true, false},
    };
    for (const auto &row : rows) {
        const int argc = int(row.args.size());
        EXPECT_EQ(hasSwitch(argc, row.args.data(), "/install"), row.install) << row.args.back();
        EXPECT_EQ(hasSwitch(argc, row.args.data(), "/hidden"), row.hidden) << row.args.back();
    }

    const unsigned char one[8] = {1}, high[8] = {0, 0, 0, 1}, upper[8] = {0, 0, 0, 0, 0, 0, 0, 1};
    EXPECT_TRUE(autostartWanted(RegistryDword, high, 4));
    EXPECT_TRUE(autostartWanted(RegistryDwordBigEndian, one, 4));
    EXPECT_TRUE(autostartWanted(RegistryQword, upper, 8));
    EXPECT_FALSE(autostartWanted(RegistryDword, upper, 8)); // the DWORD's own bytes decide
    EXPECT_FALSE(autostartWanted(1 /* REG_SZ */, "1\0\0", 4));
    EXPECT_FALSE(autostartWanted(3 /* REG_BINARY */, one, 4));
    EXPECT_FALSE(autostartWanted(RegistryDword, one, 3));
    EXPECT_FALSE(autostartWanted(RegistryQword, one, 4));
    EXPECT_FALSE(autostartWanted(RegistryDword, nullptr, 4));
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
    EXPECT_EQ(callsOf(system, "driveType").size(), 24u);
    EXPECT_EQ(callsOf(system, "volumeInformation").size(), 7u);
    EXPECT_EQ(callsOf(system, "freeSpace"),
              (Calls{"freeSpace C:\\", "freeSpace L:\\", "freeSpace Z:\\"}));
    std::uint64_t freeBytes = 0;
    EXPECT_TRUE(eligibleVolume(L'C', freeBytes, system) && freeBytes == 42 * GB);

    // The driver's 26 cache files count as free; other names and other volumes do not.
    system.volumes[L'C'].freeBytes = 109 * GB / 10;
    system.files[L"C:\\orvn#001.io"] = 3 * GB;
    system.files[L"C:\\orvn#026.io"] = GB;
    system.files[L"C:\\orvn#027.io"] = system.files[L"D:\\orvn#002.io"] = 5 * GB;
    system.clearLog();
    EXPECT_EQ(freeSpaceGB(L"C:\\", system), 14);
    EXPECT_EQ(callsOf(system, "fileSize")[9], "fileSize C:\\orvn#010.io");
    system.volumes[L'C'].freeBytes.reset();
    EXPECT_EQ(freeSpaceGB(L"C:\\", system), 0);
    // Huge volumes neither wrap nor turn negative.
    const std::array<std::uint64_t, 3> huge[] = {{std::uint64_t(INT_MAX) * GB - 1, 0, INT_MAX - 1},
                                                 {UINT64_MAX, UINT64_MAX, INT_MAX},
                                                 {GB, UINT64_MAX / 20, INT_MAX},
                                                 {0, GB, 26}};
    for (const auto &[free, each, expected] : huge) {
        RecordingSystem big;
        big.volumes[L'E'].freeBytes = free;
        for (int n = 0; n < 26; ++n)
            big.files[L"E:\\" + cacheFileName(n)] = each;
        EXPECT_EQ(freeSpaceGB(L"E:\\", big), int(expected)) << free << " " << each;
    }
}

TEST(InstallLayout, SharesEightGigabytesOverTheDisks) {
    const struct {
        RecordingSystem system;
        std::vector<std::uint8_t> expected;
    } examples[] = {
        {disks({{0, 100, 100 * GB}, {1, 600, 100 * GB}}),
         expectedTable({{"D:\\", 6, 600}, {"C:\\", 2, 100}})},
        {disks({{0, 100, 100 * GB}, {1, 100, 100 * GB}, {2, 100, 100 * GB}}),
         expectedTable({{"C:\\", 3, 100}, {"D:\\", 3, 100}, {"E:\\", 2, 100}})},
        {disks({{0, 100, 5 * GB}}), expectedTable({{"C:\\", 3, 100}})},
        {disks({{0, 100, 3 * GB - 1}, {1, 50, 100 * GB}}), expectedTable({{"D:\\", 8, 50}})},
        {disks({{0, 100, 3 * GB}, {1, 50, 100 * GB}}),
         expectedTable({{"C:\\", 1, 100}, {"D:\\", 7, 50}})},
        {disks({{0, 100, 50 * GB}, {0, 200, 80 * GB}, {1, 100, 100 * GB}}),
         expectedTable({{"D:\\", 4, 200}, {"E:\\", 4, 100}})},
        {disks({{0, 600, 9 * GB},
                {1, 600, 9 * GB},
                {2, 600, 9 * GB},
                {3, 600, 9 * GB},
                {4, 600, 9 * GB}}),
         expectedTable({{"C:\\", 2, 600}, {"D:\\", 2, 600}, {"E:\\", 2, 600}, {"F:\\", 2, 600}})},
        {disks({{0, 512, 100 * GB}, {1, 513, 100 * GB}}),
         expectedTable({{"D:\\", 6, 513}, {"C:\\", 2, 512}})},
        {disks({{0, 1, ((std::uint64_t(1) << 32) + 5) * GB}}), expectedTable({{"C:\\", 8, 1}})},
        {disks({{0, 1, (std::uint64_t(1) << 31) * GB}}), expectedTable({{"C:\\", 8, 1}})},
        {disks({}), expectedTable({})},
    };
    for (const auto &example : examples) {
        RecordingSystem system = example.system;
        EXPECT_TRUE(installDefaultLayout(system));
        const auto sets = system.requestsWith(IOCTL_SET_CACHE_TABLE);
        ASSERT_EQ(sets.size(), 1u);
        EXPECT_EQ(sets[0].in, example.expected) << &example - examples;
    }
    // The exchange sort's order of equal ratings is exact; a merge compares the record that
    // moved up after a removal too; more disks than gigabytes leave the lowest ratings out.
    const auto order = [](std::initializer_list<std::array<std::uint64_t, 3>> rows,
                          void (*step)(std::vector<VolumeCandidate> &)) {
        std::vector<VolumeCandidate> list;
        for (const auto &[disk, rating, free] : rows)
            list.push_back({wchar_t(L'C' + list.size()),
                            1,
                            0,
                            {std::uint32_t(disk), std::uint32_t(rating)},
                            free});
        step(list);
        std::wstring letters;
        for (const VolumeCandidate &c : list)
            letters += c.letter + std::wstring(c.allottedGB, L'+');
        return letters;
    };
    EXPECT_EQ(order({{0, 5, 0}, {1, 1, 0}, {2, 5, 0}, {3, 7, 0}}, sortByRating), L"FECD");
    EXPECT_EQ(order({{0, 1, 1}, {0, 1, 2}, {0, 1, 3}, {0, 1, 2}, {1, 1, 0}}, mergeSameDisk), L"EG");
    EXPECT_EQ(order({{0, 1, 1}, {0, 1, 1}}, mergeSameDisk), L"C");
    EXPECT_EQ(order({{0, 0, 9 * GB},
                     {1, 0, 9 * GB},
                     {2, 0, 9 * GB},
                     {3, 0, 9 * GB},
                     {4, 0, 9 * GB},
                     {5, 0, 9 * GB},
                     {6, 0, 9 * GB},
                     {7, 0, 9 * GB},
                     {8, 0, 9 * GB}},
                    distributeBudget),
              L"C+D+E+F+G+H+I+J+K");
}

TEST(InstallLayout, WaitsQueriesOnlyEligibleVolumesAndSendsOneTableBothWays) {
    RecordingSystem system = disks({{9, 1, 40 * GB}, {3, 700, 40 * GB}, {4, 10, 40 * GB}});
    system.volumes[L'C'].query.reset(); // eligible, but the driver does not answer for it
    system.volumes[L'F'].type = SystemApi::DriveRemovable;
    system.volumes[L'F'].query = VolumeQueryResult{5, 1};
    EXPECT_TRUE(installDefaultLayout(system));
    EXPECT_EQ(system.calls.front(), "sleep 5000");
    std::wstring queried;
    for (const auto &request : system.requestsWith(IOCTL_QUERY_VOLUME)) {
        queried += request.device + L" ";
        EXPECT_TRUE(request.outSize == 8 && request.inSize == 0);
    }
    EXPECT_EQ(queried, L"\\\\.\\C: \\\\.\\D: \\\\.\\E: ");
    const RecordingSystem::Request &set = system.requests.back();
    EXPECT_EQ(set.device, L"\\\\.\\PhysicalDrive0");
    EXPECT_TRUE(set.inBuffer == set.outBuffer && set.outSize == 2296);
    EXPECT_EQ(set.in, expectedTable({{"D:\\", 6, 700}, {"E:\\", 2, 10}}));
    EXPECT_TRUE(system.openHandles.empty());

    // A short volume answer leaves the rest of the record zero: rating 0, weight 1.
    RecordingSystem shortAnswer = disks({{1, 900, 10 * GB}});
    shortAnswer.rawAnswers[IOCTL_QUERY_VOLUME] = {7, 0, 0, 0};
    const auto candidates = collectCandidates(shortAnswer);
    ASSERT_EQ(candidates.size(), 1u);
    EXPECT_TRUE(candidates[0].query.diskId == 7 && candidates[0].query.rating == 0);
    EXPECT_EQ(candidates[0].weight, 1);
    // The result says whether the table went out; the driver's verdict is not examined.
    RecordingSystem refusing = disks({{0, 1, 100 * GB}});
    refusing.setTableStatus = 0;
    EXPECT_TRUE(installDefaultLayout(refusing));
    refusing.failing.insert(IOCTL_SET_CACHE_TABLE);
    EXPECT_FALSE(installDefaultLayout(refusing));
}
