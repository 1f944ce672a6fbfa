#include "platform/monitorsettings.h"

namespace orvanta {

namespace {
QString &location() {
    static QString path;
    return path;
}
} // namespace

std::unique_ptr<QSettings> openMonitorSettings() {
    const QString path =
        location().isEmpty()
            ? QStringLiteral("HKEY_CURRENT_USER\\Software\\Quenstead\\Orvanta\\Monitor\\")
            : location();
    return std::make_unique<QSettings>(path, QSettings::NativeFormat);
}

void setMonitorSettingsLocation(const QString &path) {
    location() = path;
}

} // namespace orvanta
