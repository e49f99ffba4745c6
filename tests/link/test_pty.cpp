// End to end over a real pseudo-terminal: TPortCOM on one side, the virtual instrument on the other,
// on a clock running ten times faster than real time so that the protocol's pauses cost little.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

#include "cli/cli.h"
#include "link/instrumentimage.h"
#include "link/linktexts.h"
#include "link/portcom.h"
#include "link/portctl.h"
#include "link/ptyinstrument.h"
#include "link/uploadcommands.h"
#include "model/fileio.h"
#include "model/sqxfile.h"
#include "tests/link/linktestkit.h"
#include "tests/link/ptytestkit.h"

namespace fs = std::filesystem;

namespace {

class PtyFixture : public ::testing::Test {
   protected:
    TTestHost host;
    TScaledClock clock{10};
    TPortCOM link{host, clock};
    TScriptUi ui;
    std::unique_ptr<TRunningInstrument> vi;

    void Start(TVirtualInstrument::TOptions o, int port = 1, int wireBaud = 0) {
        o.KeepLog = true;
        vi = std::make_unique<TRunningInstrument>(std::move(o), wireBaud);
        SetComDevicePath(port, vi->Pty().Path());
    }
    void TearDown() override {
        if (vi) vi->Stop();
    }
};

TEST_F(PtyFixture, FirstConnectOnCom3AsksOpensAndSendsNothing) {
    Start(Family2(), 3);
    host.Answers = {true, true};
    EXPECT_EQ(link.Connect(3, 9600, 0, "", false, ""), 3);
    ASSERT_EQ(host.Questions.size(), 1u);
    EXPECT_EQ(
        host.Questions[0],
        "Communication|Connect Serial link < COM 3 > between computer and VARNEL or TARSK click <OK Button>");
    EXPECT_EQ(link.Configured(), 1);
    EXPECT_EQ(link.DsrState(), 0);  // a pseudo-terminal has no modem lines: absent, not an error
    // A later Connect changes the rate, asks again and does not reopen the port.
    link.Disconnect();
    EXPECT_EQ(link.Connect(3, 115200, 0, "", false, ""), 3);
    EXPECT_EQ(link.GetBaudRate(), 115200);
    EXPECT_EQ(host.Questions.size(), 2u);
    vi->Stop();
    EXPECT_TRUE(vi->Instrument().Log().empty());
}

TEST_F(PtyFixture, CancelLeavesStateMinusOneAndAMissingDeviceReturnsZero) {
    host.Answers = {false, true};
    SetComDevicePath(4, "/nonexistent/tty");
    EXPECT_EQ(link.Connect(4, 9600, 0, "", false, ""), 0);
    EXPECT_EQ(link.GetState(), -1);
    EXPECT_EQ(link.Connect(4, 9600, 0, "", false, ""), 0);
    EXPECT_EQ(link.GetState(), 0);
    EXPECT_EQ(link.Configured(), 0);
    EXPECT_NE(link.PortControl().LastError().find("/nonexistent/tty"), std::string::npos);
    // Disconnect on a link that is not open does nothing (and does not pause).
    const auto before = std::chrono::steady_clock::now();
    link.Disconnect();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(20));
}

TEST_F(PtyFixture, ThePortControlKeepsItsSettingsAcrossOpenAndCloseAndReadsNoLinesOnAPty) {
    Start(Family2(), 4);
    TPortCtl control;
    control.SetPortNumber(4);
    control.SetBaudRate(19200);
    control.SetDataBits(7);
    control.SetParity(2);
    control.SetStopBits(2);
    control.SetXonXoff(true);
    control.SetRtsCts(true);
    control.SetDtr(true);
    ASSERT_GT(control.Open(), 0) << control.LastError();
    auto expectSettings = [&](const char* when) {
        EXPECT_EQ(control.PortNumber(), 4) << when;
        EXPECT_EQ(control.BaudRate(), 19200) << when;
        EXPECT_EQ(control.DataBits(), 7) << when;
        EXPECT_EQ(control.Parity(), 2) << when;
        EXPECT_EQ(control.StopBits(), 2) << when;
        EXPECT_TRUE(control.XonXoff()) << when;
        EXPECT_FALSE(control.DtrDsr()) << when;
        EXPECT_TRUE(control.RtsCts()) << when;
        EXPECT_TRUE(control.Dtr()) << when;
        EXPECT_FALSE(control.Rts()) << when;
    };
    expectSettings("open");
    // A pseudo-terminal has no modem lines and no line-status counters: absent, never errors.
    EXPECT_FALSE(control.Dsr());
    for (auto kind : {TPortCtl::TLineError::Break, TPortCtl::TLineError::Framing,
                      TPortCtl::TLineError::Overrun, TPortCtl::TLineError::Parity})
        EXPECT_FALSE(control.LineError(kind));
    EXPECT_EQ(control.RxCount(), 0);
    EXPECT_EQ(control.TxCount(), 0);
    control.Close();
    expectSettings("closed");
    EXPECT_EQ(control.RxCount(), 0);
}

