// SimulatedSystem through the system seam and the driver channel, as the monitor uses it: the
// answers, what is written back to machine.json and the volumes, and the journal.
#include "simtestsupport.h"

#include "core/cachetable.h"
#include "core/driverchannel.h"
#include "core/records.h"
#include "sim/simmachine.h"
#include "sim/simulatedsystem.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cstring>

namespace orvanta::testing {
namespace {

const QByteArray machineJson = R"({
    "journal": true,
    "sleepScale": 0,
    "volumes": [
        {"letter": "C", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 107374182400,
         "diskId": 0, "rating": 700},
        {"letter": "D", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 3221225472,
         "diskId": 1, "rating": 100},
        {"letter": "E", "type": "fixed", "fileSystem": "FAT32", "freeBytes": 53687091200,
         "diskId": 2},
        {"letter": "F", "type": "removable", "fileSystem": "NTFS", "freeBytes": 1000},
        {"letter": "G", "type": "remote"},
        {"letter": "H", "type": "cdrom", "fileSystem": null, "freeBytes": null},
        {"letter": "I", "type": "ramdisk", "fileSystem": "ntfs", "freeBytes": 5},
        {"letter": "J", "type": "unknown"}
    ],
    "driver": {
        "loaded": true,
        "state": 3, "failsafeReason": -12, "reserved": 77, "memoryUsed": 52428800,
        "totalRequests": 5, "totalBytes": 7, "elapsedMs": 11,
        "options": [1, 0, 5, 0],
        "cacheTable": {"status": 1, "entries": [
            {"path": "C:\\", "sizeBytes": 4294967296, "rating": 700}]},
        "fail": [],
        "comment": "kept across rewrites"
    }
})";

class SimulatedSystemTest : public ::testing::Test {
protected:
    void SetUp() override { sim.writeMachine(machineJson); }

    sim::Machine stored() const {
        sim::Machine machine;
        QString problem;
        EXPECT_TRUE(sim::parseMachine(sim.machineText(), machine, problem))
            << problem.toStdString();
        return machine;
    }

    CacheTable tableOf(std::initializer_list<std::pair<const char *, std::int64_t>> entries) {
        CacheTable table = emptyCacheTable();
        int i = 0;
        for (const auto &[path, size] : entries) {
            setEntryPath(table.entries[i], path);
            table.entries[i].sizeBytes = size;
            table.entries[i].rating = 100 + std::uint32_t(i);
            ++i;
        }
        return table;
    }

    SimRoot sim;
    SimulatedSystem system{sim.root()};
    DriverChannel channel{system};
};

TEST_F(SimulatedSystemTest, VolumesAnswerAsListed) {
    EXPECT_EQ(system.driveType(L"C:\\"), SystemApi::DriveFixed);
    EXPECT_EQ(system.driveType(L"c:\\"), SystemApi::DriveFixed);
    EXPECT_EQ(system.driveType(L"F:\\"), SystemApi::DriveRemovable);
    EXPECT_EQ(system.driveType(L"G:\\"), SystemApi::DriveRemote);
    EXPECT_EQ(system.driveType(L"H:\\"), SystemApi::DriveCdrom);
    EXPECT_EQ(system.driveType(L"I:\\"), SystemApi::DriveRamdisk);
    EXPECT_EQ(system.driveType(L"J:\\"), SystemApi::DriveUnknown);
    EXPECT_EQ(system.driveType(L"K:\\"), SystemApi::DriveNoRootDir);
    EXPECT_EQ(system.driveType(L"C:"), SystemApi::DriveNoRootDir);
    EXPECT_EQ(system.driveType(L"CC:\\"), SystemApi::DriveNoRootDir);

    std::wstring name;
    EXPECT_TRUE(system.volumeFileSystem(L"E:\\", name));
    EXPECT_EQ(name, L"FAT32");
    EXPECT_TRUE(system.volumeFileSystem(L"I:\\", name));
    EXPECT_EQ(name, L"ntfs");
    EXPECT_FALSE(system.volumeFileSystem(L"G:\\", name)) << "absent file system";
    EXPECT_FALSE(system.volumeFileSystem(L"H:\\", name)) << "null file system";
    EXPECT_FALSE(system.volumeFileSystem(L"K:\\", name));

    std::uint64_t bytes = 0;
    EXPECT_TRUE(system.freeBytesAvailable(L"C:\\", bytes));
    EXPECT_EQ(bytes, 100 * GiB);
    EXPECT_FALSE(system.freeBytesAvailable(L"G:\\", bytes));
    EXPECT_FALSE(system.freeBytesAvailable(L"H:\\", bytes));
    EXPECT_FALSE(system.freeBytesAvailable(L"K:\\", bytes));
}

