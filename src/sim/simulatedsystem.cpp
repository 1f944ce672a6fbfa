#include "sim/simulatedsystem.h"

#include "core/cachetable.h"
#include "core/records.h"
#include "core/volumes.h"
#include "sim/simmachine.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <cwchar>
#include <limits>
#include <map>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace orvanta {

namespace {

constexpr wchar_t DevicePrefix[] = L"\\\\.\\";
// Beyond this the journal line shows the start of the input only; no request sends so much.
constexpr std::uint32_t MaxJournaledInput = 64 * 1024;

struct Device {
    std::wstring name; // without the \\.\ prefix, as opened
    char volume = 0;   // the letter for a volume device, 0 for the driver's disk device
};

wchar_t upperAscii(wchar_t c) {
    return c >= L'a' && c <= L'z' ? wchar_t(c - L'a' + L'A') : c;
}

bool equalsIgnoringCase(const std::wstring &text, const wchar_t *ascii) {
    return std::equal(text.begin(), text.end(), ascii, ascii + std::wcslen(ascii),
                      [](wchar_t a, wchar_t b) { return upperAscii(a) == upperAscii(b); });
}

// A journal line holds one token per field: controls and blanks in a name become '?'.
QByteArray journalName(const std::wstring &name) {
    QString text = QString::fromStdWString(name);
    for (QChar &c : text)
        if (c.unicode() <= 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char('?');
    return text.toUtf8();
}

void copyOut(void *out, std::uint32_t outSize, const void *from, std::size_t size) {
    if (out)
        std::memcpy(out, from, std::min<std::size_t>(outSize, size));
}

} // namespace

struct SimulatedSystem::Private {
    explicit Private(const QString &rootPath)
        : root(rootPath)
        , file(rootPath) {}

    QString root;
    sim::MachineFile file;
    std::mutex mutex;
    std::map<Handle, Device> handles;
    Handle nextHandle = 0x100;
    QSet<QString> warned;
    std::unique_ptr<QLockFile> writers;
    Clock clock = [] { return QDateTime::currentMSecsSinceEpoch(); };

    // The machine as the file says now; one warning for each change that makes it unusable.
    std::shared_ptr<const sim::Machine> machine() {
        const sim::MachineFile::Snapshot snapshot = file.read();
        if (snapshot.fresh && (snapshot.status == sim::MachineFile::Status::Malformed ||
                               snapshot.status == sim::MachineFile::Status::Unreadable))
            qWarning().noquote() << QStringLiteral(
                                        "%1 cannot be used: %2. The simulated machine reads as "
                                        "bare (no volumes, no driver) until the file is "
                                        "fixed; it is not overwritten.")
                                        .arg(QDir::toNativeSeparators(file.path()),
                                             snapshot.problem);
        return snapshot.machine;
    }

    void warnOnce(const QString &text) {
        if (warned.contains(text))
            return;
        warned.insert(text);
        qWarning().noquote() << QStringLiteral("Simulated machine: %1").arg(text);
    }

    bool update(const std::function<bool(sim::Machine &)> &change) {
        QString error;
        const bool ok = file.update(change, error);
        if (!ok && !error.isEmpty())
            warnOnce(error);
        return ok;
    }

    // One whole line per write() on an O_APPEND descriptor, so processes sharing the journal
    // never interleave inside a line.
    void journal(const sim::Machine &machine, QByteArray line) {
        if (!machine.journal)
            return;
        line += '\n';
        const QString path = root + QStringLiteral("/journal.log");
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) {
            warnOnce(QStringLiteral("cannot write %1: %2")
                         .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
            return;
        }
        const char *data = line.constData();
        std::size_t left = std::size_t(line.size());
        while (left > 0) {
            const ssize_t written = ::write(fd, data, left);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0) {
                warnOnce(QStringLiteral("cannot write %1: %2")
                             .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
                break;
            }
            data += written;
            left -= std::size_t(written);
        }
        ::close(fd);
    }

    const sim::Volume *volumeOf(const sim::Machine &machine, const std::wstring &root) const {
        const char letter = sim::rootLetter(root);
        return letter ? machine.volume(letter) : nullptr;
    }

