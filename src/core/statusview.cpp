#include "core/statusview.h"

#include <algorithm>

namespace orvanta {

namespace {

// Just enough 128-bit arithmetic for count × 1000 / elapsed, portable to compilers without
// a native 128-bit type.
struct Wide {
    std::uint64_t high;
    std::uint64_t low;
};

Wide multiply(std::uint64_t value, std::uint32_t factor) {
    const std::uint64_t lowPart = (value & 0xffffffffu) * factor;
    const std::uint64_t highPart = (value >> 32) * factor + (lowPart >> 32);
    return Wide{highPart >> 32, (highPart << 32) | (lowPart & 0xffffffffu)};
}

// Schoolbook division by a 64-bit divisor, one bit at a time: quotient and remainder.
Wide divide(Wide dividend, std::uint64_t divisor, std::uint64_t *remainder = nullptr) {
    Wide quotient{0, 0};
    std::uint64_t rest = 0;
    for (int bit = 127; bit >= 0; --bit) {
        const bool carry = (rest >> 63) != 0;
        const std::uint64_t next =
            bit >= 64 ? (dividend.high >> (bit - 64)) & 1 : (dividend.low >> bit) & 1;
        rest = (rest << 1) | next;
        if (carry || rest >= divisor) {
            rest -= divisor;
            if (bit >= 64)
                quotient.high |= std::uint64_t(1) << (bit - 64);
            else
                quotient.low |= std::uint64_t(1) << bit;
        }
    }
    if (remainder)
        *remainder = rest;
    return quotient;
}

std::string decimal(Wide value) {
    if (value.high == 0)
        return std::to_string(value.low);
    std::string digits;
    while (value.high != 0 || value.low != 0) {
        std::uint64_t digit = 0;
        value = divide(value, 10, &digit);
        digits.push_back(static_cast<char>('0' + digit));
    }
    std::reverse(digits.begin(), digits.end());
    return digits;
}

} // namespace

std::string averagePerSecond(std::uint64_t count, std::uint64_t elapsedMs, unsigned shift) {
    if (elapsedMs == 0)
        return "-";
    Wide quotient = divide(multiply(count, 1000), elapsedMs);
    if (shift > 0 && shift < 64) {
        quotient.low = (quotient.low >> shift) | (quotient.high << (64 - shift));
        quotient.high >>= shift;
    }
    return decimal(quotient);
}

StatusView statusView(const StatusRecord &record) {
    StatusView view;
    view.showsReason = false;
    const char *word = driverStateWord(record.state);
    view.stateText = word ? word : "Unknown";
    // Only a running or disabled driver takes requests that change it.
    view.controlsDisabled = record.state != std::uint32_t(DriverState::Running) &&
                            record.state != std::uint32_t(DriverState::Disabled);
    if (record.state == std::uint32_t(DriverState::Failsafe)) {
        view.showsReason = true;
        view.reason = std::to_string(record.failsafeReason);
    }
    view.memory = std::to_string(record.memoryUsed >> 20) + " MB";
    view.totalRequests = std::to_string(record.totalRequests);
    view.totalBytes = std::to_string(record.totalBytes >> 20) + " MB";
    view.averageRequests = averagePerSecond(record.totalRequests, record.elapsedMs);
    view.averageBytes = averagePerSecond(record.totalBytes, record.elapsedMs, 10);
    if (record.elapsedMs != 0)
        view.averageBytes += " kB/s";
    return view;
}

} // namespace orvanta
