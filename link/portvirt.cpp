#include "link/portvirt.h"

#include <algorithm>
#include <cstring>

#include "link/linktexts.h"

std::unique_ptr<TPortVirt> CurrentLink;

namespace {

// Bytes read in a row by WaitForText before pending events run anyway, so that a stream of garbage
// cannot keep a stop from taking effect.
constexpr int EventsEveryBytes = 256;

}  // namespace

TPortVirt::TPortVirt(TLinkHost& host, TLinkClock& clock) : host_(host), clock_(clock) {}

TPortVirt::~TPortVirt() = default;

void TPortVirt::Fail(const char* message, TLinkStatus status) {
    host_.SetBusyCursor(false);
    if (status == TLinkStatus::Stopped) status = ClosedStatus();
    throw TLinkError(status, message);
}

void TPortVirt::GiveUp(const std::string& why) {
    // The exchange is left half done: the link closes as at a stop, so that nothing more (the end
    // command of the uploads) is sent into it.
    Disconnect();
    host_.SetBusyCursor(false);
    throw TLinkError(TLinkStatus::Garbled, why);
}

void TPortVirt::LoseDevice() {
    deviceGone_ = true;
    linkState_ = 0;
    host_.SetBusyCursor(false);
}

bool TPortVirt::WentAway() {
    if (linkState_ > 0 && DeviceLost()) LoseDevice();
    return deviceGone_ && linkState_ <= 0;
}

std::string TPortVirt::PortText() {
    std::string name;
    return LinkName(name);
}

TPortVirt::TWaitNotice::TWaitNotice(TPortVirt& link, TLinkWait::TKind kind) : host_(link.Host()) {
    host_.Waiting(TLinkWait{kind, link.PortText()});
}

TPortVirt::TWaitNotice::~TWaitNotice() { host_.Waiting(TLinkWait{}); }

int32_t TPortVirt::TimedWait(int timeoutMs, const std::function<int32_t(int64_t)>& attempt) {
    if (timeoutMs == 0) return attempt(0);
    const int64_t deadline = clock_.NowMs() + timeoutMs;
    for (;;) {
        int64_t wait = WaitSliceMs;
        if (timeoutMs > 0) wait = std::clamp<int64_t>(deadline - clock_.NowMs(), 0, WaitSliceMs);
        int32_t r = attempt(wait);
        if (r >= 0) return r;
        if (WentAway()) return -1;
        if (timeoutMs > 0 && clock_.NowMs() >= deadline) return -1;
        host_.ProcessEvents();
        if (!IsOpen()) return -1;
    }
}

int32_t TPortVirt::WaitByte() {
    while (linkState_ > 0) {
        host_.ProcessEvents();
        if (InputCount() > 0) return GetByteTimed(LinkTimeout::Delivery);
        if (WentAway()) break;
        AwaitInput(WaitSliceMs);
    }
    Fail(LinkText::PortErrGetcom);
}

bool TPortVirt::WritesFailedForGood(int64_t& since) {
    if (!LastWriteFailed()) {
        since = -1;
        AwaitOutput(WaitSliceMs);
        return false;
    }
    const int64_t now = clock_.NowMs();
    if (since < 0) since = now;
    if (now - since >= MaxFailingMs) {
        LoseDevice();
        return true;
    }
    clock_.SleepMs(FailingWritePauseMs);
    return false;
}

void TPortVirt::PutByte(unsigned char b) {
    int64_t failingSince = -1;
    for (;;) {
        if (linkState_ <= 0) Fail(LinkText::PortErrPutcom);
        host_.ProcessEvents();
        if (TryPutByte(b) != -1) break;
        if (WentAway() || WritesFailedForGood(failingSince)) Fail(LinkText::PortErrPutcom);
    }
    Drain();
    if (byteDelay_ != 0) clock_.SleepMs(byteDelay_);
}

void TPortVirt::Drain() {
    for (;;) {
        int32_t pending = OutputCount();
        if (pending == 0) break;
        if (linkState_ <= 0) Fail(LinkText::PortErr);
        host_.ProcessEvents();
        AwaitOutput(WaitSliceMs);
    }
}

