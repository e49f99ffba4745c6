#include "link/virtualinstrument.h"

#include <cstdio>
#include <cstring>
#include <exception>

#include "link/wire.h"
#include "model/datafolder.h"
#include "model/fileio.h"

// A lazily started coroutine that hands its int result to the coroutine awaiting it.
struct TVirtualInstrument::TTask {
    struct promise_type {
        int value = 0;
        std::coroutine_handle<> continuation;
        TTask get_return_object() { return TTask{std::coroutine_handle<promise_type>::from_promise(*this)}; }
        std::suspend_always initial_suspend() noexcept { return {}; }
        struct TFinal {
            bool await_ready() noexcept { return false; }
            std::coroutine_handle<> await_suspend(std::coroutine_handle<promise_type> h) noexcept {
                auto c = h.promise().continuation;
                return c ? c : std::noop_coroutine();
            }
            void await_resume() noexcept {}
        };
        TFinal final_suspend() noexcept { return {}; }
        void return_value(int v) { value = v; }
        void unhandled_exception() { std::terminate(); }
    };
    using THandle = std::coroutine_handle<promise_type>;

    explicit TTask(THandle h) : handle(h) {}
    TTask(TTask&& o) noexcept : handle(o.handle) { o.handle = {}; }
    TTask(const TTask&) = delete;
    ~TTask() {
        if (handle) handle.destroy();
    }
    bool await_ready() { return false; }
    std::coroutine_handle<> await_suspend(std::coroutine_handle<> c) {
        handle.promise().continuation = c;
        return handle;
    }
    int await_resume() { return handle.promise().value; }

    THandle handle;
};

// Suspends the instrument until the program's next byte is there.
struct TByteWait {
    TVirtualInstrument* vi;
    bool await_ready() { return !vi->in_.empty(); }
    void await_suspend(std::coroutine_handle<> h) { vi->waiting_ = h; }
    int await_resume() {
        int b = vi->in_.front();
        vi->in_.pop_front();
        return b;
    }
};

namespace {

constexpr unsigned char Sync = 0x40;
constexpr int MaxBlock = 528;
constexpr int MemorySlots = 12;

int NextBlock(int n) { return n >= 127 ? 1 : n + 1; }
uint16_t BlockSum(const unsigned char* data, int length) {
    uint32_t s = static_cast<uint32_t>((length & 0xFF) + ((length >> 8) & 0xFF));
    for (int i = 0; i < length; ++i) s += data[i];
    return static_cast<uint16_t>(s & 0xFFFF);
}
std::string FixedText(const unsigned char* p, std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n && p[i] != 0; ++i) s += static_cast<char>(p[i]);
    return s;
}

}  // namespace

TVirtualInstrument::TVirtualInstrument(TOptions options) : options_(std::move(options)) {
    carrier_ = !options_.Modem;
    int m = 1;
    for (const std::string& name : options_.Stored) memories_[m++] = name;
    Restart();
}

void TVirtualInstrument::Restart() {
    in_.clear();
    waiting_ = nullptr;
    busy_ = false;
    syncPending_ = false;
    main_.reset();
    main_ = std::make_unique<TTask>(Run());
    main_->handle.resume();
}

void TVirtualInstrument::Silence() {
    if (options_.Silent) return;
    if (busy_) {
        Restart();
        return;
    }
    if (!syncPending_) return;
    in_.push_back(-1);
    if (waiting_) {
        auto h = waiting_;
        waiting_ = nullptr;
        h.resume();
    }
}

void TVirtualInstrument::SendIdentity(bool withEcho) {
    if (withEcho) Send(Sync);
    SendText("VIRTUAL OPTRA\r\n");
    char version[48];
    std::snprintf(version, sizeof version, "Firmware %08X\r\n", options_.Version);
    SendText(version);
    Send(Wire::Le32Bytes(options_.Version));
}

TVirtualInstrument::~TVirtualInstrument() = default;

void TVirtualInstrument::Feed(unsigned char b) {
    if (options_.KeepLog) log_.push_back(b);
    if (options_.Silent) return;
    in_.push_back(b);
    if (waiting_) {
        auto h = waiting_;
        waiting_ = nullptr;
        h.resume();
    }
}

std::vector<unsigned char> TVirtualInstrument::TakeOutput() {
    std::vector<unsigned char> out;
    out.swap(out_);
    return out;
}

bool TVirtualInstrument::SpoilNext() {
    if (options_.CorruptEvery <= 0) return false;
    if (++blockCounter_ % options_.CorruptEvery != 0) return false;
    ++spoilt_;
    return true;
}

void TVirtualInstrument::Store(const TImage& image) {
    images_.push_back(image);
    if (OnImage) OnImage(image);
    if (options_.StoreDir.empty()) return;
    std::vector<unsigned char> all;
    for (const auto& part : image.Parts) all.insert(all.end(), part.begin(), part.end());
    char name[32];
    std::snprintf(name, sizeof name, "image%03zu.bin", images_.size());
    try {
        WriteFileAtomic(JoinPath(options_.StoreDir, name), all.data(), all.size());
    } catch (const std::exception& e) {
        if (OnProblem) OnProblem(e.what());
    }
}

