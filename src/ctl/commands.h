#pragma once

// What the commands of orvanta-ctl share; each command lives in a file of its own.

#include "core/driver.h"
#include "ctl/ctl.h"

#include <string>
#include <vector>

namespace orvanta::ctl {

struct Context {
    SystemApi &system;
    Driver driver;
    Console &console;
};

// The options by their names on the command line, in the order of the record.
struct OptionName {
    const char *name;
    bool OptionFlags::*flag;
};
extern const OptionName OptionNames[4];

using Arguments = std::vector<std::string>;

std::string json(const std::string &text);
// Volume roots: ASCII letters, ':' and '\'.
std::string narrow(const std::wstring &text);
// The driver said nothing, or no driver answered: the message and DriverFailed.
int unreachable(Console &console, const char *what);
// Another writer kept the writers' lock: the message and DriverFailed.
int busy(Console &console, const char *what);
// A command line not understood: the message and UsageError.
int usage(Console &console, const std::string &problem);
// For a command that takes no arguments, or only flag when one is named (given says whether it
// came): Success, or usage() naming the first argument when there is anything else.
int onlyFlag(Console &console, const char *what, const Arguments &arguments,
             const char *flag = nullptr, bool *given = nullptr);

int statusCommand(Context &context, const Arguments &arguments);
int watchCommand(Context &context, const Arguments &arguments);
int clearCommand(Context &context, const Arguments &arguments);
int optionsCommand(Context &context, const Arguments &arguments);
int layoutCommand(Context &context, const Arguments &arguments);

} // namespace orvanta::ctl
