// The monitor's own start (runMonitor, as main() calls it), one case per process: no switch
// shows the window; "/HIDDEN" starts behind the icon; under a German locale ("german") the
// catalogue, and Qt's own German texts with it, are installed before the window is built.
#include "app/monitorsettings.h"
#include "app/platformsystem.h"
#include "gui/mainwindow.h"
#include "gui/startup.h"
#include "teststore.h"

#include <QPushButton>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv) {
    const QByteArray mode = argc > 1 ? argv[1] : "";
    qputenv("LC_ALL", mode == "german" ? "de_DE.UTF-8" : "C");
    QTemporaryDir machine;
    qputenv("ORVANTA_SIM_ROOT", machine.path().toLocal8Bit());
    // X11 shared-memory images go off, unless the user chose for themselves.
    const QByteArray sharedMemoryOff = mode == "hidden" ? "0" : "1";
    (void)(mode == "hidden" ? qputenv("QT_XCB_NO_MITSHM", sharedMemoryOff)
                            : qunsetenv("QT_XCB_NO_MITSHM"));
    TestSettingsStore store;
    const auto system = orvanta::makePlatformSystem();
    char hiddenSwitch[] = "/HIDDEN";
    char *arguments[] = {argv[0], mode == "hidden" ? hiddenSwitch : nullptr, nullptr};
    int count = mode == "hidden" ? 2 : 1;

    QStringList failures = {QStringLiteral("the window was never built")};
    orvanta::StartupHooks hooks;
    hooks.windowBuilt = [&](MainWindow &window) {
        QTimer::singleShot(0, &window, [&] {
            const bool hidden = mode == "hidden";
            failures.clear();
            if (window.isVisible() == hidden || window.trayIcon->isVisible() != hidden)
                failures << QStringLiteral("/hidden starts behind the icon, else shows the window");
            if (qgetenv("QT_XCB_NO_MITSHM") != sharedMemoryOff)
                failures << QStringLiteral("shared memory off unless the user chose");
            if (!window.statisticsTimer->isActive())
                failures << QStringLiteral("the Status tab polls");
            if (mode == "german" && window.tabWidget->tabText(2) != QLatin1String("Optionen"))
                failures << QStringLiteral("the catalogue is installed before the window");
            if (mode == "german" && window.buttonBox->button(QDialogButtonBox::Cancel)->text() !=
                                        QLatin1String("Abbrechen"))
                failures << QStringLiteral("Qt's own texts are German too");
            QCoreApplication::quit();
        });
    };
    if (orvanta::runMonitor(count, arguments, *system, store.settings(), hooks) != 0)
        failures << QStringLiteral("the exit code is 0");
    for (const QString &failure : failures)
        std::fprintf(stderr, "FAIL: %s\n", qPrintable(failure));
    return failures.isEmpty() ? 0 : 1;
}
