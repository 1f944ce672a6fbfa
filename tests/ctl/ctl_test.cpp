// orvanta-ctl's commands in process, against the recording fake: what a console shows of the
// driver's answers between two samples.
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
