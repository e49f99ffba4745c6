#include "link/portctl.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "model/fileio.h"

namespace {

std::array<std::string, 4>& ComPaths() {
    static std::array<std::string, 4> paths{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3"};
    return paths;
}

speed_t SpeedCode(int baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        default:
            return 0;
    }
}

void SleepRealMs(int ms) {
    if (ms <= 0) return;
    timespec ts{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    nanosleep(&ts, nullptr);
}

}  // namespace

std::string ComDevicePath(int port) {
    if (port < 1 || port > 4) return "";
    return ComPaths()[static_cast<std::size_t>(port - 1)];
}

void SetComDevicePath(int port, const std::string& path) {
    if (port >= 1 && port <= 4) ComPaths()[static_cast<std::size_t>(port - 1)] = path;
}

TPortCtl::TPortCtl() = default;

TPortCtl::~TPortCtl() { Close(); }

int TPortCtl::Open() {
    Close();
    path_ = ComDevicePath(settings_.PortNumber);
    if (path_.empty()) {
        lastError_ = "COM " + std::to_string(settings_.PortNumber) + ": no device path set";
        return -1;
    }
    int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        lastError_ = path_ + ": " + ErrnoText(errno);
        return -1;
    }
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        lastError_ = path_ + ": not a serial device (" + ErrnoText(errno) + ")";
        ::close(fd);
        return -1;
    }
    // Another program on the same port would garble both exchanges.
    ioctl(fd, TIOCEXCL);
    fd_ = fd;
    Apply();
    ApplyLines();
    tcflush(fd_, TCIOFLUSH);
    ClearLineStatus();
    lastError_.clear();
    hungUp_ = false;
    return fd_ == 0 ? 1 : fd_;
}

void TPortCtl::Close() {
    if (fd_ >= 0) {
        // The exclusive flag belongs to the device, not to our descriptor: a pseudo-terminal whose
        // other end stays open would refuse the next program otherwise.
        ioctl(fd_, TIOCNXCL);
        ::close(fd_);
        fd_ = -1;
    }
    hungUp_ = false;
}

void TPortCtl::NoteErrno(int err) {
    // What a hung-up terminal answers to reads and ioctls; a device that is gone for good.
    if (err == EIO || err == ENXIO || err == ENODEV) hungUp_ = true;
}

void TPortCtl::NoteEvents(short revents) {
    if (revents & (POLLHUP | POLLERR | POLLNVAL)) hungUp_ = true;
}

bool TPortCtl::HungUp() {
    if (!hungUp_ && fd_ >= 0) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 0) > 0) NoteEvents(p.revents);
    }
    return hungUp_;
}

void TPortCtl::Apply() {
    if (fd_ < 0) return;
    termios t{};
    if (tcgetattr(fd_, &t) != 0) return;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= settings_.DataBits == 7   ? CS7
                 : settings_.DataBits == 6 ? CS6
                 : settings_.DataBits == 5 ? CS5
                                           : CS8;
    // Parity as the control numbers it: 0 none, 1 odd, 2 even.
    if (settings_.Parity == 1) t.c_cflag |= PARENB | PARODD;
    if (settings_.Parity == 2) t.c_cflag |= PARENB;
    if (settings_.StopBits == 2) t.c_cflag |= CSTOPB;
    if (settings_.RtsCts) t.c_cflag |= CRTSCTS;
    if (settings_.XonXoff) t.c_iflag |= IXON | IXOFF;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (speed_t s = SpeedCode(settings_.BaudRate)) {
        cfsetispeed(&t, s);
        cfsetospeed(&t, s);
    }
    tcsetattr(fd_, TCSANOW, &t);
}

void TPortCtl::ApplyLines() {
    if (fd_ < 0) return;
    // Devices without modem lines (pseudo-terminals) refuse these; that is not an error.
    int dtr = TIOCM_DTR, rts = TIOCM_RTS;
    ioctl(fd_, settings_.Dtr ? TIOCMBIS : TIOCMBIC, &dtr);
    ioctl(fd_, settings_.Rts ? TIOCMBIS : TIOCMBIC, &rts);
}

bool TPortCtl::Counters(int out[4]) {
    if (fd_ < 0) return false;
    serial_icounter_struct c{};
    if (ioctl(fd_, TIOCGICOUNT, &c) != 0) return false;
    out[0] = c.brk;
    out[1] = c.frame;
    out[2] = c.overrun + c.buf_overrun;
    out[3] = c.parity;
    return true;
}

void TPortCtl::ClearLineStatus() {
    int now[4];
    if (Counters(now))
        for (int i = 0; i < 4; ++i) baseline_[i] = now[i];
}

bool TPortCtl::Dsr() {
    int bits = 0;
    if (fd_ < 0 || ioctl(fd_, TIOCMGET, &bits) != 0) return false;
    return (bits & TIOCM_DSR) != 0;
}

