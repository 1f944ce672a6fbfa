// The real executables on simulated machines, read back through the journal.
#include "core/cachetable.h"
#include "expectedtable.h"
#include "sim/simmachine.h"
#include "simmachine.h"

#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>

using orvanta::testing::expectedTable;

namespace {
const QByteArray machineJson = R"({
    "journal": true, "sleepScale": 0,
    "volumes": [
        {"letter": "C", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 107374182400,
         "diskId": 0, "rating": 600},
        {"letter": "D", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 214748364800,
         "diskId": 0, "rating": 700},
        {"letter": "E", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 53687091200,
         "diskId": 1, "rating": 100},
        {"letter": "F", "type": "fixed", "fileSystem": "FAT32", "freeBytes": 53687091200,
         "diskId": 2, "rating": 900}
    ],
    "driver": {"loaded": true, "state": 1, "options": [1, 0, 0, 1],
               "cacheTable": {"status": 1, "entries": [{"path": "F:\\", "sizeBytes": 1073741824}]}}
})";
const QString poll = QStringLiteral("PhysicalDrive0 IOCTL_GET_STATUS ok in=- out=40");
const QString openFailed = QStringLiteral("PhysicalDrive0 open failed");
constexpr int Timeout = 20000;

QString hex(const std::vector<std::uint8_t> &bytes) {
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size())).toHex());
}
} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void monitorPollsThroughFaults() {
        SimMachine machine;
        QVERIFY(machine.write(QStringLiteral("machine.json"), machineJson));
        // A settings file the monitor cannot read is left as it is.
        const QByteArray brokenSettings = "{\"Autostart\": 1,";
        QVERIFY(machine.write(QStringLiteral("registry.json"), brokenSettings));
        QProcess monitor;
        machine.start(monitor, monitorProgram(), {});
        QTRY_VERIFY_WITH_TIMEOUT(machine.journalCount(poll) >= 3, Timeout);
        const QStringList startUp = {
            "PhysicalDrive0 IOCTL_GET_CACHE_TABLE ok in=- out=2296", poll,
            "PhysicalDrive0 IOCTL_GET_OPTIONS ok in=- out=16",
            // Loading 1, 0, 0, 1 ticks two boxes: prefetcher first, then speculative.
            "PhysicalDrive0 IOCTL_SET_OPTIONS ok in=01000000000000000000000000000000 out=0",
            "PhysicalDrive0 IOCTL_SET_OPTIONS ok in=01000000000000000000000001000000 out=0"};
        QCOMPARE(machine.journal().mid(0, 5), startUp);

        // The driver goes away and comes back; polling goes on throughout.
        QCOMPARE(machine.run(simTool(), {"--root", machine.root(), "unload"}).exitCode, 0);
        QTRY_VERIFY_WITH_TIMEOUT(machine.journalCount(openFailed) >= 3, Timeout);
        QCOMPARE(machine.run(simTool(), {"--root", machine.root(), "load"}).exitCode, 0);
        int polls = machine.journalCount(poll);
        QTRY_VERIFY_WITH_TIMEOUT(machine.journalCount(poll) >= polls + 3, Timeout);

        // A machine file broken while the monitor runs reads as a bare machine, is said so once
        // and left alone until it is mended.
        QVERIFY(machine.write(QStringLiteral("machine.json"), machineJson.left(300)));
        QByteArray errors;
        QTRY_VERIFY_WITH_TIMEOUT(
            (errors += monitor.readAllStandardError()).contains("cannot be used"), Timeout);
        QTest::qWait(200);
        QCOMPARE(machine.read(QStringLiteral("machine.json")), machineJson.left(300));
        QVERIFY(machine.write(QStringLiteral("machine.json"), machineJson));
        polls = machine.journalCount(poll);
        QTRY_VERIFY_WITH_TIMEOUT(machine.journalCount(poll) >= polls + 3, Timeout);
        QCOMPARE(monitor.state(), QProcess::Running);
        monitor.kill();
        monitor.waitForFinished();

        // Nobody touched it: start-up, then polls only.
        for (const QString &line : machine.journal().mid(5))
            QVERIFY2(line == poll || line == openFailed, qPrintable(line));
        QCOMPARE(machine.read(QStringLiteral("registry.json")), brokenSettings);
    }

    void installSendsTheDefaultLayoutWithoutAScreen() {
        SimMachine machine;
        QVERIFY(machine.write(QStringLiteral("machine.json"), machineJson));
        QCOMPARE(machine.run(monitorProgram(), {"/hidden", "x", "/Install"}, false).exitCode, 0);
        // D: stands for disk 0 (freer than C:); weights 2 and 1 share 8 GB as 6 and 2.
        const QStringList expected = {
            "Sleep 5000", "C: IOCTL_QUERY_VOLUME ok in=- out=8",
            "D: IOCTL_QUERY_VOLUME ok in=- out=8", "E: IOCTL_QUERY_VOLUME ok in=- out=8",
            "PhysicalDrive0 IOCTL_SET_CACHE_TABLE ok in=" +
                hex(expectedTable({{"D:\\", 6, 700}, {"E:\\", 2, 100}})) + " out=2296"};
        QCOMPARE(machine.journal(), expected);
        QVERIFY(QFile::exists(machine.path(QStringLiteral("volumes/E/orvn#002.io"))));

        QVERIFY(machine.write(QStringLiteral("journal.log"), {}));
        QCOMPARE(machine.run(simTool(), {"--root", machine.root(), "unload"}).exitCode, 0);
        QCOMPARE(machine.run(monitorProgram(), {"/install"}, false).exitCode, 0);
        QCOMPARE(machine.journal().filter("IOCTL_QUERY_VOLUME failed").size(), 3);
        QCOMPARE(machine.journal().last(), openFailed);
        SimMachine bare;
        QCOMPARE(bare.run(monitorProgram(), {"/install"}, false).exitCode, 0);
    }

    // Monitors, install runs and orvanta-sim share one machine: machine.json is whole whenever
    // it is read, and the last table sent is the one in force.
    void programsShareOneMachine() {
        SimMachine machine;
        QVERIFY(machine.write(QStringLiteral("machine.json"), machineJson));
        std::atomic<bool> reading{true};
        std::atomic<int> reads{0}, badReads{0};
        std::thread reader([&] {
            while (reading) {
                orvanta::sim::Machine parsed;
                QString problem;
                if (!orvanta::sim::parseMachine(machine.read(QStringLiteral("machine.json")),
                                                parsed, problem))
                    ++badReads;
                ++reads;
            }
        });
        // Joined on every way out, a failed check included.
        const std::shared_ptr<void> join(nullptr, [&](void *) {
            reading = false;
            reader.join();
        });
        QProcess monitors[2];
        for (QProcess &monitor : monitors) {
            machine.start(monitor, monitorProgram(), {});
            QVERIFY(monitor.waitForStarted());
        }
        QElapsedTimer clock;
        clock.start();
        int installs = 0;
        const char *states[] = {"failsafe", "running"};
        while (clock.elapsed() < 4000) {
            QProcess install, tool;
            machine.start(install, monitorProgram(), {"/install"}, false);
            machine.start(tool, simTool(), {"state", states[installs % 2]}, false);
            QVERIFY(install.waitForFinished(Timeout) && install.exitCode() == 0);
            QVERIFY(tool.waitForFinished(Timeout) && tool.exitCode() == 0);
            ++installs;
        }
        for (QProcess &monitor : monitors) {
            QCOMPARE(monitor.state(), QProcess::Running);
            monitor.kill();
            monitor.waitForFinished();
        }
        QVERIFY(reads > 0);
        QCOMPARE(badReads.load(), 0);

        const QString lastSet = machine.journal().filter("IOCTL_SET_CACHE_TABLE").last();
        const QByteArray sent = QByteArray::fromHex(lastSet.section(' ', 3, 3).mid(3).toLatin1());
        QCOMPARE(sent.size(), 2296);
        orvanta::CacheTable table;
        std::memcpy(&table, sent.constData(), sizeof table);
        orvanta::sim::Machine stored;
        QString problem;
        QVERIFY(orvanta::sim::parseMachine(machine.read("machine.json"), stored, problem));
        QCOMPARE(stored.driver.state, installs % 2 ? 3u : 1u);
        QCOMPARE(int(stored.driver.tableEntries.size()), 2);
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(stored.driver.tableEntries[i].path.toStdString(),
                     orvanta::entryPath(table.entries[i]));
            QCOMPARE(stored.driver.tableEntries[i].sizeBytes, table.entries[i].sizeBytes);
        }
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
