// TPortCtl: the serial-port control under TPortCOM, on POSIX termios. Works on real serial ports,
// USB-serial ports and pseudo-terminals; where a device has no modem lines or line-status counters
// (a pseudo-terminal), they read as absent (0), never as errors.
//
// "Com 1" to "Com 4" are device paths from a setting (ComDevicePath); the defaults are /dev/ttyS0 to
// /dev/ttyS3.
//
// Time-outs here are real milliseconds; TPortCOM slices its waits and converts from its clock.
#pragma once

#include <string>

// Device path of "Com n" (1 to 4); "" for any other number.
std::string ComDevicePath(int port);
// Changes the device path of "Com n" (1 to 4) for the rest of the run.
void SetComDevicePath(int port, const std::string& path);

class TPortCtl {
   public:
    // The line-status errors the port counts.
    enum class TLineError { Break, Framing, Overrun, Parity };

    TPortCtl();
    ~TPortCtl();
    TPortCtl(const TPortCtl&) = delete;
    TPortCtl& operator=(const TPortCtl&) = delete;

    // Opens ComDevicePath(PortNumber) in raw mode with the current settings; returns a handle above 0,
    // or -1 (LastError() then says why, naming the device).
    int Open();
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    const std::string& LastError() const { return lastError_; }
    const std::string& DevicePath() const { return path_; }

    int ReadByte();                  // -1 when none is waiting
    int ReadByteTimed(int ms);       // -1 on time-out
    int WriteByte(unsigned char b);  // -1 when the byte was not taken
    // Writes up to n bytes in one call: the count taken, or -1 when none was (LastWriteError says why).
    int WriteBytes(const unsigned char* data, int n);
    // Why the last WriteByte or WriteBytes did not take its bytes: 0 when it did or found no room (the queue
    // full), else the errno of the failure (EIO once the device hung up or its far end closed).
    int LastWriteError() const { return lastWriteError_; }
    void WriteByteBuffer(const char* data, int length);
    int ReadByteBufferTimed(unsigned char* buffer, int count, int ms);  // the number read
    void ClearTxBuffer();
    void ClearLineStatus();

    // The port settings: the value written is the value read back. A setting of the line (all but
    // the port number and the lines) takes effect at once on an open port, and at Open otherwise.
    int PortNumber() const { return settings_.PortNumber; }
    void SetPortNumber(int port) { settings_.PortNumber = port; }
    int BaudRate() const { return settings_.BaudRate; }
    void SetBaudRate(int baud) { ChangeLine(settings_.BaudRate, baud); }
    int Parity() const { return settings_.Parity; }  // 0 none, 1 odd, 2 even
    void SetParity(int parity) { ChangeLine(settings_.Parity, parity); }
    int DataBits() const { return settings_.DataBits; }
    void SetDataBits(int bits) { ChangeLine(settings_.DataBits, bits); }
    int StopBits() const { return settings_.StopBits; }
    void SetStopBits(int bits) { ChangeLine(settings_.StopBits, bits); }
    bool XonXoff() const { return settings_.XonXoff; }
    void SetXonXoff(bool on) { ChangeLine(settings_.XonXoff, on); }
    bool DtrDsr() const { return settings_.DtrDsr; }
    void SetDtrDsr(bool on) { ChangeLine(settings_.DtrDsr, on); }
    bool RtsCts() const { return settings_.RtsCts; }
    void SetRtsCts(bool on) { ChangeLine(settings_.RtsCts, on); }
    // The DTR and RTS lines: raised (true) or dropped.
    bool Dtr() const { return settings_.Dtr; }
    void SetDtr(bool on) {
        settings_.Dtr = on;
        ApplyLines();
    }
    bool Rts() const { return settings_.Rts; }
    void SetRts(bool on) {
        settings_.Rts = on;
        ApplyLines();
    }
    // Whether the control may raise events. It raises none either way: the link polls everything.
    bool Events() const { return events_; }
    void SetEvents(bool on) { events_ = on; }

    // True while the data-set-ready line is up.
    bool Dsr();
    // Whether a line-status error of this kind came since the last ClearLineStatus.
    bool LineError(TLineError kind);
    // Bytes waiting in the receive queue, and in the transmit queue; 0 on a closed port.
    int RxCount();
    int TxCount();

    // Whether the device has hung up for good: unplugged, its far end closed (a pseudo-terminal whose
    // instrument ended). Such a port reads as always ready yet never gives a byte again, so a wait
    // would spin; it stays hung up until the next Open.
    bool HungUp();

    // Waits at most ms real milliseconds until input is readable; returns at once once it hung up.
    void WaitReadable(int ms);
    // Waits at most ms until the transmit queue may have drained or has room.
    void WaitWritable(int ms);

   private:
    // Changes a setting of the line and applies the settings to an open port.
    template <class T>
    void ChangeLine(T& setting, T value) {
        setting = value;
        Apply();
    }
    void Apply();               // settings to termios
    void ApplyLines();          // DTR and RTS
    bool Counters(int out[4]);  // break, frame, overrun, parity; false when the device has none
    // Notes a hang-up from the errno of a failed read or ioctl, or from poll's answer.
    void NoteErrno(int err);
    void NoteEvents(short revents);

    struct TSettings {
        int PortNumber = 0;
        int BaudRate = 9600;
        int Parity = 0;
        int DataBits = 8;
        int StopBits = 1;
        bool XonXoff = false;
        bool DtrDsr = false;
        bool RtsCts = false;
        bool Dtr = false;
        bool Rts = false;
    };

    int fd_ = -1;
    TSettings settings_;
    bool events_ = false;
    int baseline_[4] = {};
    std::string path_;
    std::string lastError_;
    int lastWriteError_ = 0;
    bool hungUp_ = false;
};
