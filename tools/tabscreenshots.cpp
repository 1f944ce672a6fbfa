// Saves a picture of each of the monitor's four tabs, for the README (see scripts/screenshots).
// It starts the monitor itself (runMonitor, as main() does): the simulated machine of
// ORVANTA_SIM_ROOT and the catalogue of the system locale (LANG, LC_ALL); the window is drawn by
// QWidget::grab(), so it works offscreen.
#include "app/monitorsettings.h"
#include "app/platformsystem.h"
#include "gui/mainwindow.h"
#include "gui/startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

namespace {
const char *const tabNames[] = {"status", "caches", "options", "about"};

// Lets the refresh timer and the layout settle before a picture is taken.
void settle(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}
} // namespace

int main(int argc, char **argv) {
    if (argc != 3 || argv[1][0] == '-') {
        std::fputs("usage: orvanta-tab-screenshots FOLDER NAME\n"
                   "Saves the monitor's tabs as FOLDER/NAME-status.png, NAME-caches.png,\n"
                   "NAME-options.png and NAME-about.png, in the language of the system locale.\n",
                   stderr);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const QString name = QString::fromLocal8Bit(argv[2]);
    if (!folder.exists()) {
        std::fprintf(stderr, "orvanta-tab-screenshots: no folder %s\n", argv[1]);
        return 1;
    }

    int status = 0;
    orvanta::StartupHooks hooks;
    hooks.windowBuilt = [&](MainWindow &window) {
        QTimer::singleShot(0, &window, [&] {
            settle(200);
            for (int index = 0; index < window.tabWidget->count() && index < 4; ++index) {
                window.tabWidget->setCurrentIndex(index);
                settle(100);
                const QString path =
                    folder.filePath(name + QLatin1Char('-') + QLatin1String(tabNames[index]) +
                                    QLatin1String(".png"));
                if (!window.grab().save(path, "PNG")) {
                    QTextStream(stderr)
                        << "orvanta-tab-screenshots: could not save " << path << "\n";
                    status = 1;
                    break;
                }
            }
            QCoreApplication::quit();
        });
    };
    const auto system = orvanta::makePlatformSystem();
    orvanta::runMonitor(argc, argv, *system, orvanta::monitorSettings(), hooks);
    return status;
}
