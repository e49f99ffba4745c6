// What the tests against the virtual instrument on a pseudo-terminal share.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "link/ptyinstrument.h"
#include "model/sequence.h"

// A sequence of `quadripoles` neighbouring quadripoles over `electrodes` electrodes 2.5 m apart.
inline TSequence Numbered(const std::string& name, int electrodes, int quadripoles) {
    TSequence s;
    s.Name.Set(name);
    for (int e = 1; e <= electrodes; ++e)
        s.Electrodes[e] = {static_cast<int16_t>(TElectrodeType::Active), static_cast<int16_t>(e),
                           2.5f * static_cast<float>(e), 0, 0};
    s.NbElectrode = electrodes;
    s.FirstElectrode = 1;
    s.LastElectrode = electrodes;
    for (int i = 0; i < quadripoles; ++i) {
        int16_t a = static_cast<int16_t>(i % (electrodes - 3) + 1);
        s.Quadripoles[i] = {
            a, static_cast<int16_t>(a + 1), static_cast<int16_t>(a + 2), static_cast<int16_t>(a + 3), 0, 1,
            -1};
    }
    s.NbQuadripole = quadripoles;
    return s;
}

// The instrument on its own thread for the life of a test.
class TRunningInstrument {
   public:
    // `wireBaud` above 0 paces the instrument to that wire rate.
    explicit TRunningInstrument(TVirtualInstrument::TOptions o, int wireBaud = 0)
        : pty_(std::move(o), wireBaud) {
        thread_ = std::thread([this] { pty_.Run(stop_); });
    }
    ~TRunningInstrument() { Stop(); }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    TPtyInstrument& Pty() { return pty_; }
    // Only after Stop().
    TVirtualInstrument& Instrument() { return pty_.Instrument(); }

   private:
    TPtyInstrument pty_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
