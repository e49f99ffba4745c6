// The modem's replies while the serial link dials ("ATZ", an init string, "ATDT"): the bytes after the
// first are what the modem answers, waiting in a pseudo-terminal that the link opens as its port.
// Whatever the modem says, Connect ends once the replies are used up (the stop the user would press)
// and reports a connection only when the modem said both OK and CONNECT.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/fuzzcheck.h"
#include "link/portcom.h"
#include "link/portctl.h"
#include "tests/support/testclocks.h"

namespace {

// Replies are written into the terminal's input queue at once; keep them well inside it.
constexpr std::size_t MaxReplies = 3000;

struct TPty {
    int Master = -1;
    int Slave = -1;  // kept open, so that the line stays up while the link opens and closes it
    TPty() {
        Master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        FuzzCheck(Master >= 0 && ::grantpt(Master) == 0 && ::unlockpt(Master) == 0, "a pseudo-terminal");
        const char* path = ::ptsname(Master);
        FuzzCheck(path != nullptr, "a pseudo-terminal has a name");
        Slave = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        FuzzCheck(Slave >= 0, "the pseudo-terminal opens");
        termios t{};
        ::tcgetattr(Slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(Slave, TCSANOW, &t);
        SetComDevicePath(1, path);
    }
    // Throws away what the link wrote, so that its writes never block.
    void DrainMaster() const {
        char buffer[512];
        while (::read(Master, buffer, sizeof buffer) > 0) {
        }
    }
    int Waiting() const {
        int n = 0;
        return ::ioctl(Slave, FIONREAD, &n) == 0 ? n : 0;
    }
};

class TModemHost : public TLinkHost {
   public:
    TModemHost(const TPty& pty, std::string_view replies) : pty_(pty), replies_(replies) {}
    TPortVirt* Link = nullptr;

    void ProcessEvents() override {
        pty_.DrainMaster();
        if (!given_) Give();
        // Nothing left to read: the modem has said all it will; stop, as the user would.
        if (Link->IsOpen() && pty_.Waiting() == 0) Link->Disconnect();
    }
    void SetBusyCursor(bool) override {}
    void ShowMessage(const std::string&) override {}
    bool Ask(const std::string&, const std::string&, TButtons) override { return true; }

   private:
    // The replies go in once the port is open (opening flushes its input), and are waited for until
    // the terminal shows them all.
    void Give() {
        given_ = true;
        if (replies_.empty()) return;
        FuzzCheck(
            ::write(pty_.Master, replies_.data(), replies_.size()) == static_cast<ssize_t>(replies_.size()),
            "the replies fit in the terminal");
        for (int i = 0; i < 2000 && pty_.Waiting() < static_cast<int>(replies_.size()); ++i) ::usleep(50);
    }
    const TPty& pty_;
    std::string_view replies_;
    bool given_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TPty pty;
    if (size < 1) return 0;
    const std::string_view replies(reinterpret_cast<const char*>(data + 1), std::min(size - 1, MaxReplies));
    const std::string init = (data[0] & 1) ? "ATE0V1" : "";
    pty.DrainMaster();
    ::tcflush(pty.Slave, TCIOFLUSH);

    TModemHost host(pty, replies);
    TManualClock clock;
    int32_t port = 0;
    {
        TPortCOM link(host, clock);
        host.Link = &link;
        port = link.Connect(1, 9600, 0, init, false, "0123");
        link.Disconnect();
    }
    FuzzCheck(port == 0 || port == 1, "Connect answers the port or 0");
    if (port == 1) {
        const bool ok = replies.find("OK") != std::string_view::npos;
        const bool connect = replies.find("CONNECT") != std::string_view::npos;
        FuzzCheck(ok && connect, "a connection needs OK and CONNECT from the modem");
    }
    return 0;
}
