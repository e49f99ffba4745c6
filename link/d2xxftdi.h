// The adapter interface over libftdi1, for FTDI USB serial adapters on Linux.
//
// libftdi1 reads only what the chip has already sent to the host and has no count of waiting bytes, so
// each open adapter keeps a receive buffer: GetQueueStatus moves what has arrived into it and counts
// it, and Read waits up to the read time-out for the bytes asked for. Writes are synchronous, so the
// transmit count is always 0. Without an adapter, or without USB access at all (a container), the
// device count is 0 and Open answers D2xxDeviceNotFound. GetStatus answers from the buffer alone.
#pragma once

#include <map>
#include <memory>

#include "link/d2xx.h"

class TD2xxFtdi : public TD2xx {
   public:
    TD2xxFtdi();
    ~TD2xxFtdi() override;
    TD2xxFtdi(const TD2xxFtdi&) = delete;
    TD2xxFtdi& operator=(const TD2xxFtdi&) = delete;

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
    struct TAdapter;
    TAdapter* Find(TD2xxHandle handle);

    std::map<TD2xxHandle, std::unique_ptr<TAdapter>> adapters_;
    TD2xxHandle nextHandle_ = 1;
};

// The adapters of this machine, one instance for the process (the link and the port picture share it).
std::shared_ptr<TD2xx> SystemD2xx();
