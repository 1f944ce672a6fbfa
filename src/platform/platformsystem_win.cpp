#include "platform/platformsystem.h"

namespace orvanta {

// kernel32 is the built-in system on Windows: there is nothing to install.
void installPlatformSystem() {}

} // namespace orvanta
