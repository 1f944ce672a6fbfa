#include "teststore.h"

#include "platform/monitorsettings.h"

#include <QTemporaryDir>

#include <cstring>

#ifdef Q_OS_WIN
#include <QUuid>

#include <windows.h>
#else
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#endif

namespace {
const wchar_t AutostartValue[] = L"Autostart";
}

#ifdef Q_OS_WIN

namespace {
std::wstring subkeyOf(const QString &location) {
    return location.mid(int(qstrlen("HKEY_CURRENT_USER\\"))).toStdWString();
}
} // namespace

TestSettingsStore::TestSettingsStore()
    : location_(QStringLiteral("HKEY_CURRENT_USER\\Software\\Orvanta Monitor Test ") +
                QUuid::createUuid().toString(QUuid::WithoutBraces)) {
    orvanta::setMonitorSettingsLocation(location_);
}

TestSettingsStore::~TestSettingsStore() {
    orvanta::setMonitorSettingsLocation(QString());
    RegDeleteTreeW(HKEY_CURRENT_USER, subkeyOf(location_).c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, subkeyOf(location_).c_str());
}

void TestSettingsStore::clear() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subkeyOf(location_).c_str(), 0, KEY_SET_VALUE, &key) ==
        ERROR_SUCCESS) {
        RegDeleteValueW(key, AutostartValue);
        RegCloseKey(key);
    }
}

void TestSettingsStore::store(const QVariant &value) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, subkeyOf(location_).c_str(), 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        qFatal("cannot create the test's registry key");
    if (value.userType() == QMetaType::QString) {
        const std::wstring text = value.toString().toStdWString();
        RegSetValueExW(key, AutostartValue, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                       DWORD((text.size() + 1) * sizeof(wchar_t)));
    } else {
        const DWORD number = value.toUInt();
        RegSetValueExW(key, AutostartValue, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&number),
                       sizeof number);
    }
    RegCloseKey(key);
}

QVariant TestSettingsStore::stored() const {
    DWORD type = 0;
    wchar_t data[256] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, subkeyOf(location_).c_str(), AutostartValue,
                     RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size) != ERROR_SUCCESS)
        return QVariant();
    if (type == REG_DWORD) {
        DWORD number = 0;
        std::memcpy(&number, data, sizeof number);
        return int(number);
    }
    if (type == REG_QWORD) {
        qint64 number = 0;
        std::memcpy(&number, data, sizeof number);
        return number;
    }
    if (type == REG_SZ)
        return QString::fromWCharArray(data);
    return QStringLiteral("registry type %1").arg(type);
}

// Wine leaves a key's write time alone when a value is written again unchanged, so a rewrite is
// made visible by its type: the mark stores the same number as a REG_QWORD, which the monitor
// reads as an integer too, and every write of the monitor's is a REG_DWORD.
void TestSettingsStore::mark() {
    const QVariant value = stored();
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subkeyOf(location_).c_str(), 0, KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS)
        return;
    const unsigned long long number = value.toULongLong();
    RegSetValueExW(key, AutostartValue, 0, REG_QWORD, reinterpret_cast<const BYTE *>(&number),
                   sizeof number);
    RegCloseKey(key);
    mark_ = 1;
}

bool TestSettingsStore::writtenSinceMark() const {
    return mark_ && stored().userType() != QMetaType::LongLong;
}

#else

TestSettingsStore::TestSettingsStore()
    : folder_(std::make_unique<QTemporaryDir>()) {
    if (!folder_->isValid())
        qFatal("cannot create a temporary folder");
    location_ = folder_->path();
    orvanta::setMonitorSettingsLocation(location_);
}

TestSettingsStore::~TestSettingsStore() {
    orvanta::setMonitorSettingsLocation(QString());
}

void TestSettingsStore::clear() {
    QFile::remove(location_ + QStringLiteral("/registry.json"));
}

void TestSettingsStore::store(const QVariant &value) {
    QJsonObject object;
    object.insert(QString::fromWCharArray(AutostartValue), QJsonValue::fromVariant(value));
    QFile file(location_ + QStringLiteral("/registry.json"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write the test's registry.json");
    file.write(QJsonDocument(object).toJson());
}

QVariant TestSettingsStore::stored() const {
    QFile file(location_ + QStringLiteral("/registry.json"));
    if (!file.open(QIODevice::ReadOnly))
        return QVariant();
    const QJsonValue value = QJsonDocument::fromJson(file.readAll())
                                 .object()
                                 .value(QString::fromWCharArray(AutostartValue));
    if (value.isDouble())
        return value.toInt();
    if (value.isString())
        return value.toString();
    return QVariant();
}

void TestSettingsStore::mark() {
    // Dated back, so that a write now shows whatever the resolution of the file system's clock.
    const QDateTime old = QDateTime::currentDateTimeUtc().addDays(-30);
    mark_ = old.toMSecsSinceEpoch();
    QFile file(location_ + QStringLiteral("/registry.json"));
    if (file.open(QIODevice::ReadWrite))
        file.setFileTime(old, QFileDevice::FileModificationTime);
}

bool TestSettingsStore::writtenSinceMark() const {
    const QFileInfo file(location_ + QStringLiteral("/registry.json"));
    return file.exists() && file.lastModified().toMSecsSinceEpoch() > mark_ + 1000;
}

#endif
