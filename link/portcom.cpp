#include "link/portcom.h"

#include "link/linktexts.h"

TPortCOM::TPortCOM(TLinkHost& host, TLinkClock& clock) : TPortVirt(host, clock) {}

TPortCOM::~TPortCOM() = default;

void TPortCOM::WriteText(const std::string& text) {
    if (!IsOpen()) return;
    control_.WriteByteBuffer(text.data(), static_cast<int>(text.size()));
}

void TPortCOM::Disconnect() {
    if (!IsOpen()) return;
    SetDtr(false);
    SetRts(false);
    PauseSeconds(1);
    SetState(0);
    Host().SetBusyCursor(false);
}

std::string TPortCOM::PortText() {
    const int port = control_.PortNumber();
    return "COM " + std::to_string(port) + " (" + ComDevicePath(port) + ")";
}

bool TPortCOM::DialStep(const std::string& command, const std::string& answer) {
    WriteText(command + "\r\n");
    if (!WaitForText(answer)) return false;
    return WaitForText("\n");
}

int32_t TPortCOM::Connect(int32_t port, int32_t baud, int32_t byteDelay, const std::string& modemInit,
                          bool waitDsr, const std::string& phone) {
    if (!Configured()) {
        SetByteDelay(byteDelay);
        control_.Close();
        SetPortNumber(port);
        SetLineSettings(TLineSettings{});
        SetRts(false);
        SetDtr(false);
        // No events (break, CTS, DSR, line status, ring, CD, data, trigger): the link polls everything.
        control_.SetEvents(false);
        SetState(0);
    }
    SetBaudRate(baud);
    SetOpenStatus(TLinkStatus::Ok);
    BeginOpening();
    const std::string question = "Connect Serial link < COM " + std::to_string(port) +
                                 " > between computer and VARNEL or TARSK click <OK Button>";
    if (!Host().Ask(LinkText::CommunicationTitle, question, TLinkHost::TButtons::OkCancel)) {
        SetState(-1);
        SetOpenStatus(TLinkStatus::Refused);
        return 0;
    }
    // A configured link is not reopened and dials nothing, unless its device went away meanwhile: that
    // port never carries a byte again, and the device may be back under the same name.
    if (Configured() && !control_.HungUp()) {
        SetState(port);
        return port;
    }
    int handle = control_.Open();
    if (handle == -1 || handle == 0) {
        SetOpenStatus(TLinkStatus::NoDevice);
        PurgeOutput();
        return LinkState();
    }
    SetState(-1);
    SetDtr(false);
    SetRts(false);
    PurgeOutput();
    // The lines stay down a second; a stop meanwhile cancels the opening (LinkState stays -1).
    if (!PauseWhileOpening(1000)) {
        SetOpenStatus(TLinkStatus::Stopped);
        return 0;
    }
    Host().ProcessEvents();
    SetRts(true);
    SetDtr(true);
    if (waitDsr && DsrState() == 0) return 0;
    SetState(port);
    if (phone.empty()) {
        PurgeOutput();
        PurgeInput();
        return port;
    }
    TWaitNotice notice(*this, TLinkWait::TKind::Dialling);
    auto undialled = [this] {
        if (DeviceGone()) SetOpenStatus(TLinkStatus::DeviceGone);
        return 0;
    };
    if (!DialStep("ATZ", "OK")) return undialled();
    if (!modemInit.empty() && !DialStep(modemInit, "OK")) return undialled();
    if (!DialStep("ATDT" + phone, "CONNECT")) return undialled();
    PauseSeconds(1);
    PurgeOutput();
    PurgeInput();
    return port;
}

void TPortCOM::SetLineSettings(const TLineSettings& settings) {
    using TFlow = TLineSettings::TFlow;
    control_.SetDataBits(settings.DataBits);
    control_.SetParity(settings.Parity);
    control_.SetStopBits(settings.StopBits);
    control_.SetXonXoff(settings.Flow == TFlow::XonXoff);
    control_.SetDtrDsr(settings.Flow == TFlow::DtrDsr);
    control_.SetRtsCts(settings.Flow == TFlow::RtsCts);
}

void TPortCOM::PurgeInput() {
    while (InputCount() >= 1 && IsOpen()) {
        GetByteNow();
        Host().ProcessEvents();
    }
}

void TPortCOM::PurgeOutput() { control_.ClearTxBuffer(); }

int32_t TPortCOM::TryPutByte(unsigned char b) {
    if (!IsOpen()) return -1;
    return control_.WriteByte(b);
}

int32_t TPortCOM::TryPutBlock(const unsigned char* data, int n) {
    if (!IsOpen()) return -1;
    return control_.WriteBytes(data, n);
}

int32_t TPortCOM::GetByteTimed(int timeoutMs) {
    if (!IsOpen()) return -1;
    return TimedWait(timeoutMs, [this](int64_t wait) {
        return control_.ReadByteTimed(static_cast<int>(Clock().RealMs(wait)));
    });
}

int32_t TPortCOM::ReadBlockTimed(unsigned char* buffer, int n, int timeoutMs) {
    if (!IsOpen()) return -1;
    int count = 0;
    TimedWait(timeoutMs, [&](int64_t wait) -> int32_t {
        count +=
            control_.ReadByteBufferTimed(buffer + count, n - count, static_cast<int>(Clock().RealMs(wait)));
        return count >= n ? count : -1;
    });
    return count;
}

int32_t TPortCOM::GetByteNow() {
    if (!IsOpen()) return -1;
    return control_.ReadByte();
}

int32_t TPortCOM::InputCount() {
    if (!IsOpen()) return -1;
    return control_.RxCount();
}

int32_t TPortCOM::OutputCount() {
    if (!IsOpen()) return -1;
    return control_.TxCount();
}

bool TPortCOM::TakeLineStatusError() {
    using TLineError = TPortCtl::TLineError;
    // Tested in this order; the first one pending counts, and clears them all.
    for (TLineError kind :
         {TLineError::Overrun, TLineError::Parity, TLineError::Framing, TLineError::Break}) {
        if (control_.LineError(kind)) {
            control_.ClearLineStatus();
            return true;
        }
    }
    return false;
}

void TPortCOM::AwaitInput(int64_t ms) { control_.WaitReadable(static_cast<int>(Clock().RealMs(ms))); }

void TPortCOM::AwaitOutput(int64_t ms) { control_.WaitWritable(static_cast<int>(Clock().RealMs(ms))); }