TEST_F(SimulatedSystemTest, FileSizesComeFromTheVolumeFolders) {
    sim.makeFile(QStringLiteral("volumes/C/orvn#001.io"), 3 * qint64(GiB));
    sim.makeFile(QStringLiteral("volumes/C/sub/file.bin"), 12);
    sim.makeFile(QStringLiteral("volumes/K/orvn#001.io"), 5);
    EXPECT_EQ(system.fileSize(L"C:\\orvn#001.io"), 3 * GiB);
    EXPECT_EQ(system.fileSize(L"c:\\orvn#001.io"), 3 * GiB);
    EXPECT_EQ(system.fileSize(L"C:\\sub\\file.bin"), 12u);
    EXPECT_EQ(system.fileSize(L"C:\\orvn#002.io"), 0u);
    EXPECT_EQ(system.fileSize(L"C:\\sub"), 0u) << "a folder is no file";
    EXPECT_EQ(system.fileSize(L"K:\\orvn#001.io"), 0u) << "K: is no volume";
    EXPECT_EQ(system.fileSize(L"C:\\..\\..\\machine.json"), 0u);
    EXPECT_EQ(system.fileSize(L"C:\\sub/..\\..\\..\\machine.json"), 0u);
    EXPECT_EQ(system.fileSize(L"C:orvn#001.io"), 0u);
}

TEST_F(SimulatedSystemTest, AnswersTheSevenRequests) {
    StatusRecord status;
    std::memset(&status, 0xee, sizeof status);
    ASSERT_TRUE(channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0));
    EXPECT_EQ(status.state, 3u);
    EXPECT_EQ(status.failsafeReason, -12);
    EXPECT_EQ(status.reserved, 77u);
    EXPECT_EQ(status.memoryUsed, 52428800u);
    EXPECT_EQ(status.totalRequests, 5u);
    EXPECT_EQ(status.totalBytes, 7u);
    EXPECT_EQ(status.elapsedMs, 11u);

    OptionsRecord options{};
    ASSERT_TRUE(channel.driverRequest(IOCTL_GET_OPTIONS, &options, sizeof options, nullptr, 0));
    EXPECT_EQ(options.prefetcherEnabled, 1u);
    EXPECT_EQ(options.disableWriteCache, 5u) << "values go out as stored";
    const OptionsRecord newOptions{0, 1, 0, 1};
    ASSERT_TRUE(
        channel.driverRequest(IOCTL_SET_OPTIONS, nullptr, 0, &newOptions, sizeof newOptions));
    ASSERT_TRUE(channel.driverRequest(IOCTL_GET_OPTIONS, &options, sizeof options, nullptr, 0));
    EXPECT_EQ(std::memcmp(&options, &newOptions, sizeof options), 0);
    EXPECT_EQ(stored().driver.options, (std::array<std::uint32_t, 4>{0, 1, 0, 1}));

    CacheTable table = emptyCacheTable();
    ASSERT_TRUE(channel.driverRequest(IOCTL_GET_CACHE_TABLE, &table, sizeof table, nullptr, 0));
    EXPECT_EQ(table.status, 1u);
    EXPECT_EQ(entryPath(table.entries[0]), "C:\\");
    EXPECT_EQ(entrySizeGB(table.entries[0]), 4);
    EXPECT_EQ(table.entries[0].rating, 700u);
    EXPECT_EQ(entryPath(table.entries[1]), "");

    VolumeQueryResult query{};
    ASSERT_TRUE(channel.deviceRequest(L"D:", IOCTL_QUERY_VOLUME, &query, sizeof query, nullptr, 0));
    EXPECT_EQ(query.diskId, 1u);
    EXPECT_EQ(query.rating, 100u);
    EXPECT_FALSE(channel.deviceRequest(L"F:", IOCTL_QUERY_VOLUME, &query, sizeof query, nullptr, 0))
        << "F: has no diskId";
    EXPECT_FALSE(
        channel.deviceRequest(L"K:", IOCTL_QUERY_VOLUME, &query, sizeof query, nullptr, 0));
    EXPECT_FALSE(channel.driverRequest(IOCTL_QUERY_VOLUME, &query, sizeof query, nullptr, 0))
        << "the disk device answers no volume query";
    EXPECT_FALSE(channel.deviceRequest(L"C:", IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0))
        << "a volume device answers only the volume query";

    ASSERT_TRUE(channel.driverRequest(IOCTL_CLEAR_STATISTICS, nullptr, 0, nullptr, 0));
    ASSERT_TRUE(channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0));
    EXPECT_EQ(status.totalRequests, 0u);
    EXPECT_EQ(status.totalBytes, 0u);
    EXPECT_EQ(status.elapsedMs, 0u);
    EXPECT_EQ(status.state, 3u) << "clearing leaves the state";

    const sim::Machine after = stored();
    EXPECT_EQ(after.json.value(QStringLiteral("driver"))
                  .toObject()
                  .value(QStringLiteral("comment"))
                  .toString(),
              QStringLiteral("kept across rewrites"));
}

