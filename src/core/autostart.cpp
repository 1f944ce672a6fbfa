#include "core/autostart.h"

namespace orvanta {

bool autostartWanted(std::uint32_t type, const void *data, std::size_t size) {
    std::size_t width = 0;
    if (type == RegistryDword || type == RegistryDwordBigEndian)
        width = 4;
    else if (type == RegistryQword)
        width = 8;
    if (width == 0 || data == nullptr || size < width)
        return false;
    // Non-zero in either byte order is non-zero: no need to assemble the number.
    const auto *bytes = static_cast<const unsigned char *>(data);
    for (std::size_t i = 0; i < width; ++i)
        if (bytes[i] != 0)
            return true;
    return false;
}

} // namespace orvanta
