// The composite operations of the link over an in-memory link: lines, prompt, the command handshake,
// identification, and how every wait ends when the link is closed from the event pump.
#include <gtest/gtest.h>

#include "link/linktexts.h"
#include "tests/link/linktestkit.h"

namespace {

using CompositeFixture = TLinkFixture;

struct TLineCase {
    const char* Name;
    std::string Input;
    bool Result;
    std::string Text;
    std::size_t Left;  // bytes still waiting afterwards
};
class ReadLineCases : public TLinkFixture, public ::testing::WithParamInterface<TLineCase> {};

TEST_P(ReadLineCases, ReadsOneLine) {
    const TLineCase& c = GetParam();
    link.Push(TextBytes(c.Input));
    std::string text = "old";
    EXPECT_EQ(link.ReadLine(text, 40, 15000), c.Result);
    EXPECT_EQ(text, c.Text);
    EXPECT_EQ(link.Pending(), c.Left);
}

INSTANTIATE_TEST_SUITE_P(Lines, ReadLineCases,
                         ::testing::Values(TLineCase{"EndsAtLf", "ABC\nDEF", true, "ABC", 3},
                                           TLineCase{"DropsCr", "A\rB\r\n", true, "AB", 0},
                                           TLineCase{"StopsAfter40Bytes", std::string(45, 'x'), true,
                                                     std::string(40, 'x'), 5},
                                           TLineCase{"CrCountsTowardsTheMaximum",
                                                     [] {
                                                         std::string s;
                                                         for (int i = 0; i < 21; ++i) s += "y\r";
                                                         return s;
                                                     }(),
                                                     true, std::string(20, 'y'), 2},
                                           TLineCase{"TimeOutEmptiesTheText", "ABC", false, "", 0}),
                         [](const auto& tc) { return std::string(tc.param.Name); });

TEST_F(CompositeFixture, ReadLineOnAClosedLinkRaises) {
    link.Disconnect();
    std::string t;
    EXPECT_THROW(link.ReadLine(t, 40, 100), TLinkError);
}

TEST_F(CompositeFixture, WaitForTextFindsTheTextInGarbageAndLeavesTheRest) {
    link.Push(TextBytes("\x01garbage:x:>rest"));
    EXPECT_TRUE(link.WaitPrompt());
    EXPECT_EQ(link.Pending(), 4u);
}

TEST_F(CompositeFixture, WaitForTextEndsWhenTheLinkIsClosedFromTheEventPump) {
    host.OnEvents = [&] {
        if (host.EventTurns == 50) link.Disconnect();
    };
    link.Push(TextBytes(std::string(10000, 'z')));  // a flood of garbage cannot hold off the stop
    EXPECT_FALSE(link.WaitForText("never"));
    link.EmulatedVariant = TPortVirt::TVariant::Usb;
    link.Connect(1, 115200, 0, "", false, "");
    host.EventTurns = 0;
    try {
        link.WaitForText("never");
        FAIL() << "no exception";
    } catch (const TLinkError& e) {
        EXPECT_STREQ(e.what(), LinkText::WaitError);
    }
}

// SendCommand: the instrument's answers to the sync bytes and command pairs.
struct TCommandCase {
    const char* Name;
    TPortVirt::TVariant Variant;
    int SyncAnswers;           // how many sync bytes go unanswered before the echo (99 = never)
    std::vector<int> Answers;  // answers to successive command pairs; -1 = none
    bool Result;
    int SyncBytes;     // sync bytes written
    int CommandPairs;  // command pairs written
};
class SendCommandCases : public TLinkFixture, public ::testing::WithParamInterface<TCommandCase> {};

TEST_P(SendCommandCases, Handshake) {
    const TCommandCase& c = GetParam();
    link.EmulatedVariant = c.Variant;
    int syncs = 0, pairs = 0;
    std::size_t answer = 0;
    bool second = false;
    link.OnWrite = [&](unsigned char b) {
        if (b == 0x40) {
            if (++syncs > c.SyncAnswers) link.Push(0x40);
            return;
        }
        if (!second) {
            EXPECT_EQ(b, 0x27);
            second = true;
            return;
        }
        EXPECT_EQ(b, 0x27 ^ 0xFF);
        second = false;
        ++pairs;
        int a = answer < c.Answers.size() ? c.Answers[answer++] : 0x27;
        if (a >= 0) link.Push(static_cast<unsigned char>(a));
        if (pairs > 20) link.Disconnect();  // a runaway repeat ends the test, not the suite
    };
    EXPECT_EQ(link.SendCommand(0x27, 2000), c.Result);
    EXPECT_EQ(syncs, c.SyncBytes);
    EXPECT_EQ(pairs, c.CommandPairs);
    EXPECT_FALSE(host.Busy);
}

using V = TPortVirt::TVariant;
INSTANTIATE_TEST_SUITE_P(
    Commands, SendCommandCases,
    ::testing::Values(
        TCommandCase{"Accepted", V::Serial, 0, {0x27}, true, 1, 1},
        TCommandCase{"RepeatedOn0xFF", V::Serial, 0, {0xFF, 0xFF, 0x27}, true, 1, 3},
        TCommandCase{"RepeatedOnSilence", V::Serial, 0, {-1, 0x27}, true, 1, 2},
        TCommandCase{"OtherAnswerIsFalse", V::Serial, 0, {0x12}, false, 1, 1},
        // Refusals in a row end it on serial too; a silence between them starts the count again.
        TCommandCase{"SerialGivesUpAfter10Refusals", V::Serial, 0, std::vector<int>(12, 0xFF), false, 1, 10},
        TCommandCase{"SerialCountsRefusalsInARow",
                     V::Serial,
                     0,
                     {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, -1, 0xFF, 0xFF, 0x27},
                     true,
                     1,
                     13},
        TCommandCase{"SyncEchoAfterThreeTries", V::Serial, 3, {0x27}, true, 4, 1},
        TCommandCase{"SerialGoesOnAfter22SilentSyncs", V::Serial, 99, {0x27}, true, 22, 1},
        TCommandCase{"UsbGivesUpWithoutSyncIn20", V::Usb, 20, {}, false, 21, 0},
        TCommandCase{
            "UsbStopsAfter6Commands", V::Usb, 0, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x27}, false, 1, 6}),
    [](const auto& tc) { return std::string(tc.param.Name); });

