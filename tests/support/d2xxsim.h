// A simulated USB serial adapter for tests: the adapter interface with what a program can observe of
// a real one (settings, lines, queues, read time-outs), and a far side that stands for whatever is
// plugged into the adapter's serial end: a scripted instrument, or a file descriptor such as a
// pseudo-terminal on which a virtual instrument runs.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/d2xx.h"
#include "link/linkclock.h"
#include "link/linkhost.h"

// The serial end of the simulated adapter.
class TD2xxFarSide {
   public:
    virtual ~TD2xxFarSide() = default;
    // Bytes the program has written.
    virtual void Accept(const std::uint8_t* data, std::size_t n) = 0;
    // Up to max bytes for the program, waiting at most waitMs for the first of them (0 = no wait).
    virtual std::size_t Deliver(std::uint8_t* data, std::size_t max, int waitMs) = 0;
    // Milliseconds on the clock by which Deliver waits.
    virtual std::int64_t NowMs() = 0;
    // The program changed a line setting (baud rate, DTR, RTS, data characteristics).
    virtual void SettingsChanged(std::uint32_t /*baud*/, bool /*dtr*/, bool /*rts*/) {}
    // Modem status bits seen by the adapter (D2xxModemDsr, D2xxModemCts).
    virtual std::uint32_t ModemStatus() { return D2xxModemDsr | D2xxModemCts; }
};

// A far side over a file descriptor (a pseudo-terminal, a socket), in real time.
class TFdFarSide : public TD2xxFarSide {
   public:
    // Takes ownership of fd when owns is true.
    TFdFarSide(int fd, bool owns);
    ~TFdFarSide() override;
    TFdFarSide(const TFdFarSide&) = delete;
    TFdFarSide& operator=(const TFdFarSide&) = delete;
    // Opens a terminal device (for instance the pseudo-terminal of a virtual instrument) in raw mode.
    // Throws std::runtime_error naming the path when it cannot.
    static std::unique_ptr<TFdFarSide> OpenTerminal(const std::string& path);

    void Accept(const std::uint8_t* data, std::size_t n) override;
    std::size_t Deliver(std::uint8_t* data, std::size_t max, int waitMs) override;
    std::int64_t NowMs() override;

   private:
    int fd_;
    bool owns_;
};

// A far side that is a byte machine (for instance the virtual instrument in-process): every byte the
// program writes is fed to it at once, its answers are delivered as they come, and waiting for bytes
// that never come only moves the clock on. Deterministic on a manual clock.
class TMachineFarSide : public TD2xxFarSide {
   public:
    using TFeed = std::function<void(std::uint8_t)>;
    using TTake = std::function<std::vector<std::uint8_t>()>;
    TMachineFarSide(TLinkClock& clock, TFeed feed, TTake take)
        : clock_(clock), feed_(std::move(feed)), take_(std::move(take)) {}

    void Accept(const std::uint8_t* data, std::size_t n) override;
    std::size_t Deliver(std::uint8_t* data, std::size_t max, int waitMs) override;
    std::int64_t NowMs() override { return clock_.NowMs(); }

   private:
    TLinkClock& clock_;
    TFeed feed_;
    TTake take_;
    std::deque<std::uint8_t> out_;
};

class TD2xxSim : public TD2xx {
   public:
    // The far side may be null: then nothing ever arrives and what is written is lost.
    explicit TD2xxSim(std::shared_ptr<TD2xxFarSide> farSide = nullptr, int attached = 1);

    // Test controls.
    void SetAttached(int count) { attached_ = count; }  // adapters present; 0 unplugs the open one
    void SetFarSide(std::shared_ptr<TD2xxFarSide> farSide) { far_ = std::move(farSide); }
    void SetOpenFails(bool fails) { openFails_ = fails; }
    void SetWriteFailures(int count) { writeFailures_ = count; }  // the next count writes fail
    void SetRecording(bool on) { recording_ = on; }

