#include "tests/support/d2xxsim.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

TFdFarSide::TFdFarSide(int fd, bool owns) : fd_(fd), owns_(owns) {}

TFdFarSide::~TFdFarSide() {
    if (owns_ && fd_ >= 0) ::close(fd_);
}

std::unique_ptr<TFdFarSide> TFdFarSide::OpenTerminal(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error(path + ": " + std::strerror(errno));
    termios tio{};
    if (::isatty(fd) && ::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    return std::make_unique<TFdFarSide>(fd, true);
}

void TFdFarSide::Accept(const std::uint8_t* data, std::size_t n) {
    while (n > 0) {
        ssize_t done = ::write(fd_, data, n);
        if (done > 0) {
            data += done;
            n -= static_cast<std::size_t>(done);
        } else if (done < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, 100);
        } else {
            return;  // the far end has gone: bytes are lost, as on an unplugged cable
        }
    }
}

std::size_t TFdFarSide::Deliver(std::uint8_t* data, std::size_t max, int waitMs) {
    const std::int64_t deadline = NowMs() + waitMs;
    for (;;) {
        ssize_t got = ::read(fd_, data, max);
        if (got > 0) return static_cast<std::size_t>(got);
        if (got < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) return 0;
        std::int64_t left = deadline - NowMs();
        if (left <= 0) return 0;
        pollfd p{fd_, POLLIN, 0};
        int ready = ::poll(&p, 1, static_cast<int>(left));
        // A pseudo-terminal whose other end is closed reports POLLHUP at once; wait the time out anyway
        // so that a missing instrument looks like a silent one.
        if (ready > 0 && !(p.revents & POLLIN)) {
            ::usleep(static_cast<useconds_t>(std::min<std::int64_t>(left, 10) * 1000));
        }
    }
}

std::int64_t TFdFarSide::NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void TMachineFarSide::Accept(const std::uint8_t* data, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) feed_(data[i]);
}

std::size_t TMachineFarSide::Deliver(std::uint8_t* data, std::size_t max, int waitMs) {
    std::vector<std::uint8_t> answered = take_();
    out_.insert(out_.end(), answered.begin(), answered.end());
    if (out_.empty()) {
        clock_.SleepMs(waitMs);
        return 0;
    }
    std::size_t n = 0;
    for (; n < max && !out_.empty(); ++n) {
        data[n] = out_.front();
        out_.pop_front();
    }
    return n;
}

TD2xxSim::TD2xxSim(std::shared_ptr<TD2xxFarSide> farSide, int attached)
    : far_(std::move(farSide)), attached_(attached) {}

void TD2xxSim::Log(const std::string& call) {
    if (recording_) Calls.push_back(call);
}

TD2xxStatus TD2xxSim::Check(TD2xxHandle handle) const {
    if (handle == 0 || handle != handle_) return D2xxInvalidHandle;
    if (attached_ <= 0) return D2xxIoError;  // unplugged while open
    return D2xxOk;
}

void TD2xxSim::Notify() {
    if (far_) far_->SettingsChanged(baud_, dtr_, rts_);
}

void TD2xxSim::Pull(int waitMs) {
    if (!far_) return;
    std::uint8_t chunk[512];
    std::size_t got = far_->Deliver(chunk, sizeof chunk, waitMs);
    rx_.insert(rx_.end(), chunk, chunk + got);
}

TD2xxStatus TD2xxSim::ListDevices(std::uint32_t* count, void*, std::uint32_t flags) {
    Log("ListDevices");
    if (!count || !(flags & D2xxListNumberOnly)) return D2xxInvalidParameter;
    *count = static_cast<std::uint32_t>(attached_ > 0 ? attached_ : 0);
    return D2xxOk;
}

TD2xxStatus TD2xxSim::Open(int index, TD2xxHandle* handle) {
    Log("Open " + std::to_string(index));
    if (!handle) return D2xxInvalidParameter;
    *handle = 0;
    if (index < 0 || index >= attached_) return D2xxDeviceNotFound;
    if (openFails_ || handle_ != 0) return D2xxDeviceNotOpened;  // one program at a time
    handle_ = *handle = nextHandle_++;
    rx_.clear();
    return D2xxOk;
}

TD2xxStatus TD2xxSim::Close(TD2xxHandle handle) {
    Log("Close");
    if (handle == 0 || handle != handle_) return D2xxInvalidHandle;
    handle_ = 0;
    rx_.clear();
    return D2xxOk;
}

TD2xxStatus TD2xxSim::Read(TD2xxHandle handle, void* buffer, std::uint32_t n, std::uint32_t* got) {
    if (TD2xxStatus s = Check(handle)) return s;
    if (!got || (!buffer && n)) return D2xxInvalidParameter;
    auto* out = static_cast<std::uint8_t*>(buffer);
    *got = 0;
    const std::int64_t deadline = far_ ? far_->NowMs() + readMs_ : 0;
    for (;;) {
        while (*got < n && !rx_.empty()) {
            out[(*got)++] = rx_.front();
            ReadBack.push_back(rx_.front());
            rx_.pop_front();
        }
        if (*got == n || !far_) return D2xxOk;
        std::int64_t left = deadline - far_->NowMs();
        Pull(left > 0 ? static_cast<int>(left) : 0);
        if (rx_.empty() && left <= 0) return D2xxOk;
    }
}

