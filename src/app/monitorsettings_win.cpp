#include "app/monitorsettings.h"

#include "core/autostart.h"

namespace orvanta {

SettingsStore monitorSettings() {
    return monitorSettingsAt(QStringLiteral("HKEY_CURRENT_USER\\") +
                             QString::fromWCharArray(MonitorRegistryKey) + QLatin1Char('\\'));
}

SettingsStore monitorSettingsAt(const QString &path) {
    return [path] { return std::make_unique<QSettings>(path, QSettings::NativeFormat); };
}

} // namespace orvanta
