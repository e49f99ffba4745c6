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
    // Property indexes.
    enum TProperty {
        PortNumber = 1,
        BaudRate = 2,
        Parity = 3,
        DataBits = 4,
        StopBits = 5,
        XonXoff = 6,
        DtrDsr = 7,
        RtsCts = 8,
        Dtr = 9,
        Rts = 10,
        DsrLine = 14,
        // Line-status errors pending since the last ClearLineStatus.
        BreakError = 15,
        FramingError = 16,
        OverrunError = 17,
        ParityError = 18,
        RxCount = 28,
        TxCount = 29,
        PropertyCount = 64
    };

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

    int Get(int index);
    void Set(int index, int value);

    // Whether the device has hung up for good: unplugged, its far end closed (a pseudo-terminal whose
    // instrument ended). Such a port reads as always ready yet never gives a byte again, so a wait
    // would spin; it stays hung up until the next Open.
    bool HungUp();

    // Waits at most ms real milliseconds until input is readable; returns at once once it hung up.
    void WaitReadable(int ms);
    // Waits at most ms until the transmit queue may have drained or has room.
    void WaitWritable(int ms);

   private:
    void Apply();               // settings to termios
    void ApplyLines();          // DTR and RTS
    bool Counters(int out[4]);  // break, frame, overrun, parity; false when the device has none
    // Notes a hang-up from the errno of a failed read or ioctl, or from poll's answer.
    void NoteErrno(int err);
    void NoteEvents(short revents);

    int fd_ = -1;
    int props_[PropertyCount] = {};
    int baseline_[4] = {};
    std::string path_;
    std::string lastError_;
    int lastWriteError_ = 0;
    bool hungUp_ = false;
};
