#include "tests/support/memorylink.h"

#include "link/linktexts.h"

void TMemoryLink::Disconnect() {
    if (!IsOpen()) return;
    ++DisconnectCount;
    SetDtr(false);
    SetRts(false);
    SetState(0);
    Host().SetBusyCursor(false);
}

int32_t TMemoryLink::Connect(int32_t port, int32_t baud, int32_t byteDelay, const std::string&, bool,
                             const std::string&) {
    SetByteDelay(byteDelay);
    SetPortNumber(port);
    SetBaudRate(baud);
    SetOpenStatus(TLinkStatus::Ok);
    if (AskOnConnect &&
        !Host().Ask(LinkText::CommunicationTitle, "Connect memory link", TLinkHost::TButtons::OkCancel)) {
        SetState(-1);
        SetOpenStatus(TLinkStatus::Refused);
        return 0;
    }
    if (FailOpen) {
        SetState(0);
        SetOpenStatus(TLinkStatus::NoDevice);
        return 0;
    }
    SetState(port);
    SetDtr(true);
    SetRts(true);
    return port;
}

void TMemoryLink::PurgeInput() {
    if (IsOpen()) input_.clear();
}

int32_t TMemoryLink::TryPutByte(unsigned char b) {
    if (!IsOpen()) return -1;
    written_.push_back(b);
    if (OnWrite) OnWrite(b);
    return 0;
}

int32_t TMemoryLink::TakeByte() {
    if (input_.empty()) return -1;
    unsigned char b = input_.front();
    input_.pop_front();
    return b;
}

int32_t TMemoryLink::GetByteTimed(int timeoutMs) {
    if (!IsOpen()) return -1;
    return TimedWait(timeoutMs, [this](int64_t wait) {
        int32_t b = TakeByte();
        if (b < 0) Clock().SleepMs(wait);
        return b;
    });
}

int32_t TMemoryLink::ReadBlockTimed(unsigned char* buffer, int n, int timeoutMs) {
    if (!IsOpen()) return -1;
    int count = 0;
    TimedWait(timeoutMs, [&](int64_t wait) -> int32_t {
        while (count < n && !input_.empty()) buffer[count++] = static_cast<unsigned char>(TakeByte());
        if (count >= n) return count;
        Clock().SleepMs(wait);
        return -1;
    });
    return count;
}

int32_t TMemoryLink::GetByteNow() {
    if (!IsOpen()) return -1;
    return TakeByte();
}

int32_t TMemoryLink::InputCount() {
    if (!IsOpen()) return -1;
    return static_cast<int32_t>(input_.size());
}

bool TMemoryLink::TakeLineStatusError() {
    if (LineStatusErrors <= 0) return false;
    --LineStatusErrors;
    return true;
}

void TMemoryLink::AwaitInput(int64_t ms) {
    if (input_.empty() && ms > 0) Clock().SleepMs(ms);
}
