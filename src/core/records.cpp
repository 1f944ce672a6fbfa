#include "core/records.h"

#include <cstring>

namespace orvanta {

namespace {
struct NamedCode {
    std::uint32_t code;
    const char *name;
};
constexpr NamedCode namedCodes[] = {
    {IOCTL_GET_STATUS, "IOCTL_GET_STATUS"},
    {IOCTL_CLEAR_STATISTICS, "IOCTL_CLEAR_STATISTICS"},
    {IOCTL_SET_OPTIONS, "IOCTL_SET_OPTIONS"},
    {IOCTL_GET_OPTIONS, "IOCTL_GET_OPTIONS"},
    {IOCTL_GET_CACHE_TABLE, "IOCTL_GET_CACHE_TABLE"},
    {IOCTL_SET_CACHE_TABLE, "IOCTL_SET_CACHE_TABLE"},
    {IOCTL_QUERY_VOLUME, "IOCTL_QUERY_VOLUME"},
};
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

} // namespace orvanta
