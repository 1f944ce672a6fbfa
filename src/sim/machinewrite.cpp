// machine.json written: every known field put back into the object as it was read, so fields
// this code does not know survive; whole numbers beyond a double's exactness as decimal strings.
#include "sim/simmachine.h"

#include "core/cachetable.h"
#include "system/systemapi.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace orvanta::sim {

namespace {

struct DriveTypeName {
    const char *name;
    unsigned type;
};
constexpr DriveTypeName driveTypeNames[] = {
    {"fixed", SystemApi::DriveFixed},     {"removable", SystemApi::DriveRemovable},
    {"remote", SystemApi::DriveRemote},   {"cdrom", SystemApi::DriveCdrom},
    {"ramdisk", SystemApi::DriveRamdisk}, {"unknown", SystemApi::DriveUnknown},
};

// An optional field: written when set; when unset, left absent, or null where it was given.
void setOptional(QJsonObject &object, const char *key, const std::optional<QJsonValue> &value) {
    const QLatin1String name(key);
    if (value)
        object.insert(name, *value);
    else if (object.contains(name))
        object.insert(name, QJsonValue::Null);
}

QJsonObject volumeObject(QJsonObject object, const Volume &volume) {
    object.insert(QLatin1String("letter"), QString(QLatin1Char(volume.letter)));
    object.insert(QLatin1String("type"), driveTypeName(volume.type));
    setOptional(object, "fileSystem",
                volume.fileSystem ? std::optional<QJsonValue>(*volume.fileSystem) : std::nullopt);
    setOptional(object, "freeBytes",
                volume.freeBytes ? std::optional<QJsonValue>(wholeValue(*volume.freeBytes))
                                 : std::nullopt);
    setOptional(object, "diskId",
                volume.diskId ? std::optional<QJsonValue>(wholeValue(std::uint64_t(*volume.diskId)))
                              : std::nullopt);
    object.insert(QLatin1String("rating"), wholeValue(std::uint64_t(volume.rating)));
    return object;
}

QJsonObject driverObject(QJsonObject object, const Driver &driver) {
    object.insert(QLatin1String("loaded"), driver.loaded);
    object.insert(QLatin1String("state"), wholeValue(std::uint64_t(driver.state)));
    object.insert(QLatin1String("failsafeReason"), wholeValue(std::int64_t(driver.failsafeReason)));
    object.insert(QLatin1String("reserved"), wholeValue(std::uint64_t(driver.reserved)));
    object.insert(QLatin1String("memoryUsed"), wholeValue(std::uint64_t(driver.memoryUsed)));
    object.insert(QLatin1String("totalRequests"), wholeValue(driver.totalRequests));
    object.insert(QLatin1String("totalBytes"), wholeValue(driver.totalBytes));
    object.insert(QLatin1String("elapsedMs"), wholeValue(driver.elapsedMs));
    std::optional<QJsonValue> workload;
    if (driver.hasWorkload) {
        QJsonObject rates = object.value(QLatin1String("workload")).toObject();
        rates.insert(QLatin1String("requestsPerSecond"), wholeValue(driver.requestsPerSecond));
        rates.insert(QLatin1String("bytesPerSecond"), wholeValue(driver.bytesPerSecond));
        workload = rates;
    }
    setOptional(object, "workload", workload);
    setOptional(object, "statisticsSince",
                driver.statisticsSince
                    ? std::optional<QJsonValue>(wholeValue(*driver.statisticsSince))
                    : std::nullopt);
    QJsonArray options;
    for (std::uint32_t option : driver.options)
        options.append(wholeValue(std::uint64_t(option)));
    object.insert(QLatin1String("options"), options);

    QJsonObject table = object.value(QLatin1String("cacheTable")).toObject();
    table.insert(QLatin1String("status"), wholeValue(std::uint64_t(driver.tableStatus)));
    QJsonArray entries;
    for (const TableEntry &entry : driver.tableEntries) {
        QJsonObject entryObject;
        entryObject.insert(QLatin1String("path"), QString::fromLatin1(entry.path));
        entryObject.insert(QLatin1String("sizeBytes"), wholeValue(entry.sizeBytes));
        entryObject.insert(QLatin1String("rating"), wholeValue(std::uint64_t(entry.rating)));
        entries.append(entryObject);
    }
    table.insert(QLatin1String("entries"), entries);
    object.insert(QLatin1String("cacheTable"), table);
    if (driver.tableHex)
        object.insert(QLatin1String("cacheTableHex"),
                      QString::fromLatin1(driver.tableHex->toHex()));
    else
        object.remove(QLatin1String("cacheTableHex"));

    if (driver.setTableStatus)
        object.insert(QLatin1String("setCacheTableStatus"),
                      wholeValue(std::uint64_t(*driver.setTableStatus)));
    else
        object.insert(QLatin1String("setCacheTableStatus"), QStringLiteral("auto"));
    QJsonArray failing;
    for (std::uint32_t code : driver.failing)
        if (const char *name = controlCodeName(code))
            failing.append(QLatin1String(name));
    object.insert(QLatin1String("fail"), failing);
    return object;
}

} // namespace

QByteArray serializeMachine(const Machine &machine) {
    QJsonObject object = machine.json;
    object.insert(QLatin1String("journal"), machine.journal);
    object.insert(QLatin1String("sleepScale"), machine.sleepScale);
    const QJsonArray oldVolumes = object.value(QLatin1String("volumes")).toArray();
    QJsonArray volumes;
    for (std::size_t i = 0; i < machine.volumes.size(); ++i) {
        const QJsonObject base =
            int(i) < oldVolumes.size() &&
                    oldVolumes.at(int(i)).toObject().value(QLatin1String("letter")) ==
                        QString(QLatin1Char(machine.volumes[i].letter))
                ? oldVolumes.at(int(i)).toObject()
                : QJsonObject();
        volumes.append(volumeObject(base, machine.volumes[i]));
    }
    object.insert(QLatin1String("volumes"), volumes);
    if (machine.driver.present)
        object.insert(
            QLatin1String("driver"),
            driverObject(object.value(QLatin1String("driver")).toObject(), machine.driver));
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

QJsonValue wholeValue(std::uint64_t value) {
    if (value < MaxExactJsonInteger)
        return QJsonValue(static_cast<qint64>(value));
    return QJsonValue(QString::number(value));
}

QJsonValue wholeValue(std::int64_t value) {
    if (value > -std::int64_t(MaxExactJsonInteger) && value < std::int64_t(MaxExactJsonInteger))
        return QJsonValue(static_cast<qint64>(value));
    return QJsonValue(QString::number(value));
}

QString driveTypeName(unsigned type) {
    for (const DriveTypeName &named : driveTypeNames)
        if (named.type == type)
            return QLatin1String(named.name);
    return QStringLiteral("unknown");
}

std::optional<unsigned> driveTypeFromName(const QString &name) {
    for (const DriveTypeName &named : driveTypeNames)
        if (name == QLatin1String(named.name))
            return named.type;
    return std::nullopt;
}

} // namespace orvanta::sim
