// The command line on a machine without an adapter: every USB command ends at once with a message
// saying so, never waiting for a cable that nobody will plug in.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "clirun.h"
#include "d2xxftdi.h"
#include "portusb.h"
#include "usbmonitor.h"

namespace {

using ::testing::HasSubstr;

struct UsbCli : ::testing::Test {
    std::string dir;
    std::string sqx;
    void SetUp() override {
        if (DeviceCount(*SystemD2xx()) > 0) GTEST_SKIP() << "an adapter is attached to this machine";
        char pattern[] = "/tmp/teravox-usbcli-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        const std::string cbl = dir + "/c.cbl";
        sqx = dir + "/l1.sqx";
        ASSERT_EQ(Cli({"cable", "create", cbl, "--name", "C24", "--segment", "S1:1-24:5"}).Status, 0);
        ASSERT_EQ(Cli({"generate", "--cable", cbl, "--array", "dd", "--spacing", "5", "--levels", "1-4", "--name",
                       "Line1", "-o", sqx})
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
    EXPECT_THAT(r.Out + r.Err, HasSubstr("Communication stopped"));
}

TEST_F(UsbCli, Family2UploadEndsWithoutAdapter) {
    TCliRun r = Cli({"--home", dir, "upload", "--family", "2", "--device", "usb", sqx});
    EXPECT_EQ(r.Status, ExitFailed);
    EXPECT_THAT(r.Out, HasSubstr(NoUsbAdapterText));
}

TEST_F(UsbCli, ModemListEndsWithoutAdapter) {
    TCliRun r = Cli({"--home", dir, "modem", "--device", "usb", "--dial", "0123456789", "list"});
    EXPECT_EQ(r.Status, ExitFailed);
    EXPECT_THAT(r.Out, HasSubstr(NoUsbAdapterText));
}

}  // namespace
