#include "app/platformsystem.h"

#include "sim/simulatedsystem.h"

namespace orvanta {

std::unique_ptr<SystemApi> makePlatformSystem() {
    return std::make_unique<SimulatedSystem>(SimulatedSystem::defaultRoot());
}

} // namespace orvanta
