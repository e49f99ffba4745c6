#include "link/uploadcommands.h"

#include <algorithm>
#include <exception>

#include "link/blockprotocol.h"
#include "link/instrumentimage.h"
#include "link/linkfactory.h"
#include "link/linktexts.h"
#include "link/portcom.h"
#include "link/wire.h"
#include "model/datafolder.h"
#include "model/fileio.h"

namespace {

std::vector<std::string> SetNames(const std::vector<TSequence>& set) {
    std::vector<std::string> names;
    for (const TSequence& s : set) names.push_back(s.Name.Get());
    return names;
}

// The chooser: after OK the chosen line leaves its list.
std::optional<std::string> Choose(TRemoteUi& ui, std::vector<std::string>& names) {
    std::optional<std::string> chosen = ui.ChooseLine(names, false);
    if (!chosen) return std::nullopt;
    auto it = std::find(names.begin(), names.end(), *chosen);
    if (it != names.end()) names.erase(it);
    return chosen;
}

TSequence* FindByName(std::vector<TSequence>& set, const std::string& name) {
    for (TSequence& s : set)
        if (s.Name.Get() == name) return &s;
    return nullptr;
}

// Why a link that Connect did not open stays closed; a link that says nothing was refused.
TLinkStatus NotOpened(const TPortVirt& link) {
    return link.OpenStatus() == TLinkStatus::Ok ? TLinkStatus::Refused : link.OpenStatus();
}

// "Communication stopped", saying why when the user did not stop it: the device went away, or the
// link gave up on answers that never came through (`what` then says how).
std::string StoppedText(TPortVirt& link, TLinkStatus status, const char* what) {
    if (status == TLinkStatus::DeviceGone) return LinkText::DeviceWentAway(link.PortText());
    if (status == TLinkStatus::Garbled) return std::string(LinkText::CommunicationStopped) + ": " + what;
    return LinkText::CommunicationStopped;
}

// An error ended the uploads: "Communication stopped", and how.
void StoppedBy(TUploadOutcome& outcome, TPortVirt& link, TLinkStatus status, const char* what) {
    link.Host().ShowMessage(StoppedText(link, status, what));
    outcome.Failed = true;
    outcome.Status = status;
    outcome.Problem = what;
}

void PutNumber(TPortVirt& link, int32_t n) {
    const auto b = Wire::Le32Bytes(static_cast<uint32_t>(n));
    link.PutBytes(b.data(), static_cast<int>(b.size()));
}

}  // namespace

std::string EleBasePath(const std::string& varnelFolder, const TSequence& seq) {
    // The name is the user's: it must not lead the file out of the folder.
    return JoinPath(varnelFolder, FileNameSafe(seq.Name.Get().substr(0, Family1NameLength)) + "_E" +
                                      std::to_string(seq.NbElectrode) + "_Q" +
                                      std::to_string(seq.NbQuadripole) + "_#");
}

int FindEleIndex(const std::string& basePath, const TSequence& seq) {
    for (int k = 1;; ++k) {
        const std::string path = basePath + std::to_string(k) + ".ele";
        if (!FileExists(path)) return k;
        if (EleRecordMatches(ReadFilePrefix(path, EleRecordSize), seq)) return k;
    }
}

