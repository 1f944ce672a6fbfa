// orvanta-sim: looks at and changes a simulated machine, so that a person can try the monitor's
// failure paths by hand: stop the driver, put it into failsafe, make a request fail.
#include "core/records.h"
#include "sim/simmachine.h"
#include "sim/simulatedsystem.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <vector>

using namespace orvanta;

namespace {

const char helpText[] = R"(Usage: orvanta-sim [--root DIR] [COMMAND [ARGUMENTS]]

Looks at and changes a simulated machine of Orvanta Monitor: the folder that stands
in for Windows and the Orvanta driver where the monitor runs without Windows. Every
monitor on the same machine sees a change at its next request.

The machine is DIR when --root is given, else $ORVANTA_SIM_ROOT, else the demo
machine in $XDG_DATA_HOME/orvanta-monitor/simulation (~/.local/share/... when
XDG_DATA_HOME is unset), which is created there on first use.

Commands:
  show                    Print the machine: volumes, driver state and counters,
                          options, cache layout and cache files, failing requests.
                          This is the command when none is given.
  state STATE [REASON]    Set the driver's state: running, not-running, disabled,
                          failsafe, or a number from 0 to 4294967295. REASON, a
                          signed number, sets the failsafe reason as well.
  load                    Load the driver: \\.\PhysicalDrive0 opens again.
  unload                  Unload the driver: \\.\PhysicalDrive0 no longer opens
                          and volume queries fail.
  fail CODE...            Make the requests with these control codes fail (the
                          device still opens). CODE is a name such as
                          IOCTL_GET_OPTIONS, GET_OPTIONS or get-options, or all.
  succeed CODE...         Let requests with these codes succeed again (all: every
                          code).
  journal on|off          Write one line per driver request, open failure and
                          sleep to journal.log in the machine's folder, or stop.
  table-status 1|0|auto   What the driver answers to a new cache layout: always
                          enabled (1), never (0), or enabled when every cache fits
                          a fixed NTFS volume (auto, the default).
  demo                    Recreate the demo machine: its volumes, a running driver
                          with a live workload, the prefetcher on and a cache
                          layout in force. registry.json and journal.log stay.

Options:
  --root DIR              The simulation root to use.
  -h, --help              Show this text.

Files in the machine's folder:
  machine.json   volumes and driver (rewritten under machine.lock)
  volumes/<L>/   the root folder of volume L, where the cache files live
  registry.json  the monitor's Autostart value
  journal.log    the request journal, while it is on
)";

