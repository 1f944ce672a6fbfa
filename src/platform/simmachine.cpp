#include "platform/simmachine.h"

#include "cache/volumes.h"
#include "driver/cachetable.h"
#include "platform/systemapi.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLockFile>
#include <QSaveFile>
#include <QStringList>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>

#include <sys/stat.h>
#include <time.h>

namespace orvanta::sim {

namespace {

// Rewrites take milliseconds: a lock held this long belongs to a process that hangs.
constexpr int LockTimeoutMs = 5000;
// How long after its last change a file's time stamps are trusted to show the next one.
constexpr std::int64_t UnsettledNs = 2000000000;

struct DriveTypeName {
    const char *name;
    unsigned type;
};
constexpr DriveTypeName driveTypeNames[] = {
    {"fixed", SystemApi::DriveFixed},     {"removable", SystemApi::DriveRemovable},
    {"remote", SystemApi::DriveRemote},   {"cdrom", SystemApi::DriveCdrom},
    {"ramdisk", SystemApi::DriveRamdisk}, {"unknown", SystemApi::DriveUnknown},
};

bool given(const QJsonValue &value) {
    return !value.isUndefined() && !value.isNull();
}

std::uint64_t saturatingMul(std::uint64_t a, std::uint64_t b) {
    std::uint64_t product;
    return __builtin_mul_overflow(a, b, &product) ? std::numeric_limits<std::uint64_t>::max()
                                                  : product;
}

// rate per second × ms / 1000, exact and without overflow for any rate.
std::uint64_t grownBy(std::uint64_t perSecond, std::uint64_t ms) {
    return saturatingAdd(saturatingMul(perSecond / 1000, ms),
                         saturatingMul(perSecond % 1000, ms) / 1000);
}

// Reads fields of untrusted JSON; the first problem found is kept, naming its field.
class Parser {
public:
    QString problem;

    bool failed() const { return !problem.isEmpty(); }
    void fail(const QString &field, const QString &what) {
        if (problem.isEmpty())
            problem = field + QStringLiteral(": ") + what;
    }

    struct Whole {
        bool negative = false;
        std::uint64_t magnitude = 0;
        QString text() const {
            return (negative ? QStringLiteral("-") : QString()) + QString::number(magnitude);
        }
    };

    // A whole number: a JSON number below 2^53 in size (above that a double is no longer
    // exact, and Qt 5 and 6 would read it differently) or a decimal string of any u64/i64.
    std::optional<Whole> whole(const QJsonValue &value, const QString &field) {
        Whole number;
        if (value.isDouble()) {
            const double d = value.toDouble();
            if (!std::isfinite(d) || std::floor(d) != d) {
                fail(field, QStringLiteral("must be a whole number"));
                return std::nullopt;
            }
            if (std::fabs(d) >= double(MaxExactJsonInteger)) {
                fail(field, QStringLiteral("is too large for a JSON number; write it as a "
                                           "decimal string, such as \"18446744073709551615\""));
                return std::nullopt;
            }
            number.negative = d < 0;
            number.magnitude = static_cast<std::uint64_t>(std::fabs(d));
            return number;
        }
        if (value.isString()) {
            const QString text = value.toString();
            int i = 0;
            if (text.startsWith(QLatin1Char('-'))) {
                number.negative = true;
                i = 1;
            }
            if (i == text.size() || text.size() - i > 20) {
                fail(field, QStringLiteral("must be a whole number"));
                return std::nullopt;
            }
            for (; i < text.size(); ++i) {
                const QChar c = text.at(i);
                if (c < QLatin1Char('0') || c > QLatin1Char('9') ||
                    __builtin_mul_overflow(number.magnitude, 10u, &number.magnitude) ||
                    __builtin_add_overflow(number.magnitude, unsigned(c.unicode() - '0'),
                                           &number.magnitude)) {
                    fail(field, QStringLiteral("must be a whole number of at most 64 bits"));
                    return std::nullopt;
                }
            }
            return number;
        }
        fail(field, QStringLiteral("must be a whole number"));
        return std::nullopt;
    }

    template <typename T>
    bool unsignedField(const QJsonValue &value, const QString &field, T &out,
                       std::uint64_t max = std::numeric_limits<T>::max()) {
        const std::optional<Whole> number = whole(value, field);
        if (!number)
            return false;
        if ((number->negative && number->magnitude != 0) || number->magnitude > max) {
            fail(field, QStringLiteral("%1 is out of range (0 to %2)")
                            .arg(number->text(), QString::number(max)));
            return false;
        }
        out = static_cast<T>(number->magnitude);
        return true;
    }