    // What the program did, one line a call ("SetBaudRate 9600", "SetTimeouts 5000 500", ...), while
    // recording is on; and every byte written and every byte read, always.
    std::vector<std::string> Calls;
    std::vector<std::uint8_t> Written;
    std::vector<std::uint8_t> ReadBack;

    // Present state of the adapter.
    bool IsOpen() const { return handle_ != 0; }
    std::uint32_t BaudRate() const { return baud_; }
    std::uint32_t ReadTimeoutMs() const { return readMs_; }
    std::uint32_t WriteTimeoutMs() const { return writeMs_; }
    bool Dtr() const { return dtr_; }
    bool Rts() const { return rts_; }
    std::uint8_t LatencyMs() const { return latency_; }
    std::uint8_t WordLength() const { return wordLength_; }
    std::uint8_t StopBits() const { return stopBits_; }
    std::uint8_t Parity() const { return parity_; }
    std::uint16_t FlowMode() const { return flow_; }
    std::size_t Buffered() const { return rx_.size(); }

    TD2xxStatus ListDevices(std::uint32_t* count, void* buffer, std::uint32_t flags) override;
    TD2xxStatus Open(int index, TD2xxHandle* handle) override;
    TD2xxStatus Close(TD2xxHandle handle) override;
    TD2xxStatus Read(TD2xxHandle handle, void* buffer, std::uint32_t n, std::uint32_t* got) override;
    TD2xxStatus Write(TD2xxHandle handle, const void* buffer, std::uint32_t n,
                      std::uint32_t* written) override;
    TD2xxStatus SetBaudRate(TD2xxHandle handle, std::uint32_t rate) override;
    TD2xxStatus SetDataCharacteristics(TD2xxHandle handle, std::uint8_t wordLength, std::uint8_t stopBits,
                                       std::uint8_t parity) override;
    TD2xxStatus SetFlowControl(TD2xxHandle handle, std::uint16_t mode, std::uint8_t xon,
                               std::uint8_t xoff) override;
    TD2xxStatus SetDtr(TD2xxHandle handle) override;
    TD2xxStatus ClrDtr(TD2xxHandle handle) override;
    TD2xxStatus SetRts(TD2xxHandle handle) override;
    TD2xxStatus ClrRts(TD2xxHandle handle) override;
    TD2xxStatus GetModemStatus(TD2xxHandle handle, std::uint32_t* status) override;
    TD2xxStatus Purge(TD2xxHandle handle, std::uint32_t mask) override;
    TD2xxStatus SetTimeouts(TD2xxHandle handle, std::uint32_t readMs, std::uint32_t writeMs) override;
    TD2xxStatus GetQueueStatus(TD2xxHandle handle, std::uint32_t* rxCount) override;
    TD2xxStatus GetStatus(TD2xxHandle handle, std::uint32_t* rxCount, std::uint32_t* txCount,
                          std::uint32_t* events) override;
    TD2xxStatus SetLatencyTimer(TD2xxHandle handle, std::uint8_t ms) override;

   private:
    TD2xxStatus Check(TD2xxHandle handle) const;
    void Log(const std::string& call);
    void Pull(int waitMs);
    void Notify();

    std::shared_ptr<TD2xxFarSide> far_;
    int attached_;
    bool openFails_ = false;
    int writeFailures_ = 0;
    bool recording_ = false;
    TD2xxHandle handle_ = 0;
    TD2xxHandle nextHandle_ = 0x100;
    std::deque<std::uint8_t> rx_;
    std::uint32_t baud_ = 9600;
    std::uint32_t readMs_ = 0;
    std::uint32_t writeMs_ = 0;
    bool dtr_ = false;
    bool rts_ = false;
    std::uint8_t latency_ = 16;
    std::uint8_t wordLength_ = D2xxBits8;
    std::uint8_t stopBits_ = D2xxStopBits1;
    std::uint8_t parity_ = D2xxParityNone;
    std::uint16_t flow_ = D2xxFlowNone;
};
