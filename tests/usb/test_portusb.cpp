#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "link/blockprotocol.h"
#include "link/linktexts.h"
#include "link/portusb.h"
#include "link/uploadcommands.h"
#include "tests/link/linktestkit.h"
#include "tests/support/d2xxsim.h"
#include "tests/usb/scriptedfarside.h"

namespace {

using ::testing::ElementsAre;

const std::string Question = std::string("Communication|") + TPortUSB::ConnectQuestion;

struct UsbFixture : ::testing::Test {
    TTestHost host;
    TManualClock clock;
    std::shared_ptr<TScriptedFarSide> far = std::make_shared<TScriptedFarSide>(clock);
    std::shared_ptr<TD2xxSim> sim = std::make_shared<TD2xxSim>(far);
    TPortUSB link{host, sim, clock};

    UsbFixture() { sim->SetRecording(true); }
    int32_t Open(int32_t port = 3, int32_t baud = 9600) {
        host.Answers.push_back(true);
        int32_t r = link.Connect(port, baud, 0, "", false, "");
        sim->Calls.clear();
        host.EventTurns = 0;  // the tests count the turns of what follows
        return r;
    }
    std::vector<std::string> TimeoutCalls() const {
        std::vector<std::string> out;
        for (const std::string& c : sim->Calls)
            if (c.rfind("SetTimeouts", 0) == 0) out.push_back(c);
        return out;
    }
};

TEST_F(UsbFixture, WithoutAdapterTheQuestionComesBackUntilCancel) {
    sim->SetAttached(0);
    host.Answers = {true, true, true, false};
    EXPECT_EQ(link.Connect(1, 9600, 0, "", false, ""), 0);
    EXPECT_THAT(host.Questions, ElementsAre(Question, Question, Question, Question));
    EXPECT_EQ(link.LinkState(), -1);
    EXPECT_EQ(link.Configured(), 0);
    EXPECT_EQ(std::count(sim->Calls.begin(), sim->Calls.end(), "Open 0"), 0);
}

// The user plugs the cable in after the second question.
TEST_F(UsbFixture, PluggingInWhileAskedOpensTheAdapter) {
    sim->SetAttached(0);
    struct TPluggingHost : TTestHost {
        TD2xxSim* Sim = nullptr;
        bool Ask(const std::string& title, const std::string& text, TButtons b) override {
            bool a = TTestHost::Ask(title, text, b);
            if (Questions.size() == 3) Sim->SetAttached(1);
            return a;
        }
    } plugging;
    plugging.Sim = sim.get();
    plugging.Answers = {true, true, true};
    TPortUSB usb(plugging, sim, clock);
    EXPECT_EQ(usb.Connect(2, 9600, 0, "", false, ""), 2);
    EXPECT_EQ(plugging.Questions.size(), 3u);
    EXPECT_TRUE(sim->IsOpen());
}

TEST_F(UsbFixture, ConnectOpensTheFirstAdapterAndSetsItUp) {
    host.Answers = {true};
    const int64_t start = clock.NowMs();
    EXPECT_EQ(link.Connect(3, 9600, 0, "", false, ""), 3);
    EXPECT_THAT(sim->Calls, ElementsAre("ListDevices", "Open 0", "ClrDtr", "ClrRts", "SetBaudRate 9600",
                                        "SetTimeouts 500 500", "SetDtr", "SetRts", "SetLatencyTimer 2"));
    EXPECT_EQ(clock.NowMs() - start, 1000 + 400);
    EXPECT_EQ(link.LinkState(), 3);
    EXPECT_EQ(link.Configured(), 1);
    EXPECT_EQ(link.GetBaudRate(), 9600);
    EXPECT_EQ(link.DtrOn, 1);
    EXPECT_EQ(link.RtsOn, 1);
    EXPECT_TRUE(sim->Dtr());
    EXPECT_TRUE(sim->Written.empty());
}

// A stop while Connect pauses (Ctrl-C at the command line, the window closing) cancels the opening
// at once instead of after the pauses; the next Connect opens normally.
struct TStopWhileOpening {
    const char* Name;
    long AtTurn;       // the event-pump turn at which the stop comes
    int64_t PausedMs;  // the link's clock time Connect took
};
class StopWhileOpeningCases : public UsbFixture, public ::testing::WithParamInterface<TStopWhileOpening> {};

TEST_P(StopWhileOpeningCases, CancelsTheOpening) {
    host.Answers = {true, true};
    host.OnEvents = [&] {
        if (host.EventTurns == GetParam().AtTurn) {
            if (link.IsOpen())
                link.Disconnect();
            else
                link.StopOpening();
        }
    };
    const int64_t start = clock.NowMs();
    EXPECT_EQ(link.Connect(3, 9600, 0, "", false, ""), 0);
    EXPECT_EQ(link.OpenStatus(), TLinkStatus::Stopped);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(clock.NowMs() - start, GetParam().PausedMs);
    EXPECT_TRUE(sim->Written.empty());
    host.OnEvents = nullptr;
    EXPECT_EQ(link.Connect(3, 9600, 0, "", false, ""), 3);
}

INSTANTIATE_TEST_SUITE_P(Usb, StopWhileOpeningCases,
                         // 20 slices of 50 ms make the first pause; the stop at turn 21 comes in the 400 ms
                         // after it, with the link already open, and is a Disconnect with its own second.
                         ::testing::Values(TStopWhileOpening{"InTheFirstPause", 1, TPortVirt::WaitSliceMs},
                                           TStopWhileOpening{"InTheLastPause", 21,
                                                             1000 + TPortVirt::WaitSliceMs + 1000}),
                         [](const auto& tc) { return std::string(tc.param.Name); });

// The window closing while the link connects: the stop reaches the opening too.
TEST_F(UsbFixture, StopUpLoadWhileConnectingCancelsTheOpening) {
    auto own = std::make_unique<TPortUSB>(host, sim, clock);
    TPortUSB& usb = *own;
    CurrentLink = std::move(own);
    host.Answers = {true};
    host.OnEvents = [] { StopUpLoad(); };
    EXPECT_EQ(usb.Connect(2, 9600, 0, "", false, ""), 0);
    EXPECT_EQ(usb.OpenStatus(), TLinkStatus::Stopped);
    CurrentLink.reset();
}

TEST_F(UsbFixture, ModemConnectIgnoresThePhoneNumber) {
    host.Answers = {true};
    EXPECT_EQ(link.Connect(3, 19200, 0, "AT&F", false, "0123456789"), 3);
    EXPECT_TRUE(sim->Written.empty());
    EXPECT_EQ(sim->BaudRate(), 19200u);
    EXPECT_TRUE(host.Messages.empty());
}

TEST_F(UsbFixture, AdapterThatCannotBeOpenedFailsAfterThePause) {
    sim->SetOpenFails(true);
    host.Answers = {true};
    const int64_t start = clock.NowMs();
    EXPECT_EQ(link.Connect(1, 9600, 0, "", false, ""), 0);
    EXPECT_EQ(link.LinkState(), -1);
    EXPECT_EQ(link.Configured(), 0);
    EXPECT_EQ(clock.NowMs() - start, 1000);
}

TEST_F(UsbFixture, DisconnectOnAClosedLinkDoesNothing) {
    link.Disconnect();
    EXPECT_TRUE(sim->Calls.empty());
    EXPECT_EQ(clock.NowMs(), 0);
    Open();
    link.Disconnect();
    sim->Calls.clear();
    link.Disconnect();
    EXPECT_TRUE(sim->Calls.empty());
}

TEST_F(UsbFixture, DisconnectDropsTheLinesPausesAndCloses) {
    Open();
    const int64_t start = clock.NowMs();
    link.Disconnect();
    EXPECT_THAT(sim->Calls, ElementsAre("ClrDtr", "ClrRts", "Close"));
    EXPECT_EQ(clock.NowMs() - start, 1000);
    EXPECT_EQ(link.LinkState(), 0);
    EXPECT_EQ(link.Configured(), 1);
    EXPECT_FALSE(sim->IsOpen());
}

TEST_F(UsbFixture, ASecondConnectClosesTheAdapterFirst) {
    Open();
    host.Answers = {true};
    EXPECT_EQ(link.Connect(3, 115200, 0, "", false, ""), 3);
    ASSERT_FALSE(sim->Calls.empty());
    EXPECT_EQ(sim->Calls.front(), "Close");
    EXPECT_EQ(sim->BaudRate(), 115200u);
}

TEST_F(UsbFixture, CancelAfterAnOpenLinkLeavesItClosed) {
    Open();
    host.Answers = {false};
    EXPECT_EQ(link.Connect(3, 9600, 0, "", false, ""), 0);
    EXPECT_EQ(link.LinkState(), -1);
    EXPECT_FALSE(sim->IsOpen());
}

TEST_F(UsbFixture, GetByteTimedTimesOutWithTheWriteTimeOutAt500) {
    Open();
    const int64_t start = clock.NowMs();
    EXPECT_EQ(link.GetByteTimed(5000), -1);
    EXPECT_EQ(clock.NowMs() - start, 5000);
    EXPECT_THAT(TimeoutCalls(), ElementsAre("SetTimeouts 5000 500"));
    // A stalled exchange still lets events run: the stop button works inside the wait.
    EXPECT_GE(host.EventTurns, 5000 / TPortVirt::WaitSliceMs - 1);
}

TEST_F(UsbFixture, EveryTimeOutKeepsTheWriteTimeOutAt500) {
    Open();
    link.GetByteTimed(100);
    link.SendCommand(0x27, 200);
    unsigned char buf[4];
    link.ReadBlockTimed(buf, 4, 3000);
    std::vector<std::string> calls = TimeoutCalls();
    ASSERT_FALSE(calls.empty());
    for (const std::string& c : calls) EXPECT_THAT(c, ::testing::EndsWith(" 500"));
    EXPECT_EQ(sim->WriteTimeoutMs(), 500u);
}

TEST_F(UsbFixture, GetByteTimedReturnsAByteAsSoonAsItComes) {
    Open();
    far->Queue({0x40, 0x41});
    const int64_t start = clock.NowMs();
    EXPECT_EQ(link.GetByteTimed(5000), 0x40);
    EXPECT_EQ(link.GetByteNow(), 0x41);
    EXPECT_EQ(link.GetByteNow(), -1);  // within the 5,000 ms still in force
    EXPECT_EQ(clock.NowMs() - start, 5000);
}

TEST_F(UsbFixture, ReadBlockTimedGivesWhatCame) {
    Open();
    far->Queue({1, 2});
    unsigned char buf[4] = {};
    EXPECT_EQ(link.ReadBlockTimed(buf, 4, 3000), 2);
    EXPECT_EQ(buf[1], 2);
}

TEST_F(UsbFixture, StopInsideALongWaitEndsIt) {
    Open();
    host.OnEvents = [&] {
        if (host.EventTurns == 3) link.Disconnect();
    };
    const int64_t start = clock.NowMs();
    EXPECT_EQ(link.GetByteTimed(300000), -1);
    EXPECT_LT(clock.NowMs() - start, 2000);
}

TEST_F(UsbFixture, PrimitivesOnAClosedLinkAnswerMinusOneAndSettersDoNothing) {
    unsigned char buf[2];
    EXPECT_EQ(link.TryPutByte(1), -1);
    EXPECT_EQ(link.ReadBlockTimed(buf, 2, 100), -1);
    EXPECT_EQ(link.GetByteTimed(100), -1);
    EXPECT_EQ(link.GetByteNow(), -1);
    EXPECT_EQ(link.InputCount(), -1);
    EXPECT_EQ(link.OutputCount(), -1);
    link.SetBaudRate(19200);
    link.SetLineSettings(TLineSettings{7, 2, 2, TLineSettings::TFlow::XonXoff});
    link.SetDtr(true);
    link.SetRts(true);
    link.PurgeOutput();
    EXPECT_TRUE(sim->Calls.empty());
    EXPECT_EQ(link.GetBaudRate(), 0);
    EXPECT_EQ(link.WordLength, 8);
    EXPECT_EQ(link.XonXoffOn, 0);
    EXPECT_THROW(link.WaitPrompt(), TLinkError);
    EXPECT_THROW(link.PutByte(1), TLinkError);
}

TEST_F(UsbFixture, DataCharacteristicsAndFlowControl) {
    using TFlow = TLineSettings::TFlow;
    Open();
    link.SetLineSettings(TLineSettings{7, 3, 2, TFlow::XonXoff});
    EXPECT_EQ(link.WordLength, 7);
    EXPECT_EQ(link.StopBitsCode, 2);
    EXPECT_EQ(link.ParityCode, 3);
    EXPECT_EQ(link.XonXoffOn, 1);
    EXPECT_EQ(link.NoFlowControl, 0);
    // Codes outside the adapter's tables are none, 8 data bits and 1 stop bit; the flow controls
    // exclude one another.
    link.SetLineSettings(TLineSettings{9, 9, 1, TFlow::DtrDsr});
    EXPECT_EQ(link.WordLength, 8);
    EXPECT_EQ(link.StopBitsCode, 0);
    EXPECT_EQ(link.ParityCode, 0);
    EXPECT_EQ(link.XonXoffOn, 0);
    EXPECT_EQ(link.DtrDsrOn, 1);
    link.SetLineSettings(TLineSettings{8, 0, 1, TFlow::RtsCts});
    EXPECT_EQ(link.DtrDsrOn, 0);
    EXPECT_EQ(link.RtsCtsOn, 1);
    link.SetLineSettings(TLineSettings{});
    EXPECT_EQ(link.RtsCtsOn, 0);
    EXPECT_EQ(link.NoFlowControl, 1);
    EXPECT_THAT(sim->Calls, ElementsAre("SetDataCharacteristics 7 2 3", "SetFlowControl 1024 17 19",
                                        "SetDataCharacteristics 8 0 0", "SetFlowControl 512 0 0",
                                        "SetDataCharacteristics 8 0 0", "SetFlowControl 256 0 0",
                                        "SetDataCharacteristics 8 0 0", "SetFlowControl 0 0 0"));
}

TEST_F(UsbFixture, LinesLatencyModemStatusAndNames) {
    Open();
    link.SetDtr(false);
    link.SetRts(false);
    EXPECT_EQ(link.DtrOn, 0);
    EXPECT_FALSE(sim->Rts());
    link.SetLatency(0x110);
    EXPECT_EQ(sim->LatencyMs(), 0x10);
    EXPECT_EQ(link.DsrState(), 1);
    far->Modem = D2xxModemCts;
    EXPECT_EQ(link.DsrState(), 0);
    EXPECT_EQ(link.MaxBaudRate(), 273000);
    std::string name;
    EXPECT_EQ(link.LinkName(name), "USB");
}

TEST_F(UsbFixture, FailedWriteIsRetriedByPutByte) {
    Open();
    sim->SetWriteFailures(2);
    EXPECT_EQ(link.TryPutByte(0x55), -1);
    link.PutByte(0x55);
    EXPECT_EQ(far->Received, Bytes({0x55}));
}

// A cable pulled out during an exchange: every write fails, and PutByte gives up on its own after
// MaxFailingMs instead of trying until the stop button closes the link.
TEST_F(UsbFixture, UnpluggedAdapterEndsTheExchangeWithoutAStop) {
    Open();
    sim->SetAttached(0);
    bool stopNeeded = false;
    host.OnEvents = [&] {
        if (host.EventTurns == 5000) {
            stopNeeded = true;
            link.Disconnect();
        }
    };
    const int64_t start = clock.NowMs();
    try {
        link.PutByte(0x40);
        FAIL() << "no exception";
    } catch (const TLinkError& e) {
        EXPECT_STREQ(e.what(), LinkText::PortErrPutcom);
    }
    EXPECT_FALSE(stopNeeded);
    EXPECT_GE(clock.NowMs() - start, TPortVirt::MaxFailingMs);
    EXPECT_LT(clock.NowMs() - start, 2000);
    EXPECT_TRUE(far->Received.empty());
    link.Disconnect();
    EXPECT_EQ(link.LinkState(), 0);
}

// The cable pulled out while the link waits for the instrument: every look at the adapter fails,
// and the wait ends on its own after MaxFailingMs, closing the link, instead of looking for ever.
struct TUnpluggedWait {
    const char* Name;
    std::function<void(TPortVirt&)> Wait;
    const char* Raises;  // the exception's text, or none
};
class UnpluggedWaits : public UsbFixture, public ::testing::WithParamInterface<TUnpluggedWait> {};

TEST_P(UnpluggedWaits, EndWithoutAStop) {
    Open();
    sim->SetAttached(0);
    host.OnEvents = [&] {
        if (host.EventTurns == 5000) link.Disconnect();
    };
    const int64_t start = clock.NowMs();
    try {
        GetParam().Wait(link);
        EXPECT_EQ(GetParam().Raises, nullptr) << "no exception";
    } catch (const TLinkError& e) {
        ASSERT_NE(GetParam().Raises, nullptr) << e.what();
        EXPECT_STREQ(e.what(), GetParam().Raises);
        EXPECT_EQ(e.Status(), TLinkStatus::DeviceGone);
    }
    EXPECT_LT(host.EventTurns, 5000) << "only the stop ended the wait";
    EXPECT_TRUE(link.DeviceGone());
    EXPECT_EQ(link.LinkState(), 0);
    EXPECT_GE(clock.NowMs() - start, TPortVirt::MaxFailingMs);
    EXPECT_LT(clock.NowMs() - start, 2000);
    // Plugged in again: the next Connect opens it as new.
    sim->SetAttached(1);
    EXPECT_EQ(Open(), 3);
    EXPECT_FALSE(link.DeviceGone());
}

INSTANTIATE_TEST_SUITE_P(
    Usb, UnpluggedWaits,
    ::testing::Values(
        TUnpluggedWait{"WaitByte", [](TPortVirt& l) { l.WaitByte(); }, LinkText::PortErrGetcom},
        TUnpluggedWait{"WaitForText", [](TPortVirt& l) { l.WaitForText(":>"); }, LinkText::WaitError},
        TUnpluggedWait{"GetByteTimed", [](TPortVirt& l) { EXPECT_EQ(l.GetByteTimed(300000), -1); }, nullptr},
        TUnpluggedWait{"ReceiveStream", [](TPortVirt& l) { TBlockProtocol(l).ReceiveStream(nullptr); },
                       LinkText::PortErrPutcom}),
    [](const auto& tc) { return std::string(tc.param.Name); });

TEST_F(UsbFixture, PurgesReachTheAdapter) {
    Open();
    far->Queue({1, 2, 3});
    EXPECT_EQ(link.InputCount(), 3);
    link.PurgeInput();
    link.PurgeOutput();
    EXPECT_EQ(link.InputCount(), 0);
    EXPECT_THAT(sim->Calls, ElementsAre("Purge 1", "Purge 2"));
    EXPECT_EQ(link.OutputCount(), 0);
}

TEST_F(UsbFixture, WaitForTextRaisesWaitErrorWhenTheLinkCloses) {
    Open();
    far->Queue(TextBytes("abc"));
    host.OnEvents = [&] { link.Disconnect(); };
    try {
        link.WaitPrompt();
        FAIL() << "no exception";
    } catch (const TLinkError& e) {
        EXPECT_STREQ(e.what(), LinkText::WaitError);
    }
}

TEST_F(UsbFixture, WaitForTextFindsThePrompt) {
    Open();
    far->Queue(TextBytes("menu\r\n:>"));
    EXPECT_TRUE(link.WaitPrompt());
}

TEST_F(UsbFixture, SendCommandGivesUpWithoutTheSyncEcho) {
    Open();
    EXPECT_FALSE(link.SendCommand(0x27, 200));
    EXPECT_EQ(std::count(far->Received.begin(), far->Received.end(), 0x40), 22);
    EXPECT_EQ(std::count(far->Received.begin(), far->Received.end(), 0x27), 0);
}

TEST_F(UsbFixture, SendCommandStopsAfterSixWritesOfTheCommand) {
    Open();
    far->SetReply([](std::uint8_t b, std::uint32_t) -> Bytes {
        if (b == 0x40) return {0x40};
        if (b == (0x27 ^ 0xFF)) return {0xFF};
        return {};
    });
    EXPECT_FALSE(link.SendCommand(0x27, 200));
    EXPECT_EQ(std::count(far->Received.begin(), far->Received.end(), 0x27), 6);
}

TEST_F(UsbFixture, SendCommandAccepted) {
    Open();
    far->SetReply([](std::uint8_t b, std::uint32_t) -> Bytes {
        if (b == 0x40) return {0x40};
        if (b == (0x27 ^ 0xFF)) return {0x27};
        return {};
    });
    EXPECT_TRUE(link.SendCommand(0x27, 2000));
    EXPECT_EQ(far->Received, Bytes({0x40, 0x27, 0xD8}));
}

// The instrument stays silent for 20 synchronisation bytes, takes the escape command, and answers the
// next attempt: the adapter is back at the rate given to Connect.
TEST_F(UsbFixture, IdentifyRestoresTheRateAfterItsFallBack) {
    Open(3, 9600);
    int syncs = 0;
    bool escaped = false;
    far->SetReply([&](std::uint8_t b, std::uint32_t baud) -> Bytes {
        if (b == 0x40) {
            ++syncs;
            if (syncs <= 20) return {};
            if (!escaped) return {0x40};
            return Cat({{0x40}, TextBytes("V2.1\r\n"), TextBytes("Optra\r\n")});
        }
        if (b == (0x1B ^ 0xFF) && baud == 9600) {
            escaped = true;
            return {0x1B};
        }
        return {};
    });
    std::string text1, text2;
    EXPECT_TRUE(link.Identify(text1, text2));
    EXPECT_EQ(text2, "V2.1");
    EXPECT_EQ(text1, "Optra");
    EXPECT_THAT(far->BaudChanges, ElementsAre(9600u, 115200u, 9600u));
    EXPECT_EQ(link.GetBaudRate(), 9600);
    EXPECT_EQ(sim->BaudRate(), 9600u);
}

TEST_F(UsbFixture, IdentifyFailsWhenItsEscapeIsRefused) {
    Open(3, 9600);
    EXPECT_FALSE(link.SendCommand(0x1B, 10));  // warm-up: a silent instrument
    std::string text1, text2;
    const int64_t start = clock.NowMs();
    EXPECT_FALSE(link.Identify(text1, text2));
    // 20 attempts of 100 ms plus a 2,000 ms wait each, then the escape's 22 sync bytes of 2,000 ms.
    EXPECT_GE(clock.NowMs() - start, 20 * 2100 + 22 * 2000);
    EXPECT_EQ(link.GetBaudRate(), 9600);
    EXPECT_TRUE(host.Messages.empty());
}

TEST_F(UsbFixture, IdentifyShowsUnknownBaudrateWhenTheLinkCloses) {
    Open(3, 9600);
    host.OnEvents = [&] {
        if (host.EventTurns == 10) link.Disconnect();
    };
    std::string text1, text2;
    EXPECT_FALSE(link.Identify(text1, text2));
    EXPECT_THAT(host.Messages, ElementsAre(LinkText::UnknownBaudrate));
}

}  // namespace
