#include "ctl/ctl.h"

#include "core/cachetable.h"
#include "core/driverchannel.h"
#include "core/installlayout.h"
#include "core/statusview.h"
#include "core/volumes.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>

namespace orvanta::ctl {

namespace {

const char Usage[] =
    "usage: orvanta-ctl COMMAND [ARGUMENTS]\n"
    "\n"
    "  status [--json | --metrics]        state, counters, averages since the statistics\n"
    "                                     began, and the options\n"
    "  watch [--interval SECONDS] [--count N] [--json]\n"
    "                                     the rates over each interval\n"
    "  clear                              clears the driver's statistics\n"
    "  options [NAME=on|off ...]          shows or sets prefetcher, save-memory,\n"
    "                                     disable-write-cache, disable-speculative\n"
    "  layout [--json]                    the cache in force on each eligible volume\n"
    "  layout set X:=GB ... [--yes]       changes caches (whole GB, 0 to 16)\n"
    "  layout suggest [--yes]             the layout /install would choose today\n"
    "  layout in-force                    whether the driver holds a cache anywhere (exit code\n"
    "                                     0 yes, 3 no)\n"
    "\n"
    "Every command takes --help. Exit codes: 0 done, 1 the driver refused or could not be\n"
    "reached, 2 a command that was not understood (nothing was sent).\n";

const std::map<std::string, const char *> CommandHelp = {
    {"status", "usage: orvanta-ctl status [--json | --metrics]\n"
               "The driver's state, memory, counters, their averages since the statistics began\n"
               "and the four options. --json: raw integers for scripts; --metrics: the\n"
               "Prometheus text format, for a text-file collector.\n"},
    {"watch", "usage: orvanta-ctl watch [--interval SECONDS] [--count N] [--json]\n"
              "One line per interval (1 s unless given) with the requests and bytes per second\n"
              "over that interval; N lines, or until stopped. A counter that went back (cleared,\n"
              "or the driver restarted) is said so; a failed request is a line of its own.\n"},
    {"clear", "usage: orvanta-ctl clear\nClears the driver's statistics.\n"},
    {"options", "usage: orvanta-ctl options [NAME=on|off ...]\n"
                "Without arguments, shows the options. NAME is prefetcher, save-memory,\n"
                "disable-write-cache or disable-speculative. All four are sent in one request,\n"
                "then read back; any the driver did not take is named (exit code 1).\n"},
    {"layout", "usage: orvanta-ctl layout [--json]\n"
               "       orvanta-ctl layout set X:=GB ... [--yes]\n"
               "       orvanta-ctl layout suggest [--yes]\n"
               "       orvanta-ctl layout in-force\n"
               "Each eligible volume (fixed, NTFS) with its cache in force, its rating and the\n"
               "whole GB free for caching (the driver's cache files count as free). set: whole GB\n"
               "from 0 to 16, more than 2 GB left free; every other volume keeps its cache.\n"
               "suggest: the layout /install would choose. Both print the change and send it\n"
               "only with --yes, then read the layout back and say what the driver holds.\n"
               "in-force: exit code 0 when the driver holds a cache on some volume, 3 when it\n"
               "holds none (the installer sends the default layout only then).\n"},
};

// The options by their names on the command line, in the order of the record.
struct OptionName {
    const char *name;
    bool OptionFlags::*flag;
};
const OptionName OptionNames[] = {
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

// The driver said nothing, or no driver answered.
int unreachable(Console &console, const char *what) {
    console.err << "orvanta-ctl: " << what
                << ": the driver did not answer (is the Orvanta driver installed and running?)\n";
    return DriverFailed;
}

int usage(Console &console, const std::string &problem) {
    console.err << "orvanta-ctl: " << problem << "\n(orvanta-ctl --help lists the commands)\n";
    return UsageError;
}

class Commands {
public:
    Commands(SystemApi &system, Console &console)
        : system(system)
        , channel(system)
        , console(console) {}

    int status(const std::vector<std::string> &arguments);
    int watch(const std::vector<std::string> &arguments);
    int clear(const std::vector<std::string> &arguments);
    int options(const std::vector<std::string> &arguments);
    int layout(const std::vector<std::string> &arguments);

private:
    bool readStatus(StatusRecord &record) {
        record = StatusRecord{};
        return channel.driverRequest(IOCTL_GET_STATUS, &record, sizeof record, nullptr, 0);
    }
    bool readOptions(OptionFlags &flags) {
        OptionsRecord record{};
        if (!channel.driverRequest(IOCTL_GET_OPTIONS, &record, sizeof record, nullptr, 0))
            return false;
        flags = optionFlags(record);
        return true;
    }
    // The layout in force: an answer with status 0 is the driver's word that there is none.
    std::optional<CacheTable> readTable() {
        CacheTable table = emptyCacheTable();
        if (!channel.driverRequest(IOCTL_GET_CACHE_TABLE, &table, sizeof table, nullptr, 0))
            return std::nullopt;
        return driverConfirmed(table) ? table : emptyCacheTable();
    }
    int layoutSet(const std::vector<std::string> &arguments);
    int layoutSuggest(const std::vector<std::string> &arguments);
    int layoutInForce(const std::vector<std::string> &arguments);
    // Sends nothing; reads the table back and says, volume by volume, whether the driver holds
    // what was sent.
    int verify(const CacheTable &sent, bool sentOk);

    SystemApi &system;
    DriverChannel channel;
    Console &console;
};

int Commands::status(const std::vector<std::string> &arguments) {
    enum { Text, Json, Metrics } form = Text;
    for (const std::string &argument : arguments) {
        if (argument == "--json" && form == Text)
            form = Json;
        else if (argument == "--metrics" && form == Text)
            form = Metrics;
        else
            return usage(console, "status: unexpected '" + argument + "'");
    }
    StatusRecord record;
    OptionFlags flags;
    if (!readStatus(record))
        return unreachable(console, "status");
    if (!readOptions(flags))
        return unreachable(console, "options");
    const StatusView view = statusView(record);
    std::ostream &out = console.out;
    if (form == Json) {
        const auto average = [&](std::uint64_t count) {
            return record.elapsedMs ? averagePerSecond(count, record.elapsedMs) : "null";
        };
        out << "{\"state\": " << json(view.stateText) << ", \"stateCode\": " << record.state
            << ", \"failsafeReason\": " << record.failsafeReason
            << ", \"memoryBytes\": " << record.memoryUsed
            << ", \"totalRequests\": " << record.totalRequests
            << ", \"totalBytes\": " << record.totalBytes << ", \"elapsedMs\": " << record.elapsedMs
            << ", \"averageRequestsPerSecond\": " << average(record.totalRequests)
            << ", \"averageBytesPerSecond\": " << average(record.totalBytes) << ", \"options\": {";
        for (const OptionName &option : OptionNames)
            out << (&option == OptionNames ? "" : ", ") << json(option.name) << ": "
                << (flags.*option.flag ? "true" : "false");
        out << "}}\n";
    } else if (form == Metrics) {
        const auto metric = [&out](const char *name, const char *type, const char *help,
                                   auto value) {
            out << "# HELP " << name << ' ' << help << "\n# TYPE " << name << ' ' << type << '\n'
                << name << ' ' << value << '\n';
        };
        metric("orvanta_driver_state", "gauge",
               "The driver's state: 0 not running, 1 running, 2 disabled, 3 failsafe.",
               record.state);
        metric("orvanta_failsafe_reason", "gauge", "The driver's code for the Failsafe state.",
               record.failsafeReason);
        metric("orvanta_memory_used_bytes", "gauge", "Memory the driver uses.", record.memoryUsed);
        metric("orvanta_requests_total", "counter", "Requests since the statistics began.",
               record.totalRequests);
        metric("orvanta_bytes_total", "counter",
               "Bytes read and written since the statistics began.", record.totalBytes);
        metric("orvanta_statistics_milliseconds", "gauge", "The period the counters cover.",
               record.elapsedMs);
        out << "# HELP orvanta_option_enabled 1 when the driver option is on.\n"
               "# TYPE orvanta_option_enabled gauge\n";
        for (const OptionName &option : OptionNames)
            out << "orvanta_option_enabled{option=\"" << option.name << "\"} "
                << (flags.*option.flag ? 1 : 0) << '\n';
    } else {
        out << "State: " << view.stateText;
        if (view.showsReason)
            out << " (reason " << view.reason << ')';
        out << "\nMemory used: " << view.memory << "\nTotal requests: " << view.totalRequests
            << "\nTotal bytes read/written: " << view.totalBytes
            << "\nAverage requests per second: " << view.averageRequests
            << "\nAverage bytes per second: " << view.averageBytes << "\nOptions:";
        for (const OptionName &option : OptionNames)
            out << ' ' << option.name << '=' << (flags.*option.flag ? "on" : "off");
        out << '\n';
    }
    return Success;
}

int Commands::watch(const std::vector<std::string> &arguments) {
    unsigned intervalMs = 1000;
    long long count = -1;
    bool asJson = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        char *end = nullptr;
        if (argument == "--json") {
            asJson = true;
        } else if (argument == "--interval" && hasValue) {
            const std::string &text = arguments[++i];
            const double seconds = std::strtod(text.c_str(), &end);
            if (text.empty() || *end || !(seconds >= 0.01 && seconds <= 86400))
                return usage(console, "watch: --interval takes seconds from 0.01 to 86400");
            intervalMs = unsigned(seconds * 1000 + 0.5);
        } else if (argument == "--count" && hasValue) {
            const std::string &text = arguments[++i];
            count = std::strtoll(text.c_str(), &end, 10);
            if (text.empty() || *end || count < 1 || count > 1000000000)
                return usage(console, "watch: --count takes a whole number of lines, 1 or more");
        } else {
            return usage(console, "watch: unexpected '" + argument + "'");
        }
    }
    StatusRecord last{};
    bool haveLast = false; // the rates start again from the next answer after a failure
    bool failed = false;
    for (long long lines = 0; count < 0 || lines < count;) {
        StatusRecord now;
        const bool answered = readStatus(now);
        if (!answered) {
            failed = true;
            console.out << (asJson ? "{\"error\": \"the driver did not answer\"}\n"
                                   : "the driver did not answer\n");
            ++lines;
        } else if (haveLast) {
            const char *state = statusView(now).stateText;
            const bool wentBack = now.totalRequests < last.totalRequests ||
                                  now.totalBytes < last.totalBytes ||
                                  now.elapsedMs < last.elapsedMs;
            const std::uint64_t periodMs = wentBack ? 0 : now.elapsedMs - last.elapsedMs;
            const std::string requests =
                averagePerSecond(now.totalRequests - last.totalRequests, periodMs);
            const std::string bytes = averagePerSecond(now.totalBytes - last.totalBytes, periodMs);
            if (asJson) {
                console.out << "{\"state\": " << json(state);
                if (wentBack)
                    console.out << ", \"countersWentBack\": true}\n";
                else
                    console.out << ", \"periodMs\": " << periodMs
                                << ", \"requestsPerSecond\": " << (periodMs ? requests : "null")
                                << ", \"bytesPerSecond\": " << (periodMs ? bytes : "null") << "}\n";
            } else if (wentBack) {
                console.out << state
                            << ": the counters went back (statistics cleared or the driver "
                               "restarted); rates from the next line on\n";
            } else {
                char megabytes[32] = "-";
                if (periodMs)
                    std::snprintf(megabytes, sizeof megabytes, "%.1f",
                                  std::strtod(bytes.c_str(), nullptr) / 1048576.0);
                console.out << state << ": " << requests << " requests/s, " << megabytes
                            << " MB/s\n";
            }
            ++lines;
        }
        haveLast = answered;
        if (answered)
            last = now;
        if (count >= 0 && lines >= count)
            break;
        console.out.flush();
        console.sleep(intervalMs);
    }
    return failed ? DriverFailed : Success;
}

int Commands::clear(const std::vector<std::string> &arguments) {
    if (!arguments.empty())
        return usage(console, "clear: unexpected '" + arguments[0] + "'");
    if (!channel.driverRequest(IOCTL_CLEAR_STATISTICS, nullptr, 0, nullptr, 0))
        return unreachable(console, "clear");
    console.out << "Statistics cleared.\n";
    return Success;
}

int Commands::options(const std::vector<std::string> &arguments) {
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
        wanted[name] = value == "on";
    }
    OptionFlags flags;
    if (!readOptions(flags))
        return unreachable(console, "options");
    if (!wanted.empty()) {
        for (const OptionName &option : OptionNames)
            if (wanted.count(option.name))
                flags.*option.flag = wanted[option.name];
        OptionsRecord record = optionsRecord(flags);
        const bool sent =
            channel.driverRequest(IOCTL_SET_OPTIONS, nullptr, 0, &record, sizeof record);
        OptionFlags held;
        if (!readOptions(held))
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
        if (!allTaken) {
            console.out.flush();
            return DriverFailed;
        }
    }
    for (const OptionName &option : OptionNames)
        console.out << option.name << '=' << (flags.*option.flag ? "on" : "off") << '\n';
    return Success;
}

int Commands::layout(const std::vector<std::string> &arguments) {
    if (!arguments.empty() && arguments[0] == "set")
        return layoutSet({arguments.begin() + 1, arguments.end()});
    if (!arguments.empty() && arguments[0] == "suggest")
        return layoutSuggest({arguments.begin() + 1, arguments.end()});
    if (!arguments.empty() && arguments[0] == "in-force")
        return layoutInForce({arguments.begin() + 1, arguments.end()});
    const bool asJson = arguments.size() == 1 && arguments[0] == "--json";
    if (!arguments.empty() && !asJson)
        return usage(console, "layout: unexpected '" + arguments[0] + "'");
    // The volumes are listed also when the driver cannot be asked, their caches unknown.
    const std::optional<CacheTable> table = readTable();
    std::ostream &out = console.out;
    out << (asJson ? "[" : "Volume  Cache   Rating  Free for caching\n");
    bool first = true;
    for (wchar_t letter : eligibleVolumes(system)) {
        const std::string root = narrow(volumeRoot(letter));
        const CacheEntry *entry = table ? findEntry(*table, root) : nullptr;
        const std::string sizeText = table ? std::to_string(entry ? entrySizeGB(*entry) : 0) : "-";
        VolumeQueryResult query;
        const bool rated = queryVolume(letter, query, system);
        const int freeGB = freeSpaceGB(volumeRoot(letter), system);
        const std::string ratingText = rated ? std::to_string(query.rating) : "-";
        if (asJson) {
            out << (first ? "" : ", ") << "{\"volume\": " << json(root.substr(0, 2))
                << ", \"cacheGB\": " << (table ? sizeText : "null")
                << ", \"rating\": " << (rated ? ratingText : "null") << ", \"freeGB\": " << freeGB
                << '}';
        } else {
            char line[96];
            std::snprintf(line, sizeof line, "%-7s %2s GB   %-7s %d GB\n",
                          root.substr(0, 2).c_str(), sizeText.c_str(), ratingText.c_str(), freeGB);
            out << line;
        }
        first = false;
    }
    out << (asJson ? "]\n" : "");
    return table ? Success : unreachable(console, "layout");
}

int Commands::layoutSet(const std::vector<std::string> &arguments) {
    bool yes = false;
    std::map<wchar_t, int> wanted;
    const std::vector<wchar_t> eligible = eligibleVolumes(system);
    for (const std::string &argument : arguments) {
        if (argument == "--yes") {
            yes = true;
            continue;
        }
        char letter = argument.empty() ? 0 : char(std::toupper((unsigned char)argument[0]));
        char *end = nullptr;
        const long gigabytes =
            argument.size() > 3 ? std::strtol(argument.c_str() + 3, &end, 10) : -1;
        if (argument.size() <= 3 || argument.compare(1, 2, ":=") != 0 || letter < 'C' ||
            letter > 'Z' || *end || !std::isdigit((unsigned char)argument[3]))
            return usage(console, "layout set: '" + argument + "' is not X:=GB (such as E:=4)");
        if (gigabytes > MaxCacheGB)
            return usage(console,
                         "layout set: " + argument.substr(0, 2) + " takes whole GB from 0 to 16");
        bool isEligible = false;
        for (wchar_t candidate : eligible)
            isEligible = isEligible || candidate == wchar_t(letter);
        if (!isEligible)
            return usage(console, "layout set: " + argument.substr(0, 2) +
                                      " is not a volume a cache can live on (a fixed NTFS volume)");
        wanted[wchar_t(letter)] = int(gigabytes);
    }
    if (wanted.empty())
        return usage(console, "layout set: no volume given (such as E:=4)");
    const std::optional<CacheTable> held = readTable();
    if (!held)
        return unreachable(console, "layout set");

    // The table the Caches tab sends: every eligible volume in order, each with the size it
    // shows, the changed ones with their new size; a volume with a cache carries its rating.
    CacheTable table = emptyCacheTable();
    std::ostringstream change;
    int next = 0;
    for (wchar_t letter : eligible) {
        if (next == CacheEntryCount)
            break;
        const std::string root = narrow(volumeRoot(letter));
        const CacheEntry *entry = findEntry(*held, root);
        const int now = entry ? entrySizeGB(*entry) : 0;
        int size = now;
        if (wanted.count(letter)) {
            size = wanted[letter];
            const int freeGB = freeSpaceGB(volumeRoot(letter), system);
            if (!cacheSizeAllowed(freeGB, size, now))
                return usage(console, "layout set: " + root.substr(0, 2) + " has " +
                                          std::to_string(freeGB) +
                                          " GB free for caching; a cache must leave more than "
                                          "2 GB of it free");
            change << root.substr(0, 2) << ' ' << now << " GB -> " << size << " GB ("
                   << freeGB - size << " GB free left)\n";
        }
        fillCacheEntry(table.entries[next++], letter, size, system);
    }
    console.out << change.str();
    if (!yes) {
        console.out << "Not sent: add --yes to send this layout.\n";
        return Success;
    }
    CacheTable answer = table;
    const bool sent = channel.driverRequest(IOCTL_SET_CACHE_TABLE, &answer, sizeof answer, &answer,
                                            sizeof answer) &&
                      driverConfirmed(answer);
    return verify(table, sent);
}

int Commands::layoutSuggest(const std::vector<std::string> &arguments) {
    const bool yes = arguments.size() == 1 && arguments[0] == "--yes";
    if (!arguments.empty() && !yes)
        return usage(console, "layout suggest: unexpected '" + arguments[0] + "'");
    std::vector<VolumeCandidate> candidates = collectCandidates(system);
    mergeSameDisk(candidates);
    sortByRating(candidates);
    distributeBudget(candidates);
    const CacheTable table = layoutTable(candidates);
    bool any = false;
    for (const CacheEntry &entry : table.entries) {
        if (entryPath(entry).empty())
            continue;
        any = true;
        console.out << entryPath(entry).substr(0, 2) << ' ' << entrySizeGB(entry) << " GB (rating "
                    << entry.rating << ")\n";
    }
    if (!any)
        console.out << "No volume to cache on.\n";
    if (!yes) {
        console.out << "Not sent: add --yes to send this layout.\n";
        return Success;
    }
    // Sent as /install sends it, then read back.
    return verify(table, sendLayout(candidates, system));
}

int Commands::layoutInForce(const std::vector<std::string> &arguments) {
    if (!arguments.empty())
        return usage(console, "layout in-force: unexpected '" + arguments[0] + "'");
    const std::optional<CacheTable> table = readTable();
    if (!table)
        return unreachable(console, "layout in-force");
    // Any size at all counts: a layout someone chose must never be taken for none.
    for (const CacheEntry &entry : table->entries) {
        if (entry.sizeBytes != 0) {
            console.out << "A cache layout is in force.\n";
            return Success;
        }
    }
    console.out << "No cache layout is in force.\n";
    return NoLayout;
}

int Commands::verify(const CacheTable &sent, bool sentOk) {
    if (!sentOk)
        console.err << "orvanta-ctl: layout: the driver did not enable every cache\n";
    const std::optional<CacheTable> held = readTable();
    if (!held)
        return unreachable(console, "layout (reading it back)");
    bool allHeld = sentOk;
    for (const CacheEntry &entry : sent.entries) {
        const std::string root = entryPath(entry);
        if (root.empty())
            continue;
        const CacheEntry *now = findEntry(*held, root);
        const int heldGB = now ? entrySizeGB(*now) : 0;
        const bool same = heldGB == entrySizeGB(entry);
        allHeld = allHeld && same;
        console.out << root.substr(0, 2) << ' ' << entrySizeGB(entry) << " GB sent, " << heldGB
                    << " GB held" << (same ? "" : ": NOT TAKEN") << '\n';
    }
    return allHeld ? Success : DriverFailed;
}

} // namespace

int run(const std::vector<std::string> &arguments, SystemApi &system, Console &console) {
    if (arguments.empty())
        return usage(console, "no command given");
    const std::string &command = arguments[0];
    const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    if (command == "--help" || command == "-h" || command == "help") {
        console.out << Usage;
        return Success;
    }
    const auto help = CommandHelp.find(command);
    if (help == CommandHelp.end())
        return usage(console, "unknown command '" + command + "'");
    for (const std::string &argument : rest) {
        if (argument == "--help" || argument == "-h") {
            console.out << help->second;
            return Success;
        }
    }
    Commands commands(system, console);
    if (command == "status")
        return commands.status(rest);
    if (command == "watch")
        return commands.watch(rest);
    if (command == "clear")
        return commands.clear(rest);
    if (command == "options")
        return commands.options(rest);
    return commands.layout(rest);
}

} // namespace orvanta::ctl
