// Three monitors and two lanes of "/install" runs share one simulated machine for 30 seconds
// (ORVANTA_CONCURRENCY_SECONDS), all real processes; each monitor is killed and started again
// every few seconds, so its start-up writes land at random moments and a killed writer may leave
// its lock behind. Meanwhile a reader parses machine.json without pause.
//
// machine.json must parse at every moment; at the end its cache table must be one of the tables
// the journal shows were sent (the driver is told to keep every entry, and keeps those with a
// size), its options one of the option records sent, every volume's free bytes and cache files
// must add up to what the volume had, and every journal line must be whole.
#include "e2esupport.h"

#include "core/cachetable.h"
#include "sim/simmachine.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

using namespace orvanta;

namespace {

constexpr std::uint64_t GB = std::uint64_t(1) << 30;

// Little free space, so that the cache files of one layout change the next one: the layouts
// sent differ from run to run. The driver keeps every entry it is sent ("setCacheTableStatus": 1).
const QByteArray machineJson = R"({
    "journal": true,
    "sleepScale": 0.001,
    "volumes": [
        {"letter": "C", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 7516192768,
         "diskId": 0, "rating": 600},
        {"letter": "D", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 5368709120,
         "diskId": 1, "rating": 100},
        {"letter": "E", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 12884901888,
         "diskId": 2, "rating": 300}
    ],
    "driver": {"loaded": true, "state": 1, "options": [1, 0, 1, 0],
               "workload": {"requestsPerSecond": 900, "bytesPerSecond": 40000000},
               "statisticsSince": 0, "setCacheTableStatus": 1,
               "cacheTable": {"status": 1, "entries": [
                   {"path": "Q:\\", "sizeBytes": 1073741824, "rating": 1}]}}
})";
const std::uint64_t volumeBytes[] = {7 * GB, 5 * GB, 12 * GB};
const char letters[] = {'C', 'D', 'E'};

constexpr int MonitorCount = 3;
constexpr int InstallLanes = 2;
constexpr int MonitorLifeMs = 4000;

int runSeconds() {
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("ORVANTA_CONCURRENCY_SECONDS", &ok);
    return ok && seconds > 0 ? seconds : 30;
}

std::vector<sim::TableEntry> keptEntries(const QByteArray &table) {
    CacheTable sent;
    std::memcpy(&sent, table.constData(), sizeof sent);
    std::vector<sim::TableEntry> kept;
    for (const CacheEntry &entry : sent.entries)
        if (entry.sizeBytes > 0) {
            const std::string path = entryPath(entry);
            kept.push_back(
                {QByteArray(path.data(), int(path.size())), entry.sizeBytes, entry.rating});
        }
    return kept;
}

bool sameEntries(const std::vector<sim::TableEntry> &a, const std::vector<sim::TableEntry> &b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].path != b[i].path || a[i].sizeBytes != b[i].sizeBytes ||
            a[i].rating != b[i].rating)
            return false;
    return true;
}

} // namespace

class TestConcurrencyEndToEnd : public QObject {
    Q_OBJECT

