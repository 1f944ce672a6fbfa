#pragma once

// The Status tab as plain data: what one StatusRecord shows, without widgets, so tests and
// fuzzers can call it directly and the window only copies the result into its labels.

#include "core/records.h"

#include <string>

namespace orvanta {

struct StatusView {
    const char *stateText; // untranslated source text of the state word
    bool controlsDisabled; // the driver-dependent controls
    bool showsReason;      // the Failsafe state: statusNumber carries the reason tool-tip
    std::string reason;    // failsafeReason, signed decimal
    std::string memory;    // "<n> MB"
    std::string totalRequests;
    std::string totalBytes;      // "<n> MB"
    std::string averageRequests; // per second, or "-"
    std::string averageBytes;    // "<n> kB/s", or "-"
};

StatusView statusView(const StatusRecord &record);

// count × 1000 / elapsedMs, exact and truncated, shifted right by `shift` bits, as decimal
// digits. The product is taken in 128 bits, so counters past 2^64 / 1000 do not wrap.
std::string averagePerSecond(std::uint64_t count, std::uint64_t elapsedMs, unsigned shift = 0);

} // namespace orvanta
