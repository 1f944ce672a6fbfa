// The files of a simulation root: machine.json read afresh (cheaply once it has settled) and
// rewritten under machine.lock, and the volumes' folders with the driver's cache files.
#include "sim/simmachine.h"

#include "core/volumes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStringList>

#include <sys/stat.h>
#include <time.h>

namespace orvanta::sim {

namespace {

// Rewrites take milliseconds: a lock held this long belongs to a process that hangs.
constexpr int LockTimeoutMs = 5000;
// How long after its last change a file's time stamps are trusted to show the next one.
constexpr std::int64_t UnsettledNs = 2000000000;

const Machine &bareMachine() {
    static const Machine machine;
    return machine;
}

} // namespace

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

QList<QFileInfo> cacheFilesOf(const QString &root, char letter) {
    QList<QFileInfo> files;
    for (int position = 0; position < CacheEntryCount; ++position) {
        const QFileInfo file(cacheFilePath(root, letter, position));
        if (file.isFile())
            files.append(file);
    }
    return files;
}

void removeCacheFilesExcept(const QString &root, char letter,
                            const std::function<bool(const QString &path)> &keep) {
    for (const QFileInfo &file : cacheFilesOf(root, letter))
        if (!keep(file.filePath()))
            QFile::remove(file.filePath());
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
    // Problems found without the text are new when they differ from the last one, read with its
    // text or not: a file read whole as too large and next refused by its size is one problem.
    const auto remember = [this, &identity](Snapshot found, const QByteArray *text) {
        if (!text)
            found.fresh =
                !haveLast_ || last_.status != found.status || last_.problem != found.problem;
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
