#include "teststore.h"

#include "platform/monitorsettings.h"

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
