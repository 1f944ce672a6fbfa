#pragma once

#include "gui/settingsstore.h"
#include "system/systemapi.h"

#include <functional>

class MainWindow;
class QApplication;

namespace orvanta {

// What a caller of runMonitor() may add to the monitor's own start, without changing its steps:
// the start-up benchmark watches them, the screenshot tool drives the window it gets.
struct StartupHooks {
    // The application object exists and its catalogue is installed; no window yet.
    std::function<void(QApplication &)> applicationReady;
    // The window is built (and shown unless /hidden was given); the event loop starts next.
    std::function<void(MainWindow &)> windowBuilt;
};

// The monitor's start, the one path that main() and its harnesses share, on the system and the
// settings store main() built: install mode ("/install": the default cache layout, no Qt object at
// all), else the application with the catalogue of the system locale, the window ("/hidden" looked
// for in the arguments as the application left them), the event loop, and the teardown in reverse
// order. Always 0, as the process's exit code is.
int runMonitor(int &argc, char **argv, SystemApi &system, const SettingsStore &settings,
               const StartupHooks &hooks = {});

} // namespace orvanta
