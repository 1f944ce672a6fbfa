// Off Windows the monitor's registry key is <root>/registry.json of the simulated machine.
#include "platform/monitorsettings.h"

#include "sim/registryformat.h"
#include "sim/simulatedsystem.h"

#include <QDir>

namespace orvanta {

namespace {
QString &location() {
    static QString folder;
    return folder;
}
} // namespace

std::unique_ptr<QSettings> openMonitorSettings() {
    const QString root = location().isEmpty() ? SimulatedSystem::defaultRoot() : location();
    QDir().mkpath(root);
    return std::make_unique<QSettings>(root + QStringLiteral("/registry.json"),
                                       sim::registryFormat());
}

void setMonitorSettingsLocation(const QString &folder) {
    location() = folder;
}

} // namespace orvanta
