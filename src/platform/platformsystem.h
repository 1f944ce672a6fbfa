#pragma once

namespace orvanta {

// Makes the process's system the right one for where it runs: on Windows the real one (already
// the default), elsewhere the simulated machine of SimulatedSystem::defaultRoot(). Called first
// thing in main(), before any Qt application object exists; calling it again does nothing.
void installPlatformSystem();

} // namespace orvanta
