// machine.json read: its text parsed into plain fields, every field of untrusted input checked
// and the first wrong one named.
#include "sim/simmachine.h"

#include "sim/jsonfields.h"

#include "core/cachetable.h"
#include "system/systemapi.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include <cctype>
#include <cmath>
#include <limits>

namespace orvanta::sim {

namespace {

// The drive letter, one of A to Z and new to the machine.
bool parseVolumeLetter(Parser &p, const QJsonObject &object, const QString &prefix,
                       const Machine &machine, Volume &volume) {
    const QJsonValue letter = object.value(QLatin1String("letter"));
    const QString letterText = letter.toString();
    if (!letter.isString() || letterText.size() != 1 || letterText.at(0) < QLatin1Char('A') ||
        letterText.at(0) > QLatin1Char('Z')) {
        p.fail(prefix + QLatin1String("letter"), QStringLiteral("must be one letter from A to Z"));
        return false;
    }
    volume.letter = static_cast<char>(letterText.at(0).unicode());
    if (machine.volume(volume.letter)) {
        p.fail(prefix + QLatin1String("letter"),
               QStringLiteral("%1 is listed twice").arg(letterText));
        return false;
    }
    return true;
}

bool parseVolumeType(Parser &p, const QJsonObject &object, const QString &prefix, Volume &volume) {
    const QJsonValue type = object.value(QLatin1String("type"));
    const std::optional<unsigned> knownType =
        type.isString() ? driveTypeFromName(type.toString()) : std::nullopt;
    if (!knownType) {
        p.fail(prefix + QLatin1String("type"),
               QStringLiteral("must be fixed, removable, remote, cdrom, ramdisk or unknown"));
        return false;
    }
    volume.type = *knownType;
    return true;
}

// Absent or null: the volume has no file system to tell.
void parseFileSystem(Parser &p, const QJsonObject &object, const QString &prefix, Volume &volume) {
    const QJsonValue fileSystem = object.value(QLatin1String("fileSystem"));
    if (!given(fileSystem))
        return;
    const QString name = fileSystem.toString();
    // GetVolumeInformationW hands the name over in 256 characters with its terminator.
    if (!fileSystem.isString() || name.size() > 255 || name.contains(QChar(0))) {
        p.fail(prefix + QLatin1String("fileSystem"),
               QStringLiteral("must be a text of at most 255 characters, or null"));
        return;
    }
    volume.fileSystem = name;
}

void parseVolume(Parser &p, const QJsonValue &value, const QString &field, Machine &machine) {
    if (!value.isObject()) {
        p.fail(field, QStringLiteral("must be an object"));
        return;
    }
    const QJsonObject object = value.toObject();
    const QString prefix = field + QLatin1Char('.');
    Volume volume;
    if (!parseVolumeLetter(p, object, prefix, machine, volume) ||
        !parseVolumeType(p, object, prefix, volume))
        return;
    parseFileSystem(p, object, prefix, volume);
    const QJsonValue freeBytes = object.value(QLatin1String("freeBytes"));
    if (given(freeBytes)) {
        std::uint64_t bytes = 0;
        if (p.unsignedField(freeBytes, prefix + QLatin1String("freeBytes"), bytes))
            volume.freeBytes = bytes;
    }
    const QJsonValue diskId = object.value(QLatin1String("diskId"));
    if (given(diskId)) {
        std::uint32_t id = 0;
        if (p.unsignedField(diskId, prefix + QLatin1String("diskId"), id))
            volume.diskId = id;
    }
    p.optionalUnsigned(object, "rating", prefix, volume.rating);
    if (!p.failed())
        machine.volumes.push_back(volume);
}

void parseCacheTable(Parser &p, const QJsonValue &value, const QString &field, Driver &driver) {
    if (!value.isObject()) {
        p.fail(field, QStringLiteral("must be an object"));
        return;
    }
    const QJsonObject object = value.toObject();
    const QString prefix = field + QLatin1Char('.');
    driver.tableStatus = 1; // a table that is there is a valid one unless it says otherwise
    p.optionalUnsigned(object, "status", prefix, driver.tableStatus);
    const QJsonValue entries = object.value(QLatin1String("entries"));
    if (!given(entries))
        return;
    if (!entries.isArray() || entries.toArray().size() > CacheEntryCount) {
        p.fail(prefix + QLatin1String("entries"),
               QStringLiteral("must be an array of at most %1 entries").arg(CacheEntryCount));
        return;
    }
    const QJsonArray array = entries.toArray();
    for (int i = 0; i < array.size() && !p.failed(); ++i) {
        const QString entryField = prefix + QStringLiteral("entries[%1]").arg(i);
        if (!array.at(i).isObject()) {
            p.fail(entryField, QStringLiteral("must be an object"));
            return;
        }
        const QJsonObject entryObject = array.at(i).toObject();
        TableEntry entry;
        const QJsonValue path = entryObject.value(QLatin1String("path"));
        const QString pathText = path.toString();
        bool latin1 = path.isString() && pathText.size() <= int(CachePathSize);
        for (QChar c : pathText)
            latin1 = latin1 && c.unicode() > 0 && c.unicode() <= 0xff;
        if (!latin1) {
            p.fail(entryField + QLatin1String(".path"),
                   QStringLiteral("must be a text of at most %1 characters, each one byte "
                                  "(Latin-1), without NUL")
                       .arg(CachePathSize));
            return;
        }
        entry.path = pathText.toLatin1();
        const QJsonValue size = entryObject.value(QLatin1String("sizeBytes"));
        if (given(size))
            p.signedField(size, entryField + QLatin1String(".sizeBytes"), entry.sizeBytes, 0);
        p.optionalUnsigned(entryObject, "rating", entryField + QLatin1Char('.'), entry.rating);
        driver.tableEntries.push_back(entry);
    }
}

// The counters and their live growth.
void parseCounters(Parser &p, const QJsonObject &object, const QString &prefix, Driver &driver) {
    p.optionalUnsigned(object, "state", prefix, driver.state);
    const QJsonValue reason = object.value(QLatin1String("failsafeReason"));
    if (given(reason))
        p.signedField(reason, prefix + QLatin1String("failsafeReason"), driver.failsafeReason);
    p.optionalUnsigned(object, "reserved", prefix, driver.reserved);
    p.optionalUnsigned(object, "memoryUsed", prefix, driver.memoryUsed);
    p.optionalUnsigned(object, "totalRequests", prefix, driver.totalRequests);
    p.optionalUnsigned(object, "totalBytes", prefix, driver.totalBytes);
    p.optionalUnsigned(object, "elapsedMs", prefix, driver.elapsedMs);

    const QJsonValue workload = object.value(QLatin1String("workload"));
    if (given(workload)) {
        if (!workload.isObject()) {
            p.fail(prefix + QLatin1String("workload"), QStringLiteral("must be an object or null"));
            return;
        }
        driver.hasWorkload = true;
        const QString workloadPrefix = prefix + QLatin1String("workload.");
        p.optionalUnsigned(workload.toObject(), "requestsPerSecond", workloadPrefix,
                           driver.requestsPerSecond);
        p.optionalUnsigned(workload.toObject(), "bytesPerSecond", workloadPrefix,
                           driver.bytesPerSecond);
    }
    const QJsonValue since = object.value(QLatin1String("statisticsSince"));
    if (given(since)) {
        std::int64_t ms = 0;
        if (p.signedField(since, prefix + QLatin1String("statisticsSince"), ms, 0))
            driver.statisticsSince = ms;
    }
}

void parseOptions(Parser &p, const QJsonValue &options, const QString &prefix, Driver &driver) {
    if (!given(options))
        return;
    if (!options.isArray() || options.toArray().size() != 4) {
        p.fail(prefix + QLatin1String("options"),
               QStringLiteral("must be an array of the four option values"));
        return;
    }
    for (int i = 0; i < 4; ++i)
        p.unsignedField(options.toArray().at(i), prefix + QStringLiteral("options[%1]").arg(i),
                        driver.options[std::size_t(i)]);
}

void parseTableHex(Parser &p, const QJsonValue &hex, const QString &prefix, Driver &driver) {
    if (!given(hex))
        return;
    const QByteArray digits = hex.toString().toLatin1();
    const QByteArray bytes = QByteArray::fromHex(digits);
    bool onlyHex = hex.isString() && digits.size() == int(2 * sizeof(CacheTable));
    for (char c : digits)
        onlyHex = onlyHex && std::isxdigit(static_cast<unsigned char>(c));
    if (!onlyHex) {
        p.fail(prefix + QLatin1String("cacheTableHex"),
               QStringLiteral("must be exactly %1 hexadecimal digits (%2 bytes)")
                   .arg(2 * sizeof(CacheTable))
                   .arg(sizeof(CacheTable)));
        return;
    }
    driver.tableHex = bytes;
}

void parseSetStatus(Parser &p, const QJsonValue &setStatus, const QString &prefix, Driver &driver) {
    if (!given(setStatus) ||
        (setStatus.isString() && setStatus.toString() == QLatin1String("auto")))
        return;
    if (setStatus.isString()) {
        p.fail(prefix + QLatin1String("setCacheTableStatus"),
               QStringLiteral("must be 1, 0 or \"auto\""));
        return;
    }
    std::uint32_t status = 0;
    if (p.unsignedField(setStatus, prefix + QLatin1String("setCacheTableStatus"), status))
        driver.setTableStatus = status;
}

void parseFailing(Parser &p, const QJsonValue &fail, const QString &prefix, Driver &driver) {
    if (!given(fail))
        return;
    if (!fail.isArray()) {
        p.fail(prefix + QLatin1String("fail"),
               QStringLiteral("must be an array of control code names"));
        return;
    }
    const QJsonArray names = fail.toArray();
    for (int i = 0; i < names.size(); ++i) {
        const std::uint32_t code = controlCodeByName(names.at(i).toString().toLatin1().constData());
        if (!names.at(i).isString() || code == 0) {
            p.fail(prefix + QStringLiteral("fail[%1]").arg(i),
                   QStringLiteral("must be the name of a control code, such as "
                                  "\"IOCTL_GET_OPTIONS\""));
            return;
        }
        driver.failing.push_back(code);
    }
}

void parseDriver(Parser &p, const QJsonValue &value, Driver &driver) {
    const QString prefix = QStringLiteral("driver.");
    if (!value.isObject()) {
        p.fail(QStringLiteral("driver"), QStringLiteral("must be an object or null"));
        return;
    }
    const QJsonObject object = value.toObject();
    driver.present = true;
    driver.loaded = true;
    driver.state = static_cast<std::uint32_t>(DriverState::Running);
    p.boolean(object, "loaded", prefix, driver.loaded);
    // In file order; the first problem is the one reported.
    parseCounters(p, object, prefix, driver);
    if (!p.failed())
        parseOptions(p, object.value(QLatin1String("options")), prefix, driver);
    const QJsonValue table = object.value(QLatin1String("cacheTable"));
    if (!p.failed() && given(table))
        parseCacheTable(p, table, prefix + QLatin1String("cacheTable"), driver);
    if (!p.failed())
        parseTableHex(p, object.value(QLatin1String("cacheTableHex")), prefix, driver);
    if (!p.failed())
        parseSetStatus(p, object.value(QLatin1String("setCacheTableStatus")), prefix, driver);
    if (!p.failed())
        parseFailing(p, object.value(QLatin1String("fail")), prefix, driver);
}

} // namespace

bool parseJsonObject(const QByteArray &text, QJsonObject &object, QString &error) {
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parse);
    if (parse.error != QJsonParseError::NoError) {
        error = QStringLiteral("not valid JSON (%1 at byte %2)")
                    .arg(parse.errorString())
                    .arg(parse.offset);
        return false;
    }
    if (!document.isObject()) {
        error = QStringLiteral("the top level must be a JSON object");
        return false;
    }
    object = document.object();
    return true;
}