TEST_F(SimulatedSystemTest, JournalsEveryRequestInItsLineFormat) {
    const OptionsRecord options{1, 0, 0, 0};
    channel.driverRequest(IOCTL_SET_OPTIONS, nullptr, 0, &options, sizeof options);
    VolumeQueryResult query{};
    channel.deviceRequest(L"C:", IOCTL_QUERY_VOLUME, &query, sizeof query, nullptr, 0);
    channel.deviceRequest(L"F:", IOCTL_QUERY_VOLUME, &query, sizeof query, nullptr, 0);
    channel.deviceRequest(L"K:", IOCTL_QUERY_VOLUME, &query, sizeof query, nullptr, 0);
    channel.driverRequest(0x72A30, nullptr, 0, nullptr, 0);
    system.sleep(5000);
    channel.deviceRequest(L"Physical Drive\n1", IOCTL_GET_STATUS, nullptr, 0, nullptr, 0);

    EXPECT_EQ(
        sim.journal(),
        QStringList({
            QStringLiteral(
                "PhysicalDrive0 IOCTL_SET_OPTIONS ok in=01000000000000000000000000000000 out=0"),
            QStringLiteral("C: IOCTL_QUERY_VOLUME ok in=- out=8"),
            QStringLiteral("F: IOCTL_QUERY_VOLUME failed in=- out=8"),
            QStringLiteral("K: open failed"),
            QStringLiteral("PhysicalDrive0 0x72a30 failed in=- out=0"),
            QStringLiteral("Sleep 5000"),
            QStringLiteral("Physical?Drive?1 open failed"),
        }));

    // One buffer both ways: the journal shows the table as sent, not the answer over it.
    CacheTable table = tableOf({{"C:\\", qint64(GiB)}});
    const QByteArray sent =
        QByteArray(reinterpret_cast<const char *>(&table), int(sizeof table)).toHex();
    ASSERT_TRUE(
        channel.driverRequest(IOCTL_SET_CACHE_TABLE, &table, sizeof table, &table, sizeof table));
    EXPECT_EQ(table.status, 1u);
    EXPECT_EQ(sim.journal().value(7),
              QStringLiteral("PhysicalDrive0 IOCTL_SET_CACHE_TABLE ok in=") +
                  QString::fromLatin1(sent) + QStringLiteral(" out=2296"));

    QByteArray json = machineJson;
    json.replace("\"journal\": true", "\"journal\": false");
    sim.writeMachine(json);
    channel.driverRequest(IOCTL_CLEAR_STATISTICS, nullptr, 0, nullptr, 0);
    system.sleep(1);
    EXPECT_EQ(sim.journal().size(), 8) << "nothing is journaled while the journal is off";
}

TEST_F(SimulatedSystemTest, FailingCodesAndAnUnloadedDriver) {
    QByteArray json = machineJson;
    json.replace("\"fail\": []", "\"fail\": [\"IOCTL_GET_OPTIONS\", \"IOCTL_QUERY_VOLUME\"]");
    sim.writeMachine(json);
    OptionsRecord options;
    std::memset(&options, 0xab, sizeof options);
    EXPECT_FALSE(channel.driverRequest(IOCTL_GET_OPTIONS, &options, sizeof options, nullptr, 0));
    EXPECT_EQ(options.prefetcherEnabled, 0xababababu) << "a failed request leaves the buffer";
    VolumeQueryResult query{};
    EXPECT_FALSE(
        channel.deviceRequest(L"C:", IOCTL_QUERY_VOLUME, &query, sizeof query, nullptr, 0));
    StatusRecord status{};
    EXPECT_TRUE(channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0));
    EXPECT_EQ(sim.journal().first(),
              QStringLiteral("PhysicalDrive0 IOCTL_GET_OPTIONS failed in=- out=16"))
        << "the device opened; the request failed";

    json.replace("\"loaded\": true", "\"loaded\": false");
    sim.writeMachine(json);
    EXPECT_EQ(system.createFile(L"\\\\.\\PhysicalDrive0"), SystemApi::invalidHandle());
    EXPECT_FALSE(channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0));
    const SystemApi::Handle volume = system.createFile(L"\\\\.\\D:");
    ASSERT_NE(volume, SystemApi::invalidHandle()) << "the volume is still there";
    EXPECT_FALSE(
        system.deviceIoControl(volume, IOCTL_QUERY_VOLUME, nullptr, 0, &query, sizeof query))
        << "but nobody answers its query";
    system.closeHandle(volume);
    EXPECT_EQ(sim.journal().mid(3),
              QStringList({QStringLiteral("PhysicalDrive0 open failed"),
                           QStringLiteral("PhysicalDrive0 open failed"),
                           QStringLiteral("D: IOCTL_QUERY_VOLUME failed in=- out=8")}));
}

