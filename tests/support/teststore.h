#pragma once

// The monitor's settings store, pointed at a place of the test's own while the object lives, so
// that a test run never reads or writes the user's "Autostart" value: a registry key of its own
// on Windows, deleted afterwards; a temporary registry.json elsewhere. An int is stored as a
// number (REG_DWORD), a QString as text (REG_SZ), and read back with its kind.

#include "platform/monitorsettings.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QUuid>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

class TestSettingsStore {
public:
    TestSettingsStore() { orvanta::setMonitorSettingsLocation(location_); }
    ~TestSettingsStore() {
        orvanta::setMonitorSettingsLocation(QString());
#ifdef Q_OS_WIN
        RegDeleteTreeW(HKEY_CURRENT_USER, location_.mid(18).toStdWString().c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, location_.mid(18).toStdWString().c_str());
#endif
    }
    void clear() {
        orvanta::openMonitorSettings()->remove(QStringLiteral("Autostart"));
    }
    void store(const QVariant &value) {
        orvanta::openMonitorSettings()->setValue(QStringLiteral("Autostart"), value);
    }
    QVariant stored() const {
        return orvanta::openMonitorSettings()->value(QStringLiteral("Autostart"));
    }

private:
    QTemporaryDir folder_;
#ifdef Q_OS_WIN
    const QString location_ = QStringLiteral("HKEY_CURRENT_USER\\Software\\Orvanta Monitor Test ") +
                              QUuid::createUuid().toString(QUuid::WithoutBraces);
#else
    const QString location_ = folder_.path();
#endif
};