std::vector<unsigned char> TVirtualInstrument::ListBytes() const {
    // Each entry ends with NUL LF; the program turns the pair into a line end.
    std::vector<unsigned char> out;
    for (const auto& [memory, name] : memories_) {
        char head[8];
        std::snprintf(head, sizeof head, "%03d ", memory % 1000);
        std::string line = head + name;
        out.insert(out.end(), line.begin(), line.end());
        out.push_back(0);
        out.push_back('\n');
    }
    return out;
}

TVirtualInstrument::TTask TVirtualInstrument::ReadN(unsigned char* out, int n) {
    for (int i = 0; i < n; ++i) out[i] = static_cast<unsigned char>(co_await TByteWait{this});
    co_return n;
}

TVirtualInstrument::TTask TVirtualInstrument::Run() {
    if (options_.Family == 1) {
        co_await RunFamily1();
    } else {
        co_await RunFamily2();
    }
    co_return 0;
}

TVirtualInstrument::TTask TVirtualInstrument::RunFamily1() {
    for (;;) {
        TImage image;
        image.Family = 1;
        std::vector<unsigned char> header(30);
        busy_ = false;
        header[0] = static_cast<unsigned char>(co_await TByteWait{this});
        busy_ = true;
        co_await ReadN(header.data() + 1, 29);
        if (options_.Refuse) {
            Send(0);
            continue;
        }
        Send(1);
        image.Name = FixedText(header.data() + 12, 8);
        image.Parts.push_back(header);
        const int count = Wire::Le16(header.data() + 10);
        std::vector<unsigned char> records;
        records.reserve(static_cast<std::size_t>(count) * 8);
        for (int i = 0; i < count; ++i) {
            unsigned char rec[8];
            co_await ReadN(rec, 8);
            unsigned sum = 0;
            for (unsigned char b : rec) sum += b;
            records.insert(records.end(), rec, rec + 8);
            unsigned char ack = static_cast<unsigned char>(sum & 0xFF);
            if (SpoilNext()) ack = static_cast<unsigned char>(ack + 1);
            Send(ack);
        }
        image.Parts.push_back(records);
        Store(image);
    }
}

// Out of remote mode: only the identification byte wakes the instrument. With a modem in front, text
// lines are the modem's commands; the line stays up after the instrument leaves remote mode (a
// pseudo-terminal has no DTR to hang up with), and a later program may dial again.
TVirtualInstrument::TTask TVirtualInstrument::RunFamily2() {
    std::string line;
    for (;;) {
        int b = co_await TByteWait{this};
        if (b < 0) continue;
        if (b == Sync && carrier_) {
            line.clear();
            SendIdentity(true);
            co_await RemoteMode();
            continue;
        }
        if (!options_.Modem) continue;
        if (b != '\r' && b != '\n') {
            if (line.size() < 256) line += static_cast<char>(b);
            continue;
        }
        if (line.empty()) continue;
        std::string upper;
        for (char c : line) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        line.clear();
        if (upper.rfind("ATD", 0) == 0) {
            SendText("\r\nCONNECT 19200\r\n");
            carrier_ = true;
        } else {
            SendText(upper.rfind("AT", 0) == 0 ? "\r\nOK\r\n" : "\r\nERROR\r\n");
        }
    }
}

// Reads synchronisation bytes (echoed) and one command pair; returns the accepted command.
TVirtualInstrument::TTask TVirtualInstrument::ReadCommand() {
    for (;;) {
        const int next = co_await TByteWait{this};
        const bool afterSync = syncPending_;
        syncPending_ = false;
        if (next < 0) {
            // Nothing followed the echo: the program is identifying, not sending a command.
            if (afterSync) {
                // The echo is already out; the lines, the version and a new prompt follow.
                SendIdentity(false);
                SendText(":>");
            }
            continue;
        }
        const unsigned char c = static_cast<unsigned char>(next);
        if (c == Sync) {
            Send(Sync);
            syncPending_ = true;
            continue;
        }
        const int second = co_await TByteWait{this};
        if (second < 0) continue;
        const unsigned char complement = static_cast<unsigned char>(second);
        if (complement == Sync && c != static_cast<unsigned char>(Sync ^ 0xFF)) {
            // A lost byte: the program is synchronising again.
            Send(Sync);
            continue;
        }
        if (complement != static_cast<unsigned char>(c ^ 0xFF)) {
            Send(0xFF);  // ask for the pair again
            continue;
        }
        switch (c) {
            case 0x00:
            case 0x1B:
            case 0x1C:
            case 0x25:
            case 0x27:
            case 0x28:
            case 0xAA:
            case 0xAC:
                Send(c);
                co_return c;
            default:
                Send(0x3F);  // unknown command: neither accepted nor to be repeated
                continue;
        }
    }
}

