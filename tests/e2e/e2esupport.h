#pragma once

// Runs the real orvanta-monitor on a simulated machine in a temporary folder and reads back
// what it sent through the machine's journal.

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class SimulatedMachine {
public:
    SimulatedMachine();
    bool isValid() const { return dir_.isValid(); }
    QString root() const { return dir_.path(); }
    QString path(const QString &relative) const { return dir_.filePath(relative); }

    bool writeMachine(const QByteArray &json);
    QStringList journal() const;
    QStringList journalLines(const QString &containing) const;

    // Offscreen by default; Headless takes away every display and names no Qt platform, so a
    // run that needed one would fail.
    enum class Screen { Offscreen, Headless };
    QProcessEnvironment environment(Screen screen = Screen::Offscreen) const;
    // Starts the monitor; the caller waits, reads the journal, then stops it.
    void start(QProcess &process, const QStringList &arguments,
               Screen screen = Screen::Offscreen) const;
    // Runs the monitor to its end; returns its exit code, or -1 when it did not end in time or
    // crashed.
    int run(const QStringList &arguments, Screen screen = Screen::Offscreen,
            int timeoutMs = 30000) const;

private:
    QTemporaryDir dir_;
};

QString monitorExecutable();
