// The window against the recording fake: what it shows of the driver's answers, what each
// control sends, and what it stores.
#include "core/cachetable.h"
#include "gui/cacheframe.h"
#include "gui/counterlabel.h"
#include "gui/mainwindow.h"
#include "recordingsystem.h"
#include "teststore.h"
#include "warnings.h"

#include <QAccessible>
#include <QFormLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QtTest>

#include <functional>

using namespace orvanta;
using orvanta::testing::GB;
using orvanta::testing::RecordingSystem;

namespace {
QByteArray hex(const std::vector<std::uint8_t> &bytes) {
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size())).toHex();
}

QByteArray lastSent(const RecordingSystem &system, std::uint32_t code) {
    const auto requests = system.requestsWith(code);
    return requests.empty() ? QByteArray() : hex(requests.back().in);
}

void refresh(MainWindow &window) {
    QMetaObject::invokeMethod(&window, "updateStatistics");
}

// Notes the paint events and layout requests that reach widgets, as "type:objectName".
struct EventLog : QObject {
    QStringList seen;
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Paint || event->type() == QEvent::LayoutRequest)
            seen << QStringLiteral("%1:%2").arg(int(event->type())).arg(watched->objectName());
        return false;
    }
};

// A layout request climbs one container a turn of the event loop, and a window's new size comes
// back from the platform as an event of its own.
void settle() {
    for (int turn = 0; turn < 10; ++turn)
        QCoreApplication::processEvents();
}
} // namespace

class TestWindow : public QObject {
    Q_OBJECT

    TestSettingsStore store;
    RecordingSystem system;
    std::unique_ptr<MainWindow> window(bool hidden = false) {
        return std::make_unique<MainWindow>(nullptr, hidden, system, store.settings());
    }

private slots:
    void init() {
        store.clear();
        system = RecordingSystem();
        system.status.state = 1;
    }

    void statusFollowsTheDriver() {
        system.status = StatusRecord{3, -2, 0, 1048576, 3, std::uint64_t(1) << 60, 1000};
        auto w = window();
        const auto shown = [&w] {
            QStringList texts = {w->statusNumber->toolTip()};
            for (QLabel *label :
                 {w->statusNumber, w->memoryNumber, w->totalRequestsNumber, w->totalBytesNumber,
                  w->averageRequestsNumber, w->averageBytesNumber})
                texts << label->text();
            const QList<QWidget *> controls = {w->clearStatsButton,   w->prefetcherCheckBox,
                                               w->memoryCheckBox,     w->speculativeCheckBox,
                                               w->writeCacheCheckBox, w->cacheTab,
                                               w->trayCheckBox};
            for (QWidget *control : controls)
                texts.last() += control->isEnabled() ? QStringLiteral(" +") : QStringLiteral(" -");
            return texts.join(QLatin1Char('|'));
        };
        QCOMPARE(shown(), QLatin1String("Reason: -2|Failsafe|1 MB|3|1099511627776 "
                                        "MB|3|1125899906842624 kB/s - - - - - - +"));
        for (const char *expected :
             {"|Disabled|1 MB|3|1099511627776 MB|3|1125899906842624 kB/s + + + + + + +",
              "|Unknown|1 MB|3|1099511627776 MB|3|1125899906842624 kB/s - - - - - - +"}) {
            system.status.state = expected[1] == 'D' ? 2 : 4;
            refresh(*w);
            QCOMPARE(shown(), QLatin1String(expected));
        }
        // A failed request reads as a stopped driver, whatever the record held before.
        system.failing.insert(IOCTL_GET_STATUS);
        refresh(*w);
        QCOMPARE(shown(), QLatin1String("|Not running|0 MB|0|0 MB|-|- - - - - - - +"));
        system.failing.clear();
        system.status.state = 1;
        refresh(*w);
        w->clearStatsButton->click();
        const auto clears = system.requestsWith(IOCTL_CLEAR_STATISTICS);
        QVERIFY(clears.size() == 1 && clears[0].inSize + clears[0].outSize == 0);
    }

