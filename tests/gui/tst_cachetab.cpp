// The Caches tab against the recording fake: which volumes get rows, the rows' pull-back and
// marking, and what apply and reset send.
#include "boxanswerer.h"
#include "core/cachetable.h"
#include "expectedtable.h"
#include "gui/cacheframe.h"
#include "gui/mainwindow.h"
#include "recordingsystem.h"
#include "teststore.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace orvanta;
using orvanta::testing::RecordingSystem;

namespace {
constexpr std::uint64_t GB = std::uint64_t(1) << 30;

int callsStartingWith(const RecordingSystem &system, const char *prefix) {
    int count = 0;
    for (const std::string &call : system.calls)
        count += call.rfind(prefix, 0) == 0 ? 1 : 0;
    return count;
}

RecordingSystem::Volume ntfs(std::uint64_t freeBytes) {
    RecordingSystem::Volume volume;
    volume.freeBytes = freeBytes;
    return volume;
}

} // namespace

class TestCacheTab : public QObject {
    Q_OBJECT

private:
    QTemporaryDir simRoot;
    TestSettingsStore store;

    std::unique_ptr<MainWindow> makeWindow(RecordingSystem &system) {
        system.status.state = 1;
        return std::make_unique<MainWindow>(nullptr, false, system);
    }
    static CacheFrame *row(MainWindow &window, int index) { return window.cacheFrames().at(index); }

private slots:
    void initTestCase() {
        QVERIFY(simRoot.isValid());
        qputenv("ORVANTA_SIM_ROOT", simRoot.path().toLocal8Bit());
    }

    void rowsForEligibleVolumesOnly() {
        RecordingSystem system;
        system.volumes[L'C'] = ntfs(100 * GB);
        system.volumes[L'D'] = ntfs(100 * GB);
        system.volumes[L'D'].fileSystem = std::wstring(L"FAT32");
        system.volumes[L'E'] = ntfs(100 * GB);
        system.volumes[L'F'] = ntfs(100 * GB);
        system.volumes[L'F'].fileSystem = std::wstring(L"exFAT");
        system.volumes[L'G'] = ntfs(100 * GB);
        system.volumes[L'G'].fileSystem = std::wstring(L"ntfs");
        system.volumes[L'H'] = ntfs(100 * GB);
        system.volumes[L'H'].type = SystemApi::DriveRemovable;
        system.volumes[L'I'] = ntfs(100 * GB);
        system.volumes[L'I'].type = SystemApi::DriveRemote;
        system.volumes[L'J'] = ntfs(100 * GB);
        system.volumes[L'J'].type = SystemApi::DriveCdrom;
        system.volumes[L'K'] = ntfs(100 * GB);
        system.volumes[L'K'].freeBytes.reset();
        system.volumes[L'L'] = ntfs(100 * GB);
        system.volumes[L'M'] = ntfs(100 * GB);
        system.volumes[L'M'].fileSystem.reset();
        auto window = makeWindow(system);

        QStringList items;
        for (int i = 0; i < window->cachesLayout->count(); ++i) {
            QLayoutItem *item = window->cachesLayout->itemAt(i);
            if (auto *frame = qobject_cast<CacheFrame *>(item->widget()))
                items << frame->volumeRoot();
            else if (item->widget() && item->widget()->inherits("HLine"))
                items << QStringLiteral("rule");
            else if (item->spacerItem())
                items << QStringLiteral("stretch");
        }
        QCOMPARE(items, QStringList({"C:\\", "rule", "E:\\", "rule", "L:\\", "rule", "stretch"}));
        for (CacheFrame *frame : window->cacheFrames())
            QCOMPARE(frame->parentWidget(), window->cacheList);
        QCOMPARE(row(*window, 0)->sizeBox()->maximum(), 16);
        QCOMPARE(row(*window, 0)->sizeBox()->suffix(), QStringLiteral(" GB"));
    }

