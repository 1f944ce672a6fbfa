// Faults of the driver, the machine and the settings file while the real executable runs on a
// simulated machine and polls: after each, the monitor keeps running and polling, and the
// journal holds nothing but its start-up requests and the status polls, since no user touches
// it. What the window shows under the same faults is checked in-process by
// tests/gui/tst_faultmatrix.cpp.
#include "e2esupport.h"

#include "core/records.h"
#include "sim/simmachine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <functional>

using namespace orvanta;

namespace {

const QByteArray machineJson = R"({
    "journal": true,
    "volumes": [
        {"letter": "C", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 107374182400,
         "diskId": 0, "rating": 700},
        {"letter": "E", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 53687091200,
         "diskId": 1, "rating": 300}
    ],
    "driver": {"loaded": true, "state": 1, "memoryUsed": 52428800, "options": [0, 0, 0, 0],
               "cacheTable": {"status": 1, "entries": [
                   {"path": "C:\\", "sizeBytes": 4294967296, "rating": 700}]}}
})";

const QString statusPoll = QStringLiteral("PhysicalDrive0 IOCTL_GET_STATUS ok in=- out=40");
const QString failedPoll = QStringLiteral("PhysicalDrive0 IOCTL_GET_STATUS failed in=- out=40");
const QString openFailed = QStringLiteral("PhysicalDrive0 open failed");
constexpr int TimeoutMs = 20000;

using Edit = std::function<void(sim::Machine &)>;

bool change(const SimulatedMachine &machine, const Edit &edit) {
    sim::MachineFile file(machine.root());
    QString error;
    const bool ok = file.update(
        [&](sim::Machine &stored) {
            edit(stored);
            return true;
        },
        error);
    if (!ok)
        qWarning("%s", qPrintable(error));
    return ok;
}

void writeFile(const QString &path, const QByteArray &text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(text), qint64(text.size()));
}

QByteArray readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// One fault: made before the start or while the monitor polls, then taken back while it polls.
struct Fault {
    enum When { BeforeStart, WhileRunning } when;
    std::function<void(SimulatedMachine &)> make;
    std::function<void(SimulatedMachine &)> takeBack;
    QString seenWhileFaulty;      // a journal line that shows the fault, or empty
    QStringList failingAtStartUp; // the start-up requests the fault makes fail
    bool journalStops = false;    // the machine reads as bare: no journal until it is fixed
    QByteArray leftAlone;         // a file of the root that must stay byte for byte as made
};

Fault failingCode(std::uint32_t code) {
    const QString name = QString::fromLatin1(controlCodeName(code));
    Fault fault{Fault::BeforeStart,
                [code](SimulatedMachine &m) {
                    QVERIFY(change(m, [code](sim::Machine &s) { s.driver.failing = {code}; }));
                },
                [](SimulatedMachine &m) {
                    QVERIFY(change(m, [](sim::Machine &s) { s.driver.failing.clear(); }));
                },
                {},
                {},
                false,
                {}};
    if (code == IOCTL_GET_STATUS)
        fault.seenWhileFaulty = failedPoll;
    if (code == IOCTL_GET_STATUS || code == IOCTL_GET_OPTIONS || code == IOCTL_GET_CACHE_TABLE)
        fault.failingAtStartUp = QStringList{name};
    return fault;
}

QMap<QString, Fault> faults() {
    QMap<QString, Fault> all;
    for (std::uint32_t code :
         {IOCTL_GET_STATUS, IOCTL_CLEAR_STATISTICS, IOCTL_SET_OPTIONS, IOCTL_GET_OPTIONS,
          IOCTL_GET_CACHE_TABLE, IOCTL_SET_CACHE_TABLE, IOCTL_QUERY_VOLUME})
        all.insert(QString::fromLatin1(controlCodeName(code)) + QStringLiteral(" failing"),
                   failingCode(code));

    all.insert(QStringLiteral("driver unloaded, then loaded"),
               {Fault::WhileRunning,
                [](SimulatedMachine &m) {
                    QVERIFY(change(m, [](sim::Machine &s) { s.driver.loaded = false; }));
                },
                [](SimulatedMachine &m) {
                    QVERIFY(change(m, [](sim::Machine &s) { s.driver.loaded = true; }));
                },
                openFailed,
                {},
                false,
                {}});
    all.insert(QStringLiteral("failsafe with a reason, then running"),
               {Fault::WhileRunning,
                [](SimulatedMachine &m) {
                    QVERIFY(change(m, [](sim::Machine &s) {
                        s.driver.state = 3;
                        s.driver.failsafeReason = -2;
                    }));
                },
                [](SimulatedMachine &m) {
                    QVERIFY(change(m, [](sim::Machine &s) { s.driver.state = 1; }));
                },
                {},
                {},
                false,
                {}});
    all.insert(QStringLiteral("free-space query failing after the list was built"),
               {Fault::WhileRunning,
                [](SimulatedMachine &m) {
                    QVERIFY(change(m, [](sim::Machine &s) { s.volume('C')->freeBytes.reset(); }));
                },
                [](SimulatedMachine &m) {
                    QVERIFY(change(m, [](sim::Machine &s) {
                        s.volume('C')->freeBytes = std::uint64_t(107374182400);
                    }));
                },
                {},
                {},
                false,
                {}});
    all.insert(QStringLiteral("registry.json unwritable"),
               {Fault::BeforeStart,
                [](SimulatedMachine &m) {
                    QVERIFY(QDir().mkpath(m.path(QStringLiteral("registry.json"))));
                },
                nullptr,
                {},
                {},
                false,
                {}});
    all.insert(QStringLiteral("registry.json malformed"),
               {Fault::BeforeStart,
                [](SimulatedMachine &m) {
                    writeFile(m.path(QStringLiteral("registry.json")), "{\"Autostart\": 1,");
                },
                nullptr,
                {},
                {},
                false,
                "{\"Autostart\": 1,"});
    all.insert(QStringLiteral("machine.json malformed while running"),
               {Fault::WhileRunning,
                [](SimulatedMachine &m) {
                    writeFile(m.path(QStringLiteral("machine.json")),
                              machineJson.left(machineJson.size() / 2));
                },
                [](SimulatedMachine &m) {
                    writeFile(m.path(QStringLiteral("machine.json")), machineJson);
                },
                {},
                {},
                true,
                {}});
    return all;
}

