#include "link/ptyinstrument.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "model/fileio.h"

namespace {

int64_t NowNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

void SleepUntilNs(int64_t t) {
    timespec ts{static_cast<time_t>(t / 1000000000LL), static_cast<long>(t % 1000000000LL)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

}  // namespace

TPtyInstrument::TPtyInstrument(TVirtualInstrument::TOptions options, int wireBaud)
    : instrument_(std::move(options)) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        throw std::runtime_error("cannot open a pseudo-terminal: " + ErrnoText(errno));
    const char* name = ptsname(master_);
    if (!name) throw std::runtime_error("cannot name the pseudo-terminal: " + ErrnoText(errno));
    path_ = name;
    slave_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) throw std::runtime_error(path_ + ": " + ErrnoText(errno));
    // Raw from the start: a line discipline that echoes would send the instrument's bytes back to it.
    termios t{};
    tcgetattr(slave_, &t);
    cfmakeraw(&t);
    tcsetattr(slave_, TCSANOW, &t);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    if (wireBaud > 0) {
        byteNs_ = 10LL * 1000000000LL / wireBaud;
        // Fine-grained sleeps for the pacing.
        prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    }
}

TPtyInstrument::~TPtyInstrument() {
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
}

void TPtyInstrument::LineBusyFrom(int64_t& freeAtNs, int64_t nowNs) {
    // An idle line does not bank time.
    if (freeAtNs < nowNs) freeAtNs = nowNs;
}

void TPtyInstrument::WriteOut(const std::vector<unsigned char>& bytes) {
    if (byteNs_ != 0) {
        // An answer reaches the program once its last byte has crossed the wire: one wait for the
        // whole answer, so that a busy machine delays it once, not once a byte.
        LineBusyFrom(txFreeNs_, NowNs());
        txFreeNs_ += byteNs_ * static_cast<int64_t>(bytes.size());
        if (txFreeNs_ > NowNs()) SleepUntilNs(txFreeNs_);
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t r = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (r > 0) {
            done += static_cast<std::size_t>(r);
            bytesOut_ += static_cast<uint64_t>(r);
        } else if (r < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{master_, POLLOUT, 0};
            ::poll(&p, 1, 50);
        } else {
            return;
        }
    }
}

void TPtyInstrument::Run(const std::atomic<bool>& stop) {
    // Quiet time after which the instrument gives up a half-done exchange.
    constexpr int64_t SilenceNs = 2000000000LL;
    unsigned char buf[4096];
    int64_t lastInput = NowNs();
    bool silenceTold = true;
    while (!stop.load()) {
        pollfd p{master_, POLLIN, 0};
        int pr = ::poll(&p, 1, 50);
        if (pr <= 0) {
            if (!silenceTold && NowNs() - lastInput >= SilenceNs) {
                silenceTold = true;
                // A program killed while it held the line leaves it exclusive; free it for the next.
                ioctl(slave_, TIOCNXCL);
                instrument_.Silence();
                if (instrument_.HasOutput()) WriteOut(instrument_.TakeOutput());
            }
            continue;
        }
        ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) {
            // EIO while no one else holds the slave open; cannot happen while we hold it, but never spin.
            if (n < 0 && errno != EAGAIN && errno != EINTR) ::poll(nullptr, 0, 10);
            continue;
        }
        bytesIn_ += static_cast<uint64_t>(n);
        lastInput = NowNs();
        silenceTold = false;
        // The burst came in at the latest now; its bytes take their wire time from there.
        if (byteNs_ != 0) LineBusyFrom(rxFreeNs_, lastInput);
        for (ssize_t i = 0; i < n; ++i) {
            // Each byte is in once its wire time has passed. Only an answer has to wait for that
            // moment; taking the bytes themselves early changes nothing the program can see.
            if (byteNs_ != 0) rxFreeNs_ += byteNs_;
            instrument_.Feed(buf[i]);
            if (instrument_.HasOutput()) {
                if (byteNs_ != 0 && rxFreeNs_ > NowNs()) SleepUntilNs(rxFreeNs_);
                WriteOut(instrument_.TakeOutput());
            }
        }
    }
}