bool TPortCtl::LineError(TLineError kind) {
    int now[4];
    if (!Counters(now)) return false;
    const auto k = static_cast<std::size_t>(kind);
    return now[k] != baseline_[k];
}

int TPortCtl::RxCount() {
    int n = 0;
    if (fd_ < 0) return 0;
    if (ioctl(fd_, FIONREAD, &n) != 0) {
        NoteErrno(errno);
        return 0;
    }
    return n;
}

int TPortCtl::TxCount() {
    int n = 0;
    if (fd_ < 0) return 0;
    if (ioctl(fd_, TIOCOUTQ, &n) != 0) {
        NoteErrno(errno);
        return 0;
    }
    return n;
}

int TPortCtl::ReadByte() {
    if (fd_ < 0) return -1;
    unsigned char b;
    for (;;) {
        ssize_t r = ::read(fd_, &b, 1);
        if (r == 1) return b;
        if (r < 0 && errno == EINTR) continue;
        // A raw, non-blocking terminal reads 0 bytes only once it has hung up.
        if (r == 0) hungUp_ = true;
        if (r < 0) NoteErrno(errno);
        return -1;
    }
}

void TPortCtl::WaitReadable(int ms) {
    if (fd_ < 0) return;
    if (hungUp_) return;
    pollfd p{fd_, POLLIN, 0};
    int r = ::poll(&p, 1, ms);
    // A hung-up device is always "ready" and never gives a byte: the caller has to see it, not wait.
    if (r > 0) NoteEvents(p.revents);
    if (r > 0 && !hungUp_ && !(p.revents & POLLIN)) SleepRealMs(ms);
}

void TPortCtl::WaitWritable(int ms) {
    if (fd_ < 0) return;
    int queued = TxCount();
    if (queued > 0) {
        const int baud = settings_.BaudRate > 0 ? settings_.BaudRate : 9600;
        const long us = static_cast<long>(queued) * 10L * 1000000L / baud;
        const long capped = std::min<long>(us, static_cast<long>(ms) * 1000L);
        timespec ts{capped / 1000000L, (capped % 1000000L) * 1000L};
        nanosleep(&ts, nullptr);
        return;
    }
    if (hungUp_) return;
    pollfd p{fd_, POLLOUT, 0};
    int r = ::poll(&p, 1, ms);
    if (r > 0) NoteEvents(p.revents);
    if (r > 0 && !hungUp_ && !(p.revents & POLLOUT)) SleepRealMs(ms);
}

int TPortCtl::ReadByteTimed(int ms) {
    int b = ReadByte();
    if (b >= 0 || ms <= 0) return b;
    WaitReadable(ms);
    return ReadByte();
}

int TPortCtl::ReadByteBufferTimed(unsigned char* buffer, int count, int ms) {
    if (fd_ < 0 || count <= 0) return 0;
    int got = 0;
    auto take = [&] {
        while (got < count) {
            ssize_t r = ::read(fd_, buffer + got, static_cast<std::size_t>(count - got));
            if (r > 0) {
                got += static_cast<int>(r);
                continue;
            }
            if (r < 0 && errno == EINTR) continue;
            if (r == 0) hungUp_ = true;
            if (r < 0) NoteErrno(errno);
            break;
        }
    };
    take();
    if (got < count && ms > 0 && !hungUp_) {
        WaitReadable(ms);
        take();
    }
    return got;
}

int TPortCtl::WriteByte(unsigned char b) {
    lastWriteError_ = 0;
    if (fd_ < 0) {
        lastWriteError_ = EBADF;
        return -1;
    }
    for (;;) {
        ssize_t r = ::write(fd_, &b, 1);
        if (r == 1) return 0;
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) lastWriteError_ = errno;
        return -1;
    }
}

int TPortCtl::WriteBytes(const unsigned char* data, int n) {
    lastWriteError_ = 0;
    if (fd_ < 0) {
        lastWriteError_ = EBADF;
        return -1;
    }
    if (n <= 0) return 0;
    for (;;) {
        ssize_t r = ::write(fd_, data, static_cast<std::size_t>(n));
        if (r > 0) return static_cast<int>(r);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) lastWriteError_ = errno;
        return -1;
    }
}

void TPortCtl::WriteByteBuffer(const char* data, int length) {
    if (fd_ < 0) return;
    // A far end that never reads would keep us here: give up after about ten seconds of a full queue.
    constexpr int MaxFullWaits = 200;
    int done = 0, fullWaits = 0;
    while (done < length && fullWaits < MaxFullWaits) {
        ssize_t r = ::write(fd_, data + done, static_cast<std::size_t>(length - done));
        if (r > 0) {
            done += static_cast<int>(r);
        } else if (r < 0 && errno == EAGAIN) {
            ++fullWaits;
            WaitWritable(50);
        } else if (r < 0 && errno == EINTR) {
            continue;
        } else {
            return;
        }
    }
}

void TPortCtl::ClearTxBuffer() {
    if (fd_ >= 0) tcflush(fd_, TCOFLUSH);
}
