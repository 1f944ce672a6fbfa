// The Status tab's counters change 40 times a second. A refresh repaints the labels whose text
// changed and not the rest of the window; a text that needs more room still lays the window out
// exactly as a fresh window showing it.
#include "gui/mainwindow.h"
#include "recordingsystem.h"
#include "teststore.h"

#include <QImage>
#include <QLabel>
#include <QMetaMethod>
#include <QPushButton>
#include <QSet>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using orvanta::StatusRecord;
using orvanta::testing::RecordingSystem;

namespace {

class PaintRecorder : public QObject {
public:
    QSet<QObject *> painted;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Paint)
            painted.insert(watched);
        return QObject::eventFilter(watched, event);
    }
};

StatusRecord running(std::uint64_t requests, std::uint64_t bytes, std::uint64_t elapsedMs) {
    StatusRecord record{};
    record.state = 1;
    record.memoryUsed = 52428800;
    record.totalRequests = requests;
    record.totalBytes = bytes;
    record.elapsedMs = elapsedMs;
    return record;
}

void settle() {
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

} // namespace

class TestStatusLayout : public QObject {
    Q_OBJECT

private:
    QTemporaryDir simRoot;
    TestSettingsStore store;

    std::unique_ptr<MainWindow> shownWindow(RecordingSystem &system) {
        auto window = std::make_unique<MainWindow>(nullptr, false, system);
        window->statisticsTimer->stop(); // the test refreshes by hand
        if (!QTest::qWaitForWindowExposed(window.get()))
            return nullptr;
        settle();
        return window;
    }
    static void refresh(MainWindow &window) {
        QVERIFY(QMetaObject::invokeMethod(&window, "updateStatistics"));
        settle();
    }

private slots:
    void initTestCase() {
        QVERIFY(simRoot.isValid());
        qputenv("ORVANTA_SIM_ROOT", simRoot.path().toLocal8Bit());
    }

    void aRefreshRepaintsTheChangedLabelsOnly() {
        RecordingSystem system;
        system.status = running(1000, std::uint64_t(100) << 20, 2000);
        auto window = shownWindow(system);
        QVERIFY(window);
        refresh(*window);

        // Digits of the same count: the labels keep their room.
        system.status = running(2000, std::uint64_t(200) << 20, 3000);
        PaintRecorder recorder;
        qApp->installEventFilter(&recorder);
        refresh(*window);
        qApp->removeEventFilter(&recorder);

        QVERIFY(recorder.painted.contains(window->totalRequestsNumber));
        QVERIFY(recorder.painted.contains(window->totalBytesNumber));
        const QList<QWidget *> untouched = {
            static_cast<QWidget *>(window->tabWidget->tabBar()),
            window->statusLabel,
            window->statusNumber,
            window->memoryLabel,
            window->memoryNumber,
            window->totalRequestsLabel,
            window->totalBytesLabel,
            window->clearStatsButton,
        };
        for (QWidget *widget : untouched)
            QVERIFY2(!recorder.painted.contains(widget), qPrintable(widget->objectName()));
    }

    void textsThatNeedMoreRoomLayOutAsAFreshWindow() {
        RecordingSystem system;
        system.status = running(1, 1 << 20, 1000);
        auto grown = shownWindow(system);
        QVERIFY(grown);
        // Ever longer texts, then the longest state word with its reason.
        for (std::uint64_t requests = 10; requests < (std::uint64_t(1) << 63); requests *= 10) {
            system.status = running(requests, requests << 10, 1);
            refresh(*grown);
        }
        system.status.state = 0xffffffffu;
        refresh(*grown);
        QVERIFY(grown->totalRequestsNumber->width() >=
                grown->totalRequestsNumber->sizeHint().width());

        RecordingSystem same;
        same.status = system.status;
        auto fresh = shownWindow(same);
        QVERIFY(fresh);
        QCOMPARE(fresh->minimumSize(), grown->minimumSize());
        fresh->resize(grown->size());
        settle();

        const QList<QWidget *> widgets = grown->findChildren<QWidget *>();
        const QList<QWidget *> freshWidgets = fresh->findChildren<QWidget *>();
        QCOMPARE(widgets.size(), freshWidgets.size());
        for (int i = 0; i < widgets.size(); ++i) {
            QCOMPARE(widgets[i]->objectName(), freshWidgets[i]->objectName());
            QVERIFY2(widgets[i]->geometry() == freshWidgets[i]->geometry(),
                     qPrintable(widgets[i]->objectName()));
        }
        QCOMPARE(grown->grab().toImage(), fresh->grab().toImage());
    }
};

QTEST_MAIN(TestStatusLayout)
#include "tst_statuslayout.moc"