    template <typename T>
    bool signedField(const QJsonValue &value, const QString &field, T &out,
                     std::int64_t min = std::numeric_limits<T>::min(),
                     std::int64_t max = std::numeric_limits<T>::max()) {
        const std::optional<Whole> number = whole(value, field);
        if (!number)
            return false;
        bool inRange;
        std::int64_t result = 0;
        if (number->negative) {
            inRange =
                number->magnitude <= std::uint64_t(std::numeric_limits<std::int64_t>::max()) + 1;
            if (inRange)
                result = static_cast<std::int64_t>(0 - number->magnitude);
        } else {
            inRange = number->magnitude <= std::uint64_t(std::numeric_limits<std::int64_t>::max());
            if (inRange)
                result = static_cast<std::int64_t>(number->magnitude);
        }
        if (!inRange || result < min || result > max) {
            fail(field, QStringLiteral("%1 is out of range (%2 to %3)")
                            .arg(number->text(), QString::number(min), QString::number(max)));
            return false;
        }
        out = static_cast<T>(result);
        return true;
    }

    // Optional field: absent or null keeps `out` as it is.
    template <typename T>
    void optionalUnsigned(const QJsonObject &object, const char *key, const QString &prefix, T &out,
                          std::uint64_t max = std::numeric_limits<T>::max()) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (given(value))
            unsignedField(value, prefix + QLatin1String(key), out, max);
    }

    bool boolean(const QJsonObject &object, const char *key, const QString &prefix, bool &out) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!given(value))
            return true;
        if (!value.isBool()) {
            fail(prefix + QLatin1String(key), QStringLiteral("must be true or false"));
            return false;
        }
        out = value.toBool();
        return true;
    }
};

void parseVolume(Parser &p, const QJsonValue &value, const QString &field, Machine &machine) {
    if (!value.isObject()) {
        p.fail(field, QStringLiteral("must be an object"));
        return;
    }
    const QJsonObject object = value.toObject();
    const QString prefix = field + QLatin1Char('.');
    Volume volume;

    const QJsonValue letter = object.value(QLatin1String("letter"));
    const QString letterText = letter.toString();
    if (!letter.isString() || letterText.size() != 1 || letterText.at(0) < QLatin1Char('A') ||
        letterText.at(0) > QLatin1Char('Z')) {
        p.fail(prefix + QLatin1String("letter"), QStringLiteral("must be one letter from A to Z"));
        return;
    }
    volume.letter = static_cast<char>(letterText.at(0).unicode());
    if (machine.volume(volume.letter)) {
        p.fail(prefix + QLatin1String("letter"),
               QStringLiteral("%1 is listed twice").arg(letterText));
        return;
    }

    const QJsonValue type = object.value(QLatin1String("type"));
    bool knownType = false;
    for (const DriveTypeName &named : driveTypeNames)
        if (type.isString() && type.toString() == QLatin1String(named.name)) {
            volume.type = named.type;
            knownType = true;
        }
    if (!knownType) {
        p.fail(prefix + QLatin1String("type"),
               QStringLiteral("must be fixed, removable, remote, cdrom, ramdisk or unknown"));
        return;
    }

    const QJsonValue fileSystem = object.value(QLatin1String("fileSystem"));
    if (given(fileSystem)) {
        const QString name = fileSystem.toString();
        // GetVolumeInformationW hands the name over in 256 characters with its terminator.
        if (!fileSystem.isString() || name.size() > 255 || name.contains(QChar(0))) {
            p.fail(prefix + QLatin1String("fileSystem"),
                   QStringLiteral("must be a text of at most 255 characters, or null"));
            return;
        }
        volume.fileSystem = name;
    }
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

    const QJsonValue options = object.value(QLatin1String("options"));
    if (given(options)) {
        if (!options.isArray() || options.toArray().size() != 4) {
            p.fail(prefix + QLatin1String("options"),
                   QStringLiteral("must be an array of the four option values"));
            return;
        }
        for (int i = 0; i < 4; ++i)
            p.unsignedField(options.toArray().at(i), prefix + QStringLiteral("options[%1]").arg(i),
                            driver.options[std::size_t(i)]);
    }

    const QJsonValue table = object.value(QLatin1String("cacheTable"));
    if (given(table))
        parseCacheTable(p, table, prefix + QLatin1String("cacheTable"), driver);
    const QJsonValue hex = object.value(QLatin1String("cacheTableHex"));
    if (given(hex)) {
        const QByteArray digits = hex.toString().toLatin1();
        const QByteArray bytes = QByteArray::fromHex(digits);
        bool onlyHex = hex.isString() && digits.size() == int(2 * sizeof(CacheTable));
        for (char c : digits)
            onlyHex = onlyHex && std::isxdigit(static_cast<unsigned char>(c));
        if (!onlyHex || bytes.size() != int(sizeof(CacheTable))) {
            p.fail(prefix + QLatin1String("cacheTableHex"),
                   QStringLiteral("must be exactly %1 hexadecimal digits (%2 bytes)")
                       .arg(2 * sizeof(CacheTable))
                       .arg(sizeof(CacheTable)));
            return;
        }
        driver.tableHex = bytes;
    }

    const QJsonValue setStatus = object.value(QLatin1String("setCacheTableStatus"));
    if (given(setStatus) &&
        !(setStatus.isString() && setStatus.toString() == QLatin1String("auto"))) {
        if (setStatus.isString()) {
            p.fail(prefix + QLatin1String("setCacheTableStatus"),
                   QStringLiteral("must be 1, 0 or \"auto\""));
            return;
        }
        std::uint32_t status = 0;
        if (p.unsignedField(setStatus, prefix + QLatin1String("setCacheTableStatus"), status))
            driver.setTableStatus = status;
    }

    const QJsonValue fail = object.value(QLatin1String("fail"));
    if (given(fail)) {
        if (!fail.isArray()) {
            p.fail(prefix + QLatin1String("fail"),
                   QStringLiteral("must be an array of control code names"));
            return;
        }
        const QJsonArray names = fail.toArray();
        for (int i = 0; i < names.size(); ++i) {
            const std::uint32_t code =
                controlCodeByName(names.at(i).toString().toLatin1().constData());
            if (!names.at(i).isString() || code == 0) {
                p.fail(prefix + QStringLiteral("fail[%1]").arg(i),
                       QStringLiteral("must be the name of a control code, such as "
                                      "\"IOCTL_GET_OPTIONS\""));
                return;
            }
            driver.failing.push_back(code);
        }
    }
}

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