TEST_F(SimulatedSystemTest, BuffersAreBoundedAndChecked) {
    StatusRecord status;
    std::memset(&status, 0xee, sizeof status);
    EXPECT_TRUE(channel.driverRequest(IOCTL_GET_STATUS, &status, 4, nullptr, 0));
    EXPECT_EQ(status.state, 3u);
    EXPECT_EQ(status.failsafeReason, std::int32_t(0xeeeeeeee)) << "nothing beyond outSize";

    const OptionsRecord options{1, 1, 1, 1};
    EXPECT_FALSE(channel.driverRequest(IOCTL_SET_OPTIONS, nullptr, 0, &options, 15));
    EXPECT_FALSE(channel.driverRequest(IOCTL_SET_OPTIONS, nullptr, 0, nullptr, 16));
    EXPECT_FALSE(channel.driverRequest(IOCTL_GET_STATUS, nullptr, 40, nullptr, 0));
    EXPECT_EQ(stored().driver.options, (std::array<std::uint32_t, 4>{1, 0, 5, 0}));

    CacheTable table = tableOf({{"C:\\", 1}});
    EXPECT_FALSE(channel.driverRequest(IOCTL_SET_CACHE_TABLE, &table, sizeof table, &table,
                                       sizeof table - 1));
    EXPECT_EQ(entrySizeGB(stored().driver.cacheTable().entries[0]), 4) << "nothing taken";

    EXPECT_FALSE(
        system.deviceIoControl(12345, IOCTL_GET_STATUS, nullptr, 0, &status, sizeof status));
    const SystemApi::Handle handle = system.createFile(L"\\\\.\\physicaldrive0");
    ASSERT_NE(handle, SystemApi::invalidHandle()) << "device names ignore case";
    system.closeHandle(handle);
    EXPECT_FALSE(
        system.deviceIoControl(handle, IOCTL_GET_STATUS, nullptr, 0, &status, sizeof status))
        << "a closed handle";
    EXPECT_EQ(system.createFile(L"\\\\.\\PhysicalDrive1"), SystemApi::invalidHandle());
    EXPECT_EQ(system.createFile(L"PhysicalDrive0"), SystemApi::invalidHandle());
}

TEST_F(SimulatedSystemTest, CacheTablePathsFillTheirField) {
    const QByteArray path63(63, 'p');
    const QByteArray path64(64, 'q');
    QByteArray json = machineJson;
    json.replace("{\"path\": \"C:\\\\\", \"sizeBytes\": 4294967296, \"rating\": 700}",
                 "{\"path\": \"" + path63 + "\", \"sizeBytes\": 1}, {\"path\": \"" + path64 +
                     "\", \"sizeBytes\": 2}, {\"path\": \"\\u00c4:\\\\\", \"sizeBytes\": 3}");
    sim.writeMachine(json);
    CacheTable table;
    std::memset(&table, 0xee, sizeof table);
    ASSERT_TRUE(channel.driverRequest(IOCTL_GET_CACHE_TABLE, &table, sizeof table, nullptr, 0));
    EXPECT_EQ(entryPath(table.entries[0]), path63.toStdString());
    EXPECT_EQ(table.entries[0].path[63], '\0');
    EXPECT_EQ(std::memcmp(table.entries[1].path, path64.constData(), 64), 0) << "no NUL";
    EXPECT_EQ(entryPath(table.entries[2]), "\xc4:\\") << "paths are Latin-1 bytes";
    EXPECT_EQ(table.entries[3].sizeBytes, 0) << "the rest is zero";
    EXPECT_EQ(table.reserved, 0u);
}

