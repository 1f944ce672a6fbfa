// The Caches tab on a simulated machine, wired as the program wires it: what an apply made
// through the widgets sends is read back from the machine's journal, and the cache files the
// simulated driver then keeps count as free space in the rows.
#include "expectedtable.h"
#include "gui/cacheframe.h"
#include "gui/mainwindow.h"
#include "platform/platformsystem.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

class TestCacheTabOnSimulatedMachine : public QObject {
    Q_OBJECT

private:
    QTemporaryDir simRoot;

    QStringList journal() const {
        QFile file(simRoot.filePath(QStringLiteral("journal.log")));
        if (!file.open(QIODevice::ReadOnly))
            return QStringList();
        QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        lines.removeAll(QString());
        return lines;
    }

private slots:
    void initTestCase() {
        QVERIFY(simRoot.isValid());
        qputenv("ORVANTA_SIM_ROOT", simRoot.path().toLocal8Bit());
        QFile machine(simRoot.filePath(QStringLiteral("machine.json")));
        QVERIFY(machine.open(QIODevice::WriteOnly));
        machine.write(R"({
            "journal": true,
            "volumes": [
                {"letter": "C", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 107374182400,
                 "diskId": 0, "rating": 700},
                {"letter": "D", "type": "fixed", "fileSystem": "FAT32", "freeBytes": 107374182400,
                 "diskId": 1, "rating": 100},
                {"letter": "E", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 53687091200,
                 "diskId": 2, "rating": 300},
                {"letter": "F", "type": "cdrom"}
            ],
            "driver": {"loaded": true, "state": 1, "options": [0, 0, 0, 0],
                       "cacheTable": {"status": 1, "entries": []}}
        })");
        machine.close();
        orvanta::installPlatformSystem();
    }

    void applyThroughTheWidgets() {
        MainWindow window(nullptr, false);
        const QList<CacheFrame *> rows = window.cacheFrames();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0]->volumeRoot(), QStringLiteral("C:\\"));
        QCOMPARE(rows[1]->volumeRoot(), QStringLiteral("E:\\"));
        QCOMPARE(rows[0]->freeSpaceLabel()->text(), QStringLiteral("100 GB free"));

        window.tabWidget->setCurrentWidget(window.cacheTab);
        rows[0]->sizeBox()->setFocus();
        rows[0]->sizeBox()->selectAll();
        QTest::keyClicks(rows[0]->sizeBox(), QStringLiteral("4"));
        QCOMPARE(rows[0]->sizeBox()->value(), 4);
        QVERIFY(window.buttonBox->isEnabled());
        QTest::mouseClick(window.buttonBox->button(QDialogButtonBox::Ok), Qt::LeftButton);

        const QByteArray table = QByteArray::fromStdString(
            orvanta::testing::expectedTableBytes({{"C:\\", 4, 700}, {"E:\\", 0, 0}}));
        const QStringList lines = journal();
        const int set =
            lines.indexOf(QStringLiteral("PhysicalDrive0 IOCTL_SET_CACHE_TABLE ok in=") +
                          QString::fromLatin1(table.toHex()) + QStringLiteral(" out=2296"));
        QVERIFY2(set > 0, qPrintable(lines.join(QLatin1Char('\n'))));
        QCOMPARE(lines[set - 1], QStringLiteral("C: IOCTL_QUERY_VOLUME ok in=- out=8"));
        QCOMPARE(lines.filter(QStringLiteral("E: IOCTL_QUERY_VOLUME")).size(), 0);
        QCOMPARE(lines.value(set + 1),
                 QStringLiteral("PhysicalDrive0 IOCTL_GET_CACHE_TABLE ok in=- out=2296"));

        // The driver now keeps 4 GB on C: in a cache file; it still counts as free for caching.
        QVERIFY(QFile::exists(simRoot.filePath(QStringLiteral("volumes/C/orvn#001.io"))));
        QCOMPARE(rows[0]->driverSize(), 4);
        QVERIFY(!rows[0]->isDirty());
        QCOMPARE(rows[0]->freeSpaceLabel()->text(), QStringLiteral("96 GB free"));
        QVERIFY(!window.buttonBox->isEnabled());

        // A fresh window reads the layout back from the driver.
        MainWindow again(nullptr, false);
        QCOMPARE(again.cacheFrames().at(0)->sizeBox()->value(), 4);
        QCOMPARE(again.cacheFrames().at(0)->freeSpaceLabel()->text(), QStringLiteral("96 GB free"));
    }
};

QTEST_MAIN(TestCacheTabOnSimulatedMachine)
#include "tst_cachetab_sim.moc"
