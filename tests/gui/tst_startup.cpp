// The monitor's own start (runMonitor, as main() calls it) on a simulated machine of its own:
//   tst_startup shown     no switch: the window is shown, the tray icon is not
//   tst_startup hidden    "/hidden": no window, the icon, the Status tab polling
//   tst_startup german    under a German locale the catalogue is installed before the window
// One case per process: the application object and the system locale belong to the process.
#include "gui/mainwindow.h"
#include "gui/startup.h"
#include "teststore.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {
int failures = 0;

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "FAIL: %s\n", what);
        ++failures;
    }
}
} // namespace

int main(int argc, char **argv) {
    const char *mode = argc > 1 ? argv[1] : "";
    QTemporaryDir machine;
    qputenv("ORVANTA_SIM_ROOT", machine.path().toLocal8Bit());
    TestSettingsStore store;

    char hiddenSwitch[] = "/HIDDEN";
    std::vector<char *> arguments = {argv[0]};
    if (std::strcmp(mode, "hidden") == 0)
        arguments.push_back(hiddenSwitch);
    arguments.push_back(nullptr);
    int count = int(arguments.size()) - 1;

    bool ran = false;
    orvanta::StartupHooks hooks;
    hooks.windowBuilt = [&](MainWindow &window) {
        QTimer::singleShot(0, &window, [&] {
            ran = true;
            if (std::strcmp(mode, "hidden") == 0) {
                check(!window.isVisible(), "a hidden start shows no window");
                check(window.trayIcon->isVisible(), "a hidden start shows the icon");
                check(window.statisticsTimer->isActive(), "a hidden start polls");
            } else if (std::strcmp(mode, "german") == 0) {
                check(window.tabWidget->tabText(2) == QLatin1String("Optionen"),
                      "the German catalogue is installed before the window is built");
            } else {
                check(window.isVisible(), "a start without switches shows the window");
                check(!window.trayIcon->isVisible(), "the icon waits for a minimise");
            }
            QCoreApplication::quit();
        });
    };
    const int status = orvanta::runMonitor(count, arguments.data(), hooks);
    check(ran, "the window was built and the event loop ran");
    check(status == 0, "the exit code is 0");
    if (failures == 0)
        std::printf("startup %s: passed\n", mode);
    return failures == 0 ? 0 : 1;
}
