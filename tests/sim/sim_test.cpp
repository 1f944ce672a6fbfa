// The simulated machine as other tools and the monitor rely on it: machine.json in, answers and
// journal lines out, cache files and free space in step, registry.json, and orvanta-sim.
#include "app/monitorsettings.h"
#include "core/cachetable.h"
#include "core/driverchannel.h"
#include "recordingsystem.h"
#include "sim/simmachine.h"
#include "sim/simulatedsystem.h"
#include "tempmachine.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QSettings>

#include <cstring>

using namespace orvanta;
using orvanta::testing::GB;

namespace {
const QByteArray machineJson = R"({"journal": true, "sleepScale": 0, "volumes": [
    {"letter": "C", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 107374182400,
     "diskId": 0, "rating": 700},
    {"letter": "D", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 3221225472,
     "diskId": 1, "rating": 100},
    {"letter": "E", "type": "fixed", "fileSystem": "FAT32", "freeBytes": 53687091200},
    {"letter": "F", "type": "removable", "fileSystem": "NTFS", "freeBytes": 1000},
    {"letter": "H", "type": "cdrom", "fileSystem": null, "freeBytes": null}],
  "driver": {"loaded": true, "state": 3, "failsafeReason": -12, "reserved": 77,
    "memoryUsed": 52428800, "totalRequests": "18446744073709551000",
    "totalBytes": "9007199254740993", "elapsedMs": 11, "statisticsSince": 1000000,
    "workload": {"requestsPerSecond": 1000, "bytesPerSecond": 2000500}, "options": [1, 0, 5, 0],
    "cacheTable": {"status": 1, "entries": [{"path": "C:\\", "sizeBytes": 4294967296}]},
    "fail": ["IOCTL_GET_OPTIONS"], "comment": "kept"}})";

struct Fixture {
    SimMachine machine;
    SimulatedSystem system{machine.root()};
    DriverChannel channel{system};
    std::int64_t now = 1001500;
    Fixture() {
        EXPECT_TRUE(machine.write(QStringLiteral("machine.json"), machineJson));
        system.setClock([this] { return now; });
    }
    sim::Machine stored() const {
        sim::Machine parsed;
        QString problem;
        EXPECT_TRUE(
            sim::parseMachine(machine.read(QStringLiteral("machine.json")), parsed, problem));
        return parsed;
    }
    std::uint32_t setTable(std::initializer_list<std::pair<const char *, std::uint64_t>> entries) {
        CacheTable table = emptyCacheTable();
        CacheEntry *entry = table.entries;
        for (const auto &[path, size] : entries)
            setEntryPath(*entry, path), (entry++)->sizeBytes = std::int64_t(size);
        EXPECT_TRUE(channel.driverRequest(IOCTL_SET_CACHE_TABLE, &table, 2296, &table, 2296));
        return table.status;
    }
};
} // namespace

