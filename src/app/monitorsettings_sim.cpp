// Off Windows the monitor's registry key is <root>/registry.json of the simulated machine.
#include "app/monitorsettings.h"

#include "sim/registryformat.h"
#include "sim/simulatedsystem.h"

#include <QDir>

namespace orvanta {

SettingsStore monitorSettings() {
    return monitorSettingsAt(SimulatedSystem::defaultRoot());
}

SettingsStore monitorSettingsAt(const QString &folder) {
    return [folder] {
        QDir().mkpath(folder);
        return std::make_unique<QSettings>(folder + QStringLiteral("/registry.json"),
                                           sim::registryFormat());
    };
}

} // namespace orvanta