TEST_F(SimulatedSystemTest, RawCacheTableAnswer) {
    CacheTable raw = emptyCacheTable();
    std::memset(&raw, 0x5a, sizeof raw);
    raw.status = 0;
    const QByteArray hex =
        QByteArray(reinterpret_cast<const char *>(&raw), int(sizeof raw)).toHex().toUpper();
    QByteArray json = machineJson;
    json.replace("\"fail\": []", "\"fail\": [], \"cacheTableHex\": \"" + hex + "\"");
    sim.writeMachine(json);
    CacheTable table = emptyCacheTable();
    ASSERT_TRUE(channel.driverRequest(IOCTL_GET_CACHE_TABLE, &table, sizeof table, nullptr, 0));
    EXPECT_EQ(std::memcmp(&table, &raw, sizeof table), 0);

    // A new layout replaces the raw answer.
    table = tableOf({{"C:\\", qint64(GiB)}});
    ASSERT_TRUE(
        channel.driverRequest(IOCTL_SET_CACHE_TABLE, &table, sizeof table, &table, sizeof table));
    EXPECT_FALSE(stored().driver.tableHex.has_value());
    ASSERT_TRUE(channel.driverRequest(IOCTL_GET_CACHE_TABLE, &table, sizeof table, nullptr, 0));
    EXPECT_EQ(table.status, 1u);
    EXPECT_EQ(entrySizeGB(table.entries[0]), 1);
}