    bool answer(const sim::Machine &machine, const Device &device, std::uint32_t code,
                const void *in, std::uint32_t inSize, void *out, std::uint32_t outSize);
    bool answerDriver(const sim::Driver &driver, std::uint32_t code, const void *in,
                      std::uint32_t inSize, void *out, std::uint32_t outSize);
    bool clearStatistics();
    bool setOptions(const void *in, std::uint32_t inSize);
    bool setCacheTable(const void *in, std::uint32_t inSize, void *out, std::uint32_t outSize);
};

bool SimulatedSystem::Private::answer(const sim::Machine &machine, const Device &device,
                                      std::uint32_t code, const void *in, std::uint32_t inSize,
                                      void *out, std::uint32_t outSize) {
    const sim::Driver &driver = machine.driver;
    if (!controlCodeName(code) || !driver.loaded || driver.fails(code))
        return false;
    // Buffers that are not there cannot be read or filled.
    if ((!in && inSize) || (!out && outSize))
        return false;

    if (device.volume) {
        const sim::Volume *volume = machine.volume(device.volume);
        if (code != IOCTL_QUERY_VOLUME || !volume || !volume->diskId)
            return false;
        const VolumeQueryResult result{*volume->diskId, volume->rating};
        copyOut(out, outSize, &result, sizeof result);
        return true;
    }
    return answerDriver(driver, code, in, inSize, out, outSize);
}

bool SimulatedSystem::Private::answerDriver(const sim::Driver &driver, std::uint32_t code,
                                            const void *in, std::uint32_t inSize, void *out,
                                            std::uint32_t outSize) {
    switch (code) {
    case IOCTL_GET_STATUS: {
        const StatusRecord status = driver.statusAt(clock());
        copyOut(out, outSize, &status, sizeof status);
        return true;
    }
    case IOCTL_CLEAR_STATISTICS:
        return clearStatistics();
    case IOCTL_SET_OPTIONS:
        return setOptions(in, inSize);
    case IOCTL_GET_OPTIONS: {
        const OptionsRecord options{driver.options[0], driver.options[1], driver.options[2],
                                    driver.options[3]};
        copyOut(out, outSize, &options, sizeof options);
        return true;
    }
    case IOCTL_GET_CACHE_TABLE: {
        const CacheTable table = driver.cacheTable();
        copyOut(out, outSize, &table, sizeof table);
        return true;
    }
    case IOCTL_SET_CACHE_TABLE:
        return setCacheTable(in, inSize, out, outSize);
    default:
        return false;
    }
}

bool SimulatedSystem::Private::clearStatistics() {
    const std::int64_t now = clock();
    return update([now](sim::Machine &stored) {
        stored.driver.totalRequests = stored.driver.totalBytes = stored.driver.elapsedMs = 0;
        stored.driver.statisticsSince = now;
        return true;
    });
}

bool SimulatedSystem::Private::setOptions(const void *in, std::uint32_t inSize) {
    if (inSize < sizeof(OptionsRecord))
        return false;
    OptionsRecord options;
    std::memcpy(&options, in, sizeof options);
    return update([&options](sim::Machine &stored) {
        stored.driver.options = {options.prefetcherEnabled, options.saveMemory,
                                 options.disableWriteCache, options.disableSpeculative};
        return true;
    });
}

bool SimulatedSystem::Private::setCacheTable(const void *in, std::uint32_t inSize, void *out,
                                             std::uint32_t outSize) {
    if (inSize < sizeof(CacheTable))
        return false;
    // Taken before anything is written: the answer goes into the same buffer.
    CacheTable received;
    std::memcpy(&received, in, sizeof received);
    std::uint32_t status = 0;
    QString error;
    const bool ok = update([&](sim::Machine &stored) {
        return sim::takeCacheTable(root, stored, received, status, error);
    });
    if (!error.isEmpty())
        warnOnce(error);
    if (!ok)
        return false;
    CacheTable reply = received;
    reply.status = status;
    copyOut(out, outSize, &reply, sizeof reply);
    return true;
}

SimulatedSystem::SimulatedSystem(const QString &root)
    : d(std::make_unique<Private>(root)) {}

SimulatedSystem::~SimulatedSystem() = default;

QString SimulatedSystem::defaultRoot() {
    const QString fromEnvironment = qEnvironmentVariable("ORVANTA_SIM_ROOT");
    if (!fromEnvironment.isEmpty())
        return QFileInfo(fromEnvironment).absoluteFilePath();
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    // A relative XDG_DATA_HOME is invalid and to be ignored.
    if (dataHome.isEmpty() || QDir::isRelativePath(dataHome))
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    const QString root = dataHome + QStringLiteral("/orvanta-monitor/simulation");
    QString error;
    if (!QFile::exists(root + QStringLiteral("/machine.json")) && !ensureDemoMachine(root, error))
        qWarning().noquote() << QStringLiteral("Cannot create the demo machine: %1").arg(error);
    return root;
}

QString SimulatedSystem::root() const {
    return d->root;
}

void SimulatedSystem::setClock(Clock clock) {
    std::lock_guard<std::mutex> lock(d->mutex);
    d->clock = std::move(clock);
}

SystemApi::Handle SimulatedSystem::createFile(const std::wstring &path) {
    std::lock_guard<std::mutex> lock(d->mutex);
    const auto machine = d->machine();
    const bool isDevice = path.compare(0, 4, DevicePrefix) == 0;
    Device device;
    device.name = isDevice ? path.substr(4) : path;
    bool opens = false;
    if (isDevice && equalsIgnoringCase(device.name, L"PhysicalDrive0")) {
        opens = machine->driver.loaded;
    } else if (isDevice && device.name.size() == 2 && device.name[1] == L':') {
        device.volume = sim::rootLetter(device.name + L"\\");
        opens = device.volume && machine->volume(device.volume);
    }
    if (!opens) {
        d->journal(*machine, journalName(device.name) + " open failed");
        return invalidHandle();
    }
    const Handle handle = d->nextHandle;
    d->nextHandle += 4;
    d->handles[handle] = device;
    return handle;
}

bool SimulatedSystem::deviceIoControl(Handle handle, std::uint32_t code, const void *in,
                                      std::uint32_t inSize, void *out, std::uint32_t outSize) {
    std::lock_guard<std::mutex> lock(d->mutex);
    const auto found = d->handles.find(handle);
    if (found == d->handles.end())
        return false;
    const Device device = found->second;
    const auto machine = d->machine();
    // The input as sent: the answer may overwrite it, in and out being one buffer.
    QByteArray input = "-";
    if (machine->journal && in && inSize) {
        const std::uint32_t shown = std::min(inSize, MaxJournaledInput);
        input = QByteArray::fromRawData(static_cast<const char *>(in), int(shown)).toHex();
        if (shown < inSize)
            input += "...";
    }
    const bool ok = d->answer(*machine, device, code, in, inSize, out, outSize);
    if (!machine->journal)
        return ok;

    QByteArray line = journalName(device.name) + ' ';
    if (const char *name = controlCodeName(code))
        line += name;
    else
        line += "0x" + QByteArray::number(code, 16);
    line += (ok ? " ok in=" : " failed in=") + input + " out=" + QByteArray::number(outSize);
    d->journal(*machine, line);
    return ok;
}

void SimulatedSystem::closeHandle(Handle handle) {
    std::lock_guard<std::mutex> lock(d->mutex);
    d->handles.erase(handle);
}

unsigned SimulatedSystem::driveType(const std::wstring &root) {
    std::lock_guard<std::mutex> lock(d->mutex);
    const auto machine = d->machine();
    const sim::Volume *volume = d->volumeOf(*machine, root);
    return volume ? volume->type : DriveNoRootDir;
}

bool SimulatedSystem::volumeFileSystem(const std::wstring &root, std::wstring &fileSystemName) {
    std::lock_guard<std::mutex> lock(d->mutex);
    const auto machine = d->machine();
    const sim::Volume *volume = d->volumeOf(*machine, root);
    if (!volume || !volume->fileSystem)
        return false;
    fileSystemName = volume->fileSystem->toStdWString();
    return true;
}

bool SimulatedSystem::freeBytesAvailable(const std::wstring &root, std::uint64_t &bytes) {
    std::lock_guard<std::mutex> lock(d->mutex);
    const auto machine = d->machine();
    const sim::Volume *volume = d->volumeOf(*machine, root);
    if (!volume || !volume->freeBytes)
        return false;
    bytes = *volume->freeBytes;
    return true;
}

std::uint64_t SimulatedSystem::fileSize(const std::wstring &path) {
    std::lock_guard<std::mutex> lock(d->mutex);
    const auto machine = d->machine();
    const QString hostPath = sim::hostPath(d->root, path);
    // A letter that is not listed has no files, whatever lies in its folder.
    if (hostPath.isEmpty() || !d->volumeOf(*machine, path.substr(0, 3)))
        return 0;
    const QFileInfo info(hostPath);
    return info.isFile() ? static_cast<std::uint64_t>(info.size()) : 0;
}

void SimulatedSystem::sleep(unsigned milliseconds) {
    double scale;
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        const auto machine = d->machine();
        scale = machine->sleepScale;
        d->journal(*machine, "Sleep " + QByteArray::number(milliseconds));
    }
    const double microseconds = std::round(double(milliseconds) * scale * 1000.0);
    if (microseconds >= 1.0)
        std::this_thread::sleep_for(
            std::chrono::microseconds(static_cast<long long>(microseconds)));
}

bool SimulatedSystem::lockWriters(unsigned timeoutMs) {
    auto lock = std::make_unique<QLockFile>(d->root + QStringLiteral("/writers.lock"));
    // A writer holds it for milliseconds, yet a long hold is a slow writer, not a dead one: only
    // a holder that no longer runs leaves a stale lock.
    lock->setStaleLockTime(0);
    const int bound = int(std::min<unsigned>(timeoutMs, std::numeric_limits<int>::max()));
    if (!lock->tryLock(bound))
        // A machine without a folder has nothing to write to; any other failure keeps writers out.
        return lock->error() != QLockFile::LockFailedError && !QFileInfo::exists(d->root);
    std::lock_guard<std::mutex> guard(d->mutex);
    d->writers = std::move(lock);
    return true;
}

void SimulatedSystem::unlockWriters() {
    std::lock_guard<std::mutex> guard(d->mutex);
    d->writers.reset();
}

} // namespace orvanta
