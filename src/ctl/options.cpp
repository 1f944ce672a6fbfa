#include "ctl/commands.h"

#include <map>

namespace orvanta::ctl {

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
            return usage(console, "options: '" + argument +
                                      "' is not NAME=on or NAME=off (prefetcher, save-memory, "
                                      "disable-write-cache, disable-speculative)");
        if (wanted.count(name))
            return usage(console, "options: " + name + " is given twice");
        wanted[name] = value == "on";
    }
    OptionFlags flags;
    if (!context.driver.options(flags))
        return unreachable(console, "options");
    if (!wanted.empty()) {
        for (const OptionName &option : OptionNames)
            if (wanted.count(option.name))
                flags.*option.flag = wanted[option.name];
        const bool sent = context.driver.setOptions(flags);
        OptionFlags held;
        if (!context.driver.options(held))
            return unreachable(console, "options (reading them back)");
        bool allTaken = sent;
        for (const OptionName &option : OptionNames) {
            if (!wanted.count(option.name) || held.*option.flag == wanted[option.name])
                continue;
            allTaken = false;
            console.err << "orvanta-ctl: options: " << option.name
                        << " was not taken: the driver holds " << (held.*option.flag ? "on" : "off")
                        << '\n';
        }
        if (!sent)
            console.err << "orvanta-ctl: options: the driver refused the change\n";
        flags = held;
        if (!allTaken)
            return DriverFailed;
    }
    for (const OptionName &option : OptionNames)
        console.out << option.name << '=' << (flags.*option.flag ? "on" : "off") << '\n';
    return Success;
}

} // namespace orvanta::ctl