QTextStream &out() {
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err() {
    static QTextStream stream(stderr);
    return stream;
}

struct StateName {
    const char *name;
    DriverState state;
};
constexpr StateName stateNames[] = {
    {"not-running", DriverState::NotRunning},
    {"running", DriverState::Running},
    {"disabled", DriverState::Disabled},
    {"failsafe", DriverState::Failsafe},
};

QString stateText(std::uint32_t state) {
    if (const char *word = driverStateWord(state))
        return QStringLiteral("%1 (%2)").arg(state).arg(QLatin1String(word));
    return QStringLiteral("%1 (unknown to the monitor)").arg(state);
}

QString bytesText(std::uint64_t bytes) {
    const double tib = double(bytes) / double(1ull << 40);
    if (tib >= 1.0)
        return QStringLiteral("%1 TiB").arg(tib, 0, 'f', 2);
    const double gib = double(bytes) / double(1ull << 30);
    if (gib >= 0.1)
        return QStringLiteral("%1 GiB").arg(gib, 0, 'f', 1);
    return QStringLiteral("%1 MiB").arg(double(bytes) / double(1ull << 20), 0, 'f', 1);
}

// IOCTL_GET_OPTIONS, GET_OPTIONS and get-options all name the same code.
std::uint32_t codeOf(const QString &text) {
    QString name = text.toUpper().replace(QLatin1Char('-'), QLatin1Char('_'));
    if (!name.startsWith(QLatin1String("IOCTL_")))
        name.prepend(QLatin1String("IOCTL_"));
    return controlCodeByName(name.toLatin1().constData());
}

void showVolumes(const QString &root, const sim::Machine &machine) {
    if (machine.volumes.empty())
        out() << "  none\n";
    for (const sim::Volume &volume : machine.volumes) {
        out() << "  " << volume.letter << ":  " << sim::driveTypeName(volume.type).leftJustified(10)
              << (volume.fileSystem ? *volume.fileSystem : QStringLiteral("(no file system)"))
                     .leftJustified(16)
              << "free "
              << (volume.freeBytes ? bytesText(*volume.freeBytes) : QStringLiteral("(unknown)"))
                     .leftJustified(12)
              << (volume.diskId
                      ? QStringLiteral("disk %1, rating %2").arg(*volume.diskId).arg(volume.rating)
                      : QStringLiteral("(no volume query)"))
              << "\n";
        QStringList files;
        for (const QFileInfo &info : sim::cacheFilesOf(root, volume.letter))
            files << QStringLiteral("%1 (%2)").arg(info.fileName(), bytesText(info.size()));
        if (!files.isEmpty())
            out() << "      cache files: " << files.join(QStringLiteral(", ")) << "\n";
    }
}

void showDriver(const sim::Driver &driver) {
    out() << "\nDriver: ";
    if (!driver.present || !driver.loaded) {
        out() << "not loaded\n";
        return;
    }
    const StatusRecord status = driver.statusAt(QDateTime::currentMSecsSinceEpoch());
    out() << "loaded\n"
          << "  State:      " << stateText(status.state) << ", failsafe reason "
          << status.failsafeReason << "\n"
          << "  Memory:     " << bytesText(status.memoryUsed) << "\n"
          << "  Counters:   " << status.totalRequests << " requests, " << status.totalBytes
          << " bytes in " << status.elapsedMs << " ms\n";
    if (driver.hasWorkload)
        out() << "  Workload:   " << driver.requestsPerSecond << " requests/s, "
              << driver.bytesPerSecond << " bytes/s"
              << (driver.statisticsSince ? "" : " (standing: no statisticsSince)") << "\n";
    static const char *const optionNames[] = {"prefetcher enabled", "save memory",
                                              "disable write cache", "disable speculative"};
    QStringList options;
    for (int i = 0; i < 4; ++i)
        options << QStringLiteral("%1 %2").arg(
            QLatin1String(optionNames[i]),
            driver.options[std::size_t(i)] ? QStringLiteral("on") : QStringLiteral("off"));
    out() << "  Options:    " << options.join(QStringLiteral(", ")) << "\n";
    if (driver.tableHex) {
        out() << "  Cache table: raw answer from cacheTableHex\n";
    } else {
        out() << "  Cache table: status " << driver.tableStatus << "\n";
        for (std::size_t i = 0; i < driver.tableEntries.size(); ++i) {
            const sim::TableEntry &entry = driver.tableEntries[i];
            out() << "    " << (i + 1) << ". " << QString::fromLatin1(entry.path).leftJustified(6)
                  << bytesText(std::uint64_t(entry.sizeBytes)).leftJustified(12) << "rating "
                  << entry.rating << "\n";
        }
        if (driver.tableEntries.empty())
            out() << "    no caches\n";
    }
    out() << "  New layouts are answered with: "
          << (driver.setTableStatus ? QString::number(*driver.setTableStatus)
                                    : QStringLiteral("auto"))
          << "\n";
    QStringList failing;
    for (std::uint32_t code : driver.failing)
        failing << QLatin1String(controlCodeName(code));
    out() << "  Failing requests: "
          << (failing.isEmpty() ? QStringLiteral("none") : failing.join(QStringLiteral(", ")))
          << "\n";
}

int show(const QString &root) {
    sim::MachineFile file(root);
    const sim::MachineFile::Snapshot snapshot = file.read();
    out() << "Simulated machine: " << QDir::toNativeSeparators(root) << "\n";
    if (snapshot.status == sim::MachineFile::Status::Missing) {
        out() << "No machine.json: a bare machine (no volumes, no driver).\n"
                 "Run 'orvanta-sim --root DIR demo' to put the demo machine there.\n";
        return 0;
    }
    if (snapshot.status != sim::MachineFile::Status::Ok) {
        err() << QDir::toNativeSeparators(file.path()) << " cannot be used: " << snapshot.problem
              << "\nThe monitor sees a bare machine (no volumes, no driver) until it is fixed.\n";
        return 1;
    }
    const sim::Machine &machine = *snapshot.machine;
    out() << "Journal: " << (machine.journal ? "on" : "off") << " (journal.log)"
          << "    Sleep scale: " << machine.sleepScale << "\n\nVolumes:\n";
    showVolumes(root, machine);
    showDriver(machine.driver);
    return 0;
}

// Edits machine.json under its lock; `edit` says what it did in `done`, printed once written.
int change(const QString &root, const std::function<bool(sim::Machine &, QString &done)> &edit,
           bool createIfMissing = false) {
    sim::MachineFile file(root);
    QString error;
    QString done;
    if (!file.update([&](sim::Machine &machine) { return edit(machine, done); }, error,
                     createIfMissing)) {
        if (!error.isEmpty())
            err() << "orvanta-sim: " << error << "\n";
        return 1;
    }
    out() << done << "\n";
    return 0;
}

bool needDriver(const sim::Machine &machine) {
    if (!machine.driver.present)
        err() << "orvanta-sim: the machine has no driver; run 'orvanta-sim load' first\n";
    return machine.driver.present;
}

int usage(const QString &problem) {
    err() << "orvanta-sim: " << problem << "\nTry 'orvanta-sim --help'.\n";
    return 2;
}

int demo(const QString &root, const QStringList &words) {
    if (!words.isEmpty())
        return usage(QStringLiteral("demo takes no arguments"));
    QString error;
    if (!createDemoMachine(root, error)) {
        err() << "orvanta-sim: " << error << "\n";
        return 1;
    }
    out() << "The demo machine is in " << QDir::toNativeSeparators(root) << "\n";
    return 0;
}

int setState(const QString &root, const QStringList &words) {
    if (words.size() < 1 || words.size() > 2)
        return usage(QStringLiteral("state takes a state and, if you like, a reason"));
    bool known = false;
    std::uint32_t state = 0;
    for (const StateName &named : stateNames)
        if (words.at(0).compare(QLatin1String(named.name), Qt::CaseInsensitive) == 0) {
            state = static_cast<std::uint32_t>(named.state);
            known = true;
        }
    if (!known)
        state = words.at(0).toUInt(&known);
    if (!known)
        return usage(QStringLiteral("%1 is no state").arg(words.at(0)));
    const bool reasonGiven = words.size() == 2;
    bool reasonOk = true;
    const std::int32_t reason = reasonGiven ? words.at(1).toInt(&reasonOk) : 0;
    if (!reasonOk)
        return usage(
            QStringLiteral("%1 is no failsafe reason (a signed 32-bit number)").arg(words.at(1)));
    return change(root, [&](sim::Machine &machine, QString &done) {
        if (!needDriver(machine))
            return false;
        machine.driver.state = state;
        if (reasonGiven)
            machine.driver.failsafeReason = reason;
        done = QStringLiteral("Driver state: %1, failsafe reason %2.")
                   .arg(stateText(state))
                   .arg(machine.driver.failsafeReason);
        return true;
    });
}

int setLoaded(const QString &root, const QStringList &words, bool load) {
    if (!words.isEmpty())
        return usage(QStringLiteral("%1 takes no arguments")
                         .arg(load ? QStringLiteral("load") : QStringLiteral("unload")));
    return change(
        root,
        [load](sim::Machine &machine, QString &done) {
            if (!machine.driver.present && load) {
                machine.driver = sim::Driver();
                machine.driver.present = true;
                machine.driver.state = static_cast<std::uint32_t>(DriverState::Running);
                machine.driver.tableStatus = 1;
                machine.driver.statisticsSince = QDateTime::currentMSecsSinceEpoch();
            }
            if (machine.driver.present)
                machine.driver.loaded = load;
            done = load ? QStringLiteral("The driver is loaded.")
                        : QStringLiteral("The driver is not loaded.");
            return true;
        },
        load);
}

int setFailing(const QString &root, const QStringList &words, bool fail) {
    if (words.isEmpty())
        return usage(QStringLiteral("%1 needs at least one control code")
                         .arg(fail ? QStringLiteral("fail") : QStringLiteral("succeed")));
    std::vector<std::uint32_t> codes;
    for (const QString &word : words) {
        if (word.compare(QLatin1String("all"), Qt::CaseInsensitive) == 0) {
            codes.insert(codes.end(), std::begin(ControlCodes), std::end(ControlCodes));
            continue;
        }
        const std::uint32_t code = codeOf(word);
        if (!code)
            return usage(QStringLiteral("%1 is no control code").arg(word));
        codes.push_back(code);
    }
    return change(root, [&](sim::Machine &machine, QString &done) {
        if (!needDriver(machine))
            return false;
        std::vector<std::uint32_t> &failing = machine.driver.failing;
        for (std::uint32_t code : codes) {
            failing.erase(std::remove(failing.begin(), failing.end(), code), failing.end());
            if (fail)
                failing.push_back(code);
        }
        QStringList names;
        for (std::uint32_t code : failing)
            names << QLatin1String(controlCodeName(code));
        done =
            QStringLiteral("Failing requests: %1.")
                .arg(names.isEmpty() ? QStringLiteral("none") : names.join(QStringLiteral(", ")));
        return true;
    });
}

int setJournal(const QString &root, const QStringList &words) {
    if (words.size() != 1 ||
        (words.at(0) != QLatin1String("on") && words.at(0) != QLatin1String("off")))
        return usage(QStringLiteral("journal takes on or off"));
    const bool on = words.at(0) == QLatin1String("on");
    return change(root, [&](sim::Machine &machine, QString &done) {
        machine.journal = on;
        done = on ? QStringLiteral("The journal is on: %1")
                        .arg(QDir::toNativeSeparators(root + QStringLiteral("/journal.log")))
                  : QStringLiteral("The journal is off.");
        return true;
    });
}

int setTableStatus(const QString &root, const QStringList &words) {
    const QString word = words.value(0);
    if (words.size() != 1 ||
        (word != QLatin1String("1") && word != QLatin1String("0") && word != QLatin1String("auto")))
        return usage(QStringLiteral("table-status takes 1, 0 or auto"));
    return change(root, [&word](sim::Machine &machine, QString &done) {
        if (!needDriver(machine))
            return false;
        if (word == QLatin1String("auto"))
            machine.driver.setTableStatus.reset();
        else
            machine.driver.setTableStatus = word.toUInt();
        done = QStringLiteral("New cache layouts are answered with: %1.").arg(word);
        return true;
    });
}

} // namespace