    // The Status tab repaints its numbers alone, over a picture it keeps of what lies beneath
    // them, and lays out only when a text changes size: whatever the window went through, it
    // must look as a window built for the same record does, with plain labels in their place.
    void statusRepaintsAsAFreshWindow() {
        system.status = StatusRecord{1, 0, 0, 1048576, 10, 20, 1000};
        auto driven = window();
        settle();
        {
            // Texts that keep their size repaint those labels alone and lay nothing out.
            EventLog log;
            for (QWidget *widget : driven->findChildren<QWidget *>())
                widget->installEventFilter(&log);
            system.status.memoryUsed = 2 << 20, system.status.totalRequests = 90;
            refresh(*driven);
            settle();
            log.seen.sort();
            QCOMPARE(
                log.seen.join(QLatin1Char(' ')),
                QLatin1String("12:averageRequestsNumber 12:memoryNumber 12:totalRequestsNumber"));
        }
        const auto reference = [&] {
            auto plain = window();
            plain->setPalette(driven->palette());
            plain->setFont(driven->font());
            plain->setLayoutDirection(driven->layoutDirection());
            plain->statusLabel->setVisible(driven->statusLabel->isVisible());
            plain->statusNumber->setVisible(driven->statusNumber->isVisible());
            plain->resize(driven->size());
            settle();
            // The new window takes the focus from the one under test; some styles draw it.
            if (QWidget *focused = QApplication::focusWidget())
                focused->clearFocus();
            // Each number a plain label in its place, laid out as Qt lays a plain label out.
            for (CounterLabel *counter : plain->findChildren<CounterLabel *>()) {
                if (counter->isHidden())
                    continue;
                auto *label = new QLabel(counter->text());
                label->setAlignment(counter->alignment());
                if (counter->testAttribute(Qt::WA_SetLayoutDirection))
                    label->setLayoutDirection(counter->layoutDirection());
                for (QFormLayout *layout : plain->findChildren<QFormLayout *>()) {
                    if (QLayoutItem *replaced = layout->replaceWidget(counter, label)) {
                        delete replaced;
                        layout->setAlignment(label, Qt::Alignment());
                    }
                }
                counter->hide();
            }
            settle();
            return plain->grab().toImage();
        };
        const auto step = [&](const char *what, const std::function<void()> &change) {
            change();
            refresh(*driven);
            settle();
            const QImage shown = driven->grab().toImage();
            const QImage expected = reference();
            QVERIFY2(shown == expected, what);
        };
        step("as wide", [] {});
        step("wider", [&] { system.status.totalBytes = std::uint64_t(1) << 50; });
        step("narrower", [&] { system.status.totalBytes = 70; });
        step("longer word", [&] { system.status.state = 0; });
        step("failsafe", [&] { system.status.state = 3, system.status.failsafeReason = 7; });
        step("resized", [&] { driven->resize(driven->size() + QSize(90, 80)); });
        step("palette", [&] { driven->setPalette(QPalette(QColor(40, 90, 60))); });
        step("row hidden", [&] { driven->statusLabel->hide(), driven->statusNumber->hide(); });
        step("grown", [&] { system.status.totalRequests = std::uint64_t(1) << 62; });
        step("right to left", [&] { driven->setLayoutDirection(Qt::RightToLeft); });
        step("font", [&] { driven->setFont(QFont(driven->font().family(), 14)); });
        const QString style = QApplication::style()->objectName();
        step("style", [&] { QApplication::setStyle(QStringLiteral("Windows")); });
        QApplication::setStyle(style);
    }

