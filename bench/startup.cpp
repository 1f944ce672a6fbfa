// Start-up to the first painted window: the monitor's own start (runMonitor, as main() calls it),
// with an application event filter that notes the first paint event of the main window and ends
// the run once that paint pass is over. It prints CLOCK_MONOTONIC times in nanoseconds, which the
// bench runner sets against the moment it started this process:
//   entered <ns> constructed <ns> first-paint <ns> painted <ns>
#include "gui/startup.h"
#include "app/monitorsettings.h"
#include "app/platformsystem.h"
#include "core/commandline.h"
#include "gui/mainwindow.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <ctime>

namespace {

long long monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

class FirstPaint : public QObject {
public:
    long long firstPaint = 0;
    long long painted = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Paint && firstPaint == 0 && watched->isWidgetType() &&
            qobject_cast<MainWindow *>(static_cast<QWidget *>(watched)->window())) {
            firstPaint = monotonicNs();
            // Runs once the whole paint pass, flush included, has returned to the event loop.
            QTimer::singleShot(0, this, [this] {
                painted = monotonicNs();
                QCoreApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int main(int argc, char **argv) {
    const long long entered = monotonicNs();
    if (orvanta::hasSwitch(argc, argv, "/install")) {
        std::fprintf(stderr, "the start-up harness measures the window; /install is not for it\n");
        return 1;
    }

    FirstPaint probe;
    long long constructed = 0;
    orvanta::StartupHooks hooks;
    hooks.applicationReady = [&probe](QApplication &application) {
        application.installEventFilter(&probe);
    };
    hooks.windowBuilt = [&constructed](MainWindow &) { constructed = monotonicNs(); };
    const auto system = orvanta::makePlatformSystem();
    orvanta::runMonitor(argc, argv, *system, orvanta::monitorSettings(), hooks);

    std::printf("entered %lld constructed %lld first-paint %lld painted %lld\n", entered,
                constructed, probe.firstPaint, probe.painted);
    return probe.painted ? 0 : 1;
}
