#pragma once

// A simulated machine in a temporary folder for each test, and a catcher for the warnings that
// the machine writes, so tests can count them.

#include "sim/simulatedsystem.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cstdint>
#include <memory>

namespace orvanta::testing {

// Collects qWarning() text while it lives.
class WarningCatcher {
public:
    WarningCatcher();
    ~WarningCatcher();
    WarningCatcher(const WarningCatcher &) = delete;
    WarningCatcher &operator=(const WarningCatcher &) = delete;

    QStringList messages;

private:
    QtMessageHandler previous_;
};

// Sets an environment variable for the life of the object, then puts the old value back.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char *name, const QByteArray &value, bool unset = false);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

private:
    const char *name_;
    bool hadValue_;
    QByteArray oldValue_;
};

class SimRoot {
public:
    SimRoot();

    QString root() const { return dir_.path(); }
    QString path(const QString &relative) const { return dir_.filePath(relative); }

    // Writes machine.json in place, as a person's editor would.
    void writeMachine(const QByteArray &json) const;
    QByteArray machineText() const;
    QStringList journal() const;
    // Creates a file of that size (sparse) under the root.
    void makeFile(const QString &relative, qint64 size) const;
    qint64 sizeOf(const QString &relative) const; // -1 when missing

private:
    QTemporaryDir dir_;
};

constexpr std::uint64_t GiB = std::uint64_t(1) << 30;

} // namespace orvanta::testing
