// The main window against the recording fake: status view, options, timer, tray and the
// "Autostart" preference.
#include "gui/mainwindow.h"
#include "recordingsystem.h"
#include "teststore.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cstring>
#include <memory>

using orvanta::OptionsRecord;
using orvanta::StatusRecord;
using orvanta::testing::RecordingSystem;

Q_DECLARE_METATYPE(QSystemTrayIcon::ActivationReason)

namespace {
QList<QByteArray> optionPayloads(const RecordingSystem &system) {
    QList<QByteArray> payloads;
    for (const auto &request : system.requestsWith(orvanta::IOCTL_SET_OPTIONS))
        payloads << QByteArray(reinterpret_cast<const char *>(request.in.data()),
                               static_cast<int>(request.in.size()))
                        .toHex();
    return payloads;
}
} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private:
    QTemporaryDir simRoot;
    TestSettingsStore store;

    std::unique_ptr<MainWindow> makeWindow(RecordingSystem &system, bool hidden = false) {
        return std::make_unique<MainWindow>(nullptr, hidden, system);
    }

private slots:
    void initTestCase() {
        QVERIFY(simRoot.isValid());
        qputenv("ORVANTA_SIM_ROOT", simRoot.path().toLocal8Bit());
    }
    void init() { store.clear(); }

    void stateTable_data() {
        QTest::addColumn<quint32>("state");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("toolTip");
        QTest::newRow("not running") << 0u << "Not running" << false << "";
        QTest::newRow("running") << 1u << "Running" << true << "";
        QTest::newRow("disabled") << 2u << "Disabled" << true << "";
        QTest::newRow("failsafe") << 3u << "Failsafe" << false << "Reason: -2";
        QTest::newRow("unknown 4") << 4u << "Unknown" << false << "";
        QTest::newRow("unknown max") << 0xffffffffu << "Unknown" << false << "";
    }
    void stateTable() {
        QFETCH(quint32, state);
        QFETCH(QString, text);
        QFETCH(bool, enabled);
        QFETCH(QString, toolTip);
        RecordingSystem system;
        system.status.state = state;
        system.status.failsafeReason = -2;
        auto window = makeWindow(system);
        QCOMPARE(window->statusNumber->text(), text);
        QCOMPARE(window->statusNumber->toolTip(), toolTip);
        const QList<QWidget *> driverControls = {
            window->clearStatsButton,    window->prefetcherCheckBox, window->memoryCheckBox,
            window->speculativeCheckBox, window->writeCacheCheckBox, window->cacheTab};
        for (QWidget *control : driverControls)
            QVERIFY2(control->isEnabled() == enabled, qPrintable(control->objectName()));
        QVERIFY(window->trayCheckBox->isEnabled());
        QVERIFY(window->tabWidget->isTabEnabled(window->tabWidget->indexOf(window->infoTab)));

        // The reason belongs to the Failsafe state: a refresh in any other state drops it.
        system.status.state = 3;
        QVERIFY(QMetaObject::invokeMethod(window.get(), "updateStatistics"));
        QCOMPARE(window->statusNumber->toolTip(), QStringLiteral("Reason: -2"));
        system.status.state = state;
        QVERIFY(QMetaObject::invokeMethod(window.get(), "updateStatistics"));
        QCOMPARE(window->statusNumber->toolTip(), toolTip);
    }

    void numbersAndFailedRequest() {
        RecordingSystem system;
        system.status.state = 1;
        system.status.memoryUsed = 1048576;
        system.status.totalRequests = 3;
        system.status.totalBytes = std::uint64_t(1) << 60;
        system.status.elapsedMs = 1000;
        auto window = makeWindow(system);
        QCOMPARE(window->memoryNumber->text(), QStringLiteral("1 MB"));
        QCOMPARE(window->totalRequestsNumber->text(), QStringLiteral("3"));
        QCOMPARE(window->totalBytesNumber->text(), QStringLiteral("1099511627776 MB"));
        QCOMPARE(window->averageRequestsNumber->text(), QStringLiteral("3"));
        QCOMPARE(window->averageBytesNumber->text(), QStringLiteral("1125899906842624 kB/s"));

        // A failed request reads as a stopped driver, whatever the record held before.
        system.failing.insert(orvanta::IOCTL_GET_STATUS);
        QVERIFY(QMetaObject::invokeMethod(window.get(), "updateStatistics"));
        QCOMPARE(window->statusNumber->text(), QStringLiteral("Not running"));
        QCOMPARE(window->memoryNumber->text(), QStringLiteral("0 MB"));
        QCOMPARE(window->totalRequestsNumber->text(), QStringLiteral("0"));
        QCOMPARE(window->totalBytesNumber->text(), QStringLiteral("0 MB"));
        QCOMPARE(window->averageRequestsNumber->text(), QStringLiteral("-"));
        QCOMPARE(window->averageBytesNumber->text(), QStringLiteral("-"));
        QVERIFY(!window->clearStatsButton->isEnabled());

        system.clearLog();
        system.failing.clear();
        QTest::mouseClick(window->clearStatsButton, Qt::LeftButton);
        QVERIFY(window->clearStatsButton->isEnabled() == false); // still the last refresh's state
        QVERIFY(QMetaObject::invokeMethod(window.get(), "updateStatistics"));
        QTest::mouseClick(window->clearStatsButton, Qt::LeftButton);
        const auto clears = system.requestsWith(orvanta::IOCTL_CLEAR_STATISTICS);
        QCOMPARE(int(clears.size()), 1);
        QVERIFY(clears[0].inBuffer == nullptr && clears[0].outBuffer == nullptr);
        QCOMPARE(clears[0].inSize + clears[0].outSize, 0u);
    }

    void optionsCascade() {
        RecordingSystem system;
        system.status.state = 1;
        system.options = OptionsRecord{1, 1, 0, 1};
        auto window = makeWindow(system);
        // Boxes are set in the order prefetcher, memory, speculative, write cache; each change
        // sends all four as they stand at that moment.
        const QList<QByteArray> expected = {"01000000000000000000000000000000",
                                            "01000000010000000000000000000000",
                                            "01000000010000000000000001000000"};
        QCOMPARE(optionPayloads(system), expected);
        for (const auto &request : system.requestsWith(orvanta::IOCTL_SET_OPTIONS))
            QVERIFY(request.outBuffer == nullptr && request.outSize == 0);

        // Entering the Options tab re-reads; values that already show send nothing.
        system.clearLog();
        window->tabWidget->setCurrentWidget(window->optionTab);
        QCOMPARE(int(system.requestsWith(orvanta::IOCTL_GET_OPTIONS).size()), 1);
        QVERIFY(optionPayloads(system).isEmpty());
        window->tabWidget->setCurrentWidget(window->statusTab);
        window->tabWidget->setCurrentWidget(window->optionTab);
        QCOMPARE(int(system.requestsWith(orvanta::IOCTL_GET_OPTIONS).size()), 2);
        QVERIFY(optionPayloads(system).isEmpty());

        // A hand toggle sends one request with the other boxes' states.
        system.clearLog();
        window->show();
        QTest::mouseClick(window->writeCacheCheckBox, Qt::LeftButton, Qt::KeyboardModifiers(),
                          QPoint(5, 5));
        QCOMPARE(optionPayloads(system), QList<QByteArray>{"01000000010000000100000001000000"});

        // Any non-zero value ticks; what goes back is 1.
        system.clearLog();
        system.options = OptionsRecord{2, 0, 0, 0};
        window->loadOptions();
        QVERIFY(window->prefetcherCheckBox->isChecked());
        QCOMPARE(optionPayloads(system).last(), QByteArray("01000000000000000000000000000000"));

        // A failed read leaves the boxes as they are.
        system.clearLog();
        system.failing.insert(orvanta::IOCTL_GET_OPTIONS);
        window->loadOptions();
        QVERIFY(window->prefetcherCheckBox->isChecked());
        QVERIFY(optionPayloads(system).isEmpty());
    }

    void timerFollowsTabAndTray() {
        RecordingSystem system;
        system.status.state = 1;
        auto window = makeWindow(system);
        QVERIFY(window->isVisible());
        QVERIFY(!window->trayIcon->isVisible());
        QVERIFY(window->statisticsTimer->isActive());
        QCOMPARE(window->statisticsTimer->interval(), 25);

        // It polls: requests keep coming while the Status tab is shown.
        system.clearLog();
        QTRY_VERIFY(system.requestsWith(orvanta::IOCTL_GET_STATUS).size() >= 3);

        window->tabWidget->setCurrentWidget(window->cacheTab);
        QVERIFY(!window->statisticsTimer->isActive());
        window->tabWidget->setCurrentWidget(window->infoTab);
        QVERIFY(!window->statisticsTimer->isActive());
        window->tabWidget->setCurrentWidget(window->statusTab);
        QVERIFY(window->statisticsTimer->isActive());

        // Minimise: the icon shows at once, the window goes 250 ms later, polling stops.
        window->tabWidget->setCurrentWidget(window->optionTab);
        window->setWindowState(Qt::WindowMinimized);
        QVERIFY(window->trayIcon->isVisible());
        QVERIFY(!window->statisticsTimer->isActive());
        QVERIFY(window->isVisible());
        QTest::qWait(120);
        QVERIFY(window->isVisible());
        QTRY_VERIFY(!window->isVisible());

        // A right click restores like any other activation; off the Status tab it stays quiet.
        emit window->trayIcon->activated(QSystemTrayIcon::Context);
        QVERIFY(window->isVisible());
        QVERIFY(!window->trayIcon->isVisible());
        QVERIFY(!window->statisticsTimer->isActive());
        window->tabWidget->setCurrentWidget(window->statusTab);
        QVERIFY(window->statisticsTimer->isActive());

        window->setWindowState(Qt::WindowMinimized);
        QTRY_VERIFY(!window->isVisible());
        emit window->trayIcon->activated(QSystemTrayIcon::MiddleClick);
        QVERIFY(window->isVisible());
        QVERIFY(window->statisticsTimer->isActive());
        QVERIFY(!(window->windowState() & Qt::WindowMinimized));
    }

    void restoreBeforeTheDelayedHideKeepsTheWindow() {
        RecordingSystem system;
        auto window = makeWindow(system);
        window->setWindowState(Qt::WindowMinimized);
        QVERIFY(window->trayIcon->isVisible());
        QTest::qWait(50);
        QVERIFY(window->isVisible());
        emit window->trayIcon->activated(QSystemTrayIcon::Trigger);
        QTest::qWait(400);
        // Hidden with its icon gone, the window could never be brought back.
        QVERIFY(window->isVisible() || window->trayIcon->isVisible());
        QVERIFY(window->isVisible());
    }

    void hiddenStartPollsBehindTheIcon() {
        RecordingSystem system;
        system.status.state = 1;
        auto window = makeWindow(system, true);
        QVERIFY(!window->isVisible());
        QVERIFY(window->trayIcon->isVisible());
        QVERIFY(window->statisticsTimer->isActive());
        system.clearLog();
        QTRY_VERIFY(system.requestsWith(orvanta::IOCTL_GET_STATUS).size() >= 3);
        emit window->trayIcon->activated(QSystemTrayIcon::Trigger);
        QVERIFY(window->isVisible());
        QVERIFY(!window->trayIcon->isVisible());
    }

    void refusedOptionShowsTheDriversValue() {
        RecordingSystem system;
        system.status.state = 1;
        system.options.prefetcherEnabled = 1;
        auto window = makeWindow(system);
        QVERIFY(window->prefetcherCheckBox->isChecked());

        // Refused: the boxes show what the driver holds (here changed meanwhile), read back
        // without sending it again.
        system.failing.insert(orvanta::IOCTL_SET_OPTIONS);
        system.options.saveMemory = 1;
        system.clearLog();
        window->writeCacheCheckBox->click();
        QVERIFY(!window->writeCacheCheckBox->isChecked());
        QVERIFY(window->memoryCheckBox->isChecked());
        QVERIFY(window->prefetcherCheckBox->isChecked());
        QCOMPARE(optionPayloads(system), QList<QByteArray>{"01000000000000000100000000000000"});
        QCOMPARE(system.requestsWith(orvanta::IOCTL_GET_OPTIONS).size(), std::size_t(1));

        // Where the driver cannot even be asked, the box goes back to what it was.
        system.failing.insert(orvanta::IOCTL_GET_OPTIONS);
        window->speculativeCheckBox->click();
        QVERIFY(!window->speculativeCheckBox->isChecked());
        window->prefetcherCheckBox->click();
        QVERIFY(window->prefetcherCheckBox->isChecked());

        // Taken: the box keeps the user's choice and nothing is read back.
        system.failing.clear();
        system.clearLog();
        window->speculativeCheckBox->click();
        QVERIFY(window->speculativeCheckBox->isChecked());
        QVERIFY(system.requestsWith(orvanta::IOCTL_GET_OPTIONS).empty());
    }

    void autostartPreference() {
        RecordingSystem system;
        {
            auto window = makeWindow(system);
            QVERIFY(!window->trayCheckBox->isChecked());
        }
        QVERIFY2(!store.stored().isValid(), "a missing value is not written");

        store.store(QStringLiteral("1"));
        {
            auto window = makeWindow(system);
            QVERIFY2(!window->trayCheckBox->isChecked(),
                     "a 1 stored as text is not the preference");
        }
        QCOMPARE(store.stored(), QVariant(QStringLiteral("1")));

        store.store(0);
        {
            auto window = makeWindow(system);
            QVERIFY(!window->trayCheckBox->isChecked());
        }

        store.store(1);
        store.mark();
        {
            auto window = makeWindow(system);
            QVERIFY(window->trayCheckBox->isChecked());
            QVERIFY2(store.writtenSinceMark(), "checking the box writes the 1 again");
            QCOMPARE(store.stored(), QVariant(1));

            // Unchecking writes the integer 0; minimising still goes to the notification area.
            window->trayCheckBox->setChecked(false);
            QCOMPARE(store.stored(), QVariant(0));
            window->trayCheckBox->setChecked(true);
            QCOMPARE(store.stored(), QVariant(1));
            window->trayCheckBox->setChecked(false);
            window->setWindowState(Qt::WindowMinimized);
            QVERIFY(window->trayIcon->isVisible());
        }
    }

    void formAfterSetup() {
        RecordingSystem system;
        auto window = makeWindow(system);
        QCOMPARE(window->objectName(), QStringLiteral("MainWindow"));
        QCOMPARE(window->windowTitle(), QStringLiteral("Orvanta Monitor"));
        QCOMPARE(window->tabWidget->count(), 4);
        QCOMPARE(window->tabWidget->currentWidget(), window->statusTab);
        QCOMPARE(window->tabWidget->tabText(1), QStringLiteral("Caches"));
        QCOMPARE(window->font().pointSize(), 8);
        QCOMPARE(window->cachesLayout->spacing(), 2);
        QVERIFY(window->infoText->openExternalLinks());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
