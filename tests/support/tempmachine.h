#pragma once

// A simulated machine in a temporary folder, the real programs run on it, and what they left.

#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>

class SimMachine {
public:
    QString root() const { return dir_.path(); }
    QString path(const QString &relative) const { return dir_.filePath(relative); }

    // Writes a file of the root in place, as a person's editor would.
    // Whole or not at all, as the programs write: a monitor polling meanwhile must never see the
    // file emptied half-way, which it would rightly report as one more broken machine.
    bool write(const QString &relative, const QByteArray &bytes) const {
        QSaveFile file(path(relative));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() &&
               file.commit();
    }
    QByteArray read(const QString &relative) const {
        QFile file(path(relative));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QStringList journal() const {
        return QString::fromUtf8(read(QStringLiteral("journal.log")))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // No display at all, and no Qt platform unless `offscreen`: a run that needed a screen
    // without asking for one would fail.
    void start(QProcess &process, const QString &program, const QStringList &arguments,
               bool offscreen = true) const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QLatin1String(name));
        if (offscreen)
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("ORVANTA_SIM_ROOT"), root());
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
    }
    // The exit code, or -1 when the program crashed or did not end in time.
    int run(const QString &program, const QStringList &arguments, QString *output = nullptr,
            QString *errors = nullptr) const {
        QProcess process;
        start(process, program, arguments, false);
        if (!process.waitForFinished(30000))
            process.kill();
        if (output)
            *output = QString::fromLocal8Bit(process.readAllStandardOutput());
        if (errors)
            *errors = QString::fromLocal8Bit(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

private:
    QTemporaryDir dir_;
};

inline QString monitorProgram() {
    return QStringLiteral(ORVANTA_MONITOR_EXECUTABLE);
}
inline QString simTool() {
    return QStringLiteral(ORVANTA_SIM_TOOL);
}
inline QString ctlProgram() {
    return QStringLiteral(ORVANTA_CTL_EXECUTABLE);
}
