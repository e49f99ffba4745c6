#include "link/portusb.h"

#include <algorithm>

#include "link/d2xxftdi.h"
#include "link/linktexts.h"
#include "link/usbmonitor.h"

namespace {

// How often a wait looks at the adapter's receive queue. One look costs a USB transfer that the chip
// answers within its latency timer, so polling faster gains nothing.
constexpr int64_t PollMs = 1;

}  // namespace

TPortUSB::TPortUSB(TLinkHost& host, std::shared_ptr<TD2xx> d2xx, TLinkClock& clock, TNoAdapter noAdapter)
    : TPortVirt(host, clock), d2xx_(std::move(d2xx)), noAdapter_(noAdapter) {}

TPortUSB::~TPortUSB() = default;

int32_t TPortUSB::DeviceCount() { return ::DeviceCount(*d2xx_); }

void TPortUSB::Disconnect() {
    if (LinkState() <= 0) return;
    SetDtr(false);
    SetRts(false);
    PauseSeconds(1);
    d2xx_->Close(DeviceHandle);
    // A closed handle names nothing any more; forgetting it keeps the next Connect from closing it twice.
    DeviceHandle = 0;
    SetState(0);
    Host().SetBusyCursor(false);
}

int32_t TPortUSB::Connect(int32_t port, int32_t baud, int32_t byteDelay, const std::string&, bool,
                          const std::string&) {
    SetByteDelay(byteDelay);
    if (DeviceHandle != 0) {
        d2xx_->Close(DeviceHandle);
        DeviceHandle = 0;
    }
    SetState(-1);
    SetOpenStatus(TLinkStatus::Ok);
    BeginOpening();
    for (;;) {
        if (noAdapter_ == TNoAdapter::Cancel && DeviceCount() == 0) {
            Host().ShowMessage(NoUsbAdapterText);
            SetOpenStatus(TLinkStatus::NoDevice);
            return 0;
        }
        if (!Host().Ask(LinkText::CommunicationTitle, ConnectQuestion, TLinkHost::TButtons::OkCancel)) {
            SetOpenStatus(TLinkStatus::Refused);
            return 0;
        }
        if (DeviceCount() > 0) break;
    }
    TD2xxStatus opened = d2xx_->Open(0, &DeviceHandle);
    if (opened != D2xxOk) DeviceHandle = 0;
    d2xx_->ClrDtr(DeviceHandle);
    d2xx_->ClrRts(DeviceHandle);
    DtrOn = RtsOn = 0;
    // A stop during the pauses of opening cancels it; the next Connect closes the adapter.
    if (!PauseWhileOpening(1000)) {
        SetOpenStatus(TLinkStatus::Stopped);
        return 0;
    }
    if (opened != D2xxOk) {
        SetOpenStatus(TLinkStatus::NoDevice);
        return 0;
    }
    d2xx_->SetBaudRate(DeviceHandle, static_cast<std::uint32_t>(baud));
    BaudRateSet = baud;
    d2xx_->SetTimeouts(DeviceHandle, WriteTimeoutMs, WriteTimeoutMs);
    readTimeoutMs_ = WriteTimeoutMs;
    failingSince_ = -1;
    SetState(port);
    d2xx_->SetDtr(DeviceHandle);
    d2xx_->SetRts(DeviceHandle);
    DtrOn = RtsOn = 1;
    d2xx_->SetLatencyTimer(DeviceHandle, LatencyMs);
    if (!PauseWhileOpening(400)) {
        SetOpenStatus(TLinkStatus::Stopped);
        return 0;
    }
    return LinkState();
}

void TPortUSB::PurgeInput() {
    d2xx_->Purge(DeviceHandle, D2xxPurgeRx);
    Host().ProcessEvents();
}

void TPortUSB::PurgeOutput() {
    if (IsOpen()) d2xx_->Purge(DeviceHandle, D2xxPurgeTx);
}

