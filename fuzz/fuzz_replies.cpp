// The instrument's side of the wire, from the fuzzer: whatever an instrument (or line noise) answers,
// every link operation must end, stay inside its buffers and raise nothing but TLinkError.
//
// Input: the first byte picks the operation (its remainder by 7) and, with its high bit, the USB
// behaviour of the link instead of the serial one; the rest are chunks "length (low 4 bits), bytes"
// that the instrument releases one after another, a chunk each time the program writes a byte. When
// the input is used up the link is closed from the event pump, as a stop would.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/blockprotocol.h"
#include "link/instrumentimage.h"
#include "link/uploadcommands.h"
#include "tests/support/memorylink.h"
#include "tests/support/testclocks.h"

namespace {

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "broken invariant: %s\n", what);
        std::abort();
    }
}

class TFuzzHost : public TLinkHost {
   public:
    TPortVirt* Link = nullptr;
    const uint8_t* Data = nullptr;
    std::size_t Size = 0, Pos = 0;
    long Turns = 0;
    bool Exhausted() const { return Pos >= Size; }
    void ProcessEvents() override {
        // Out of input with nothing waiting: nothing more will ever come; stop, as the user would.
        auto* mem = static_cast<TMemoryLink*>(Link);
        if ((Exhausted() && mem->Pending() == 0) || ++Turns > 20000) Link->Disconnect();
    }
    void SetBusyCursor(bool) override {}
    void ShowMessage(const std::string&) override {}
    bool Ask(const std::string&, const std::string&, TButtons) override { return true; }
};

class TNoUi : public TRemoteUi {
   public:
    std::optional<std::string> ChooseLine(const std::vector<std::string>& lines, bool) override {
        for (const std::string& l : lines)
            Check(l.size() <= RemoteListCapacity, "a list line stays in the buffer");
        if (lines.empty()) return std::nullopt;
        return lines.front();
    }
    void PanelOn(int) override {}
    void PanelOff() override {}
    TProgressIndicator* Progress() override { return &progress; }
    TProgressIndicator progress;
};

TSequence Small() {
    TSequence s;
    s.Name.Set("Fuzz");
    for (int e = 1; e <= 8; ++e) s.Electrodes[e] = {2, static_cast<int16_t>(e), static_cast<float>(e), 0, 0};
    s.NbElectrode = 8;
    s.FirstElectrode = 1;
    s.LastElectrode = 8;
    for (int i = 0; i < 70; ++i) s.Quadripoles[i] = {1, 2, 3, 4, 0, 1, -1};
    s.NbQuadripole = 70;
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    TFuzzHost host;
    TManualClock clock;
    TMemoryLink link(host, clock);
    link.EmulatedVariant = (data[0] & 0x80) != 0 ? TPortVirt::TVariant::Usb : TPortVirt::TVariant::Serial;
    host.Link = &link;
    host.Data = data;
    host.Size = size;
    host.Pos = 1;
    auto release = [&] {
        if (host.Exhausted()) return;
        std::size_t n = data[host.Pos++] & 0x0F;
        for (; n > 0 && !host.Exhausted(); --n) link.Push(data[host.Pos++]);
    };
    link.OnWrite = [&](unsigned char) { release(); };
    release();
    link.Connect(1, 115200, 0, "", false, "");
    try {
        switch (data[0] % 7) {
            case 0: {
                std::vector<unsigned char> d(1200, 0x5A);
                TBlockProtocol(link).SendData(d.data(), d.size(), nullptr);
                break;
            }
            case 1: {
                std::vector<unsigned char> buffer(RemoteListCapacity + 8, 0xEE);
                const int32_t n =
                    TBlockProtocol(link).ReceiveData(buffer.data(), RemoteListCapacity, nullptr);
                Check(n >= 0 && n <= static_cast<int32_t>(RemoteListCapacity),
                      "ReceiveData stays in its capacity");
                Check(buffer[RemoteListCapacity] == 0xEE, "nothing written past the capacity");
                RemoteListLines(
                    std::vector<unsigned char>(buffer.begin(), buffer.begin() + RemoteListCapacity));
                break;
            }
            case 2: {
                std::string a, b;
                link.Identify(a, b);
                Check(a.size() <= 40 && b.size() <= 40, "identification lines keep 40 characters");
                break;
            }
            case 3:
                link.CommandAtPrompt(0x27, 2000);
                break;
            case 4: {
                TSequence s = Small();
                const uint32_t version = 0x20000001u + (data[0] / 7) % 3;
                UploadSequence(s, link, 2, version, nullptr, "");
                break;
            }
            case 5: {
                TNoUi ui;
                TModemSession session(link, ui);
                if (session.Connect(1, "1")) {
                    session.Start();
                    session.Disconnect();
                }
                break;
            }
            default: {
                std::string line;
                link.ReadLine(line, 40, 15000);
                Check(line.size() <= 40, "ReadLine keeps its maximum");
                break;
            }
        }
    } catch (const TLinkError&) {
        // The link closed under the operation: the expected end of a stopped exchange.
    }
    return 0;
}
