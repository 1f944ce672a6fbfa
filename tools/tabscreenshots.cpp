// Saves a picture of each of the monitor's four tabs, for the README (see scripts/screenshots).
// It starts the way the monitor does: the simulated machine of ORVANTA_SIM_ROOT and the
// catalogue of the system locale (LANG, LC_ALL); the window is drawn by QWidget::grab(), so it
// works offscreen.
#include "platform/platformsystem.h"
#include "ui/catalogue.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLocale>
#include <QTextStream>
#include <QTranslator>

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
    orvanta::installPlatformSystem();
    QApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    QTextStream err(stderr);
    if (arguments.size() != 3 || arguments[1].startsWith(QLatin1Char('-'))) {
        err << "usage: orvanta-tab-screenshots FOLDER NAME\n"
               "Saves the monitor's tabs as FOLDER/NAME-status.png, NAME-caches.png,\n"
               "NAME-options.png and NAME-about.png, in the language of the system locale.\n";
        return 2;
    }
    const QDir folder(arguments[1]);
    if (!folder.exists()) {
        err << "orvanta-tab-screenshots: no folder " << arguments[1] << "\n";
        return 1;
    }

    QTranslator translator;
    (void)orvanta::loadCatalogue(translator, QLocale::system().name());
    application.installTranslator(&translator);

    MainWindow window;
    settle(200);
    for (int index = 0; index < window.tabWidget->count() && index < 4; ++index) {
        window.tabWidget->setCurrentIndex(index);
        settle(100);
        const QString path =
            folder.filePath(arguments[2] + QLatin1Char('-') + QLatin1String(tabNames[index]) +
                            QLatin1String(".png"));
        if (!window.grab().save(path, "PNG")) {
            err << "orvanta-tab-screenshots: could not save " << path << "\n";
            return 1;
        }
    }
    return 0;
}
