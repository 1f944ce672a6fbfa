// Arbitrary bytes as the simulated machine's machine.json and registry.json: the input up to its
// first NUL is machine.json, the rest (when there is a NUL) registry.json.
//
// machine.json: what parses must write back to text that parses to the same machine, and writing
// that again must give the same text. Then the file goes on disk and the system seam answers
// from it: every answer must be what the parsed machine says (a file that does not parse is a
// bare machine), free space for caching is never negative, and the writing requests (options,
// clear, a new cache table) must either leave the file byte for byte as it was (a file that
// cannot be used is never rewritten) or leave one that parses and holds what was sent.
//
// registry.json: the Options tab of a real window reads "Autostart" from it; the box must be
// ticked exactly when the value is a non-zero whole number, and ticking it must leave a file
// that holds the integer 1.
#include "core/cachetable.h"
#include "core/driverchannel.h"
#include "core/volumes.h"
#include "fuzzapplication.h"
#include "gui/mainwindow.h"
#include "recordingsystem.h"
#include "sim/simmachine.h"
#include "sim/simulatedsystem.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalBlocker>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

using namespace orvanta;
using orvanta::testing::RecordingSystem;

namespace {

constexpr std::int64_t Now = 1796000000000; // the clock of the simulated driver, pinned

QString root;
RecordingSystem *noDriver = nullptr;
MainWindow *window = nullptr;
long long registryStamp = 1000000000; // a new modification time for every registry.json

QString rootFile(const char *name) {
    return root + QLatin1Char('/') + QLatin1String(name);
}

QByteArray readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &text) {
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                   file.write(text) == text.size(),
               "cannot write %s", qPrintable(path));
}

bool sameEntries(const std::vector<sim::TableEntry> &a, const std::vector<sim::TableEntry> &b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].path != b[i].path || a[i].sizeBytes != b[i].sizeBytes ||
            a[i].rating != b[i].rating)
            return false;
    return true;
}

void checkSameMachine(const sim::Machine &a, const sim::Machine &b) {
    FUZZ_CHECK(a.journal == b.journal && a.sleepScale == b.sleepScale, "journal, sleepScale");
    FUZZ_CHECK(a.volumes.size() == b.volumes.size(), "volumes");
    for (std::size_t i = 0; i < a.volumes.size(); ++i) {
        const sim::Volume &x = a.volumes[i];
        const sim::Volume &y = b.volumes[i];
        FUZZ_CHECK(x.letter == y.letter && x.type == y.type && x.fileSystem == y.fileSystem &&
                       x.freeBytes == y.freeBytes && x.diskId == y.diskId && x.rating == y.rating,
                   "volume %zu", i);
    }
    const sim::Driver &x = a.driver;
    const sim::Driver &y = b.driver;
    FUZZ_CHECK(x.present == y.present && x.loaded == y.loaded && x.failing == y.failing &&
                   x.setTableStatus == y.setTableStatus && x.options == y.options,
               "driver");
    FUZZ_CHECK(x.hasWorkload == y.hasWorkload && x.requestsPerSecond == y.requestsPerSecond &&
                   x.bytesPerSecond == y.bytesPerSecond && x.statisticsSince == y.statisticsSince,
               "workload");
    const StatusRecord sx = x.statusAt(Now);
    const StatusRecord sy = y.statusAt(Now);
    FUZZ_CHECK(std::memcmp(&sx, &sy, sizeof sx) == 0, "status");
    FUZZ_CHECK(x.tableStatus == y.tableStatus && sameEntries(x.tableEntries, y.tableEntries) &&
                   x.tableHex == y.tableHex,
               "cache table");
    const CacheTable tx = x.cacheTable();
    const CacheTable ty = y.cacheTable();
    FUZZ_CHECK(std::memcmp(&tx, &ty, sizeof tx) == 0, "cache table answer");
}

void checkRoundTrip(const sim::Machine &machine) {
    const QByteArray written = sim::serializeMachine(machine);
    sim::Machine again;
    QString problem;
    FUZZ_CHECK(sim::parseMachine(written, again, problem),
               "the machine as written back does not parse: %s", qPrintable(problem));
    FUZZ_CHECK(sim::serializeMachine(again) == written, "writing back is not stable");
    checkSameMachine(machine, again);
}

// The table the writing part of the run sends: a cache that may fit, a row at 0 GB, and a lower-
// case root on a letter that may or may not be listed.
CacheTable tableToSend() {
    CacheTable table = emptyCacheTable();
    appendEntry(table, "C:\\", 1, 7);
    appendEntry(table, "D:\\", 0, 0);
    appendEntry(table, "q:\\", 2, 9);
    return table;
}

