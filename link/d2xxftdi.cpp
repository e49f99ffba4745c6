#include "link/d2xxftdi.h"

#include <ftdi.h>

#include <chrono>
#include <cstring>
#include <deque>

namespace {

// One USB transfer in libftdi1 comes back after the chip's latency timer even when it carries no data;
// this bounds a single poll when the chip stays silent.
constexpr int PollTransferMs = 50;
constexpr int ReadChunk = 512;

struct TFtdiContext {
    ftdi_context* Ctx = ftdi_new();
    TFtdiContext() = default;
    TFtdiContext(const TFtdiContext&) = delete;
    TFtdiContext& operator=(const TFtdiContext&) = delete;
    ~TFtdiContext() {
        if (Ctx) ftdi_free(Ctx);
    }
};

TD2xxStatus FromFtdi(int result) { return result < 0 ? D2xxIoError : D2xxOk; }

}  // namespace

struct TD2xxFtdi::TAdapter {
    TFtdiContext Context;
    std::deque<unsigned char> Received;
    std::uint32_t ReadTimeoutMs = 0;
    std::uint32_t WriteTimeoutMs = 0;

    // Moves whatever the chip has sent into the receive buffer; false on a USB error.
    bool Fill() {
        unsigned char chunk[ReadChunk];
        int got = ftdi_read_data(Context.Ctx, chunk, ReadChunk);
        if (got < 0) return false;
        Received.insert(Received.end(), chunk, chunk + got);
        return true;
    }
};

TD2xxFtdi::TD2xxFtdi() = default;

TD2xxFtdi::~TD2xxFtdi() {
    for (auto& [handle, adapter] : adapters_) ftdi_usb_close(adapter->Context.Ctx);
}

TD2xxFtdi::TAdapter* TD2xxFtdi::Find(TD2xxHandle handle) {
    auto it = adapters_.find(handle);
    return it == adapters_.end() ? nullptr : it->second.get();
}

TD2xxStatus TD2xxFtdi::ListDevices(std::uint32_t* count, void*, std::uint32_t flags) {
    if (!count || !(flags & D2xxListNumberOnly)) return D2xxInvalidParameter;
    *count = 0;
    TFtdiContext context;
    if (!context.Ctx) return D2xxOtherError;
    ftdi_device_list* list = nullptr;
    // Vendor and product 0 search the FTDI identifiers libftdi1 knows.
    int found = ftdi_usb_find_all(context.Ctx, &list, 0, 0);
    if (list) ftdi_list_free(&list);
    if (found < 0) return D2xxOtherError;
    *count = static_cast<std::uint32_t>(found);
    return D2xxOk;
}

TD2xxStatus TD2xxFtdi::Open(int index, TD2xxHandle* handle) {
    if (!handle) return D2xxInvalidParameter;
    *handle = 0;
    auto adapter = std::make_unique<TAdapter>();
    ftdi_context* ctx = adapter->Context.Ctx;
    if (!ctx) return D2xxOtherError;
    ftdi_device_list* list = nullptr;
    int found = ftdi_usb_find_all(ctx, &list, 0, 0);
    ftdi_device_list* entry = list;
    for (int i = 0; entry && i < index; ++i) entry = entry->next;
    TD2xxStatus status = D2xxDeviceNotFound;
    if (found > 0 && index >= 0 && entry) {
        status = ftdi_usb_open_dev(ctx, entry->dev) < 0 ? D2xxDeviceNotOpened : D2xxOk;
    }
    if (list) ftdi_list_free(&list);
    if (status != D2xxOk) return status;
    ctx->usb_read_timeout = PollTransferMs;
    *handle = nextHandle_++;
    adapters_[*handle] = std::move(adapter);
    return D2xxOk;
}

