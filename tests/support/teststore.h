#pragma once

#include <QTemporaryDir>
#include <QVariant>

// The monitor's settings store, pointed at a place of the test's own while the object lives, so
// that a test run never reads or writes the user's "Autostart" value: a registry key of its own
// on Windows, deleted afterwards; a temporary registry.json elsewhere.
class TestSettingsStore {
public:
    TestSettingsStore();
    ~TestSettingsStore();

    void clear(); // as on a machine where the monitor never ran
    // An int is stored as a number (REG_DWORD), a QString as text (REG_SZ); stored() gives it
    // back with its kind, invalid for none.
    void store(const QVariant &value);
    QVariant stored() const;
    // Remembers the store as it is now; writtenSinceMark() then tells whether anything was
    // written to it since, even the value it already held.
    void mark();
    bool writtenSinceMark() const;

private:
    QTemporaryDir folder_;
    QString location_;
};
