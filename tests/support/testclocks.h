// Clocks for tests and benchmarks of the instrument link.
#pragma once

#include <chrono>
#include <cstdint>

#include "link/linkclock.h"

// A clock that only moves when someone sleeps on it or advances it: in-memory links use it so that
// time-outs pass instantly and tests can read how long an exchange would have taken.
class TManualClock : public TLinkClock {
   public:
    int64_t NowMs() override { return now_; }
    void SleepMs(int64_t ms) override {
        if (ms > 0) {
            now_ += ms;
            slept_ += ms;
        }
    }
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

// The system clock, adding up every pause the protocol asks for.
class TCountingClock : public TLinkClock {
   public:
    int64_t NowMs() override { return SystemClock().NowMs(); }
    void SleepMs(int64_t ms) override {
        if (ms <= 0) return;
        paused_ += ms;
        const auto start = std::chrono::steady_clock::now();
        SystemClock().SleepMs(ms);
        overslept_ += std::chrono::steady_clock::now() - start - std::chrono::milliseconds(ms);
    }
    // The pauses asked for, in milliseconds.
    int64_t Paused() const { return paused_; }
    // How much longer than asked the pauses lasted.
    std::chrono::nanoseconds Overslept() const { return overslept_; }

   private:
    int64_t paused_ = 0;
    std::chrono::nanoseconds overslept_{0};
};
