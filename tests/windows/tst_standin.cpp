// The window of the Windows build, in process under Wine, over the real Win32System against the
// kernel-mode stand-in of the driver (started by window-under-wine.sh with the drives V:, W: and
// X:): every request goes through CreateFileW and DeviceIoControl; what reached the driver is
// read back through the stand-in's side door, never from the screen. The table OK sends is
// written out for the script to compare with the Linux core's.
#include "core/cachetable.h"
#include "core/driverchannel.h"
#include "gui/cacheframe.h"
#include "gui/catalogue.h"
#include "gui/mainwindow.h"
#include "system/win32system.h"
#include "teststore.h"
#include "warnings.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTranslator>
#include <QtTest>

#include <cstring>
#include <memory>

// The side door's records are C, for the stand-in; in C++ the wire's names they use are the
// core's, in orvanta (core/wire.h, already included, is not read again).
namespace orvanta {
#include "standin.h"
}
using namespace orvanta;

namespace {

// The stand-in's side door, through the program's own channel: its report, and the commands that
// change what it answers.
struct StandIn {
    DriverChannel channel;
    standin_report report() {
        standin_report answer{};
        const standin_command command{STANDIN_REPORT, 0, 0, 0};
        if (!channel.deviceRequest(L"OrvantaStandIn", IOCTL_STANDIN_CONTROL, &answer, sizeof answer,
                                   &command, sizeof command))
            qFatal("the stand-in gave no report");
        return answer;
    }
    void command(unsigned kind, unsigned a, unsigned b = 0) {
        const standin_command command{kind, a, b, 0};
        if (!channel.deviceRequest(L"OrvantaStandIn", IOCTL_STANDIN_CONTROL, nullptr, 0, &command,
                                   sizeof command))
            qFatal("the stand-in refused a command");
    }
    unsigned requests(int index) { return report().requests[index]; }
};

QByteArray hex(const unsigned char *bytes, int size) {
    return QByteArray(reinterpret_cast<const char *>(bytes), size).toHex();
}

// The report's records, read as the core reads the driver's answers.
StatusRecord statusOf(const standin_report &report) {
    StatusRecord status;
    std::memcpy(&status, report.status, sizeof status);
    return status;
}

qlonglong number(const QLabel *label) {
    QString digits = label->text();
    digits.remove(QRegularExpression(QStringLiteral("[^0-9]")));
    return digits.toLongLong();
}

// The GB the driver holds for a volume root, as its table says.
int heldGB(const standin_report &report, const QString &root) {
    CacheTable table;
    std::memcpy(&table, report.heldTable, sizeof table);
    const CacheEntry *entry = findEntry(table, root.toStdString());
    return entry ? entrySizeGB(*entry) : 0;
}

} // namespace

class TestStandInWindow : public QObject {
    Q_OBJECT

    orvanta::Win32System system;
    StandIn standIn{DriverChannel(system)};
    QTranslator catalogue;
    TestSettingsStore store;
    Warnings warnings;
    std::unique_ptr<MainWindow> w;

    QByteArray lastOptions() {
        const standin_report report = standIn.report();
        return hex(report.lastOptions, ORVANTA_OPTIONS_SIZE);
    }
    // On the box itself, not on the middle of its text.
    static void click(QCheckBox *box) {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
    }
    void clickOk() {
        QTest::mouseClick(w->buttonBox->button(QDialogButtonBox::Ok), Qt::LeftButton);
    }

private slots:
    void initTestCase() {
        // The English catalogue, as most Windows users see the window.
        QVERIFY(orvanta::loadCatalogue(catalogue, QStringLiteral("en_US")));
        QCoreApplication::installTranslator(&catalogue);
        w = std::make_unique<MainWindow>(nullptr, false, system, store.settings());
        w->show();
    }

    void statusShowsTheDriver() {
        QTRY_COMPARE(w->statusNumber->text(), QStringLiteral("Running"));
        QTRY_COMPARE(w->memoryNumber->text(), QStringLiteral("50 MB"));
        const qlonglong first = number(w->totalRequestsNumber);
        QTRY_VERIFY(number(w->totalRequestsNumber) > first);
        // The stand-in's workload is 900 requests a second.
        QTRY_VERIFY(number(w->averageRequestsNumber) >= 800 &&
                    number(w->averageRequestsNumber) <= 1000);
    }

    void clearStatisticsClearsTheDriver() {
        const standin_report before = standIn.report();
        QTest::mouseClick(w->clearStatsButton, Qt::LeftButton);
        QTRY_COMPARE(standIn.requests(ORVANTA_INDEX_CLEAR_STATISTICS),
                     before.requests[ORVANTA_INDEX_CLEAR_STATISTICS] + 1);
        QVERIFY(statusOf(standIn.report()).elapsedMs < statusOf(before).elapsedMs);
    }