namespace {

// The .ele file that holds this sequence for the Dalvex program: found, or written now.
struct TEleFile {
    int Index = 0;
    std::string Path;
};

TEleFile KeepEleFile(const std::string& varnelFolder, const TSequence& seq) {
    const std::string base = EleBasePath(varnelFolder, seq);
    TEleFile file;
    file.Index = FindEleIndex(base, seq);
    file.Path = base + std::to_string(file.Index) + ".ele";
    if (!FileExists(file.Path)) {
        const TImageBytes ele = BuildEleRecord(seq);
        WriteFileAtomic(file.Path, ele.data(), ele.size());
    }
    return file;
}

// An acknowledgement read: -1 on a time-out. A link closed by a stop, or by its device going away, is
// reported as what it is, not as a missing acknowledgement.
int32_t ReadAck(TPortVirt& link) {
    int32_t v = link.GetByteTimed(5000);
    if (v < 0 && !link.IsOpen()) throw TLinkError(link.ClosedStatus(), LinkText::PortErrGetcom);
    return v;
}

int32_t UploadFamily1(TSequence& seq, TPortVirt& link, TProgressIndicator* progress,
                      const std::string& varnelFolder) {
    TLinkHost& host = link.Host();
    if (seq.NbQuadripole > Family1MaxQuadripoles) {
        host.ShowMessage(LinkText::TooManyForFamily1);
        return 0;
    }
    if (!host.Ask(LinkText::UploadTitle, LinkText::SelectVarnelMenu, TLinkHost::TButtons::OkCancel)) return 0;
    const TEleFile ele = KeepEleFile(varnelFolder, seq);
    host.ShowMessage("\" " + ele.Path + " \" " + LinkText::EleFileRequired);

    TImageBytes header = BuildFamily1Header(seq, ele.Index);
    link.PutBytes(header.data(), static_cast<int>(header.size()));
    // Only the last of the bytes waiting counts as the answer to the header.
    int32_t v = -1;
    while (link.InputCount() > 1) v = link.WaitByte();
    for (;;) {
        if (v == 1) break;
        if (v == 0) return 0;  // refused
        v = ReadAck(link);
        if (v < 0) return 0;
        host.ProcessEvents();
    }
    const int count = std::min(std::max(seq.NbQuadripole, 0), Family1MaxQuadripoles);
    for (int i = 0; i < count; ++i) {
        TImageBytes rec = BuildFamily1Record(seq, i);
        uint8_t sum = 0;
        for (unsigned char byte : rec) {
            link.PutByte(byte);
            sum = static_cast<uint8_t>(sum + byte);
        }
        if (progress) progress->SetPosition(i);
        host.ProcessEvents();
        if (ReadAck(link) != sum) return 0;
    }
    return 1;
}

int32_t UploadFamily2(TSequence& seq, TPortVirt& link, uint32_t version, TProgressIndicator* progress) {
    const auto command = version <= VersionLongTable ? TCommand::Upload : TCommand::UploadNew;
    if (!link.CommandAtPrompt(static_cast<unsigned char>(command), LinkTimeout::Upload)) {
        // An instrument that did not take the command sends no memory number: waiting for one would
        // never end.
        if (!link.IsOpen()) throw TLinkError(link.ClosedStatus(), LinkText::PortErrSetcmd);
        link.Disconnect();
        throw TLinkError(TLinkStatus::Garbled, LinkText::UploadRefused);
    }
    unsigned char num[4];
    link.ReadBytes(num, 4);
    const int32_t memory = Wire::LeInt32(num);
    if (memory > MaxMemoryNumber) return -1;
    // Each block of the image is one transfer of its own, with its own start.
    TBlockProtocol blocks(link);
    const TImageBytes header = BuildFamily2Header(seq, memory);
    blocks.SendData(header.data(), header.size(), progress);
    // The instrument keeps 1,320 electrode entries; the record itself keeps the lowered value (the
    // header above still carries the value from before).
    if (version >= VersionLongTable && seq.LastElectrode > Family2MaxLastElectrode)
        seq.LastElectrode = Family2MaxLastElectrode;
    for (const TImageBytes& table : BuildFamily2Tables(seq, version))
        blocks.SendData(table.data(), table.size(), progress);
    return memory;
}

}  // namespace

int32_t UploadSequence(TSequence& seq, TPortVirt& link, int family, uint32_t instrumentVersion,
                       TProgressIndicator* progress, const std::string& varnelFolder) {
    if (family == 1) return UploadFamily1(seq, link, progress, varnelFolder);
    if (family == 2) return UploadFamily2(seq, link, instrumentVersion, progress);
    return 0;
}

