// The USB link end to end: uploads and the modem listing through TPortUSB over the simulated adapter
// to the virtual instrument, compared byte for byte with the same exchange over a serial
// pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/linktexts.h"
#include "link/portcom.h"
#include "link/portctl.h"
#include "link/portusb.h"
#include "link/ptyinstrument.h"
#include "link/uploadcommands.h"
#include "link/virtualinstrument.h"
#include "tests/link/linktestkit.h"
#include "tests/support/d2xxsim.h"

namespace {

// A small line of 12 electrodes with a few dipole-dipole quadripoles.
TSequence SmallSequence(const std::string& name, int quadripoles) {
    TSequence s;
    s.Name.Set(name);
    s.ArrayType = static_cast<int32_t>(TArrayType::DipoleDipole);
    s.Spacing[0] = 5.0f;
    for (int e = 1; e <= 12; ++e) {
        s.Electrodes[e].Type = static_cast<int16_t>(TElectrodeType::Active);
        s.Electrodes[e].Number = static_cast<int16_t>(e);
        s.Electrodes[e].X = 5.0f * static_cast<float>(e - 1);
        s.Electrodes[e].Y = 0;
        s.Electrodes[e].Z = 0;
    }
    s.NbElectrode = 12;
    s.FirstElectrode = 1;
    s.LastElectrode = 12;
    for (int q = 0; q < quadripoles; ++q) {
        TQuadripole& p = s.Quadripoles[q];
        p.MakeEmpty();
        const int a = 1 + q % 8;
        p.A = static_cast<int16_t>(a);
        p.B = static_cast<int16_t>(a + 1);
        p.M = static_cast<int16_t>(a + 2);
        p.N = static_cast<int16_t>(a + 3);
        p.Level = 1;
    }
    s.NbQuadripole = quadripoles;
    return s;
}

// Both directions of an exchange as the wire saw them.
struct TTranscript {
    Bytes ToInstrument;
    Bytes FromInstrument;
};

// A pseudo-terminal instrument served on its own thread for the life of the object.
class TServedInstrument {
   public:
    explicit TServedInstrument(TVirtualInstrument::TOptions options) : pty_(std::move(options)) {
        thread_ = std::thread([this] { pty_.Run(stop_); });
    }
    ~TServedInstrument() {
        stop_ = true;
        thread_.join();
    }
    const std::string& Path() const { return pty_.Path(); }
    TVirtualInstrument& Instrument() { return pty_.Instrument(); }

   private:
    TPtyInstrument pty_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A tap between a serial link and an instrument: a pseudo-terminal that the link opens, whose bytes
// are copied to and from the instrument's terminal and recorded.
class TSerialTap {
   public:
    explicit TSerialTap(const std::string& instrumentPath) : far_(TFdFarSide::OpenTerminal(instrumentPath)) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            throw std::runtime_error("no pty");
        path_ = ptsname(master_);
        // Keep the slave open so the master does not hang up between the link's opens.
        keep_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY);
        ::fcntl(master_, F_SETFL, O_NONBLOCK);
        thread_ = std::thread([this] { Relay(); });
    }
    ~TSerialTap() {
        stop_ = true;
        thread_.join();
        ::close(keep_);
        ::close(master_);
    }
    const std::string& Path() const { return path_; }
    TTranscript Transcript() {
        std::lock_guard<std::mutex> lock(mutex_);
        return transcript_;
    }

   private:
    void Relay() {
        std::uint8_t buf[512];
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 1) > 0 && (p.revents & POLLIN)) {
                ssize_t n = ::read(master_, buf, sizeof buf);
                if (n > 0) {
                    std::lock_guard<std::mutex> lock(mutex_);
                    transcript_.ToInstrument.insert(transcript_.ToInstrument.end(), buf, buf + n);
                    far_->Accept(buf, static_cast<std::size_t>(n));
                }
            }
            std::size_t got = far_->Deliver(buf, sizeof buf, 0);
            if (got > 0) {
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    transcript_.FromInstrument.insert(transcript_.FromInstrument.end(), buf, buf + got);
                }
                for (std::size_t done = 0; done < got;) {
                    ssize_t w = ::write(master_, buf + done, got - done);
                    if (w > 0)
                        done += static_cast<std::size_t>(w);
                    else
                        ::usleep(500);
                }
            }
        }
    }
    std::unique_ptr<TFdFarSide> far_;
    int master_ = -1;
    int keep_ = -1;
    std::string path_;
    std::mutex mutex_;
    TTranscript transcript_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TVirtualInstrument::TOptions Family2(bool modem = false) {
    TVirtualInstrument::TOptions o;
    o.Family = 2;
    o.Modem = modem;
    o.Stored = {"Line12", "Test"};
    return o;
}

