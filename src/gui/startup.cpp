#include "gui/startup.h"

#include "core/commandline.h"
#include "core/installlayout.h"
#include "gui/catalogue.h"
#include "gui/mainwindow.h"
#include "platform/platformsystem.h"

#include <QApplication>
#include <QLocale>
#include <QTranslator>

namespace orvanta {

namespace {
MainWindow *mainWindow = nullptr;
}

int runMonitor(int &argc, char **argv, const StartupHooks &hooks) {
    installPlatformSystem();

    // Install mode runs before any Qt object exists: it needs no display and shows nothing.
    if (hasSwitch(argc, argv, "/install")) {
        installDefaultLayout();
        return 0;
    }

    QApplication application(argc, argv);
    QTranslator translator;
    (void)loadCatalogue(translator, QLocale::system().name());
    application.installTranslator(&translator);
    if (hooks.applicationReady)
        hooks.applicationReady(application);

    // Looked for in the arguments as the application object left them.
    const bool hidden = hasSwitch(argc, argv, "/hidden");
    mainWindow = new MainWindow(nullptr, hidden);
    if (hooks.windowBuilt)
        hooks.windowBuilt(*mainWindow);
    application.exec();

    if (mainWindow) {
        delete mainWindow;
        mainWindow = nullptr;
    }
    return 0;
}

} // namespace orvanta
