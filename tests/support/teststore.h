#pragma once

// The monitor's settings, at a place of the test's own while the object lives (a registry key
// deleted afterwards on Windows, a temporary registry.json elsewhere), so a test never touches
// the user's "Autostart". An int is stored as REG_DWORD, a QString as REG_SZ.

#include "app/monitorsettings.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QUuid>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

class TestSettingsStore {
public:
    TestSettingsStore() = default;
    ~TestSettingsStore() {
#ifdef Q_OS_WIN
        RegDeleteTreeW(HKEY_CURRENT_USER, location_.mid(18).toStdWString().c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, location_.mid(18).toStdWString().c_str());
#endif
    }
    // What the window is given as its store.
    orvanta::SettingsStore settings() const {
        return orvanta::monitorSettingsAt(location_);
    }
    void clear() {
        settings()()->remove(QStringLiteral("Autostart"));
    }
    void store(const QVariant &value) {
        settings()()->setValue(QStringLiteral("Autostart"), value);
    }
    QVariant stored() const {
        return settings()()->value(QStringLiteral("Autostart"));
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
