#pragma once

// Answers every warning box a window opens while the object lives, noting "title|text", so a
// test goes on where a user would have pressed OK.

#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

struct Warnings : QObject {
    QStringList seen;
    QTimer timer;
    Warnings() {
        connect(&timer, &QTimer::timeout, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                seen << box->windowTitle() + QLatin1Char('|') + box->text();
                box->accept();
            }
        });
        timer.start(0);
    }
};