struct TDialCase {
    const char* Name;
    std::string Init;
    std::string Written;
};
class DialCases : public PtyFixture, public ::testing::WithParamInterface<TDialCase> {};

TEST_P(DialCases, WritesTheHayesCommands) {
    auto o = Family2();
    o.Modem = true;
    Start(o, 2);
    host.Answers = {true, true};
    EXPECT_EQ(link.Connect(2, 19200, 0, GetParam().Init, false, "0123456789"), 2);
    // After Disconnect a second Connect only sets the link state; it dials nothing.
    link.Disconnect();
    EXPECT_EQ(link.Connect(2, 19200, 0, GetParam().Init, false, "0123456789"), 2);
    vi->Stop();
    const Bytes& log = vi->Instrument().Log();
    EXPECT_EQ(std::string(log.begin(), log.end()), GetParam().Written);
}

INSTANTIATE_TEST_SUITE_P(Modem, DialCases,
                         ::testing::Values(TDialCase{"NoInit", "", "ATZ\r\nATDT0123456789\r\n"},
                                           TDialCase{"WithInit", "ATE0V1",
                                                     "ATZ\r\nATE0V1\r\nATDT0123456789\r\n"}),
                         [](const auto& tc) { return std::string(tc.param.Name); });

TEST_F(PtyFixture, AModemThatNeverAnswersKeepsConnectWaitingUntilTheStop) {
    TVirtualInstrument::TOptions o = Family2();
    o.Silent = true;
    Start(o, 2);
    host.Answers = {true};
    host.OnEvents = [&] {
        if (host.EventTurns == 200) link.Disconnect();
    };
    EXPECT_EQ(link.Connect(2, 19200, 0, "", false, "5551234"), 0);
    EXPECT_EQ(link.Configured(), 1);
    EXPECT_TRUE(link.PortControl().IsOpen());
}

TEST_F(PtyFixture, Family2UploadWithSpoiltBlocks) {
    auto o = Family2(0x20000003);
    o.CorruptEvery = 4;
    Start(o);
    std::vector<TSequence> set{Numbered("Line12", 48, 600), Numbered("Line13", 64, 1200)};
    host.Answers = {true, true};
    ui.Answers = {"Line12", "Line13"};
    TUploadOutcome r = VarnelTarskOptra(set, link, 1, ui);
    EXPECT_EQ(r.Stored, 2) << r.Problem;
    EXPECT_EQ(host.Messages, (std::vector<std::string>{"Line12 correctly loaded  On Memory 1",
                                                       "Line13 correctly loaded  On Memory 2"}));
    vi->Stop();
    const auto& images = vi->Instrument().Images();
    ASSERT_EQ(images.size(), 2u);
    EXPECT_GT(vi->Instrument().BlocksSpoilt(), 0);
    EXPECT_EQ(images[1].Parts[0], BuildFamily2Header(set[1], 2));
    EXPECT_EQ(images[1].Parts[1], BuildElectrodeTable(set[1], true));
    EXPECT_EQ(images[1].Parts[2], BuildExtraBlock());
    EXPECT_EQ(images[1].Parts[3], BuildQuadripoleTable(set[1]));
    EXPECT_EQ(vi->Instrument().Commands(), (std::vector<int>{0xAC, 0xAC, 0x00}));
}

// Blocks are written whole: an instrument that takes the bytes at the wire's pace still receives
// every image exactly.
TEST_F(PtyFixture, Family2UploadAtTheWireRate) {
    Start(Family2(0x20000003), 1, 115200);
    std::vector<TSequence> set{Numbered("Line12", 48, 700)};
    host.Answers = {true, true};
    ui.Answers = {"Line12"};
    TUploadOutcome r = VarnelTarskOptra(set, link, 1, ui);
    EXPECT_EQ(r.Stored, 1) << r.Problem;
    vi->Stop();
    const auto& images = vi->Instrument().Images();
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].Parts[0], BuildFamily2Header(set[0], 1));
    EXPECT_EQ(images[0].Parts[1], BuildElectrodeTable(set[0], true));
    EXPECT_EQ(images[0].Parts[2], BuildExtraBlock());
    EXPECT_EQ(images[0].Parts[3], BuildQuadripoleTable(set[0]));
}