TEST(SimulatedSystem, AnswersAndJournalsAsTheFileSays) {
    Fixture f;
    std::wstring name;
    std::uint64_t free = 0;
    EXPECT_TRUE(f.system.driveType(L"F:\\") == SystemApi::DriveRemovable &&
                f.system.driveType(L"C:") == SystemApi::DriveNoRootDir);
    EXPECT_TRUE(f.system.freeBytesAvailable(L"D:\\", free) && free == 3 * GB);
    EXPECT_FALSE(f.system.volumeFileSystem(L"H:\\", name) ||
                 f.system.freeBytesAvailable(L"H:\\", free));
    const SystemApi::Handle closed = f.system.createFile(L"\\\\.\\D:");
    f.system.closeHandle(closed);
    EXPECT_FALSE(f.system.deviceIoControl(closed, IOCTL_QUERY_VOLUME, nullptr, 0, &free, 8));

    // Counters grow with the workload, saturate, and stay exact past 2^53.
    StatusRecord status;
    std::memset(&status, 0xee, sizeof status);
    ASSERT_TRUE(f.channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0));
    const StatusRecord expected{3, -12, 77, 52428800, UINT64_MAX, 9007199257741743u, 1511};
    EXPECT_EQ(std::memcmp(&status, &expected, sizeof status), 0);
    OptionsRecord options{7, 7, 7, 7};
    EXPECT_FALSE(f.channel.driverRequest(IOCTL_GET_OPTIONS, &options, sizeof options, nullptr, 0));
    EXPECT_EQ(options.prefetcherEnabled, 7u);
    const OptionsRecord sent{0, 1, 0, 1};
    EXPECT_TRUE(f.channel.driverRequest(IOCTL_SET_OPTIONS, nullptr, 0, &sent, sizeof sent));
    EXPECT_FALSE(f.channel.driverRequest(IOCTL_SET_OPTIONS, nullptr, 0, &sent, 15));
    EXPECT_EQ(f.stored().driver.options, (std::array<std::uint32_t, 4>{0, 1, 0, 1}));
    VolumeQueryResult query{};
    EXPECT_TRUE(f.channel.deviceRequest(L"D:", IOCTL_QUERY_VOLUME, &query, 8, nullptr, 0));
    EXPECT_TRUE(query.diskId == 1 && query.rating == 100);
    EXPECT_FALSE(f.channel.deviceRequest(L"F:", IOCTL_QUERY_VOLUME, &query, 8, nullptr, 0));
    EXPECT_FALSE(f.channel.deviceRequest(L"K:", IOCTL_QUERY_VOLUME, &query, 8, nullptr, 0));
    EXPECT_FALSE(f.channel.deviceRequest(L"C:", IOCTL_GET_STATUS, &status, 40, nullptr, 0));
    f.system.sleep(5000);
    f.now = 1002000;
    EXPECT_TRUE(f.channel.driverRequest(IOCTL_CLEAR_STATISTICS, nullptr, 0, &sent, 0)); // in=-
    f.now = 1002500;
    ASSERT_TRUE(f.channel.driverRequest(IOCTL_GET_STATUS, &status, 4, nullptr, 0));
    EXPECT_EQ(status.totalRequests, UINT64_MAX) << "nothing beyond the answer's size";
    ASSERT_TRUE(f.channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0));
    EXPECT_TRUE(status.totalRequests == 500 && status.totalBytes == 1000250 &&
                status.elapsedMs == 500);
    const QByteArray text = f.machine.read(QStringLiteral("machine.json"));
    EXPECT_TRUE(text.contains("\"comment\": \"kept\"") && text.contains("\"totalBytes\": 0"));

    f.machine.write(QStringLiteral("machine.json"),
                    QByteArray(machineJson).replace("\"loaded\": true", "\"loaded\": false"));
    EXPECT_FALSE(f.channel.driverRequest(IOCTL_GET_STATUS, &status, 40, nullptr, 0));
    EXPECT_FALSE(f.channel.deviceRequest(L"D:", IOCTL_QUERY_VOLUME, &query, 8, nullptr, 0));
    const QStringList journal = f.machine.journal();
    ASSERT_EQ(journal.size(), 14);
    EXPECT_EQ(journal[3],
              "PhysicalDrive0 IOCTL_SET_OPTIONS failed in=000000000100000000000000010000 out=0");
    EXPECT_EQ(journal[6] + '|' + journal[7] + '|' + journal[9] + '|' + journal[10],
              "K: open failed|C: IOCTL_GET_STATUS failed in=- out=40|PhysicalDrive0 "
              "IOCTL_CLEAR_STATISTICS ok in=- out=0|PhysicalDrive0 IOCTL_GET_STATUS ok in=- out=4");
    EXPECT_EQ(f.system.createFile(L"C:"), SystemApi::invalidHandle()) << "a volume is a device";
    f.system.createFile(L"\\\\.\\a b\x7f"); // blanks and controls, each one token
    EXPECT_EQ(f.machine.journal().back(), "a?b? open failed");
}

// One holder at a time, taken again once given back; writers are kept out when the lock cannot
// be taken, unless there is no machine to write to.
TEST(SimulatedSystem, TheWritersLockHasOneHolderAtATime) {
    Fixture f;
    ASSERT_TRUE(f.system.lockWriters(0));
    EXPECT_FALSE(SimulatedSystem(f.machine.root()).lockWriters(0));
    f.system.unlockWriters();
    EXPECT_TRUE(f.system.lockWriters(0));
    f.system.unlockWriters();
    EXPECT_FALSE(SimulatedSystem(f.machine.path("machine.json")).lockWriters(0));
    EXPECT_TRUE(SimulatedSystem(f.machine.path("none")).lockWriters(0));
}

