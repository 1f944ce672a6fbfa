#include "core/driverchannel.h"
#include "core/records.h"
#include "recordingsystem.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace orvanta;
using orvanta::testing::RecordingSystem;

TEST(DriverChannel, OpensRequestsAndClosesInThatOrder) {
    RecordingSystem system;
    DriverChannel channel(system);
    StatusRecord status{};
    system.status.state = 1;
    system.status.memoryUsed = 123;

    EXPECT_TRUE(channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0));

    const std::vector<std::string> expected = {"open \\\\.\\PhysicalDrive0 100",
                                               "ioctl 100 0x72A0C", "close 100"};
    EXPECT_EQ(system.calls, expected);
    EXPECT_TRUE(system.openHandles.empty());
    EXPECT_EQ(status.state, 1u);
    EXPECT_EQ(status.memoryUsed, 123u);
}

TEST(DriverChannel, FailedOpenSendsNothing) {
    RecordingSystem system;
    system.driverLoaded = false;
    DriverChannel channel(system);
    StatusRecord status{};
    for (std::uint32_t code : {IOCTL_GET_STATUS, IOCTL_CLEAR_STATISTICS, IOCTL_SET_OPTIONS,
                               IOCTL_GET_OPTIONS, IOCTL_GET_CACHE_TABLE, IOCTL_SET_CACHE_TABLE})
        EXPECT_FALSE(channel.driverRequest(code, &status, sizeof status, nullptr, 0));
    EXPECT_TRUE(system.requests.empty());
    ASSERT_EQ(system.calls.size(), 6u);
    for (const std::string &call : system.calls)
        EXPECT_EQ(call, "open-failed \\\\.\\PhysicalDrive0");
}

TEST(DriverChannel, FailedRequestStillClosesAndLeavesTheBufferAlone) {
    RecordingSystem system;
    system.failing.insert(IOCTL_GET_OPTIONS);
    DriverChannel channel(system);
    OptionsRecord options{7, 7, 7, 7};
    EXPECT_FALSE(channel.driverRequest(IOCTL_GET_OPTIONS, &options, sizeof options, nullptr, 0));
    EXPECT_TRUE(system.openHandles.empty());
    EXPECT_EQ(system.calls.back(), "close 100");
    EXPECT_EQ(options.prefetcherEnabled, 7u);
    EXPECT_EQ(options.disableSpeculative, 7u);

    // Nothing is cached: the next request opens the device afresh.
    system.failing.clear();
    EXPECT_TRUE(channel.driverRequest(IOCTL_GET_OPTIONS, &options, sizeof options, nullptr, 0));
    EXPECT_EQ(system.calls[3], "open \\\\.\\PhysicalDrive0 101");
}

TEST(DriverChannel, BuffersReachTheSystemInTheirOwnPlaces) {
    RecordingSystem system;
    DriverChannel channel(system);

    // Output before input in the channel's arguments; input before output in the system call.
    OptionsRecord sent{1, 0, 1, 0};
    ASSERT_TRUE(channel.driverRequest(IOCTL_SET_OPTIONS, nullptr, 0, &sent, sizeof sent));
    const RecordingSystem::Request &set = system.requests.back();
    EXPECT_EQ(set.inBuffer, &sent);
    EXPECT_EQ(set.inSize, 16u);
    EXPECT_EQ(set.outBuffer, nullptr);
    EXPECT_EQ(set.outSize, 0u);

    // No buffers at all are sent as such.
    ASSERT_TRUE(channel.driverRequest(IOCTL_CLEAR_STATISTICS, nullptr, 0, nullptr, 0));
    const RecordingSystem::Request &clear = system.requests.back();
    EXPECT_EQ(clear.inBuffer, nullptr);
    EXPECT_EQ(clear.outBuffer, nullptr);
    EXPECT_EQ(clear.inSize + clear.outSize, 0u);

    // The cache table travels in one buffer both ways.
    CacheTable table{};
    ASSERT_TRUE(
        channel.driverRequest(IOCTL_SET_CACHE_TABLE, &table, sizeof table, &table, sizeof table));
    const RecordingSystem::Request &setTable = system.requests.back();
    EXPECT_EQ(setTable.inBuffer, &table);
    EXPECT_EQ(setTable.outBuffer, &table);
    EXPECT_EQ(setTable.inSize, 2296u);
    EXPECT_EQ(setTable.outSize, 2296u);
}

