#include "app/commandline.h"
#include "cache/installlayout.h"
#include "platform/platformsystem.h"
#include "ui/catalogue.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QLocale>
#include <QTranslator>

static MainWindow *mainWindow = nullptr;

int main(int argc, char **argv) {
    orvanta::installPlatformSystem();

    // Install mode runs before any Qt object exists: it needs no display and shows nothing.
    if (orvanta::hasSwitch(argc, argv, "/install")) {
        orvanta::installDefaultLayout();
        return 0;
    }

    QApplication application(argc, argv);
    QTranslator translator;
    (void)orvanta::loadCatalogue(translator, QLocale::system().name());
    application.installTranslator(&translator);

    // Looked for in the arguments as the application object left them.
    const bool hidden = orvanta::hasSwitch(argc, argv, "/hidden");
    mainWindow = new MainWindow(nullptr, hidden);
    application.exec();

    if (mainWindow) {
        delete mainWindow;
        mainWindow = nullptr;
    }
    return 0;
}
