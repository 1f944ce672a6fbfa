#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

// Answers every modal message box that shows up, noting its title and text, so a test can
// drive code that warns the user without a person at the screen.
class BoxAnswerer : public QObject {
public:
    QStringList seen;
    BoxAnswerer() {
        connect(&timer, &QTimer::timeout, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                seen << box->windowTitle() + QLatin1Char('|') + box->text();
                box->button(QMessageBox::Ok)->click();
            }
        });
        timer.start(10);
    }

private:
    QTimer timer;
};
