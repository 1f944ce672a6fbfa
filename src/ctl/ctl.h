#pragma once

// orvanta-ctl: the driver from a console. Everything but main() is here, on the Qt-free core
// and the system seam, so that the Windows build needs nothing but the core and main() only
// builds the system and the console it hands to run().

#include "system/systemapi.h"

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace orvanta::ctl {

// The process's exit codes.
constexpr int Success = 0;
constexpr int DriverFailed = 1; // refused, not taken, or not reached
constexpr int UsageError = 2;   // nothing was sent
constexpr int NoLayout = 3;     // layout in-force: the driver holds no cache

struct Console {
    std::ostream &out; // results
    std::ostream &err; // messages
    // Waits between two samples of `watch`.
    std::function<void(unsigned milliseconds)> sleep;
    // Replaces the file at path with text, whole or not at all (a temporary file in the same
    // folder, renamed over it), so that a collector reading it meanwhile never sees half of it.
    // false, with nothing left behind, when it could not be written.
    std::function<bool(const std::string &path, const std::string &text)> replaceFile;
};

// Runs one command line (without the program's name) and returns the exit code.
int run(const std::vector<std::string> &arguments, SystemApi &system, Console &console);

} // namespace orvanta::ctl
