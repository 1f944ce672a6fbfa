#include "simtestsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace orvanta::testing {

namespace {
WarningCatcher *currentCatcher = nullptr;

void catchMessage(QtMsgType type, const QMessageLogContext &, const QString &text) {
    if (currentCatcher && type == QtWarningMsg)
        currentCatcher->messages << text;
}
} // namespace

WarningCatcher::WarningCatcher()
    : previous_(qInstallMessageHandler(catchMessage)) {
    currentCatcher = this;
}

WarningCatcher::~WarningCatcher() {
    currentCatcher = nullptr;
    qInstallMessageHandler(previous_);
}

ScopedEnvironment::ScopedEnvironment(const char *name, const QByteArray &value, bool unset)
    : name_(name)
    , hadValue_(qEnvironmentVariableIsSet(name))
    , oldValue_(qgetenv(name)) {
    if (unset)
        qunsetenv(name);
    else
        qputenv(name, value);
}

ScopedEnvironment::~ScopedEnvironment() {
    if (hadValue_)
        qputenv(name_, oldValue_);
    else
        qunsetenv(name_);
}

SimRoot::SimRoot() {
    EXPECT_TRUE(dir_.isValid());
}

void SimRoot::writeMachine(const QByteArray &json) const {
    QFile file(path(QStringLiteral("machine.json")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(json), json.size());
}

QByteArray SimRoot::machineText() const {
    QFile file(path(QStringLiteral("machine.json")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList SimRoot::journal() const {
    QFile file(path(QStringLiteral("journal.log")));
    if (!file.open(QIODevice::ReadOnly))
        return QStringList();
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

void SimRoot::makeFile(const QString &relative, qint64 size) const {
    const QString full = path(relative);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(full).path()));
    QFile file(full);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(size));
}

qint64 SimRoot::sizeOf(const QString &relative) const {
    const QFileInfo info(path(relative));
    return info.isFile() ? info.size() : -1;
}

} // namespace orvanta::testing