int main(int argc, char **argv) {
    QString root;
    QStringList words;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
            out() << helpText;
            return 0;
        }
        if (argument == QLatin1String("--root")) {
            if (++i >= argc)
                return usage(QStringLiteral("--root needs a folder"));
            root = QString::fromLocal8Bit(argv[i]);
        } else if (argument.startsWith(QLatin1String("--root="))) {
            root = argument.mid(7);
        } else if (argument.startsWith(QLatin1Char('-')) && argument.size() > 1 &&
                   !argument.at(1).isDigit()) {
            return usage(QStringLiteral("unknown option %1").arg(argument));
        } else {
            words << argument;
        }
    }
    const QString command = words.isEmpty() ? QStringLiteral("show") : words.takeFirst();
    if (root.isEmpty())
        root = SimulatedSystem::defaultRoot();
    root = QFileInfo(root).absoluteFilePath();

    if (command == QLatin1String("show"))
        return words.isEmpty() ? show(root) : usage(QStringLiteral("show takes no arguments"));
    if (command == QLatin1String("demo"))
        return demo(root, words);
    if (command == QLatin1String("state"))
        return setState(root, words);
    if (command == QLatin1String("load") || command == QLatin1String("unload"))
        return setLoaded(root, words, command == QLatin1String("load"));
    if (command == QLatin1String("fail") || command == QLatin1String("succeed"))
        return setFailing(root, words, command == QLatin1String("fail"));
    if (command == QLatin1String("journal"))
        return setJournal(root, words);
    if (command == QLatin1String("table-status"))
        return setTableStatus(root, words);
    return usage(QStringLiteral("unknown command %1").arg(command));
}