TD2xxStatus TD2xxFtdi::Close(TD2xxHandle handle) {
    auto it = adapters_.find(handle);
    if (it == adapters_.end()) return D2xxInvalidHandle;
    ftdi_usb_close(it->second->Context.Ctx);
    adapters_.erase(it);
    return D2xxOk;
}

TD2xxStatus TD2xxFtdi::Read(TD2xxHandle handle, void* buffer, std::uint32_t n, std::uint32_t* got) {
    TAdapter* a = Find(handle);
    if (!a) return D2xxInvalidHandle;
    if (!got || (!buffer && n)) return D2xxInvalidParameter;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(a->ReadTimeoutMs);
    auto* out = static_cast<unsigned char*>(buffer);
    *got = 0;
    for (;;) {
        while (*got < n && !a->Received.empty()) {
            out[(*got)++] = a->Received.front();
            a->Received.pop_front();
        }
        if (*got == n) return D2xxOk;
        if (!a->Fill()) return D2xxIoError;
        if (a->Received.empty() && Clock::now() >= deadline) return D2xxOk;
    }
}

TD2xxStatus TD2xxFtdi::Write(TD2xxHandle handle, const void* buffer, std::uint32_t n,
                             std::uint32_t* written) {
    TAdapter* a = Find(handle);
    if (!a) return D2xxInvalidHandle;
    if (!written || (!buffer && n)) return D2xxInvalidParameter;
    *written = 0;
    if (n == 0) return D2xxOk;
    int sent =
        ftdi_write_data(a->Context.Ctx, static_cast<const unsigned char*>(buffer), static_cast<int>(n));
    if (sent < 0) return D2xxIoError;
    *written = static_cast<std::uint32_t>(sent);
    return D2xxOk;
}

TD2xxStatus TD2xxFtdi::SetBaudRate(TD2xxHandle handle, std::uint32_t rate) {
    TAdapter* a = Find(handle);
    if (!a) return D2xxInvalidHandle;
    return FromFtdi(ftdi_set_baudrate(a->Context.Ctx, static_cast<int>(rate)));
}

TD2xxStatus TD2xxFtdi::SetDataCharacteristics(TD2xxHandle handle, std::uint8_t wordLength,
                                              std::uint8_t stopBits, std::uint8_t parity) {
    TAdapter* a = Find(handle);
    if (!a) return D2xxInvalidHandle;
    if ((wordLength != 7 && wordLength != 8) || stopBits > 2 || parity > D2xxParitySpace)
        return D2xxInvalidParameter;
    // The D2XX codes and libftdi1's enumerations number the same way.
    return FromFtdi(ftdi_set_line_property(a->Context.Ctx, static_cast<ftdi_bits_type>(wordLength),
                                           static_cast<ftdi_stopbits_type>(stopBits),
                                           static_cast<ftdi_parity_type>(parity)));
}

TD2xxStatus TD2xxFtdi::SetFlowControl(TD2xxHandle handle, std::uint16_t mode, std::uint8_t xon,
                                      std::uint8_t xoff) {
    TAdapter* a = Find(handle);
    if (!a) return D2xxInvalidHandle;
    if (mode == D2xxFlowXonXoff) return FromFtdi(ftdi_setflowctrl_xonxoff(a->Context.Ctx, xon, xoff));
    if (mode != D2xxFlowNone && mode != D2xxFlowRtsCts && mode != D2xxFlowDtrDsr) return D2xxInvalidParameter;
    return FromFtdi(ftdi_setflowctrl(a->Context.Ctx, mode));
}

