#include "core/autostart.h"
#include "core/commandline.h"
#include "core/statusview.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace orvanta;

TEST(StatusView, StatesAndControls) {
    struct Row {
        std::uint32_t state;
        const char *text;
        bool disabled;
        bool reason;
    };
    const Row rows[] = {
        {0, "Not running", true, false}, {1, "Running", false, false},
        {2, "Disabled", false, false},   {3, "Failsafe", true, true},
        {4, "Unknown", true, false},     {0xffffffffu, "Unknown", true, false},
    };
    for (const Row &row : rows) {
        StatusRecord record{};
        record.state = row.state;
        record.failsafeReason = -2;
        const StatusView view = statusView(record);
        EXPECT_STREQ(view.stateText, row.text) << row.state;
        EXPECT_EQ(view.controlsDisabled, row.disabled) << row.state;
        EXPECT_EQ(view.showsReason, row.reason) << row.state;
        if (row.reason) {
            EXPECT_EQ(view.reason, "-2");
        }
    }
}

TEST(StatusView, NumbersAndUnits) {
    StatusRecord record{};
    // A failed request leaves the record zero: that reads as a stopped driver with no averages.
    StatusView view = statusView(record);
    EXPECT_EQ(view.memory, "0 MB");
    EXPECT_EQ(view.totalRequests, "0");
    EXPECT_EQ(view.totalBytes, "0 MB");
    EXPECT_EQ(view.averageRequests, "-");
    EXPECT_EQ(view.averageBytes, "-");

    record.state = 1;
    record.memoryUsed = 1048575;
    record.totalRequests = 3;
    record.totalBytes = 10485760;
    record.elapsedMs = 2000;
    view = statusView(record);
    EXPECT_EQ(view.memory, "0 MB");
    EXPECT_EQ(view.totalBytes, "10 MB");
    EXPECT_EQ(view.averageRequests, "1");
    EXPECT_EQ(view.averageBytes, "5120 kB/s");

    record.memoryUsed = 0xffffffffu;
    record.totalRequests = UINT64_MAX;
    record.totalBytes = UINT64_MAX;
    record.elapsedMs = 0;
    view = statusView(record);
    EXPECT_EQ(view.memory, "4095 MB");
    EXPECT_EQ(view.totalRequests, "18446744073709551615");
    EXPECT_EQ(view.totalBytes, "17592186044415 MB");
    EXPECT_EQ(view.averageRequests, "-");
    EXPECT_EQ(view.averageBytes, "-");
}

TEST(StatusView, AveragesDoNotWrapPastTwoToTheSixtyFour) {
    // 2^60 bytes over one second: the product with 1000 is past 2^64.
    EXPECT_EQ(averagePerSecond(std::uint64_t(1) << 60, 1000, 10), "1125899906842624");
    EXPECT_EQ(averagePerSecond(UINT64_MAX, 1), "18446744073709551615000");
    EXPECT_EQ(averagePerSecond(UINT64_MAX, 1000), "18446744073709551615");
    EXPECT_EQ(averagePerSecond(UINT64_MAX, UINT64_MAX), "1000");
    EXPECT_EQ(averagePerSecond(UINT64_MAX, 3), "6148914691236517205000");
    EXPECT_EQ(averagePerSecond(UINT64_MAX, 7, 10), "2573485501354569142");
    // Below the wrap the plain 64-bit arithmetic stands.
    EXPECT_EQ(averagePerSecond(18446744073709551ull, 1000), "18446744073709551");
    EXPECT_EQ(averagePerSecond(999, 1000), "999");
    EXPECT_EQ(averagePerSecond(1, 1001), "0");
}

TEST(Options, RecordOrderAndNonZeroFlags) {
    OptionFlags flags;
    flags.disableWriteCache = true;
    const OptionsRecord record = optionsRecord(flags);
    unsigned char bytes[16];
    std::memcpy(bytes, &record, sizeof bytes);
    const unsigned char expected[16] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(bytes, expected, 16), 0);

    const OptionFlags read = optionFlags(OptionsRecord{2, 0, 0, 0x80000000u});
    EXPECT_TRUE(read.prefetcherEnabled);
    EXPECT_FALSE(read.saveMemory);
    EXPECT_FALSE(read.disableWriteCache);
    EXPECT_TRUE(read.disableSpeculative);
    EXPECT_EQ(optionsRecord(read).prefetcherEnabled, 1u);
}

TEST(CommandLine, WholeArgumentsIgnoringAsciiCase) {
    struct Row {
        std::vector<const char *> args;
        bool install;
        bool hidden;
    };
    const Row rows[] = {
        {{"orvanta-monitor"}, false, false},
        {{"orvanta-monitor", "/INSTALL"}, true, false},
        {{"orvanta-monitor", "x", "/Install", "y"}, true, false},
        {{"orvanta-monitor", "/install", "/hidden"}, true, true},
        {{"orvanta-monitor", "/Hidden"}, false, true},
        {{"orvanta-monitor", "-hidden", "hidden", "/hidden:1", "/hidden "}, false, false},
        {{"orvanta-monitor", "install", "-install", "/install=1", "//install"}, false, false},
        {{"/hidden"}, false, true}, // the program's own name is scanned too
        {{"orvanta-monitor", "/\xc4nstall"}, false, false},
    };
    for (const Row &row : rows) {
        const int argc = static_cast<int>(row.args.size());
        EXPECT_EQ(hasSwitch(argc, row.args.data(), "/install"), row.install) << row.args.back();
        EXPECT_EQ(hasSwitch(argc, row.args.data(), "/hidden"), row.hidden) << row.args.back();
    }
    EXPECT_FALSE(hasSwitch(0, nullptr, "/install"));
    const char *withNull[] = {"a", nullptr, "/install"};
    EXPECT_TRUE(hasSwitch(3, withNull, "/install"));
}

TEST(Autostart, OnlyANonZeroIntegerStartsTheMonitor) {
    const unsigned char one[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    const unsigned char highByte[8] = {0, 0, 0, 1, 0, 0, 0, 0};
    const unsigned char upperHalf[8] = {0, 0, 0, 0, 0, 0, 0, 1};
    const unsigned char zero[8] = {};
    const unsigned char text[4] = {'1', 0, 0, 0}; // "1" as REG_SZ
    EXPECT_TRUE(autostartWanted(RegistryDword, one, 4));
    EXPECT_TRUE(autostartWanted(RegistryDword, highByte, 4));
    EXPECT_TRUE(autostartWanted(RegistryDwordBigEndian, one, 4));
    EXPECT_TRUE(autostartWanted(RegistryQword, upperHalf, 8));
    EXPECT_FALSE(autostartWanted(RegistryDword, zero, 4));
    EXPECT_FALSE(autostartWanted(RegistryQword, zero, 8));
    EXPECT_FALSE(autostartWanted(1 /* REG_SZ */, text, sizeof text));
    EXPECT_FALSE(autostartWanted(3 /* REG_BINARY */, one, 4));
    // A value too short for its type is bounded, not read past.
    EXPECT_FALSE(autostartWanted(RegistryDword, one, 3));
    EXPECT_FALSE(autostartWanted(RegistryQword, one, 4));
    EXPECT_FALSE(autostartWanted(RegistryDword, nullptr, 4));
    // The DWORD's own four bytes decide, not what follows them.
    EXPECT_FALSE(autostartWanted(RegistryDword, upperHalf, 8));
}
