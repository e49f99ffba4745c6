// The virtual instrument on a pseudo-terminal: the program opens the slave path (Path()) like a
// serial port. Optional pacing to a wire rate (8N1, ten bits a byte) in each direction.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "link/virtualinstrument.h"

class TPtyInstrument {
   public:
    // Opens the pseudo-terminal. Throws std::runtime_error when the system has none to give.
    explicit TPtyInstrument(TVirtualInstrument::TOptions options, int wireBaud = 0);
    ~TPtyInstrument();
    TPtyInstrument(const TPtyInstrument&) = delete;
    TPtyInstrument& operator=(const TPtyInstrument&) = delete;

    const std::string& Path() const { return path_; }
    // Serves the program until `stop` becomes true (checked at least every 50 ms).
    void Run(const std::atomic<bool>& stop);
    TVirtualInstrument& Instrument() { return instrument_; }
    // Bytes received from and sent to the program so far.
    uint64_t BytesIn() const { return bytesIn_.load(); }
    uint64_t BytesOut() const { return bytesOut_.load(); }

   private:
    void WriteOut(const std::vector<unsigned char>& bytes);
    // Pacing, like a UART's: a burst starts the line at the latest at nowNs (an idle line does not
    // bank time), and each byte then takes byteNs_ after the one before it, however late this
    // thread wakes.
    static void LineBusyFrom(int64_t& freeAtNs, int64_t nowNs);
    TVirtualInstrument instrument_;
    int master_ = -1;
    int slave_ = -1;  // kept open so the line stays up while the program closes and reopens it
    std::string path_;
    int64_t byteNs_ = 0;
    int64_t rxFreeNs_ = 0;
    int64_t txFreeNs_ = 0;
    std::atomic<uint64_t> bytesIn_{0};
    std::atomic<uint64_t> bytesOut_{0};
};