TEST_F(PtyFixture, Family1Upload) {
    const fs::path folder = fs::temp_directory_path() / ("teravox-pty-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    TVirtualInstrument::TOptions o;
    o.Family = 1;
    Start(o);
    std::vector<TSequence> set{Numbered("Line12", 48, 300)};
    host.Answers = {true, true};
    ui.Answers = {"Line12"};
    TUploadOutcome r = VarnelUpLoad(set, link, 1, ui, folder.string());
    EXPECT_EQ(r.Stored, 1) << r.Problem;
    vi->Stop();
    ASSERT_EQ(vi->Instrument().Images().size(), 1u);
    EXPECT_EQ(vi->Instrument().Images()[0].Parts[1].size(), 300u * 8);
    EXPECT_TRUE(fs::exists(folder / "Line12_E48_Q300_#1.ele"));
    fs::remove_all(folder);
}

TEST_F(PtyFixture, ModemSessionListsStartsAndDisconnects) {
    auto o = Family2();
    o.Modem = true;
    o.Stored = {"Line12", "Test"};
    o.CorruptEvery = 2;  // the list's blocks are spoilt too, and asked for again
    Start(o, 2);
    host.Answers = {true};
    TModemSession session(link, ui);
    ASSERT_TRUE(session.Connect(2, "0123456789"));
    ui.Answers = {"001 Line12"};
    EXPECT_TRUE(session.Start());
    ASSERT_FALSE(ui.Offered.empty());
    EXPECT_EQ(ui.Offered.back(), (std::vector<std::string>{"001 Line12", "002 Test"}));
    session.Disconnect();
    vi->Stop();
    EXPECT_EQ(vi->Instrument().Started(), std::vector<int>{1});
    EXPECT_EQ(host.Messages, (std::vector<std::string>{"Connected", "Start with <001 Line12>"}));
}

TEST_F(PtyFixture, AStopInTheMiddleOfATransferEndsCleanly) {
    Start(Family2());
    std::vector<TSequence> set{Numbered("Long", 200, 16000)};
    host.Answers = {true, true};
    ui.Answers = {"Long"};
    host.OnEvents = [&] {
        if (vi->Pty().BytesIn() > 40000 && link.IsOpen()) link.Disconnect();
    };
    const auto before = std::chrono::steady_clock::now();
    TUploadOutcome r = VarnelTarskOptra(set, link, 1, ui);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10));
    EXPECT_TRUE(r.Stopped());
    EXPECT_EQ(host.Messages, std::vector<std::string>{LinkText::CommunicationStopped});
    EXPECT_FALSE(host.Busy);
    vi->Stop();
    EXPECT_TRUE(vi->Instrument().Images().empty());
    EXPECT_LT(vi->Pty().BytesIn(), 42000u);
}

// The command line against the instrument, in real time (short).
class CliFixture : public ::testing::Test {
   protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("teravox-cli-link-" + std::to_string(::getpid()));
        fs::create_directories(folder);
        TSequence s = Numbered("Line12", 48, 300);
        file = (folder / "Line12.sqx").string();
        WriteSequenceFile(file, s);
    }
    void TearDown() override { fs::remove_all(folder); }
    int Run(std::vector<std::string> args) {
        out.str("");
        err.str("");
        args.insert(args.begin(), {"--home", folder.string()});
        return RunCli(args, out, err);
    }
    fs::path folder;
    std::string file;
    std::ostringstream out, err;
};

TEST_F(CliFixture, UploadFamily2PrintsTheMessagesAndExitsZero) {
    TRunningInstrument vi(Family2());
    EXPECT_EQ(Run({"upload", "--family", "2", "--device", vi.Pty().Path(), file}), 0) << err.str();
    EXPECT_EQ(out.str(), "Line12 correctly loaded  On Memory 1\n");
}

TEST_F(CliFixture, CtrlCOnASilentInstrumentEndsWithCommunicationStopped) {
    auto o = Family2();
    o.Silent = true;
    TRunningInstrument vi(o);
    // Past the connection's one-second pause and a second of identification.
    std::thread stopper([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2600));
        RequestCliStop();
    });
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(Run({"upload", "--family", "2", "--device", vi.Pty().Path(), file}), 1);
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(9));
    // The wait is told once, with the port, before the stop.
    const std::string waiting =
        "Waiting for the instrument to answer on COM 1 (" + vi.Pty().Path() + "); Ctrl-C ends the wait\n";
    const std::string said = err.str();
    ASSERT_NE(said.find(waiting), std::string::npos) << said;
    EXPECT_EQ(said.find(waiting), said.rfind(waiting)) << said;
    EXPECT_LT(said.find(waiting), said.find("Communication stopped")) << said;
}

