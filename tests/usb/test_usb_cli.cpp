// The command line on a machine without an adapter: every USB command ends at once with a message
// saying so, never waiting for a cable that nobody will plug in.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

#include "link/d2xxftdi.h"
#include "link/linkfactory.h"
#include "link/portusb.h"
#include "link/ptyinstrument.h"
#include "link/usbmonitor.h"
#include "tests/cli/clirun.h"
#include "tests/support/d2xxsim.h"
#include "tests/support/testclocks.h"

namespace {

using ::testing::HasSubstr;

struct UsbCli : ::testing::Test {
    std::string dir;
    std::string sqx;
    void SetUp() override {
        if (DeviceCount(*SystemD2xx()) > 0) GTEST_SKIP() << "an adapter is attached to this machine";
        MakeSequence();
    }
    void MakeSequence() {
        char pattern[] = "/tmp/teravox-usbcli-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        const std::string cbl = dir + "/c.cbl";
        sqx = dir + "/l1.sqx";
        ASSERT_EQ(Cli({"cable", "create", cbl, "--name", "C24", "--segment", "S1:1-24:5"}).Status, 0);
        ASSERT_EQ(Cli({"generate", "--cable", cbl, "--array", "dd", "--spacing", "5", "--levels", "1-4",
                       "--name", "Line1", "-o", sqx})
                      .Status,
                  0);
    }
    void TearDown() override {
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }
};

TEST_F(UsbCli, Family1UploadEndsWithoutAdapter) {
    TCliRun r = Cli({"--home", dir, "upload", "--family", "1", "--device", "usb", sqx});
    EXPECT_EQ(r.Status, ExitFailed);
    EXPECT_THAT(r.Out, HasSubstr(NoUsbAdapterText));
    EXPECT_THAT(r.Out, HasSubstr("Communication stopped"));
    EXPECT_EQ(r.Err, std::string(NoUsbAdapterText) + "\n");  // the failure says why
}

TEST_F(UsbCli, Family2UploadEndsWithoutAdapter) {
    TCliRun r = Cli({"--home", dir, "upload", "--family", "2", "--device", "usb", sqx});
    EXPECT_EQ(r.Status, ExitFailed);
    EXPECT_THAT(r.Out, HasSubstr(NoUsbAdapterText));
    EXPECT_EQ(r.Err, std::string(NoUsbAdapterText) + "\n");
}

TEST_F(UsbCli, ARateForTheAdapterIsWrongUsage) {
    TCliRun r = Cli({"--home", dir, "upload", "--family", "2", "--device", "usb", "--baud", "9600", sqx});
    EXPECT_EQ(r.Status, 2);
    EXPECT_THAT(r.Err, HasSubstr("--baud"));
    EXPECT_EQ(r.Out, "");
}

TEST_F(UsbCli, ModemListEndsWithoutAdapter) {
    TCliRun r = Cli({"--home", dir, "modem", "--device", "usb", "--dial", "0123456789", "list"});
    EXPECT_EQ(r.Status, ExitFailed);
    EXPECT_THAT(r.Out, HasSubstr(NoUsbAdapterText));
    EXPECT_EQ(r.Err, std::string(NoUsbAdapterText) + "\n");
}

// The command line's USB path with the simulated adapter plugged into a virtual instrument.
struct UsbCliSimulated : UsbCli {
    TScaledClock clock{5};
    std::unique_ptr<TPtyInstrument> instrument;
    std::atomic<bool> stop{false};
    std::thread served;
    void SetUp() override {
        MakeSequence();
        TVirtualInstrument::TOptions options;
        options.Family = 2;
        options.Stored = {"Line12", "Test"};
        instrument = std::make_unique<TPtyInstrument>(options);
        served = std::thread([this] { instrument->Run(stop); });
        const std::string path = instrument->Path();
        UsbLinkFactory() = [this, path](TLinkHost& host, TLinkClock&) -> std::unique_ptr<TPortVirt> {
            auto sim =
                std::make_shared<TD2xxSim>(std::shared_ptr<TFdFarSide>(TFdFarSide::OpenTerminal(path)));
            return std::make_unique<TPortUSB>(host, sim, clock);
        };
    }
    void TearDown() override {
        UsbLinkFactory() = nullptr;
        stop = true;
        if (served.joinable()) served.join();
        UsbCli::TearDown();
    }
};

TEST_F(UsbCliSimulated, Family2UploadStoresTheSequence) {
    TCliRun r = Cli({"--home", dir, "upload", "--family", "2", "--device", "usb", sqx});
    EXPECT_EQ(r.Status, ExitOk) << r.Err;
    EXPECT_THAT(r.Out, HasSubstr("Line1 correctly loaded  On Memory 3"));
    stop = true;
    served.join();  // the instrument is read only once its thread has ended
    ASSERT_EQ(instrument->Instrument().Images().size(), 1u);
}

TEST_F(UsbCliSimulated, ModemListOverUsbDialsNothing) {
    TCliRun r = Cli({"--home", dir, "modem", "--device", "usb", "--dial", "0123456789", "list"});
    EXPECT_EQ(r.Status, ExitOk) << r.Err;
    EXPECT_THAT(r.Out, HasSubstr("001 Line12\n002 Test\n"));
}

}  // namespace
