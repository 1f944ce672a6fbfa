#pragma once

#include <QSettings>

#include <functional>
#include <memory>

namespace orvanta {

// Opens the store of the monitor's own settings (its "Autostart" value) afresh for each use, so
// a value another program wrote in between is what the window reads. The program's main() picks
// the place (the user's registry key on Windows); tests pass one of their own.
using SettingsStore = std::function<std::unique_ptr<QSettings>()>;

} // namespace orvanta
