// orvanta-sim does what its --help says, and what it changes is what the monitor then sees.
#include "simtestsupport.h"

#include "core/cachetable.h"
#include "core/driverchannel.h"
#include "core/records.h"
#include "sim/simmachine.h"
#include "sim/simulatedsystem.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

namespace orvanta::testing {
namespace {

struct ToolRun {
    int exitCode = -1;
    QString output;
    QString errors;
};

ToolRun runTool(const QStringList &arguments, const QString &simRoot = QString()) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (simRoot.isEmpty())
        environment.remove(QStringLiteral("ORVANTA_SIM_ROOT"));
    else
        environment.insert(QStringLiteral("ORVANTA_SIM_ROOT"), simRoot);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(ORVANTA_SIM_TOOL), arguments);
    ToolRun run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.output = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.errors = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

TEST(OrvantaSimTool, HelpNamesEveryCommand) {
    const ToolRun run = runTool({QStringLiteral("--help")});
    ASSERT_EQ(run.exitCode, 0);
    for (const char *word : {"--root", "ORVANTA_SIM_ROOT", "show", "state", "load", "unload",
                             "fail", "succeed", "journal", "table-status", "demo"})
        EXPECT_TRUE(run.output.contains(QLatin1String(word))) << word;
    EXPECT_EQ(runTool({QStringLiteral("frobnicate")}).exitCode, 2);
    EXPECT_EQ(runTool({QStringLiteral("--root")}).exitCode, 2);
}

TEST(OrvantaSimTool, ChangesWhatTheMonitorSees) {
    SimRoot sim;
    const QStringList root = {QStringLiteral("--root"), sim.root()};
    SimulatedSystem system(sim.root());
    DriverChannel channel(system);

    ToolRun run = runTool(root + QStringList{QStringLiteral("show")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.output.contains(QStringLiteral("bare machine")));

    ASSERT_EQ(runTool(root + QStringList{QStringLiteral("demo")}).exitCode, 0);
    run = runTool(root);
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    for (const char *text : {"C:", "D:", "FAT32", "removable", "Running", "orvn#001.io",
                             "prefetcher enabled on", "Failing requests: none"})
        EXPECT_TRUE(run.output.contains(QLatin1String(text))) << text << "\n"
                                                              << run.output.toStdString();

    ASSERT_EQ(runTool(root + QStringList{QStringLiteral("state"), QStringLiteral("failsafe"),
                                         QStringLiteral("-7")})
                  .exitCode,
              0);
    StatusRecord status{};
    ASSERT_TRUE(channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0));
    EXPECT_EQ(status.state, std::uint32_t(DriverState::Failsafe));
    EXPECT_EQ(status.failsafeReason, -7);
    ASSERT_EQ(runTool(root + QStringList{QStringLiteral("state"), QStringLiteral("9")}).exitCode,
              0);
    ASSERT_TRUE(channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0));
    EXPECT_EQ(status.state, 9u);
    EXPECT_EQ(status.failsafeReason, -7) << "the reason stays unless given";
    EXPECT_EQ(
        runTool(root + QStringList{QStringLiteral("state"), QStringLiteral("sleepy")}).exitCode, 2);