int32_t TPortVirt::TryPutBlock(const unsigned char* data, int n) {
    int32_t done = 0;
    while (done < n && TryPutByte(data[done]) != -1) ++done;
    return done > 0 ? done : -1;
}

void TPortVirt::PutBytes(const unsigned char* data, int n) {
    for (int i = 0; i < n; ++i) PutByte(data[i]);
}

void TPortVirt::PutBlock(const unsigned char* data, int n) {
    if (byteDelay_ != 0) {
        PutBytes(data, n);
        return;
    }
    int done = 0;
    int64_t failingSince = -1;
    while (done < n) {
        if (linkState_ <= 0) Fail(LinkText::PortErrPutcom);
        host_.ProcessEvents();
        const int32_t taken = TryPutBlock(data + done, n - done);
        if (taken > 0) {
            done += taken;
            failingSince = -1;
            continue;
        }
        if (WentAway() || WritesFailedForGood(failingSince)) Fail(LinkText::PortErrPutcom);
    }
    Drain();
}

void TPortVirt::PauseSeconds(int n) { clock_.SleepMs(static_cast<int64_t>(n) * 1000); }

bool TPortVirt::PauseWhileOpening(int64_t ms) {
    const int32_t state = linkState_;
    const int64_t end = clock_.NowMs() + ms;
    for (;;) {
        if (openingStopped_ || linkState_ != state) return false;
        const int64_t left = end - clock_.NowMs();
        if (left <= 0) return true;
        clock_.SleepMs(std::min<int64_t>(left, WaitSliceMs));
        host_.ProcessEvents();
    }
}

bool TPortVirt::ReadLine(std::string& text, int maxChars, int timeoutMs) {
    if (linkState_ < 1) Fail(LinkText::PortErrGetstring);
    text.clear();
    int left = maxChars;
    for (;;) {
        unsigned char ch = 0;
        if (ReadBlockTimed(&ch, 1, timeoutMs) < 1) {
            text.clear();
            return false;
        }
        --left;
        if (ch != Wire::Lf && ch != Wire::Cr) text += static_cast<char>(ch);
        if (ch == Wire::Lf || left <= 0) return true;
    }
}

bool TPortVirt::WaitForText(const std::string& s) {
    std::string seen;
    int sinceEvents = 0;
    for (;;) {
        if (InputCount() <= 0) {
            host_.ProcessEvents();
            sinceEvents = 0;
            if (linkState_ > 0 && !WentAway()) {
                AwaitInput(WaitSliceMs);
                continue;
            }
            host_.SetBusyCursor(false);
            if (Variant() == TVariant::Usb) throw TLinkError(ClosedStatus(), LinkText::WaitError);
            return false;
        }
        int32_t b = GetByteNow();
        if (++sinceEvents >= EventsEveryBytes) {
            host_.ProcessEvents();
            sinceEvents = 0;
        }
        if (b < 0) continue;
        seen += static_cast<char>(b);
        if (seen.find(s) != std::string::npos) return true;
        // Only the tail can still complete a match; keeps memory bounded however much garbage comes.
        if (seen.size() > s.size() + 64) seen.erase(0, seen.size() - s.size());
    }
}

bool TPortVirt::WaitPrompt() {
    TWaitNotice notice(*this, TLinkWait::TKind::Prompt);
    return WaitForText(Wire::Prompt);
}

