// What the link tests share beyond the common doubles: byte builders, an open in-memory link, and the
// virtual instrument behind an in-memory link.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/blockprotocol.h"
#include "tests/support/linkdoubles.h"
#include "tests/support/memorylink.h"
#include "tests/support/testclocks.h"

using Bytes = std::vector<unsigned char>;

inline Bytes Le16Bytes(int v) {
    return {static_cast<unsigned char>(v & 0xFF), static_cast<unsigned char>((v >> 8) & 0xFF)};
}
inline Bytes Le32Bytes(int64_t v) {
    Bytes b;
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<unsigned char>((static_cast<uint64_t>(v) >> (8 * i)) & 0xFF));
    return b;
}
inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
inline Bytes TextBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// An open in-memory link on a manual clock.
struct TLinkFixture : public ::testing::Test {
    TTestHost host;
    TManualClock clock;
    TMemoryLink link{host, clock};
    TBlockProtocol protocol{link};
    void SetUp() override { link.Connect(1, 115200, 0, "", false, ""); }
};

#include "link/virtualinstrument.h"

// The virtual instrument behind an in-memory link: what the program writes is fed to it at once and
// its answers are pushed back, so a whole exchange runs on the test's thread.
class TInstrumentPeer {
   public:
    TInstrumentPeer(TMemoryLink& link, TVirtualInstrument::TOptions options)
        : link_(link), vi_(std::move(options)) {
        link_.OnWrite = [this](unsigned char b) {
            vi_.Feed(b);
            if (vi_.HasOutput()) {
                std::vector<unsigned char> out = vi_.TakeOutput();
                fromInstrument_.insert(fromInstrument_.end(), out.begin(), out.end());
                link_.Push(out);
            }
        };
        // Whatever the instrument says before the program writes (nothing, for both families).
        if (vi_.HasOutput()) link_.Push(vi_.TakeOutput());
    }
    TVirtualInstrument& Instrument() { return vi_; }
    const Bytes& FromInstrument() const { return fromInstrument_; }

   private:
    TMemoryLink& link_;
    TVirtualInstrument vi_;
    Bytes fromInstrument_;
};

inline TVirtualInstrument::TOptions Family2(uint32_t version = 0x20000003) {
    TVirtualInstrument::TOptions o;
    o.Family = 2;
    o.Version = version;
    o.KeepLog = true;
    return o;
}
