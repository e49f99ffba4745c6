// The abstract link between the program and an instrument, and the operations every exchange is
// built from. The checksummed block protocol sits above it, in blockprotocol.h.
//
// Realisations: TPortCOM (serial port, also to dial a modem; portcom.h), TPortUSB (USB adapter) and,
// for tests, TMemoryLink (in memory; tests/support/memorylink.h). Exactly one link is the
// process-wide CurrentLink.
//
// What a realisation must provide (the medium's primitives), pure virtual here:
//   Disconnect, Connect, PurgeInput, PurgeOutput, TryPutByte, ReadBlockTimed, GetByteTimed,
//   GetByteNow, SetPortNumber, SetBaudRate, SetLineSettings, SetDtr, SetRts, InputCount,
//   OutputCount, GetBaudRate, DsrState, MaxBaudRate, LinkName.
// Written once here over those primitives (virtual, but a realisation should not need to override
// them): WaitByte, ReadLine, WaitPrompt, SendCommand, CommandAtPrompt, WaitForText, PutByte,
// ReadBytesTimed, Identify, ReadBytes, SetState, GetState, SetLatency (no effect here).
//
// Serial and USB variants: WaitForText, SendCommand and Identify behave differently on USB (see each
// below). A realisation selects its variant by overriding Variant(); TPortUSB answers Usb and need not
// override the three operations themselves.
//
// Time-out modes of every primitive that takes a time-out in milliseconds:
//   below 0  waits until data come or the link is closed,
//   0        returns at once with what is there,
//   above 0  waits at most that long and returns what came.
// A realisation waits in slices of at most WaitSliceMs (measured on Clock()) and calls
// Host().ProcessEvents() between slices, then ends the wait early (-1 or what came) if the link was
// closed meanwhile. So no wait of any length outlives a stop: closing the link from the event pump
// ends it.
//
// Closed link: LinkState 0 or below. The primitives then answer -1 or do nothing; the composite
// operations raise TLinkError with the texts below ("Port err. Getcom", ...). Every operation that set
// the busy cursor sets the normal one again before it raises.
//
// A device that goes away (unplugged, hung up, its far end closed) never answers again, so a wait for
// it would last for ever. The waits therefore ask the realisation (DeviceLost) whenever nothing came;
// once it is lost the link closes itself, as a stop would, and the operation raises with status
// DeviceGone instead of Stopped. DeviceGone() tells it until the next successful Connect.
//
// Everything runs on one thread; the link is not thread-safe. Multi-byte numbers on the wire are
// little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "link/linkclock.h"
#include "link/linkhost.h"
#include "link/wire.h"

// How an exchange with the instrument ended, or why a link did not open. Callers branch on this,
// never on the texts that go with it.
enum class TLinkStatus {
    Ok,          // done
    Stopped,     // the link was closed from the event pump (the stop button, Ctrl-C) while in use
    Refused,     // the user answered the connect question with Cancel
    NoDevice,    // the port could not be opened, or no USB adapter is attached
    DeviceGone,  // the device went away: unplugged, hung up, its far end closed
    Garbled,     // the instrument's answers never came through whole; the link gave up retrying
    Failed,      // anything else: the instrument refused, a file could not be written
};

// A link operation failed: how (Status) and a short text for the log ("Port err. Getcom"); the
// command handlers report "Communication stopped".
class TLinkError : public std::runtime_error {
   public:
    TLinkError(TLinkStatus status, const std::string& text) : std::runtime_error(text), status_(status) {}
    TLinkStatus Status() const { return status_; }

   private:
    TLinkStatus status_;
};

// Command bytes (sent as c, c XOR 0xFF; accepted by an answer c).
enum class TCommand : unsigned char {
    EndOfUploads = 0x00,
    Escape = 0x1B,          // modem "Disconnect"; Identify after 20 unanswered attempts
    ModemConnect = 0x1C,    // then the instrument sends a block transfer
    StartSequence = 0x25,   // then a 4-byte sequence number
    ListSequences = 0x27,   // then the instrument sends its list as a block transfer
    DeleteSequence = 0x28,  // then a 4-byte sequence number
    Upload = 0xAA,          // family 2, instrument version 0x20000002 or below
    UploadNew = 0xAC,       // family 2, instrument version above 0x20000002
};

// The line's framing and flow control, given to a link in one call.
struct TLineSettings {
    enum class TFlow { None, XonXoff, DtrDsr, RtsCts };
    int32_t DataBits = 8;  // 7 or 8
    int32_t Parity = 0;    // 0 = none; serial 1 odd, 2 even; USB the adapter's codes 1 to 4
    int32_t StopBits = 1;  // 1 or 2
    TFlow Flow = TFlow::None;
};

