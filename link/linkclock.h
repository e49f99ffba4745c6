// The clock of the instrument link: everything with a time-out or a pause takes its time from a
// TLinkClock given from outside, so that a test of a 5,000 ms time-out need not sleep (the test
// clocks live with the test support).
#pragma once

#include <cstdint>

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