    // Loading shows the driver's options and sends nothing; a toggle changes its own option alone,
    // the others as the driver holds them then, under the writers' lock.
    void optionsShowWhatTheDriverHolds() {
        system.options = OptionsRecord{1, 1, 0, 1};
        auto w = window();
        QVERIFY(system.requestsWith(IOCTL_SET_OPTIONS).empty() &&
                w->speculativeCheckBox->isChecked());
        system.options.disableSpeculative = 0; // from a console, behind the open tab
        system.clearLog();
        w->writeCacheCheckBox->click();
        QCOMPARE(lastSent(system, IOCTL_SET_OPTIONS),
                 QByteArray("01000000010000000100000000000000"));
        // Read, sent and read back under the writers' lock, which is given back.
        QVERIFY(std::all_of(system.requests.begin(), system.requests.end(),
                            [](const auto &request) { return request.underLock; }) &&
                !system.writersLocked);
        QVERIFY(!w->speculativeCheckBox->isChecked());
        // Refused: the boxes show what the driver holds, without sending it again.
        system.failing.insert(IOCTL_SET_OPTIONS);
        system.options = OptionsRecord{1, 0, 0, 1};
        system.clearLog();
        w->prefetcherCheckBox->click();
        QVERIFY(w->prefetcherCheckBox->isChecked() && !w->memoryCheckBox->isChecked());
        QCOMPARE(system.requestsWith(IOCTL_SET_OPTIONS).size(), std::size_t(1));
        // Another writer keeps the lock: nothing is read or sent, the box goes back, and the
        // user is told once.
        system.lockKeptByOther = true;
        system.clearLog();
        Warnings warnings;
        w->memoryCheckBox->click();
        QVERIFY(system.requests.empty() && !w->memoryCheckBox->isChecked());
        QCOMPARE(warnings.seen.size(), 1);
        QVERIFY(warnings.seen[0].startsWith("Warning|Another program is changing"));
        system.lockKeptByOther = false;
        system.failing.insert(IOCTL_GET_OPTIONS);
        w->speculativeCheckBox->click();
        QVERIFY(w->speculativeCheckBox->isChecked());
        system.failing.clear();
        system.options = OptionsRecord{}; // the tab reads the driver again each time it is shown
        w->tabWidget->setCurrentWidget(w->optionTab);
        QVERIFY(!w->speculativeCheckBox->isChecked());
    }

    void pollingFollowsTabAndTray() {
        auto w = window();
        QVERIFY(w->isVisible() && !w->trayIcon->isVisible());
        QCOMPARE(w->statisticsTimer->interval(), 25);
        QTRY_VERIFY(system.requestsWith(IOCTL_GET_STATUS).size() >= 3);
        w->tabWidget->setCurrentWidget(w->infoTab);
        QVERIFY(!w->statisticsTimer->isActive());
        w->tabWidget->setCurrentWidget(w->statusTab);
        // Minimise: the icon at once, the window 250 ms later; any activation restores, and a
        // restore before the delayed hide keeps the window.
        w->setWindowState(Qt::WindowMinimized);
        QVERIFY(w->trayIcon->isVisible() && !w->statisticsTimer->isActive());
        QTest::qWait(120);
        QVERIFY(w->isVisible());
        QTRY_VERIFY(!w->isVisible());
        // A right click: the icon goes once its own event is done, not from inside it, where
        // hiding it deleted the widget Qt was still delivering the click to.
        emit w->trayIcon->activated(QSystemTrayIcon::Context);
        QVERIFY(w->isVisible() && w->statisticsTimer->isActive() && w->trayIcon->isVisible());
        QTRY_VERIFY(!w->trayIcon->isVisible());
        QVERIFY(!(w->windowState() & Qt::WindowMinimized));
        w->setWindowState(Qt::WindowMinimized);
        QTest::qWait(50);
        emit w->trayIcon->activated(QSystemTrayIcon::Trigger);
        QTest::qWait(400);
        QVERIFY(w->isVisible());
    }

    void autostartIsANonZeroNumber() {
        window();
        QVERIFY2(!store.stored().isValid(), "a missing value is not written");
        for (const QVariant &value : {QVariant(QStringLiteral("1")), QVariant(0), QVariant(1),
                                      QVariant(qlonglong(5000000000))}) {
            store.store(value);
            auto w = window();
            const bool wanted = value.toLongLong() != 0 && value.userType() != QMetaType::QString;
            QCOMPARE(w->trayCheckBox->isChecked(), wanted);
            // A text stays a text; a value that checks the box is written once more, as 1.
            QCOMPARE(store.stored(), wanted ? QVariant(1) : value);
            QCOMPARE(store.stored().userType(), wanted ? int(QMetaType::Int) : value.userType());
            w->trayCheckBox->toggle();
            QCOMPARE(store.stored(), QVariant(w->trayCheckBox->isChecked() ? 1 : 0));
        }
    }

