// Faults of the driver, the machine and the settings file while a real window runs on a
// simulated machine, wired as the program wires it: for each fault, the state the window shows
// and the requests the journal holds from the moment the fault came. The same faults hit the
// real executable in tests/e2e/tst_faultmatrix_e2e.cpp, which checks that it keeps running.
#include "core/records.h"
#include "gui/cacheframe.h"
#include "gui/mainwindow.h"
#include "sim/simmachine.h"
#include "sim/simulatedsystem.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <array>
#include <cstring>
#include <functional>
#include <memory>

using namespace orvanta;

namespace {

constexpr std::uint64_t GB = std::uint64_t(1) << 30;

// C: holds 4 GB of cache, E: none; the driver runs with fixed counters and all options off.
const QByteArray machineJson = R"({
    "journal": true,
    "volumes": [
        {"letter": "C", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 107374182400,
         "diskId": 0, "rating": 700},
        {"letter": "E", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 53687091200,
         "diskId": 1, "rating": 300}
    ],
    "driver": {"loaded": true, "state": 1, "memoryUsed": 52428800, "totalRequests": 3,
               "totalBytes": 10485760, "elapsedMs": 2000, "options": [0, 0, 0, 0],
               "cacheTable": {"status": 1, "entries": [
                   {"path": "C:\\", "sizeBytes": 4294967296, "rating": 700}]}}
})";

const QString statusPoll = QStringLiteral("PhysicalDrive0 IOCTL_GET_STATUS ok in=- out=40");
const QString failedPoll = QStringLiteral("PhysicalDrive0 IOCTL_GET_STATUS failed in=- out=40");
const QString openFailed = QStringLiteral("PhysicalDrive0 open failed");

// Answers every modal message box, noting title and text.
class BoxAnswerer : public QObject {
public:
    QStringList seen;
    BoxAnswerer() {
        connect(&timer_, &QTimer::timeout, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                seen << box->windowTitle() + QLatin1Char('|') + box->text();
                box->button(QMessageBox::Ok)->click();
            }
        });
        timer_.start(10);
    }

private:
    QTimer timer_;
};

} // namespace

