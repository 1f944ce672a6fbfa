#include "core/records.h"

#include <cstring>

namespace orvanta {

namespace {
struct NamedCode {
    std::uint32_t code;
    const char *name;
};
constexpr NamedCode namedCodes[] = {
#define ORVANTA_NAMED_CODE(name, function, word) {IOCTL_##name, "IOCTL_" #name},
    ORVANTA_CONTROL_CODES(ORVANTA_NAMED_CODE)
#undef ORVANTA_NAMED_CODE
};

constexpr const char *stateWords[] = {"Not running", "Running", "Disabled", "Failsafe"};
static_assert(sizeof stateWords / sizeof *stateWords == ORVANTA_STATE_COUNT, "a word a state");
} // namespace

const char *controlCodeName(std::uint32_t code) {
    for (const NamedCode &named : namedCodes)
        if (named.code == code)
            return named.name;
    return nullptr;
}

std::uint32_t controlCodeByName(const char *name) {
    if (!name)
        return 0;
    for (const NamedCode &named : namedCodes)
        if (std::strcmp(named.name, name) == 0)
            return named.code;
    return 0;
}

const char *driverStateWord(std::uint32_t state) {
    return state < ORVANTA_STATE_COUNT ? stateWords[state] : nullptr;
}

OptionsRecord optionsRecord(const OptionFlags &flags) {
    OptionsRecord record{};
    record.prefetcherEnabled = flags.prefetcherEnabled ? 1 : 0;
    record.saveMemory = flags.saveMemory ? 1 : 0;
    record.disableWriteCache = flags.disableWriteCache ? 1 : 0;
    record.disableSpeculative = flags.disableSpeculative ? 1 : 0;
    return record;
}

OptionFlags optionFlags(const OptionsRecord &record) {
    OptionFlags flags;
    flags.prefetcherEnabled = record.prefetcherEnabled != 0;
    flags.saveMemory = record.saveMemory != 0;
    flags.disableWriteCache = record.disableWriteCache != 0;
    flags.disableSpeculative = record.disableSpeculative != 0;
    return flags;
}

} // namespace orvanta