    void cacheRowsPullBackToWhatIsFree() {
        system.volumes[L'D'].fileSystem = std::wstring(L"FAT32");
        system.volumes[L'E'].freeBytes = 10 * GB - 3 * GB / 2; // and the driver's 1.5 GB
        system.files[L"E:\\orvn#001.io"] = 3 * GB / 2;
        appendEntry(system.cacheTable, "E:\\", 3, 0);
        system.cacheTable.status = 1;
        auto w = window();
        QCOMPARE(w->cacheFrames().size(), 1);
        QVERIFY(w->cacheList->findChild<QFrame *>(QStringLiteral("line"))); // the rule below a row
        CacheFrame *row = w->cacheFrames()[0];
        QCOMPARE(row->findChild<QLabel *>(QStringLiteral("driveLetter"))->text(), "E:\\");
        const struct {
            int chosen, shown;
            const char *label;
        } steps[] = {{3, 3, "7 GB free"}, {5, 5, "5 GB free"}, {9, 8, "2 GB free"},
                     {3, 3, "7 GB free"}, {1, 1, "9 GB free"}, {16, 8, "2 GB free"}};
        for (const auto &step : steps) {
            system.clearLog();
            row->sizeBox()->setValue(step.chosen);
            QCOMPARE(row->sizeBox()->value(), step.shown);
            QCOMPARE(row->freeSpaceLabel()->text(), QLatin1String(step.label));
            QCOMPARE(row->sizeBox()->styleSheet().isEmpty(), step.shown == 3);
            QCOMPARE(w->buttonBox->isEnabled(), step.shown != 3);
            // A pull-back's nested run asks the volume no more.
            QCOMPARE(system.calls.size(), std::size_t(&step == steps ? 0 : 27));
        }
        system.volumes[L'E'].freeBytes = 0;
        system.files.clear();
        row->sizeBox()->setValue(1);
        QCOMPARE(row->sizeBox()->value(), 0);
        QCOMPARE(row->freeSpaceLabel()->text(), QStringLiteral("0 GB free"));
    }

    // What a screen reader reads and where the keyboard's focus goes, without changing anything a
    // sighted user sees.
    void toldToScreenReadersAndKeyboards() {
        system.volumes[L'C'].freeBytes = 12 * GB;
        system.volumes[L'C'].query = VolumeQueryResult{1, 700};
        auto w = window();
        const auto told = [](QWidget *widget, QAccessible::Text kind) {
            return QAccessible::queryAccessibleInterface(widget)->text(kind);
        };
        QCOMPARE(told(w->memoryNumber, QAccessible::Name), QLatin1String("Memory used: 0 MB"));
        const QString prefetcher = told(w->prefetcherCheckBox, QAccessible::Description);
        QVERIFY2(prefetcher.startsWith("Enables/disables the prefetcher.") &&
                     !prefetcher.contains(QLatin1Char('<')),
                 qPrintable(prefetcher));
        w->tabWidget->setCurrentWidget(w->cacheTab);
        QApplication::setActiveWindow(w.get());
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QSpinBox *box = w->cacheFrames()[0]->sizeBox();
        QCOMPARE(told(box, QAccessible::Name), QLatin1String("C:\\ cache, 12 GB free"));
        for (QDialogButtonBox::StandardButton button :
             {QDialogButtonBox::Cancel, QDialogButtonBox::Ok}) {
            box->setValue(3);
            QCOMPARE(told(box, QAccessible::Name), QLatin1String("C:\\ cache, 9 GB free"));
            QCOMPARE(told(box, QAccessible::Description),
                     QLatin1String("Changed, not applied yet"));
            w->buttonBox->button(button)->setFocus();
            QTest::keyClick(w->buttonBox->button(button), Qt::Key_Space);
            QCOMPARE(QApplication::focusWidget(), box);
        }
        QVERIFY(told(box, QAccessible::Description).isEmpty());
    }

