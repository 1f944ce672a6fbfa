#include "simmachine.h"

#include <QFile>

QString monitorProgram() {
    return QStringLiteral(ORVANTA_MONITOR_EXECUTABLE);
}

QString simTool() {
    return QStringLiteral(ORVANTA_SIM_TOOL);
}

bool SimMachine::write(const QString &relative, const QByteArray &bytes) const {
    QFile file(path(relative));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QByteArray SimMachine::read(const QString &relative) const {
    QFile file(path(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList SimMachine::journal() const {
    QStringList lines =
        QString::fromUtf8(read(QStringLiteral("journal.log"))).split(QLatin1Char('\n'));
    lines.removeAll(QString());
    return lines;
}

QProcessEnvironment SimMachine::environment(bool offscreen) const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ORVANTA_SIM_ROOT"), root());
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    if (offscreen)
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

void SimMachine::start(QProcess &process, const QString &program, const QStringList &arguments,
                       bool offscreen) const {
    process.setProcessEnvironment(environment(offscreen));
    process.start(program, arguments);
}

SimMachine::Run SimMachine::run(const QString &program, const QStringList &arguments,
                                bool offscreen) const {
    QProcess process;
    start(process, program, arguments, offscreen);
    Run result;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    if (process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    result.output = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.errors = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}
