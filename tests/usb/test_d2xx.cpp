#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "link/d2xxftdi.h"
#include "link/usbmonitor.h"
#include "tests/support/d2xxsim.h"
#include "tests/support/testclocks.h"
#include "tests/usb/scriptedfarside.h"

namespace {

TEST(D2xxFtdi, WithoutAdapterCountsNoneAndOpensNothing) {
    TD2xxFtdi ftdi;
    if (DeviceCount(ftdi) > 0) GTEST_SKIP() << "an adapter is attached to this machine";
    TD2xxHandle handle = 77;
    EXPECT_NE(ftdi.Open(0, &handle), D2xxOk);
    EXPECT_EQ(handle, 0u);
}

TEST(D2xxFtdi, UnknownHandleIsRefused) {
    TD2xxFtdi ftdi;
    std::uint8_t byte = 0;
    std::uint32_t n = 0;
    EXPECT_EQ(ftdi.Read(5, &byte, 1, &n), D2xxInvalidHandle);
    EXPECT_EQ(ftdi.Write(5, &byte, 1, &n), D2xxInvalidHandle);
    EXPECT_EQ(ftdi.GetQueueStatus(5, &n), D2xxInvalidHandle);
    EXPECT_EQ(ftdi.SetTimeouts(5, 500, 500), D2xxInvalidHandle);
    EXPECT_EQ(ftdi.Close(0), D2xxInvalidHandle);
}

TEST(D2xxFtdi, CountNeedsTheCountOnlyFlag) {
    TD2xxFtdi ftdi;
    std::uint32_t count = 9;
    EXPECT_EQ(ftdi.ListDevices(&count, nullptr, 0), D2xxInvalidParameter);
}

struct SimFixture : ::testing::Test {
    TManualClock clock;
    std::shared_ptr<TScriptedFarSide> far = std::make_shared<TScriptedFarSide>(clock);
    TD2xxSim sim{far};
    TD2xxHandle h = 0;
    void SetUp() override { ASSERT_EQ(sim.Open(0, &h), D2xxOk); }
};

TEST_F(SimFixture, ReadWaitsTheReadTimeOutWhenNothingComes) {
    sim.SetTimeouts(h, 5000, 500);
    std::uint8_t byte = 0;
    std::uint32_t got = 9;
    EXPECT_EQ(sim.Read(h, &byte, 1, &got), D2xxOk);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(clock.NowMs(), 5000);
    EXPECT_EQ(sim.WriteTimeoutMs(), 500u);
}

TEST_F(SimFixture, ReadReturnsAtOnceWhenTheBytesAreThere) {
    sim.SetTimeouts(h, 2000, 500);
    far->Queue({1, 2, 3});
    std::uint32_t count = 0;
    ASSERT_EQ(sim.GetQueueStatus(h, &count), D2xxOk);
    EXPECT_EQ(count, 3u);
    std::uint8_t buf[2] = {};
    std::uint32_t got = 0;
    sim.Read(h, buf, 2, &got);
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(buf[1], 2);
    EXPECT_EQ(clock.NowMs(), 0);
    sim.GetQueueStatus(h, &count);
    EXPECT_EQ(count, 1u);
}

TEST_F(SimFixture, ShortReadGivesWhatCameWithinTheTimeOut) {
    sim.SetTimeouts(h, 100, 500);
    far->Queue({7});
    std::uint8_t buf[4] = {};
    std::uint32_t got = 0;
    sim.Read(h, buf, 4, &got);
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(clock.NowMs(), 100);
}

TEST_F(SimFixture, PurgeOfTheReceiveQueueDiscardsWhatArrived) {
    far->Queue({1, 2});
    std::uint32_t count = 0;
    sim.GetQueueStatus(h, &count);
    sim.Purge(h, D2xxPurgeRx);
    sim.GetQueueStatus(h, &count);
    EXPECT_EQ(count, 0u);
}

TEST_F(SimFixture, WrittenBytesReachTheFarSideAndFailuresAreReported) {
    std::uint8_t byte = 0x40;
    std::uint32_t n = 0;
    sim.SetWriteFailures(1);
    EXPECT_NE(sim.Write(h, &byte, 1, &n), D2xxOk);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(sim.Write(h, &byte, 1, &n), D2xxOk);
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(far->Received, std::vector<std::uint8_t>{0x40});
}

TEST_F(SimFixture, UnpluggedAdapterFailsEveryCall) {
    sim.SetAttached(0);
    std::uint32_t count = 0;
    EXPECT_NE(sim.GetQueueStatus(h, &count), D2xxOk);
    EXPECT_EQ(DeviceCount(sim), 0);
}

TEST_F(SimFixture, SecondOpenIsRefusedUntilClosed) {
    TD2xxHandle other = 0;
    EXPECT_EQ(sim.Open(0, &other), D2xxDeviceNotOpened);
    EXPECT_EQ(sim.Close(h), D2xxOk);
    EXPECT_EQ(sim.Open(0, &other), D2xxOk);
    EXPECT_NE(other, h);
    EXPECT_EQ(sim.Close(h), D2xxInvalidHandle);  // a stale handle names nothing
}

TEST(D2xxSimPty, BridgesToAPseudoTerminal) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    auto far = std::shared_ptr<TFdFarSide>(TFdFarSide::OpenTerminal(ptsname(master)));
    TD2xxSim sim(far);
    TD2xxHandle h = 0;
    ASSERT_EQ(sim.Open(0, &h), D2xxOk);
    sim.SetTimeouts(h, 2000, 500);