const Machine &bareMachine() {
    static const Machine machine;
    return machine;
}

} // namespace

bool Driver::fails(std::uint32_t code) const {
    return std::find(failing.begin(), failing.end(), code) != failing.end();
}

StatusRecord Driver::statusAt(std::int64_t nowMs) const {
    StatusRecord status{};
    status.state = state;
    status.failsafeReason = failsafeReason;
    status.reserved = reserved;
    status.memoryUsed = memoryUsed;
    status.totalRequests = totalRequests;
    status.totalBytes = totalBytes;
    status.elapsedMs = elapsedMs;
    if (hasWorkload && statisticsSince && nowMs > *statisticsSince) {
        const std::uint64_t ms = static_cast<std::uint64_t>(nowMs - *statisticsSince);
        status.totalRequests = saturatingAdd(totalRequests, grownBy(requestsPerSecond, ms));
        status.totalBytes = saturatingAdd(totalBytes, grownBy(bytesPerSecond, ms));
        status.elapsedMs = saturatingAdd(elapsedMs, ms);
    }
    return status;
}

CacheTable Driver::cacheTable() const {
    CacheTable table = emptyCacheTable();
    if (tableHex && tableHex->size() == int(sizeof table)) {
        std::memcpy(&table, tableHex->constData(), sizeof table);
        return table;
    }
    table.status = tableStatus;
    const std::size_t count = std::min<std::size_t>(tableEntries.size(), CacheEntryCount);
    for (std::size_t i = 0; i < count; ++i) {
        CacheEntry &entry = table.entries[i];
        // A 64-byte path fills the field with no NUL, as the driver would hand it over.
        std::memcpy(entry.path, tableEntries[i].path.constData(),
                    std::min<std::size_t>(tableEntries[i].path.size(), CachePathSize));
        entry.sizeBytes = tableEntries[i].sizeBytes;
        entry.rating = tableEntries[i].rating;
    }
    return table;
}