TEST_F(CompositeFixture, SendCommandOnAClosedLinkRaisesAndRestoresTheCursor) {
    link.Disconnect();
    try {
        link.SendCommand(0x27, 2000);
        FAIL() << "no exception";
    } catch (const TLinkError& e) {
        EXPECT_STREQ(e.what(), LinkText::PortErrSetcmd);
    }
    EXPECT_FALSE(host.Busy);
}

TEST_F(CompositeFixture, CommandAtPromptSendsNothingWhenThePromptNeverComes) {
    host.OnEvents = [&] {
        if (host.EventTurns == 10) link.Disconnect();
    };
    EXPECT_FALSE(link.CommandAtPrompt(0x00, 300000));
    EXPECT_TRUE(link.Written().empty());
}

TEST_F(CompositeFixture, IdentifyReadsTheSecondLineFirst) {
    link.OnWrite = [&](unsigned char b) {
        if (b == 0x40) link.Push(Cat({{0x40}, TextBytes("first\r\nsecond\r\n")}));
    };
    std::string t1, t2;
    EXPECT_TRUE(link.Identify(t1, t2));
    EXPECT_EQ(t2, "first");
    EXPECT_EQ(t1, "second");
}

TEST_F(CompositeFixture, IdentifySkipsTheEchoOfAnAttemptWithALineStatusError) {
    link.LineStatusErrors = 1;
    int syncs = 0;
    link.OnWrite = [&](unsigned char b) {
        if (b == 0x40 && ++syncs >= 1) link.Push(Cat({{0x40}, TextBytes("a\nb\n")}));
    };
    std::string t1, t2;
    EXPECT_TRUE(link.Identify(t1, t2));
    EXPECT_EQ(syncs, 2);  // the first echo was discarded with the error
}

struct TIdentifyCase {
    const char* Name;
    TPortVirt::TVariant Variant;
    int Fallback;
};
class IdentifySilentCases : public TLinkFixture, public ::testing::WithParamInterface<TIdentifyCase> {};