// What the simulated driver keeps of tableToSend(): the entries with a size, in "auto" only those
// that fit a listed fixed NTFS volume with free bytes (no cache files exist before the request).
std::vector<sim::TableEntry> keptOf(const sim::Machine &machine) {
    std::vector<sim::TableEntry> kept;
    const CacheTable sent = tableToSend();
    for (const CacheEntry &entry : sent.entries) {
        if (entry.sizeBytes <= 0)
            continue;
        const std::string path = entryPath(entry);
        const sim::Volume *volume = machine.volume(static_cast<char>(std::toupper(path[0])));
        const bool fits = volume && volume->type == SystemApi::DriveFixed &&
                          volume->fileSystem == QLatin1String("NTFS") && volume->freeBytes &&
                          std::uint64_t(entry.sizeBytes) <= *volume->freeBytes;
        if (fits || machine.driver.setTableStatus)
            kept.push_back(
                {QByteArray(path.data(), int(path.size())), entry.sizeBytes, entry.rating});
    }
    return kept;
}

void checkReads(SystemApi &system, bool parsed, const sim::Machine &machine) {
    // The listed letters and a few others: every call reads machine.json again, so all 26
    // would make the run slow without finding more.
    std::string letters = "ACQZ";
    for (const sim::Volume &volume : parsed ? machine.volumes : std::vector<sim::Volume>())
        letters += volume.letter;
    for (char letter : letters) {
        const std::wstring volumeRoot{wchar_t(letter), L':', L'\\'};
        const sim::Volume *volume = parsed ? machine.volume(letter) : nullptr;
        FUZZ_CHECK(system.driveType(volumeRoot) ==
                       (volume ? volume->type : SystemApi::DriveNoRootDir),
                   "drive type of %c", letter);
        std::wstring fileSystem;
        const bool hasFileSystem = system.volumeFileSystem(volumeRoot, fileSystem);
        FUZZ_CHECK(hasFileSystem == (volume && volume->fileSystem.has_value()), "%c", letter);
        if (hasFileSystem)
            FUZZ_CHECK(QString::fromStdWString(fileSystem) == *volume->fileSystem, "%c", letter);
        std::uint64_t bytes = 0;
        const bool hasFree = system.freeBytesAvailable(volumeRoot, bytes);
        FUZZ_CHECK(hasFree == (volume && volume->freeBytes.has_value()), "%c", letter);
        if (hasFree)
            FUZZ_CHECK(bytes == *volume->freeBytes, "free bytes of %c", letter);
        FUZZ_CHECK(freeSpaceGB(volumeRoot, system) >= 0, "free space of %c", letter);
    }
    for (wchar_t letter : eligibleVolumes(system)) {
        const sim::Volume *volume = machine.volume(static_cast<char>(letter));
        FUZZ_CHECK(parsed && volume && letter >= L'C' && volume->type == SystemApi::DriveFixed &&
                       volume->fileSystem == QLatin1String("NTFS") && volume->freeBytes,
                   "%c is not eligible", static_cast<char>(letter));
    }

    const sim::Driver &driver = machine.driver;
    const bool up = parsed && driver.loaded;
    DriverChannel channel(system);

    StatusRecord status{};
    const bool statusOk =
        channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0);
    FUZZ_CHECK(statusOk == (up && !driver.fails(IOCTL_GET_STATUS)), "status request");
    if (statusOk) {
        const StatusRecord expected = driver.statusAt(Now);
        FUZZ_CHECK(std::memcmp(&status, &expected, sizeof status) == 0, "status answer");
    }

    OptionsRecord options{};
    const bool optionsOk =
        channel.driverRequest(IOCTL_GET_OPTIONS, &options, sizeof options, nullptr, 0);
    FUZZ_CHECK(optionsOk == (up && !driver.fails(IOCTL_GET_OPTIONS)), "options request");
    if (optionsOk)
        FUZZ_CHECK(options.prefetcherEnabled == driver.options[0] &&
                       options.saveMemory == driver.options[1] &&
                       options.disableWriteCache == driver.options[2] &&
                       options.disableSpeculative == driver.options[3],
                   "options answer");

    CacheTable table = emptyCacheTable();
    const bool tableOk =
        channel.driverRequest(IOCTL_GET_CACHE_TABLE, &table, sizeof table, nullptr, 0);
    FUZZ_CHECK(tableOk == (up && !driver.fails(IOCTL_GET_CACHE_TABLE)), "table request");
    if (tableOk) {
        const CacheTable expected = driver.cacheTable();
        FUZZ_CHECK(std::memcmp(&table, &expected, sizeof table) == 0, "table answer");
    }

    for (const sim::Volume &volume : parsed ? machine.volumes : std::vector<sim::Volume>()) {
        VolumeQueryResult result{};
        const bool ok =
            channel.deviceRequest(std::wstring{wchar_t(volume.letter), L':'}, IOCTL_QUERY_VOLUME,
                                  &result, sizeof result, nullptr, 0);
        FUZZ_CHECK(ok == (up && !driver.fails(IOCTL_QUERY_VOLUME) && volume.diskId.has_value()),
                   "volume query of %c", volume.letter);
        if (ok)
            FUZZ_CHECK(result.diskId == *volume.diskId && result.rating == volume.rating,
                       "volume query answer of %c", volume.letter);
    }
}

