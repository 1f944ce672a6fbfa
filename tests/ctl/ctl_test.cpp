// orvanta-ctl's commands in process, against the recording fake: what a console shows of the
// driver's answers between two samples.
#include "ctl/commands.h"
#include "ctl/ctl.h"
#include "recordingsystem.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace orvanta;
using orvanta::testing::RecordingSystem;

// Any one counter lower than before, however the others moved, means the statistics began
// again: no rate is made of the difference, which would wrap to an enormous number.
TEST(Watch, ACounterThatWentBackGivesNoRate) {
    const StatusRecord before{1, 0, 0, 0, 100, 5000, 1000};
    const StatusRecord after[] = {
        {1, 0, 0, 0, 99, 6000, 2000}, {1, 0, 0, 0, 200, 4999, 2000}, {1, 0, 0, 0, 200, 6000, 999}};
    for (const StatusRecord &next : after) {
        RecordingSystem system;
        system.status = before;
        std::ostringstream out, err;
        ctl::Console console{out, err, [&](unsigned) { system.status = next; }, nullptr};
        EXPECT_EQ(ctl::run({"watch", "--count", "1", "--interval", "1"}, system, console), 0);
        EXPECT_EQ(out.str(), "Running: the counters went back (statistics cleared or the driver "
                             "restarted); rates from the next line on\n");
    }
}

// Rates over the driver's own time between two samples, a clear said as such, a failed request
// as an error line that ends the run with exit code 1, rates again once it answers, and a
// driver whose time stood still giving no rate at all.
TEST(Watch, RatesAcrossAClearAFailureAndAStandstill) {
    RecordingSystem system;
    system.status = StatusRecord{1, 0, 0, 0, 0, 0, 0};
    const StatusRecord samples[] = {{1, 0, 0, 0, 900, 40000000, 1000},
                                    {1, 0, 0, 0, 90, 4000000, 100},
                                    {},
                                    {1, 0, 0, 0, 1000, 5000000, 1200},
                                    {1, 0, 0, 0, 1900, 45000000, 2200},
                                    {1, 0, 0, 0, 1900, 45000000, 2200}};
    std::size_t next = 0;
    std::ostringstream out, err;
    ctl::Console console{out, err,
                         [&](unsigned milliseconds) {
                             EXPECT_EQ(milliseconds, 250u);
                             if (next == 2)
                                 system.failing.insert(IOCTL_GET_STATUS);
                             else
                                 system.failing.clear();
                             system.status = samples[next++];
                         },
                         nullptr};
    EXPECT_EQ(ctl::run({"watch", "--interval", "0.25", "--count", "5", "--json"}, system, console),
              1);
    EXPECT_EQ(out.str(), "{\"state\": \"Running\", \"periodMs\": 1000, \"requestsPerSecond\": 900, "
                         "\"bytesPerSecond\": 40000000}\n"
                         "{\"state\": \"Running\", \"countersWentBack\": true}\n"
                         "{\"error\": \"the driver did not answer\"}\n"
                         "{\"state\": \"Running\", \"periodMs\": 1000, \"requestsPerSecond\": 900, "
                         "\"bytesPerSecond\": 40000000}\n"
                         "{\"state\": \"Running\", \"periodMs\": 0, \"requestsPerSecond\": null, "
                         "\"bytesPerSecond\": null}\n");
}

// A text line: requests a second, and megabytes a second to one decimal; none for no time.
TEST(Watch, TextLinesGiveRequestsAndMegabytesASecond) {
    RecordingSystem system;
    system.status = StatusRecord{1, 0, 0, 0, 0, 0, 0};
    std::ostringstream out, err;
    ctl::Console console{
        out, err, [&](unsigned) { system.status = {1, 0, 0, 0, 900, 40000000, 1000}; }, nullptr};
    EXPECT_EQ(ctl::run({"watch", "--count", "2"}, system, console), 0);
    EXPECT_EQ(out.str(), "Running: 900 requests/s, 38.1 MB/s\nRunning: - requests/s, - MB/s\n");
    // The largest count is taken, one more or a count that is no whole number refused; a stream
    // that takes no line ends the watch.
    out.setstate(std::ios::badbit);
    EXPECT_EQ(ctl::run({"watch", "--count", "1000000000"}, system, console), 1);
    for (const char *refused : {"1000000001", "0", "5a", ""})
        EXPECT_EQ(ctl::run({"watch", "--count", refused}, system, console), 2) << refused;
}

// Text put into JSON stays JSON, whatever it holds.
TEST(Json, QuotesAndControlCharactersAreEscaped) {
    EXPECT_EQ(ctl::json("C:\\\"\x01"), R"("C:\\\"\u0001")");
}
