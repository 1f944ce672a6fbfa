#pragma once

// An offscreen application for the targets that drive a real window, with the window's settings
// in a simulation root of its own.

#include "fuzzcheck.h"

#include <QApplication>
#include <QByteArray>
#include <QTemporaryDir>
#include <QtGlobal>

// Fontconfig, below Qt's font database, drops small allocations as it matches fonts for the
// labels; only that library's leaks are ignored, everything else stays a finding.
extern "C" const char *__lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace orvanta::fuzzing {

// Warnings are expected on malformed input (the simulated machine explains what it refuses);
// printed for every input they would drown libFuzzer's own output. Fatal messages still abort.
inline void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &text) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        std::abort();
    }
}

// The simulation root of this process: registry.json of the window's settings lives there.
inline QString simulationRoot() {
    static QTemporaryDir root; // removed when the run ends
    return root.path();
}

// One offscreen QApplication for the whole run, made before the first input.
inline void startApplication() {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("LANG", "C");
    qputenv("LC_ALL", "C");
    qputenv("ORVANTA_SIM_ROOT", simulationRoot().toLocal8Bit());
    qInstallMessageHandler(quietMessages);
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    static QApplication *application = new QApplication(argc, argv);
    (void)application;
}

// Delivers what the input posted (layout requests of the labels, style changes), as the event
// loop would between two timer ticks; left queued, each input would look like a leak to libFuzzer.
inline void settle() {
    QCoreApplication::sendPostedEvents();
}

} // namespace orvanta::fuzzing
