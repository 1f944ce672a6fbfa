// Argument lists (the input split at NUL, the program's name first): a switch is found exactly
// when one argument equals it whole, ignoring ASCII letter case, wherever it stands.
#include "core/commandline.h"
#include "fuzzcheck.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size > 1024)
        return -1;
    std::vector<std::string> arguments(1);
    for (std::size_t i = 0; i < size; ++i)
        data[i] ? void(arguments.back() += char(data[i])) : arguments.emplace_back();
    std::vector<const char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(argument.c_str());
    for (const char *name : {"/install", "/hidden"}) {
        bool expected = false;
        for (std::string argument : arguments) {
            for (char &c : argument)
                c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
            expected = expected || argument == name;
        }
        FUZZ_CHECK(orvanta::hasSwitch(int(argv.size()), argv.data(), name) == expected, name);
    }
    return 0;
}
