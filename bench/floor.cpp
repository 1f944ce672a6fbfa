// The floor of the polling benchmark: the least a Qt program can do to show two changing numbers
// 40 times a second. Two labels of fixed size that fill their own background, so a repaint stops
// at them and no layout ever runs again, in a plain window. What the monitor costs beyond this is
// what its form, its driver request and its own code add.
#include "sim/demo.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QWidget>

int main(int argc, char **argv) {
    // The same transport the monitor chooses for itself on X11 (see src/gui/startup.cpp), so the
    // two compare their own work and not the X server's.
    if (qEnvironmentVariableIsEmpty("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Orvanta floor"));
    window.resize(300, 120);
    QLabel *numbers[2];
    for (int i = 0; i < 2; ++i) {
        numbers[i] = new QLabel(&window);
        // A fixed size: a new text asks for no layout at all.
        numbers[i]->setFixedSize(260, 30);
        numbers[i]->move(20, 20 + 40 * i);
        numbers[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        numbers[i]->setAutoFillBackground(true);
    }
    // Moves as the demo machine's counters do.
    quint64 ticks = 0, requests = 0, bytes = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        requests = ticks * 25 * ORVANTA_DEMO_REQUESTS_PER_SECOND / 1000;
        bytes = ticks * 25 * ORVANTA_DEMO_BYTES_PER_SECOND / 1000;
        numbers[0]->setText(QString::number(requests));
        numbers[1]->setText(QString::number(bytes));
    });
    timer.start(25);
    window.show();
    return application.exec();
}