// The USB link over the simulated adapter, the instrument in-process on a manual clock.
struct TUsbBench {
    TTestHost host;
    TManualClock clock;
    TVirtualInstrument instrument;
    Bytes sent;  // everything the instrument answered, read by the program or not
    std::shared_ptr<TD2xxSim> sim;
    TPortUSB link;
    explicit TUsbBench(TVirtualInstrument::TOptions options)
        : instrument(std::move(options)),
          sim(std::make_shared<TD2xxSim>(std::make_shared<TMachineFarSide>(
              clock, [this](std::uint8_t b) { instrument.Feed(b); }, [this] { return Take(); }))),
          link(host, sim, clock) {}
    Bytes Take() {
        Bytes out = instrument.TakeOutput();
        sent.insert(sent.end(), out.begin(), out.end());
        return out;
    }
    TTranscript Transcript() {
        Take();
        return {sim->Written, sent};
    }
};

// The serial link over a real pseudo-terminal, through the tap.
struct TSerialBench {
    TTestHost host;
    TScaledClock clock{5};
    TServedInstrument served;
    TSerialTap tap{served.Path()};
    TPortCOM link{host, clock};
    TSerialBench(TVirtualInstrument::TOptions options, int port) : served(std::move(options)) {
        SetComDevicePath(port, tap.Path());
    }
};

// Where two byte strings first differ, for a readable failure.
std::string FirstDifference(const Bytes& a, const Bytes& b) {
    std::size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    std::string out = "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size()) +
                      ", first difference at " + std::to_string(i) + ":";
    for (std::size_t k = i; k < i + 8 && k < a.size(); ++k) out += " " + std::to_string(a[k]);
    out += " /";
    for (std::size_t k = i; k < i + 8 && k < b.size(); ++k) out += " " + std::to_string(b[k]);
    return out;
}

// What a dialled serial exchange looks like without the modem's part: the program's bytes after the
// dial line, the instrument's after the CONNECT line.
TTranscript WithoutDialling(TTranscript t) {
    const std::string written(t.ToInstrument.begin(), t.ToInstrument.end());
    const std::size_t dial = written.find("ATDT");
    const std::size_t dialEnd = dial == std::string::npos ? std::string::npos : written.find('\n', dial);
    const std::string read(t.FromInstrument.begin(), t.FromInstrument.end());
    const std::size_t connect = read.find("CONNECT");
    const std::size_t connectEnd =
        connect == std::string::npos ? std::string::npos : read.find('\n', connect);
    if (dialEnd == std::string::npos || connectEnd == std::string::npos) return {};
    t.ToInstrument.erase(t.ToInstrument.begin(), t.ToInstrument.begin() + static_cast<long>(dialEnd + 1));
    t.FromInstrument.erase(t.FromInstrument.begin(),
                           t.FromInstrument.begin() + static_cast<long>(connectEnd + 1));
    return t;
}

TEST(UsbInstrument, Family2UploadMatchesTheSerialExchange) {
    std::vector<TSequence> set = {SmallSequence("Line1", 40), SmallSequence("Line2", 3)};

    TUsbBench usb(Family2());
    usb.host.Answers = {true, true};  // the upload question, the cable question
    TScriptUi usbUi;
    usbUi.Answers = {"Line1", "Line2"};
    TUploadOutcome usbOutcome = VarnelTarskOptra(set, usb.link, 5, usbUi);
    EXPECT_EQ(usbOutcome.Stored, 2);
    EXPECT_FALSE(usbOutcome.Failed);
    ASSERT_EQ(usb.instrument.Images().size(), 2u);
    EXPECT_EQ(usb.instrument.Images()[1].Name, "Line2");
    EXPECT_EQ(usb.sim->BaudRate(), 115200u);

    TSerialBench serial(Family2(), 1);
    serial.host.Answers = {true, true};
    TScriptUi serialUi;
    serialUi.Answers = {"Line1", "Line2"};
    TUploadOutcome serialOutcome = VarnelTarskOptra(set, serial.link, 1, serialUi);
    EXPECT_EQ(serialOutcome.Stored, 2);

    const TTranscript u = usb.Transcript();
    const TTranscript s = serial.tap.Transcript();
    EXPECT_GT(u.ToInstrument.size(), 1000u);
    EXPECT_TRUE(u.ToInstrument == s.ToInstrument) << FirstDifference(u.ToInstrument, s.ToInstrument);
    EXPECT_TRUE(u.FromInstrument == s.FromInstrument) << FirstDifference(u.FromInstrument, s.FromInstrument);
    EXPECT_EQ(usb.host.Messages, serial.host.Messages);
}

