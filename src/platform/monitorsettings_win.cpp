#include "platform/monitorsettings.h"

namespace orvanta {

std::unique_ptr<QSettings> openMonitorSettings() {
    return std::make_unique<QSettings>(
        QStringLiteral("HKEY_CURRENT_USER\\Software\\Quenstead\\Orvanta\\Monitor\\"),
        QSettings::NativeFormat);
}

} // namespace orvanta