TEST_F(SimulatedSystemTest, AutomaticLayoutKeepsFilesAndFreeSpaceInStep) {
    sim.makeFile(QStringLiteral("volumes/C/orvn#005.io"), qint64(GiB)); // an old layout's file

    // C: has room for 8 GB, D: for 1 GB; a size-0 entry is no cache.
    CacheTable table = tableOf({{"C:\\", 8 * qint64(GiB)}, {"E:\\", 0}, {"d:\\", qint64(GiB)}});
    ASSERT_TRUE(
        channel.driverRequest(IOCTL_SET_CACHE_TABLE, &table, sizeof table, &table, sizeof table));
    EXPECT_EQ(table.status, 1u);
    EXPECT_EQ(entryPath(table.entries[1]), "E:\\") << "the answer is the table sent";
    EXPECT_EQ(sim.sizeOf(QStringLiteral("volumes/C/orvn#001.io")), 8 * qint64(GiB));
    EXPECT_EQ(sim.sizeOf(QStringLiteral("volumes/D/orvn#002.io")), qint64(GiB));
    EXPECT_EQ(sim.sizeOf(QStringLiteral("volumes/C/orvn#005.io")), -1) << "no longer needed";
    sim::Machine machine = stored();
    EXPECT_EQ(*machine.volume('C')->freeBytes, (100 + 1 - 8) * GiB);
    EXPECT_EQ(*machine.volume('D')->freeBytes, 2 * GiB);
    ASSERT_EQ(machine.driver.tableEntries.size(), 2u);
    EXPECT_EQ(machine.driver.tableEntries[1].path, QByteArray("d:\\"));
    EXPECT_EQ(machine.driver.tableEntries[1].rating, 102u);

    // The driver's own files count as room: C: takes its free space plus its 8 GB file.
    table = tableOf({{"C:\\", std::int64_t(101 * GiB)}});
    ASSERT_TRUE(
        channel.driverRequest(IOCTL_SET_CACHE_TABLE, &table, sizeof table, &table, sizeof table));
    EXPECT_EQ(table.status, 1u);
    machine = stored();
    EXPECT_EQ(*machine.volume('C')->freeBytes, 0u);
    EXPECT_EQ(*machine.volume('D')->freeBytes, 3 * GiB) << "D:'s file was removed";
    EXPECT_EQ(sim.sizeOf(QStringLiteral("volumes/D/orvn#002.io")), -1);
    std::uint64_t free = 0;
    ASSERT_TRUE(system.freeBytesAvailable(L"C:\\", free));
    EXPECT_EQ(free + system.fileSize(L"C:\\orvn#001.io"), 101 * GiB);

    // Entries without room, or not on a fixed NTFS volume, are dropped and the answer is 0;
    // the others are kept and packed.
    table = tableOf({{"D:\\", 4 * qint64(GiB)},
                     {"E:\\", qint64(GiB)},
                     {"I:\\", qint64(GiB)},
                     {"Q:\\", qint64(GiB)},
                     {"C:", qint64(GiB)},
                     {"C:\\", 2 * qint64(GiB)},
                     {"D:\\", 2 * qint64(GiB)},
                     {"D:\\", 2 * qint64(GiB)}});
    ASSERT_TRUE(
        channel.driverRequest(IOCTL_SET_CACHE_TABLE, &table, sizeof table, &table, sizeof table));
    EXPECT_EQ(table.status, 0u);
    machine = stored();
    ASSERT_EQ(machine.driver.tableEntries.size(), 2u);
    EXPECT_EQ(machine.driver.tableEntries[0].path, QByteArray("C:\\"));
    EXPECT_EQ(machine.driver.tableEntries[1].path, QByteArray("D:\\"));
    EXPECT_EQ(machine.driver.tableStatus, 1u) << "what the driver keeps is a valid table";
    EXPECT_EQ(sim.sizeOf(QStringLiteral("volumes/C/orvn#001.io")), 2 * qint64(GiB));
    EXPECT_EQ(sim.sizeOf(QStringLiteral("volumes/D/orvn#002.io")), 2 * qint64(GiB));
    EXPECT_EQ(*machine.volume('C')->freeBytes, 99 * GiB);
    EXPECT_EQ(*machine.volume('D')->freeBytes, GiB);

    // An empty layout removes every cache file.
    table = emptyCacheTable();
    ASSERT_TRUE(
        channel.driverRequest(IOCTL_SET_CACHE_TABLE, &table, sizeof table, &table, sizeof table));
    EXPECT_EQ(table.status, 1u);
    EXPECT_TRUE(QDir(sim.path(QStringLiteral("volumes/C"))).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(*stored().volume('C')->freeBytes, 101 * GiB);
}

TEST_F(SimulatedSystemTest, ForcedAnswersKeepEveryEntry) {
    QByteArray json = machineJson;
    json.replace("\"fail\": []", "\"fail\": [], \"setCacheTableStatus\": 0");
    sim.writeMachine(json);
    CacheTable table = tableOf({{"C:\\", 2 * qint64(GiB)}, {"Q:\\", qint64(GiB)}});
    ASSERT_TRUE(
        channel.driverRequest(IOCTL_SET_CACHE_TABLE, &table, sizeof table, &table, sizeof table));
    EXPECT_EQ(table.status, 0u);
    sim::Machine machine = stored();
    EXPECT_EQ(machine.driver.tableEntries.size(), 2u) << "Q: is kept though it is no volume";
    EXPECT_EQ(sim.sizeOf(QStringLiteral("volumes/C/orvn#001.io")), 2 * qint64(GiB));
    EXPECT_FALSE(QFile::exists(sim.path(QStringLiteral("volumes/Q"))));

    sim::MachineFile file(sim.root());
    QString error;
    ASSERT_TRUE(file.update(
        [](sim::Machine &changed) {
            changed.driver.setTableStatus = 1;
            return true;
        },
        error));
    table = tableOf({{"D:\\", 5 * qint64(GiB)}});
    ASSERT_TRUE(
        channel.driverRequest(IOCTL_SET_CACHE_TABLE, &table, sizeof table, &table, sizeof table));
    EXPECT_EQ(table.status, 1u) << "confirmed though D: has no room";
    machine = stored();
    EXPECT_EQ(*machine.volume('D')->freeBytes, 0u) << "free space stops at 0";
    EXPECT_EQ(*machine.volume('C')->freeBytes, 100 * GiB) << "C:'s file is gone again";
}

TEST_F(SimulatedSystemTest, CountersGrowWithTheWorkloadUntilCleared) {
    const std::int64_t since = 1796000000000;
    QByteArray json = machineJson;
    json.replace("\"elapsedMs\": 11,",
                 "\"elapsedMs\": 11, \"workload\": {\"requestsPerSecond\": 1000, "
                 "\"bytesPerSecond\": 2000000}, \"statisticsSince\": " +
                     QByteArray::number(qlonglong(since)) + ",");
    sim.writeMachine(json);
    std::int64_t now = since + 1500;
    system.setClock([&now] { return now; });

    StatusRecord status{};
    ASSERT_TRUE(channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0));
    EXPECT_EQ(status.totalRequests, 5u + 1500);
    EXPECT_EQ(status.totalBytes, 7u + 3000000);
    EXPECT_EQ(status.elapsedMs, 11u + 1500);

    now = since - 10; // a clock set back does not take anything away
    ASSERT_TRUE(channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0));
    EXPECT_EQ(status.totalRequests, 5u);
    EXPECT_EQ(status.elapsedMs, 11u);

    now = since + 2000;
    ASSERT_TRUE(channel.driverRequest(IOCTL_CLEAR_STATISTICS, nullptr, 0, nullptr, 0));
    const sim::Machine machine = stored();
    EXPECT_EQ(machine.driver.totalRequests, 0u);
    EXPECT_EQ(*machine.driver.statisticsSince, since + 2000);
    now = since + 2500;
    ASSERT_TRUE(channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0));
    EXPECT_EQ(status.totalRequests, 500u);
    EXPECT_EQ(status.totalBytes, 1000000u);
    EXPECT_EQ(status.elapsedMs, 500u);
}

