#include "core/commandline.h"

namespace orvanta {

namespace {
char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringAsciiCase(const char *a, const char *b) {
    for (; *a && *b; ++a, ++b)
        if (asciiLower(*a) != asciiLower(*b))
            return false;
    return *a == *b;
}
} // namespace

bool hasSwitch(int argc, const char *const *argv, const char *name) {
    if (!argv || !name)
        return false;
    for (int i = 0; i < argc; ++i)
        if (argv[i] && equalsIgnoringAsciiCase(argv[i], name))
            return true;
    return false;
}

} // namespace orvanta
