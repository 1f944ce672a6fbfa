// registry.json, the monitor's registry key on the simulated machine, as a QSettings format: one
// JSON object. Whole numbers read back as int (qlonglong beyond its range), so a stored 1 is an
// integer in Qt 5 and 6 alike, and "1" stays a text. A registry.json that cannot be read reads as
// empty; before the next write replaces it, it is kept aside as registry.json.bad, so nothing the
// user wrote is lost.
#include "sim/registryformat.h"

#include "sim/simmachine.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <climits>
#include <cmath>

namespace orvanta::sim {

namespace {

constexpr qint64 MaxRegistrySize = 1024 * 1024;
constexpr double MaxExactInteger = double(MaxExactJsonInteger);

QVariant fromJson(const QJsonValue &value) {
    switch (value.type()) {
    case QJsonValue::Bool:
        return value.toBool();
    case QJsonValue::Double: {
        const double number = value.toDouble();
        if (std::floor(number) == number && std::fabs(number) < MaxExactInteger) {
            if (number >= INT_MIN && number <= INT_MAX)
                return static_cast<int>(number);
            return static_cast<qlonglong>(number);
        }
        return number;
    }
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Array: {
        QVariantList list;
        for (const QJsonValue &item : value.toArray())
            list.append(fromJson(item));
        return list;
    }
    case QJsonValue::Object: {
        QVariantMap map;
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            map.insert(it.key(), fromJson(it.value()));
        return map;
    }
    default:
        return QVariant();
    }
}

QJsonValue toJson(const QVariant &value) {
    switch (value.userType()) {
    case QMetaType::UnknownType:
        return QJsonValue();
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return wholeValue(std::int64_t(value.toLongLong()));
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return wholeValue(std::uint64_t(value.toULongLong()));
    case QMetaType::Float:
    case QMetaType::Double: {
        const double number = value.toDouble();
        return std::isfinite(number) ? QJsonValue(number) : QJsonValue();
    }
    case QMetaType::QString:
        return value.toString();
    case QMetaType::QStringList:
    case QMetaType::QVariantList: {
        QJsonArray array;
        for (const QVariant &item : value.toList())
            array.append(toJson(item));
        return array;
    }
    case QMetaType::QVariantMap: {
        QJsonObject object;
        const QVariantMap map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            object.insert(it.key(), toJson(it.value()));
        return object;
    }
    default:
        return QJsonValue::fromVariant(value);
    }
}

bool parseRegistry(const QByteArray &text, QJsonObject &object, QString &problem) {
    if (text.size() > MaxRegistrySize) {
        problem = QStringLiteral("larger than %1 bytes").arg(MaxRegistrySize);
        return false;
    }
    return parseJsonObject(text, object, problem);
}

// Objects inside the key are its subkeys: QSettings groups, "Group/Value".
void flatten(const QJsonObject &object, const QString &prefix, QSettings::SettingsMap &map) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.value().isObject())
            flatten(it.value().toObject(), prefix + it.key() + QLatin1Char('/'), map);
        else
            map.insert(prefix + it.key(), fromJson(it.value()));
    }
}

QString fileNameOf(const QIODevice &device) {
    const auto *file = qobject_cast<const QFileDevice *>(&device);
    return file ? file->fileName() : QStringLiteral("registry.json");
}

bool readRegistry(QIODevice &device, QSettings::SettingsMap &map) {
    QJsonObject object;
    QString problem;
    if (!parseRegistry(device.read(MaxRegistrySize + 1), object, problem)) {
        qWarning().noquote() << QStringLiteral("%1 cannot be read: %2. It reads as empty and is "
                                               "kept aside as %1.bad before the next change.")
                                    .arg(QDir::toNativeSeparators(fileNameOf(device)), problem);
        return false;
    }
    flatten(object, QString(), map);
    return true;
}

// Moves a registry file that cannot be read out of the way of a write, so what it held is kept.
bool keepUnreadableAside(const QString &path) {
    QFile existing(path);
    if (!existing.exists())
        return true;
    if (existing.open(QIODevice::ReadOnly)) {
        const QByteArray text = existing.read(MaxRegistrySize + 1);
        existing.close();
        QJsonObject object;
        QString problem;
        if (text.isEmpty() || parseRegistry(text, object, problem))
            return true;
    }
    QString aside = path + QStringLiteral(".bad");
    for (int n = 2; QFile::exists(aside) && n < 1000; ++n)
        aside = path + QStringLiteral(".bad.%1").arg(n);
    if (!QFile::rename(path, aside)) { // never over a file already there
        qWarning().noquote() << QStringLiteral("%1 cannot be read and cannot be kept aside; the "
                                               "change is not written.")
                                    .arg(QDir::toNativeSeparators(path));
        return false;
    }
    qWarning().noquote() << QStringLiteral("%1 could not be read; it is kept as %2.")
                                .arg(QDir::toNativeSeparators(path),
                                     QDir::toNativeSeparators(aside));
    return true;
}

bool writeRegistry(QIODevice &device, const QSettings::SettingsMap &map) {
    if (qobject_cast<const QFileDevice *>(&device) && !keepUnreadableAside(fileNameOf(device)))
        return false;
    QJsonObject object;
    for (auto it = map.begin(); it != map.end(); ++it)
        object.insert(it.key(), toJson(it.value()));
    const QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Indented);
    return device.write(text) == text.size();
}

} // namespace

QSettings::Format registryFormat() {
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("json"), readRegistry, writeRegistry);
    return format;
}

} // namespace orvanta::sim