TEST(SimulatedSystem, LayoutsKeepCacheFilesAndFreeSpaceInStep) {
    Fixture f; // whose driver holds no valid table until one is taken
    f.machine.write("machine.json",
                    QByteArray(machineJson).replace("\"status\": 1", "\"status\": 0"));
    QDir().mkpath(f.machine.path(QStringLiteral("volumes/C")));
    QFile old(f.machine.path(QStringLiteral("volumes/C/orvn#005.io")));
    QFile stranger(f.machine.path(QStringLiteral("volumes/C/orvn#027.io")));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.resize(qint64(GB)) &&
                stranger.open(QIODevice::WriteOnly));
    EXPECT_EQ(f.setTable({{"C:\\", 8 * GB}, {"E:\\", 0}, {"d:\\", GB}}), 1u);
    EXPECT_EQ(f.system.fileSize(L"c:\\orvn#001.io"), 8 * GB);
    EXPECT_EQ(f.system.fileSize(L"D:\\orvn#002.io"), GB);
    EXPECT_FALSE(QFile::exists(f.machine.path("volumes/C/orvn#005.io")));
    EXPECT_TRUE(stranger.exists());
    EXPECT_EQ(f.system.fileSize(L"C:\\..\\..\\machine.json"), 0u);
    QDir().mkpath(f.machine.path("volumes/K")); // no listed volume, so no files
    QFile onNoVolume(f.machine.path("volumes/K/orvn#001.io"));
    EXPECT_TRUE(onNoVolume.open(QIODevice::WriteOnly) && onNoVolume.write("x") &&
                onNoVolume.flush());
    EXPECT_TRUE(f.system.fileSize(L"K:\\orvn#001.io") == 0 &&
                sim::rootLetter(std::wstring(L"Z:\\")) == 'Z' &&
                sim::rootLetter(std::wstring(L"a:\\")) == 'A' &&
                sim::rootLetter(std::wstring(L"A:\\")) == 'A');
    sim::Machine stored = f.stored();
    EXPECT_EQ(*stored.volume('C')->freeBytes, (100 + 1 - 8) * GB);
    EXPECT_EQ(*stored.volume('D')->freeBytes, 2 * GB);
    ASSERT_EQ(stored.driver.tableEntries.size(), 2u);
    EXPECT_EQ(stored.driver.tableEntries[1].path, QByteArray("d:\\"));

    // Entries without room, or off a fixed NTFS volume, are dropped and the answer is 0.
    EXPECT_EQ(f.setTable({{"D:\\", 4 * GB}, {"E:\\", GB}, {"Q:\\", GB}, {"C:\\", 101 * GB}}), 0u);
    stored = f.stored();
    EXPECT_TRUE(*stored.volume('C')->freeBytes == 0 && *stored.volume('D')->freeBytes == 3 * GB);
    EXPECT_FALSE(QFile::exists(f.machine.path("volumes/D/orvn#002.io")));
    CacheTable table;
    ASSERT_TRUE(f.channel.driverRequest(IOCTL_GET_CACHE_TABLE, &table, sizeof table, nullptr, 0));
    EXPECT_FALSE(f.channel.driverRequest(IOCTL_SET_CACHE_TABLE, nullptr, 0, &table, 2295));
    std::vector<std::uint8_t> valid = orvanta::testing::expectedTable({{"C:\\", 101, 0}});
    valid[0] = 1;
    EXPECT_EQ(std::memcmp(&table, valid.data(), sizeof table), 0);

    QString error;
    ASSERT_TRUE(
        sim::MachineFile(f.machine.root())
            .update([](sim::Machine &m) { return bool(m.driver.setTableStatus = 0); }, error));
    EXPECT_EQ(f.setTable({{"Q:\\", GB}}), 0u);
    EXPECT_TRUE(f.stored().driver.tableEntries.size() == 1 && // a forced answer keeps them all
                *f.stored().volume('C')->freeBytes == 101 * GB);
}

