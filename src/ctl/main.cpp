// orvanta-ctl: the driver from a console (src/ctl/ctl.h). On Windows it talks to the real
// driver through the Qt-free core alone; elsewhere to the simulated machine, as the monitor does.
#include "ctl/ctl.h"

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/platformsystem.h"

#include <chrono>
#include <csignal>
#include <thread>
#endif

#include <iostream>

int main(int argc, char **argv) {
#ifndef _WIN32
    orvanta::installPlatformSystem();
    // A reader gone (watch | head) is output that cannot be written, as on a full disk: said,
    // and exit code 1, rather than a silent end by the signal.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    orvanta::ctl::Console console{std::cout, std::cerr, [](unsigned milliseconds) {
#ifdef _WIN32
                                      Sleep(milliseconds);
#else
                                      std::this_thread::sleep_for(
                                          std::chrono::milliseconds(milliseconds));
#endif
                                  }};
    const int code = orvanta::ctl::run(std::vector<std::string>(argv + 1, argv + argc),
                                       orvanta::defaultSystem(), console);
    std::cout.flush();
    return code;
}