    ASSERT_EQ(runTool(root + QStringList{QStringLiteral("fail"), QStringLiteral("get-options"),
                                         QStringLiteral("IOCTL_QUERY_VOLUME")})
                  .exitCode,
              0);
    OptionsRecord options{};
    EXPECT_FALSE(channel.driverRequest(IOCTL_GET_OPTIONS, &options, sizeof options, nullptr, 0));
    VolumeQueryResult query{};
    EXPECT_FALSE(
        channel.deviceRequest(L"C:", IOCTL_QUERY_VOLUME, &query, sizeof query, nullptr, 0));
    ASSERT_EQ(runTool(root + QStringList{QStringLiteral("succeed"), QStringLiteral("GET_OPTIONS")})
                  .exitCode,
              0);
    EXPECT_TRUE(channel.driverRequest(IOCTL_GET_OPTIONS, &options, sizeof options, nullptr, 0));
    ASSERT_EQ(runTool(root + QStringList{QStringLiteral("fail"), QStringLiteral("all")}).exitCode,
              0);
    EXPECT_EQ(sim::MachineFile(sim.root()).read().machine->driver.failing.size(), 7u);
    ASSERT_EQ(
        runTool(root + QStringList{QStringLiteral("succeed"), QStringLiteral("all")}).exitCode, 0);
    EXPECT_TRUE(channel.deviceRequest(L"C:", IOCTL_QUERY_VOLUME, &query, sizeof query, nullptr, 0));
    EXPECT_EQ(
        runTool(root + QStringList{QStringLiteral("fail"), QStringLiteral("GET_NOTHING")}).exitCode,
        2);

    ASSERT_EQ(runTool(root + QStringList{QStringLiteral("unload")}).exitCode, 0);
    EXPECT_EQ(system.createFile(L"\\\\.\\PhysicalDrive0"), SystemApi::invalidHandle());
    EXPECT_TRUE(runTool(root).output.contains(QStringLiteral("not loaded")));
    ASSERT_EQ(runTool(root + QStringList{QStringLiteral("load")}).exitCode, 0);
    const SystemApi::Handle handle = system.createFile(L"\\\\.\\PhysicalDrive0");
    EXPECT_NE(handle, SystemApi::invalidHandle());
    system.closeHandle(handle);

    ASSERT_EQ(runTool(root + QStringList{QStringLiteral("journal"), QStringLiteral("on")}).exitCode,
              0);
    channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0);
    EXPECT_EQ(sim.journal(),
              QStringList{QStringLiteral("PhysicalDrive0 IOCTL_GET_STATUS ok in=- out=40")});
    ASSERT_EQ(
        runTool(root + QStringList{QStringLiteral("journal"), QStringLiteral("off")}).exitCode, 0);
    channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0);
    EXPECT_EQ(sim.journal().size(), 1);

    ASSERT_EQ(
        runTool(root + QStringList{QStringLiteral("table-status"), QStringLiteral("0")}).exitCode,
        0);
    CacheTable table = emptyCacheTable();
    ASSERT_TRUE(
        channel.driverRequest(IOCTL_SET_CACHE_TABLE, &table, sizeof table, &table, sizeof table));
    EXPECT_EQ(table.status, 0u);
    EXPECT_EQ(
        runTool(root + QStringList{QStringLiteral("table-status"), QStringLiteral("2")}).exitCode,
        2);
}

TEST(OrvantaSimTool, UsesTheEnvironmentAndLeavesABrokenFileAlone) {
    SimRoot sim;
    sim.writeMachine("{\"volumes\": [}");
    ToolRun run = runTool({QStringLiteral("show")}, sim.root());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errors.contains(QStringLiteral("machine.json"))) << run.errors.toStdString();
    run = runTool({QStringLiteral("unload")}, sim.root());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errors.contains(QStringLiteral("left as it is"))) << run.errors.toStdString();
    EXPECT_EQ(sim.machineText(), QByteArray("{\"volumes\": [}"));

    // On a bare machine, load makes a driver; the rest need one.
    QFile::remove(sim.path(QStringLiteral("machine.json")));
    EXPECT_EQ(runTool({QStringLiteral("state"), QStringLiteral("running")}, sim.root()).exitCode,
              1);
    ASSERT_EQ(runTool({QStringLiteral("load")}, sim.root()).exitCode, 0);
    SimulatedSystem system(sim.root());
    DriverChannel channel(system);
    StatusRecord status{};
    ASSERT_TRUE(channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0));
    EXPECT_EQ(status.state, std::uint32_t(DriverState::Running));
    EXPECT_EQ(system.driveType(L"C:\\"), SystemApi::DriveNoRootDir) << "still no volumes";
}

} // namespace
} // namespace orvanta::testing