// Every retry of the link and its limit, in one place. The instrument and the program ask again for
// what came spoilt; a line that spoils everything, or an instrument that answers garbage, would be
// asked for ever. Past these limits the exchange gives up with TLinkStatus::Garbled, saying why, and
// the link closes as at a stop.
namespace LinkRetry {
// Synchronisation bytes of a command handshake, and how many of them USB allows before giving up
// (serial goes on to the command regardless).
constexpr int SyncAttempts = 22;
constexpr int UsbSyncAttempts = 20;
// USB stops repeating a command after this many writes.
constexpr int UsbCommandWrites = 6;
// Serial repeats a command while the instrument stays silent (only a stop ends that), but gives up
// after this many refusals (0xFF) in a row: the instrument never receives the pair whole.
constexpr int SerialCommandRefusals = 10;
// Requests in a row that do not move a block transfer on: the same block asked for again (its copy
// arrived spoilt) or a request that names no block of the transfer (garbage). A line that spoils
// ten copies of a 528-byte block in a row (half a second at 115,200 baud) carries nothing whole; a
// noisy moment costs one or two.
constexpr int BlockRetries = 10;
// Bytes at the start of a transfer before its start byte 0. The instrument sends only a few; more
// means what it sends is garbage.
constexpr int StartBytes = 64;
}  // namespace LinkRetry

// Time-outs used by the callers, in milliseconds.
namespace LinkTimeout {
constexpr int Upload = 300000;    // the upload commands and the end command
constexpr int Remote = 2000;      // list, start, delete
constexpr int Escape = 200;       // modem disconnect
constexpr int Delivery = 300000;  // WaitByte, once a byte is announced
}  // namespace LinkTimeout

class TPortVirt {
   public:
    enum class TVariant { Serial, Usb };
    // Longest single device wait before pending events run again.
    static constexpr int WaitSliceMs = 50;
    // A device that fails every write (not merely has no room), or every look at its input, for this
    // long is gone: unplugged, hung up, its far end closed. An error of a moment (a USB adapter's
    // transfer that failed once) passes well within it; waiting longer would only keep the user
    // looking at a dead exchange.
    static constexpr int MaxFailingMs = 500;
    // Pause between two attempts at a write that failed, so that a dead device is not hammered.
    static constexpr int FailingWritePauseMs = 10;

    // The host and the clock must outlive the link.
    explicit TPortVirt(TLinkHost& host, TLinkClock& clock = SystemClock());
    virtual ~TPortVirt();
    TPortVirt(const TPortVirt&) = delete;
    TPortVirt& operator=(const TPortVirt&) = delete;

