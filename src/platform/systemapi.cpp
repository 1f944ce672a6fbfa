#include "platform/systemapi.h"

namespace orvanta {

SystemApi::~SystemApi() = default;

SystemApi &builtinSystem(); // defined by the platform's own implementation file

namespace {
SystemApi *installedSystem = nullptr;
}

SystemApi &defaultSystem() {
    return installedSystem ? *installedSystem : builtinSystem();
}

void setDefaultSystem(SystemApi *system) {
    installedSystem = system;
}

} // namespace orvanta
