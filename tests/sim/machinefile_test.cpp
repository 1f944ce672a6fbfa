// machine.json as untrusted input: what cannot be used makes a bare machine, warns once per
// change of the file, and is never overwritten.
#include "simtestsupport.h"

#include "core/driverchannel.h"
#include "sim/simmachine.h"
#include "sim/simulatedsystem.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QThread>

#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace orvanta::testing {
namespace {

// A machine that works; each bad case changes one thing in it.
const QByteArray goodMachine = R"({"journal": true, "sleepScale": 1,
 "volumes": [{"letter": "C", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 1000,
              "diskId": 0, "rating": 5}],
 "driver": {"loaded": true, "state": 1, "failsafeReason": 0, "totalBytes": 0,
            "options": [1, 0, 0, 0], "statisticsSince": 0,
            "cacheTable": {"status": 1, "entries": [{"path": "C:\\", "sizeBytes": 1}]},
            "setCacheTableStatus": "auto", "fail": []}})";

struct BadCase {
    const char *from;
    const char *to;
    const char *field; // what the warning must name
};

const BadCase badCases[] = {
    {"{\"journal\"", "[{\"journal\"", "not valid JSON"},
    {"\"journal\": true", "\"journal\": \"yes\"", "journal"},
    {"\"sleepScale\": 1", "\"sleepScale\": -1", "sleepScale"},
    {"\"sleepScale\": 1", "\"sleepScale\": 1e9", "sleepScale"},
    {"\"volumes\": [", "\"volumes\": 5, \"v\": [", "volumes"},
    {"\"letter\": \"C\"", "\"letter\": \"c\"", "volumes[0].letter"},
    {"\"letter\": \"C\"", "\"letter\": \"CD\"", "volumes[0].letter"},
    {"\"letter\": \"C\"", "\"letter\": 3", "volumes[0].letter"},
    {"\"rating\": 5}]", "\"rating\": 5}, {\"letter\": \"C\", \"type\": \"fixed\"}]",
     "volumes[1].letter"},
    {"\"type\": \"fixed\"", "\"type\": \"floppy\"", "volumes[0].type"},
    {"\"fileSystem\": \"NTFS\"", "\"fileSystem\": 7", "volumes[0].fileSystem"},
    {"\"freeBytes\": 1000", "\"freeBytes\": -1", "volumes[0].freeBytes"},
    {"\"freeBytes\": 1000", "\"freeBytes\": 1.5", "volumes[0].freeBytes"},
    {"\"freeBytes\": 1000", "\"freeBytes\": 9007199254740993", "volumes[0].freeBytes"},
    {"\"freeBytes\": 1000", "\"freeBytes\": \"18446744073709551616\"", "volumes[0].freeBytes"},
    {"\"freeBytes\": 1000", "\"freeBytes\": \"12 GB\"", "volumes[0].freeBytes"},
    {"\"diskId\": 0", "\"diskId\": 4294967296", "volumes[0].diskId"},
    {"\"rating\": 5", "\"rating\": true", "volumes[0].rating"},
    {"\"driver\": {", "\"driver\": 5, \"d\": {", "driver"},
    {"\"loaded\": true", "\"loaded\": 1", "driver.loaded"},
    {"\"state\": 1", "\"state\": 4294967296", "driver.state"},
    {"\"state\": 1", "\"state\": -1", "driver.state"},
    {"\"failsafeReason\": 0", "\"failsafeReason\": 2147483648", "driver.failsafeReason"},
    {"\"failsafeReason\": 0", "\"failsafeReason\": \"-2147483649\"", "driver.failsafeReason"},
    {"\"totalBytes\": 0", "\"totalBytes\": -5", "driver.totalBytes"},
    {"\"statisticsSince\": 0", "\"statisticsSince\": -1", "driver.statisticsSince"},
    {"\"options\": [1, 0, 0, 0]", "\"options\": [1, 0, 0]", "driver.options"},
    {"\"options\": [1, 0, 0, 0]", "\"options\": [1, 0, 0, -1]", "driver.options[3]"},
    {"\"sizeBytes\": 1", "\"sizeBytes\": -1073741824", "driver.cacheTable.entries[0].sizeBytes"},
    {"\"path\": \"C:\\\\\"", "\"path\": \"\\u20ac:\\\\\"", "driver.cacheTable.entries[0].path"},
    {"\"path\": \"C:\\\\\"",
     "\"path\": \"CCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCC\"",
     "driver.cacheTable.entries[0].path"},
    {"\"path\": \"C:\\\\\"", "\"path\": \"C:\\u0000\"", "driver.cacheTable.entries[0].path"},
    {"\"status\": 1, \"entries\"", "\"status\": 1, \"entries\": 5, \"x\"",
     "driver.cacheTable.entries"},
    {"\"fail\": []", "\"fail\": [], \"cacheTableHex\": \"00ff\"", "driver.cacheTableHex"},
    {"\"setCacheTableStatus\": \"auto\"", "\"setCacheTableStatus\": \"sometimes\"",
     "driver.setCacheTableStatus"},
    {"\"fail\": []", "\"fail\": [\"IOCTL_BOGUS\"]", "driver.fail[0]"},
    {"\"fail\": []", "\"fail\": \"IOCTL_GET_STATUS\"", "driver.fail"},
};

