// Checks against a real FTDI adapter whose TX and RX pins are joined (a loopback plug). Off unless
// TERAVOX_USB_LOOPBACK=1 is set and an adapter is attached.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "link/d2xxftdi.h"
#include "link/portusb.h"
#include "link/usbmonitor.h"
#include "tests/link/linktestkit.h"

namespace {

TEST(UsbHardware, LoopbackEchoesThroughTheAdapter) {
    const char* on = std::getenv("TERAVOX_USB_LOOPBACK");
    if (!on || std::string(on) != "1") GTEST_SKIP() << "set TERAVOX_USB_LOOPBACK=1 with a loopback adapter";
    if (DeviceCount(*SystemD2xx()) == 0) GTEST_SKIP() << "no adapter attached";
    TTestHost host;
    host.Answers = {true};
    TPortUSB link(host, SystemD2xx());
    ASSERT_EQ(link.Connect(1, 115200, 0, "", false, ""), 1);
    link.PurgeInput();
    for (int b : {0x40, 0x00, 0xFF, 0x3A}) {
        link.PutByte(static_cast<unsigned char>(b));
        EXPECT_EQ(link.GetByteTimed(2000), b);
    }
    EXPECT_EQ(link.GetByteTimed(200), -1);
    link.SetBaudRate(9600);
    link.PutByte(0x55);
    EXPECT_EQ(link.GetByteTimed(2000), 0x55);
    link.Disconnect();
    EXPECT_EQ(link.LinkState(), 0);
}

}  // namespace