const Volume *Machine::volume(char letter) const {
    for (const Volume &volume : volumes)
        if (volume.letter == letter)
            return &volume;
    return nullptr;
}

Volume *Machine::volume(char letter) {
    for (Volume &volume : volumes)
        if (volume.letter == letter)
            return &volume;
    return nullptr;
}

bool parseJsonObject(const QByteArray &text, QJsonObject &object, QString &problem) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError) {
        problem = QStringLiteral("not valid JSON (%1 at byte %2)")
                      .arg(error.errorString())
                      .arg(error.offset);
        return false;
    }
    if (!document.isObject()) {
        problem = QStringLiteral("the top level must be a JSON object");
        return false;
    }
    object = document.object();
    return true;
}

bool parseMachine(const QByteArray &text, Machine &machine, QString &problem) {
    machine = Machine();
    QJsonObject object;
    if (!parseJsonObject(text, object, problem))
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
        problem = p.problem;
        machine = Machine();
        return false;
    }
    machine.json = object;
    return true;
}

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

QString volumeFolder(const QString &root, char letter) {
    return root + QStringLiteral("/volumes/") + QLatin1Char(letter);
}

QString cacheFilePath(const QString &root, char letter, int position) {
    return volumeFolder(root, letter) + QLatin1Char('/') +
           QString::fromStdWString(orvanta::cacheFileName(position));
}