    void cacheApplyAndDiscard() {
        system.volumes[L'C'].query = VolumeQueryResult{1, 700};
        system.volumes[L'E'], system.volumes[L'F'];
        // What OK must carry as the driver holds it: a size below whole GB, ratings, two entries
        // for one volume, a size above what a row can show, an entry without a row in lower case.
        appendEntry(system.cacheTable, "E:\\", 0, 180)->sizeBytes = 5 * GB / 2;
        appendEntry(system.cacheTable, "F:\\", 20, 9);
        appendEntry(system.cacheTable, "q:\\", 3, 5);
        appendEntry(system.cacheTable, "e:\\", 1, 4);
        system.cacheTable.status = 1;
        auto w = window();
        const auto row = [&w](int i) { return w->cacheFrames()[i]->sizeBox(); };
        row(0)->setValue(4);
        row(1)->setValue(3);
        w->buttonBox->button(QDialogButtonBox::Cancel)->click();
        QVERIFY(row(1)->value() == 1 && row(2)->value() == 16 && w->buttonBox->isEnabled());
        // A size too large for its box is no change of the user's: the tab still reads again.
        CacheEntry &second = *const_cast<CacheEntry *>(findEntry(system.cacheTable, "E:\\"));
        setEntrySizeGB(second, 3);
        w->tabWidget->setCurrentWidget(w->cacheTab);
        QCOMPARE(row(1)->value(), 3);
        w->tabWidget->setCurrentWidget(w->statusTab);
        setEntrySizeGB(second, 1);
        row(0)->setValue(4);
        system.clearLog();
        w->buttonBox->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(system.requestsWith(IOCTL_SET_CACHE_TABLE).size(), std::size_t(1));
        QCOMPARE(lastSent(system, IOCTL_SET_CACHE_TABLE),
                 hex(testing::expectedTable({{"C:\\", 4, 700},
                                             {"E:\\", 2.5, 180},
                                             {"e:\\", 1, 4},
                                             {"F:\\", 20, 9},
                                             {"q:\\", 3, 5}})));
        const auto set = system.requestsWith(IOCTL_SET_CACHE_TABLE)[0];
        QVERIFY(set.inBuffer == set.outBuffer && set.outSize == 2296 && set.underLock);
        QCOMPARE(system.requestsWith(IOCTL_QUERY_VOLUME).size(), std::size_t(1)); // C: alone
        QVERIFY(system.requests.front().underLock && system.requests.back().underLock);
        QCOMPARE(system.requests.back().code, IOCTL_GET_CACHE_TABLE);

        // Changed behind the window, as from a console: an OK on another row keeps it, and the
        // tab shows the driver's layout each time it comes into view. A changed row whose volume
        // the driver does not rate keeps the rating it held.
        setEntrySizeGB(*const_cast<CacheEntry *>(findEntry(system.cacheTable, "F:\\")), 5);
        row(0)->setValue(3);
        row(2)->setValue(6);
        w->buttonBox->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(lastSent(system, IOCTL_SET_CACHE_TABLE),
                 hex(testing::expectedTable({{"C:\\", 3, 700},
                                             {"E:\\", 2.5, 180},
                                             {"e:\\", 1, 4},
                                             {"F:\\", 6, 9},
                                             {"q:\\", 3, 5}})));
        setEntrySizeGB(*const_cast<CacheEntry *>(findEntry(system.cacheTable, "F:\\")), 1);
        w->tabWidget->setCurrentWidget(w->cacheTab);
        QVERIFY(row(1)->value() == 1 && row(2)->value() == 1);

        // Another writer keeps the lock: nothing is sent, the change stays to be sent again.
        system.lockKeptByOther = true;
        row(0)->setValue(5);
        system.clearLog();
        Warnings warnings;
        w->buttonBox->button(QDialogButtonBox::Ok)->click();
        QVERIFY(system.requests.empty() && row(0)->value() == 5 && w->buttonBox->isEnabled());
        system.lockKeptByOther = false;

        // Refused: one warning, and the rows show the driver's table.
        system.setTableStatus = 0;
        system.setStoresTable = false;
        w->buttonBox->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(warnings.seen.size(), 2);
        QVERIFY(warnings.seen[0].startsWith("Warning|Another program is changing"));
        QCOMPARE(warnings.seen[1], QLatin1String("Warning|Could not enable all caches."));
        QVERIFY(row(0)->value() == 3 && row(1)->value() == 1 && row(2)->value() == 1);

        // A table that cannot be read locks the rows and is never sent: F:'s 2 GB would go.
        // Each showing of the tab reads again, until an answer brings the rows back.
        system.failing.insert(IOCTL_GET_CACHE_TABLE);
        w = window();
        auto *label = w->findChild<QLabel *>(QStringLiteral("cacheTableUnreadLabel"));
        w->tabWidget->setCurrentWidget(w->cacheTab);
        QVERIFY(label->isVisible() && !row(0)->isEnabled() && !w->buttonBox->isEnabled());
        row(0)->setValue(5);
        emit w->buttonBox->accepted();
        QCOMPARE(system.requestsWith(IOCTL_SET_CACHE_TABLE).size(), std::size_t(1));
        system.failing.clear();
        w->tabWidget->setCurrentWidget(w->statusTab);
        w->tabWidget->setCurrentWidget(w->cacheTab);
        QVERIFY(!label->isVisible() && row(0)->isEnabled() && row(2)->value() == 1 &&
                !w->buttonBox->isEnabled());
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
