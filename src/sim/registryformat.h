#pragma once

#include <QSettings>

namespace orvanta::sim {

// The QSettings format of registry.json: numbers stay numbers and texts texts, as in the registry.
QSettings::Format registryFormat();

} // namespace orvanta::sim
