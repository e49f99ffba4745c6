// A far side for the simulated adapter that runs on a virtual clock: it answers what the program
// writes through a reply function, and waiting for bytes only moves the clock on.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "link/linkclock.h"
#include "tests/support/d2xxsim.h"

class TScriptedFarSide : public TD2xxFarSide {
   public:
    // Called with each byte the program writes and the baud rate in force; returns the bytes to send back.
    using TReply = std::function<std::vector<std::uint8_t>(std::uint8_t byte, std::uint32_t baud)>;

    explicit TScriptedFarSide(TLinkClock& clock, TReply reply = nullptr)
        : clock_(clock), reply_(std::move(reply)) {}

    void Queue(const std::vector<std::uint8_t>& bytes) {
        out_.insert(out_.end(), bytes.begin(), bytes.end());
    }
    void SetReply(TReply reply) { reply_ = std::move(reply); }
    std::vector<std::uint8_t> Received;
    std::vector<std::uint32_t> BaudChanges;
    std::uint32_t Baud() const { return baud_; }
    std::uint32_t Modem = D2xxModemDsr | D2xxModemCts;
    std::uint32_t ModemStatus() override { return Modem; }

    void Accept(const std::uint8_t* data, std::size_t n) override {
        for (std::size_t i = 0; i < n; ++i) {
            Received.push_back(data[i]);
            if (reply_) Queue(reply_(data[i], baud_));
        }
    }
    std::size_t Deliver(std::uint8_t* data, std::size_t max, int waitMs) override {
        if (out_.empty()) {
            clock_.SleepMs(waitMs);
            return 0;
        }
        std::size_t n = 0;
        while (n < max && !out_.empty()) {
            data[n++] = out_.front();
            out_.pop_front();
        }
        return n;
    }
    std::int64_t NowMs() override { return clock_.NowMs(); }
    void SettingsChanged(std::uint32_t baud, bool, bool) override {
        if (baud != baud_) BaudChanges.push_back(baud);
        baud_ = baud;
    }

   private:
    TLinkClock& clock_;
    TReply reply_;
    std::deque<std::uint8_t> out_;
    std::uint32_t baud_ = 0;
};