int32_t TPortUSB::TryPutByte(unsigned char b) {
    lastWriteFailed_ = false;
    if (!IsOpen()) return -1;
    std::uint32_t written = 0;
    const TD2xxStatus status = d2xx_->Write(DeviceHandle, &b, 1, &written);
    lastWriteFailed_ = status != D2xxOk;
    return status == D2xxOk && written == 1 ? 0 : -1;
}

int32_t TPortUSB::TryPutBlock(const unsigned char* data, int n) {
    lastWriteFailed_ = false;
    if (!IsOpen()) return -1;
    if (n <= 0) return 0;
    std::uint32_t written = 0;
    const TD2xxStatus status = d2xx_->Write(DeviceHandle, data, static_cast<std::uint32_t>(n), &written);
    lastWriteFailed_ = status != D2xxOk;
    return status == D2xxOk && written > 0 ? static_cast<int32_t>(written) : -1;
}

void TPortUSB::WaitForInput(int64_t ms) {
    const int64_t deadline = Clock().NowMs() + ms;
    for (;;) {
        if (!IsOpen() || InputCount() > 0) return;
        int64_t left = deadline - Clock().NowMs();
        if (left <= 0) return;
        Clock().SleepMs(std::min(left, PollMs));
    }
}

int32_t TPortUSB::ReadWithin(unsigned char* buffer, int n, int timeoutMs) {
    int32_t got = 0;
    auto take = [&]() {
        std::uint32_t waiting = 0;
        if (!NoteQueueStatus(d2xx_->GetQueueStatus(DeviceHandle, &waiting)) || waiting == 0) return false;
        std::uint32_t want = std::min<std::uint32_t>(waiting, static_cast<std::uint32_t>(n - got));
        std::uint32_t read = 0;
        d2xx_->Read(DeviceHandle, buffer + got, want, &read);
        got += static_cast<int32_t>(read);
        return got >= n;
    };
    TimedWait(timeoutMs, [&](int64_t waitMs) -> int32_t {
        if (take()) return got;
        if (waitMs <= 0) return -1;
        WaitForInput(waitMs);
        return IsOpen() && take() ? got : -1;
    });
    return got;
}

int32_t TPortUSB::ReadBlockTimed(unsigned char* buffer, int n, int timeoutMs) {
    if (!IsOpen()) return -1;
    if (n <= 0) return 0;
    readTimeoutMs_ = static_cast<std::uint32_t>(std::max(timeoutMs, 0));
    d2xx_->SetTimeouts(DeviceHandle, readTimeoutMs_, WriteTimeoutMs);
    return ReadWithin(buffer, n, timeoutMs);
}

int32_t TPortUSB::GetByteTimed(int timeoutMs) {
    unsigned char b = 0;
    return ReadBlockTimed(&b, 1, timeoutMs) == 1 ? b : -1;
}

int32_t TPortUSB::GetByteNow() {
    if (!IsOpen()) return -1;
    unsigned char b = 0;
    return ReadWithin(&b, 1, static_cast<int>(readTimeoutMs_)) == 1 ? b : -1;
}

void TPortUSB::SetBaudRate(int32_t v) {
    if (!IsOpen()) return;
    d2xx_->SetBaudRate(DeviceHandle, static_cast<std::uint32_t>(v));
    BaudRateSet = v;
}

