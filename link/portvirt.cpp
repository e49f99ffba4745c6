#include "link/portvirt.h"

#include <algorithm>
#include <cstring>

#include "link/linktexts.h"

std::unique_ptr<TPortVirt> CurrentLink;

namespace {

int NextBlock(int n) { return n >= Wire::LastBlockNumber ? 1 : n + 1; }
// The checksum's share of a block length: the two bytes of the unshifted 16-bit length.
uint16_t LengthSum(int length) { return static_cast<uint16_t>((length & 0xFF) + ((length >> 8) & 0xFF)); }
// Bytes read in a row by WaitForText before pending events run anyway, so that a stream of garbage
// cannot keep a stop from taking effect.
constexpr int EventsEveryBytes = 256;

}  // namespace

std::size_t TByteStream::Read(unsigned char* out, std::size_t n) {
    std::size_t k = std::min(n, data_.size() - pos_);
    if (k > 0) std::memcpy(out, data_.data() + pos_, k);
    pos_ += k;
    return k;
}

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

uint16_t TPortVirt::ByteSum(const unsigned char* data, int n) {
    uint32_t sum = 0;
    for (int i = 0; i < n; ++i) sum += data[i];
    return static_cast<uint16_t>(sum & 0xFFFF);
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

void TPortVirt::SendData(const unsigned char* data, std::size_t length, TProgressIndicator* progress) {
    transferStream_.Clear();
    if (data != nullptr && length > 0) transferStream_.Write(data, length);
    if (transferStream_.Size() == 0) {
        host_.ShowMessage(LinkText::ErrBuffer);
        return;
    }
    SendStream(progress);
}

void TPortVirt::SendStream(TProgressIndicator* progress) {
    host_.SetBusyCursor(true);
    const int size = static_cast<int>(transferStream_.Size());
    if (progress) {
        progress->SetMinimum(0);
        progress->SetMaximum(size);
        progress->SetPosition(0);
    }
    transferStream_.Rewind();
    int remaining = size;

    // The instrument sends bytes and waits for their echo; its 0 starts the transfer.
    for (int before = 0;; ++before) {
        if (before >= LinkRetry::StartBytes) GiveUp(LinkText::NoTransferStart(before));
        int32_t b = WaitByte();
        PutByte(static_cast<unsigned char>(b & 0xFF));
        if (b == Wire::Start) break;
    }
    int n = 1;
    int p = 1;
    clock_.SleepMs(10);
    unsigned char word[4];
    Wire::PutLe32(word, static_cast<uint32_t>(remaining));
    PutBlock(word, 4);

    // The data and, behind them, their checksum: both go in one write.
    unsigned char block[Wire::MaxBlock + 2];
    int length = 0;
    uint16_t lengthSum = 0;
    int fruitless = 0;  // requests in a row that did not move the transfer on
    for (;;) {
        unsigned char req[2];
        ReadBytes(req, 2);
        const int r = Wire::Le16(req);
        PurgeInput();
        PutBlock(req, 2);
        if (r != n && ++fruitless > LinkRetry::BlockRetries)
            GiveUp(r == p ? LinkText::BlockNeverArrived(p, fruitless) : LinkText::RequestsGarbled(fruitless));
        if (r != n && r != p) continue;  // neither the next nor a repeat: ignored
        bool fresh = false;
        if (r == n) {
            fruitless = 0;
            if (remaining <= 0) break;
            length = std::min(remaining, Wire::MaxBlock);
            lengthSum = LengthSum(length);
            transferStream_.Read(block, static_cast<std::size_t>(length));
            host_.ProcessEvents();
            remaining -= length;
            p = n;
            n = NextBlock(n);
            fresh = true;
        }
        // Otherwise r == p: a repeat request gets the last block again, the stream does not move back.
        Wire::PutLe16(word, static_cast<uint16_t>(length << 6));
        PutBlock(word, 2);
        // The instrument needs a moment between the length word and the data.
        clock_.SleepMs(10);
        if (fresh && progress) {
            // One step a byte, back to 0 whenever a step would pass the maximum.
            int pos = progress->Position();
            for (int i = 0; i < length; ++i) pos = pos + 1 > progress->Maximum() ? 0 : pos + 1;
            progress->SetPosition(pos);
            host_.ProcessEvents();
        }
        Wire::PutLe16(block + length, static_cast<uint16_t>(lengthSum + ByteSum(block, length)));
        PutBlock(block, length + 2);
    }
    if (progress) progress->SetPosition(0);
    host_.SetBusyCursor(false);
    host_.ProcessEvents();
}

void TPortVirt::ReceiveStream(TProgressIndicator* progress) {
    host_.SetBusyCursor(true);
    transferStream_.Clear();
    if (linkState_ <= 0) Fail(LinkText::PortErrXbtCload);
    PurgeOutput();
    for (int before = 0;; ++before) {
        if (before >= LinkRetry::StartBytes) GiveUp(LinkText::NoTransferStart(before));
        PurgeInput();
        PutByte(Wire::Start);
        if (WaitByte() == Wire::Start) break;
    }
    int n = 1;
    unsigned char buf[Wire::MaxBlock];
    unsigned char two[2];
    int32_t total = 0;
    if (ReadBlockTimed(buf, 4, 3000) == 4) total = Wire::LeInt32(buf);
    // A negative total is out of range: read it as "no total", which receives one block.
    if (total < 0) total = 0;
    if (progress) {
        progress->SetMinimum(0);
        progress->SetMaximum(total > 0 ? total : Wire::MaxBlock);
        progress->SetPosition(0);
    }
    // Requests in a row that brought no block: a wrong echo of the request, or a spoilt block.
    int fruitless = 0;
    auto fruitlessRequest = [&] {
        if (++fruitless > LinkRetry::BlockRetries) GiveUp(LinkText::BlockCameSpoilt(n, fruitless));
    };
    for (;;) {
        for (;;) {
            PurgeInput();
            Wire::PutLe16(two, static_cast<uint16_t>(n));
            PutBlock(two, 2);
            ReadBytes(two, 2);
            if (Wire::Le16(two) == n) break;
            fruitlessRequest();
        }
        ReadBytes(two, 2);
        int length = Wire::Le16(two) >> 6;
        // The length word has room for 1,023; more than a block holds is read as the rest of the total.
        if (length > Wire::MaxBlock) length = total < Wire::MaxBlock ? total : Wire::MaxBlock;
        if (length == 0) break;
        ReadBytes(buf, length);
        ReadBytes(two, 2);
        const uint16_t sum = static_cast<uint16_t>(LengthSum(length) + ByteSum(buf, length));
        if (sum == Wire::Le16(two)) {
            n = NextBlock(n);
            if (progress) {
                int pos = progress->Position() + length;
                progress->SetPosition(pos > progress->Maximum() ? 0 : pos);
            }
            transferStream_.Write(buf, static_cast<std::size_t>(length));
            host_.ProcessEvents();
            total -= length;
            fruitless = 0;
        } else {
            fruitlessRequest();
        }
        // A wrong checksum keeps n, so the same block is asked for again.
        if (total <= 0) break;
    }
    Wire::PutLe16(two, static_cast<uint16_t>(n));
    PutBlock(two, 2);
    ReadBytes(two, 2);
    if (progress) progress->SetPosition(0);
    host_.SetBusyCursor(false);
    host_.ProcessEvents();
}

int32_t TPortVirt::ReceiveData(unsigned char* buffer, std::size_t capacity, TProgressIndicator* progress) {
    ReceiveStream(progress);
    const std::size_t size = transferStream_.Size();
    if (size > 0 && buffer == nullptr) {
        host_.ShowMessage(LinkText::ErrBuffer);
        return 0;
    }
    const std::size_t n = std::min(size, capacity);
    if (n > 0) std::memcpy(buffer, transferStream_.Bytes().data(), n);
    return static_cast<int32_t>(n);
}