TVirtualInstrument::TTask TVirtualInstrument::RemoteMode() {
    for (;;) {
        busy_ = false;
        SendText(":>");
        const int command = co_await ReadCommand();
        commands_.push_back(command);
        busy_ = true;
        switch (command) {
            case 0x00:  // end of a series of uploads
            case 0x1B:  // escape: leave remote mode
                busy_ = false;
                co_return command;
            case 0x1C: {
                std::string status = "VIRTUAL OPTRA REMOTE";
                co_await SendTransfer(std::vector<unsigned char>(status.begin(), status.end()));
                break;
            }
            case 0x27:
                co_await SendTransfer(ListBytes());
                break;
            case 0x25:
            case 0x28: {
                unsigned char num[4];
                co_await ReadN(num, 4);
                const int n = Wire::LeInt32(num);
                if (command == 0x25) {
                    started_.push_back(n);
                } else {
                    deleted_.push_back(n);
                    memories_.erase(n);
                }
                break;
            }
            case 0xAA:
            case 0xAC: {
                int memory = MemorySlots + 1;
                if (!options_.Refuse) {
                    for (int m = 1; m <= MemorySlots; ++m) {
                        if (!memories_.count(m)) {
                            memory = m;
                            break;
                        }
                    }
                }
                Send(Wire::Le32Bytes(static_cast<uint32_t>(memory)));
                if (memory > MemorySlots) break;
                TImage image;
                image.Family = 2;
                image.Memory = memory;
                std::vector<unsigned char> header;
                co_await ReceiveTransfer(header);
                image.Parts.push_back(header);
                int quadripoles = 0;
                if (header.size() >= 136) {
                    image.Name = FixedText(header.data() + 92, 10);
                    quadripoles = Wire::LeInt32(header.data() + 104) + 1;
                }
                const int tables = options_.Version >= 0x20000003u ? 2 : 1;
                for (int t = 0; t < tables; ++t) {
                    std::vector<unsigned char> part;
                    co_await ReceiveTransfer(part);
                    image.Parts.push_back(part);
                }
                // A sequence without quadripoles sends no quadripole table.
                if (quadripoles > 0) {
                    std::vector<unsigned char> part;
                    co_await ReceiveTransfer(part);
                    image.Parts.push_back(part);
                }
                memories_[memory] = image.Name;
                Store(image);
                break;
            }
            default:
                break;
        }
    }
}

// The receiving side of the block protocol.
TVirtualInstrument::TTask TVirtualInstrument::ReceiveTransfer(std::vector<unsigned char>& data) {
    data.clear();
    Send(0x00);
    for (;;) {
        int b = co_await TByteWait{this};
        if (b == 0x00) break;  // the echo of the start byte
    }
    unsigned char head[4];
    co_await ReadN(head, 4);
    const int32_t total = Wire::LeInt32(head);
    int n = 1;
    std::vector<unsigned char> block(1024);
    for (;;) {
        Send(Wire::Le16Bytes(static_cast<uint16_t>(n)));
        unsigned char echo[2];
        co_await ReadN(echo, 2);
        if (static_cast<int64_t>(data.size()) >= total) co_return 1;
        unsigned char word[2];
        co_await ReadN(word, 2);
        const int length = Wire::Le16(word) >> 6;
        co_await ReadN(block.data(), length);
        unsigned char sum[2];
        co_await ReadN(sum, 2);
        bool good = Wire::Le16(sum) == BlockSum(block.data(), length);
        if (good && SpoilNext()) good = false;  // as if the line had garbled it
        if (good) {
            data.insert(data.end(), block.begin(), block.begin() + length);
            n = NextBlock(n);
        }
    }
}

// The sending side of the block protocol.
TVirtualInstrument::TTask TVirtualInstrument::SendTransfer(std::vector<unsigned char> data) {
    for (;;) {
        int b = co_await TByteWait{this};
        if (b == 0x00) break;
    }
    Send(0x00);
    Send(Wire::Le32Bytes(static_cast<uint32_t>(data.size())));
    std::size_t pos = 0;
    int n = 1, p = 1;
    int length = 0;
    bool sentAny = false;
    for (;;) {
        unsigned char req[2];
        co_await ReadN(req, 2);
        const int r = Wire::Le16(req);
        Send(req[0]);
        Send(req[1]);
        if (r != n && r != p) continue;
        if (r == n) {
            if (pos >= data.size()) {
                if (sentAny) co_return 1;
                // Nothing to send: an empty block ends the transfer; the program asks once more.
                Send(Wire::Le16Bytes(0));
                unsigned char last[2];
                co_await ReadN(last, 2);
                Send(last[0]);
                Send(last[1]);
                co_return 1;
            }
            length = static_cast<int>(std::min<std::size_t>(MaxBlock, data.size() - pos));
            pos += static_cast<std::size_t>(length);
            p = n;
            n = NextBlock(n);
            sentAny = true;
        }
        const unsigned char* start = data.data() + pos - static_cast<std::size_t>(length);
        Send(Wire::Le16Bytes(static_cast<uint16_t>(length << 6)));
        Send(std::vector<unsigned char>(start, start + length));
        uint16_t sum = BlockSum(start, length);
        if (SpoilNext()) sum = static_cast<uint16_t>(sum + 1);
        Send(Wire::Le16Bytes(sum));
    }
}