class TestFaultMatrix : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<SimulatedSystem> machine;
    std::unique_ptr<MainWindow> window;
    int mark = 0; // journal lines before the fault

    QString path(const char *name) const { return dir->filePath(QLatin1String(name)); }

    QStringList journal() const {
        QFile file(path("journal.log"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        lines.removeAll(QString());
        return lines;
    }
    QStringList sinceMark() const { return journal().mid(mark); }
    void setMark() { mark = int(journal().size()); }

    // The journal from the mark on, with the status polls taken out: what the fault and the
    // user's action caused.
    QStringList requestsSinceMark() const {
        QStringList lines = sinceMark();
        lines.removeAll(statusPoll);
        lines.removeAll(failedPoll);
        lines.removeAll(openFailed);
        return lines;
    }

    // A change to machine.json as orvanta-sim makes it: under the lock, written atomically.
    void change(const std::function<void(sim::Machine &)> &edit) {
        sim::MachineFile file(dir->path());
        QString error;
        QVERIFY2(file.update(
                     [&](sim::Machine &stored) {
                         edit(stored);
                         return true;
                     },
                     error),
                 qPrintable(error));
    }
    void failing(std::uint32_t code) {
        change([code](sim::Machine &stored) { stored.driver.failing = {code}; });
    }

    QList<CacheFrame *> rows() const { return window->cacheFrames(); }

    void verifyRunningState() {
        QTRY_COMPARE(window->statusNumber->text(), QStringLiteral("Running"));
        QCOMPARE(window->memoryNumber->text(), QStringLiteral("50 MB"));
        QCOMPARE(window->totalRequestsNumber->text(), QStringLiteral("3"));
        QCOMPARE(window->totalBytesNumber->text(), QStringLiteral("10 MB"));
        QCOMPARE(window->averageRequestsNumber->text(), QStringLiteral("1"));
        QCOMPARE(window->averageBytesNumber->text(), QStringLiteral("5120 kB/s"));
        verifyDriverControls(true);
    }
    void verifyNotRunningState() {
        QTRY_COMPARE(window->statusNumber->text(), QStringLiteral("Not running"));
        QCOMPARE(window->memoryNumber->text(), QStringLiteral("0 MB"));
        QCOMPARE(window->totalRequestsNumber->text(), QStringLiteral("0"));
        QCOMPARE(window->totalBytesNumber->text(), QStringLiteral("0 MB"));
        QCOMPARE(window->averageRequestsNumber->text(), QStringLiteral("-"));
        QCOMPARE(window->averageBytesNumber->text(), QStringLiteral("-"));
        verifyDriverControls(false);
    }
    void verifyDriverControls(bool enabled) {
        QCOMPARE(window->clearStatsButton->isEnabled(), enabled);
        QCOMPARE(window->prefetcherCheckBox->isEnabled(), enabled);
        QCOMPARE(window->memoryCheckBox->isEnabled(), enabled);
        QCOMPARE(window->writeCacheCheckBox->isEnabled(), enabled);
        QCOMPARE(window->speculativeCheckBox->isEnabled(), enabled);
        QCOMPARE(window->cacheTab->isEnabled(), enabled);
        QVERIFY(window->trayCheckBox->isEnabled());
    }
    void verifyRow(int index, int shown, bool dirty, const QString &free) {
        CacheFrame *row = rows().at(index);
        QCOMPARE(row->sizeBox()->value(), shown);
        QCOMPARE(row->isDirty(), dirty);
        QCOMPARE(row->sizeBox()->styleSheet(),
                 dirty ? QStringLiteral("color: maroon;") : QString());
        QCOMPARE(row->freeSpaceLabel()->text(), free);
    }
    // The user picks a size for C: on the Caches tab and presses OK.
    void applyC(int gigabytes) {
        window->tabWidget->setCurrentWidget(window->cacheTab);
        rows().at(0)->sizeBox()->setValue(gigabytes);
        QTest::mouseClick(window->buttonBox->button(QDialogButtonBox::Ok), Qt::LeftButton);
    }
    sim::Machine storedMachine() const {
        QFile file(path("machine.json"));
        sim::Machine stored;
        QString problem;
        if (file.open(QIODevice::ReadOnly))
            sim::parseMachine(file.readAll(), stored, problem);
        return stored;
    }
    static QString setTableLine(const char *result, std::uint32_t ratingOfC, int sizeOfC) {
        QByteArray table(int(sizeof(CacheTable)), '\0');
        std::memcpy(table.data() + 8, "C:\\", 3);
        const std::int64_t bytes = std::int64_t(sizeOfC) * std::int64_t(GB);
        std::memcpy(table.data() + 8 + 64, &bytes, 8);
        std::memcpy(table.data() + 8 + 80, &ratingOfC, 4);
        std::memcpy(table.data() + 8 + 88, "E:\\", 3);
        return QStringLiteral("PhysicalDrive0 IOCTL_SET_CACHE_TABLE %1 in=%2 out=2296")
            .arg(QLatin1String(result), QString::fromLatin1(table.toHex()));
    }

private slots:
    void init() {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        QFile file(path("machine.json"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(machineJson);
        file.close();
        // The settings store follows the environment; the driver and volumes come from `machine`.
        qputenv("ORVANTA_SIM_ROOT", dir->path().toLocal8Bit());
        machine = std::make_unique<SimulatedSystem>(dir->path());
        window = std::make_unique<MainWindow>(nullptr, false, *machine);
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        verifyRunningState();
        QCOMPARE(rows().size(), 2);
        verifyRow(0, 4, false, QStringLiteral("96 GB free"));
        setMark();
    }
    void cleanup() {
        window.reset();
        machine.reset();
        dir.reset();
    }

    void eachControlCodeFailing_data() {
        QTest::addColumn<QString>("code");
        for (std::uint32_t code :
             {IOCTL_GET_STATUS, IOCTL_CLEAR_STATISTICS, IOCTL_SET_OPTIONS, IOCTL_GET_OPTIONS,
              IOCTL_GET_CACHE_TABLE, IOCTL_SET_CACHE_TABLE, IOCTL_QUERY_VOLUME})
            QTest::newRow(controlCodeName(code)) << QString::fromLatin1(controlCodeName(code));
    }
    void eachControlCodeFailing() {
        QFETCH(QString, code);
        const std::uint32_t failingCode = controlCodeByName(code.toLatin1().constData());
        failing(failingCode);
        BoxAnswerer boxes;

        switch (failingCode) {
        case IOCTL_GET_STATUS:
            // Polling goes on and shows the driver as not running, until it answers again.
            verifyNotRunningState();
            QVERIFY(sinceMark().contains(failedPoll));
            QCOMPARE(requestsSinceMark(), QStringList());
            failing(0);
            verifyRunningState();
            break;
        case IOCTL_CLEAR_STATISTICS:
            QTest::mouseClick(window->clearStatsButton, Qt::LeftButton);
            QTRY_VERIFY(sinceMark().lastIndexOf(statusPoll) >
                        sinceMark().indexOf(QStringLiteral(
                            "PhysicalDrive0 IOCTL_CLEAR_STATISTICS failed in=- out=0")));
            QCOMPARE(requestsSinceMark(),
                     QStringList{"PhysicalDrive0 IOCTL_CLEAR_STATISTICS failed in=- out=0"});
            verifyRunningState(); // the counters stand
            break;
        case IOCTL_SET_OPTIONS:
            window->tabWidget->setCurrentWidget(window->optionTab);
            QTest::mouseClick(window->prefetcherCheckBox, Qt::LeftButton);
            // The driver did not take it: the box shows the driver's value, read back without
            // another set request.
            QVERIFY(!window->prefetcherCheckBox->isChecked());
            QCOMPARE(storedMachine().driver.options, (std::array<std::uint32_t, 4>{0, 0, 0, 0}));
            QCOMPARE(requestsSinceMark(),
                     (QStringList{"PhysicalDrive0 IOCTL_GET_OPTIONS ok in=- out=16",
                                  "PhysicalDrive0 IOCTL_SET_OPTIONS failed "
                                  "in=01000000000000000000000000000000 out=0",
                                  "PhysicalDrive0 IOCTL_GET_OPTIONS ok in=- out=16"}));
            break;
        case IOCTL_GET_OPTIONS:
            change([](sim::Machine &stored) { stored.driver.options = {1, 1, 0, 0}; });
            window->tabWidget->setCurrentWidget(window->optionTab);
            // The boxes stay as they were and nothing is sent.
            QVERIFY(!window->prefetcherCheckBox->isChecked());
            QVERIFY(!window->memoryCheckBox->isChecked());
            QCOMPARE(requestsSinceMark(),
                     QStringList{"PhysicalDrive0 IOCTL_GET_OPTIONS failed in=- out=16"});
            break;
        case IOCTL_GET_CACHE_TABLE: {
            applyC(6);
            // The driver took the layout but cannot be read back: the rows are locked with what
            // they show, the tab says why, and OK cannot send a layout nobody read.
            QCOMPARE(boxes.seen, QStringList());
            const auto *unread =
                window->findChild<QLabel *>(QStringLiteral("cacheTableUnreadLabel"));
            QVERIFY(unread && unread->isVisible());
            QVERIFY(!rows().at(0)->sizeBox()->isEnabled());
            QVERIFY(!window->buttonBox->isEnabled());
            QCOMPARE(storedMachine().driver.tableEntries.size(), std::size_t(1));
            QCOMPARE(requestsSinceMark(),
                     (QStringList{"C: IOCTL_QUERY_VOLUME ok in=- out=8", setTableLine("ok", 700, 6),
                                  "PhysicalDrive0 IOCTL_GET_CACHE_TABLE failed in=- out=2296"}));
            // Once the driver answers, showing the tab again brings the rows back.
            failing(0);
            window->tabWidget->setCurrentWidget(window->statusTab);
            window->tabWidget->setCurrentWidget(window->cacheTab);
            QVERIFY(!unread->isVisible());
            QVERIFY(rows().at(0)->sizeBox()->isEnabled());
            verifyRow(0, 6, false, QStringLiteral("94 GB free"));
            break;
        }
        case IOCTL_SET_CACHE_TABLE:
            applyC(6);
            // One warning, then the rows show what the driver still has.
            QCOMPARE(boxes.seen, QStringList{"Warning|Could not enable all caches."});
            verifyRow(0, 4, false, QStringLiteral("96 GB free"));
            QCOMPARE(
                requestsSinceMark(),
                (QStringList{"C: IOCTL_QUERY_VOLUME ok in=- out=8", setTableLine("failed", 700, 6),
                             "PhysicalDrive0 IOCTL_GET_CACHE_TABLE ok in=- out=2296"}));
            break;
        case IOCTL_QUERY_VOLUME:
            applyC(6);
            // The entry goes with rating 0 and is taken.
            QCOMPARE(boxes.seen, QStringList());
            verifyRow(0, 6, false, QStringLiteral("94 GB free"));
            QCOMPARE(
                requestsSinceMark(),
                (QStringList{"C: IOCTL_QUERY_VOLUME failed in=- out=8", setTableLine("ok", 0, 6),
                             "PhysicalDrive0 IOCTL_GET_CACHE_TABLE ok in=- out=2296"}));
            break;
        default:
            QFAIL("no case for this code");
        }
    }

    void driverUnloadedAndLoadedWhilePolling() {
        change([](sim::Machine &stored) { stored.driver.loaded = false; });
        verifyNotRunningState();
        QTRY_VERIFY(sinceMark().contains(openFailed));
        change([](sim::Machine &stored) { stored.driver.loaded = true; });
        verifyRunningState();
        // The rows are left as they were: nothing but the status is asked for.
        verifyRow(0, 4, false, QStringLiteral("96 GB free"));
        QCOMPARE(requestsSinceMark(), QStringList());
    }

    void failsafeWithReasonThenRunning() {
        change([](sim::Machine &stored) {
            stored.driver.state = 3;
            stored.driver.failsafeReason = -2;
        });
        QTRY_COMPARE(window->statusNumber->text(), QStringLiteral("Failsafe"));
        QCOMPARE(window->statusNumber->toolTip(), QStringLiteral("Reason: -2"));
        verifyDriverControls(false);
        change([](sim::Machine &stored) { stored.driver.state = 1; });
        verifyRunningState();
        // The reason describes the Failsafe state only.
        QCOMPARE(window->statusNumber->toolTip(), QString());
        QCOMPARE(requestsSinceMark(), QStringList());
    }

    void freeSpaceQueryFailsAfterTheListWasBuilt() {
        change([](sim::Machine &stored) { stored.volume('C')->freeBytes.reset(); });
        window->tabWidget->setCurrentWidget(window->cacheTab);
        QCOMPARE(rows().size(), 2);
        // Free is 0 now: any new choice falls back to 0; the driver's own size stays choosable.
        rows().at(0)->sizeBox()->setValue(6);
        verifyRow(0, 0, true, QStringLiteral("0 GB free"));
        QVERIFY(window->buttonBox->isEnabled());
        QTest::mouseClick(window->buttonBox->button(QDialogButtonBox::Cancel), Qt::LeftButton);
        verifyRow(0, 4, false, QStringLiteral("0 GB free"));
        QVERIFY(!window->buttonBox->isEnabled());
        verifyRow(1, 0, false, QStringLiteral("50 GB free"));
        QCOMPARE(requestsSinceMark(), QStringList());
    }

    void registryUnwritable() {
        // Something that is no file stands where registry.json belongs.
        QVERIFY(QDir().mkpath(path("registry.json")));
        window->tabWidget->setCurrentWidget(window->optionTab);
        QVERIFY(!window->trayCheckBox->isChecked());
        QTest::mouseClick(window->trayCheckBox, Qt::LeftButton);
        QVERIFY(window->trayCheckBox->isChecked()); // the write is lost silently
        window->tabWidget->setCurrentWidget(window->infoTab);
        window->tabWidget->setCurrentWidget(window->optionTab);
        QVERIFY(!window->trayCheckBox->isChecked());
        QVERIFY(QFileInfo(path("registry.json")).isDir());
        QCOMPARE(requestsSinceMark(),
                 (QStringList{"PhysicalDrive0 IOCTL_GET_OPTIONS ok in=- out=16",
                              "PhysicalDrive0 IOCTL_GET_OPTIONS ok in=- out=16"}));
    }

    void registryMalformed() {
        const QByteArray broken = "{\"Autostart\": 1,";
        {
            QFile file(path("registry.json"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(broken);
        }
        window->tabWidget->setCurrentWidget(window->optionTab);
        QVERIFY(!window->trayCheckBox->isChecked());
        QTest::mouseClick(window->trayCheckBox, Qt::LeftButton);
        // The user's choice is stored; what the file held is kept aside, not lost.
        QFile aside(path("registry.json.bad"));
        QVERIFY(aside.open(QIODevice::ReadOnly));
        QCOMPARE(aside.readAll(), broken);
        QFile stored(path("registry.json"));
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QCOMPARE(QJsonDocument::fromJson(stored.readAll()).object().value("Autostart").toInt(), 1);
        window->tabWidget->setCurrentWidget(window->infoTab);
        window->tabWidget->setCurrentWidget(window->optionTab);
        QVERIFY(window->trayCheckBox->isChecked());
    }

    void machineFileMalformedWhileRunning() {
        const QByteArray broken = machineJson.left(machineJson.size() / 2);
        {
            QFile file(path("machine.json"));
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(broken);
        }
        // A bare machine: no driver, no journal; the rows stay, the file is never rewritten.
        verifyNotRunningState();
        QTest::qWait(100);
        QCOMPARE(rows().size(), 2);
        QFile file(path("machine.json"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), broken);
        file.close();
        QCOMPARE(sinceMark(), QStringList());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(machineJson);
        file.close();
        verifyRunningState();
        QCOMPARE(requestsSinceMark(), QStringList());
    }
};

QTEST_MAIN(TestFaultMatrix)
#include "tst_faultmatrix.moc"
