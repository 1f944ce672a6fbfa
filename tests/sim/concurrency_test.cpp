// Several monitors on one machine: processes (not threads) that send new layouts and read the
// table at the same time. machine.json must always parse, every answer must be one of the
// layouts sent, free space and cache files must stay in step, and journal lines stay whole.
#include "simtestsupport.h"

#include "core/cachetable.h"
#include "core/driverchannel.h"
#include "sim/simmachine.h"
#include "sim/simulatedsystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace orvanta::testing {
namespace {

constexpr int Writers = 4;
constexpr int Rounds = 25;
constexpr int ReaderRounds = 150;
constexpr std::uint64_t VolumeBytes = std::uint64_t(1) << 40;

CacheTable layoutOf(int writer) {
    CacheTable table = emptyCacheTable();
    appendEntry(table, "C:\\", writer + 1, 10);
    appendEntry(table, "D:\\", writer + 5, 20);
    return table;
}

// The writer whose layout this answer holds, or -1.
int writerOf(const CacheTable &answer) {
    for (int writer = 0; writer < Writers; ++writer) {
        CacheTable expected = layoutOf(writer);
        expected.status = 1;
        if (std::memcmp(&expected, &answer, sizeof answer) == 0)
            return writer;
    }
    return -1;
}

int runWriter(const QString &root, int writer) {
    SimulatedSystem system(root);
    DriverChannel channel(system);
    for (int round = 0; round < Rounds; ++round) {
        CacheTable table = layoutOf(writer);
        if (!channel.driverRequest(IOCTL_SET_CACHE_TABLE, &table, sizeof table, &table,
                                   sizeof table))
            return 10;
        if (table.status != 1)
            return 11;
        table = emptyCacheTable();
        if (!channel.driverRequest(IOCTL_GET_CACHE_TABLE, &table, sizeof table, nullptr, 0))
            return 12;
        if (writerOf(table) < 0)
            return 13;
    }
    return 0;
}

int runReader(const QString &root) {
    SimulatedSystem system(root);
    DriverChannel channel(system);
    for (int round = 0; round < ReaderRounds; ++round) {
        QFile file(root + QStringLiteral("/machine.json"));
        if (!file.open(QIODevice::ReadOnly))
            return 20;
        sim::Machine machine;
        QString problem;
        if (!sim::parseMachine(file.readAll(), machine, problem))
            return 21;
        CacheTable table = emptyCacheTable();
        if (!channel.driverRequest(IOCTL_GET_CACHE_TABLE, &table, sizeof table, nullptr, 0))
            return 22;
        if (writerOf(table) < 0)
            return 23;
    }
    return 0;
}

std::uint64_t cacheFileBytes(const SimRoot &sim, char letter) {
    std::uint64_t total = 0;
    const QDir folder(sim.path(QStringLiteral("volumes/") + QLatin1Char(letter)));
    for (const QFileInfo &info : folder.entryInfoList({QStringLiteral("orvn#*.io")}, QDir::Files))
        total += std::uint64_t(info.size());
    return total;
}

TEST(SimulatedConcurrency, ProcessesSharingOneMachine) {
    SimRoot sim;
    const QByteArray machineJson = R"({"journal": true,
        "volumes": [
            {"letter": "C", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 1099511627776},
            {"letter": "D", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 1099511627776}],
        "driver": {"cacheTable": {"status": 1, "entries": [
            {"path": "C:\\", "sizeBytes": 1073741824, "rating": 10},
            {"path": "D:\\", "sizeBytes": 5368709120, "rating": 20}]}}})";
    sim.writeMachine(machineJson);

    std::fflush(nullptr); // nothing buffered may be written twice
    std::vector<pid_t> children;
    for (int child = 0; child < Writers + 2; ++child) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0)
            _exit(child < Writers ? runWriter(sim.root(), child) : runReader(sim.root()));
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "child " << pid;
    }

    sim::Machine machine;
    QString problem;
    ASSERT_TRUE(sim::parseMachine(sim.machineText(), machine, problem)) << problem.toStdString();
    const int last = writerOf(machine.driver.cacheTable());
    ASSERT_GE(last, 0) << "the table is one of those sent";
    for (char letter : {'C', 'D'}) {
        const std::uint64_t files = cacheFileBytes(sim, letter);
        EXPECT_EQ(*machine.volume(letter)->freeBytes + files, VolumeBytes) << letter;
    }
    EXPECT_EQ(sim.sizeOf(QStringLiteral("volumes/C/orvn#001.io")), qint64(last + 1) * qint64(GiB));
    EXPECT_EQ(sim.sizeOf(QStringLiteral("volumes/D/orvn#002.io")), qint64(last + 5) * qint64(GiB));

    const QStringList journal = sim.journal();
    EXPECT_EQ(journal.size(), 2 * Writers * Rounds + 2 * ReaderRounds);
    const QRegularExpression line(QStringLiteral(
        "^PhysicalDrive0 (IOCTL_SET_CACHE_TABLE ok in=[0-9a-f]{4592}|IOCTL_GET_CACHE_TABLE ok "
        "in=-) out=2296$"));
    for (const QString &entry : journal)
        ASSERT_TRUE(line.match(entry).hasMatch()) << entry.left(120).toStdString();
}

} // namespace
} // namespace orvanta::testing
