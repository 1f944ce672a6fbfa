// The window on the real Win32 system: on Windows without the driver, or under Wine, where the
// disk device opens but no Orvanta driver answers.
#include "gui/cacheframe.h"
#include "gui/mainwindow.h"
#include "teststore.h"

#include <QtTest>

#include <windows.h>

class TestWin32Window : public QObject {
    Q_OBJECT

    TestSettingsStore store;

    // The fixed NTFS volumes with a free-space answer, asked of kernel32 directly rather than
    // through the program's own volume rules.
    static QStringList fixedNtfsVolumes() {
        QStringList roots;
        const DWORD drives = GetLogicalDrives();
        for (int bit = 'C' - 'A'; bit <= 'Z' - 'A'; ++bit) {
            if (!(drives & (1u << bit)))
                continue;
            const wchar_t root[] = {wchar_t(L'A' + bit), L':', L'\\', 0};
            wchar_t fileSystem[MAX_PATH + 1] = {};
            ULARGE_INTEGER free;
            if (GetDriveTypeW(root) == DRIVE_FIXED &&
                GetVolumeInformationW(root, nullptr, 0, nullptr, nullptr, nullptr, fileSystem,
                                      MAX_PATH) &&
                lstrcmpW(fileSystem, L"NTFS") == 0 &&
                GetDiskFreeSpaceExW(root, &free, nullptr, nullptr))
                roots << QString::fromWCharArray(root);
        }
        return roots;
    }

private slots:
    void withoutTheDriver() {
        MainWindow window;
        QCOMPARE(window.statusNumber->text(), QStringLiteral("Not running"));
        QVERIFY(!window.clearStatsButton->isEnabled() && !window.cacheTab->isEnabled());
        QVERIFY(window.trayCheckBox->isEnabled());

        QStringList rows;
        for (const CacheFrame *frame : window.cacheFrames())
            rows << frame->volumeRoot();
        QCOMPARE(rows, fixedNtfsVolumes());
        QVERIFY(rows.contains(QStringLiteral("C:\\")));
    }
};

QTEST_MAIN(TestWin32Window)
#include "tst_win32window.moc"
