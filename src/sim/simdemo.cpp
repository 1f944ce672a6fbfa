// The demo machine: what a person sees on first start without Windows. C: and D: share the fast
// disk 0, E: is a slow disk; F: (FAT32), G: (a stick), R: (a CD) and Z: (a network share) are
// no place for a cache. The layout in force is what /install would have made: 6 GB on D: and
// 2 GB on E:, with their cache files already taking that space.
#include "sim/demo.h"
#include "sim/simmachine.h"
#include "sim/simulatedsystem.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLockFile>

#include <map>

namespace orvanta {

namespace sim {

QByteArray demoMachineTemplate() {
    return QByteArrayLiteral(R"({
    "journal": false,
    "sleepScale": 1.0,
    "volumes": [
        {"letter": "C", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 103079215104,
         "diskId": 0, "rating": 700},
        {"letter": "D", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 435939180544,
         "diskId": 0, "rating": 700},
        {"letter": "E", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 1757071120793,
         "diskId": 1, "rating": 180},
        {"letter": "F", "type": "fixed", "fileSystem": "FAT32", "freeBytes": 25769803776,
         "diskId": 2, "rating": 150},
        {"letter": "G", "type": "removable", "fileSystem": "FAT32", "freeBytes": 15032385536,
         "diskId": 3, "rating": 40},
        {"letter": "R", "type": "cdrom", "fileSystem": "CDFS", "freeBytes": 0},
        {"letter": "Z", "type": "remote", "fileSystem": "NTFS", "freeBytes": 2199023255552}
    ],
    "driver": {
        "loaded": true,
        "state": 1, "failsafeReason": 0, "reserved": 0, "memoryUsed": )" ORVANTA_DEMO_TEXT(ORVANTA_DEMO_MEMORY_USED) R"(,
        "totalRequests": 0, "totalBytes": 0, "elapsedMs": 0,
        "workload": {"requestsPerSecond": )" ORVANTA_DEMO_TEXT(
        ORVANTA_DEMO_REQUESTS_PER_SECOND) R"(, "bytesPerSecond": )" ORVANTA_DEMO_TEXT(ORVANTA_DEMO_BYTES_PER_SECOND) R"(},
        "statisticsSince": 0,
        "options": [1, 0, 0, 0],
        "cacheTable": {"status": 1, "entries": [
            {"path": "D:\\", "sizeBytes": 6442450944, "rating": 700},
            {"path": "E:\\", "sizeBytes": 2147483648, "rating": 180}
        ]},
        "setCacheTableStatus": "auto",
        "fail": []
    }
}
)");
}

} // namespace sim

namespace {

bool writeDemo(const QString &root, bool onlyIfMissing, QString &error) {
    auto failWith = [&error](const QString &text) {
        error = text;
        return false;
    };
    if (!QDir().mkpath(root))
        return failWith(QStringLiteral("cannot create the folder %1").arg(root));
    sim::MachineFile file(root);
    QString lockError;
    const std::unique_ptr<QLockFile> lock = file.takeLock(lockError);
    if (!lock)
        return failWith(lockError);
    if (onlyIfMissing && QFile::exists(file.path()))
        return true;

    sim::Machine machine;
    QString problem;
    if (!sim::parseMachine(sim::demoMachineTemplate(), machine, problem))
        return failWith(QStringLiteral("the demo template is broken: %1").arg(problem));
    machine.driver.statisticsSince = QDateTime::currentMSecsSinceEpoch();

    std::map<QString, qint64> cacheFiles;
    for (std::size_t i = 0; i < machine.driver.tableEntries.size(); ++i) {
        const sim::TableEntry &entry = machine.driver.tableEntries[i];
        cacheFiles[sim::cacheFilePath(root, sim::rootLetter(entry.path), int(i))] = entry.sizeBytes;
    }
    for (const sim::Volume &volume : machine.volumes) {
        const QString folder = sim::volumeFolder(root, volume.letter);
        if (!QDir().mkpath(folder))
            return failWith(QStringLiteral("cannot create the folder %1").arg(folder));
        sim::removeCacheFilesExcept(root, volume.letter, [&cacheFiles](const QString &path) {
            return cacheFiles.count(path);
        });
    }
    QString writeError;
    for (const auto &[path, size] : cacheFiles)
        if (!sim::writeCacheFile(path, size, writeError))
            return failWith(writeError);
    if (!file.writeLocked(machine, writeError))
        return failWith(writeError);
    return true;
}

} // namespace

bool createDemoMachine(const QString &root, QString &error) {
    return writeDemo(root, false, error);
}

bool ensureDemoMachine(const QString &root, QString &error) {
    return writeDemo(root, true, error);
}

} // namespace orvanta
