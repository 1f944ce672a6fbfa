#include "core/writers.h"
#include "ctl/commands.h"

#include <map>

namespace orvanta::ctl {

namespace {

// Sends the named options, every other one as the driver holds it once the lock is ours, and
// leaves in flags what the driver holds afterwards.
int setOptions(Context &context, const std::map<std::string, bool> &wanted, OptionFlags &flags) {
    Console &console = context.console;
    std::vector<OptionChange> changes;
    for (const OptionName &option : OptionNames)
        if (wanted.count(option.name))
            changes.push_back({option.flag, wanted.at(option.name)});
    const OptionsWrite write = changeOptions(context.driver, context.system, changes);
    if (write.outcome == WriteOutcome::Busy)
        return busy(console, "options");
    if (!write.before)
        return unreachable(console, "options");
    if (!write.after)
        return unreachable(console, "options (reading them back)");
    for (const OptionName &option : OptionNames) {
        const auto change = wanted.find(option.name);
        if (change != wanted.end() && (*write.after).*option.flag != change->second)
            console.err << "orvanta-ctl: options: " << option.name
                        << " was not taken: the driver holds "
                        << ((*write.after).*option.flag ? "on" : "off") << '\n';
    }
    if (write.outcome == WriteOutcome::NotCarried)
        console.err << "orvanta-ctl: options: the driver refused the change\n";
    flags = *write.after;
    return write.outcome == WriteOutcome::Confirmed ? Success : DriverFailed;
}

// The names a command line may give, as the usage message lists them.
std::string optionList() {
    std::string list;
    for (const OptionName &option : OptionNames)
        list += (list.empty() ? "" : ", ") + std::string(option.name);
    return list;
}

} // namespace

int optionsCommand(Context &context, const Arguments &arguments) {
    Console &console = context.console;
    std::map<std::string, bool> wanted;
    for (const std::string &argument : arguments) {
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : argument.substr(equals + 1);
        bool known = false;
        for (const OptionName &option : OptionNames)
            known = known || name == option.name;
        if (!known || (value != "on" && value != "off"))
            return usage(console, "options: '" + argument + "' is not NAME=on or NAME=off (" +
                                      optionList() + ")");
        if (wanted.count(name))
            return usage(console, "options: " + name + " is given twice");
        wanted[name] = value == "on";
    }
    OptionFlags flags;
    if (wanted.empty() && !context.driver.options(flags))
        return unreachable(console, "options");
    if (!wanted.empty())
        if (const int failed = setOptions(context, wanted, flags))
            return failed;
    for (const OptionName &option : OptionNames)
        console.out << option.name << '=' << (flags.*option.flag ? "on" : "off") << '\n';
    return Success;
}

} // namespace orvanta::ctl