class MalformedMachine : public ::testing::TestWithParam<BadCase> {};

TEST_P(MalformedMachine, ReadsAsBareWarnsOnceAndIsKept) {
    const BadCase &bad = GetParam();
    QByteArray text = goodMachine;
    ASSERT_TRUE(text.contains(bad.from)) << bad.from;
    text.replace(bad.from, bad.to);

    SimRoot sim;
    sim.writeMachine(text);
    SimulatedSystem system(sim.root());
    DriverChannel channel(system);
    WarningCatcher warnings;
    StatusRecord status{};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(system.driveType(L"C:\\"), SystemApi::DriveNoRootDir);
        EXPECT_FALSE(channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0));
        const OptionsRecord options{};
        EXPECT_FALSE(
            channel.driverRequest(IOCTL_SET_OPTIONS, nullptr, 0, &options, sizeof options));
    }
    ASSERT_EQ(warnings.messages.size(), 1) << warnings.messages.join('\n').toStdString();
    EXPECT_TRUE(warnings.messages[0].contains(QStringLiteral("machine.json")));
    EXPECT_TRUE(warnings.messages[0].contains(QLatin1String(bad.field)))
        << warnings.messages[0].toStdString();
    EXPECT_EQ(sim.machineText(), text) << "never overwritten";
    EXPECT_TRUE(sim.journal().isEmpty()) << "a bare machine keeps no journal";

    // The tool refuses to change it too.
    sim::MachineFile file(sim.root());
    QString error;
    EXPECT_FALSE(file.update([](sim::Machine &) { return true; }, error, true));
    EXPECT_TRUE(error.contains(QLatin1String(bad.field))) << error.toStdString();
    EXPECT_EQ(sim.machineText(), text);

    // Fixed, it works again at once.
    sim.writeMachine(goodMachine);
    EXPECT_TRUE(channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0));
    EXPECT_EQ(warnings.messages.size(), 1);
}

INSTANTIATE_TEST_SUITE_P(BadFields, MalformedMachine, ::testing::ValuesIn(badCases));

TEST(MachineFile, WarnsAgainOnlyWhenTheFileChanges) {
    SimRoot sim;
    SimulatedSystem system(sim.root());
    WarningCatcher warnings;
    sim.writeMachine("{\"volumes\": 1}");
    system.driveType(L"C:\\");
    system.driveType(L"C:\\");
    sim.writeMachine("{\"volumes\": 2}");
    system.driveType(L"C:\\");
    system.driveType(L"C:\\");
    sim.writeMachine(goodMachine);
    system.driveType(L"C:\\");
    sim.writeMachine("{\"volumes\": 2}");
    system.driveType(L"C:\\");
    EXPECT_EQ(warnings.messages.size(), 3) << warnings.messages.join('\n').toStdString();
}

TEST(MachineFile, TooLargeIsRefused) {
    SimRoot sim;
    QByteArray text = goodMachine;
    text.replace("\"journal\": true", "\"pad\": \"" + QByteArray(sim::MaxMachineFileSize, 'x') +
                                          "\", \"journal\": true");
    sim.writeMachine(text);
    sim::MachineFile file(sim.root());
    const sim::MachineFile::Snapshot snapshot = file.read();
    EXPECT_EQ(snapshot.status, sim::MachineFile::Status::Malformed);
    EXPECT_TRUE(snapshot.problem.contains(QStringLiteral("larger")));
}

// The stat() signature of machine.json: modification time restored after an in-place write,
// so only the change time and the inode can tell the new bytes from the old.
struct timespec modifiedTime(const QString &path) {
    struct stat info {};
    stat(QFile::encodeName(path).constData(), &info);
    return info.st_mtim;
}
void setModifiedTime(const QString &path, const struct timespec &time) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, time};
    utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
}

