// Argument lists (the input split at NUL, the program's name first): a switch is found exactly
// when one argument equals it whole, ignoring ASCII letter case, wherever it stands.
#include "core/commandline.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::vector<std::string> arguments(1), lower(1);
    for (std::size_t i = 0; i < size && size <= 1024; ++i) {
        const char c = char(data[i]);
        c ? void(arguments.back() += c) : arguments.emplace_back();
        c ? void(lower.back() += (c >= 'A' && c <= 'Z') ? char(c + 32) : c) : lower.emplace_back();
    }
    std::vector<const char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(argument.c_str());
    for (const char *name : {"/install", "/hidden"})
        if (orvanta::hasSwitch(int(argv.size()), argv.data(), name) !=
            (std::find(lower.begin(), lower.end(), name) != lower.end()))
            std::abort();
    return 0;
}