TD2xxStatus TD2xxSim::Write(TD2xxHandle handle, const void* buffer, std::uint32_t n, std::uint32_t* written) {
    if (TD2xxStatus s = Check(handle)) return s;
    if (!written || (!buffer && n)) return D2xxInvalidParameter;
    *written = 0;
    if (writeFailures_ > 0) {
        --writeFailures_;
        Log("Write failed");
        return D2xxIoError;
    }
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    Written.insert(Written.end(), in, in + n);
    if (far_) far_->Accept(in, n);
    *written = n;
    return D2xxOk;
}

TD2xxStatus TD2xxSim::SetBaudRate(TD2xxHandle handle, std::uint32_t rate) {
    Log("SetBaudRate " + std::to_string(rate));
    if (TD2xxStatus s = Check(handle)) return s;
    baud_ = rate;
    Notify();
    return D2xxOk;
}

TD2xxStatus TD2xxSim::SetDataCharacteristics(TD2xxHandle handle, std::uint8_t wordLength,
                                             std::uint8_t stopBits, std::uint8_t parity) {
    Log("SetDataCharacteristics " + std::to_string(wordLength) + " " + std::to_string(stopBits) + " " +
        std::to_string(parity));
    if (TD2xxStatus s = Check(handle)) return s;
    if ((wordLength != 7 && wordLength != 8) || stopBits > 2 || parity > D2xxParitySpace)
        return D2xxInvalidParameter;
    wordLength_ = wordLength;
    stopBits_ = stopBits;
    parity_ = parity;
    Notify();
    return D2xxOk;
}

TD2xxStatus TD2xxSim::SetFlowControl(TD2xxHandle handle, std::uint16_t mode, std::uint8_t xon,
                                     std::uint8_t xoff) {
    Log("SetFlowControl " + std::to_string(mode) + " " + std::to_string(xon) + " " + std::to_string(xoff));
    if (TD2xxStatus s = Check(handle)) return s;
    flow_ = mode;
    return D2xxOk;
}

TD2xxStatus TD2xxSim::SetDtr(TD2xxHandle handle) {
    Log("SetDtr");
    if (TD2xxStatus s = Check(handle)) return s;
    dtr_ = true;
    Notify();
    return D2xxOk;
}

TD2xxStatus TD2xxSim::ClrDtr(TD2xxHandle handle) {
    Log("ClrDtr");
    if (TD2xxStatus s = Check(handle)) return s;
    dtr_ = false;
    Notify();
    return D2xxOk;
}

TD2xxStatus TD2xxSim::SetRts(TD2xxHandle handle) {
    Log("SetRts");
    if (TD2xxStatus s = Check(handle)) return s;
    rts_ = true;
    Notify();
    return D2xxOk;
}

TD2xxStatus TD2xxSim::ClrRts(TD2xxHandle handle) {
    Log("ClrRts");
    if (TD2xxStatus s = Check(handle)) return s;
    rts_ = false;
    Notify();
    return D2xxOk;
}

TD2xxStatus TD2xxSim::GetModemStatus(TD2xxHandle handle, std::uint32_t* status) {
    Log("GetModemStatus");
    if (TD2xxStatus s = Check(handle)) return s;
    if (!status) return D2xxInvalidParameter;
    *status = far_ ? far_->ModemStatus() : 0;
    return D2xxOk;
}

TD2xxStatus TD2xxSim::Purge(TD2xxHandle handle, std::uint32_t mask) {
    Log("Purge " + std::to_string(mask));
    if (TD2xxStatus s = Check(handle)) return s;
    if (mask & D2xxPurgeRx) {
        Pull(0);  // what has reached the adapter by now is discarded with the queue
        rx_.clear();
    }
    return D2xxOk;
}

TD2xxStatus TD2xxSim::SetTimeouts(TD2xxHandle handle, std::uint32_t readMs, std::uint32_t writeMs) {
    Log("SetTimeouts " + std::to_string(readMs) + " " + std::to_string(writeMs));
    if (TD2xxStatus s = Check(handle)) return s;
    readMs_ = readMs;
    writeMs_ = writeMs;
    return D2xxOk;
}

TD2xxStatus TD2xxSim::GetQueueStatus(TD2xxHandle handle, std::uint32_t* rxCount) {
    if (TD2xxStatus s = Check(handle)) return s;
    if (!rxCount) return D2xxInvalidParameter;
    Pull(0);
    *rxCount = static_cast<std::uint32_t>(rx_.size());
    return D2xxOk;
}

TD2xxStatus TD2xxSim::GetStatus(TD2xxHandle handle, std::uint32_t* rxCount, std::uint32_t* txCount,
                                std::uint32_t* events) {
    if (TD2xxStatus s = Check(handle)) return s;
    if (!rxCount || !txCount || !events) return D2xxInvalidParameter;
    Pull(0);
    *rxCount = static_cast<std::uint32_t>(rx_.size());
    *txCount = 0;  // the far side takes every byte as it is written
    *events = 0;
    return D2xxOk;
}

TD2xxStatus TD2xxSim::SetLatencyTimer(TD2xxHandle handle, std::uint8_t ms) {
    Log("SetLatencyTimer " + std::to_string(ms));
    if (TD2xxStatus s = Check(handle)) return s;
    latency_ = ms;
    return D2xxOk;
}