    // Slot 1. Waits (letting events run) until a byte is announced, then reads it with a
    // 300,000 ms time-out; -1 when that read times out. Raises "Port err. Getcom" once the link closes.
    virtual int32_t WaitByte();
    // Slot 2. Closes the link (LinkState 0).
    virtual void Disconnect() = 0;
    // Slot 3. Reads one line ending with LF within `timeoutMs` per byte; CR is dropped but counted
    // towards `maxChars`. True at LF or after maxChars bytes; false (text emptied) on a time-out.
    // Raises "Port err. getstring" on a closed link.
    virtual bool ReadLine(std::string& text, int maxChars, int timeoutMs);
    // Slot 4. WaitForText(":>").
    virtual bool WaitPrompt();
    // Slot 5. Opens the link; returns the new LinkState (above 0 = success).
    virtual int32_t Connect(int32_t port, int32_t baud, int32_t byteDelay, const std::string& modemInit,
                            bool waitDsr, const std::string& phone) = 0;
    // Slot 6. The command handshake: synchronise on 0x40, send c and c XOR 0xFF until the answer is
    // neither 0xFF nor missing. True when the answer is c. Serial: goes on after 22 unanswered sync
    // bytes and repeats without limit; USB: false unless the sync echo came within 20 attempts, at
    // most 6 command writes. Raises "Port err. Setcmd" on a closed link.
    virtual bool SendCommand(unsigned char command, int timeoutMs);
    // Slot 7. WaitPrompt, then SendCommand; false without sending when the prompt wait fails.
    virtual bool CommandAtPrompt(unsigned char command, int timeoutMs);
    // Slot 8. Reads until the characters received contain `text`; no time-out. Serial: false when the
    // link closes; USB: raises "Wait error".
    virtual bool WaitForText(const std::string& text);
    // Slot 9. Writes one byte and waits until it has left; then sleeps ByteDelay ms. Raises
    // "Port err. putcom" (closed before writing, or the device failing every write for
    // MaxFailingMs: it is gone) or "Port err." (closed while draining).
    virtual void PutByte(unsigned char b);
    // Slot 10. Up to n GetByteTimed reads, stopping at the first time-out; returns the count. Raises
    // "Port err. Getcom" when the link is closed before a read.
    virtual int32_t ReadBytesTimed(unsigned char* buffer, int n, int timeoutMs);
    // Slot 11. Entry into the instrument's remote mode; text2 is read first. Any exception inside
    // shows "Unknown Baudrate" and gives false. Repeats until the instrument answers or the link fails.
    virtual bool Identify(std::string& text1, std::string& text2);
    // Slot 12. n WaitByte reads, each stored as its low 8 bits (a time-out stores 0xFF).
    virtual void ReadBytes(unsigned char* buffer, int n);
    // Slots 13 and 14.
    virtual void PurgeInput() = 0;
    virtual void PurgeOutput() = 0;
    // Slot 15. -1 = not accepted or closed; anything else = accepted.
    virtual int32_t TryPutByte(unsigned char b) = 0;
    // Writes up to n bytes without waiting; the number accepted (from the first on, in order), or -1
    // when none was (closed, no room, or a failure: LastWriteFailed tells). The default offers them
    // to TryPutByte one at a time.
    virtual int32_t TryPutBlock(const unsigned char* data, int n);
    // Slot 16. Up to n bytes within the time-out; the count, -1 when closed.
    virtual int32_t ReadBlockTimed(unsigned char* buffer, int n, int timeoutMs) = 0;
    // Slot 17. One byte 0..255, or -1 on time-out or closed link.
    virtual int32_t GetByteTimed(int timeoutMs) = 0;
    // Slot 18. One byte with the medium's current time-outs, or -1.
    virtual int32_t GetByteNow() = 0;
    // Slot 19. LinkState = value; a positive value also sets Configured for good.
    virtual void SetState(int32_t value);
    virtual void SetPortNumber(int32_t v) = 0;
    virtual void SetBaudRate(int32_t v) = 0;
    // Data bits, parity, stop bits and flow control together (the flow controls exclude one another).
    virtual void SetLineSettings(const TLineSettings& settings) = 0;
    // Raise or drop the DTR and RTS lines.
    virtual void SetDtr(bool on) = 0;
    virtual void SetRts(bool on) = 0;
    // Slots 30, 31: bytes waiting to be read / to be sent; -1 when closed.
    virtual int32_t InputCount() = 0;
    virtual int32_t OutputCount() = 0;
    // Slot 32.
    virtual int32_t GetState();
    // The rate in force.
    virtual int32_t GetBaudRate() = 0;
    // Slot 43: 1 while DSR is up (0 where the medium has no such line).
    virtual int32_t DsrState() = 0;
    // Slot 44: the adapter's latency timer; nothing here.
    virtual void SetLatency(int32_t ms);
    // Slots 45, 46.
    virtual int32_t MaxBaudRate() = 0;
    virtual std::string& LinkName(std::string& text) = 0;
    // Where the link leads, for the user: "COM 2 (/dev/ttyS1)", "USB". LinkName by default.
    virtual std::string PortText();

