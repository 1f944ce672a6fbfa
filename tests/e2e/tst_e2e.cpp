// The real executables on simulated machines, read back through the journal.
#include "core/cachetable.h"
#include "recordingsystem.h"
#include "sim/simmachine.h"
#include "tempmachine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QtTest>

#include <atomic>
#include <thread>

namespace {
const QByteArray machineJson = R"({"journal": true, "sleepScale": 0, "volumes": [
  {"letter": "C", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 10737418240, "diskId": 0, "rating": 600},
  {"letter": "D", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 214748364800, "diskId": 0, "rating": 700},
  {"letter": "E", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 53687091200, "diskId": 1, "rating": 100},
  {"letter": "F", "type": "fixed", "fileSystem": "FAT32", "freeBytes": 5368709120, "diskId": 2}],
  "driver": {"loaded": true, "state": 1, "elapsedMs": 1999, "options": [1, 0, 0, 1],
             "cacheTable": {"status": 1, "entries": [{"path": "F:\\", "sizeBytes": 1073741824}]}}})";
const QString poll = QStringLiteral("PhysicalDrive0 IOCTL_GET_STATUS ok in=- out=40");
const QString openFailed = QStringLiteral("PhysicalDrive0 open failed");
const QString machineFile = QStringLiteral("machine.json");
constexpr int Timeout = 20000;

