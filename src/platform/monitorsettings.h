#pragma once

#include <QSettings>

#include <memory>

namespace orvanta {

// The store of the monitor's "Autostart" value: the current user's registry key on Windows,
// <root>/registry.json of the simulated machine elsewhere (numbers stay numbers, texts texts).
std::unique_ptr<QSettings> openMonitorSettings();

// Points the store elsewhere, so that a test run never reads or writes the user's own value: a
// registry path ("HKEY_CURRENT_USER\\Software\\...") on Windows, the folder that holds
// registry.json elsewhere. An empty location gives the monitor its own store back.
void setMonitorSettingsLocation(const QString &location);

} // namespace orvanta