    // n PutByte calls in memory order: every byte has left before the next is written.
    void PutBytes(const unsigned char* data, int n);
    // Writes the n bytes as one piece and waits once, at the end, until they have left; with a
    // ByteDelay it is PutBytes. For the block protocol, where the instrument reads a block as a
    // whole; the byte-by-byte exchanges (family 1, the transfer's start) keep PutByte. Raises as
    // PutByte does.
    void PutBlock(const unsigned char* data, int n);
    void PauseSeconds(int n);
    int32_t LinkState() const { return linkState_; }
    bool IsOpen() const { return linkState_ > 0; }
    int32_t Configured() const { return configured_; }
    int32_t ByteDelay() const { return byteDelay_; }
    // Why the last Connect did or did not open the link: Ok, Refused, NoDevice, or DeviceGone when the
    // device went away while it dialled.
    TLinkStatus OpenStatus() const { return openStatus_; }
    // Whether the link closed itself because its device went away; false again after a Connect that
    // opens it.
    bool DeviceGone() const { return deviceGone_; }
    // How an exchange that found the link closed under it ended: DeviceGone or Stopped.
    TLinkStatus ClosedStatus() const { return deviceGone_ ? TLinkStatus::DeviceGone : TLinkStatus::Stopped; }
    // A stop while the link is not open, meant for a Connect that is opening it (LinkState -1): the
    // Connect ends at its next pause and returns 0 with OpenStatus Stopped. Disconnect has nothing to
    // close then. No effect on an open link.
    void StopOpening() {
        if (linkState_ <= 0) openingStopped_ = true;
    }
    TLinkHost& Host() { return host_; }
    TLinkClock& Clock() { return clock_; }
    // How an operation ends in failure, here and in the protocols above the link (blockprotocol.h).
    // Raises TLinkError(status, message) after setting the normal cursor; a closed link is a stop, or
    // DeviceGone when it closed because its device went away.
    [[noreturn]] void Fail(const char* message, TLinkStatus status = TLinkStatus::Stopped);
    // A retry limit of LinkRetry is reached: closes the link (Disconnect) and raises
    // TLinkError(Garbled, why) after setting the normal cursor.
    [[noreturn]] void GiveUp(const std::string& why);

   protected:
    virtual TVariant Variant() const { return TVariant::Serial; }
    // Whether the last write that TryPutByte refused failed on the device (an error), rather than
    // found no room to take the byte. The default knows no errors.
    virtual bool LastWriteFailed() { return false; }
    // Serial: whether the port reports a pending line-status error; clears it when it does. Media
    // without line-status counters answer false.
    virtual bool TakeLineStatusError() { return false; }
    // Whether the device has gone away for good, asked by the waits when nothing came. Must answer
    // quickly (no waiting); the default never loses its device.
    virtual bool DeviceLost() { return false; }
    // True when the link is closed because its device went away; closes it first when the open link's
    // device has just been found lost. For the waits, between turns.
    bool WentAway();
    void SetOpenStatus(TLinkStatus status) { openStatus_ = status; }
    // Connect starts: forgets a StopOpening meant for an earlier one.
    void BeginOpening() { openingStopped_ = false; }
    // A pause of Connect, ms of Clock() time in slices that let events run, so that a stop need not
    // sit it out. False as soon as StopOpening came, or the link's state changed (Disconnect).
    bool PauseWhileOpening(int64_t ms);
    void SetByteDelay(int32_t ms) { byteDelay_ = ms; }
    // Between turns of the polling loops (WaitByte, WaitForText, PutByte): block at most ms of Clock()
    // time until input may have come, or output may have drained, so that the loops do not spin.
    // Return at once is always correct; the defaults do.
    virtual void AwaitInput(int64_t ms) { (void)ms; }
    virtual void AwaitOutput(int64_t ms) { (void)ms; }
    // The time-out modes above, for a realisation's timed primitives. `attempt(waitMs)` waits at most
    // waitMs of Clock() time (0 = only look) and answers 0 or more for success or -1 for nothing yet.
    // Repeats in slices of WaitSliceMs, letting events run between slices, until success, the time-out,
    // or the link is closed; returns the attempt's answer or -1.
    int32_t TimedWait(int timeoutMs, const std::function<int32_t(int64_t waitMs)>& attempt);

    // Tells the host of a wait without a time-out for its lifetime (TLinkHost::Waiting).
    class TWaitNotice {
       public:
        TWaitNotice(TPortVirt& link, TLinkWait::TKind kind);
        ~TWaitNotice();
        TWaitNotice(const TWaitNotice&) = delete;
        TWaitNotice& operator=(const TWaitNotice&) = delete;

       private:
        TLinkHost& host_;
    };

   private:
    // After TryPutByte refused a byte: true once the device has failed every write since `since`
    // (a Clock() time, -1 = no failure yet) for MaxFailingMs; pauses between failing attempts.
    bool WritesFailedForGood(int64_t& since);
    // Waits, letting events run, until OutputCount is 0; raises "Port err." when the link closes.
    void Drain();
    // The device is gone: the link closes without touching it (nothing is there to tell).
    void LoseDevice();

    TLinkHost& host_;
    TLinkClock& clock_;
    int32_t linkState_ = 0;
    int32_t configured_ = 0;
    int32_t byteDelay_ = 0;
    TLinkStatus openStatus_ = TLinkStatus::Ok;
    bool deviceGone_ = false;
    bool openingStopped_ = false;
};

// The process-wide link, or none before the port picture first creates one.
extern std::unique_ptr<TPortVirt> CurrentLink;