// Port setting of the USB adapter.
constexpr int UsbPortSetting = 5;

TPortVirt* ShowPortLink(int portNumVarnel, bool recreate, TLinkHost& host, TLinkClock& clock) {
    if (!recreate) return CurrentLink.get();
    if (CurrentLink && CurrentLink->Configured()) return CurrentLink.get();
    CurrentLink.reset();
    if (portNumVarnel == UsbPortSetting) {
        if (UsbLinkFactory()) CurrentLink = UsbLinkFactory()(host, clock);
    } else {
        CurrentLink = std::make_unique<TPortCOM>(host, clock);
    }
    return CurrentLink.get();
}

void StopUpLoad() {
    if (!CurrentLink) return;
    // A link still being opened has nothing to close: its Connect ends at its next pause instead.
    if (CurrentLink->IsOpen())
        CurrentLink->Disconnect();
    else
        CurrentLink->StopOpening();
}

TUploadOutcome VarnelUpLoad(std::vector<TSequence>& set, TPortVirt& link, int port, TRemoteUi& ui,
                            const std::string& varnelFolder) {
    TUploadOutcome outcome;
    TLinkHost& host = link.Host();
    std::vector<std::string> names = SetNames(set);
    for (;;) {
        if (names.empty()) break;
        std::optional<std::string> chosen = Choose(ui, names);
        if (!chosen) break;
        TSequence* seq = FindByName(set, *chosen);
        if (!seq) break;
        try {
            if (link.Connect(port, Family1Baud, 0, "", false, "") == 0) {
                host.ShowMessage(LinkText::CommunicationStopped);
                outcome.Failed = true;
                outcome.Status = NotOpened(link);
                break;
            }
            ui.PanelOn(seq->NbQuadripole);
            if (TProgressIndicator* p = ui.Progress()) {
                p->SetPosition(0);
                p->SetMaximum(seq->NbQuadripole);
            }
            int32_t r = UploadSequence(*seq, link, 1, 0, ui.Progress(), varnelFolder);
            if (r == 1) {
                host.ShowMessage(seq->Name.Get() + LinkText::CorrectlyLoaded);
                ++outcome.Stored;
                continue;
            }
            if (link.DeviceGone()) {
                // Not the instrument's refusal: nothing was there any more to answer.
                StoppedBy(outcome, link, TLinkStatus::DeviceGone, LinkText::PortErrGetcom);
                break;
            }
            host.ShowMessage(LinkText::UploadError);
            outcome.Failed = true;
            break;
        } catch (const TLinkError& e) {
            StoppedBy(outcome, link, e.Status(), e.what());
            break;
        } catch (const std::exception& e) {
            // Not the link: the .ele file could not be written. The exchange ends all the same.
            StoppedBy(outcome, link, TLinkStatus::Failed, e.what());
            break;
        }
    }
    ui.PanelOff();
    return outcome;
}

