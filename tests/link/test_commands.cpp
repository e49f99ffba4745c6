// The upload handlers and the modem session, engine half, against the virtual instrument in memory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "link/instrumentimage.h"
#include "link/linkfactory.h"
#include "link/linktexts.h"
#include "link/uploadcommands.h"
#include "link/virtualinstrument.h"
#include "tests/link/linktestkit.h"

namespace fs = std::filesystem;

namespace {

TSequence Named(const std::string& name, int quadripoles) {
    TSequence s;
    s.Name.Set(name);
    for (int e = 1; e <= 12; ++e)
        s.Electrodes[e] = {static_cast<int16_t>(TElectrodeType::Active), static_cast<int16_t>(e),
                           static_cast<float>(e), 0, 0};
    s.NbElectrode = 12;
    s.FirstElectrode = 1;
    s.LastElectrode = 12;
    for (int i = 0; i < quadripoles; ++i) s.Quadripoles[i] = {1, 2, 3, 4, 0, 1, -1};
    s.NbQuadripole = quadripoles;
    return s;
}

class CommandFixture : public ::testing::Test {
   protected:
    CommandFixture() { ui.StrictAnswers = true; }
    TTestHost host;
    TManualClock clock;
    TMemoryLink link{host, clock};
    TScriptUi ui;
};

TEST_F(CommandFixture, AnEmptySetShowsNothingForEitherFamily) {
    std::vector<TSequence> none;
    VarnelUpLoad(none, link, 1, ui, "/nonexistent");
    VarnelTarskOptra(none, link, 1, ui);
    EXPECT_TRUE(ui.Offered.empty());
    EXPECT_TRUE(host.Questions.empty());
    EXPECT_TRUE(host.Messages.empty());
}

TEST_F(CommandFixture, Family1ThreeInARowOffersOnlyTheSequencesNotYetSent) {
    const fs::path folder = fs::temp_directory_path() / ("teravox-cmd-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::vector<TSequence> set{Named("A", 3), Named("B", 4), Named("C", 5)};
    TVirtualInstrument::TOptions o;
    o.Family = 1;
    TInstrumentPeer peer(link, o);
    link.AskOnConnect = true;
    ui.Answers = {"B", "A", "C"};
    for (int i = 0; i < 6; ++i) host.Answers.push_back(true);  // connect and upload questions
    TUploadOutcome r = VarnelUpLoad(set, link, 1, ui, folder.string());
    EXPECT_EQ(r.Stored, 3);
    EXPECT_FALSE(r.Failed);
    ASSERT_EQ(ui.Offered.size(), 3u);
    EXPECT_EQ(ui.Offered[0], (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(ui.Offered[1], (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(ui.Offered[2], (std::vector<std::string>{"C"}));
    ASSERT_EQ(host.Messages.size(), 6u);
    EXPECT_EQ(host.Messages[1], "B correctly loaded ");
    EXPECT_NE(host.Messages[2].find("A_E12_Q3_#1.ele"), std::string::npos);
    EXPECT_EQ(host.Questions.size(), 6u);
    EXPECT_EQ(peer.Instrument().Images().size(), 3u);
    EXPECT_EQ(ui.PanelOffs, 1);
    fs::remove_all(folder);
}

TEST_F(CommandFixture, Family1CancelAtConnectIsCommunicationStopped) {
    std::vector<TSequence> set{Named("A", 3)};
    link.AskOnConnect = true;
    host.Answers = {false};
    ui.Answers = {"A"};
    TUploadOutcome r = VarnelUpLoad(set, link, 1, ui, "/nonexistent");
    EXPECT_TRUE(r.Stopped());
    EXPECT_EQ(r.Status, TLinkStatus::Refused);
    EXPECT_EQ(host.Messages, std::vector<std::string>{LinkText::CommunicationStopped});
}

// How an upload ended is a status: the words shown stay "Communication stopped" in every case.
TEST_F(CommandFixture, UploadOutcomesSayHowTheyEnded) {
    {
        std::vector<TSequence> set{Named("A", 3)};
        link.FailOpen = true;
        host.Answers = {true};  // the instrument's menu
        TUploadOutcome r = VarnelTarskOptra(set, link, 1, ui);
        EXPECT_EQ(r.Status, TLinkStatus::NoDevice);
        link.FailOpen = false;
    }
    {
        // Not the link: the .ele file cannot be written. Still "Communication stopped", not a stop.
        std::vector<TSequence> set{Named("A", 3)};
        host.Messages.clear();
        host.Answers = {true};  // the instrument's menu
        ui.Answers = {"A"};
        TUploadOutcome r = VarnelUpLoad(set, link, 1, ui, "/nonexistent/folder");
        EXPECT_EQ(r.Status, TLinkStatus::Failed);
        EXPECT_NE(r.Problem.find("/nonexistent/folder"), std::string::npos) << r.Problem;
        EXPECT_EQ(host.Messages, std::vector<std::string>{LinkText::CommunicationStopped});
    }
}

TEST_F(CommandFixture, Family2OffersAtMostAsManyChoicesAsTheSetHadEvenWhenFull) {
    std::vector<TSequence> set{Named("A", 3), Named("B", 3)};
    auto o = Family2();
    for (int i = 0; i < 11; ++i) o.Stored.push_back("S" + std::to_string(i));
    TInstrumentPeer peer(link, o);
    host.Answers = {true};
    ui.Answers = {"A", "B"};
    TUploadOutcome r = VarnelTarskOptra(set, link, 1, ui);
    EXPECT_EQ(r.Stored, 1);
    EXPECT_EQ(r.MemoryFull, 1);
    EXPECT_EQ(host.Messages,
              (std::vector<std::string>{"A correctly loaded  On Memory 12", LinkText::MemoryFull}));
    EXPECT_EQ(ui.Offered.size(), 2u);
    // The end command closes the series.
    EXPECT_EQ(peer.Instrument().Commands(), (std::vector<int>{0xAC, 0xAC, 0x00}));
}

TEST_F(CommandFixture, Family2StopInTheMiddleOfATransferIsCommunicationStopped) {
    std::vector<TSequence> set{Named("Long", 16000)};
    TInstrumentPeer peer(link, Family2());
    host.Answers = {true};
    ui.Answers = {"Long"};
    host.OnEvents = [&] {
        if (peer.Instrument().Log().size() > 60000 && link.IsOpen()) link.Disconnect();
    };
    TUploadOutcome r = VarnelTarskOptra(set, link, 1, ui);
    EXPECT_TRUE(r.Stopped());
    EXPECT_EQ(r.Status, TLinkStatus::Stopped);
    EXPECT_EQ(host.Messages, std::vector<std::string>{LinkText::CommunicationStopped});
    EXPECT_TRUE(peer.Instrument().Images().empty());
    EXPECT_LT(peer.Instrument().Log().size(), 61000u);  // nothing sent after the stop
    EXPECT_EQ(ui.PanelOffs, 1);
    EXPECT_FALSE(host.Busy);
}

// Instruments the upload never gets through to: it gives up, says why, and sends no end command
// into the exchange it left half done.
struct TNeverThroughCase {
    const char* Name;
    int CorruptEvery;       // the instrument spoils every N-th block it receives
    bool GarbleComplement;  // the line garbles the upload command's complement
    std::string Says;
    std::vector<int> Commands;  // accepted by the instrument
};
class NeverThroughCases : public CommandFixture, public ::testing::WithParamInterface<TNeverThroughCase> {};

TEST_P(NeverThroughCases, GiveUpSayingWhy) {
    const TNeverThroughCase& c = GetParam();
    std::vector<TSequence> set{Named("A", 300)};
    auto o = Family2();
    o.CorruptEvery = c.CorruptEvery;
    TVirtualInstrument vi(o);
    bool afterCommand = false;
    link.OnWrite = [&](unsigned char b) {
        if (c.GarbleComplement && afterCommand && b == (0xAC ^ 0xFF)) b = 0x00;
        afterCommand = b == 0xAC;
        vi.Feed(b);
        if (vi.HasOutput()) link.Push(vi.TakeOutput());
    };
    // Whatever still runs long after it should have given up is stopped, so the test fails, not hangs.
    host.OnEvents = [&] {
        if (host.EventTurns > 200000 && link.IsOpen()) link.Disconnect();
    };
    host.Answers = {true};
    ui.Answers = {"A"};
    TUploadOutcome r = VarnelTarskOptra(set, link, 1, ui);
    EXPECT_EQ(r.Status, TLinkStatus::Garbled) << r.Problem;
    EXPECT_EQ(r.Problem, c.Says);
    EXPECT_EQ(host.Messages,
              std::vector<std::string>{std::string(LinkText::CommunicationStopped) + ": " + c.Says});
    EXPECT_EQ(vi.Commands(), c.Commands);
    EXPECT_TRUE(vi.Images().empty());
    EXPECT_FALSE(link.IsOpen());
    EXPECT_FALSE(host.Busy);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, NeverThroughCases,
    ::testing::Values(TNeverThroughCase{"EveryBlockSpoilt",
                                        1,
                                        false,
                                        LinkText::BlockNeverArrived(1, LinkRetry::BlockRetries + 1),
                                        {0xAC}},
                      TNeverThroughCase{"CommandNeverWhole", 0, true, LinkText::UploadRefused, {}}),
    [](const auto& tc) { return std::string(tc.param.Name); });

TEST(RemoteList, ConversionOfTheInstrumentsBuffer) {
    Bytes buffer = Cat({TextBytes("001 Line12"), {0}, TextBytes("X002 Test"), {0}});
    buffer.resize(1024, 0xFF);
    EXPECT_EQ(RemoteListLines(buffer), (std::vector<std::string>{"001 Line12", "002 Test"}));
    // A full buffer without any end stays inside the buffer.
    EXPECT_EQ(RemoteListLines(Bytes(1024, 'a')).at(0).size(), 1024u);
    EXPECT_EQ(RemoteLineNumber("001 Line12"), 1);
    EXPECT_EQ(RemoteLineNumber(" 12abc"), 12);
    EXPECT_EQ(RemoteLineNumber("-1 x"), std::nullopt);
    EXPECT_EQ(RemoteLineNumber("abc"), std::nullopt);
    EXPECT_EQ(RemoteLineNumber(""), std::nullopt);
}

class ModemFixture : public CommandFixture {
   protected:
    void SetUp() override {
        auto o = Family2();
        o.Modem = true;
        o.Stored = {"Line12", "Test"};
        peer = std::make_unique<TInstrumentPeer>(link, o);
    }
    std::unique_ptr<TInstrumentPeer> peer;
};

TEST_F(ModemFixture, ConnectListStartDeleteDisconnect) {
    TModemSession session(link, ui);
    // The in-memory link does not dial; the modem is up already.
    std::string dial = "ATDT0123456789\r\n";
    for (char c : dial) peer->Instrument().Feed(static_cast<unsigned char>(c));
    peer->Instrument().TakeOutput();
    ASSERT_TRUE(session.Connect(2, "0123456789"));
    EXPECT_EQ(host.Messages.back(), LinkText::Connected);

    EXPECT_EQ(session.List(), (std::vector<std::string>{"001 Line12", "002 Test"}));
    ui.Answers = {"001 Line12"};
    EXPECT_TRUE(session.Start());
    EXPECT_EQ(host.Messages.back(), "Start with <001 Line12>");
    EXPECT_EQ(peer->Instrument().Started(), std::vector<int>{1});
    ui.Answers = {"002 Test"};
    EXPECT_TRUE(session.Delete());
    EXPECT_EQ(host.Messages.back(), "<002 Test> deleted");
    EXPECT_EQ(peer->Instrument().Deleted(), std::vector<int>{2});
    ui.Answers = {std::nullopt};
    EXPECT_FALSE(session.Start());  // Cancel ends silently
    session.Disconnect();
    EXPECT_FALSE(session.Connected());
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(peer->Instrument().Commands(),
              (std::vector<int>{0x1C, 0x27, 0x27, 0x25, 0x27, 0x28, 0x27, 0x1B}));
}

TEST_F(ModemFixture, ViewShowsTheListReceivedWithThePanelOff) {
    TModemSession session(link, ui);
    for (char c : std::string("ATDT1\r")) peer->Instrument().Feed(static_cast<unsigned char>(c));
    peer->Instrument().TakeOutput();
    ASSERT_TRUE(session.Connect(2, "1"));
    int panelOffsBefore = ui.PanelOffs;
    session.View();
    ASSERT_FALSE(ui.Offered.empty());
    EXPECT_EQ(ui.Offered.back(), (std::vector<std::string>{"001 Line12", "002 Test"}));
    EXPECT_GT(ui.PanelOffs, panelOffsBefore);
    EXPECT_EQ(session.LastStatus(), TLinkStatus::Ok);
}

TEST_F(ModemFixture, DisconnectAfterAStopDuringViewSendsNothing) {
    TModemSession session(link, ui);
    for (char c : std::string("ATDT1\r")) peer->Instrument().Feed(static_cast<unsigned char>(c));
    peer->Instrument().TakeOutput();
    ASSERT_TRUE(session.Connect(2, "1"));
    // Stop while the list is being received.
    host.OnEvents = [&] {
        if (!peer->Instrument().Commands().empty() && peer->Instrument().Commands().back() == 0x27)
            link.Disconnect();
    };
    const std::size_t shown = host.Messages.size();
    session.View();
    EXPECT_FALSE(link.IsOpen());
    // Without a message, but not unnoticed.
    EXPECT_EQ(host.Messages.size(), shown);
    EXPECT_EQ(session.LastStatus(), TLinkStatus::Stopped);
    host.OnEvents = nullptr;
    link.ClearWritten();
    const int disconnects = link.DisconnectCount;
    session.Disconnect();
    EXPECT_TRUE(link.Written().empty());
    EXPECT_EQ(link.DisconnectCount, disconnects);
    EXPECT_FALSE(session.Connected());
    // "Connect" works again, once the instrument has given up the half-sent list.
    peer->Instrument().Silence();
    EXPECT_TRUE(session.Connect(2, "1"));
    EXPECT_EQ(host.Messages.back(), LinkText::Connected);
}

}  // namespace

namespace {

TEST(CurrentLinkTest, ReplacedUntilConfiguredThenKept) {
    TTestHost host;
    TManualClock clock;
    UsbLinkFactory() = [](TLinkHost& h, TLinkClock& c) -> std::unique_ptr<TPortVirt> {
        return std::make_unique<TMemoryLink>(h, c);
    };
    std::string name;
    ASSERT_NE(ShowPortLink(1, true, host, clock), nullptr);
    EXPECT_EQ(CurrentLink->LinkName(name), "RS232");
    EXPECT_EQ(ShowPortLink(5, false, host, clock)->LinkName(name), "RS232");  // a plug event keeps the link
    EXPECT_EQ(ShowPortLink(5, true, host, clock)->LinkName(name), "Memory");  // never opened: replaced
    CurrentLink->Connect(5, 115200, 0, "", false, "");
    EXPECT_EQ(ShowPortLink(1, true, host, clock)->LinkName(name), "Memory");  // configured: stays
    StopUpLoad();
    EXPECT_FALSE(CurrentLink->IsOpen());
    CurrentLink.reset();
    UsbLinkFactory() = nullptr;
    EXPECT_EQ(ShowPortLink(5, true, host, clock), nullptr);
}

}  // namespace