TEST_F(CliFixture, WrongUsageOfTheLinkCommands) {
    struct TCase {
        std::vector<std::string> Args;
        const char* Says;
    } cases[] = {
        {{"simulate"}, "--family is required"},
        {{"upload", "--family", "2", "--device", "/dev/null", "--baud", "0", file},
         "must be a whole number above 0, not 0"},
        {{"simulate", "--family", "2", "--corrupt-every", "-1"}, "must be a whole number above 0, not -1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(c.Args), 2) << c.Says;
        EXPECT_NE(err.str().find(c.Says), std::string::npos) << err.str();
    }
}

TEST_F(CliFixture, ADeviceThatIsNotThereIsAClearFailure) {
    EXPECT_EQ(Run({"upload", "--family", "1", "--device", (folder / "no-tty").string(), file}), 1);
    EXPECT_NE(err.str().find("no-tty"), std::string::npos) << err.str();
    EXPECT_EQ(Run({"modem", "--device", "/dev/null", "--dial", "1", "start"}), 2);
}

}  // namespace

namespace {

// The same exchange over the in-memory link and over a pseudo-terminal: the program must write the
// same bytes, whatever the medium's timing.
struct TSameCase {
    const char* Name;
    uint32_t Version;
    int Quadripoles;  // 66 make a 528-byte table, 67 a 536-byte one
    int CorruptEvery;
};
class SameBytesCases : public PtyFixture, public ::testing::WithParamInterface<TSameCase> {};

TEST_P(SameBytesCases, MemoryAndPtyCarryTheSameProgramBytes) {
    const TSameCase& c = GetParam();
    auto o = Family2(c.Version);
    o.CorruptEvery = c.CorruptEvery;
    auto exchange = [&](TPortVirt& port, TLinkHost& h) {
        std::vector<TSequence> set{Numbered("Same", 44, c.Quadripoles)};
        TScriptUi chooser;
        chooser.Answers = {"Same"};
        TTestHost& th = static_cast<TTestHost&>(h);
        th.Answers = {true, true};
        return VarnelTarskOptra(set, port, 1, chooser);
    };
    TTestHost memHost;
    TManualClock memClock;
    TMemoryLink mem(memHost, memClock);
    TInstrumentPeer peer(mem, o);
    mem.AskOnConnect = true;
    EXPECT_EQ(exchange(mem, memHost).Stored, 1);

    Start(o);
    EXPECT_EQ(exchange(link, host).Stored, 1);
    vi->Stop();
    EXPECT_EQ(vi->Instrument().Log(), peer.Instrument().Log());
    EXPECT_EQ(vi->Instrument().Images().at(0).Parts, peer.Instrument().Images().at(0).Parts);
}

INSTANTIATE_TEST_SUITE_P(Transports, SameBytesCases,
                         ::testing::Values(TSameCase{"Table528V1", 0x20000001, 66, 0},
                                           TSameCase{"Table536V2", 0x20000002, 67, 0},
                                           TSameCase{"SpoiltV3", 0x20000003, 300, 2}),
                         [](const auto& tc) { return std::string(tc.param.Name); });

TEST_F(CliFixture, ModemListAndStartThroughTheCommandLine) {
    auto o = Family2();
    o.Modem = true;
    o.Stored = {"Line12", "Test"};
    TRunningInstrument vi(o);
    EXPECT_EQ(Run({"modem", "--device", vi.Pty().Path(), "--dial", "0123456789", "list"}), 0) << err.str();
    EXPECT_EQ(out.str(), "Connected\n001 Line12\n002 Test\n");
    EXPECT_EQ(Run({"modem", "--device", vi.Pty().Path(), "--dial", "0123456789", "start", "002 Test"}), 0)
        << err.str();
    EXPECT_EQ(out.str(), "Connected\nStart with <002 Test>\n");
    EXPECT_EQ(Run({"modem", "--device", vi.Pty().Path(), "--dial", "0123456789", "delete", "009 None"}), 1);
    EXPECT_NE(err.str().find("not in the instrument's list"), std::string::npos) << err.str();
    vi.Stop();
    EXPECT_EQ(vi.Instrument().Started(), std::vector<int>{2});
    EXPECT_TRUE(vi.Instrument().Deleted().empty());
}

}  // namespace

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>

