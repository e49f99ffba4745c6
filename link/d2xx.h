// The USB serial adapter interface of the USB link: the few FTDI D2XX operations the link uses, with
// their arguments and results in the library's own terms, so that the link can run on the real
// adapter (libftdi1) or on a simulated one in tests.
//
// Every operation returns a status; D2xxOk (0) means success. A handle is an opaque non-zero number;
// 0 never names an open adapter.
#pragma once

#include <cstdint>

using TD2xxStatus = std::uint32_t;
using TD2xxHandle = std::uintptr_t;

// Statuses, numbered as the D2XX library numbers them.
constexpr TD2xxStatus D2xxOk = 0;
constexpr TD2xxStatus D2xxInvalidHandle = 1;
constexpr TD2xxStatus D2xxDeviceNotFound = 2;
constexpr TD2xxStatus D2xxDeviceNotOpened = 3;
constexpr TD2xxStatus D2xxIoError = 4;
constexpr TD2xxStatus D2xxInvalidParameter = 6;
constexpr TD2xxStatus D2xxOtherError = 18;

// Flags of ListDevices: only the count is asked for.
constexpr std::uint32_t D2xxListNumberOnly = 0x80000000u;

// Data characteristics.
constexpr std::uint8_t D2xxBits7 = 7;
constexpr std::uint8_t D2xxBits8 = 8;
constexpr std::uint8_t D2xxStopBits1 = 0;
constexpr std::uint8_t D2xxStopBits2 = 2;
// Parity codes 0 to 4: none, odd, even, mark, space.
constexpr std::uint8_t D2xxParityNone = 0;
constexpr std::uint8_t D2xxParitySpace = 4;

// Flow control modes.
constexpr std::uint16_t D2xxFlowNone = 0x0000;
constexpr std::uint16_t D2xxFlowRtsCts = 0x0100;
constexpr std::uint16_t D2xxFlowDtrDsr = 0x0200;
constexpr std::uint16_t D2xxFlowXonXoff = 0x0400;

// Modem status bits.
constexpr std::uint32_t D2xxModemCts = 0x10;
constexpr std::uint32_t D2xxModemDsr = 0x20;

// Purge masks.
constexpr std::uint32_t D2xxPurgeRx = 1;
constexpr std::uint32_t D2xxPurgeTx = 2;

class TD2xx {
   public:
    virtual ~TD2xx() = default;

    // The number of attached adapters (flags D2xxListNumberOnly; the buffer is not used).
    virtual TD2xxStatus ListDevices(std::uint32_t* count, void* buffer, std::uint32_t flags) = 0;
    // Opens adapter `index` (0 = the first found).
    virtual TD2xxStatus Open(int index, TD2xxHandle* handle) = 0;
    virtual TD2xxStatus Close(TD2xxHandle handle) = 0;
    // Reads up to n bytes, waiting at most the read time-out for all of them; *got = the count read.
    virtual TD2xxStatus Read(TD2xxHandle handle, void* buffer, std::uint32_t n, std::uint32_t* got) = 0;
    // Writes n bytes within the write time-out; *written = the count taken.
    virtual TD2xxStatus Write(TD2xxHandle handle, const void* buffer, std::uint32_t n,
                              std::uint32_t* written) = 0;
    virtual TD2xxStatus SetBaudRate(TD2xxHandle handle, std::uint32_t rate) = 0;
    virtual TD2xxStatus SetDataCharacteristics(TD2xxHandle handle, std::uint8_t wordLength,
                                               std::uint8_t stopBits, std::uint8_t parity) = 0;
    virtual TD2xxStatus SetFlowControl(TD2xxHandle handle, std::uint16_t mode, std::uint8_t xon,
                                       std::uint8_t xoff) = 0;
    virtual TD2xxStatus SetDtr(TD2xxHandle handle) = 0;
    virtual TD2xxStatus ClrDtr(TD2xxHandle handle) = 0;
    virtual TD2xxStatus SetRts(TD2xxHandle handle) = 0;
    virtual TD2xxStatus ClrRts(TD2xxHandle handle) = 0;
    virtual TD2xxStatus GetModemStatus(TD2xxHandle handle, std::uint32_t* status) = 0;
    virtual TD2xxStatus Purge(TD2xxHandle handle, std::uint32_t mask) = 0;
    // Time-outs in milliseconds; 0 for reading returns at once with what has arrived.
    virtual TD2xxStatus SetTimeouts(TD2xxHandle handle, std::uint32_t readMs, std::uint32_t writeMs) = 0;
    // The number of received bytes waiting to be read.
    virtual TD2xxStatus GetQueueStatus(TD2xxHandle handle, std::uint32_t* rxCount) = 0;
    virtual TD2xxStatus GetStatus(TD2xxHandle handle, std::uint32_t* rxCount, std::uint32_t* txCount,
                                  std::uint32_t* events) = 0;
    virtual TD2xxStatus SetLatencyTimer(TD2xxHandle handle, std::uint8_t ms) = 0;
};