// A silent instrument: the fall-back rate from attempt 11, then at attempt 20 the first rate again
// with an escape command, over and over until the link is closed.
TEST_P(IdentifySilentCases, FallsBackAtAttempt11AndEscapesAt20) {
    const TIdentifyCase& c = GetParam();
    link.EmulatedVariant = c.Variant;
    std::vector<std::pair<int, int>> writes;  // (byte, baud at the time)
    int escapes = 0;
    bool inCommand = false;
    link.OnWrite = [&](unsigned char b) {
        writes.push_back({b, link.GetBaudRate()});
        // The instrument ignores identification but takes an escape command.
        if (b == 0x40 && inCommand) link.Push(0x40);
        if (b == 0x1B) {
            ++escapes;
        }
        if (b == (0x1B ^ 0xFF)) {
            link.Push(0x1B);
            if (escapes == 2) link.Disconnect();
        }
    };
    // The escape command's sync is answered only once Identify is inside SendCommand: after 20 attempts.
    int attempts = 0;
    link.OnWrite = [&, inner = link.OnWrite](unsigned char b) mutable {
        if (b == 0x40 && !inCommand && ++attempts == 21) inCommand = true;
        inner(b);
        if (b == (0x1B ^ 0xFF)) {
            inCommand = false;
            attempts = 0;
        }
    };
    std::string t1, t2;
    EXPECT_FALSE(link.Identify(t1, t2));
    ASSERT_EQ(host.Messages.size(), 1u);
    EXPECT_EQ(host.Messages[0], LinkText::UnknownBaudrate);
    // The host heard once that the link waits for the instrument, and where; then that it is over.
    ASSERT_EQ(host.Waits.size(), 2u);
    EXPECT_EQ(host.Waits[0].Kind, TLinkWait::TKind::Identification);
    EXPECT_EQ(host.Waits[0].Port, "Memory");
    EXPECT_EQ(LinkText::WaitText(host.Waits[0]), "Waiting for the instrument to answer on Memory");
    EXPECT_EQ(host.Waits[1].Kind, TLinkWait::TKind::None);
    // The first cycle: attempt 11 switches the rate once its own byte is out, so 11 syncs go at
    // 115200 and 9 at the fall-back; then the escape command at 115200.
    ASSERT_GE(writes.size(), 24u);
    for (int i = 0; i < 11; ++i) EXPECT_EQ(writes[static_cast<std::size_t>(i)].second, 115200) << i;
    for (int i = 11; i < 20; ++i) EXPECT_EQ(writes[static_cast<std::size_t>(i)].second, c.Fallback) << i;
    EXPECT_EQ(writes[20], std::make_pair(0x40, 115200));  // the escape command's own sync
    EXPECT_EQ(writes[21], std::make_pair(0x1B, 115200));
    EXPECT_EQ(writes[22], std::make_pair(0x1B ^ 0xFF, 115200));
    EXPECT_EQ(writes[23].second, 115200);  // the second cycle starts at the first rate
    EXPECT_EQ(escapes, 2);
    EXPECT_EQ(link.BaudHistory.back(), 115200);
}

INSTANTIATE_TEST_SUITE_P(Identify, IdentifySilentCases,
                         ::testing::Values(TIdentifyCase{"Serial", V::Serial, 38400},
                                           TIdentifyCase{"Usb", V::Usb, 115200}),
                         [](const auto& tc) { return std::string(tc.param.Name); });

TEST_F(CompositeFixture, WaitsOnAClosedLinkRaiseTheirOwnTexts) {
    link.Disconnect();
    auto text = [](auto&& f) {
        try {
            f();
        } catch (const TLinkError& e) {
            return std::string(e.what());
        }
        return std::string("none");
    };
    EXPECT_EQ(text([&] { link.WaitByte(); }), LinkText::PortErrGetcom);
    EXPECT_EQ(text([&] { link.PutByte(1); }), LinkText::PortErrPutcom);
    unsigned char b[4];
    EXPECT_EQ(text([&] { link.ReadBytesTimed(b, 4, 10); }), LinkText::PortErrGetcom);
    EXPECT_EQ(link.GetByteTimed(10), -1);
    EXPECT_EQ(link.InputCount(), -1);
}

TEST_F(CompositeFixture, AStopInsideWaitByteEndsItWithPortErrGetcom) {
    host.OnEvents = [&] {
        if (host.EventTurns == 1000) link.Disconnect();
    };
    EXPECT_THROW(link.WaitByte(), TLinkError);
    EXPECT_EQ(host.EventTurns, 1000);
}

TEST_F(CompositeFixture, TimedReadsEndEarlyWhenTheLinkCloses) {
    host.OnEvents = [&] {
        if (host.EventTurns == 3) link.Disconnect();
    };
    const int64_t before = clock.NowMs();
    EXPECT_EQ(link.GetByteTimed(300000), -1);
    EXPECT_LT(clock.NowMs() - before, 1000);
}

TEST_F(CompositeFixture, ReadBytesTimedStopsAtTheFirstTimeOut) {
    link.Push({1, 2});
    unsigned char b[4] = {};
    EXPECT_EQ(link.ReadBytesTimed(b, 4, 100), 2);
    EXPECT_EQ(b[1], 2);
}

TEST_F(CompositeFixture, ConfiguredStaysOnceSet) {
    EXPECT_EQ(link.Configured(), 1);
    link.Disconnect();
    EXPECT_EQ(link.GetState(), 0);
    EXPECT_EQ(link.Configured(), 1);
    link.SetState(-1);
    EXPECT_EQ(link.Configured(), 1);
    EXPECT_EQ(TBlockProtocol::ByteSum(reinterpret_cast<const unsigned char*>("\xFF\xFF\x02"), 3), 0x200);
}

}  // namespace