TEST(SimulatedSystem, EveryChangeIsSeenAndABrokenFileLeftAlone) {
    Fixture f;
    for (char state : {'0', '1', '2'}) { // the same size, within the same second
        f.machine.write(
            QStringLiteral("machine.json"),
            QByteArray(machineJson).replace("\"state\": 3", QByteArray("\"state\": ") + state));
        StatusRecord status{};
        ASSERT_TRUE(f.channel.driverRequest(IOCTL_GET_STATUS, &status, 40, nullptr, 0));
        EXPECT_EQ(status.state, std::uint32_t(state - '0'));
    }
    const OptionsRecord options{};
    for (const QByteArray &broken : {machineJson.left(200), QByteArray(2 << 20, ' ')}) {
        f.machine.write(QStringLiteral("machine.json"), broken);
        EXPECT_EQ(f.system.driveType(L"C:\\"), SystemApi::DriveNoRootDir);
        EXPECT_FALSE(f.channel.driverRequest(IOCTL_SET_OPTIONS, nullptr, 0, &options, 16));
        EXPECT_EQ(f.machine.read(QStringLiteral("machine.json")), broken);
    }

    // registry.json: numbers stay numbers and texts texts.
    const SettingsStore store = monitorSettingsAt(f.machine.root());
    store()->setValue(QStringLiteral("Autostart"), 1);
    EXPECT_EQ(f.machine.read(QStringLiteral("registry.json")).simplified(), "{ \"Autostart\": 1 }");
    f.machine.write(QStringLiteral("registry.json"),
                    R"({"Autostart": "1", "Big": 5000000000, "One": 1, "Far": 9007199254740993})");
    const auto settings = store();
    EXPECT_EQ(settings->value(QStringLiteral("Autostart")), QVariant(QStringLiteral("1")));
    EXPECT_EQ(settings->value(QStringLiteral("Big")).userType(), int(QMetaType::LongLong));
    EXPECT_EQ(settings->value(QStringLiteral("One")).userType(), int(QMetaType::Int));
    // Past 2^53 a JSON number may have been rounded: no integer is made of it.
    EXPECT_EQ(settings->value(QStringLiteral("Far")).userType(), int(QMetaType::Double));
    // A file of exactly the largest size taken is read whole and written over, not kept aside.
    QByteArray largest = R"({"Autostart": 1)";
    largest += QByteArray(1024 * 1024 - largest.size() - 1, ' ') + '}';
    f.machine.write(QStringLiteral("registry.json"), largest);
    store()->setValue(QStringLiteral("One"), 2);
    EXPECT_TRUE(f.machine.read(QStringLiteral("registry.json")).contains("\"One\": 2"));
    EXPECT_FALSE(QFile::exists(f.machine.path(QStringLiteral("registry.json.bad"))));
    EXPECT_EQ(store()->value(QStringLiteral("Autostart")), QVariant(1));
    // One that cannot be read is kept aside whole, and the change is written.
    f.machine.write(QStringLiteral("registry.json"), "{\"One\": ");
    store()->setValue(QStringLiteral("One"), 3);
    EXPECT_EQ(f.machine.read(QStringLiteral("registry.json.bad")), "{\"One\": ");
    EXPECT_TRUE(f.machine.read(QStringLiteral("registry.json")).contains("\"One\": 3"));
}

TEST(SimulatedSystem, AMalformedFieldIsNamed) {
    const char *const malformed[][2] = {
        {R"([1])", "the top level must be a JSON object"},
        {R"({"sleepScale": -1})", "sleepScale: "},
        {R"({"volumes": {}})", "volumes: "},
        {R"({"volumes": [{"letter": "c"}]})", "volumes[0].letter: "},
        {R"({"volumes": [{"letter": "C", "type": "fixed"}, {"letter": "C"}]})",
         "volumes[1].letter: "},
        {R"({"volumes": [{"letter": "C", "type": "fixed", "rating": -1}]})", "volumes[0].rating: "},
        {R"({"volumes": [{"letter": "C", "type": "fixed", "fileSystem": 7}]})",
         "volumes[0].fileSystem: "},
        {R"({"driver": {"failsafeReason": 2147483648}})", "driver.failsafeReason: "},
        {R"({"driver": {"options": [1, 0]}})", "driver.options: "},
        {R"({"driver": {"cacheTableHex": "00"}})", "driver.cacheTableHex: must be exactly 4592 "},
        {R"({"driver": {"setCacheTableStatus": "sometimes"}})", "driver.setCacheTableStatus: "},
        {R"({"driver": {"fail": ["IOCTL_NOTHING"]}})", "driver.fail[0]: "},
        {R"({"driver": {"cacheTable": {"entries": [{"path": "\u0100"}]}}})",
         "driver.cacheTable.entries[0].path: "}};
    sim::Machine machine;
    QString error;
    for (const auto &[text, field] : malformed) {
        EXPECT_FALSE(sim::parseMachine(text, machine, error)) << text;
        EXPECT_TRUE(error.startsWith(QLatin1String(field))) << error.toStdString();
    }
    const QByteArray named =
        R"({"volumes": [{"letter": "C", "type": "fixed", "fileSystem": "N"}]})";
    EXPECT_TRUE(
        sim::parseMachine(QByteArray(named).replace("N", QByteArray(255, 'N')), machine, error));
    EXPECT_FALSE(
        sim::parseMachine(QByteArray(named).replace("N", QByteArray(256, 'N')), machine, error));
    // A full table of 26 entries is one (a path of the Latin-1 character 0xff among them); a 27th
    // is not.
    const QByteArray entry = R"({"path": "C:\\"}, )";
    const auto table = [](const QByteArray &entries) {
        return R"({"driver": {"cacheTable": {"entries": [)" + entries + R"({"path": "D:\\"}]}}})";
    };
    EXPECT_TRUE(
        sim::parseMachine(table(entry.repeated(24) + R"({"path": "\u00ff"}, )"), machine, error));
    EXPECT_FALSE(sim::parseMachine(table(entry.repeated(26)), machine, error));
    // From 2^53 on a whole number goes out as text, which reads back exact.
    ASSERT_TRUE(sim::parseMachine(R"({"driver": {"totalRequests": "9007199254740992", "cacheTable":
        {"entries": [{"path": "C:\\", "sizeBytes": "9007199254740992"}]}}})",
                                  machine, error));
    ASSERT_TRUE(sim::parseMachine(sim::serializeMachine(machine), machine, error));
    EXPECT_TRUE(machine.driver.totalRequests == 9007199254740992u &&
                machine.driver.tableEntries[0].sizeBytes == 9007199254740992);
    const QByteArray raw = R"({"driver": {"cacheTableHex": ")" + QByteArray(4592, 'A') + R"("}})";
    ASSERT_TRUE(sim::parseMachine(raw, machine, error));
    EXPECT_EQ(machine.driver.tableHex, QByteArray(2296, '\xaa'));
    EXPECT_EQ(machine.driver.cacheTable().entries[25].rating, 0xaaaaaaaau);
    EXPECT_TRUE(machine.driver.loaded) << "a driver is loaded unless it says otherwise";
    std::uint32_t answer = 0; // a new layout replaces the raw answer
    ASSERT_TRUE(sim::takeCacheTable(QDir::tempPath(), machine, CacheTable{}, answer, error));
    EXPECT_FALSE(machine.driver.tableHex.has_value());
}

