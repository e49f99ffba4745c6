// What the instrument link needs from the program that runs it, and the clock it measures time with.
// The engine never shows UI: the desktop program implements TLinkHost with Qt, the command-line
// program with stdout and SIGINT, tests with scripted answers.
#pragma once

#include <cstdint>
#include <string>

// The host of a link. Every call is made from the thread that runs the exchange.
class TLinkHost {
public:
    enum class TButtons { OkCancel, YesNo };

    virtual ~TLinkHost() = default;

    // Lets pending user events run. This is where a stop takes effect: a stop handler calls
    // Disconnect on the link from inside this call, and the interrupted wait ends at its next test.
    virtual void ProcessEvents() = 0;
    // The hourglass (true) or the normal cursor (false).
    virtual void SetBusyCursor(bool busy) = 0;
    // A message box with an OK button; returns when the user has seen it.
    virtual void ShowMessage(const std::string& text) = 0;
    // A question box with an information icon: true for OK or Yes, false for Cancel or No.
    virtual bool Ask(const std::string& title, const std::string& text, TButtons buttons) = 0;
};

// A progress indicator (the upload panel's bar). The link reads the position back, so the plain
// class keeps the values; a front end overrides Changed to show them.
class TProgressIndicator {
public:
    virtual ~TProgressIndicator() = default;
    void SetMinimum(int v) { min_ = v; Changed(); }
    void SetMaximum(int v) { max_ = v; Changed(); }
    void SetPosition(int v) { pos_ = v; Changed(); }
    int Minimum() const { return min_; }
    int Maximum() const { return max_; }
    int Position() const { return pos_; }

protected:
    virtual void Changed() {}

private:
    int min_ = 0;
    int max_ = 100;
    int pos_ = 0;
};

// Time for everything with a time-out or a pause, in milliseconds. Taken from outside so that a test
// of a 5,000 ms time-out need not sleep.
class TLinkClock {
public:
    virtual ~TLinkClock() = default;
    // Monotonic time in milliseconds (any origin).
    virtual int64_t NowMs() = 0;
    // Pauses for ms milliseconds (0 or below returns at once).
    virtual void SleepMs(int64_t ms) = 0;
    // How many real milliseconds one wait on a device may last at most when this clock measures
    // ms of its own time (a scaled test clock shortens real waits accordingly).
    virtual int64_t RealMs(int64_t ms) { return ms; }
};

// The steady system clock; the one shared instance.
TLinkClock& SystemClock();

// A clock that only moves when someone sleeps on it or advances it: in-memory links use it so that
// time-outs pass instantly and tests can read how long an exchange would have taken.
class TManualClock : public TLinkClock {
public:
    int64_t NowMs() override { return now_; }
    void SleepMs(int64_t ms) override { if (ms > 0) { now_ += ms; slept_ += ms; } }
    void Advance(int64_t ms) { now_ += ms; }
    int64_t Slept() const { return slept_; }

private:
    int64_t now_ = 0;
    int64_t slept_ = 0;
};

// Real time running `factor` times faster: a pause of 1,000 ms takes 1,000 / factor ms. For tests
// over real pseudo-terminals, so that the protocol's pauses keep their order but cost little.
class TScaledClock : public TLinkClock {
public:
    explicit TScaledClock(int64_t factor) : factor_(factor < 1 ? 1 : factor) {}
    int64_t NowMs() override { return SystemClock().NowMs() * factor_; }
    void SleepMs(int64_t ms) override { SystemClock().SleepMs((ms + factor_ - 1) / factor_); }
    int64_t RealMs(int64_t ms) override { return (ms + factor_ - 1) / factor_; }

private:
    int64_t factor_;
};
