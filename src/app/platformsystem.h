#pragma once

#include "system/systemapi.h"

#include <memory>

namespace orvanta {

// The system a program of this platform talks to: Windows itself on Windows, elsewhere the
// simulated machine of SimulatedSystem::defaultRoot(). Built once, in main(), and handed down.
std::unique_ptr<SystemApi> makePlatformSystem();

} // namespace orvanta
