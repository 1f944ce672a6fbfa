// Saves a picture of the whole X screen, or of one window of it, to a PNG file: how the demo
// and the checks under Wine show the monitor on a machine without a display of its own (Xvfb).
// --scale=N enlarges the picture N times, smoothly, for a text reader (tesseract) that
// reads small screen fonts badly.
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTextStream>

int main(int argc, char **argv) {
    QGuiApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    QTextStream err(stderr);
    bool valid = true;
    int scale = 1;
    if (arguments.size() > 1 && arguments.last().startsWith(QLatin1String("--scale="))) {
        scale = arguments.takeLast().mid(8).toInt(&valid);
        valid = valid && scale >= 1 && scale <= 16;
    }
    const WId window =
        valid && arguments.size() == 3 ? WId(arguments[2].toULongLong(&valid, 0)) : 0;
    if (!valid || arguments.size() < 2 || arguments.size() > 3 ||
        arguments[1].startsWith(QLatin1Char('-'))) {
        err << "usage: orvanta-screenshot FILE.png [WINDOW] [--scale=N]\n"
               "Saves the whole screen of $DISPLAY, or only the X window WINDOW (a number such as\n"
               "xdotool prints), to FILE.png; --scale=N enlarges it N times (1 to 16).\n";
        return 2;
    }
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen) {
        err << "orvanta-screenshot: no screen\n";
        return 1;
    }
    QImage picture = screen->grabWindow(window).toImage();
    if (scale > 1 && !picture.isNull())
        picture =
            picture.scaled(picture.size() * scale, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (picture.isNull() || !picture.save(arguments[1], "PNG")) {
        err << "orvanta-screenshot: could not save " << arguments[1] << "\n";
        return 1;
    }
    return 0;
}
