// Saves a picture of the whole X screen to a PNG file: how the demo shows the monitor on a
// machine without a display of its own (under Xvfb).
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTextStream>
#include <QThread>

int main(int argc, char **argv) {
    QGuiApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    QTextStream err(stderr);
    if (arguments.size() != 2 || arguments[1].startsWith(QLatin1Char('-'))) {
        err << "usage: orvanta-screenshot FILE.png\n"
               "Saves the whole screen of $DISPLAY to FILE.png.\n";
        return 2;
    }
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen) {
        err << "orvanta-screenshot: no screen\n";
        return 1;
    }
    const QPixmap picture = screen->grabWindow(0);
    if (picture.isNull() || !picture.save(arguments[1], "PNG")) {
        err << "orvanta-screenshot: could not save " << arguments[1] << "\n";
        return 1;
    }
    return 0;
}
