#pragma once

// The simulated machine's files: machine.json parsed into plain fields and written back, and the
// store that reads it afresh and rewrites it under a lock. Shared by SimulatedSystem and the
// orvanta-sim tool so both read and write exactly the same format.

#include "core/records.h"

#include <QByteArray>
#include <QFileInfo>
#include <QJsonObject>
#include <QList>
#include <QString>

class QLockFile;

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace orvanta::sim {

// machine.json is refused beyond this size: it is untrusted and read on every request.
constexpr qint64 MaxMachineFileSize = 1024 * 1024;
// Whole numbers above this do not survive a JSON number (a double); they go as decimal strings.
constexpr std::uint64_t MaxExactJsonInteger = std::uint64_t(1) << 53;
constexpr double MaxSleepScale = 1000.0;

struct Volume {
    char letter = 'C';
    unsigned type = 0; // a GetDriveTypeW answer
    std::optional<QString> fileSystem;
    std::optional<std::uint64_t> freeBytes;
    std::optional<std::uint32_t> diskId; // absent: the volume query fails
    std::uint32_t rating = 0;
};

struct TableEntry {
    QByteArray path; // 8-bit, at most 64 bytes, no NUL (kept in JSON as Latin-1 text)
    std::int64_t sizeBytes = 0;
    std::uint32_t rating = 0;
};

struct Driver {
    bool present = false; // the file has a "driver" object
    bool loaded = false;
    std::uint32_t state = 0;
    std::int32_t failsafeReason = 0;
    std::uint32_t reserved = 0;
    std::uint32_t memoryUsed = 0;
    std::uint64_t totalRequests = 0;
    std::uint64_t totalBytes = 0;
    std::uint64_t elapsedMs = 0;
    bool hasWorkload = false;
    std::uint64_t requestsPerSecond = 0;
    std::uint64_t bytesPerSecond = 0;
    std::optional<std::int64_t> statisticsSince; // ms since the epoch; absent: counters stand
    std::array<std::uint32_t, 4> options{};
    std::uint32_t tableStatus = 0;
    std::vector<TableEntry> tableEntries;
    std::optional<QByteArray> tableHex; // the raw answer to the get request, sizeof(CacheTable)
    std::optional<std::uint32_t> setTableStatus; // absent: "auto"
    std::vector<std::uint32_t> failing;

    bool fails(std::uint32_t code) const;
    // The answer to IOCTL_GET_STATUS at a moment, with the workload's growth since
    // statisticsSince added (saturating, never wrapping).
    StatusRecord statusAt(std::int64_t nowMs) const;
    // The answer to IOCTL_GET_CACHE_TABLE.
    CacheTable cacheTable() const;
};

struct Machine {
    bool journal = false;
    double sleepScale = 1.0;
    std::vector<Volume> volumes;
    Driver driver;
    // The file as read, so that fields this code does not know survive a rewrite.
    QJsonObject json;

    const Volume *volume(char letter) const;
    Volume *volume(char letter);
};

// Every operation of the simulated machine that can fail answers false and says why in `error`.

// Parses the text of machine.json. On failure `error` names the field and what is wrong.
bool parseMachine(const QByteArray &text, Machine &machine, QString &error);

// The document of a JSON file that must be an object.
bool parseJsonObject(const QByteArray &text, QJsonObject &object, QString &error);
// The text of machine.json for a machine: its json with every known field written back.
QByteArray serializeMachine(const Machine &machine);

// <root>/volumes/<L>
QString volumeFolder(const QString &root, char letter);
// <root>/volumes/<L>/orvn#NNN.io: the driver's cache file for the table entry at a position.
QString cacheFilePath(const QString &root, char letter, int position);
// The driver's cache files of a volume as the driver keeps them: a sparse file of the size, so
// the gigabytes cost nothing on the host. On failure `error` says why.
bool writeCacheFile(const QString &path, std::int64_t size, QString &error);
// The driver's cache files that exist on a volume, in the order of their numbers.
QList<QFileInfo> cacheFilesOf(const QString &root, char letter);
// Removes every cache file of the volume that `keep` does not name.
void removeCacheFilesExcept(const QString &root, char letter,
                            const std::function<bool(const QString &path)> &keep);

// A whole number as machine.json and registry.json hold it: a JSON number while a double holds
// it exactly, a decimal string from 2^53 on.
QJsonValue wholeValue(std::uint64_t value);
QJsonValue wholeValue(std::int64_t value);
// "fixed", "removable", "remote", "cdrom", "ramdisk" or "unknown" for a GetDriveTypeW answer,
// and back.
QString driveTypeName(unsigned type);
std::optional<unsigned> driveTypeFromName(const QString &name);
// The file under <root>/volumes/<L>/ that a path such as "C:\orvn#001.io" names, or an empty
// text for a path that is no file on a volume ("..", a bare root, another form).
QString hostPath(const QString &root, const std::wstring &windowsPath);

// The upper-case drive letter of a volume root "X:\" (either case), or 0.
char rootLetter(const std::wstring &root);
char rootLetter(const QByteArray &path8bit);

// machine.json of one simulation root: read afresh on every call (parsed again only when its
// bytes changed; not even read while it is provably the same file, unchanged), and rewritten
// atomically under machine.lock.
class MachineFile {
public:
    enum class Status { Missing, Ok, Malformed, Unreadable };
    struct Snapshot {
        Status status = Status::Missing;
        std::shared_ptr<const Machine> machine; // a bare machine unless status is Ok
        QString problem;                        // for Malformed and Unreadable
        bool fresh = false;                     // the file changed since the previous read
    };

    explicit MachineFile(const QString &root);

    QString root() const { return root_; }
    QString path() const;
    QString lockPath() const;

    Snapshot read();

    // machine.lock, taken; nullptr with `error` set when it cannot be had.
    std::unique_ptr<QLockFile> takeLock(QString &error) const;

    // Read-modify-write under the lock: `change` edits the machine read under the lock and
    // returns false to leave the file as it is. A missing file starts as an empty machine when
    // createIfMissing; a malformed one is never written. On failure `error` says why.
    bool update(const std::function<bool(Machine &)> &change, QString &error,
                bool createIfMissing = false);
    // Writes the machine atomically, the one write every writer makes; the caller holds the lock.
    bool writeLocked(const Machine &machine, QString &error) const;

private:
    // Which file a path names and how it last changed: equal identities of a settled file mean
    // equal bytes, so a read can stop at one stat() call.
    struct Identity {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::int64_t size = 0;
        std::int64_t modifiedNs = 0;
        std::int64_t changedNs = 0;
        // Its last change lay so far back when it was taken that any later change must carry
        // other time stamps.
        bool settled = false;
        bool sameFileAs(const Identity &other) const;
    };
    static std::optional<Identity> identify(const QByteArray &path);

    QString root_;
    QByteArray nativePath_; // path() for the system calls
    QByteArray lastText_;
    bool haveText_ = false;                // lastText_ is what last_ was read from
    std::optional<Identity> lastIdentity_; // of the file lastText_ was read from
    Snapshot last_;
    bool haveLast_ = false;
};

// The driver takes a new layout: it keeps the entries with a size (in "auto" only those that
// fit a fixed NTFS volume), keeps one sparse cache file per kept entry on a listed volume,
// removes the cache files it no longer needs, and moves the volumes' free bytes by the
// difference; answerStatus is its answer. Fails only when the cache files cannot be written.
bool takeCacheTable(const QString &root, Machine &machine, const CacheTable &received,
                    std::uint32_t &answerStatus, QString &error);

// The demo machine's machine.json as compiled into the program (statisticsSince not yet set).
QByteArray demoMachineTemplate();

} // namespace orvanta::sim