TEST(UsbInstrument, ModemListingMatchesTheSerialExchange) {
    // Over USB the number is not dialled: the instrument is on the cable.
    TUsbBench usb(Family2(false));
    usb.host.Answers = {true};
    TScriptUi usbUi;
    TModemSession usbSession(usb.link, usbUi);
    ASSERT_TRUE(usbSession.Connect(3, "0123456789"));
    std::vector<std::string> usbLines = usbSession.List();
    EXPECT_EQ(usbLines, (std::vector<std::string>{"001 Line12", "002 Test"}));
    EXPECT_EQ(usb.sim->BaudRate(), static_cast<std::uint32_t>(ModemBaud));

    TSerialBench serial(Family2(true), 3);
    serial.host.Answers = {true};
    TScriptUi serialUi;
    TModemSession serialSession(serial.link, serialUi);
    ASSERT_TRUE(serialSession.Connect(3, "0123456789"));
    std::vector<std::string> serialLines = serialSession.List();
    EXPECT_EQ(serialLines, usbLines);

    const TTranscript u = usb.Transcript();
    const TTranscript s = WithoutDialling(serial.tap.Transcript());
    ASSERT_FALSE(s.ToInstrument.empty());
    EXPECT_TRUE(u.ToInstrument == s.ToInstrument) << FirstDifference(u.ToInstrument, s.ToInstrument);
    EXPECT_TRUE(u.FromInstrument == s.FromInstrument) << FirstDifference(u.FromInstrument, s.FromInstrument);
}

// Family 1 connects again for every sequence: over USB that reopens the adapter each time.
TEST(UsbInstrument, Family1UploadReopensTheAdapterForEachSequence) {
    char pattern[] = "/tmp/teravox-usb-varnel-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string varnel = pattern;
    TVirtualInstrument::TOptions options;
    options.Family = 1;
    TUsbBench usb(options);
    usb.sim->SetRecording(true);
    std::vector<TSequence> set = {SmallSequence("Line1", 5), SmallSequence("Line2", 7)};
    TScriptUi ui;
    ui.Answers = {"Line1", "Line2"};
    usb.host.Answers = {true, true, true, true};  // for each sequence: the cable, then the instrument menu
    TUploadOutcome outcome = VarnelUpLoad(set, usb.link, 5, ui, varnel);
    EXPECT_EQ(outcome.Stored, 2);
    ASSERT_EQ(usb.instrument.Images().size(), 2u);
    EXPECT_EQ(std::count(usb.sim->Calls.begin(), usb.sim->Calls.end(), "Open 0"), 2);
    EXPECT_EQ(std::count(usb.sim->Calls.begin(), usb.sim->Calls.end(), "Close"), 1);
    EXPECT_EQ(usb.sim->BaudRate(), 9600u);
    std::filesystem::remove_all(varnel);
}

// The same family-2 upload with the simulated adapter bridged to the instrument's pseudo-terminal in
// real time, as a real adapter would be.
TEST(UsbInstrument, Family2UploadOverAPseudoTerminalFarSide) {
    TServedInstrument served(Family2());
    TTestHost host;
    TScaledClock clock{5};
    auto sim =
        std::make_shared<TD2xxSim>(std::shared_ptr<TFdFarSide>(TFdFarSide::OpenTerminal(served.Path())));
    TPortUSB link(host, sim, clock);
    std::vector<TSequence> set = {SmallSequence("Line1", 20)};
    host.Answers = {true, true};
    TScriptUi ui;
    ui.Answers = {"Line1"};
    TUploadOutcome outcome = VarnelTarskOptra(set, link, 5, ui);
    EXPECT_EQ(outcome.Stored, 1);
    EXPECT_FALSE(outcome.Failed);
}

}  // namespace