namespace {

// `teravox2-cli simulate` as its own process, as a user runs it.
TEST_F(CliFixture, SimulateAnnouncesItsLineStoresEveryImageAndEndsOnSigterm) {
    const fs::path store = folder / "received";
    int pipefd[2];
    ASSERT_EQ(pipe(pipefd), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(pipefd[1], STDOUT_FILENO);
        close(pipefd[0]);
        execl(TERAVOX_CLI_PATH, "teravox2-cli", "simulate", "--family", "2", "--store", store.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipefd[1]);
    std::string first;
    for (char c = 0; c != '\n';) {
        pollfd p{pipefd[0], POLLIN, 0};
        if (poll(&p, 1, 10000) <= 0 || read(pipefd[0], &c, 1) != 1) break;
        first += c;
    }
    const std::string prefix = "Instrument ready on ";
    ASSERT_EQ(first.rfind(prefix, 0), 0u) << first;
    const std::string path = first.substr(prefix.size(), first.size() - prefix.size() - 1);

    const int rc = Run({"upload", "--family", "2", "--device", path, file});
    kill(pid, SIGTERM);
    int status = -1;
    for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) == 0; ++i) usleep(50000);
    if (!WIFEXITED(status)) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    close(pipefd[0]);
    EXPECT_EQ(rc, 0) << err.str();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    TSequence seq;
    ReadSequenceFile(file, seq);
    Bytes expected = Cat({BuildFamily2Header(seq, 1), BuildElectrodeTable(seq, true), BuildExtraBlock(),
                          BuildQuadripoleTable(seq)});
    EXPECT_EQ(ReadWholeFile((store / "image001.bin").string()), expected);
}

}  // namespace

