// "/install" run by the real executable with no display at all, on simulated machines.
#include "e2esupport.h"
#include "expectedtable.h"

#include <QtTest>

namespace {
// C: and D: share disk 0 (D: is freer, so its record stands for the disk), E: has its own.
const QByteArray machineJson = R"({
    "journal": true,
    "sleepScale": 0,
    "volumes": [
        {"letter": "C", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 107374182400,
         "diskId": 0, "rating": 600},
        {"letter": "D", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 214748364800,
         "diskId": 0, "rating": 700},
        {"letter": "E", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 53687091200,
         "diskId": 1, "rating": 100},
        {"letter": "F", "type": "fixed", "fileSystem": "FAT32", "freeBytes": 53687091200,
         "diskId": 2, "rating": 900}
    ],
    "driver": {"loaded": LOADED, "state": 1,
               "cacheTable": {"status": 1, "entries": [{"path": "F:\\", "sizeBytes": 1073741824}]}}
})";

QString expectedTableHex() {
    // Weights 2 and 1 over 8 GB: 5 and 2, then the last 1 to the first.
    const std::string table =
        orvanta::testing::expectedTableBytes({{"D:\\", 6, 700}, {"E:\\", 2, 100}});
    return QString::fromLatin1(QByteArray::fromStdString(table).toHex());
}
} // namespace

class TestInstallEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void sendsTheDefaultLayout_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("/install") << QStringList{"/install"};
        QTest::newRow("/INSTALL") << QStringList{"/INSTALL"};
        QTest::newRow("/install /hidden") << QStringList{"/install", "/hidden"};
        QTest::newRow("/hidden x /Install") << QStringList{"/hidden", "x", "/Install"};
    }
    void sendsTheDefaultLayout() {
        QFETCH(QStringList, arguments);
        SimulatedMachine machine;
        QVERIFY(machine.writeMachine(QByteArray(machineJson).replace("LOADED", "true")));
        QCOMPARE(machine.run(arguments, SimulatedMachine::Screen::Headless), 0);

        const QStringList journal = machine.journal();
        const QStringList expected = {
            "Sleep 5000",
            "C: IOCTL_QUERY_VOLUME ok in=- out=8",
            "D: IOCTL_QUERY_VOLUME ok in=- out=8",
            "E: IOCTL_QUERY_VOLUME ok in=- out=8",
            "PhysicalDrive0 IOCTL_SET_CACHE_TABLE ok in=" + expectedTableHex() + " out=2296",
        };
        QCOMPARE(journal, expected);
        // The layout is in force on the machine: its cache files now exist.
        QVERIFY(QFile::exists(machine.path(QStringLiteral("volumes/D/orvn#001.io"))));
        QVERIFY(QFile::exists(machine.path(QStringLiteral("volumes/E/orvn#002.io"))));
    }

    void driverNotLoaded() {
        SimulatedMachine machine;
        QVERIFY(machine.writeMachine(QByteArray(machineJson).replace("LOADED", "false")));
        QCOMPARE(machine.run({QStringLiteral("/install")}, SimulatedMachine::Screen::Headless), 0);
        const QStringList journal = machine.journal();
        QCOMPARE(journal.value(0), QStringLiteral("Sleep 5000"));
        QCOMPARE(journal.filter(QStringLiteral("IOCTL_QUERY_VOLUME failed")).size(), 3);
        QCOMPARE(journal.last(), QStringLiteral("PhysicalDrive0 open failed"));
    }

    void bareMachine() {
        // No machine.json: no volumes and no driver; the run still ends quietly with 0.
        SimulatedMachine machine;
        QCOMPARE(machine.run({QStringLiteral("/install")}, SimulatedMachine::Screen::Headless), 0);
    }
};

QTEST_GUILESS_MAIN(TestInstallEndToEnd)
#include "tst_install_e2e.moc"