// A read that finds the very file it read before, long unchanged, stops at its time stamps;
// every change of the bytes is still seen, however it was made.
TEST(MachineFile, SeesEveryChangeOfTheFile) {
    SimRoot sim;
    const QString path = sim.path(QStringLiteral("machine.json"));
    QByteArray failsafe = goodMachine;
    failsafe.replace("\"state\": 1", "\"state\": 3"); // the same size
    sim.writeMachine(goodMachine);
    sim::MachineFile first(sim.root());
    sim::MachineFile second(sim.root());
    EXPECT_EQ(first.read().machine->driver.state, 1u);

    // Rewritten at once, in place: within one step of the clock the time stamps look alike.
    const struct timespec written = modifiedTime(path);
    sim.writeMachine(failsafe);
    setModifiedTime(path, written);
    EXPECT_EQ(first.read().machine->driver.state, 3u);

    // Settled: both readers now trust the time stamps of what they read.
    QThread::msleep(2100);
    EXPECT_EQ(first.read().machine->driver.state, 3u);
    EXPECT_EQ(second.read().machine->driver.state, 3u);
    const struct timespec settled = modifiedTime(path);
    sim.writeMachine(goodMachine);
    setModifiedTime(path, settled);
    EXPECT_EQ(first.read().machine->driver.state, 1u) << "in place, same size and time";

    // Replaced by another file of the same size and time.
    const QString other = sim.path(QStringLiteral("machine.new"));
    QFile replacement(other);
    ASSERT_TRUE(replacement.open(QIODevice::WriteOnly));
    replacement.write(failsafe);
    replacement.close();
    setModifiedTime(other, settled);
    ASSERT_EQ(
        std::rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()), 0);
    EXPECT_EQ(second.read().machine->driver.state, 3u) << "replaced";
    EXPECT_EQ(first.read().machine->driver.state, 3u);
}

TEST(MachineFile, RoundTripKeepsEveryField) {
    const QByteArray text = R"({"journal": false, "sleepScale": 0.25, "extra": [1, 2],
     "volumes": [{"letter": "Z", "type": "ramdisk", "fileSystem": null, "note": "x"},
                 {"letter": "Y", "type": "unknown", "freeBytes": "18446744073709551615",
                  "diskId": 4294967295}],
     "driver": {"loaded": false, "state": 4294967295, "failsafeReason": -2147483648,
                "reserved": 9, "memoryUsed": 4294967295, "totalRequests": "9007199254740992",
                "totalBytes": 9007199254740991, "elapsedMs": 3,
                "workload": {"requestsPerSecond": 2, "bytesPerSecond": 3},
                "statisticsSince": 1796000000000, "options": [0, 4294967295, 0, 1],
                "cacheTable": {"status": 0, "entries": [{"path": "\u00e9", "sizeBytes": 0,
                                                         "rating": 4}]},
                "setCacheTableStatus": 7, "fail": ["IOCTL_QUERY_VOLUME"]}})";
    sim::Machine machine;
    QString problem;
    ASSERT_TRUE(sim::parseMachine(text, machine, problem)) << problem.toStdString();
    sim::Machine again;
    ASSERT_TRUE(sim::parseMachine(sim::serializeMachine(machine), again, problem))
        << problem.toStdString();
    EXPECT_EQ(sim::serializeMachine(again), sim::serializeMachine(machine));
    EXPECT_EQ(again.sleepScale, 0.25);
    ASSERT_EQ(again.volumes.size(), 2u);
    EXPECT_FALSE(again.volumes[0].fileSystem.has_value());
    EXPECT_EQ(*again.volumes[1].freeBytes, 18446744073709551615u);
    EXPECT_EQ(*again.volumes[1].diskId, 4294967295u);
    EXPECT_FALSE(again.driver.loaded);
    EXPECT_EQ(again.driver.failsafeReason, -2147483647 - 1);
    EXPECT_EQ(again.driver.totalRequests, 9007199254740992u);
    EXPECT_EQ(again.driver.totalBytes, 9007199254740991u);
    EXPECT_EQ(again.driver.requestsPerSecond, 2u);
    EXPECT_EQ(*again.driver.statisticsSince, 1796000000000);
    EXPECT_EQ(again.driver.options[1], 4294967295u);
    EXPECT_EQ(again.driver.tableStatus, 0u);
    EXPECT_EQ(again.driver.tableEntries[0].path, QByteArray("\xe9"));
    EXPECT_EQ(*again.driver.setTableStatus, 7u);
    EXPECT_TRUE(again.driver.fails(IOCTL_QUERY_VOLUME));
    EXPECT_EQ(again.json.value(QStringLiteral("extra")).toArray().size(), 2);
    EXPECT_EQ(again.json.value(QStringLiteral("volumes"))
                  .toArray()
                  .at(0)
                  .toObject()
                  .value(QStringLiteral("note")),
              QJsonValue(QStringLiteral("x")));
}

TEST(MachineFile, DefaultsOfAShortFile) {
    sim::Machine machine;
    QString problem;
    ASSERT_TRUE(sim::parseMachine("{}", machine, problem));
    EXPECT_FALSE(machine.driver.present);
    EXPECT_FALSE(machine.driver.loaded) << "no driver object: no driver";
    ASSERT_TRUE(sim::parseMachine(R"({"driver": {}})", machine, problem));
    EXPECT_TRUE(machine.driver.loaded);
    EXPECT_EQ(machine.driver.state, 1u);
    EXPECT_FALSE(machine.driver.setTableStatus.has_value()) << "auto";
    EXPECT_EQ(machine.driver.cacheTable().status, 0u) << "no table: no valid answer";
    ASSERT_TRUE(sim::parseMachine(R"({"driver": {"cacheTable": {}}})", machine, problem));
    EXPECT_EQ(machine.driver.cacheTable().status, 1u);
}

} // namespace
} // namespace orvanta::testing
