// An in-memory link for tests and for running the virtual instrument in-process. Bytes written by the
// program go to a peer callback at once (which may answer by pushing bytes back), so an exchange runs
// on one thread and is deterministic. Time passes only on the link's clock: give it a manual test clock and
// a 5,000 ms time-out costs nothing.
#pragma once

#include <deque>
#include <functional>
#include <vector>

#include "link/portvirt.h"

class TMemoryLink : public TPortVirt {
   public:
    explicit TMemoryLink(TLinkHost& host, TLinkClock& clock) : TPortVirt(host, clock) {}

    // Bytes the instrument side sends to the program.
    void Push(const std::vector<unsigned char>& bytes) {
        input_.insert(input_.end(), bytes.begin(), bytes.end());
    }
    void Push(unsigned char b) { input_.push_back(b); }
    // Called with every byte the program writes (after it is recorded in Written()).
    std::function<void(unsigned char)> OnWrite;
    // Every byte the program has written, in order.
    const std::vector<unsigned char>& Written() const { return written_; }
    void ClearWritten() { written_.clear(); }
    std::size_t Pending() const { return input_.size(); }
    // Whether Connect asks the connect question (OK/Cancel) through the host; false just opens.
    bool AskOnConnect = false;
    // What Connect answers when opening fails on purpose (0 = opens normally).
    bool FailOpen = false;
    // Variant to emulate (serial or USB composite behaviour).
    TVariant EmulatedVariant = TVariant::Serial;
    // Pending line-status errors that Identify will find (serial only).
    int LineStatusErrors = 0;
    int DisconnectCount = 0;
    std::vector<int32_t> BaudHistory;  // every SetBaudRate value, in order

    void Disconnect() override;
    int32_t Connect(int32_t port, int32_t baud, int32_t byteDelay, const std::string& modemInit, bool waitDsr,
                    const std::string& phone) override;
    void PurgeInput() override;
    void PurgeOutput() override {}
    int32_t TryPutByte(unsigned char b) override;
    int32_t ReadBlockTimed(unsigned char* buffer, int n, int timeoutMs) override;
    int32_t GetByteTimed(int timeoutMs) override;
    int32_t GetByteNow() override;
    void SetPortNumber(int32_t v) override { port_ = v; }
    void SetBaudRate(int32_t v) override {
        baud_ = v;
        BaudHistory.push_back(v);
    }
    void SetLineSettings(const TLineSettings& settings) override { line_ = settings; }
    void SetDtr(bool on) override { dtr_ = on; }
    void SetRts(bool on) override { rts_ = on; }
    const TLineSettings& LineSettings() const { return line_; }
    bool Dtr() const { return dtr_; }
    bool Rts() const { return rts_; }
    int32_t InputCount() override;
    int32_t OutputCount() override { return IsOpen() ? 0 : -1; }
    int32_t GetBaudRate() override { return baud_; }
    int32_t DsrState() override { return IsOpen() ? 1 : 0; }
    int32_t MaxBaudRate() override { return 115200; }
    std::string& LinkName(std::string& text) override { return text = "Memory"; }

   protected:
    TVariant Variant() const override { return EmulatedVariant; }
    bool TakeLineStatusError() override;
    void AwaitInput(int64_t ms) override;

   private:
    int32_t TakeByte();
    std::deque<unsigned char> input_;
    std::vector<unsigned char> written_;
    int32_t port_ = 0, baud_ = 9600;
    TLineSettings line_;
    bool dtr_ = false, rts_ = false;
};
