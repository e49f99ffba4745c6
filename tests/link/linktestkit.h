// Test doubles for the link: a host with scripted answers that fails on an unexpected question, and a
// script of expected bytes and replies for an in-memory link that fails on any mismatch.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <stdexcept>
#include <functional>
#include <string>
#include <vector>

#include "linkhost.h"
#include "memorylink.h"

using Bytes = std::vector<unsigned char>;

inline Bytes Le16Bytes(int v) { return {static_cast<unsigned char>(v & 0xFF), static_cast<unsigned char>((v >> 8) & 0xFF)}; }
inline Bytes Le32Bytes(int64_t v) {
    Bytes b;
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>((static_cast<uint64_t>(v) >> (8 * i)) & 0xFF));
    return b;
}
inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
inline Bytes TextBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

class TTestHost : public TLinkHost {
public:
    std::function<void()> OnEvents;
    std::deque<bool> Answers;              // answers to Ask, in order
    std::vector<std::string> Questions;    // title + "|" + text of each Ask
    std::vector<std::string> Messages;
    long EventTurns = 0;
    bool Busy = false;

    // A wait that runs this long has lost its way out: fail instead of hanging the suite.
    long MaxTurns = 5000000;
    void ProcessEvents() override {
        if (++EventTurns > MaxTurns) {
            ADD_FAILURE() << "runaway wait";
            throw std::runtime_error("runaway wait");
        }
        if (OnEvents) OnEvents();
    }
    void SetBusyCursor(bool busy) override { Busy = busy; }
    void ShowMessage(const std::string& text) override { Messages.push_back(text); }
    bool Ask(const std::string& title, const std::string& text, TButtons) override {
        Questions.push_back(title + "|" + text);
        if (Answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << title << ": " << text;
            return false;
        }
        bool a = Answers.front();
        Answers.pop_front();
        return a;
    }
};

// Expected bytes from the program, each answered with reply bytes once it is complete.
class TScript {
public:
    struct TStep {
        Bytes Expect;
        Bytes Reply;
    };
    explicit TScript(TMemoryLink& link) : link_(link) {
        link_.OnWrite = [this](unsigned char b) { Received(b); };
    }
    TScript& Expect(Bytes expect, Bytes reply = {}) {
        steps_.push_back({std::move(expect), std::move(reply)});
        return *this;
    }
    bool Done() const { return steps_.empty() && got_.empty(); }
    std::string Left() const { return std::to_string(steps_.size()) + " steps left"; }

private:
    void Received(unsigned char b) {
        if (steps_.empty()) {
            ADD_FAILURE() << "unexpected byte 0x" << std::hex << int(b);
            link_.Disconnect();
            return;
        }
        got_.push_back(b);
        const Bytes& e = steps_.front().Expect;
        if (got_.back() != e[got_.size() - 1]) {
            ADD_FAILURE() << "byte " << got_.size() - 1 << " of step: got 0x" << std::hex << int(b) << " expected 0x"
                          << int(e[got_.size() - 1]);
            link_.Disconnect();
            return;
        }
        if (got_.size() == e.size()) {
            Bytes reply = steps_.front().Reply;
            steps_.pop_front();
            got_.clear();
            link_.Push(reply);
        }
    }
    TMemoryLink& link_;
    std::deque<TStep> steps_;
    Bytes got_;
};

// An open in-memory link on a manual clock.
struct TLinkFixture : public ::testing::Test {
    TTestHost host;
    TManualClock clock;
    TMemoryLink link{host, clock};
    void SetUp() override { link.Connect(1, 115200, 0, "", false, ""); }
};

#include "virtualinstrument.h"

// The virtual instrument behind an in-memory link: what the program writes is fed to it at once and
// its answers are pushed back, so a whole exchange runs on the test's thread.
class TInstrumentPeer {
public:
    TInstrumentPeer(TMemoryLink& link, TVirtualInstrument::TOptions options) : link_(link), vi_(std::move(options)) {
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
