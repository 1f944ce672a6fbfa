#include "app/platformsystem.h"

#include "system/win32system.h"

namespace orvanta {

std::unique_ptr<SystemApi> makePlatformSystem() {
    return std::make_unique<Win32System>();
}

} // namespace orvanta