TD2xxStatus TD2xxFtdi::SetDtr(TD2xxHandle handle) {
    TAdapter* a = Find(handle);
    return a ? FromFtdi(ftdi_setdtr(a->Context.Ctx, 1)) : D2xxInvalidHandle;
}
TD2xxStatus TD2xxFtdi::ClrDtr(TD2xxHandle handle) {
    TAdapter* a = Find(handle);
    return a ? FromFtdi(ftdi_setdtr(a->Context.Ctx, 0)) : D2xxInvalidHandle;
}
TD2xxStatus TD2xxFtdi::SetRts(TD2xxHandle handle) {
    TAdapter* a = Find(handle);
    return a ? FromFtdi(ftdi_setrts(a->Context.Ctx, 1)) : D2xxInvalidHandle;
}
TD2xxStatus TD2xxFtdi::ClrRts(TD2xxHandle handle) {
    TAdapter* a = Find(handle);
    return a ? FromFtdi(ftdi_setrts(a->Context.Ctx, 0)) : D2xxInvalidHandle;
}

TD2xxStatus TD2xxFtdi::GetModemStatus(TD2xxHandle handle, std::uint32_t* status) {
    TAdapter* a = Find(handle);
    if (!a) return D2xxInvalidHandle;
    if (!status) return D2xxInvalidParameter;
    unsigned short word = 0;
    int result = ftdi_poll_modem_status(a->Context.Ctx, &word);
    // The low byte is the modem status (0x10 CTS, 0x20 DSR, ...), the high byte the line status.
    *status = result < 0 ? 0 : static_cast<std::uint32_t>(word & 0xFF);
    return FromFtdi(result);
}

TD2xxStatus TD2xxFtdi::Purge(TD2xxHandle handle, std::uint32_t mask) {
    TAdapter* a = Find(handle);
    if (!a) return D2xxInvalidHandle;
    int result = 0;
    if (mask & D2xxPurgeRx) {
        a->Received.clear();
        result = ftdi_tciflush(a->Context.Ctx);
    }
    if ((mask & D2xxPurgeTx) && ftdi_tcoflush(a->Context.Ctx) < 0) result = -1;
    return FromFtdi(result);
}

TD2xxStatus TD2xxFtdi::SetTimeouts(TD2xxHandle handle, std::uint32_t readMs, std::uint32_t writeMs) {
    TAdapter* a = Find(handle);
    if (!a) return D2xxInvalidHandle;
    a->ReadTimeoutMs = readMs;
    a->WriteTimeoutMs = writeMs;
    a->Context.Ctx->usb_write_timeout = writeMs == 0 ? 1 : static_cast<int>(writeMs);
    return D2xxOk;
}

TD2xxStatus TD2xxFtdi::GetQueueStatus(TD2xxHandle handle, std::uint32_t* rxCount) {
    TAdapter* a = Find(handle);
    if (!a) return D2xxInvalidHandle;
    if (!rxCount) return D2xxInvalidParameter;
    // Asking the chip costs a USB transfer that waits out its latency timer when it has nothing; bytes
    // already buffered answer the question at once.
    bool ok = !a->Received.empty() || a->Fill();
    *rxCount = static_cast<std::uint32_t>(a->Received.size());
    return ok ? D2xxOk : D2xxIoError;
}

TD2xxStatus TD2xxFtdi::GetStatus(TD2xxHandle handle, std::uint32_t* rxCount, std::uint32_t* txCount,
                                 std::uint32_t* events) {
    TAdapter* a = Find(handle);
    if (!a) return D2xxInvalidHandle;
    if (!rxCount || !txCount || !events) return D2xxInvalidParameter;
    // Asked after every byte written: answered from the buffer, without a USB transfer.
    *rxCount = static_cast<std::uint32_t>(a->Received.size());
    *txCount = 0;
    *events = 0;
    return D2xxOk;
}

TD2xxStatus TD2xxFtdi::SetLatencyTimer(TD2xxHandle handle, std::uint8_t ms) {
    TAdapter* a = Find(handle);
    if (!a) return D2xxInvalidHandle;
    return FromFtdi(ftdi_set_latency_timer(a->Context.Ctx, ms));
}

std::shared_ptr<TD2xx> SystemD2xx() {
    static std::shared_ptr<TD2xx> instance = std::make_shared<TD2xxFtdi>();
    return instance;
}
