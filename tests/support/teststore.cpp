#include "teststore.h"

#include "platform/monitorsettings.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSettings>
#include <QUuid>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {
const QString Autostart = QStringLiteral("Autostart");
}

TestSettingsStore::TestSettingsStore() {
#ifdef Q_OS_WIN
    location_ = QStringLiteral("HKEY_CURRENT_USER\\Software\\Orvanta Monitor Test ") +
                QUuid::createUuid().toString(QUuid::WithoutBraces);
#else
    location_ = folder_.path();
#endif
    orvanta::setMonitorSettingsLocation(location_);
}

TestSettingsStore::~TestSettingsStore() {
    orvanta::setMonitorSettingsLocation(QString());
#ifdef Q_OS_WIN
    RegDeleteTreeW(HKEY_CURRENT_USER, location_.mid(18).toStdWString().c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, location_.mid(18).toStdWString().c_str());
#endif
}

void TestSettingsStore::clear() {
    orvanta::openMonitorSettings()->remove(Autostart);
}

void TestSettingsStore::store(const QVariant &value) {
    orvanta::openMonitorSettings()->setValue(Autostart, value);
}

QVariant TestSettingsStore::stored() const {
    return orvanta::openMonitorSettings()->value(Autostart);
}

#ifdef Q_OS_WIN
// Wine leaves a key's write time alone when a value is written again unchanged, so a rewrite is
// made visible by its type: the mark stores the same number as a REG_QWORD, which the monitor
// reads as an integer too, and every write of the monitor's is a REG_DWORD.
void TestSettingsStore::mark() {
    store(stored().toLongLong());
}

bool TestSettingsStore::writtenSinceMark() const {
    return stored().userType() != QMetaType::LongLong;
}
#else
// Dated back, so that a write now shows whatever the resolution of the file system's clock.
void TestSettingsStore::mark() {
    QFile file(location_ + QStringLiteral("/registry.json"));
    if (file.open(QIODevice::ReadWrite))
        file.setFileTime(QDateTime::currentDateTimeUtc().addDays(-30),
                         QFileDevice::FileModificationTime);
}

bool TestSettingsStore::writtenSinceMark() const {
    const QFileInfo file(location_ + QStringLiteral("/registry.json"));
    return file.lastModified() > QDateTime::currentDateTimeUtc().addDays(-1);
}
#endif
