#pragma once

#include "gui/settingsstore.h"

#include <QString>

namespace orvanta {

// The store of the monitor's "Autostart" value: the current user's registry key on Windows,
// <root>/registry.json of the simulated machine elsewhere (numbers stay numbers, texts texts).
SettingsStore monitorSettings();

// The same store at another place, so that a test never reads or writes the user's own value: a
// registry path ("HKEY_CURRENT_USER\\Software\\...") on Windows, the folder that holds
// registry.json elsewhere.
SettingsStore monitorSettingsAt(const QString &location);

} // namespace orvanta
