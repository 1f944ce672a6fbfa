#pragma once

#include <QSettings>

#include <memory>

namespace orvanta {

// The store of the monitor's "Autostart" value: the current user's registry key on Windows,
// <root>/registry.json of the simulated machine elsewhere (numbers stay numbers, texts texts).
std::unique_ptr<QSettings> openMonitorSettings();

} // namespace orvanta