    // A monitor that ends before it is stopped is counted in `ended`.
    void startMonitor(QProcess &monitor, int &ended) {
        connect(&monitor, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
                [&ended] { ++ended; });
        monitor.start(monitorExecutable(), QStringList());
    }
    // Killed on purpose: its end is not counted as a monitor that ended by itself.
    void stopMonitor(QProcess &monitor) {
        monitor.disconnect(this);
        monitor.kill();
        monitor.waitForFinished();
    }

private slots:
    void monitorsAndInstallsShareOneMachine() {
        SimulatedMachine machine;
        QVERIFY(machine.isValid());
        QVERIFY(machine.writeMachine(machineJson));
        const QString machinePath = machine.path(QStringLiteral("machine.json"));

        // The reader: machine.json must be whole and valid whenever it is looked at.
        std::atomic<bool> reading{true};
        std::atomic<long> reads{0};
        std::atomic<long> badReads{0};
        QString firstProblem;
        std::thread reader([&] {
            while (reading) {
                QFile file(machinePath);
                sim::Machine parsed;
                QString problem;
                if (!file.open(QIODevice::ReadOnly) ||
                    !sim::parseMachine(file.readAll(), parsed, problem)) {
                    if (badReads++ == 0)
                        firstProblem = problem.isEmpty() ? file.errorString() : problem;
                }
                ++reads;
            }
        });
        // Joined on every way out of the test, a failed check included.
        auto stopReader = std::shared_ptr<void>(nullptr, [&](void *) {
            reading = false;
            reader.join();
        });

        QElapsedTimer clock;
        clock.start();
        const qint64 endMs = qint64(runSeconds()) * 1000;
        int installRuns = 0;
        int installFailures = 0;
        int monitorStarts = 0;
        int monitorsEnded = 0; // monitors that ended by themselves

        std::vector<std::unique_ptr<QProcess>> installs;
        for (int lane = 0; lane < InstallLanes; ++lane) {
            installs.push_back(std::make_unique<QProcess>());
            QProcess *install = installs.back().get();
            install->setProcessEnvironment(machine.environment(SimulatedMachine::Screen::Headless));
            install->setProcessChannelMode(QProcess::ForwardedChannels);
            connect(install, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
                    [&, install](int code, QProcess::ExitStatus status) {
                        ++installRuns;
                        if (status != QProcess::NormalExit || code != 0)
                            ++installFailures;
                        if (clock.elapsed() < endMs)
                            install->start(monitorExecutable(), {QStringLiteral("/install")});
                    });
            install->start(monitorExecutable(), {QStringLiteral("/install")});
        }

        std::vector<std::unique_ptr<QProcess>> monitors;
        std::vector<qint64> startedAt;
        for (int n = 0; n < MonitorCount; ++n) {
            monitors.push_back(std::make_unique<QProcess>());
            QProcess *monitor = monitors.back().get();
            monitor->setProcessEnvironment(machine.environment());
            monitor->setProcessChannelMode(QProcess::ForwardedChannels);
            startMonitor(*monitor, monitorsEnded);
            startedAt.push_back(clock.elapsed() - n * MonitorLifeMs / MonitorCount);
            ++monitorStarts;
        }

        while (clock.elapsed() < endMs) {
            QTest::qWait(100);
            for (int n = 0; n < MonitorCount; ++n) {
                if (clock.elapsed() - startedAt[std::size_t(n)] < MonitorLifeMs ||
                    clock.elapsed() + 1000 > endMs)
                    continue;
                QProcess *monitor = monitors[std::size_t(n)].get();
                // Killed while it may be writing: it was running until now.
                QCOMPARE(monitor->state(), QProcess::Running);
                stopMonitor(*monitor);
                startMonitor(*monitor, monitorsEnded);
                startedAt[std::size_t(n)] = clock.elapsed();
                ++monitorStarts;
            }
        }
        for (auto &install : installs)
            QVERIFY(install->state() == QProcess::NotRunning || install->waitForFinished(30000));
        for (auto &monitor : monitors) {
            QCOMPARE(monitor->state(), QProcess::Running);
            stopMonitor(*monitor);
        }
        stopReader.reset();

        const QStringList journal = machine.journal();
        const QStringList sets = journal.filter(QStringLiteral("IOCTL_SET_CACHE_TABLE"));
        const QStringList optionSets = journal.filter(QStringLiteral("IOCTL_SET_OPTIONS"));
        qInfo("%d s: %d /install runs, %d monitor starts, %ld reads of machine.json, "
              "%d tables and %d option records sent, %d journal lines",
              runSeconds(), installRuns, monitorStarts, long(reads), int(sets.size()),
              int(optionSets.size()), int(journal.size()));

        QCOMPARE(long(badReads), 0L);
        QVERIFY2(firstProblem.isEmpty(), qPrintable(firstProblem));
        QVERIFY(reads > 0);
        QCOMPARE(installFailures, 0);
        QCOMPARE(monitorsEnded, 0);
        QVERIFY(installRuns > 0);

        // Every line whole and of a kind these processes send, every request carried out.
        const QRegularExpression line(QStringLiteral(
            "^(PhysicalDrive0 (IOCTL_GET_STATUS ok in=- out=40|IOCTL_GET_CACHE_TABLE ok in=- "
            "out=2296|IOCTL_GET_OPTIONS ok in=- out=16|IOCTL_SET_OPTIONS ok in=[0-9a-f]{32} "
            "out=0|IOCTL_SET_CACHE_TABLE ok in=([0-9a-f]{4592}) out=2296)|[CDE]: "
            "IOCTL_QUERY_VOLUME ok in=- out=8|Sleep 5000)$"));
        std::vector<std::vector<sim::TableEntry>> tablesSent;
        std::vector<std::array<std::uint32_t, 4>> optionsSent;
        for (const QString &entry : journal) {
            const QRegularExpressionMatch match = line.match(entry);
            QVERIFY2(match.hasMatch(), qPrintable(entry.left(200)));
            if (!match.captured(3).isEmpty())
                tablesSent.push_back(
                    keptEntries(QByteArray::fromHex(match.captured(3).toLatin1())));
            if (entry.contains(QStringLiteral("IOCTL_SET_OPTIONS"))) {
                OptionsRecord sent;
                const QByteArray bytes =
                    QByteArray::fromHex(entry.section(QLatin1Char('='), 1, 1).left(32).toLatin1());
                std::memcpy(&sent, bytes.constData(), sizeof sent);
                optionsSent.push_back({sent.prefetcherEnabled, sent.saveMemory,
                                       sent.disableWriteCache, sent.disableSpeculative});
            }
        }
        QCOMPARE(int(tablesSent.size()), installRuns);
        std::vector<std::vector<sim::TableEntry>> layouts;
        for (const auto &sent : tablesSent)
            if (std::none_of(layouts.begin(), layouts.end(),
                             [&sent](const auto &known) { return sameEntries(known, sent); }))
                layouts.push_back(sent);
        qInfo("%d different layouts among the tables sent", int(layouts.size()));

        sim::Machine final;
        QString problem;
        QFile file(machinePath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY2(sim::parseMachine(file.readAll(), final, problem), qPrintable(problem));
        bool tableWasSent = false;
        for (const auto &sent : tablesSent)
            tableWasSent = tableWasSent || sameEntries(sent, final.driver.tableEntries);
        QVERIFY2(tableWasSent, "the final cache table is none of the tables sent");
        bool optionsWereSent = false;
        for (const auto &sent : optionsSent)
            optionsWereSent = optionsWereSent || sent == final.driver.options;
        QVERIFY(optionsSent.empty() || optionsWereSent);

        for (int v = 0; v < 3; ++v) {
            const QDir folder(machine.path(QStringLiteral("volumes/") + QLatin1Char(letters[v])));
            std::uint64_t files = 0;
            for (const QFileInfo &info :
                 folder.entryInfoList({QStringLiteral("orvn#*.io")}, QDir::Files))
                files += std::uint64_t(info.size());
            QCOMPARE(*final.volume(letters[v])->freeBytes + files, volumeBytes[v]);
        }
    }
};

QTEST_GUILESS_MAIN(TestConcurrencyEndToEnd)
#include "tst_concurrency_e2e.moc"