bool TPortVirt::SendCommand(unsigned char command, int timeoutMs) {
    using namespace LinkRetry;
    const bool usb = Variant() == TVariant::Usb;

    host_.SetBusyCursor(true);
    if (linkState_ <= 0) Fail(LinkText::PortErrSetcmd);
    PurgeInput();
    int syncedAt = 0;
    for (int attempt = 1; attempt <= SyncAttempts; ++attempt) {
        PutByte(Wire::Sync);
        if (GetByteTimed(timeoutMs) == Wire::Sync) {
            syncedAt = attempt;
            break;
        }
    }
    PurgeOutput();
    if (usb && (syncedAt == 0 || syncedAt > UsbSyncAttempts)) {
        host_.SetBusyCursor(false);
        return false;
    }
    auto writeCommandByte = [this](unsigned char b) {
        int64_t failingSince = -1;
        for (;;) {
            if (linkState_ <= 0) Fail(LinkText::PortErrSetcmd);
            if (TryPutByte(b) != -1) return;
            host_.ProcessEvents();
            if (WentAway() || WritesFailedForGood(failingSince)) Fail(LinkText::PortErrSetcmd);
        }
    };
    int32_t r = -1;
    int writes = 0;
    int refusals = 0;
    do {
        PurgeInput();
        writeCommandByte(command);
        // The instrument needs a moment between the command byte and its complement.
        clock_.SleepMs(10);
        writeCommandByte(static_cast<unsigned char>(command ^ 0xFF));
        ++writes;
        r = GetByteTimed(timeoutMs);
        host_.ProcessEvents();
        refusals = r == 0xFF ? refusals + 1 : 0;
    } while ((r == 0xFF || r == -1) && (usb ? writes < UsbCommandWrites : refusals < SerialCommandRefusals));
    host_.SetBusyCursor(false);
    return (r & 0xFF) == command;
}

bool TPortVirt::CommandAtPrompt(unsigned char command, int timeoutMs) {
    if (!WaitPrompt()) return false;
    return SendCommand(command, timeoutMs);
}

int32_t TPortVirt::ReadBytesTimed(unsigned char* buffer, int n, int timeoutMs) {
    int count = 0;
    for (; count < n; ++count) {
        if (linkState_ <= 0) Fail(LinkText::PortErrGetcom);
        int32_t b = GetByteTimed(timeoutMs);
        if (b < 0) break;
        buffer[count] = static_cast<unsigned char>(b);
    }
    return count;
}

void TPortVirt::ReadBytes(unsigned char* buffer, int n) {
    for (int i = 0; i < n; ++i) buffer[i] = static_cast<unsigned char>(WaitByte() & 0xFF);
}

bool TPortVirt::Identify(std::string& text1, std::string& text2) {
    const bool usb = Variant() == TVariant::Usb;
    // Attempts 1 to 10 run at the rate given to Connect, 11 to 20 at the fall-back rate; after 20 the
    // starting rate comes back and an escape command resets the instrument's menu.
    constexpr int FallbackAfter = 10;
    constexpr int EscapeAfter = 20;
    const int32_t fallbackRate = usb ? 115200 : 38400;
    const int discardMs = usb ? 100 : 5000;
    const int echoMs = usb ? 2000 : 5000;
    TWaitNotice notice(*this, TLinkWait::TKind::Identification);
    try {
        int attempts = 0;
        int32_t startRate = GetBaudRate();
        for (;;) {
            host_.ProcessEvents();
            unsigned char junk = 0;
            if (usb) {
                while (InputCount() > 0) ReadBlockTimed(&junk, 1, discardMs);
            } else {
                while (InputCount() != 0 && linkState_ >= 1) ReadBlockTimed(&junk, 1, discardMs);
            }
            PutByte(Wire::Sync);
            clock_.SleepMs(100);
            int ch = 0;
            if (usb || !TakeLineStatusError()) {
                unsigned char b = 0;
                if (ReadBlockTimed(&b, 1, echoMs) == 1) ch = b;
            }
            if (attempts == FallbackAfter) {
                startRate = GetBaudRate();
                SetBaudRate(fallbackRate);
            }
            ++attempts;
            if (attempts == EscapeAfter) {
                SetBaudRate(startRate);
                clock_.SleepMs(100);
                bool ok = SendCommand(static_cast<unsigned char>(TCommand::Escape), 2000);
                if (usb && !ok) return false;
                clock_.SleepMs(1000);
                attempts = 0;
            }
            if (ch != Wire::Sync) continue;
            if (!ReadLine(text2, 40, 15000)) return false;
            return ReadLine(text1, 40, 15000);
        }
    } catch (const std::exception&) {
        host_.ShowMessage(LinkText::UnknownBaudrate);
        return false;
    }
}

void TPortVirt::SetState(int32_t value) {
    linkState_ = value;
    if (value > 0) {
        configured_ = 1;
        deviceGone_ = false;
    }
}

int32_t TPortVirt::GetState() { return linkState_; }

void TPortVirt::SetLatency(int32_t) {}
