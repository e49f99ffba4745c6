// The virtual instrument: the instrument side of both families and of a Hayes modem in front of it,
// as a byte machine. Feed it the bytes the program sends; take the bytes it answers. It never waits
// for time, so it runs the same in-process behind an in-memory link (synchronously) and behind a
// pseudo-terminal (TPtyInstrument, which adds the wire pacing).
//
// What it does:
//   family 1: receives the 30-byte header (answers 1, or 0 when refusing), then one 8-byte record per
//     quadripole announced in the header, each answered with the record's byte sum modulo 256;
//   family 2: on 0x40 sends the echo, two identification lines and the 4-byte version, then the prompt
//     ":>"; in remote mode it echoes 0x40, accepts a command c, c XOR 0xFF by answering c (0xFF when
//     the complement is wrong), and runs the uploads (memory number, then block transfers of header,
//     electrode table, extra block for 0x20000003 and above, quadripole table when the header
//     announces quadripoles), the end command, and the remote commands connect, list, start, delete
//     and escape. It holds 12 memories; when they are full it answers memory number 13.
//   modem: before all this, answers "ATZ" and any other AT command with OK and "ATDT..." with CONNECT.
#pragma once

#include <array>
#include <coroutine>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class TVirtualInstrument {
   public:
    struct TOptions {
        int Family = 2;
        uint32_t Version = 0x20000003;
        bool Modem = false;
        std::string StoreDir;  // non-empty: every image received is written there
        int CorruptEvery = 0;  // 0 = never; else every N-th block (family 1: acknowledgement) is spoilt
        bool Silent = false;   // never answers
        bool Refuse = false;   // refuses uploads (family 1: header answer 0; family 2: memory full)
        std::vector<std::string> Stored;  // names already in memories 1, 2, ...
        bool KeepLog = false;             // keep every byte received in Log()
    };
    // One upload as received: the raw header and tables.
    struct TImage {
        int Family = 0;
        int Memory = 0;    // family 2
        std::string Name;  // family 2: header bytes 92..101; family 1: 12..19
        std::vector<std::vector<unsigned char>>
            Parts;  // family 2: one per transfer; family 1: header, records
    };

    explicit TVirtualInstrument(TOptions options);
    ~TVirtualInstrument();
    TVirtualInstrument(const TVirtualInstrument&) = delete;
    TVirtualInstrument& operator=(const TVirtualInstrument&) = delete;

    // A byte from the program.
    void Feed(unsigned char b);
    // The line has been quiet for a while (the pseudo-terminal runner calls this after two seconds).
    // Like a real instrument, a transfer left half done is abandoned and the instrument goes back to
    // waiting for identification; a synchronisation byte followed by silence is an identification
    // attempt while in remote mode, answered with the identification lines again.
    void Silence();
    // The bytes answered since the last call.
    std::vector<unsigned char> TakeOutput();
    bool HasOutput() const { return !out_.empty(); }

    const TOptions& Options() const { return options_; }
    const std::vector<TImage>& Images() const { return images_; }
    const std::map<int, std::string>& Memories() const { return memories_; }
    const std::vector<int>& Started() const { return started_; }
    const std::vector<int>& Deleted() const { return deleted_; }
    int BlocksSpoilt() const { return spoilt_; }
    const std::vector<unsigned char>& Log() const { return log_; }
    // The commands accepted in remote mode, in order.
    const std::vector<int>& Commands() const { return commands_; }
    // Where problems of the instrument itself go (a store folder that cannot be written).
    std::function<void(const std::string&)> OnProblem;
    // Called with every image once it is complete.
    std::function<void(const TImage&)> OnImage;

    // The task type of the instrument's coroutines (public for the implementation's helpers).
    struct TTask;

   private:
    friend struct TByteWait;
    TTask Run();
    TTask RunFamily1();
    TTask RunFamily2();
    TTask RemoteMode();
    TTask ReadCommand();
    TTask ReceiveTransfer(std::vector<unsigned char>& data);
    TTask SendTransfer(std::vector<unsigned char> data);
    TTask ReadN(unsigned char* out, int n);
    void SendIdentity(bool withEcho);
    void Send(const std::vector<unsigned char>& b) { out_.insert(out_.end(), b.begin(), b.end()); }
    template <std::size_t N>
    void Send(const std::array<unsigned char, N>& b) {
        out_.insert(out_.end(), b.begin(), b.end());
    }
    void Send(unsigned char b) { out_.push_back(b); }
    void SendText(const std::string& s) { out_.insert(out_.end(), s.begin(), s.end()); }
    bool SpoilNext();
    void Store(const TImage& image);
    std::vector<unsigned char> ListBytes() const;

    TOptions options_;
    void Restart();
    std::deque<int> in_;        // bytes, or -1 for a silence after a synchronisation echo
    bool carrier_ = true;       // the modem is connected (always, without a modem)
    bool busy_ = false;         // inside a command or transfer
    bool syncPending_ = false;  // a synchronisation byte was echoed at the prompt
    std::vector<unsigned char> out_;
    std::coroutine_handle<> waiting_;
    std::unique_ptr<TTask> main_;
    std::vector<TImage> images_;
    std::map<int, std::string> memories_;
    std::vector<int> started_;
    std::vector<int> deleted_;
    int blockCounter_ = 0;
    int spoilt_ = 0;
    std::vector<unsigned char> log_;
    std::vector<int> commands_;
};
