// The link to an instrument attached through a USB serial adapter (FTDI), on the adapter interface.
//
// Connect always opens the first adapter found and keeps asking the user to plug the cable in while
// none is present. Every primitive maps onto one or two adapter calls; timed reads set the adapter's
// time-outs (read = the time-out asked for, write = 500 ms) and then wait in slices, letting events run
// between them, so a stop ends any wait. The composite operations are those of TPortVirt in their USB
// variant: WaitForText raises "Wait error" when the link closes, SendCommand gives up after 20
// unanswered synchronisation bytes and 6 command writes, Identify falls back to 115,200 baud.
//
// Setters marked "when open" below act only while LinkState is above 0. A failed adapter call on an
// open link is ignored, except opening and writing.
#pragma once

#include <memory>
#include <string>

#include "link/d2xx.h"
#include "link/linkfactory.h"
#include "link/portvirt.h"

// What the USB link does when the user confirms the connect question but no adapter is attached.
enum class TNoAdapter {
    AskAgain,  // show the question again, until one is plugged in or the user cancels
    Cancel,    // say that none is attached and cancel (a front end without a user to plug it in)
};

constexpr const char* NoUsbAdapterText = "usb: no FTDI USB adapter attached";

class TPortUSB : public TPortVirt {
   public:
    static constexpr const char* ConnectQuestion =
        "Connect USB link between computer and VARNEL or TARSK click <OK Button>";
    static constexpr std::uint32_t WriteTimeoutMs = 500;
    static constexpr std::uint8_t LatencyMs = 2;

    // The adapter interface is shared with whoever else counts adapters (the port picture).
    // With TNoAdapter::Cancel, Connect shows NoUsbAdapterText and gives up (OpenStatus NoDevice)
    // instead of asking again while no adapter is attached.
    TPortUSB(TLinkHost& host, std::shared_ptr<TD2xx> d2xx, TLinkClock& clock = SystemClock(),
             TNoAdapter noAdapter = TNoAdapter::AskAgain);
    // Does not close the adapter: the owner calls Disconnect on an open link before destroying it.
    ~TPortUSB() override;

    // The number of attached adapters; 0 when the adapter library cannot tell.
    int32_t DeviceCount();

    // Closes the adapter when the link is open: DTR and RTS down, 1 s pause, close.
    void Disconnect() override;
    // The port number is only given back as the link state; the modem init string, the DSR flag and
    // the phone number are ignored (nothing is dialled over USB).
    int32_t Connect(int32_t port, int32_t baud, int32_t byteDelay, const std::string& modemInit, bool waitDsr,
                    const std::string& phone) override;
    void PurgeInput() override;
    void PurgeOutput() override;  // when open
    int32_t TryPutByte(unsigned char b) override;
    // One adapter write of n bytes, within the write time-out.
    int32_t TryPutBlock(const unsigned char* data, int n) override;
    int32_t ReadBlockTimed(unsigned char* buffer, int n, int timeoutMs) override;
    int32_t GetByteTimed(int timeoutMs) override;
    // One byte within the read time-out last given to the adapter.
    int32_t GetByteNow() override;
    void SetPortNumber(int32_t) override {}
    void SetBaudRate(int32_t v) override;  // when open
    // When open: the data characteristics (7 data bits or 8; parity codes 1 to 4, anything else
    // none; 2 stop bits or 1) in one adapter call, then the flow control in another.
    void SetLineSettings(const TLineSettings& settings) override;
    void SetDtr(bool on) override;  // when open
    void SetRts(bool on) override;  // when open
    int32_t InputCount() override;
    int32_t OutputCount() override;
    int32_t GetBaudRate() override { return BaudRateSet; }
    int32_t DsrState() override;
    void SetLatency(int32_t ms) override;
    int32_t MaxBaudRate() override { return 273000; }
    std::string& LinkName(std::string& text) override { return text = "USB"; }

    TD2xxHandle DeviceHandle = 0;  // 0 = no adapter open
    int32_t WordLength = 8;
    int32_t StopBitsCode = 0;
    int32_t ParityCode = 0;
    int32_t XonXoffOn = 0;
    int32_t DtrDsrOn = 0;
    int32_t RtsCtsOn = 0;
    int32_t NoFlowControl = 1;
    int32_t DtrOn = 0;
    int32_t RtsOn = 0;
    int32_t BaudRateSet = 0;

   protected:
    TVariant Variant() const override { return TVariant::Usb; }
    // A write the adapter answered with an error status (unplugged, a failed transfer), not a
    // time-out that took no byte.
    bool LastWriteFailed() override { return lastWriteFailed_; }
    // The adapter has failed every look at its receive queue for MaxFailingMs: pulled out.
    bool DeviceLost() override;
    void AwaitInput(int64_t ms) override;
    void AwaitOutput(int64_t ms) override;

   private:
    bool lastWriteFailed_ = false;
    // Since when (the link's clock) every look at the receive queue has failed; -1 while they succeed.
    int64_t failingSince_ = -1;
    // Notes how a look at the receive queue went; true when it succeeded.
    bool NoteQueueStatus(TD2xxStatus status);
    // Reads up to n bytes within timeoutMs, in slices; the count read.
    int32_t ReadWithin(unsigned char* buffer, int n, int timeoutMs);
    // Waits at most ms of the link's clock until a byte is waiting.
    void WaitForInput(int64_t ms);

    std::shared_ptr<TD2xx> d2xx_;
    TNoAdapter noAdapter_;
    std::uint32_t readTimeoutMs_ = 0;
};

// A USB link on the FTDI adapters of this machine.
std::unique_ptr<TPortVirt> MakeUsbLink(TLinkHost& host, TLinkClock& clock, TNoAdapter noAdapter);
// Registers MakeUsbLink as the USB link factory, unless a front end has registered one already.
void InstallUsbLinkFactory(TNoAdapter noAdapter);
