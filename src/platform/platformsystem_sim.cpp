#include "platform/platformsystem.h"

#include "sim/simulatedsystem.h"

#include <mutex>

namespace orvanta {

void installPlatformSystem() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        // Lives as long as the process: every class that talks to the system holds a reference.
        static SimulatedSystem system(SimulatedSystem::defaultRoot());
        setDefaultSystem(&system);
    });
}

} // namespace orvanta