    ASSERT_EQ(::write(master, "ab", 2), 2);
    std::uint8_t buf[2] = {};
    std::uint32_t got = 0;
    sim.Read(h, buf, 2, &got);
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(buf[0], 'a');

    std::uint8_t out = 0x40;
    std::uint32_t n = 0;
    sim.Write(h, &out, 1, &n);
    std::uint8_t echo = 0;
    ASSERT_EQ(::read(master, &echo, 1), 1);
    EXPECT_EQ(echo, 0x40);

    sim.SetTimeouts(h, 50, 500);
    sim.Read(h, buf, 1, &got);
    EXPECT_EQ(got, 0u);
    ::close(master);
}

TEST(UsbMonitor, NeverFailsWhereUdevIsSilent) {
    int changes = 0;
    TUsbMonitor monitor([&](TUsbChange) { ++changes; });
    if (monitor.Active())
        EXPECT_GE(monitor.Fd(), 0);
    else
        EXPECT_EQ(monitor.Fd(), -1);
    EXPECT_GE(monitor.Dispatch(0), 0);
    EXPECT_GE(monitor.Dispatch(20), 0);
}

struct EventCase {
    const char* Action;
    const char* DevType;
    int Plugs;
    int Unplugs;
};

class UsbMonitorEvents : public ::testing::TestWithParam<EventCase> {};

TEST_P(UsbMonitorEvents, ReportsOnlyWholeDevicesComingAndGoing) {
    int plugs = 0, unplugs = 0;
    TUsbMonitor monitor([&](TUsbChange c) { (c == TUsbChange::Plugged ? plugs : unplugs)++; });
    monitor.HandleEvent(GetParam().Action, GetParam().DevType);
    EXPECT_EQ(plugs, GetParam().Plugs);
    EXPECT_EQ(unplugs, GetParam().Unplugs);
}

INSTANTIATE_TEST_SUITE_P(Events, UsbMonitorEvents,
                         ::testing::Values(EventCase{"add", "usb_device", 1, 0},
                                           EventCase{"remove", "usb_device", 0, 1},
                                           EventCase{"bind", "usb_device", 0, 0},
                                           EventCase{"change", "usb_device", 0, 0},
                                           EventCase{"add", "usb_interface", 0, 0}),
                         [](const auto& param_info) {
                             return std::string(param_info.param.Action) + "_" + param_info.param.DevType;
                         });

}  // namespace