void checkWrites(SystemApi &system, bool parsed, const sim::Machine &machine) {
    const QByteArray before = readFile(rootFile("machine.json"));
    const sim::Driver &driver = machine.driver;
    const bool up = parsed && driver.loaded;
    DriverChannel channel(system);

    OptionsRecord options{1, 0, 1, 0};
    const bool optionsOk =
        channel.driverRequest(IOCTL_SET_OPTIONS, nullptr, 0, &options, sizeof options);
    FUZZ_CHECK(optionsOk == (up && !driver.fails(IOCTL_SET_OPTIONS)), "set options");
    const bool clearOk = channel.driverRequest(IOCTL_CLEAR_STATISTICS, nullptr, 0, nullptr, 0);
    FUZZ_CHECK(clearOk == (up && !driver.fails(IOCTL_CLEAR_STATISTICS)), "clear");
    CacheTable table = tableToSend();
    const bool tableOk =
        channel.driverRequest(IOCTL_SET_CACHE_TABLE, &table, sizeof table, &table, sizeof table);
    FUZZ_CHECK(tableOk == (up && !driver.fails(IOCTL_SET_CACHE_TABLE)), "set table");

    const QByteArray after = readFile(rootFile("machine.json"));
    if (!parsed) {
        FUZZ_CHECK(after == before, "a machine.json that cannot be used was rewritten");
        return;
    }
    sim::Machine stored;
    QString problem;
    FUZZ_CHECK(sim::parseMachine(after, stored, problem), "machine.json rewritten unusable: %s",
               qPrintable(problem));
    const std::array<std::uint32_t, 4> sentOptions{1, 0, 1, 0};
    FUZZ_CHECK(stored.driver.options == (optionsOk ? sentOptions : driver.options), "options");
    if (clearOk) {
        const StatusRecord status = stored.driver.statusAt(Now);
        FUZZ_CHECK(status.totalRequests == 0 && status.totalBytes == 0 && status.elapsedMs == 0,
                   "cleared counters");
    }
    if (tableOk) {
        FUZZ_CHECK(stored.driver.tableStatus == 1 && !stored.driver.tableHex, "new table valid");
        FUZZ_CHECK(sameEntries(stored.driver.tableEntries, keptOf(machine)), "stored table");
    } else {
        FUZZ_CHECK(sameEntries(stored.driver.tableEntries, driver.tableEntries) &&
                       stored.driver.tableHex == driver.tableHex,
                   "a failed set changes no table");
    }
    FUZZ_CHECK(stored.volumes.size() == machine.volumes.size(), "volumes kept");
}

bool autostartExpected(const QByteArray &text) {
    if (text.size() > 1024 * 1024)
        return false;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonValue value = document.object().value(QLatin1String("Autostart"));
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    return std::floor(number) == number && std::fabs(number) < 9007199254740992.0 && number != 0;
}

void checkRegistry(const QByteArray *text) {
    const QString path = rootFile("registry.json");
    QDir(root).removeRecursively();
    QDir().mkpath(root);
    if (text) {
        writeFile(path, *text);
        // QSettings reads a file again only when its size or time changed.
        const struct timespec times[2] = {{registryStamp, 0}, {registryStamp, 0}};
        ++registryStamp;
        utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
    }
    {
        const QSignalBlocker quiet(window->trayCheckBox);
        window->trayCheckBox->setChecked(false);
    }
    noDriver->clearLog();
    window->loadOptions();
    const bool expected = text && autostartExpected(*text);
    FUZZ_CHECK(window->trayCheckBox->isChecked() == expected, "Autostart box");
    if (expected) {
        const QJsonDocument stored = QJsonDocument::fromJson(readFile(path));
        const QJsonValue value = stored.object().value(QLatin1String("Autostart"));
        FUZZ_CHECK(value.isDouble() && value.toDouble() == 1.0, "ticking stores the integer 1");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzzing::startApplication();
    root = fuzzing::simulationRoot();
    // A window without a driver: only the Autostart half of the Options tab has work to do.
    noDriver = new RecordingSystem;
    noDriver->driverLoaded = false;
    window = new MainWindow(nullptr, true, *noDriver);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size > 64 * 1024)
        return -1;
    const char *bytes = reinterpret_cast<const char *>(data);
    const char *nul = static_cast<const char *>(std::memchr(bytes, 0, size));
    const QByteArray machineText(bytes, int(nul ? nul - bytes : size));
    QByteArray registryText;
    if (nul)
        registryText = QByteArray(nul + 1, int(bytes + size - nul - 1));

    sim::Machine machine;
    QString problem;
    const bool parsed = sim::parseMachine(machineText, machine, problem);
    FUZZ_CHECK(parsed || !problem.isEmpty(), "a refusal names its reason");
    if (parsed)
        checkRoundTrip(machine);

    QDir(root).removeRecursively();
    QDir().mkpath(root);
    writeFile(rootFile("machine.json"), machineText);
    {
        SimulatedSystem system(root);
        system.setClock([] { return Now; });
        checkReads(system, parsed, machine);
        checkWrites(system, parsed, machine);
    }

    checkRegistry(nul ? &registryText : nullptr);
    fuzzing::settle();
    return 0;
}