    // Each box changes its own option and carries the others as the driver holds them (record
    // order: prefetcher, save memory, disable write cache, disable speculative; the driver
    // started with 1, 0, 0, 0); a refused set leaves the box as the driver holds it.
    void optionBoxesSendTheirOption() {
        w->tabWidget->setCurrentWidget(w->optionTab);
        QTRY_VERIFY(w->prefetcherCheckBox->isChecked());
        const struct {
            QCheckBox *box;
            const char *sent;
        } steps[] = {{w->memoryCheckBox, "01000000010000000000000000000000"},
                     {w->writeCacheCheckBox, "01000000010000000100000000000000"},
                     {w->speculativeCheckBox, "01000000010000000100000001000000"},
                     {w->prefetcherCheckBox, "00000000010000000100000001000000"}};
        for (const auto &step : steps) {
            const unsigned sets = standIn.report().optionSets;
            click(step.box);
            QTRY_COMPARE(standIn.report().optionSets, sets + 1);
            QCOMPARE(lastOptions(), QByteArray(step.sent));
        }
        // A click runs the whole read, send and read-back before it returns.
        standIn.command(STANDIN_SET_FAILING, 1u << ORVANTA_INDEX_SET_OPTIONS);
        const standin_report before = standIn.report();
        click(w->memoryCheckBox);
        QCOMPARE(standIn.report().refused, before.refused + 1);
        QCOMPARE(standIn.report().optionSets, before.optionSets);
        QVERIFY(w->memoryCheckBox->isChecked());
        standIn.command(STANDIN_SET_FAILING, 0);
        const unsigned sets = standIn.report().optionSets;
        click(w->speculativeCheckBox);
        QTRY_COMPARE(standIn.report().optionSets, sets + 1);
        QCOMPARE(lastOptions(), QByteArray("00000000010000000100000000000000"));
    }

    // Exactly the fixed NTFS drives (Wine's C: and Z:, the stand-in's V:, W:, X:), each at the
    // size the driver holds; OK sends the changed row's table; a refused apply warns once.
    void cachesRowsSendTheChange() {
        w->tabWidget->setCurrentWidget(w->cacheTab);
        const standin_report held = standIn.report();
        QStringList roots;
        for (CacheFrame *row : w->cacheFrames()) {
            roots << row->volumeRoot();
            QCOMPARE(row->sizeBox()->value(), heldGB(held, row->volumeRoot()));
        }
        QCOMPARE(roots.join(QLatin1Char(' ')), QStringLiteral("C:\\ V:\\ W:\\ X:\\ Z:\\"));

        CacheFrame *v = w->cacheFrames()[1];
        const int size = v->sizeBox()->value() + 2;
        v->sizeBox()->stepBy(2);
        clickOk();
        QTRY_COMPARE(standIn.report().tableSets, held.tableSets + 1);
        const standin_report sent = standIn.report();
        QCOMPARE(heldGB(sent, QStringLiteral("V:\\")), size);
        QCOMPARE(QFileInfo(QStringLiteral("V:/orvn#001.io")).size(), qint64(size) << 30);
        // For the script: the Linux core, given the same held table, must send these bytes.
        QFile out(qEnvironmentVariable("ORVANTA_CHECK_OUT") + QStringLiteral("\\ok-table.txt"));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("V:=" + QByteArray::number(size) + "\n" +
                  hex(held.heldTable, ORVANTA_CACHE_TABLE_SIZE) + "\n" +
                  hex(sent.lastTable, ORVANTA_CACHE_TABLE_SIZE) + "\n");

        standIn.command(STANDIN_SET_TABLE_STATUS, 0);
        warnings.seen.clear();
        w->cacheFrames()[3]->sizeBox()->stepBy(1);
        clickOk();
        QTRY_COMPARE(warnings.seen.size(), 1);
        QTest::qWait(500);
        QCOMPARE(warnings.seen,
                 QStringList{QStringLiteral("Warning|Could not enable all caches.")});
        standIn.command(STANDIN_SET_TABLE_STATUS, STANDIN_AUTO);
    }

    // Failsafe: its word, its reason as the tool-tip, and the driver's controls locked.
    void failsafeLocksTheControls() {
        w->tabWidget->setCurrentWidget(w->statusTab);
        standIn.command(STANDIN_SET_STATE, 3, 7);
        QTRY_COMPARE(w->statusNumber->text(), QStringLiteral("Failsafe"));
        QCOMPARE(w->statusNumber->toolTip(), QStringLiteral("Errorcode: 7"));
        for (QWidget *control :
             {static_cast<QWidget *>(w->clearStatsButton),
              static_cast<QWidget *>(w->prefetcherCheckBox), static_cast<QWidget *>(w->cacheTab)})
            QVERIFY(!control->isEnabled());
        const unsigned clears = standIn.requests(ORVANTA_INDEX_CLEAR_STATISTICS);
        QTest::mouseClick(w->clearStatsButton, Qt::LeftButton);
        QTest::qWait(200);
        QCOMPARE(standIn.requests(ORVANTA_INDEX_CLEAR_STATISTICS), clears);
        standIn.command(STANDIN_SET_STATE, 1);
        QTRY_COMPARE(w->statusNumber->text(), QStringLiteral("Running"));
        QVERIFY(w->statusNumber->toolTip().isEmpty());
    }

    void notRunningOnceTheDriverStops() {
        QCOMPARE(QProcess::execute(QStringLiteral("sc"), {"stop", "orvantastandin"}), 0);
        QTRY_COMPARE(w->statusNumber->text(), QStringLiteral("Not running"));
    }

    void cleanupTestCase() { w.reset(); }
};

QTEST_MAIN(TestStandInWindow)
#include "tst_standin.moc"