bool parseMachine(const QByteArray &text, Machine &machine, QString &error) {
    machine = Machine();
    QJsonObject object;
    if (!parseJsonObject(text, object, error))
        return false;
    Parser p;
    p.boolean(object, "journal", QString(), machine.journal);
    const QJsonValue scale = object.value(QLatin1String("sleepScale"));
    if (given(scale)) {
        if (!scale.isDouble() || !(scale.toDouble() >= 0.0 && scale.toDouble() <= MaxSleepScale))
            p.fail(QStringLiteral("sleepScale"),
                   QStringLiteral("must be a number from 0 to %1").arg(MaxSleepScale));
        else
            machine.sleepScale = scale.toDouble();
    }
    const QJsonValue volumes = object.value(QLatin1String("volumes"));
    if (given(volumes)) {
        if (!volumes.isArray())
            p.fail(QStringLiteral("volumes"), QStringLiteral("must be an array"));
        const QJsonArray array = volumes.toArray();
        for (int i = 0; i < array.size() && !p.failed(); ++i)
            parseVolume(p, array.at(i), QStringLiteral("volumes[%1]").arg(i), machine);
    }
    const QJsonValue driver = object.value(QLatin1String("driver"));
    if (!p.failed() && given(driver))
        parseDriver(p, driver, machine.driver);
    if (p.failed()) {
        error = p.problem;
        machine = Machine();
        return false;
    }
    machine.json = object;
    return true;
}

} // namespace orvanta::sim