TUploadOutcome VarnelTarskOptra(std::vector<TSequence>& set, TPortVirt& link, int port, TRemoteUi& ui) {
    TUploadOutcome outcome;
    TLinkHost& host = link.Host();
    std::vector<std::string> names = SetNames(set);
    if (names.empty()) return outcome;
    if (!host.Ask(LinkText::UploadTitle, LinkText::SelectVarnelMenu, TLinkHost::TButtons::OkCancel))
        return outcome;
    try {
        if (link.Connect(port, Family2Baud, 0, "", false, "") == 0) {
            outcome.Failed = true;
            outcome.Status = NotOpened(link);
        } else {
            std::string text1, text2;
            link.Identify(text1, text2);
            unsigned char v[4];
            link.ReadBytes(v, 4);
            const uint32_t version = Wire::Le32(v);
            // At most as many choices as the set had sequences, whatever the instrument answers.
            for (std::size_t c = names.size(); c != 0; --c) {
                std::optional<std::string> chosen = Choose(ui, names);
                if (!chosen) break;
                TSequence* seq = FindByName(set, *chosen);
                if (!seq) break;
                ui.PanelOn(seq->NbQuadripole);
                if (TProgressIndicator* p = ui.Progress()) {
                    p->SetPosition(0);
                    p->SetMaximum(seq->NbQuadripole);
                }
                int32_t r = UploadSequence(*seq, link, 2, version, ui.Progress(), "");
                if (r == 0) {
                    host.ShowMessage(LinkText::UploadError);
                    outcome.Failed = true;
                    break;
                }
                if (r == -1) {
                    host.ShowMessage(LinkText::MemoryFull);
                    ++outcome.MemoryFull;
                } else {
                    host.ShowMessage(seq->Name.Get() + LinkText::CorrectlyLoaded + LinkText::OnMemory +
                                     std::to_string(r));
                    ++outcome.Stored;
                }
            }
        }
    } catch (const TLinkError& e) {
        StoppedBy(outcome, link, e.Status(), e.what());
    } catch (const std::exception& e) {
        StoppedBy(outcome, link, TLinkStatus::Failed, e.what());
    }
    // The end command; on a closed serial link the prompt wait ends at once and nothing is sent. The
    // panel goes off even when the end command itself fails.
    try {
        link.CommandAtPrompt(static_cast<unsigned char>(TCommand::EndOfUploads), LinkTimeout::Upload);
    } catch (...) {
        ui.PanelOff();
        throw;
    }
    ui.PanelOff();
    return outcome;
}

