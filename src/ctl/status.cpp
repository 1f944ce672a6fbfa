#include "core/statusview.h"
#include "ctl/commands.h"

#include <cstdio>
#include <cstdlib>

namespace orvanta::ctl {

int statusCommand(Context &context, const Arguments &arguments) {
    Console &console = context.console;
    enum { Text, Json, Metrics } form = Text;
    for (const std::string &argument : arguments) {
        if (argument == "--json" && form == Text)
            form = Json;
        else if (argument == "--metrics" && form == Text)
            form = Metrics;
        else
            return usage(console, "status: unexpected '" + argument + "'");
    }
    // Each half is shown when it could be read; what could not is named, and the exit code
    // says so.
    StatusRecord record;
    OptionFlags flags;
    const bool haveStatus = context.driver.status(record);
    const bool haveOptions = context.driver.options(flags);
    if (!haveStatus && !haveOptions)
        return unreachable(console, "status");
    const StatusView view = statusView(record);
    std::ostream &out = console.out;
    if (form == Json) {
        const auto average = [&](std::uint64_t count) {
            return record.elapsedMs ? averagePerSecond(count, record.elapsedMs) : "null";
        };
        out << '{';
        if (haveStatus)
            out << "\"state\": " << json(view.stateText) << ", \"stateCode\": " << record.state
                << ", \"failsafeReason\": " << record.failsafeReason
                << ", \"memoryBytes\": " << record.memoryUsed
                << ", \"totalRequests\": " << record.totalRequests
                << ", \"totalBytes\": " << record.totalBytes
                << ", \"elapsedMs\": " << record.elapsedMs
                << ", \"averageRequestsPerSecond\": " << average(record.totalRequests)
                << ", \"averageBytesPerSecond\": " << average(record.totalBytes) << ", ";
        else
            out << "\"state\": null, ";
        out << "\"options\": ";
        if (haveOptions) {
            out << '{';
            for (const OptionName &option : OptionNames)
                out << (&option == OptionNames ? "" : ", ") << json(option.name) << ": "
                    << (flags.*option.flag ? "true" : "false");
            out << '}';
        } else {
            out << "null";
        }
        out << "}\n";
    } else if (form == Metrics) {
        const auto metric = [&out](const char *name, const char *type, const char *help,
                                   auto value) {
            out << "# HELP " << name << ' ' << help << "\n# TYPE " << name << ' ' << type << '\n'
                << name << ' ' << value << '\n';
        };
        if (haveStatus) {
            metric("orvanta_driver_state", "gauge",
                   "The driver's state: 0 not running, 1 running, 2 disabled, 3 failsafe.",
                   record.state);
            metric("orvanta_failsafe_reason", "gauge", "The driver's code for the Failsafe state.",
                   record.failsafeReason);
            metric("orvanta_memory_used_bytes", "gauge", "Memory the driver uses.",
                   record.memoryUsed);
            metric("orvanta_requests_total", "counter", "Requests since the statistics began.",
                   record.totalRequests);
            metric("orvanta_bytes_total", "counter",
                   "Bytes read and written since the statistics began.", record.totalBytes);
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%llu.%03u",
                          static_cast<unsigned long long>(record.elapsedMs / 1000),
                          static_cast<unsigned>(record.elapsedMs % 1000));
            metric("orvanta_statistics_seconds", "gauge", "The period the counters cover.",
                   seconds);
        }
        if (haveOptions) {
            out << "# HELP orvanta_option_enabled 1 when the driver option is on.\n"
                   "# TYPE orvanta_option_enabled gauge\n";
            for (const OptionName &option : OptionNames)
                out << "orvanta_option_enabled{option=\"" << option.name << "\"} "
                    << (flags.*option.flag ? 1 : 0) << '\n';
        }
    } else {
        if (haveStatus) {
            out << "State: " << view.stateText;
            if (view.showsReason)
                out << " (reason " << view.reason << ')';
            out << "\nMemory used: " << view.memory << "\nTotal requests: " << view.totalRequests
                << "\nTotal bytes read/written: " << view.totalBytes
                << "\nAverage requests per second: " << view.averageRequests
                << "\nAverage bytes per second: " << view.averageBytes << '\n';
        }
        if (haveOptions) {
            out << "Options:";
            for (const OptionName &option : OptionNames)
                out << ' ' << option.name << '=' << (flags.*option.flag ? "on" : "off");
            out << '\n';
        }
    }
    if (!haveStatus)
        return unreachable(console, "status (state and counters)");
    if (!haveOptions)
        return unreachable(console, "status (options)");
    return Success;
}

int watchCommand(Context &context, const Arguments &arguments) {
    Console &console = context.console;
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
        const bool answered = context.driver.status(now);
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

int clearCommand(Context &context, const Arguments &arguments) {
    Console &console = context.console;
    if (!arguments.empty())
        return usage(console, "clear: unexpected '" + arguments[0] + "'");
    if (!context.driver.clearStatistics())
        return unreachable(console, "clear");
    console.out << "Statistics cleared.\n";
    return Success;
}

} // namespace orvanta::ctl