void TPortUSB::SetLineSettings(const TLineSettings& settings) {
    using TFlow = TLineSettings::TFlow;
    if (!IsOpen()) return;
    WordLength = settings.DataBits == 7 ? 7 : 8;
    StopBitsCode = settings.StopBits == 2 ? 2 : 0;
    ParityCode = settings.Parity >= 1 && settings.Parity <= 4 ? settings.Parity : 0;
    d2xx_->SetDataCharacteristics(DeviceHandle, static_cast<std::uint8_t>(WordLength),
                                  static_cast<std::uint8_t>(StopBitsCode),
                                  static_cast<std::uint8_t>(ParityCode));
    // The three flow controls exclude one another.
    XonXoffOn = settings.Flow == TFlow::XonXoff ? 1 : 0;
    DtrDsrOn = settings.Flow == TFlow::DtrDsr ? 1 : 0;
    RtsCtsOn = settings.Flow == TFlow::RtsCts ? 1 : 0;
    NoFlowControl = settings.Flow == TFlow::None ? 1 : 0;
    switch (settings.Flow) {
        case TFlow::XonXoff:
            d2xx_->SetFlowControl(DeviceHandle, D2xxFlowXonXoff, 17, 19);
            break;
        case TFlow::DtrDsr:
            d2xx_->SetFlowControl(DeviceHandle, D2xxFlowDtrDsr, 0, 0);
            break;
        case TFlow::RtsCts:
            d2xx_->SetFlowControl(DeviceHandle, D2xxFlowRtsCts, 0, 0);
            break;
        case TFlow::None:
            d2xx_->SetFlowControl(DeviceHandle, D2xxFlowNone, 0, 0);
            break;
    }
}

void TPortUSB::SetDtr(bool on) {
    if (!IsOpen()) return;
    DtrOn = on ? 1 : 0;
    if (on)
        d2xx_->SetDtr(DeviceHandle);
    else
        d2xx_->ClrDtr(DeviceHandle);
}

void TPortUSB::SetRts(bool on) {
    if (!IsOpen()) return;
    RtsOn = on ? 1 : 0;
    if (on)
        d2xx_->SetRts(DeviceHandle);
    else
        d2xx_->ClrRts(DeviceHandle);
}

int32_t TPortUSB::InputCount() {
    if (!IsOpen()) return -1;
    std::uint32_t waiting = 0;
    if (!NoteQueueStatus(d2xx_->GetQueueStatus(DeviceHandle, &waiting))) return 0;
    return static_cast<int32_t>(waiting);
}

bool TPortUSB::NoteQueueStatus(TD2xxStatus status) {
    if (status == D2xxOk) {
        failingSince_ = -1;
        return true;
    }
    if (failingSince_ < 0) failingSince_ = Clock().NowMs();
    return false;
}

bool TPortUSB::DeviceLost() { return failingSince_ >= 0 && Clock().NowMs() - failingSince_ >= MaxFailingMs; }

int32_t TPortUSB::OutputCount() {
    if (!IsOpen()) return -1;
    std::uint32_t rx = 0, tx = 0, events = 0;
    if (d2xx_->GetStatus(DeviceHandle, &rx, &tx, &events) != D2xxOk) return 0;
    return static_cast<int32_t>(tx);
}

int32_t TPortUSB::DsrState() {
    std::uint32_t status = 0;
    if (d2xx_->GetModemStatus(DeviceHandle, &status) != D2xxOk) return 0;
    return (status & D2xxModemDsr) ? 1 : 0;
}

void TPortUSB::SetLatency(int32_t ms) {
    d2xx_->SetLatencyTimer(DeviceHandle, static_cast<std::uint8_t>(ms & 0xFF));
}

void TPortUSB::AwaitInput(int64_t ms) { WaitForInput(ms); }

void TPortUSB::AwaitOutput(int64_t ms) { Clock().SleepMs(std::min(ms, PollMs)); }

std::unique_ptr<TPortVirt> MakeUsbLink(TLinkHost& host, TLinkClock& clock, TNoAdapter noAdapter) {
    return std::make_unique<TPortUSB>(host, SystemD2xx(), clock, noAdapter);
}

void InstallUsbLinkFactory(TNoAdapter noAdapter) {
    if (UsbLinkFactory()) return;
    UsbLinkFactory() = [noAdapter](TLinkHost& host, TLinkClock& clock) {
        return MakeUsbLink(host, clock, noAdapter);
    };
}
