// upload, modem, simulate: talking to an instrument (or being one) from the command line.
#include <CLI/CLI.hpp>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <memory>
#include <ostream>
#include <set>

#include "cli/cli.h"
#include "link/linkfactory.h"
#include "link/linktexts.h"
#include "link/portcom.h"
#include "link/portusb.h"
#include "link/ptyinstrument.h"
#include "link/uploadcommands.h"
#include "model/datafolder.h"
#include "model/fileio.h"
#include "model/sqxfile.h"

namespace {

// Set by SIGINT and SIGTERM (and by RequestCliStop); the host's event pump turns it into a stop.
std::atomic<bool> StopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnStopSignal(int) { StopRequested.store(true); }

// Installs the stop handler for SIGINT and SIGTERM for the life of a command and restores the previous
// ones afterwards. A terminating signal (a service manager, kill) ends an exchange as Ctrl-C does: the
// link is closed properly and the command says so, instead of dying in the middle of it.
class TStopSignal {
   public:
    TStopSignal() {
        StopRequested.store(false);
        struct sigaction sa {};
        sa.sa_handler = OnStopSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0;  // no SA_RESTART: a blocking wait returns at once and the pump sees the stop
        sigaction(SIGINT, &sa, &oldInt_);
        sigaction(SIGTERM, &sa, &oldTerm_);
    }
    ~TStopSignal() {
        sigaction(SIGINT, &oldInt_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
    }
    TStopSignal(const TStopSignal&) = delete;
    TStopSignal& operator=(const TStopSignal&) = delete;

   private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

// The command line as the link's host: messages one a line on stdout, every question answered OK, and
// Ctrl-C (or SIGTERM) closing the link as the stop button does. A wait without a time-out that lasts
// is told once on stderr; a prompt answer does not clutter a script's output.
class TCliHost : public TLinkHost {
   public:
    TCliHost(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}
    TPortVirt* Link = nullptr;
    bool Stopped = false;

    void ProcessEvents() override {
        if (StopRequested.load() && Link) {
            if (Link->IsOpen()) {
                Stopped = true;
                Link->Disconnect();
            } else {
                // Still connecting: the opening ends at its next pause instead of after it.
                Link->StopOpening();
            }
        }
        if (StopRequested.load()) Stopped = true;
        if (!waitText_.empty() && !waitTold_ && SystemClock().NowMs() - waitSince_ >= TellWaitAfterMs) {
            err_ << Shown(waitText_) << "; Ctrl-C ends the wait" << std::endl;
            waitTold_ = true;
        }
    }
    void Waiting(const TLinkWait& wait) override {
        waitText_ = LinkText::WaitText(wait);
        waitSince_ = SystemClock().NowMs();
        waitTold_ = false;
    }
    void SetBusyCursor(bool) override {}
    void ShowMessage(const std::string& text) override { out_ << Shown(text) << std::endl; }
    bool Ask(const std::string&, const std::string&, TButtons) override {
        // A stop before the link is open cancels the connection instead.
        return !StopRequested.load();
    }

   private:
    // A wait shorter than this is an instrument answering normally.
    static constexpr int64_t TellWaitAfterMs = 1000;
    std::ostream& out_;
    std::ostream& err_;
    std::string waitText_;
    int64_t waitSince_ = 0;
    bool waitTold_ = false;
};

// The chooser answers the command line's choices in order; the panel is not shown.
class TCliUi : public TRemoteUi {
   public:
    explicit TCliUi(std::ostream& out) : out_(out) {}
    std::deque<std::string> Choices;
    bool Missing = false;  // a wanted line was not offered

    std::optional<std::string> ChooseLine(const std::vector<std::string>& lines, bool viewOnly) override {
        if (viewOnly) {
            for (const std::string& l : lines) out_ << Shown(l) << "\n";
            out_ << std::flush;
            return std::nullopt;
        }
        if (Choices.empty()) return std::nullopt;
        std::string want = Choices.front();
        Choices.pop_front();
        for (const std::string& l : lines)
            if (l == want) return l;
        Missing = true;
        return std::nullopt;
    }
    void PanelOn(int) override {}
    void PanelOff() override {}
    TProgressIndicator* Progress() override { return &progress_; }

   private:
    std::ostream& out_;
    TProgressIndicator progress_;
};

// A serial link whose connection rate can be set from the command line.
class TCliPortCOM : public TPortCOM {
   public:
    TCliPortCOM(TLinkHost& host, int baud) : TPortCOM(host), baud_(baud) {}
    int32_t Connect(int32_t port, int32_t baud, int32_t byteDelay, const std::string& modemInit, bool waitDsr,
                    const std::string& phone) override {
        return TPortCOM::Connect(port, baud_ > 0 ? baud_ : baud, byteDelay, modemInit, waitDsr, phone);
    }

   private:
    int baud_;
};

// Port number the command line gives to a serial device: it becomes "Com 1".
constexpr int CliComPort = 1;

std::unique_ptr<TPortVirt> MakeLink(const std::string& device, int baud, TCliHost& host) {
    if (device == "usb") {
        InstallUsbLinkFactory(TNoAdapter::Cancel);  // nobody at a command line can plug a cable in
        if (!UsbLinkFactory()) throw TCliFailure("usb: this build has no USB link");
        return UsbLinkFactory()(host, SystemClock());
    }
    SetComDevicePath(CliComPort, device);
    return std::make_unique<TCliPortCOM>(host, baud);
}

// Why a link did not open, when it says: the serial port's error, or that no USB adapter is attached.
std::string OpenProblem(TPortVirt& link) {
    if (auto* com = dynamic_cast<TPortCOM*>(&link)) return com->PortControl().LastError();
    if (!link.Configured() && link.OpenStatus() == TLinkStatus::NoDevice) return NoUsbAdapterText;
    return "";
}

struct TUploadArgs {
    int Family = 0;
    std::string Device;
    int Baud = 0;
    std::vector<std::string> Files;
};

void RunUpload(TCliContext& ctx, const TUploadArgs& a) {
    std::vector<TSequence> set;
    std::set<std::string> names;
    set.reserve(a.Files.size());
    for (const std::string& f : a.Files) {
        set.emplace_back();
        ReadSequenceFile(f, set.back());
        if (!names.insert(set.back().Name.Get()).second)
            throw TCliUsage(f + ": a second sequence named \"" + set.back().Name.Get() + "\"");
    }
    TStopSignal stop;
    TCliHost host(ctx.Out, ctx.Err);
    TCliUi ui(ctx.Out);
    for (const TSequence& s : set) ui.Choices.push_back(s.Name.Get());
    // The adapter's rate is the command's own; a rate given for it would silently not be used.
    if (a.Device == "usb" && a.Baud != 0) throw TCliUsage("--baud applies to serial devices, not to usb");
    std::unique_ptr<TPortVirt> link = MakeLink(a.Device, a.Baud, host);
    host.Link = link.get();

    TUploadOutcome outcome;
    try {
        if (a.Family == 1) {
            const std::string varnel = JoinPath(ctx.DataFolder(), "Varnel");
            MakeFolders(varnel);
            outcome = VarnelUpLoad(set, *link, CliComPort, ui, varnel);
        } else {
            outcome = VarnelTarskOptra(set, *link, CliComPort, ui);
        }
    } catch (const TLinkError& e) {
        // The end command on a closed USB link raises; after a stop that is still just the stop, and
        // a link that never opened says why.
        if (host.Stopped) throw TCliFailure(LinkText::CommunicationStopped);
        if (link->DeviceGone()) throw TCliFailure(LinkText::DeviceWentAway(link->PortText()));
        if (const std::string problem = OpenProblem(*link); !problem.empty()) throw TCliFailure(problem);
        throw TCliFailure(std::string(LinkText::CommunicationStopped) + ": " + e.what());
    }
    const bool neverOpened = !link->Configured();
    const std::string problem = OpenProblem(*link);
    if (link->IsOpen()) link->Disconnect();
    if (host.Stopped) throw TCliFailure(LinkText::CommunicationStopped);
    if (neverOpened && !problem.empty()) throw TCliFailure(problem);
    if (outcome.Status == TLinkStatus::DeviceGone)
        throw TCliFailure(LinkText::DeviceWentAway(link->PortText()));
    if (outcome.Stopped()) {
        throw TCliFailure(std::string(LinkText::CommunicationStopped) +
                          (outcome.Problem.empty() ? "" : ": " + outcome.Problem));
    }
    if (outcome.Stored != static_cast<int>(set.size()))
        throw TCliFailure("upload: " + std::to_string(set.size() - static_cast<std::size_t>(outcome.Stored)) +
                          " of " + std::to_string(set.size()) + " sequences not stored");
}

struct TModemArgs {
    std::string Device;
    std::string Dial;
    std::string Init;
    std::string Action;
    std::string Line;
};

void RunModem(TCliContext& ctx, const TModemArgs& a) {
    if (a.Action != "list" && a.Line.empty()) throw TCliUsage("modem " + a.Action + ": LINE is required");
    if (a.Action == "list" && !a.Line.empty()) throw TCliUsage("modem list takes no LINE");
    TStopSignal stop;
    TCliHost host(ctx.Out, ctx.Err);
    TCliUi ui(ctx.Out);
    std::unique_ptr<TPortVirt> link = MakeLink(a.Device, 0, host);
    host.Link = link.get();
    TModemSession session(*link, ui);
    if (!session.Connect(CliComPort, a.Dial, a.Init)) {
        const std::string problem = OpenProblem(*link);
        if (link->IsOpen()) link->Disconnect();
        if (host.Stopped) throw TCliFailure(LinkText::CommunicationStopped);
        if (session.LastStatus() == TLinkStatus::DeviceGone)
            throw TCliFailure(LinkText::DeviceWentAway(link->PortText()));
        if (session.LastStatus() == TLinkStatus::Garbled)
            throw TCliFailure(std::string(LinkText::CommunicationStopped) + ": " + session.LastProblem());
        throw TCliFailure(problem.empty() ? "modem: no connection to " + a.Dial + " on " + a.Device
                                          : problem);
    }
    bool ok = true;
    if (a.Action == "list") {
        session.View();
    } else {
        ui.Choices.push_back(a.Line);
        ok = a.Action == "start" ? session.Start() : session.Delete();
    }
    const bool stoppedBefore = host.Stopped;
    const TLinkStatus ended = session.LastStatus();
    const std::string problem = session.LastProblem();
    session.Disconnect();
    if (stoppedBefore || host.Stopped) throw TCliFailure(LinkText::CommunicationStopped);
    if (ended == TLinkStatus::DeviceGone) throw TCliFailure(LinkText::DeviceWentAway(link->PortText()));
    if (ended == TLinkStatus::Garbled)
        throw TCliFailure(std::string(LinkText::CommunicationStopped) + ": " + problem);
    if (ui.Missing)
        throw TCliFailure("modem " + a.Action + ": \"" + a.Line + "\" is not in the instrument's list");
    if (!ok)
        throw TCliFailure("modem " + a.Action + ": \"" + a.Line + "\" was not " +
                          (a.Action == "start" ? "started" : "deleted"));
}

struct TSimulateArgs {
    int Family = 2;
    std::string Version = "20000003";
    bool Modem = false;
    std::string Store;
    int WireBaud = 0;
    int CorruptEvery = 0;
    bool Silent = false;
    bool Refuse = false;
};

void RunSimulate(TCliContext& ctx, const TSimulateArgs& a) {
    TVirtualInstrument::TOptions o;
    o.Family = a.Family;
    char* end = nullptr;
    std::string hex =
        a.Version.rfind("0x", 0) == 0 || a.Version.rfind("0X", 0) == 0 ? a.Version.substr(2) : a.Version;
    unsigned long v = std::strtoul(hex.c_str(), &end, 16);
    if (hex.empty() || *end != '\0' || v > 0xFFFFFFFFul)
        throw TCliUsage("--version: \"" + a.Version + "\" is not a hexadecimal number");
    o.Version = static_cast<uint32_t>(v);
    o.Modem = a.Modem;
    o.StoreDir = a.Store;
    if (!o.StoreDir.empty()) MakeFolders(o.StoreDir);
    o.CorruptEvery = a.CorruptEvery;
    o.Silent = a.Silent;
    o.Refuse = a.Refuse;
    TStopSignal stop;
    TPtyInstrument pty(o, a.WireBaud);
    pty.Instrument().OnProblem = [&ctx](const std::string& p) { ctx.Err << Shown(p) << std::endl; };
    pty.Instrument().OnImage = [&ctx](const TVirtualInstrument::TImage& im) {
        ctx.Out << "Received \"" << Shown(im.Name) << "\"";
        if (im.Family == 2) ctx.Out << " on memory " << im.Memory;
        ctx.Out << std::endl;
    };
    ctx.Out << "Instrument ready on " << pty.Path() << std::endl;
    pty.Run(StopRequested);
}

}  // namespace

void RequestCliStop() { StopRequested.store(true); }

namespace {
// CLI11's own positive check words its range with the largest double.
const CLI::Validator PositiveWhole{[](const std::string& text) -> std::string {
                                       try {
                                           std::size_t used = 0;
                                           const long v = std::stol(text, &used);
                                           if (used == text.size() && v > 0) return "";
                                       } catch (const std::exception&) {
                                       }
                                       return "must be a whole number above 0, not " + text;
                                   },
                                   "POSITIVE"};
}  // namespace

void AddLinkCommands(CLI::App& app, TCliContext& ctx) {
    auto up = std::make_shared<TUploadArgs>();
    auto* u = app.add_subcommand("upload", "Upload sequences to an instrument");
    u->add_option("--family", up->Family, "1 = Varnel Zenda,Z1,Z2; 2 = Varnel Optra, Tarsk Optra")
        ->required()
        ->check(CLI::IsMember({1, 2}));
    u->add_option("--device", up->Device, "Serial device (port, USB-serial port, pseudo-terminal) or usb")
        ->required();
    u->add_option("--baud", up->Baud, "Connection rate (default 9600 for family 1, 115200 for family 2)")
        ->check(PositiveWhole);
    u->add_option("files", up->Files, "Sequence files (.sqx), uploaded in this order")->required();
    u->callback([up, &ctx] { RunUpload(ctx, *up); });

    auto mo = std::make_shared<TModemArgs>();
    auto* m =
        app.add_subcommand("modem", "List, start or delete the sequences of an instrument behind a modem");
    m->add_option("--device", mo->Device, "Serial device of the modem, or usb")->required();
    m->add_option("--dial", mo->Dial, "Phone number")->required();
    m->add_option("--init", mo->Init, "Modem initialisation string");
    m->add_option("action", mo->Action, "list, start or delete")
        ->required()
        ->check(CLI::IsMember({"list", "start", "delete"}));
    m->add_option("line", mo->Line, "A line exactly as list prints it, e.g. \"001 Line12\"");
    m->callback([mo, &ctx] { RunModem(ctx, *mo); });

    auto si = std::make_shared<TSimulateArgs>();
    auto* s = app.add_subcommand("simulate", "Behave like an instrument on a pseudo-terminal until killed");
    s->add_option("--family", si->Family, "Instrument family 1 or 2")
        ->required()
        ->check(CLI::IsMember({1, 2}));
    s->add_option("--version", si->Version, "Family 2: the 4-byte version in hexadecimal (default 20000003)");
    s->add_flag("--modem", si->Modem, "A Hayes modem in front of the instrument");
    s->add_option("--store", si->Store, "Folder that receives every image as imageNNN.bin");
    s->add_option("--wire-baud", si->WireBaud, "Pace reading and writing to this many bits per second (8N1)")
        ->check(PositiveWhole);
    s->add_option("--corrupt-every", si->CorruptEvery, "Spoil every N-th block (family 1: acknowledgement)")
        ->check(PositiveWhole);
    s->add_flag("--silent", si->Silent, "Never answer");
    s->add_flag("--refuse", si->Refuse, "Refuse uploads (family 1: header refused; family 2: memory full)");
    s->callback([si, &ctx] { RunSimulate(ctx, *si); });
}
