// orvanta-monitor: the program's system and settings store are built here, once, and handed down.
#include "app/monitorsettings.h"
#include "app/platformsystem.h"
#include "gui/startup.h"

int main(int argc, char **argv) {
    const auto system = orvanta::makePlatformSystem();
    return orvanta::runMonitor(argc, argv, *system, orvanta::monitorSettings());
}
