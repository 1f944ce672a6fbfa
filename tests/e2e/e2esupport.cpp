#include "e2esupport.h"

#include <QDir>
#include <QFile>

QString monitorExecutable() {
    return QStringLiteral(ORVANTA_MONITOR_EXECUTABLE);
}

SimulatedMachine::SimulatedMachine() = default;

bool SimulatedMachine::writeMachine(const QByteArray &json) {
    QFile file(path(QStringLiteral("machine.json")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(json) == json.size();
}

QStringList SimulatedMachine::journal() const {
    QFile file(path(QStringLiteral("journal.log")));
    if (!file.open(QIODevice::ReadOnly))
        return QStringList();
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    lines.removeAll(QString());
    return lines;
}

QStringList SimulatedMachine::journalLines(const QString &containing) const {
    return journal().filter(containing);
}

QProcessEnvironment SimulatedMachine::environment(Screen screen) const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ORVANTA_SIM_ROOT"), root());
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    if (screen == Screen::Offscreen)
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    else
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    return environment;
}

void SimulatedMachine::start(QProcess &process, const QStringList &arguments, Screen screen) const {
    process.setProcessEnvironment(environment(screen));
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(monitorExecutable(), arguments);
}

int SimulatedMachine::run(const QStringList &arguments, Screen screen, int timeoutMs) const {
    QProcess process;
    start(process, arguments, screen);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}