// The journal of a monitor nobody touched: its three start-up requests (each ok unless the fault
// makes it fail), then status polls only. Empty when it is so, else what is wrong.
QString unexpectedRequests(const QStringList &journal, const QStringList &failingAtStartUp) {
    const char *const startUp[][2] = {
        {"IOCTL_GET_CACHE_TABLE", "2296"}, {"IOCTL_GET_STATUS", "40"}, {"IOCTL_GET_OPTIONS", "16"}};
    for (int i = 0; i < 3; ++i) {
        const QString code = QLatin1String(startUp[i][0]);
        const QString expected =
            QStringLiteral("PhysicalDrive0 %1 %2 in=- out=%3")
                .arg(code, failingAtStartUp.contains(code) ? QStringLiteral("failed")
                                                           : QStringLiteral("ok"))
                .arg(QLatin1String(startUp[i][1]));
        if (journal.value(i) != expected)
            return QStringLiteral("start-up line %1 is \"%2\", expected \"%3\"")
                .arg(i)
                .arg(journal.value(i), expected);
    }
    for (int i = 3; i < journal.size(); ++i)
        if (journal[i] != statusPoll && journal[i] != failedPoll && journal[i] != openFailed)
            return QStringLiteral("line %1 is a request nobody caused: %2").arg(i).arg(journal[i]);
    return QString();
}

} // namespace

class TestFaultMatrixEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void monitorKeepsRunning_data() {
        QTest::addColumn<QString>("fault");
        for (const QString &name : faults().keys())
            QTest::newRow(qPrintable(name)) << name;
    }

    void monitorKeepsRunning() {
        QFETCH(QString, fault);
        const Fault f = faults().value(fault);
        SimulatedMachine machine;
        QVERIFY(machine.isValid());
        QVERIFY(machine.writeMachine(machineJson));
        const QString leftAlonePath = machine.path(QStringLiteral("registry.json"));
        if (f.when == Fault::BeforeStart)
            f.make(machine);

        QProcess monitor;
        monitor.setProcessEnvironment(machine.environment());
        monitor.start(monitorExecutable(), QStringList());
        QVERIFY(monitor.waitForStarted());
        QByteArray errors;
        // After the start-up requests the journal holds nothing but polls, whatever they met.
        const auto polls = [&machine] { return machine.journal().size() - 3; };
        QTRY_VERIFY_WITH_TIMEOUT(polls() >= 3, TimeoutMs);

        if (f.when == Fault::WhileRunning) {
            f.make(machine);
            if (f.journalStops) {
                // The monitor has met the file once it says so; until it is fixed the machine
                // is bare, which writes no journal, and the file is left as it is.
                const QByteArray broken = readFile(machine.path(QStringLiteral("machine.json")));
                QTRY_VERIFY_WITH_TIMEOUT(
                    (errors += monitor.readAllStandardError()).contains("cannot be used"),
                    TimeoutMs);
                QCOMPARE(readFile(machine.path(QStringLiteral("machine.json"))), broken);
            }
        }
        if (!f.seenWhileFaulty.isEmpty())
            QTRY_VERIFY_WITH_TIMEOUT(machine.journalLines(f.seenWhileFaulty).size() >= 3,
                                     TimeoutMs);
        const int before = int(polls());
        QTRY_VERIFY_WITH_TIMEOUT(f.journalStops || polls() >= before + 3, TimeoutMs);
        if (f.takeBack)
            f.takeBack(machine);
        // Polling goes on, and answers again once the fault is gone.
        const int afterFault = int(machine.journalLines(statusPoll).size());
        QTRY_VERIFY_WITH_TIMEOUT(machine.journalLines(statusPoll).size() >= afterFault + 3,
                                 TimeoutMs);
        QCOMPARE(monitor.state(), QProcess::Running);
        monitor.kill();
        monitor.waitForFinished();

        const QString problem = unexpectedRequests(machine.journal(), f.failingAtStartUp);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        if (!f.leftAlone.isEmpty()) {
            QCOMPARE(readFile(leftAlonePath), f.leftAlone);
            QVERIFY(!QFileInfo::exists(leftAlonePath + QStringLiteral(".bad")));
        }
        if (fault == QStringLiteral("registry.json unwritable"))
            QVERIFY(QFileInfo(leftAlonePath).isDir());
    }
};

QTEST_GUILESS_MAIN(TestFaultMatrixEndToEnd)
#include "tst_faultmatrix_e2e.moc"