    void freeSpaceCountsTheDriversFiles() {
        RecordingSystem system;
        system.volumes[L'C'] = ntfs(std::uint64_t(10.9 * GB));
        system.volumes[L'D'] = ntfs(std::uint64_t(10.9 * GB));
        system.files[L"D:\\orvn#001.io"] = 3 * GB;
        system.files[L"D:\\orvn#026.io"] = 1 * GB;
        system.files[L"D:\\orvn#000.io"] = 5 * GB;
        system.files[L"D:\\orvn#027.io"] = 5 * GB;
        auto window = makeWindow(system);
        QCOMPARE(row(*window, 0)->freeSpaceLabel()->text(), QStringLiteral("10 GB free"));
        QCOMPARE(row(*window, 1)->freeSpaceLabel()->text(), QStringLiteral("14 GB free"));
    }

    void pullBack_data() {
        QTest::addColumn<int>("freeGB");
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("chosen");
        QTest::addColumn<int>("shown");
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("dirty");
        QTest::newRow("free 10, 8 stays") << 10 << 0 << 8 << 8 << "2 GB free" << true;
        QTest::newRow("free 10, 9 becomes 8") << 10 << 0 << 9 << 8 << "2 GB free" << true;
        QTest::newRow("free 10, 3") << 10 << 0 << 3 << 3 << "7 GB free" << true;
        QTest::newRow("free 10, 16 becomes 8") << 10 << 0 << 16 << 8 << "2 GB free" << true;
        QTest::newRow("free 2, falls to 0") << 2 << 0 << 1 << 0 << "2 GB free" << false;
        QTest::newRow("free 0, falls to 0") << 0 << 0 << 5 << 0 << "0 GB free" << false;
        QTest::newRow("free 5, 4 in force stays") << 5 << 4 << 4 << 4 << "1 GB free" << false;
        QTest::newRow("free 5, 4 in force, 5 becomes 3") << 5 << 4 << 5 << 3 << "2 GB free" << true;
        QTest::newRow("free 3, 5 in force, never negative")
            << 3 << 5 << 5 << 5 << "0 GB free" << false;
        QTest::newRow("free 40, 20 in force shows 16")
            << 40 << 20 << 16 << 16 << "24 GB free" << true;
    }
    void pullBack() {
        QFETCH(int, freeGB);
        QFETCH(int, stored);
        QFETCH(int, chosen);
        QFETCH(int, shown);
        QFETCH(QString, label);
        QFETCH(bool, dirty);
        RecordingSystem system;
        // The driver's cache file counts as free: it is what the driver would give back.
        system.volumes[L'C'] = ntfs(std::uint64_t(freeGB) * GB - std::uint64_t(stored) * GB / 2);
        system.files[L"C:\\orvn#001.io"] = std::uint64_t(stored) * GB / 2;
        appendEntry(system.cacheTable, "C:\\", stored, 0);
        system.cacheTable.status = 1;
        auto window = makeWindow(system);
        CacheFrame *frame = row(*window, 0);
        QCOMPARE(frame->driverSize(), stored);

        // One change asks the volume once, a pull-back with its nested run included.
        const int queries = frame->sizeBox()->value() != qMin(chosen, 16) ? 1 : 0;
        system.clearLog();
        frame->sizeBox()->setValue(chosen);
        QCOMPARE(callsStartingWith(system, "freeSpace C:\\"), queries);
        QCOMPARE(callsStartingWith(system, "fileSize C:\\"), 26 * queries);
        QCOMPARE(frame->sizeBox()->value(), shown);
        QCOMPARE(frame->freeSpaceLabel()->text(), label);
        QCOMPARE(frame->isDirty(), dirty);
        const QString style = dirty ? QStringLiteral("color: maroon;") : QString();
        QCOMPARE(frame->sizeBox()->styleSheet(), style);
        QCOMPARE(frame->freeSpaceLabel()->styleSheet(), style);
        QCOMPARE(window->buttonBox->isEnabled(), dirty);

        // Back to the driver's size: clean again (as far as the spin box can show it).
        frame->sizeBox()->setValue(stored);
        QCOMPARE(frame->isDirty(), stored > 16);
        QCOMPARE(window->buttonBox->isEnabled(), stored > 16);
    }

    void aLoadAsksEachVolumeOnce() {
        RecordingSystem system;
        system.volumes[L'C'] = ntfs(100 * GB);
        system.volumes[L'D'] = ntfs(100 * GB);
        appendEntry(system.cacheTable, "D:\\", 4, 0);
        system.cacheTable.status = 1;
        auto window = makeWindow(system);
        system.clearLog();
        window->loadCacheTable();
        QCOMPARE(callsStartingWith(system, "freeSpace C:\\"), 1);
        QCOMPARE(callsStartingWith(system, "freeSpace D:\\"), 1);
        QCOMPARE(row(*window, 1)->freeSpaceLabel()->text(), QStringLiteral("96 GB free"));
    }