TEST_F(SimulatedSystemTest, LargeCountersAreDecimalStringsAndSaturate) {
    QByteArray json = machineJson;
    json.replace("\"totalRequests\": 5, \"totalBytes\": 7",
                 "\"totalRequests\": \"18446744073709551000\", \"totalBytes\": "
                 "\"9007199254740993\", \"workload\": {\"requestsPerSecond\": "
                 "\"18446744073709551615\"}, \"statisticsSince\": 1000");
    sim.writeMachine(json);
    system.setClock([] { return std::int64_t(61000); });
    StatusRecord status{};
    ASSERT_TRUE(channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0));
    EXPECT_EQ(status.totalRequests, 18446744073709551615u) << "saturates, never wraps";
    EXPECT_EQ(status.totalBytes, 9007199254740993u) << "exact beyond 2^53";

    // A rewrite keeps them exact: as strings.
    const OptionsRecord options{0, 0, 0, 0};
    ASSERT_TRUE(channel.driverRequest(IOCTL_SET_OPTIONS, nullptr, 0, &options, sizeof options));
    EXPECT_TRUE(sim.machineText().contains("\"totalBytes\": \"9007199254740993\""));
    EXPECT_TRUE(sim.machineText().contains("\"memoryUsed\": 52428800"));
    EXPECT_EQ(stored().driver.totalBytes, 9007199254740993u);
}

TEST_F(SimulatedSystemTest, SleepIsScaledAndJournaled) {
    system.sleep(5000); // sleepScale 0: no wait at all
    EXPECT_EQ(sim.journal(), QStringList{QStringLiteral("Sleep 5000")});
}

TEST_F(SimulatedSystemTest, ARootThatCannotBeWrittenStillAnswersReads) {
    // Root may write anywhere, so the lock and the journal are blocked by folders of their name.
    ASSERT_TRUE(QDir().mkpath(sim.path(QStringLiteral("machine.lock/x"))));
    ASSERT_TRUE(QDir().mkpath(sim.path(QStringLiteral("journal.log/x"))));
    const QByteArray before = sim.machineText();
    WarningCatcher warnings;
    StatusRecord status{};
    const OptionsRecord options{0, 0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0));
        EXPECT_FALSE(
            channel.driverRequest(IOCTL_SET_OPTIONS, nullptr, 0, &options, sizeof options));
        EXPECT_FALSE(channel.driverRequest(IOCTL_CLEAR_STATISTICS, nullptr, 0, nullptr, 0));
    }
    EXPECT_EQ(status.state, 3u);
    EXPECT_EQ(sim.machineText(), before);
    ASSERT_EQ(warnings.messages.size(), 2) << warnings.messages.join('\n').toStdString();
    EXPECT_TRUE(warnings.messages.filter(QStringLiteral("journal.log")).size() == 1);
    EXPECT_TRUE(warnings.messages.filter(QStringLiteral("machine.lock")).size() == 1);
}

TEST_F(SimulatedSystemTest, EveryChangeOfTheFileIsSeen) {
    StatusRecord status{};
    for (int state = 0; state < 10; ++state) {
        // Same size, same second, same inode: only the bytes differ.
        QByteArray json = machineJson;
        json.replace("\"state\": 3", "\"state\": " + QByteArray::number(state));
        sim.writeMachine(json);
        ASSERT_TRUE(channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0));
        EXPECT_EQ(status.state, std::uint32_t(state));
    }
    QFile::remove(sim.path(QStringLiteral("machine.json")));
    EXPECT_EQ(system.driveType(L"C:\\"), SystemApi::DriveNoRootDir) << "no file: a bare machine";
    EXPECT_EQ(system.createFile(L"\\\\.\\PhysicalDrive0"), SystemApi::invalidHandle());
}