// A whole cache table as the journal writes it.
QByteArray hex(const std::vector<std::uint8_t> &table) {
    return QByteArray(reinterpret_cast<const char *>(table.data()), 2296).toHex();
}
} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void monitorPollsThroughFaults() {
        SimMachine machine;
        const QByteArray brokenSettings = "{\"Autostart\": 1,";
        QVERIFY(machine.write(machineFile, machineJson));
        QVERIFY(machine.write(QStringLiteral("registry.json"), brokenSettings));
        QProcess monitor;
        machine.start(monitor, monitorProgram(), {});
        QTRY_VERIFY_WITH_TIMEOUT(machine.journal().count(poll) >= 3, Timeout);
        // Loading the options shows them and sends nothing back.
        const QStringList startUp = {"PhysicalDrive0 IOCTL_GET_CACHE_TABLE ok in=- out=2296", poll,
                                     "PhysicalDrive0 IOCTL_GET_OPTIONS ok in=- out=16"};
        QCOMPARE(machine.journal().mid(0, 3), startUp);

        // The driver goes and comes back; a machine file broken meanwhile reads as a bare
        // machine, which the monitor says. Polling goes on throughout.
        QCOMPARE(machine.run(simTool(), {"unload"}), 0);
        QTRY_VERIFY_WITH_TIMEOUT(machine.journal().count(openFailed) >= 3, Timeout);
        QVERIFY(machine.write(machineFile, machineJson.left(300)));
        QByteArray errors;
        QTRY_VERIFY_WITH_TIMEOUT(
            (errors += monitor.readAllStandardError()).contains("cannot be used"), Timeout);
        QTest::qWait(2500); // the file settles and is polled on: the monitor says it once
        QCOMPARE((errors += monitor.readAllStandardError()).count("cannot be used"), 1);
        QVERIFY2(!errors.contains("cannot write"), errors.constData()); // the journal is whole
        QVERIFY(machine.write(machineFile, machineJson));
        const int polls = machine.journal().count(poll);
        QTRY_VERIFY_WITH_TIMEOUT(machine.journal().count(poll) >= polls + 3, Timeout);
        QCOMPARE(monitor.state(), QProcess::Running);
        monitor.kill();
        monitor.waitForFinished();
        // Nobody touched it: start-up, then polls only; the settings file is as it was.
        for (const QString &line : machine.journal().mid(3))
            QVERIFY2(line == poll || line == openFailed, qPrintable(line));
        QCOMPARE(machine.read(QStringLiteral("registry.json")), brokenSettings);
    }

    void installSendsTheDefaultLayoutWithoutAScreen() {
        SimMachine machine;
        QVERIFY(machine.write(machineFile, machineJson));
        QCOMPARE(machine.run(monitorProgram(), {"/hidden", "x", "/Install"}), 0);
        // D: stands for disk 0, being freer than C:; weights 2 and 1 share 8 GB as 6 and 2.
        const std::vector<std::uint8_t> table =
            orvanta::testing::expectedTable({{"D:\\", 6, 700}, {"E:\\", 2, 100}});
        const QStringList expected = {
            "Sleep 5000", "C: IOCTL_QUERY_VOLUME ok in=- out=8",
            "D: IOCTL_QUERY_VOLUME ok in=- out=8", "E: IOCTL_QUERY_VOLUME ok in=- out=8",
            "PhysicalDrive0 IOCTL_SET_CACHE_TABLE ok in=" + hex(table) + " out=2296"};
        QCOMPARE(machine.journal(), expected);

        QString errors; // a bare machine: nothing sent, and said
        QCOMPARE(SimMachine().run(monitorProgram(), {"/install"}, nullptr, &errors), 0);
        QVERIFY(errors.contains("the default cache layout was not sent"));
    }

    // orvanta-ctl: the exact requests of options, layout set and suggest (the table /install
    // sends), nothing sent for a command it refuses, its JSON, and results that cannot be
    // written failing as a script sees it. Its rates across a clear and a failure are ctl_test's.
    void controlToolSendsWhatItSays() {
        SimMachine machine;
        QVERIFY(machine.write(machineFile, machineJson));
        QString out;
        const auto journalAfter = [&](const QStringList &arguments, int expectedCode) {
            QVERIFY(machine.write(QStringLiteral("journal.log"), {}));
            QCOMPARE(machine.run(ctlProgram(), arguments, &out), expectedCode);
        };
        const QString getOptions = "PhysicalDrive0 IOCTL_GET_OPTIONS ok in=- out=16";
        const QString getTable = "PhysicalDrive0 IOCTL_GET_CACHE_TABLE ok in=- out=2296";
        journalAfter({"options", "save-memory=on", "prefetcher=off"}, 0);
        QCOMPARE(
            machine.journal(),
            QStringList(
                {getOptions,
                 "PhysicalDrive0 IOCTL_SET_OPTIONS ok in=00000000010000000000000001000000 out=0",
                 getOptions}));
        QCOMPARE(machine.run(simTool(), {"fail", "set-options"}), 0);
        QString errors; // refused: said, exit code 1
        QCOMPARE(machine.run(ctlProgram(), {"options", "disable-write-cache=on"}, &out, &errors),
                 1);
        QVERIFY(errors.startsWith("orvanta-ctl: options: disable-write-cache was not taken: the "
                                  "driver holds off\n"));
        QCOMPARE(machine.run(simTool(), {"succeed", "all"}), 0);
        for (const QStringList &refused : {QStringList{"options", "turbo=on"},
                                           {"watch", "--count"},
                                           {"watch", "--interval", "0.01", "--count", "a"},
                                           {"watch", "--interval", "1x"},
                                           {"options", "prefetcher=on", "prefetcher=off"},
                                           {"layout", "set", "C:=9", "--yes"},
                                           {"layout", "set", "F:=1", "--yes"},
                                           {"layout", "set", "E:=17", "--yes"},
                                           {"layout", "set", "E:=4", "E:=4"},
                                           {"status", "--frob", "x"},
                                           {"status", "--output"}}) {
            journalAfter(refused, 2);
            QVERIFY2(!machine.journal().join(' ').contains("SET"), qPrintable(refused.join(' ')));
        }
        // 2 GB of C:'s 10 left free, as the Caches tab's pull-back leaves them.
        QCOMPARE(machine.run(ctlProgram(), {"layout", "set", "C:=8"}), 0);
        // The Caches tab's table, from the layout read again under the writers' lock: every
        // eligible volume in order, then the driver's entry for F:, which has no row, as it was
        // (this driver cannot keep it on FAT32: exit code 1).
        journalAfter({"layout", "set", "e:=3", "--yes"}, 1);
        QCOMPARE(machine.journal(),
                 QStringList(
                     {getTable, getTable, "E: IOCTL_QUERY_VOLUME ok in=- out=8",
                      "PhysicalDrive0 IOCTL_SET_CACHE_TABLE ok in=" +
                          hex(orvanta::testing::expectedTable(
                              {{"C:\\", 0, 0}, {"D:\\", 0, 0}, {"E:\\", 3, 100}, {"F:\\", 1, 0}})) +
                          " out=2296",
                      getTable}));
        QCOMPARE(machine.run(ctlProgram(), {"layout", "set", "D:=6", "--yes"}), 0);
        journalAfter({"layout", "set", "E:=3", "--yes"}, 0); // nothing changes: nothing sent
        QCOMPARE(machine.journal().join(' ').contains("SET"), false);
        journalAfter({"layout", "set", "E:=4", "--yes"}, 0);
        QVERIFY2(out.startsWith("E: 3 GB -> 4 GB (46 GB free left)\n") &&
                     out.contains("\nD: 6 GB sent, 6 GB held\n"),
                 qPrintable(out));
        QCOMPARE(machine.journal()[3],
                 "PhysicalDrive0 IOCTL_SET_CACHE_TABLE ok in=" +
                     hex(orvanta::testing::expectedTable(
                         {{"C:\\", 0, 0}, {"D:\\", 6, 700}, {"E:\\", 4, 100}})) +
                     " out=2296");
        // Nothing to suggest when the volumes cannot be asked: said, nothing sent, exit code 1.
        QCOMPARE(machine.run(simTool(), {"fail", "query-volume"}), 0);
        journalAfter({"layout", "suggest", "--yes"}, 1);
        QVERIFY(!machine.journal().join(' ').contains("SET"));
        QCOMPARE(machine.run(simTool(), {"succeed", "all"}), 0);
        journalAfter({"layout", "suggest", "--yes"}, 0);
        QCOMPARE(
            machine.journal().mid(5, 1),
            QStringList("PhysicalDrive0 IOCTL_SET_CACHE_TABLE ok in=" +
                        hex(orvanta::testing::expectedTable({{"D:\\", 6, 700}, {"E:\\", 2, 100}})) +
                        " out=2296"));

        QCOMPARE(machine.run(ctlProgram(), {"status", "--json"}, &out), 0);
        const QJsonObject status = QJsonDocument::fromJson(out.toUtf8()).object();
        QCOMPARE(status["state"].toString(), QStringLiteral("Running"));
        QVERIFY(status["options"].toObject()["save-memory"].toBool());
        // Half an answer is shown as far as it goes, and still ends with exit code 1.
        for (const char *half : {"get-options", "get-status"}) {
            QCOMPARE(machine.run(simTool(), {"fail", half}), 0);
            QCOMPARE(machine.run(ctlProgram(), {"status"}, &out), 1);
            QVERIFY2(out.startsWith("State: Running\n") != out.startsWith("Options: "),
                     qPrintable(out));
            QCOMPARE(machine.run(simTool(), {"succeed", "all"}), 0);
        }
        QCOMPARE(machine.run(ctlProgram(), {"status", "--metrics"}, &out), 0);
        for (const char *metric : {"driver_state 1", "failsafe_reason 0", "memory_used_bytes 0",
                                   "requests_total ", "bytes_total ", "statistics_seconds 1.999\n"})
            QVERIFY2(out.contains(QStringLiteral("\norvanta_") + metric), metric);
        // Results that never reach their file are a failure a script sees: a change the driver
        // took, an endless watch, the help.
        for (const QStringList &arguments : {QStringList{"layout", "set", "E:=3", "--yes"},
                                             {"watch", "--interval", "0.05"},
                                             {"--help"}}) {
            QProcess full;
            full.setStandardOutputFile(QStringLiteral("/dev/full"));
            machine.start(full, ctlProgram(), arguments, false);
            QVERIFY(full.waitForFinished(Timeout));
            QCOMPARE(full.exitCode(), 1);
        }
        QProcess pipe; // a reader gone is no death by SIGPIPE
        machine.start(pipe, QStringLiteral("/bin/bash"),
                      {"-c", R"("$0" watch --interval 0.05 | head -c1; echo " ${PIPESTATUS[0]}")",
                       ctlProgram()},
                      false);
        QVERIFY(pipe.waitForFinished(Timeout));
        QVERIFY(pipe.readAllStandardOutput().endsWith(" 1\n") &&
                pipe.readAllStandardError().contains("could not be written"));
        QCOMPARE(machine.run(ctlProgram(), {"layout", "--json"}, &out), 0);
        const QJsonArray listed = QJsonDocument::fromJson(out.toUtf8()).array();
        QVERIFY(listed.size() == 3 && listed[2].toObject()["volume"] == "E:"); // C:, D:, E:
        journalAfter({"layout", "suggest"}, 0); // a preview sends nothing
        QVERIFY(!machine.journal().join(' ').contains("SET"));
        QCOMPARE(machine.run(simTool(), {"table-status", "0"}), 0);
        // not enabled: said, and exit code 1
        QCOMPARE(machine.run(ctlProgram(), {"layout", "set", "E:=4", "--yes"}, &out, &errors), 1);
        QVERIFY(errors.contains("did not enable every cache"));
        QCOMPARE(machine.run(simTool(), {"table-status", "auto"}), 0); // the driver judges again
        QCOMPARE(machine.run(ctlProgram(), {"layout", "set", "E:=5", "--yes"}), 0);

        // What the installer asks before it sends the default layout: a cache anywhere, even
        // on a volume that has no row, is a layout; an answer with status 0 is none.
        QCOMPARE(machine.run(ctlProgram(), {"layout", "in-force"}), 0);
        QVERIFY(machine.write(machineFile,
                              QByteArray(machineJson).replace("\"status\": 1", "\"status\": 0")));
        QCOMPARE(machine.run(ctlProgram(), {"layout", "in-force"}), 3);
    }

    // Files for a text-file collector: always whole while written over and over, and a file that
    // cannot be written is an exit code 1 that leaves nothing behind.
    void metricsFilesAreWhole() {
        SimMachine machine;
        QVERIFY(machine.write(machineFile, machineJson));
        QString metrics;
        QCOMPARE(machine.run(ctlProgram(), {"status", "--metrics"}, &metrics), 0);
        const QString file = machine.path(QStringLiteral("orvanta.prom"));
        std::atomic<bool> reading{true};
        std::atomic<int> wholeReads{0}, badReads{0};
        std::thread reader([&] {
            for (bool seen = false; reading;) { // once there, never empty or cut short
                const QByteArray read = machine.read(QStringLiteral("orvanta.prom"));
                seen = seen || !read.isEmpty();
                if (seen)
                    ++(read.endsWith("{option=\"disable-speculative\"} 1\n") ? wholeReads
                                                                             : badReads);
            }
        });
        QCOMPARE(machine.run(ctlProgram(), {"watch", "--interval", "0.01", "--count", "200",
                                            "--metrics-file", file}),
                 0);
        reading = false;
        reader.join();
        QVERIFY(wholeReads > 0 && badReads == 0);
        QCOMPARE(machine.read(QStringLiteral("orvanta.prom")), metrics.toUtf8());
        QVERIFY(QFile::remove(file));
        QCOMPARE(machine.run(ctlProgram(), {"status", "--metrics", "--output", file}), 0);
        QCOMPARE(machine.read(QStringLiteral("orvanta.prom")), metrics.toUtf8());

        QVERIFY(QDir(machine.root()).mkdir(QStringLiteral("taken.prom")));
        const QString taken = machine.path(QStringLiteral("taken.prom"));
        QCOMPARE(machine.run(ctlProgram(), {"status", "--json", "--output", taken}), 1);
        QCOMPARE(machine.run(ctlProgram(), {"status", "--output", taken + "/none/x.prom"}), 1);
        QString errors; // said once, however often the file cannot be written
        QCOMPARE(
            machine.run(ctlProgram(),
                        {"watch", "--count", "3", "--interval", "0.01", "--metrics-file", taken},
                        nullptr, &errors),
            1);
        QCOMPARE(errors.count("could not be written"), 1);
        QCOMPARE(QDir(machine.root()).entryList({"taken.prom?*"}, QDir::AllEntries | QDir::Hidden),
                 QStringList());
    }

    // A change sends what it did not mean to change as the driver holds it, a size below whole GB
    // said as such (the bytes are the window test's, through the same core), a replacement names
    // each cache it drops, and a writer that cannot have the writers' lock sends nothing.
    void writersCarryWhatTheyDoNotChange() {
        SimMachine machine;
        QVERIFY(machine.write(
            machineFile, QByteArray(machineJson)
                             .replace(R"({"path": "F:\\", "sizeBytes": 1073741824})",
                                      R"({"path": "D:\\", "sizeBytes": 6442450944, "rating": 700},
                                              {"path": "d:\\", "sizeBytes": 1073741824, "rating": 4},
                                              {"path": "E:\\", "sizeBytes": 2684354560, "rating": 180})")));
        QCOMPARE(machine.run(simTool(), {"fail", "query-volume"}), 0);
        QString out;
        QCOMPARE(machine.run(ctlProgram(), {"layout", "set", "C:=3", "--yes"}, &out), 0);
        QVERIFY2(out.contains("\nE: 2.50 GB sent, 2.50 GB held\n"), qPrintable(out));
        QCOMPARE(machine.run(simTool(), {"succeed", "all"}), 0);
        QCOMPARE(machine.run(ctlProgram(), {"layout", "suggest"}, &out), 0);
        QVERIFY2(out.contains("\nE: 2.50 GB -> 2 GB (rating 100)\n") &&
                     out.contains("\nC: 3 GB -> dropped\n"),
                 qPrintable(out));
        QCOMPARE(machine.run(ctlProgram(), {"layout", "suggest", "--yes"}, &out), 0);
        QVERIFY2(out.contains("\nC: 3 GB dropped, 0 GB held\n"), qPrintable(out));

        QLockFile otherWriter(machine.path(QStringLiteral("writers.lock")));
        QVERIFY(otherWriter.tryLock(0));
        QVERIFY(machine.write(QStringLiteral("journal.log"), {}));
        QCOMPARE(machine.run(ctlProgram(), {"layout"}), 0); // a reader does not wait
        QString errors;
        QCOMPARE(machine.run(ctlProgram(), {"layout", "set", "E:=4", "--yes"}, &out, &errors), 1);
        QVERIFY(errors.contains(
            "another program is changing the driver's settings and did not finish within 5 s"));
        QVERIFY(!machine.journal().join(' ').contains("SET"));
    }

    // Writers in processes of their own share one machine: a monitor starting, an install run,
    // and seven orvanta-sim runs each adding a failing code. No write is lost, and machine.json
    // is whole whenever a reader looks.
    void writersShareOneMachine() {
        SimMachine machine;
        QVERIFY(machine.write(machineFile, machineJson));
        std::atomic<bool> reading{true};
        std::atomic<int> badReads{0};
        std::thread reader([&] {
            for (orvanta::sim::Machine parsed; reading;) {
                QString problem;
                badReads += !orvanta::sim::parseMachine(machine.read(machineFile), parsed, problem);
            }
        });
        QProcess monitor, install, tools[7];
        machine.start(monitor, monitorProgram(), {});
        machine.start(install, monitorProgram(), {"/install"}, false);
        const char *codes[] = {"get-status",      "clear-statistics", "set-options", "get-options",
                               "get-cache-table", "set-cache-table",  "query-volume"};
        for (int i = 0; i < 7; ++i)
            machine.start(tools[i], simTool(), {"fail", codes[i]}, false);
        for (QProcess &tool : tools)
            QVERIFY(tool.waitForFinished(Timeout) && tool.exitCode() == 0);
        QVERIFY(install.waitForFinished(Timeout) && install.exitCode() == 0);
        monitor.kill();
        monitor.waitForFinished();
        reading = false;
        reader.join();
        QCOMPARE(badReads.load(), 0);
        orvanta::sim::Machine stored;
        QString problem;
        QVERIFY(orvanta::sim::parseMachine(machine.read(machineFile), stored, problem));
        QCOMPARE(int(stored.driver.failing.size()), 7);
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