TEST(OrvantaSimTool, ChangesWhatTheMonitorSees) {
    SimMachine machine;
    SimulatedSystem system(machine.root());
    DriverChannel channel(system);
    QString shown;
    const auto tool = [&](const QStringList &arguments) {
        return machine.run(simTool(), arguments, &shown);
    };
    EXPECT_EQ(tool({"--root", machine.root(), "show"}), 0);
    EXPECT_TRUE(shown.contains(QStringLiteral("bare machine")));
    ASSERT_TRUE(tool({"demo"}) == 0 && tool({"--root=" + machine.root()}) == 0);
    for (const char *text : {"C:", "FAT32", "removable", "Running", "orvn#001.io",
                             "prefetcher enabled on", "Failing requests: none"})
        EXPECT_TRUE(shown.contains(QLatin1String(text))) << text;
    StatusRecord status{};
    OptionsRecord options{};
    ASSERT_TRUE(tool({"state", "4"}) == 0 && tool({}) == 0); // a state the monitor does not know
    EXPECT_TRUE(shown.contains(QStringLiteral("4 (unknown to the monitor)")));
    ASSERT_EQ(tool({"state", "failsafe", "-7"}), 0);
    ASSERT_TRUE(channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0));
    EXPECT_TRUE(status.state == 3 && status.failsafeReason == -7);
    ASSERT_TRUE(tool({"demo"}) == 0 && tool({}) == 0); // made again over the machine there
    EXPECT_TRUE(shown.contains(QStringLiteral("Running")));
    ASSERT_EQ(tool({"journal", "on"}), 0);
    channel.driverRequest(IOCTL_GET_OPTIONS, &options, 16, nullptr, 0);
    ASSERT_EQ(tool({"journal", "off"}), 0);
    channel.driverRequest(IOCTL_GET_OPTIONS, &options, 16, nullptr, 0);
    EXPECT_EQ(machine.journal(), QStringList{"PhysicalDrive0 IOCTL_GET_OPTIONS ok in=- out=16"});
    // fail, succeed, unload, load and table-status are used, and their effects read, by the
    // end-to-end tests.

    const QList<QStringList> wrong = {{"frobnicate"},
                                      {"state", "5x"},
                                      {"fail", "NOTHING"},
                                      {"journal", "yes"},
                                      {"table-status", "x"}};
    for (const QStringList &arguments : wrong)
        EXPECT_EQ(tool(arguments), 2) << arguments.join(' ').toStdString();
    EXPECT_EQ(machine.run(simTool(), {"--root"}), 2);
    EXPECT_TRUE(tool({"--help"}) == 0 && shown.startsWith(QStringLiteral("Usage: orvanta-sim")));
    machine.write(QStringLiteral("machine.json"), "{\"driver\": ");
    EXPECT_EQ(tool({"load"}), 1);
    EXPECT_EQ(machine.read(QStringLiteral("machine.json")), "{\"driver\": ");
    // Of two programs starting on a new root, the second finds the first's machine and keeps it.
    QString error;
    EXPECT_TRUE(ensureDemoMachine(machine.root(), error));
    EXPECT_EQ(machine.read(QStringLiteral("machine.json")), "{\"driver\": ");
}