TEST(SimulatedDemo, IsWorthLookingAt) {
    SimRoot sim;
    QString error;
    ASSERT_TRUE(createDemoMachine(sim.root(), error)) << error.toStdString();
    SimulatedSystem system(sim.root());
    DriverChannel channel(system);

    QStringList eligible;
    for (wchar_t letter = L'C'; letter <= L'Z'; ++letter) {
        const std::wstring root = std::wstring(1, letter) + L":\\";
        std::wstring fileSystem;
        std::uint64_t free = 0;
        if (system.driveType(root) == SystemApi::DriveFixed &&
            system.volumeFileSystem(root, fileSystem) && fileSystem == L"NTFS" &&
            system.freeBytesAvailable(root, free))
            eligible << QString(QChar(letter));
    }
    EXPECT_EQ(eligible, QStringList({"C", "D", "E"}));
    EXPECT_EQ(system.driveType(L"G:\\"), SystemApi::DriveRemovable);
    EXPECT_EQ(system.driveType(L"R:\\"), SystemApi::DriveCdrom);
    EXPECT_EQ(system.driveType(L"Z:\\"), SystemApi::DriveRemote);
    VolumeQueryResult c{}, d{};
    ASSERT_TRUE(channel.deviceRequest(L"C:", IOCTL_QUERY_VOLUME, &c, sizeof c, nullptr, 0));
    ASSERT_TRUE(channel.deviceRequest(L"D:", IOCTL_QUERY_VOLUME, &d, sizeof d, nullptr, 0));
    EXPECT_EQ(c.diskId, d.diskId) << "two eligible volumes on one disk";

    StatusRecord status{};
    ASSERT_TRUE(channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0));
    EXPECT_EQ(status.state, std::uint32_t(DriverState::Running));
    system.setClock([] { return std::numeric_limits<std::int64_t>::max() / 2; });
    ASSERT_TRUE(channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0));
    EXPECT_GT(status.totalRequests, 0u) << "a live workload";
    OptionsRecord options{};
    ASSERT_TRUE(channel.driverRequest(IOCTL_GET_OPTIONS, &options, sizeof options, nullptr, 0));
    EXPECT_EQ(options.prefetcherEnabled, 1u);

    CacheTable table = emptyCacheTable();
    ASSERT_TRUE(channel.driverRequest(IOCTL_GET_CACHE_TABLE, &table, sizeof table, nullptr, 0));
    ASSERT_NE(findEntry(table, "D:\\"), nullptr);
    EXPECT_EQ(entrySizeGB(*findEntry(table, "D:\\")), 6);
    EXPECT_EQ(system.fileSize(L"D:\\orvn#001.io"), 6 * GiB) << "a layout in force";
    EXPECT_EQ(system.fileSize(L"E:\\orvn#002.io"), 2 * GiB);

    // Recreating it puts the layout's files back and removes strangers.
    sim.makeFile(QStringLiteral("volumes/C/orvn#003.io"), 10);
    QFile::remove(sim.path(QStringLiteral("volumes/D/orvn#001.io")));
    ASSERT_TRUE(createDemoMachine(sim.root(), error)) << error.toStdString();
    EXPECT_EQ(system.fileSize(L"D:\\orvn#001.io"), 6 * GiB);
    EXPECT_EQ(system.fileSize(L"C:\\orvn#003.io"), 0u);
}

TEST(SimulatedDefaultRoot, FollowsTheEnvironment) {
    SimRoot sim;
    {
        const QString root = sim.path(QStringLiteral("given"));
        ScopedEnvironment env("ORVANTA_SIM_ROOT", QFile::encodeName(root));
        EXPECT_EQ(SimulatedSystem::defaultRoot(), root);
        EXPECT_FALSE(QFile::exists(root)) << "a given root is a bare machine, not a demo";
    }
    {
        ScopedEnvironment noRoot("ORVANTA_SIM_ROOT", QByteArray(), true);
        ScopedEnvironment dataHome("XDG_DATA_HOME",
                                   QFile::encodeName(sim.path(QStringLiteral("data"))));
        const QString root = sim.path(QStringLiteral("data/orvanta-monitor/simulation"));
        EXPECT_EQ(SimulatedSystem::defaultRoot(), root);
        EXPECT_TRUE(QFile::exists(root + QStringLiteral("/machine.json")))
            << "the demo, on first use";

        // A machine the user changed is not recreated.
        QFile file(root + QStringLiteral("/machine.json"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("{}");
        file.close();
        SimulatedSystem::defaultRoot();
        file.open(QIODevice::ReadOnly);
        EXPECT_EQ(file.readAll(), QByteArray("{}"));
    }
    {
        ScopedEnvironment noRoot("ORVANTA_SIM_ROOT", QByteArray(), true);
        ScopedEnvironment dataHome("XDG_DATA_HOME", "relative/is/ignored");
        ScopedEnvironment home("HOME", QFile::encodeName(sim.path(QStringLiteral("home"))));
        EXPECT_EQ(SimulatedSystem::defaultRoot(),
                  sim.path(QStringLiteral("home/.local/share/orvanta-monitor/simulation")));
    }
}

} // namespace
} // namespace orvanta::testing