TEST(DriverChannel, ShortAnswerStillSucceeds) {
    RecordingSystem system;
    system.rawAnswers[IOCTL_GET_STATUS] = {3, 0, 0, 0};
    DriverChannel channel(system);
    StatusRecord status{};
    status.memoryUsed = 99;
    EXPECT_TRUE(channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0));
    EXPECT_EQ(status.state, 3u);
    EXPECT_EQ(status.memoryUsed, 99u);
}

TEST(DriverChannel, VolumeDevicesAndNames) {
    RecordingSystem system;
    system.volumes[L'C'].query = VolumeQueryResult{4, 700};
    DriverChannel channel(system);
    VolumeQueryResult result{};
    EXPECT_TRUE(
        channel.deviceRequest(L"C:", IOCTL_QUERY_VOLUME, &result, sizeof result, nullptr, 0));
    EXPECT_EQ(system.calls.front(), "open \\\\.\\C: 100");
    EXPECT_EQ(result.diskId, 4u);
    EXPECT_EQ(result.rating, 700u);

    EXPECT_EQ(DriverChannel::devicePath(L"PhysicalDrive0"), L"\\\\.\\PhysicalDrive0");

    // The longest name that fits the 256-character path is opened; one more character is refused
    // without opening anything, as is a name that an embedded NUL would cut short.
    const std::wstring longest(251, L'x');
    system.extraDevices.insert(L"\\\\.\\" + longest);
    system.clearLog();
    EXPECT_FALSE(channel.deviceRequest(longest, IOCTL_GET_STATUS, nullptr, 0, nullptr, 0));
    EXPECT_EQ(system.calls.front().rfind("open \\\\.\\xxx", 0), 0u);
    system.clearLog();
    const std::wstring tooLong(252, L'x');
    system.extraDevices.insert(L"\\\\.\\" + tooLong.substr(0, 251));
    EXPECT_FALSE(channel.deviceRequest(tooLong, IOCTL_GET_STATUS, nullptr, 0, nullptr, 0));
    EXPECT_FALSE(channel.deviceRequest(std::wstring(L"C:\0X", 4), IOCTL_QUERY_VOLUME, &result, 8,
                                       nullptr, 0));
    EXPECT_TRUE(system.calls.empty());
}

TEST(Records, WireImageMatchesTheFields) {
    // A status answer as the driver writes it, byte by byte.
    const unsigned char wire[40] = {3,    0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 9, 9,    9, 9, 0, 0,
                                    0x10, 0, 1, 0, 0,    0,    0,    0,    0, 0x80, 0, 0, 0, 0,
                                    0,    0, 0, 1, 0xE8, 3,    0,    0,    0, 0,    0, 0};
    StatusRecord status;
    std::memcpy(&status, wire, sizeof status);
    EXPECT_EQ(status.state, 3u);
    EXPECT_EQ(status.failsafeReason, -2);
    EXPECT_EQ(status.reserved, 0x09090909u);
    EXPECT_EQ(status.memoryUsed, 0x100000u);
    EXPECT_EQ(status.totalRequests, 0x8000000000000001ull);
    EXPECT_EQ(status.totalBytes, 0x0100000000000000ull);
    EXPECT_EQ(status.elapsedMs, 1000u);

    const OptionsRecord options{1, 2, 3, 4};
    unsigned char optionBytes[16];
    std::memcpy(optionBytes, &options, sizeof optionBytes);
    EXPECT_EQ(optionBytes[0], 1);
    EXPECT_EQ(optionBytes[4], 2);
    EXPECT_EQ(optionBytes[8], 3);
    EXPECT_EQ(optionBytes[12], 4);

    EXPECT_STREQ(controlCodeName(0x72A24), "IOCTL_QUERY_VOLUME");
    EXPECT_EQ(controlCodeByName("IOCTL_GET_STATUS"), 0x72A0Cu);
    EXPECT_EQ(controlCodeName(0x72A28), nullptr);
    EXPECT_EQ(controlCodeByName("IOCTL_NOTHING"), 0u);
}