bool writeCacheFile(const QString &path, std::int64_t size, QString &error) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    // resize() leaves a sparse file.
    if (!file.open(QIODevice::ReadWrite) || !file.resize(size)) {
        error = QStringLiteral("cannot write the cache file %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

void removeCacheFilesExcept(const QString &root, char letter,
                            const std::function<bool(const QString &path)> &keep) {
    for (int position = 0; position < CacheEntryCount; ++position) {
        const QString path = cacheFilePath(root, letter, position);
        if (!keep(path) && QFileInfo(path).isFile())
            QFile::remove(path);
    }
}

char rootLetter(const std::wstring &root) {
    if (root.size() != 3 || root[1] != L':' || root[2] != L'\\')
        return 0;
    const wchar_t c = root[0];
    if (c >= L'a' && c <= L'z')
        return static_cast<char>(c - L'a' + 'A');
    if (c >= L'A' && c <= L'Z')
        return static_cast<char>(c);
    return 0;
}

char rootLetter(const QByteArray &path8bit) {
    std::wstring root;
    for (char c : path8bit)
        root += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return rootLetter(root);
}

QString hostPath(const QString &root, const std::wstring &windowsPath) {
    if (windowsPath.size() < 4)
        return QString();
    const char letter = rootLetter(windowsPath.substr(0, 3));
    if (!letter)
        return QString();
    const QString rest = QString::fromStdWString(windowsPath.substr(3));
    QStringList parts;
    for (const QString &part : rest.split(QLatin1Char('\\'))) {
        // Nothing may lead out of the volume's folder or name something Windows could not.
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String("..") ||
            part.contains(QLatin1Char('/')) || part.contains(QLatin1Char(':')) ||
            part.contains(QChar(0)))
            return QString();
        parts.append(part);
    }
    return volumeFolder(root, letter) + QLatin1Char('/') + parts.join(QLatin1Char('/'));
}

MachineFile::MachineFile(const QString &root)
    : root_(root)
    , nativePath_(QFile::encodeName(path())) {}

bool MachineFile::Identity::sameFileAs(const Identity &other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           modifiedNs == other.modifiedNs && changedNs == other.changedNs;
}

std::optional<MachineFile::Identity> MachineFile::identify(const QByteArray &path) {
    struct stat info;
    if (::stat(path.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    const auto nanoseconds = [](const timespec &time) {
        return std::int64_t(time.tv_sec) * 1000000000 + time.tv_nsec;
    };
    Identity identity;
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
    identity.size = info.st_size;
    identity.modifiedNs = nanoseconds(info.st_mtim);
    identity.changedNs = nanoseconds(info.st_ctim);
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    // Time stamps advance in clock ticks, on some file systems in whole seconds: two writes
    // within one step look alike. A clock set back reads as unsettled.
    identity.settled =
        nanoseconds(now) - std::max(identity.modifiedNs, identity.changedNs) >= UnsettledNs;
    return identity;
}

QString MachineFile::path() const {
    return root_ + QStringLiteral("/machine.json");
}

QString MachineFile::lockPath() const {
    return root_ + QStringLiteral("/machine.lock");
}

MachineFile::Snapshot MachineFile::read() {
    static const std::shared_ptr<const Machine> bare(&bareMachine(), [](const Machine *) {});
    Snapshot snapshot;
    snapshot.machine = bare;
    // Taken before the bytes are read, so it is never newer than they are.
    const std::optional<Identity> identity = identify(nativePath_);
    if (haveText_ && identity && lastIdentity_ && lastIdentity_->settled &&
        identity->sameFileAs(*lastIdentity_)) {
        snapshot = last_;
        snapshot.fresh = false;
        return snapshot;
    }
    // Problems found without the text are new when they differ from the last one.
    const auto remember = [this, &identity](Snapshot found, const QByteArray *text) {
        if (!text)
            found.fresh = !haveLast_ || haveText_ || last_.status != found.status ||
                          last_.problem != found.problem;
        haveText_ = text != nullptr;
        lastText_ = text ? *text : QByteArray();
        lastIdentity_ = text ? identity : std::nullopt;
        last_ = found;
        haveLast_ = true;
        return found;
    };
    QFile file(path());
    if (!file.open(QIODevice::ReadOnly)) {
        if (file.exists()) {
            snapshot.status = Status::Unreadable;
            snapshot.problem = file.errorString();
        }
        return remember(snapshot, nullptr);
    }
    // Sized first: reading up to the bound in one go would allocate it on every call.
    if (file.size() > MaxMachineFileSize) {
        snapshot.status = Status::Malformed;
        snapshot.problem = QStringLiteral("larger than %1 bytes").arg(MaxMachineFileSize);
        return remember(snapshot, nullptr);
    }
    const QByteArray text = file.readAll();
    if (haveText_ && text == lastText_) {
        lastIdentity_ = identity;
        snapshot = last_;
        snapshot.fresh = false;
        return snapshot;
    }
    snapshot.fresh = true;
    auto machine = std::make_shared<Machine>();
    if (text.size() > MaxMachineFileSize) {
        snapshot.status = Status::Malformed;
        snapshot.problem = QStringLiteral("larger than %1 bytes").arg(MaxMachineFileSize);
    } else if (parseMachine(text, *machine, snapshot.problem)) {
        snapshot.status = Status::Ok;
        snapshot.machine = std::move(machine);
    } else {
        snapshot.status = Status::Malformed;
    }
    return remember(snapshot, &text);
}

std::unique_ptr<QLockFile> MachineFile::takeLock(QString &error) const {
    // Something that is no file in the lock's place would only make every writer wait it out.
    const QFileInfo lockInfo(lockPath());
    if (lockInfo.exists() && !lockInfo.isFile()) {
        error = QStringLiteral("%1 is not a file").arg(lockPath());
        return nullptr;
    }
    auto lock = std::make_unique<QLockFile>(lockPath());
    if (!lock->tryLock(LockTimeoutMs)) {
        error = lock->error() == QLockFile::LockFailedError
                    ? QStringLiteral("%1 is held by another process").arg(lockPath())
                    : QStringLiteral("cannot create the lock file %1").arg(lockPath());
        return nullptr;
    }
    return lock;
}

bool MachineFile::update(const std::function<bool(Machine &)> &change, QString &error,
                         bool createIfMissing) {
    error.clear();
    if (createIfMissing && !QDir().mkpath(root_)) {
        error = QStringLiteral("cannot create the folder %1").arg(root_);
        return false;
    }
    const std::unique_ptr<QLockFile> lock = takeLock(error);
    if (!lock)
        return false;
    const Snapshot snapshot = read();
    Machine machine;
    switch (snapshot.status) {
    case Status::Ok:
        machine = *snapshot.machine;
        break;
    case Status::Missing:
        if (!createIfMissing) {
            error = QStringLiteral("%1 does not exist").arg(path());
            return false;
        }
        break;
    case Status::Malformed:
    case Status::Unreadable:
        error = QStringLiteral("%1 cannot be used (%2); it is left as it is")
                    .arg(path(), snapshot.problem);
        return false;
    }
    if (!change(machine))
        return false;
    return writeLocked(machine, error);
}

bool MachineFile::writeLocked(const Machine &machine, QString &error) const {
    const QByteArray text = serializeMachine(machine);
    QSaveFile out(path());
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(path(), out.errorString());
        return false;
    }
    return true;
}

} // namespace orvanta::sim
