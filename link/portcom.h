// TPortCOM: the link over a serial port (a real port, a USB-serial port or a pseudo-terminal), also
// used to dial a telephone modem with "ATZ", an optional init string and "ATDT".
//
// The port is configured and opened by the first Connect that reaches it and then stays open for the
// rest of the run; Disconnect and later Connects only drop or restore the link state (and Disconnect
// drops DTR and RTS). Setters act also while the link is closed.
#pragma once

#include "link/portctl.h"
#include "link/portvirt.h"

class TPortCOM : public TPortVirt {
   public:
    explicit TPortCOM(TLinkHost& host, TLinkClock& clock = SystemClock());
    ~TPortCOM() override;

    TPortCtl& PortControl() { return control_; }
    // Writes a modem command text; nothing when the link is closed.
    void WriteText(const std::string& text);

    void Disconnect() override;
    // Asks "Connect Serial link < COM p > ..." (Cancel: LinkState -1, returns 0); opens the port the
    // first time; dials when `phone` is not empty. Returns p on success, else 0. A modem that never
    // answers keeps it waiting until the link is closed from the event pump.
    int32_t Connect(int32_t port, int32_t baud, int32_t byteDelay, const std::string& modemInit, bool waitDsr,
                    const std::string& phone) override;
    void PurgeInput() override;
    void PurgeOutput() override;
    int32_t TryPutByte(unsigned char b) override;
    int32_t TryPutBlock(const unsigned char* data, int n) override;
    int32_t ReadBlockTimed(unsigned char* buffer, int n, int timeoutMs) override;
    int32_t GetByteTimed(int timeoutMs) override;
    int32_t GetByteNow() override;
    void SetPortNumber(int32_t v) override { control_.SetPortNumber(v); }
    void SetBaudRate(int32_t v) override { control_.SetBaudRate(v); }
    void SetLineSettings(const TLineSettings& settings) override;
    void SetDtr(bool on) override { control_.SetDtr(on); }
    void SetRts(bool on) override { control_.SetRts(on); }
    int32_t InputCount() override;
    int32_t OutputCount() override;
    int32_t GetBaudRate() override { return control_.BaudRate(); }
    int32_t DsrState() override { return control_.Dsr() ? 1 : 0; }
    int32_t MaxBaudRate() override { return 115200; }
    std::string& LinkName(std::string& text) override { return text = "RS232"; }
    // "COM n (device path)".
    std::string PortText() override;

   protected:
    bool TakeLineStatusError() override;
    bool LastWriteFailed() override { return control_.LastWriteError() != 0; }
    bool DeviceLost() override { return control_.HungUp(); }
    void AwaitInput(int64_t ms) override;
    void AwaitOutput(int64_t ms) override;

   private:
    bool DialStep(const std::string& command, const std::string& answer);
    TPortCtl control_;
};
