#include "core/statusview.h"
#include "ctl/commands.h"

#include <cstdio>
#include <cstdlib>
#include <iomanip>
#include <optional>
#include <sstream>

namespace orvanta::ctl {

namespace {

// One look at the driver: each half as far as it answered.
struct Reading {
    StatusRecord record{};
    OptionFlags flags;
    bool haveStatus = false;
    bool haveOptions = false;
};

void printJson(std::ostream &out, const Reading &reading) {
    const StatusRecord &record = reading.record;
    const auto average = [&](std::uint64_t count) {
        return record.elapsedMs ? averagePerSecond(count, record.elapsedMs) : "null";
    };
    out << '{';
    if (reading.haveStatus)
        out << "\"state\": " << json(statusView(record).stateText)
            << ", \"stateCode\": " << record.state
            << ", \"failsafeReason\": " << record.failsafeReason
            << ", \"memoryBytes\": " << record.memoryUsed
            << ", \"totalRequests\": " << record.totalRequests
            << ", \"totalBytes\": " << record.totalBytes << ", \"elapsedMs\": " << record.elapsedMs
            << ", \"averageRequestsPerSecond\": " << average(record.totalRequests)
            << ", \"averageBytesPerSecond\": " << average(record.totalBytes) << ", ";
    else
        out << "\"state\": null, ";
    out << "\"options\": ";
    if (reading.haveOptions) {
        out << '{';
        for (const OptionName &option : OptionNames)
            out << (&option == OptionNames ? "" : ", ") << json(option.name) << ": "
                << (reading.flags.*option.flag ? "true" : "false");
        out << '}';
    } else {
        out << "null";
    }
    out << "}\n";
}

void printMetrics(std::ostream &out, const Reading &reading) {
    const auto metric = [&out](const char *name, const char *type, const char *help, auto value) {
        out << "# HELP " << name << ' ' << help << "\n# TYPE " << name << ' ' << type << '\n'
            << name << ' ' << value << '\n';
    };
    const StatusRecord &record = reading.record;
    if (reading.haveStatus) {
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
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%llu.%03u",
                      static_cast<unsigned long long>(record.elapsedMs / 1000),
                      static_cast<unsigned>(record.elapsedMs % 1000));
        metric("orvanta_statistics_seconds", "gauge", "The period the counters cover.", seconds);
    }
    if (reading.haveOptions) {
        out << "# HELP orvanta_option_enabled 1 when the driver option is on.\n"
               "# TYPE orvanta_option_enabled gauge\n";
        for (const OptionName &option : OptionNames)
            out << "orvanta_option_enabled{option=\"" << option.name << "\"} "
                << (reading.flags.*option.flag ? 1 : 0) << '\n';
    }
}

void printText(std::ostream &out, const Reading &reading) {
    if (reading.haveStatus) {
        const StatusView view = statusView(reading.record);
        out << "State: " << view.stateText;
        if (view.showsReason)
            out << " (reason " << view.reason << ')';
        out << "\nMemory used: " << view.memory << "\nTotal requests: " << view.totalRequests
            << "\nTotal bytes read/written: " << view.totalBytes
            << "\nAverage requests per second: " << view.averageRequests
            << "\nAverage bytes per second: " << view.averageBytes << '\n';
    }
    if (reading.haveOptions) {
        out << "Options:";
        for (const OptionName &option : OptionNames)
            out << ' ' << option.name << '=' << (reading.flags.*option.flag ? "on" : "off");
        out << '\n';
    }
}

// What print makes of a reading, as the whole new content of the file at path.
bool replaceWith(Console &console, const std::string &path, const Reading &reading,
                 void (*print)(std::ostream &, const Reading &)) {
    std::ostringstream text;
    print(text, reading);
    return console.replaceFile(path, text.str());
}

} // namespace

int statusCommand(Context &context, const Arguments &arguments) {
    Console &console = context.console;
    auto print = printText;
    const std::string *output = nullptr;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        if (argument == "--json" && print == printText)
            print = printJson;
        else if (argument == "--metrics" && print == printText)
            print = printMetrics;
        else if (argument == "--output" && !output && i + 1 < arguments.size())
            output = &arguments[++i];
        else
            return usage(console, "status: unexpected '" + argument + "'");
    }
    // Each half is shown when it could be read; what could not is named, and the exit code
    // says so.
    Reading reading;
    reading.haveStatus = context.driver.status(reading.record);
    reading.haveOptions = context.driver.options(reading.flags);
    if (!reading.haveStatus && !reading.haveOptions)
        return unreachable(console, "status");
    // A file is replaced only when the driver's state was read: one without it would look
    // current to a collector while saying nothing of the driver, where one left as it was goes
    // stale, which a collector sees.
    if (!output) {
        print(console.out, reading);
    } else if (reading.haveStatus && !replaceWith(console, *output, reading, print)) {
        console.err << "orvanta-ctl: status: " << *output << " could not be written\n";
        return DriverFailed;
    }
    if (!reading.haveStatus)
        return unreachable(console, "status (state and counters)");
    if (!reading.haveOptions)
        return unreachable(console, "status (options)");
    return Success;
}

