#pragma once

#include <QTemporaryDir>
#include <QVariant>

// The monitor's settings store, pointed at a place of the test's own while the object lives, so
// that a test run never reads or writes the user's "Autostart" value: a registry key of its own
// on Windows, deleted afterwards; a temporary registry.json elsewhere. An int is stored as a
// number (REG_DWORD), a QString as text (REG_SZ), and read back with its kind.
class TestSettingsStore {
public:
    TestSettingsStore();
    ~TestSettingsStore();
    void clear();
    void store(const QVariant &value);
    QVariant stored() const;

private:
    QTemporaryDir folder_;
    QString location_;
};
