// Arbitrary argument lists through the switch matching: the input's bytes split at NUL into
// arguments (the first is the program's name, scanned like the others). The result must be what a
// whole-argument, ASCII-case-insensitive comparison gives, whatever the order or letter case of
// the arguments, and the arguments must be left as they were.
#include "core/commandline.h"
#include "fuzzcheck.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

using orvanta::hasSwitch;

namespace {

std::string lowerAscii(std::string text) {
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string upperAscii(std::string text) {
    for (char &c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::vector<const char *> pointers(const std::vector<std::string> &arguments) {
    std::vector<const char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(argument.c_str());
    argv.push_back(nullptr); // argv[argc] is null, as main() gets it
    return argv;
}

bool matches(const std::vector<std::string> &arguments, const char *name) {
    const std::vector<const char *> argv = pointers(arguments);
    return hasSwitch(int(arguments.size()), argv.data(), name);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size > 1024)
        return -1;
    std::vector<std::string> arguments(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            arguments.emplace_back();
        else
            arguments.back() += static_cast<char>(data[i]);
    }
    const std::vector<std::string> original = arguments;

    for (const char *name : {"/install", "/hidden"}) {
        const bool expected =
            std::any_of(arguments.begin(), arguments.end(), [name](const std::string &argument) {
                return lowerAscii(argument) == name;
            });
        FUZZ_CHECK(matches(arguments, name) == expected, "%s", name);
        FUZZ_CHECK(arguments == original, "the arguments are left as they were");

        std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
        FUZZ_CHECK(matches(reversed, name) == expected, "%s: the position does not matter", name);
        std::vector<std::string> upper;
        for (const std::string &argument : arguments)
            upper.push_back(upperAscii(argument));
        FUZZ_CHECK(matches(upper, name) == expected, "%s: letter case does not matter", name);
        FUZZ_CHECK(!matches({}, name), "%s: no arguments, no switch", name);
    }
    // Any argument is found as a switch of its own name, even one with odd bytes (the first few
    // are enough; all of them would make an input of many empty arguments quadratic).
    const std::vector<const char *> argv = pointers(arguments);
    for (std::size_t i = 0; i < arguments.size() && i < 16; ++i)
        FUZZ_CHECK(hasSwitch(int(arguments.size()), argv.data(), argv[i]),
                   "an argument matches itself");
    return 0;
}