namespace {

// The instrument goes away in the middle of an exchange (its program killed, its cable pulled): the
// pseudo-terminal's far end closes, which leaves our end readable for ever with nothing to read.
struct TVanishCase {
    const char* Name;
    int Family;             // 1, 2; 0 for the modem's list
    uint64_t AfterBytesIn;  // the instrument goes once it has received this many bytes
};
class VanishCases : public PtyFixture, public ::testing::WithParamInterface<TVanishCase> {
   protected:
    bool gone = false;
    long turnsSinceGone = 0;
    bool rescued = false;
    // Lets the instrument vanish once it has taken `after` bytes; a wait that goes on long after it
    // vanished is stopped as the user would, so that the test fails instead of hanging.
    void VanishAfter(uint64_t after) {
        host.OnEvents = [this, after] {
            if (!gone && vi && vi->Pty().BytesIn() >= after) {
                vi.reset();
                gone = true;
            }
            if (gone && ++turnsSinceGone > 20000 && link.IsOpen()) {
                rescued = true;
                link.Disconnect();
            }
        };
    }
};

TEST_P(VanishCases, EndsSayingTheDeviceWentAway) {
    const TVanishCase& c = GetParam();
    const fs::path folder = fs::temp_directory_path() / ("teravox-vanish-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    TVirtualInstrument::TOptions o = Family2();
    if (c.Family == 1) o.Family = 1;
    if (c.Family == 0) {
        o.Modem = true;
        o.Stored = {"Line12"};
    }
    Start(o);
    const std::string wentAway = LinkText::DeviceWentAway("COM 1 (" + vi->Pty().Path() + ")");
    // Family 1 takes at most 1,500 quadripoles.
    std::vector<TSequence> set{Numbered("Line12", 200, c.Family == 1 ? 1200 : 8000)};
    host.Answers = {true, true};
    ui.Answers = {"Line12"};
    TLinkStatus status = TLinkStatus::Ok;
    if (c.Family == 0) {
        TModemSession session(link, ui);
        ASSERT_TRUE(session.Connect(1, "0123456789"));
        VanishAfter(vi->Pty().BytesIn() + c.AfterBytesIn);
        session.View();
        status = session.LastStatus();
    } else {
        VanishAfter(c.AfterBytesIn);
        TUploadOutcome r = c.Family == 1 ? VarnelUpLoad(set, link, 1, ui, folder.string())
                                         : VarnelTarskOptra(set, link, 1, ui);
        status = r.Status;
        EXPECT_EQ(r.Stored, 0);
    }
    fs::remove_all(folder);
    EXPECT_TRUE(gone);
    EXPECT_FALSE(rescued) << "the wait went on after the instrument had gone";
    EXPECT_EQ(status, TLinkStatus::DeviceGone);
    EXPECT_TRUE(link.DeviceGone());
    ASSERT_FALSE(host.Messages.empty());
    EXPECT_EQ(host.Messages.back(), wentAway);
    EXPECT_EQ(std::count(host.Messages.begin(), host.Messages.end(), LinkText::UploadError), 0);
    EXPECT_FALSE(host.Busy);
}

INSTANTIATE_TEST_SUITE_P(Pty, VanishCases,
                         ::testing::Values(TVanishCase{"Family2WhileIdentifying", 2, 1},
                                           TVanishCase{"Family2InTheTransfer", 2, 20000},
                                           TVanishCase{"Family1AwaitingAnAcknowledgement", 1, 2000},
                                           TVanishCase{"ModemList", 0, 0}),
                         [](const auto& tc) { return std::string(tc.param.Name); });

// Each wait of the link, once the device behind an open link has gone: it ends at once, closes the
// link and says why, where before it looked at a line that was always "ready" for ever.
struct TGoneWait {
    const char* Name;
    std::function<void(TPortVirt&)> Wait;
    bool Raises;
};
class GoneWaits : public PtyFixture, public ::testing::WithParamInterface<TGoneWait> {};

TEST_P(GoneWaits, EndAndCloseTheLink) {
    Start(Family2());
    host.Answers = {true};
    ASSERT_EQ(link.Connect(1, 115200, 0, "", false, ""), 1);
    vi.reset();
    // Any wait that outlives the device by this many turns of the event pump is not ending by itself.
    host.OnEvents = [&] {
        if (host.EventTurns > 2000 && link.IsOpen()) link.Disconnect();
    };
    try {
        GetParam().Wait(link);
        EXPECT_FALSE(GetParam().Raises) << "no exception";
    } catch (const TLinkError& e) {
        EXPECT_TRUE(GetParam().Raises) << e.what();
        EXPECT_EQ(e.Status(), TLinkStatus::DeviceGone) << e.what();
    }
    EXPECT_TRUE(link.DeviceGone());
    EXPECT_EQ(link.LinkState(), 0);
    EXPECT_LE(host.EventTurns, 2000);
}

INSTANTIATE_TEST_SUITE_P(
    Pty, GoneWaits,
    ::testing::Values(
        TGoneWait{"WaitByte", [](TPortVirt& l) { l.WaitByte(); }, true},
        TGoneWait{"WaitForText", [](TPortVirt& l) { EXPECT_FALSE(l.WaitForText(":>")); }, false},
        TGoneWait{"GetByteTimed", [](TPortVirt& l) { EXPECT_EQ(l.GetByteTimed(300000), -1); }, false},
        TGoneWait{"ReadLine",
                  [](TPortVirt& l) {
                      std::string line;
                      EXPECT_FALSE(l.ReadLine(line, 40, 15000));
                  },
                  false},
        TGoneWait{"PutByte",
                  [](TPortVirt& l) {
                      for (int i = 0; i < 100000; ++i) l.PutByte(0x40);
                  },
                  true},
        TGoneWait{"SendCommand", [](TPortVirt& l) { l.SendCommand(0xAC, 300000); }, true}),
    [](const auto& tc) { return std::string(tc.param.Name); });

// The device back (here under another name): the next Connect opens the port again instead of
// keeping the dead one, and the upload goes through.
TEST_F(PtyFixture, ConnectAfterTheDeviceWentAwayOpensThePortAgain) {
    Start(Family2());
    host.Answers = {true, true, true, true};
    ASSERT_EQ(link.Connect(1, 115200, 0, "", false, ""), 1);
    vi.reset();
    EXPECT_EQ(link.GetByteTimed(300000), -1);
    ASSERT_TRUE(link.DeviceGone());
    Start(Family2());
    std::vector<TSequence> set{Numbered("Line12", 48, 300)};
    ui.Answers = {"Line12"};
    TUploadOutcome r = VarnelTarskOptra(set, link, 1, ui);
    EXPECT_EQ(r.Stored, 1) << r.Problem;
    EXPECT_FALSE(link.DeviceGone());
}

// `teravox2-cli simulate` killed while `upload` sends it the second of two sequences.
TEST_F(CliFixture, UploadToAKilledSimulatorEndsSayingTheDeviceWentAway) {
    const std::string second = (folder / "Line13.sqx").string();
    WriteSequenceFile(second, Numbered("Line13", 200, 16000));
    int pipefd[2];
    ASSERT_EQ(pipe(pipefd), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(pipefd[1], STDOUT_FILENO);
        close(pipefd[0]);
        execl(TERAVOX_CLI_PATH, "teravox2-cli", "simulate", "--family", "2", "--wire-baud", "115200",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipefd[1]);
    auto readLine = [&](int waitMs) {
        std::string line;
        for (char c = 0; c != '\n';) {
            pollfd p{pipefd[0], POLLIN, 0};
            if (poll(&p, 1, waitMs) <= 0 || read(pipefd[0], &c, 1) != 1) break;
            line += c;
        }
        return line;
    };
    const std::string first = readLine(10000);
    const std::string prefix = "Instrument ready on ";
    ASSERT_EQ(first.rfind(prefix, 0), 0u) << first;
    const std::string path = first.substr(prefix.size(), first.size() - prefix.size() - 1);

    // Killed once it has the first image; should the upload still run well after that, it is stopped
    // as with Ctrl-C, so that the test fails instead of hanging.
    std::atomic<bool> ended{false};
    std::string received;
    std::thread killer([&] {
        received = readLine(60000);
        kill(pid, SIGKILL);
        for (int i = 0; i < 200 && !ended.load(); ++i) usleep(50000);
        if (!ended.load()) RequestCliStop();
    });
    const int rc = Run({"upload", "--family", "2", "--device", path, file, second});
    ended = true;
    killer.join();
    int status = 0;
    waitpid(pid, &status, 0);
    close(pipefd[0]);
    EXPECT_EQ(received, "Received \"Line12\" on memory 1\n");
    EXPECT_EQ(rc, 1);
    const std::string gone = LinkText::DeviceWentAway("COM 1 (" + path + ")");
    // The failure is the last word on stderr (a slow machine may have told the prompt's wait before).
    const std::string said = err.str();
    ASSERT_GE(said.size(), gone.size() + 1) << said;
    EXPECT_EQ(said.substr(said.size() - gone.size() - 1), gone + "\n") << said;
    EXPECT_EQ(out.str(), "Line12 correctly loaded  On Memory 1\n" + gone + "\n");
}

}  // namespace

namespace {

// `simulate --corrupt-every 1`: the upload gives up on its own and says why.
TEST_F(CliFixture, UploadToAnInstrumentThatSpoilsEveryBlockGivesUpSayingWhy) {
    auto o = Family2();
    o.CorruptEvery = 1;
    TRunningInstrument vi(o);
    EXPECT_EQ(Run({"upload", "--family", "2", "--device", vi.Pty().Path(), file}), 1);
    const std::string why = std::string(LinkText::CommunicationStopped) + ": " +
                            LinkText::BlockNeverArrived(1, LinkRetry::BlockRetries + 1);
    EXPECT_EQ(out.str(), why + "\n");
    EXPECT_EQ(err.str(), why + "\n");
    vi.Stop();
    EXPECT_EQ(vi.Instrument().BlocksSpoilt(), LinkRetry::BlockRetries + 1);
    // No end command into the transfer it left half done.
    EXPECT_EQ(vi.Instrument().Commands(), std::vector<int>{0xAC});
}

}  // namespace

#include <dirent.h>
#include <fcntl.h>

namespace {

// A stop while the serial link opens the port and holds its lines down for a second: the opening ends
// at once, sends nothing and leaves the port to be configured again.
TEST_F(PtyFixture, AStopWhileConnectingCancelsTheOpening) {
    Start(Family2());
    host.Answers = {true, true};
    host.OnEvents = [&] { link.StopOpening(); };
    const int64_t start = clock.NowMs();
    EXPECT_EQ(link.Connect(1, 115200, 0, "", false, ""), 0);
    EXPECT_LT(clock.NowMs() - start, 1000);
    EXPECT_EQ(link.OpenStatus(), TLinkStatus::Stopped);
    EXPECT_EQ(link.LinkState(), -1);
    EXPECT_EQ(link.Configured(), 0);
    host.OnEvents = nullptr;
    EXPECT_EQ(link.Connect(1, 115200, 0, "", false, ""), 1);
    vi->Stop();
    EXPECT_TRUE(vi->Instrument().Log().empty());
}

// How many descriptors of this process have `path` open.
int OpenCount(const std::string& path) {
    DIR* d = opendir("/proc/self/fd");
    if (!d) return 0;
    int found = 0;
    while (dirent* e = readdir(d)) {
        char target[256] = {};
        const std::string link = std::string("/proc/self/fd/") + e->d_name;
        const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0 && path == std::string(target, static_cast<std::size_t>(n))) ++found;
    }
    closedir(d);
    return found;
}

// Ctrl-C once the command line has opened the port, while it still holds the lines down: it ends
// with "Communication stopped" alone, without trying to identify the instrument first.
TEST_F(CliFixture, CtrlCWhileConnectingEndsBeforeIdentifying) {
    TRunningInstrument vi(Family2());
    const std::string path = vi.Pty().Path();
    std::atomic<bool> ended{false};
    // The instrument holds its end open too; the command line's opening adds one.
    const int before = OpenCount(path);
    std::thread stopper([&] {
        while (!ended.load() && OpenCount(path) <= before) usleep(500);
        RequestCliStop();
    });
    const int rc = Run({"upload", "--family", "2", "--device", path, file});
    ended = true;
    stopper.join();
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), std::string(LinkText::CommunicationStopped) + "\n");
    vi.Stop();
    EXPECT_TRUE(vi.Instrument().Log().empty());
}

