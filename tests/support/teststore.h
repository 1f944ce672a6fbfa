#pragma once

#include <QString>
#include <QVariant>

#include <memory>

class QTemporaryDir;

// The monitor's settings store, pointed at a place of the test's own while the object lives, so
// that a test run never reads or writes the user's "Autostart" value: a registry key of its own
// on Windows, deleted afterwards; a temporary registry.json elsewhere.
class TestSettingsStore {
public:
    TestSettingsStore();
    ~TestSettingsStore();
    TestSettingsStore(const TestSettingsStore &) = delete;
    TestSettingsStore &operator=(const TestSettingsStore &) = delete;

    // Removes the stored value, as on a machine where the monitor never ran.
    void clear();
    // Stores "Autostart" the way the registry holds it: an int as a number (REG_DWORD), a
    // QString as text (REG_SZ).
    void store(const QVariant &value);
    // What is stored, with its kind: an int for a number (qint64 for a REG_QWORD), a QString
    // for text, invalid for none.
    QVariant stored() const;
    // Remembers the store as it is now; writtenSinceMark() then tells whether anything was
    // written to it since, even the value it already held.
    void mark();
    bool writtenSinceMark() const;

private:
    QString location_;
    std::unique_ptr<QTemporaryDir> folder_;
    long long mark_ = 0;
};
