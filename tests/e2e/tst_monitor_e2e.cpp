// The real executable on a simulated machine, read back through the journal.
#include "e2esupport.h"

#include <QtTest>

class TestMonitorEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void pollsStatusAndLoadsOptions() {
        SimulatedMachine machine;
        QVERIFY(machine.isValid());
        QVERIFY(machine.writeMachine(R"({
            "journal": true,
            "volumes": [],
            "driver": {"loaded": true, "state": 1, "memoryUsed": 52428800,
                       "options": [1, 0, 0, 1],
                       "cacheTable": {"status": 1, "entries": []}}
        })"));
        QProcess monitor;
        machine.start(monitor, {});
        QVERIFY(monitor.waitForStarted());
        // 40 refreshes a second: a second of polling leaves plenty of lines.
        QTRY_VERIFY_WITH_TIMEOUT(
            machine.journalLines(QStringLiteral("PhysicalDrive0 IOCTL_GET_STATUS ok")).size() >= 10,
            10000);
        monitor.kill();
        monitor.waitForFinished();

        const QStringList journal = machine.journal();
        QVERIFY(journal.contains(QStringLiteral("PhysicalDrive0 IOCTL_GET_STATUS ok in=- out=40")));
        QVERIFY(
            journal.contains(QStringLiteral("PhysicalDrive0 IOCTL_GET_OPTIONS ok in=- out=16")));
        // Loading 1, 0, 0, 1 ticks two boxes: prefetcher first, then speculative.
        const QStringList sets = machine.journalLines(QStringLiteral("IOCTL_SET_OPTIONS"));
        const QStringList expected = {
            "PhysicalDrive0 IOCTL_SET_OPTIONS ok in=01000000000000000000000000000000 out=0",
            "PhysicalDrive0 IOCTL_SET_OPTIONS ok in=01000000000000000000000001000000 out=0"};
        QCOMPARE(sets, expected);
        QCOMPARE(machine.journalLines(QStringLiteral("IOCTL_CLEAR_STATISTICS")).size(), 0);
    }

    void noDriverStillRunsAndExitsZero() {
        SimulatedMachine machine;
        QVERIFY(machine.writeMachine(R"({"journal": true, "driver": {"loaded": false}})"));
        QProcess monitor;
        machine.start(monitor, {QStringLiteral("/hidden")});
        QVERIFY(monitor.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(
            machine.journalLines(QStringLiteral("PhysicalDrive0 open failed")).size() >= 5, 10000);
        QVERIFY(machine.journalLines(QStringLiteral("IOCTL")).isEmpty());
        QCOMPARE(monitor.state(), QProcess::Running);
        monitor.kill();
        monitor.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestMonitorEndToEnd)
#include "tst_monitor_e2e.moc"
