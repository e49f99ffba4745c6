#include "link/linkclock.h"

#include <time.h>

#include <cerrno>
#include <chrono>

namespace {

class TSystemClock : public TLinkClock {
   public:
    int64_t NowMs() override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void SleepMs(int64_t ms) override {
        if (ms <= 0) return;
        timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>((ms % 1000) * 1000000)};
        while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
        }
    }
};

}  // namespace

TLinkClock& SystemClock() {
    static TSystemClock clock;
    return clock;
}