std::vector<std::string> RemoteListLines(std::vector<unsigned char> buf) {
    buf.resize(RemoteListCapacity, 0xFF);
    for (std::size_t i = 0; i + 1 < RemoteListCapacity; ++i) {
        if (buf[i] == 0xFF) {
            buf[i] = 0;
        } else if (buf[i] == 0) {
            // Entries end with NUL and one more byte; the pair becomes the line end.
            buf[i] = '\r';
            buf[i + 1] = '\n';
        }
    }
    std::string text;
    for (unsigned char c : buf) {
        if (c == 0) break;
        text += static_cast<char>(c);
    }
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::optional<int> RemoteLineNumber(const std::string& line) {
    std::string s = line.substr(0, 3);
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return std::nullopt;
    s = s.substr(first, s.find_last_not_of(" \t") - first + 1);
    std::size_t i = (s[0] == '-' || s[0] == '+') ? 1 : 0;
    if (i >= s.size()) return std::nullopt;
    for (std::size_t k = i; k < s.size(); ++k)
        if (s[k] < '0' || s[k] > '9') return std::nullopt;
    int n = std::stoi(s);
    if (n == -1) return std::nullopt;
    return n;
}

bool TModemSession::Connect(int port, const std::string& phone, const std::string& modemInit) {
    if (connected_) return true;
    TLinkHost& host = link_.Host();
    lastStatus_ = TLinkStatus::Ok;
    lastProblem_.clear();
    try {
        if (link_.Connect(port, ModemBaud, 0, modemInit, false, phone) == 0) {
            lastStatus_ = link_.OpenStatus() == TLinkStatus::Ok ? TLinkStatus::Stopped : link_.OpenStatus();
            // A modem that went away while dialling is no answer the user could have seen.
            if (lastStatus_ == TLinkStatus::DeviceGone) host.ShowMessage(StoppedText(link_, lastStatus_, ""));
            return false;
        }
        std::string text1, text2;
        link_.Identify(text1, text2);
        unsigned char version[4];
        link_.ReadBytes(version, 4);
        link_.WaitPrompt();
        link_.SendCommand(static_cast<unsigned char>(TCommand::ModemConnect), LinkTimeout::Upload);
        std::vector<unsigned char> buffer(RemoteListCapacity);
        TBlockProtocol(link_).ReceiveData(buffer.data(), buffer.size(), ui_.Progress());
    } catch (const TLinkError& e) {
        host.ShowMessage(StoppedText(link_, e.Status(), e.what()));
        lastStatus_ = e.Status();
        lastProblem_ = e.what();
        return false;
    } catch (const std::exception&) {
        host.ShowMessage(LinkText::CommunicationStopped);
        lastStatus_ = TLinkStatus::Failed;
        return false;
    }
    host.ShowMessage(LinkText::Connected);
    connected_ = true;
    return true;
}

std::vector<std::string> TModemSession::List() {
    if (!connected_ || link_.GetState() <= 0) return {};
    link_.CommandAtPrompt(static_cast<unsigned char>(TCommand::ListSequences), LinkTimeout::Remote);
    ui_.PanelOn(static_cast<int>(RemoteListCapacity));
    std::vector<unsigned char> buffer(RemoteListCapacity, 0xFF);
    TBlockProtocol(link_).ReceiveData(buffer.data(), buffer.size(), ui_.Progress());
    return RemoteListLines(std::move(buffer));
}

bool TModemSession::View() {
    if (!connected_) return false;
    lastStatus_ = TLinkStatus::Ok;
    lastProblem_.clear();
    try {
        std::vector<std::string> lines = List();
        ui_.PanelOff();
        ui_.ChooseLine(lines, true);
    } catch (const TLinkError& e) {
        // A stop while listing ends the command without a message; what the user did not do is told.
        lastStatus_ = e.Status();
        lastProblem_ = e.what();
        TellWhy(e);
    }
    ui_.PanelOff();
    return false;
}

bool TModemSession::StartOrDelete(TCommand command) {
    if (!connected_) return false;
    lastStatus_ = TLinkStatus::Ok;
    lastProblem_.clear();
    bool sent = false;
    try {
        std::vector<std::string> lines = List();
        if (link_.GetState() > 0) {
            std::optional<std::string> chosen = ui_.ChooseLine(lines, false);
            std::optional<int> number = chosen ? RemoteLineNumber(*chosen) : std::nullopt;
            if (number) {
                link_.CommandAtPrompt(static_cast<unsigned char>(command), LinkTimeout::Remote);
                PutNumber(link_, *number);
                sent = true;
                if (command == TCommand::StartSequence)
                    link_.Host().ShowMessage(std::string(LinkText::StartWith) + "<" + *chosen + ">");
                else
                    link_.Host().ShowMessage("<" + *chosen + ">" + LinkText::Deleted);
            }
        }
    } catch (const TLinkError& e) {
        // The remote commands end without a message on a stop; what the user did not do is told.
        lastStatus_ = e.Status();
        lastProblem_ = e.what();
        TellWhy(e);
    }
    ui_.PanelOff();
    return sent;
}

void TModemSession::TellWhy(const TLinkError& e) {
    if (e.Status() == TLinkStatus::DeviceGone || e.Status() == TLinkStatus::Garbled)
        link_.Host().ShowMessage(StoppedText(link_, e.Status(), e.what()));
}

bool TModemSession::Start() { return StartOrDelete(TCommand::StartSequence); }

bool TModemSession::Delete() { return StartOrDelete(TCommand::DeleteSequence); }

void TModemSession::Disconnect() {
    if (!connected_) return;
    lastStatus_ = TLinkStatus::Ok;
    lastProblem_.clear();
    try {
        if (link_.GetState() > 0) {
            link_.CommandAtPrompt(static_cast<unsigned char>(TCommand::Escape), LinkTimeout::Escape);
            link_.Disconnect();
        }
    } catch (const TLinkError& e) {
        // Hanging up after a stop: the session ends all the same.
        lastStatus_ = e.Status();
        lastProblem_ = e.what();
    }
    connected_ = false;
}