namespace {

struct WatchOptions {
    unsigned intervalMs = 1000;
    std::optional<long long> count; // lines; until stopped when there is none
    bool asJson = false;
    const std::string *metricsFile = nullptr;
};

int parseWatch(Console &console, const Arguments &arguments, WatchOptions &options) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        char *end = nullptr;
        if (argument == "--json") {
            options.asJson = true;
        } else if (argument == "--metrics-file" && hasValue && !options.metricsFile) {
            options.metricsFile = &arguments[++i];
        } else if (argument == "--interval" && hasValue) {
            const std::string &text = arguments[++i];
            const double seconds = std::strtod(text.c_str(), &end);
            if (text.empty() || *end || !(seconds >= 0.01 && seconds <= 86400))
                return usage(console, "watch: --interval takes seconds from 0.01 to 86400");
            options.intervalMs = unsigned(seconds * 1000 + 0.5);
        } else if (argument == "--count" && hasValue) {
            const std::string &text = arguments[++i];
            const long long count = std::strtoll(text.c_str(), &end, 10);
            if (text.empty() || *end || count < 1 || count > 1000000000)
                return usage(console, "watch: --count takes a whole number of lines, 1 or more");
            options.count = count;
        } else {
            return usage(console, "watch: unexpected '" + argument + "'");
        }
    }
    return Success;
}

// The line for the interval from last to now.
void printRates(std::ostream &out, const StatusRecord &last, const StatusRecord &now, bool asJson) {
    const char *state = statusView(now).stateText;
    const bool wentBack = now.totalRequests < last.totalRequests ||
                          now.totalBytes < last.totalBytes || now.elapsedMs < last.elapsedMs;
    const std::uint64_t periodMs = wentBack ? 0 : now.elapsedMs - last.elapsedMs;
    const std::string requests = averagePerSecond(now.totalRequests - last.totalRequests, periodMs);
    const std::string bytes = averagePerSecond(now.totalBytes - last.totalBytes, periodMs);
    if (asJson) {
        out << "{\"state\": " << json(state);
        if (wentBack)
            out << ", \"countersWentBack\": true}\n";
        else
            out << ", \"periodMs\": " << periodMs
                << ", \"requestsPerSecond\": " << (periodMs ? requests : "null")
                << ", \"bytesPerSecond\": " << (periodMs ? bytes : "null") << "}\n";
    } else if (wentBack) {
        out << state
            << ": the counters went back (statistics cleared or the driver restarted); rates "
               "from the next line on\n";
    } else {
        std::ostringstream megabytes; // its own stream: the format does not stick to the console's
        if (periodMs)
            megabytes << std::fixed << std::setprecision(1)
                      << std::strtod(bytes.c_str(), nullptr) / 1048576.0;
        else
            megabytes << '-';
        out << state << ": " << requests << " requests/s, " << megabytes.str() << " MB/s\n";
    }
}

} // namespace

int watchCommand(Context &context, const Arguments &arguments) {
    Console &console = context.console;
    WatchOptions options;
    if (const int refused = parseWatch(console, arguments, options))
        return refused;
    StatusRecord last{};
    bool haveLast = false; // the rates start again from the next answer after a failure
    bool failed = false, fileFailing = false;
    for (long long lines = 0;;) {
        Reading now;
        now.haveStatus = context.driver.status(now.record);
        if (options.metricsFile) {
            now.haveOptions = context.driver.options(now.flags);
            const bool written =
                !now.haveStatus || replaceWith(console, *options.metricsFile, now, printMetrics);
            // A file that cannot be replaced now (a collector holding it open on Windows, a
            // full disk) may be next time: said once, and watching goes on.
            if (!written && !fileFailing)
                console.err << "orvanta-ctl: watch: " << *options.metricsFile
                            << " could not be written; trying again at every interval\n";
            fileFailing = !written;
            failed = failed || !written || !now.haveOptions;
        }
        if (!now.haveStatus) {
            failed = true;
            console.out << (options.asJson ? "{\"error\": \"the driver did not answer\"}\n"
                                           : "the driver did not answer\n");
            ++lines;
        } else if (haveLast) {
            printRates(console.out, last, now.record, options.asJson);
            ++lines;
        }
        haveLast = now.haveStatus;
        if (haveLast)
            last = now.record;
        if (options.count && lines >= *options.count)
            break;
        // Nobody reads lines that cannot be written (a closed pipe, a full disk): watching ends.
        if (!console.out.flush())
            return DriverFailed;
        console.sleep(options.intervalMs);
    }
    return failed ? DriverFailed : Success;
}

int clearCommand(Context &context, const Arguments &arguments) {
    Console &console = context.console;
    if (const int refused = onlyFlag(console, "clear", arguments))
        return refused;
    if (!context.driver.clearStatistics())
        return unreachable(console, "clear");
    console.out << "Statistics cleared.\n";
    return Success;
}

} // namespace orvanta::ctl
