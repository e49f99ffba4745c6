// The commands that talk to an instrument, engine half: the sending of one sequence's image
// (UploadSequence, with the .ele files that family 1 keeps), the two uploads and the modem's remote
// commands, in their order of operations. A front end adds the chooser, the upload panel and its stop
// button (which calls Disconnect on the link from inside TLinkHost::ProcessEvents); the messages go
// through the link's host.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "link/instrumentimage.h"
#include "link/portvirt.h"
#include "model/sequence.h"

// The .ele files of family 1, kept in the Varnel folder for the Dalvex program, are named
// "<folder>/<first 8 of Name>_E<NbElectrode>_Q<NbQuadripole>_#<k>.ele"; this is the part before k.
std::string EleBasePath(const std::string& varnelFolder, const TSequence& seq);
// The index of the .ele file that holds this sequence: the first existing equal one, or the first
// free index. Throws TFileError when an existing file cannot be read.
int FindEleIndex(const std::string& basePath, const TSequence& seq);

// Sends one sequence to an instrument over an open link. Family 1: 1 = every quadripole acknowledged,
// 0 = refused, cancelled, too many quadripoles, a time-out or a wrong acknowledgement; its .ele file is
// written into (or found in) `varnelFolder`. Family 2: the instrument's memory number (0 is a
// failure), -1 when the memory is full (above 12); for versions 0x20000002 and above LastElectrode is
// lowered to 1319 in the record itself. Other families: 0, nothing sent. Link failures (a stop) pass
// as TLinkError; file failures as TFileError.
int32_t UploadSequence(TSequence& seq, TPortVirt& link, int family, uint32_t instrumentVersion,
                       TProgressIndicator* progress, const std::string& varnelFolder);

// The link half of the port picture's update: with `recreate`, creates CurrentLink when there is none
// and replaces one that was never opened (Configured 0); a configured link stays for the rest of the
// run. A new link is USB for port setting 5 (through UsbLinkFactory; none when no USB link is built),
// serial otherwise. Returns CurrentLink (possibly none).
TPortVirt* ShowPortLink(int portNumVarnel, bool recreate, TLinkHost& host, TLinkClock& clock = SystemClock());
// The stop button (and the window closing): closes CurrentLink, so the running exchange ends at its
// next wait; a link still being opened is not opened.
void StopUpLoad();

// The parts of the window the commands drive.
class TRemoteUi {
   public:
    virtual ~TRemoteUi() = default;
    // The sequence chooser over `lines`, shown modally: the chosen line, or none for Cancel. With
    // `viewOnly` its OK button is hidden (the answer is then always none).
    virtual std::optional<std::string> ChooseLine(const std::vector<std::string>& lines, bool viewOnly) = 0;
    // The upload panel: on with the progress bar's maximum, and off.
    virtual void PanelOn(int maximum) = 0;
    virtual void PanelOff() = 0;
    // The panel's progress bar, or none.
    virtual TProgressIndicator* Progress() = 0;
};

// What an upload command did, for callers that need more than the messages (the command line).
struct TUploadOutcome {
    int Stored = 0;       // sequences the instrument took
    int MemoryFull = 0;   // family 2: refused for a full memory
    bool Failed = false;  // "An error occured during upload" or "Communication stopped"
    // Why "Communication stopped" was shown: the link's status (Stopped, DeviceGone, ...), Refused
    // or NoDevice for a link that did not open, Failed for an error outside the link (a file). Ok
    // when it was not shown.
    TLinkStatus Status = TLinkStatus::Ok;
    std::string Problem;  // the text of the error behind it, if any
    bool Stopped() const { return Status != TLinkStatus::Ok; }
};

// Baud rates of the commands.
constexpr int Family1Baud = 9600;
constexpr int Family2Baud = 115200;
constexpr int ModemBaud = 19200;
// Capacity of the buffer that receives the instrument's list.
constexpr std::size_t RemoteListCapacity = 1024;

// Family 1 ("Varnel Zenda,Z1,Z2"): for each sequence chosen, connect and upload.
TUploadOutcome VarnelUpLoad(std::vector<TSequence>& set, TPortVirt& link, int port, TRemoteUi& ui,
                            const std::string& varnelFolder);
// Family 2 ("Varnel Optra, Tarsk Optra"): one connection, identification, the chosen sequences, the
// end command.
TUploadOutcome VarnelTarskOptra(std::vector<TSequence>& set, TPortVirt& link, int port, TRemoteUi& ui);

// The modem session of the "Optra Modem" menu.
class TModemSession {
   public:
    TModemSession(TPortVirt& link, TRemoteUi& ui) : link_(link), ui_(ui) {}
    bool Connected() const { return connected_; }
    // Dials and enters remote mode; shows "Connected". An exception shows "Communication stopped", and
    // why when the device went away (also while dialling).
    bool Connect(int port, const std::string& phone, const std::string& modemInit = "");
    // The instrument's list as lines (empty when not connected or on failure).
    std::vector<std::string> List();
    // Lists, offers the chooser, starts / deletes the chosen sequence. False when nothing was sent.
    // A link error ends them without a message (except a device that went away, or a link that gave
    // up retrying, which are told);
    // LastStatus() then says how. Other errors propagate.
    bool View();
    bool Start();
    bool Delete();
    void Disconnect();
    // How the last command ended (Ok, or the status of the link error that ended it), and the text of
    // that error.
    TLinkStatus LastStatus() const { return lastStatus_; }
    const std::string& LastProblem() const { return lastProblem_; }

   private:
    bool StartOrDelete(TCommand command);
    // Shows why a command ended when the user did not stop it: its device went away, or the link gave
    // up retrying.
    void TellWhy(const TLinkError& e);
    TPortVirt& link_;
    TRemoteUi& ui_;
    bool connected_ = false;
    TLinkStatus lastStatus_ = TLinkStatus::Ok;
    std::string lastProblem_;
};

// The conversion of the instrument's list buffer into lines (filled with 0xFF before receiving).
std::vector<std::string> RemoteListLines(std::vector<unsigned char> buffer);
// The sequence number at the start of a list line, or none.
std::optional<int> RemoteLineNumber(const std::string& line);