    void applySendsEveryRowInOrder() {
        RecordingSystem system;
        system.volumes[L'C'] = ntfs(100 * GB);
        system.volumes[L'C'].query = VolumeQueryResult{1, 700};
        system.volumes[L'E'] = ntfs(100 * GB);
        system.volumes[L'E'].query = VolumeQueryResult{2, 300};
        auto window = makeWindow(system);
        QVERIFY(!window->buttonBox->isEnabled());
        row(*window, 0)->sizeBox()->setValue(4);
        QVERIFY(window->buttonBox->isEnabled());

        system.clearLog();
        QTest::mouseClick(window->buttonBox->button(QDialogButtonBox::Ok), Qt::LeftButton);

        const auto sets = system.requestsWith(IOCTL_SET_CACHE_TABLE);
        QCOMPARE(int(sets.size()), 1);
        QCOMPARE(sets[0].inBuffer, static_cast<const void *>(sets[0].outBuffer));
        QCOMPARE(sets[0].inSize, 2296u);
        QCOMPARE(sets[0].outSize, 2296u);
        const QByteArray expected = QByteArray::fromStdString(
            orvanta::testing::expectedTableBytes({{"C:\\", 4, 700}, {"E:\\", 0, 0}}));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(sets[0].in.data()), 2296).toHex(),
                 expected.toHex());

        // Only the row with a size asks its volume; the get request follows the set.
        const auto queries = system.requestsWith(IOCTL_QUERY_VOLUME);
        QCOMPARE(int(queries.size()), 1);
        QCOMPARE(queries[0].device, std::wstring(L"\\\\.\\C:"));
        QCOMPARE(system.requests.back().code, IOCTL_GET_CACHE_TABLE);
        QCOMPARE(row(*window, 0)->driverSize(), 4);
        QVERIFY(!window->buttonBox->isEnabled());
    }

    void failedApplyWarnsOnceAndShowsTheDriversTable() {
        RecordingSystem system;
        system.volumes[L'C'] = ntfs(100 * GB);
        system.volumes[L'D'] = ntfs(100 * GB);
        system.setTableStatus = 0;
        system.setStoresTable = false;
        appendEntry(system.cacheTable, "D:\\", 2, 0);
        system.cacheTable.status = 1;
        auto window = makeWindow(system);
        row(*window, 0)->sizeBox()->setValue(6);

        BoxAnswerer answerer;
        window->buttonBox->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(answerer.seen, QStringList{"Warning|Could not enable all caches."});
        QCOMPARE(row(*window, 0)->sizeBox()->value(), 0);
        QCOMPARE(row(*window, 1)->sizeBox()->value(), 2);
        QVERIFY(!window->buttonBox->isEnabled());

        // A driver that is gone: the warning, then a layout that cannot be read, so the rows
        // are locked rather than shown at 0 GB.
        system.driverLoaded = false;
        row(*window, 0)->sizeBox()->setValue(3);
        window->buttonBox->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(answerer.seen.size(), 2);
        QVERIFY(!window->cacheTableKnown());
        QVERIFY(!row(*window, 0)->sizeBox()->isEnabled());
        QVERIFY(!window->buttonBox->isEnabled());
    }

    void anUnreadLayoutIsNeverSent() {
        RecordingSystem system;
        system.volumes[L'C'] = ntfs(100 * GB);
        system.volumes[L'D'] = ntfs(100 * GB);
        appendEntry(system.cacheTable, "D:\\", 6, 0);
        system.cacheTable.status = 1;
        system.failing.insert(orvanta::IOCTL_GET_CACHE_TABLE);
        auto window = makeWindow(system);
        const auto *unread = window->findChild<QLabel *>(QStringLiteral("cacheTableUnreadLabel"));
        QVERIFY(unread);
        window->tabWidget->setCurrentWidget(window->cacheTab);
        QVERIFY(unread->isVisible());
        QVERIFY(!row(*window, 0)->sizeBox()->isEnabled());
        QVERIFY(!window->buttonBox->isEnabled());

        // Even a change that reaches a row, and OK, send nothing: D:'s 6 GB would be dropped.
        row(*window, 0)->sizeBox()->setValue(4);
        QVERIFY(!window->buttonBox->isEnabled());
        emit window->buttonBox->accepted();
        QVERIFY(system.requestsWith(orvanta::IOCTL_SET_CACHE_TABLE).empty());

        // Each showing of the tab reads again; the first answer brings the rows back.
        QCOMPARE(system.requestsWith(orvanta::IOCTL_GET_CACHE_TABLE).size(), std::size_t(2));
        system.failing.clear();
        window->tabWidget->setCurrentWidget(window->statusTab);
        window->tabWidget->setCurrentWidget(window->cacheTab);
        QVERIFY(window->cacheTableKnown());
        QVERIFY(!unread->isVisible());
        QVERIFY(row(*window, 0)->sizeBox()->isEnabled());
        QCOMPARE(row(*window, 0)->sizeBox()->value(), 0);
        QCOMPARE(row(*window, 1)->sizeBox()->value(), 6);
        QVERIFY(!window->buttonBox->isEnabled());

        // A layout that was read is not read again: the user's edits stay.
        row(*window, 0)->sizeBox()->setValue(3);
        window->tabWidget->setCurrentWidget(window->statusTab);
        window->tabWidget->setCurrentWidget(window->cacheTab);
        QCOMPARE(system.requestsWith(orvanta::IOCTL_GET_CACHE_TABLE).size(), std::size_t(3));
        QCOMPARE(row(*window, 0)->sizeBox()->value(), 3);
        QVERIFY(window->buttonBox->isEnabled());
    }

    void getAnswerWithoutStatusReadsEmpty() {
        RecordingSystem system;
        system.volumes[L'C'] = ntfs(100 * GB);
        appendEntry(system.cacheTable, "C:\\", 5, 0);
        system.cacheTable.status = 0;
        auto window = makeWindow(system);
        QCOMPARE(row(*window, 0)->driverSize(), 0);
        QCOMPARE(row(*window, 0)->sizeBox()->value(), 0);
    }

    void cancelRestoresWithoutRequests() {
        RecordingSystem system;
        for (wchar_t letter : {L'C', L'D', L'E'})
            system.volumes[letter] = ntfs(100 * GB);
        appendEntry(system.cacheTable, "D:\\", 3, 0);
        system.cacheTable.status = 1;
        auto window = makeWindow(system);
        row(*window, 0)->sizeBox()->setValue(1);
        row(*window, 1)->sizeBox()->setValue(7);
        row(*window, 2)->sizeBox()->setValue(2);
        QVERIFY(window->buttonBox->isEnabled());

        system.clearLog();
        window->buttonBox->button(QDialogButtonBox::Cancel)->click();
        QVERIFY(system.requests.empty());
        QCOMPARE(row(*window, 0)->sizeBox()->value(), 0);
        QCOMPARE(row(*window, 1)->sizeBox()->value(), 3);
        QCOMPARE(row(*window, 2)->sizeBox()->value(), 0);
        QVERIFY(!window->buttonBox->isEnabled());
        for (CacheFrame *frame : window->cacheFrames())
            QVERIFY(frame->sizeBox()->styleSheet().isEmpty());
    }

    void noEligibleVolumes() {
        RecordingSystem system;
        system.setTableStatus = 0;
        auto window = makeWindow(system);
        QVERIFY(window->cacheFrames().isEmpty());
        QVERIFY(window->buttonBox->isEnabled());

        BoxAnswerer answerer;
        window->buttonBox->button(QDialogButtonBox::Ok)->click();
        const auto sets = system.requestsWith(IOCTL_SET_CACHE_TABLE);
        QCOMPARE(int(sets.size()), 1);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(sets[0].in.data()), 2296),
                 QByteArray(2296, '\0'));
        QCOMPARE(answerer.seen.size(), 1);

        system.clearLog();
        window->buttonBox->button(QDialogButtonBox::Cancel)->click();
        QVERIFY(system.requests.empty());
    }
};

QTEST_MAIN(TestCacheTab)
#include "tst_cachetab.moc"
