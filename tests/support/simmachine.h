#pragma once

// A simulated machine in a temporary folder, the real programs run on it, and its journal read
// back: what the end-to-end and simulated-machine tests share.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class SimMachine {
public:
    QString root() const { return dir_.path(); }
    QString path(const QString &relative) const { return dir_.filePath(relative); }

    // Writes a file of the root in place, as a person's editor would; false when it could not.
    bool write(const QString &relative, const QByteArray &bytes) const;
    QByteArray read(const QString &relative) const;
    QStringList journal() const;
    int journalCount(const QString &containing) const {
        return journal().filter(containing).size();
    }

    // No display at all and no Qt platform named unless `offscreen`: a run that needed a screen
    // without asking for one would fail.
    QProcessEnvironment environment(bool offscreen = true) const;
    void start(QProcess &process, const QString &program, const QStringList &arguments,
               bool offscreen = true) const;
    struct Run {
        int exitCode = -1; // -1: it crashed or did not end in time
        QString output;
        QString errors;
    };
    Run run(const QString &program, const QStringList &arguments, bool offscreen = true) const;

private:
    QTemporaryDir dir_;
};

// The programs under test, as built.
QString monitorProgram();
QString simTool();
