// Saves a picture of the whole X screen, or of one window of it, to a PNG file: how the demo
// and the checks under Wine show the monitor on a machine without a display of its own (Xvfb).
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTextStream>
#include <QThread>

int main(int argc, char **argv) {
    QGuiApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    QTextStream err(stderr);
    bool windowIdValid = true;
    const WId window = arguments.size() == 3 ? WId(arguments[2].toULongLong(&windowIdValid, 0)) : 0;
    if (arguments.size() < 2 || arguments.size() > 3 || arguments[1].startsWith(QLatin1Char('-')) ||
        !windowIdValid) {
        err << "usage: orvanta-screenshot FILE.png [WINDOW]\n"
               "Saves the whole screen of $DISPLAY, or only the X window WINDOW (a number such as\n"
               "xdotool prints), to FILE.png.\n";
        return 2;
    }
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen) {
        err << "orvanta-screenshot: no screen\n";
        return 1;
    }
    const QPixmap picture = screen->grabWindow(window);
    if (picture.isNull() || !picture.save(arguments[1], "PNG")) {
        err << "orvanta-screenshot: could not save " << arguments[1] << "\n";
        return 1;
    }
    return 0;
}