// SIGTERM ends an upload as Ctrl-C does: the link is closed and the command says so, exit 1.
class StopSignalCases : public CliFixture, public ::testing::WithParamInterface<int> {};

TEST_P(StopSignalCases, EndTheUploadWithCommunicationStopped) {
    auto o = Family2();
    o.Silent = true;
    TRunningInstrument vi(o);
    int errPipe[2];
    ASSERT_EQ(pipe(errPipe), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(errPipe[1], STDERR_FILENO);
        close(errPipe[0]);
        const int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, STDOUT_FILENO);
        execl(TERAVOX_CLI_PATH, "teravox2-cli", "--home", folder.c_str(), "upload", "--family", "2",
              "--device", vi.Pty().Path().c_str(), file.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(errPipe[1]);
    // Signalled once it tells that it waits for the instrument: well inside the exchange.
    std::string said;
    for (char c = 0; said.find("Ctrl-C ends the wait\n") == std::string::npos;) {
        pollfd p{errPipe[0], POLLIN, 0};
        if (poll(&p, 1, 20000) <= 0 || read(errPipe[0], &c, 1) != 1) break;
        said += c;
    }
    kill(pid, GetParam());
    for (char c = 0;;) {
        pollfd p{errPipe[0], POLLIN, 0};
        if (poll(&p, 1, 20000) <= 0 || read(errPipe[0], &c, 1) != 1) break;
        said += c;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(errPipe[0]);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string stopped = std::string(LinkText::CommunicationStopped) + "\n";
    ASSERT_GE(said.size(), stopped.size()) << said;
    EXPECT_EQ(said.substr(said.size() - stopped.size()), stopped) << said;
}

INSTANTIATE_TEST_SUITE_P(Cli, StopSignalCases, ::testing::Values(SIGINT, SIGTERM), [](const auto& tc) {
    return std::string(tc.param == SIGINT ? "Sigint" : "Sigterm");
});

}  // namespace

namespace {

// The modem's commands through the command line, when the instrument goes away after dialling or
// spoils every block it sends: exit 1 with the reason, where `modem list` used to wait for ever (or,
// having caught a stop, print nothing and exit 0).
struct TModemEndCase {
    const char* Name;
    int CorruptEvery;
    uint64_t VanishAfterBytes;  // 0 = stays
    std::function<std::string(const std::string& path)> Says;
};
class ModemEndCases : public CliFixture, public ::testing::WithParamInterface<TModemEndCase> {};

TEST_P(ModemEndCases, EndWithTheReason) {
    const TModemEndCase& c = GetParam();
    auto o = Family2();
    o.Modem = true;
    o.Stored = {"Line12", "Test"};
    o.CorruptEvery = c.CorruptEvery;
    auto vi = std::make_unique<TRunningInstrument>(o);
    const std::string path = vi->Pty().Path();
    std::atomic<bool> ended{false};
    std::thread vanisher([&] {
        while (!ended.load() && (c.VanishAfterBytes == 0 || vi->Pty().BytesIn() < c.VanishAfterBytes))
            usleep(200);
        if (c.VanishAfterBytes != 0 && !ended.load()) vi.reset();
        // A command still running well after that is stopped, so that the test fails, not hangs.
        for (int i = 0; i < 200 && !ended.load(); ++i) usleep(50000);
        if (!ended.load()) RequestCliStop();
    });
    const int rc = Run({"modem", "--device", path, "--dial", "0123456789", "list"});
    ended = true;
    vanisher.join();
    EXPECT_EQ(rc, 1);
    const std::string says = c.Says(path) + "\n";
    const std::string said = err.str();
    ASSERT_GE(said.size(), says.size()) << said;
    EXPECT_EQ(said.substr(said.size() - says.size()), says) << said;
}

INSTANTIATE_TEST_SUITE_P(Cli, ModemEndCases,
                         ::testing::Values(
                             // Gone once it has the dialling and the identification byte.
                             TModemEndCase{"DeviceGoneAfterDialling", 0, 22,
                                           [](const std::string& path) {
                                               return LinkText::DeviceWentAway("COM 1 (" + path + ")");
                                           }},
                             TModemEndCase{"EveryBlockSpoilt", 1, 0,
                                           [](const std::string&) {
                                               return std::string(LinkText::CommunicationStopped) + ": " +
                                                      LinkText::BlockCameSpoilt(1,
                                                                                LinkRetry::BlockRetries + 1);
                                           }}),
                         [](const auto& tc) { return std::string(tc.param.Name); });

}  // namespace
