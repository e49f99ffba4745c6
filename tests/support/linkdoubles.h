// The doubles of the instrument link that tests and benchmarks share: a host with scripted answers
// that fails on an unexpected question, a remote UI (chooser and panel) answering from a script, and
// a script of expected bytes and replies for an in-memory link that fails on any mismatch and on any
// step left unused.
//
// A failure is a GoogleTest failure; built with TERAVOX_DOUBLES_WITHOUT_GTEST (benchmarks) it is
// printed and ends the program.
#pragma once

#ifndef TERAVOX_DOUBLES_WITHOUT_GTEST
#include <gtest/gtest.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "link/linkhost.h"
#include "link/uploadcommands.h"
#include "tests/support/memorylink.h"

inline void LinkDoubleFailure(const std::string& what) {
#ifndef TERAVOX_DOUBLES_WITHOUT_GTEST
    ADD_FAILURE() << what;
#else
    std::fprintf(stderr, "test double: %s\n", what.c_str());
    std::abort();
#endif
}

// The link's host: answers questions from Answers (or all with OK when AlwaysOk), records messages,
// questions and waits, and runs OnEvents at every turn of the event pump (where a test stops the
// link, as the stop button would).
class TTestHost : public TLinkHost {
   public:
    std::function<void()> OnEvents;
    std::deque<bool> Answers;            // answers to Ask, in order
    bool AlwaysOk = false;               // answer every question with OK instead
    std::vector<std::string> Questions;  // title + "|" + text of each Ask
    std::vector<std::string> Messages;
    std::vector<TLinkWait> Waits;  // every Waiting call, the ends (TKind::None) included
    long EventTurns = 0;
    bool Busy = false;

    // A wait that runs this long has lost its way out: fail instead of hanging the suite.
    long MaxTurns = 5000000;
    void ProcessEvents() override {
        if (++EventTurns > MaxTurns) {
            LinkDoubleFailure("runaway wait");
            throw std::runtime_error("runaway wait");
        }
        if (OnEvents) OnEvents();
    }
    void SetBusyCursor(bool busy) override { Busy = busy; }
    void ShowMessage(const std::string& text) override { Messages.push_back(text); }
    bool Ask(const std::string& title, const std::string& text, TButtons) override {
        Questions.push_back(title + "|" + text);
        if (AlwaysOk) return true;
        if (Answers.empty()) {
            LinkDoubleFailure("unexpected question: " + title + ": " + text);
            return false;
        }
        bool a = Answers.front();
        Answers.pop_front();
        return a;
    }
    void Waiting(const TLinkWait& wait) override { Waits.push_back(wait); }
};

// The chooser and the upload panel: the chooser answers from Answers in order and records what it
// was offered; once the answers run out it cancels, or fails the test when StrictAnswers is set. A
// view-only chooser always answers none.
class TScriptUi : public TRemoteUi {
   public:
    std::deque<std::optional<std::string>> Answers;
    bool StrictAnswers = false;
    std::vector<std::vector<std::string>> Offered;
    int PanelOns = 0, PanelOffs = 0;
    TProgressIndicator progress;

    std::optional<std::string> ChooseLine(const std::vector<std::string>& lines, bool viewOnly) override {
        Offered.push_back(lines);
        if (viewOnly) return std::nullopt;
        if (Answers.empty()) {
            if (StrictAnswers) LinkDoubleFailure("chooser shown once too often");
            return std::nullopt;
        }
        auto a = Answers.front();
        Answers.pop_front();
        return a;
    }
    void PanelOn(int) override { ++PanelOns; }
    void PanelOff() override { ++PanelOffs; }
    TProgressIndicator* Progress() override { return &progress; }
};

// Expected bytes from the program, each answered with reply bytes once it is complete. A byte that
// differs from the script, or comes after its end, fails and closes the link; steps still expected
// when the script goes fail too.
class TScript {
   public:
    struct TStep {
        std::vector<unsigned char> Expect;
        std::vector<unsigned char> Reply;
    };
    explicit TScript(TMemoryLink& link) : link_(link) {
        link_.OnWrite = [this](unsigned char b) { Received(b); };
    }
    ~TScript() {
        link_.OnWrite = nullptr;
        if (!Done()) LinkDoubleFailure("the script ends with " + Left() + " unused");
    }
    TScript(const TScript&) = delete;
    TScript& operator=(const TScript&) = delete;
    TScript& Expect(std::vector<unsigned char> expect, std::vector<unsigned char> reply = {}) {
        steps_.push_back({std::move(expect), std::move(reply)});
        return *this;
    }
    bool Done() const { return steps_.empty() && got_.empty(); }
    std::string Left() const { return std::to_string(steps_.size()) + " steps"; }

   private:
    static std::string Hex(unsigned char b) {
        char text[8];
        std::snprintf(text, sizeof text, "0x%02x", b);
        return text;
    }
    void Received(unsigned char b) {
        if (steps_.empty()) {
            LinkDoubleFailure("unexpected byte " + Hex(b));
            link_.Disconnect();
            return;
        }
        got_.push_back(b);
        const std::vector<unsigned char>& e = steps_.front().Expect;
        if (got_.back() != e[got_.size() - 1]) {
            LinkDoubleFailure("byte " + std::to_string(got_.size() - 1) + " of step: got " + Hex(b) +
                              " expected " + Hex(e[got_.size() - 1]));
            link_.Disconnect();
            return;
        }
        if (got_.size() == e.size()) {
            std::vector<unsigned char> reply = steps_.front().Reply;
            steps_.pop_front();
            got_.clear();
            link_.Push(reply);
        }
    }
    TMemoryLink& link_;
    std::deque<TStep> steps_;
    std::vector<unsigned char> got_;
};
