#pragma once

#include "system/systemapi.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace orvanta {

// Windows and the Orvanta driver played from a folder, the simulation root, wherever the program
// runs without Windows:
//   <root>/machine.json   volumes and driver, read afresh on every call
//   <root>/volumes/<L>/   the root folder of volume L (the driver's cache files live here)
//   <root>/registry.json  the monitor's registry key
//   <root>/journal.log    one line per driver request while machine.json says "journal": true
//   <root>/machine.lock   held around every rewrite of machine.json
//   <root>/writers.lock   the writers' lock: held by a program from reading the driver's
//                         settings to reading back what it sent
// A root without machine.json is a bare machine: no volumes, no driver. A machine.json that
// cannot be used reads as bare too, with one warning per change of the file, and is never
// rewritten. Several processes may share one root.
class SimulatedSystem final : public SystemApi {
public:
    explicit SimulatedSystem(const QString &root);
    ~SimulatedSystem() override;
    SimulatedSystem(const SimulatedSystem &) = delete;
    SimulatedSystem &operator=(const SimulatedSystem &) = delete;

    // ORVANTA_SIM_ROOT when set; else the demo machine in $XDG_DATA_HOME (or ~/.local/share)
    // under orvanta-monitor/simulation, created there on first use.
    static QString defaultRoot();

    QString root() const;

    // Milliseconds since the epoch, for the live counters; tests pin it.
    using Clock = std::function<std::int64_t()>;
    void setClock(Clock clock);

    Handle createFile(const std::wstring &path) override;
    bool deviceIoControl(Handle handle, std::uint32_t code, const void *in, std::uint32_t inSize,
                         void *out, std::uint32_t outSize) override;
    void closeHandle(Handle handle) override;
    unsigned driveType(const std::wstring &root) override;
    bool volumeFileSystem(const std::wstring &root, std::wstring &fileSystemName) override;
    bool freeBytesAvailable(const std::wstring &root, std::uint64_t &bytes) override;
    std::uint64_t fileSize(const std::wstring &path) override;
    void sleep(unsigned milliseconds) override;
    bool lockWriters(unsigned timeoutMs) override;
    void unlockWriters() override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// Writes the demo machine into root (created when missing): machine.json and the cache files of
// its layout, removing other cache files from its volumes. registry.json and journal.log stay.
bool createDemoMachine(const QString &root, QString &error);
// The same, unless root already has a machine.json.
bool ensureDemoMachine(const QString &root, QString &error);

} // namespace orvanta
