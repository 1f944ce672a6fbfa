#include "gui/startup.h"

#include "core/commandline.h"
#include "core/installlayout.h"
#include "gui/catalogue.h"
#include "gui/mainwindow.h"

#include <QApplication>
#include <QLocale>
#include <QTranslator>

#include <cstdio>

namespace orvanta {

namespace {
MainWindow *mainWindow = nullptr;
}

int runMonitor(int &argc, char **argv, SystemApi &system, const SettingsStore &settings,
               const StartupHooks &hooks) {
    // Install mode runs before any Qt object exists: it needs no display and shows nothing.
    if (hasSwitch(argc, argv, "/install")) {
        // Nobody watches this run; a console or a log that catches standard error is told.
        if (!installDefaultLayout(system))
            std::fputs("orvanta-monitor: /install: the default cache layout was not sent: no "
                       "driver answered, or another program kept its settings locked\n",
                       stderr);
        return 0;
    }

#ifndef Q_OS_WIN
    // Read by Qt's X11 platform plugin only. Its shared-memory images cost a round trip to the
    // server before each reuse, which for a window that repaints two small labels 40 times a
    // second is most of what the server and the monitor spend on it; plain requests are cheaper.
    // A user who set the variable keeps their choice.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
#endif
    QApplication application(argc, argv);
    QTranslator translator;
    QTranslator qtTranslator;
    // Qt's texts follow our choice of language, so a German window never shows an English
    // "Cancel"; ours is installed last and so is asked first.
    if (loadCatalogue(translator, QLocale::system().name()))
        (void)loadQtCatalogue(qtTranslator, QLocale::system().name());
    application.installTranslator(&qtTranslator);
    application.installTranslator(&translator);
    if (hooks.applicationReady)
        hooks.applicationReady(application);

    // Looked for in the arguments as the application object left them.
    const bool hidden = hasSwitch(argc, argv, "/hidden");
    mainWindow = new MainWindow(nullptr, hidden, system, settings);
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
