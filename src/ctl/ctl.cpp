#include "ctl/ctl.h"

#include "core/volumes.h"
#include "core/writers.h"
#include "ctl/commands.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <utility>

namespace orvanta::ctl {

namespace {

// The help texts name the limits as the core sets them: each {NAME} in a text is its value.
std::string withLimits(std::string text) {
    const std::pair<const char *, unsigned> limits[] = {
        {"{MAX}", unsigned(MaxCacheGB)},
        {"{RESERVE}", unsigned(CacheReserveGB)},
        {"{LOCK}", WriterLockTimeoutMs / 1000},
    };
    for (const auto &[name, value] : limits)
        for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at))
            text.replace(at, std::strlen(name), std::to_string(value));
    return text;
}

const std::string Usage = withLimits(
    "usage: orvanta-ctl COMMAND [ARGUMENTS]\n"
    "\n"
    "  status [--json | --metrics] [--output FILE]\n"
    "                                     state, counters, averages since the statistics\n"
    "                                     began, and the options\n"
    "  watch [--interval SECONDS] [--count N] [--json] [--metrics-file FILE]\n"
    "                                     the rates over each interval; FILE kept current\n"
    "                                     with what status --metrics prints\n"
    "  clear                              clears the driver's statistics\n"
    "  options [NAME=on|off ...]          shows or sets prefetcher, save-memory,\n"
    "                                     disable-write-cache, disable-speculative\n"
    "  layout [--json]                    the cache in force on each eligible volume\n"
    "  layout set X:=GB ... [--yes]       changes caches (whole GB, 0 to {MAX})\n"
    "  layout suggest [--yes]             the layout /install would choose today\n"
    "  layout in-force                    whether the driver holds a cache anywhere\n"
    "\n"
    "Every command takes --help. Exit codes: 0 done; 1 the driver refused or could not be\n"
    "reached, another program kept the driver's settings locked for {LOCK} s, or the output or\n"
    "FILE could not be written; 2 a command that was not understood (nothing was sent);\n"
    "3 layout in-force: the driver holds no cache.\n");

const std::string LayoutHelp = withLimits(
    "usage: orvanta-ctl layout [--json]\n"
    "       orvanta-ctl layout set X:=GB ... [--yes]\n"
    "       orvanta-ctl layout suggest [--yes]\n"
    "       orvanta-ctl layout in-force\n"
    "Each eligible volume (fixed, NTFS) with its cache in force, its rating and the\n"
    "whole GB free for caching (the driver's cache files count as free). set: whole GB\n"
    "from 0 to {MAX}, leaving at least {RESERVE} GB of that free (the size in force is always\n"
    "allowed); every other volume keeps its cache as the driver holds it, and a\n"
    "volume named twice is refused.\n"
    "suggest: the layout /install would choose, and every cache it would drop (exit\n"
    "code 1 when there is none). Both print the change and send it only with --yes,\n"
    "then read the whole layout back and say what the driver holds.\n"
    "in-force: exit code 0 when the driver holds a cache on some volume, 3 when it\n"
    "holds none (the installer sends the default layout only then).\n");

struct Command {
    std::string help;
    int (*run)(Context &context, const Arguments &arguments);
};

const std::map<std::string, Command> Commands = {
    {"status",
     {"usage: orvanta-ctl status [--json | --metrics] [--output FILE]\n"
      "The driver's state, memory, counters, their averages since the statistics began\n"
      "and the four options. --json: raw integers for scripts; --metrics: the\n"
      "Prometheus text format, for a text-file collector. --output FILE: the result\n"
      "replaces FILE whole (a temporary file beside it, renamed over it), so a reader\n"
      "never sees half of it; FILE stays as it was when the driver's state could not\n"
      "be read or FILE could not be written (exit code 1).\n",
      statusCommand}},
    {"watch",
     {"usage: orvanta-ctl watch [--interval SECONDS] [--count N] [--json]\n"
      "                         [--metrics-file FILE]\n"
      "One line per interval (1 s unless given) with the requests and bytes per second\n"
      "over that interval; N lines, or until stopped. A counter that went back (cleared,\n"
      "or the driver restarted) is said so; a failed request is a line of its own.\n"
      "--metrics-file FILE: at every interval, what status --metrics prints replaces\n"
      "FILE whole, as status --output does (for a service or a task started at boot);\n"
      "a FILE that cannot be written is said once and tried again at every interval,\n"
      "and watching goes on. Lines that cannot be written (a closed pipe, a full disk)\n"
      "end watching. Exit code 1 when anything failed.\n",
      watchCommand}},
    {"clear", {"usage: orvanta-ctl clear\nClears the driver's statistics.\n", clearCommand}},
    {"options",
     {"usage: orvanta-ctl options [NAME=on|off ...]\n"
      "Without arguments, shows the options. NAME is prefetcher, save-memory,\n"
      "disable-write-cache or disable-speculative. The named ones are changed, the\n"
      "others sent as the driver holds them, all four in one request, then read back;\n"
      "any the driver did not take is named (exit code 1).\n",
      optionsCommand}},
    {"layout", {LayoutHelp, layoutCommand}},
};

} // namespace

const OptionName OptionNames[4] = {
    {"prefetcher", &OptionFlags::prefetcherEnabled},
    {"save-memory", &OptionFlags::saveMemory},
    {"disable-write-cache", &OptionFlags::disableWriteCache},
    {"disable-speculative", &OptionFlags::disableSpeculative},
};

std::string json(const std::string &text) {
    std::string quoted = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += char(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            quoted += escaped;
        } else {
            quoted += char(c);
        }
    }
    return quoted + '"';
}

std::string narrow(const std::wstring &text) {
    return std::string(text.begin(), text.end()); // volume roots: ASCII letters, ':' and '\'
}

int unreachable(Console &console, const char *what) {
    console.err << "orvanta-ctl: " << what
                << ": the driver did not answer (is the Orvanta driver installed and running?)\n";
    return DriverFailed;
}

int busy(Console &console, const char *what) {
    console.err << "orvanta-ctl: " << what
                << ": another program is changing the driver's settings and did not finish within "
                << WriterLockTimeoutMs / 1000 << " s; nothing sent\n";
    return DriverFailed;
}

int usage(Console &console, const std::string &problem) {
    console.err << "orvanta-ctl: " << problem << "\n(orvanta-ctl --help lists the commands)\n";
    return UsageError;
}

int onlyFlag(Console &console, const char *what, const Arguments &arguments, const char *flag,
             bool *given) {
    const bool flagged = flag && arguments.size() == 1 && arguments[0] == flag;
    if (given)
        *given = flagged;
    if (!arguments.empty() && !flagged)
        return usage(console, std::string(what) + ": unexpected '" + arguments[0] + "'");
    return Success;
}

namespace {

int dispatch(const std::string &command, const Arguments &rest, SystemApi &system,
             Console &console) {
    if (command == "--help" || command == "-h" || command == "help") {
        console.out << Usage;
        return Success;
    }
    const auto found = Commands.find(command);
    if (found == Commands.end())
        return usage(console, "unknown command '" + command + "'");
    for (const std::string &argument : rest) {
        if (argument == "--help" || argument == "-h") {
            console.out << found->second.help;
            return Success;
        }
    }
    Context context{system, Driver(system), console};
    return found->second.run(context, rest);
}

} // namespace

int run(const std::vector<std::string> &arguments, SystemApi &system, Console &console) {
    if (arguments.empty())
        return usage(console, "no command given");
    const std::string &command = arguments[0];
    const int code =
        dispatch(command, Arguments(arguments.begin() + 1, arguments.end()), system, console);
    // A result that did not reach its file (a full disk, a closed pipe) is a failure a script
    // must see, whatever the driver did; the help text too, or a script would take it as read.
    console.out.flush();
    if (!console.out) {
        console.err << "orvanta-ctl: " << command << ": the output could not be written\n";
        return code == Success ? DriverFailed : code;
    }
    return code;
}

} // namespace orvanta::ctl
