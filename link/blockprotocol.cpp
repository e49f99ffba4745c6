#include "link/blockprotocol.h"

#include <algorithm>
#include <cstring>

#include "link/linktexts.h"

namespace {

int NextBlock(int n) { return n >= Wire::LastBlockNumber ? 1 : n + 1; }
// The checksum's share of a block length: the two bytes of the unshifted 16-bit length.
uint16_t LengthSum(int length) { return static_cast<uint16_t>((length & 0xFF) + ((length >> 8) & 0xFF)); }

}  // namespace

std::size_t TByteStream::Read(unsigned char* out, std::size_t n) {
    std::size_t k = std::min(n, data_.size() - pos_);
    if (k > 0) std::memcpy(out, data_.data() + pos_, k);
    pos_ += k;
    return k;
}

TBlockProtocol::TBlockProtocol(TPortVirt& link) : link_(link) {}

uint16_t TBlockProtocol::ByteSum(const unsigned char* data, int n) {
    uint32_t sum = 0;
    for (int i = 0; i < n; ++i) sum += data[i];
    return static_cast<uint16_t>(sum & 0xFFFF);
}

void TBlockProtocol::SendData(const unsigned char* data, std::size_t length, TProgressIndicator* progress) {
    stream_.Clear();
    if (data != nullptr && length > 0) stream_.Write(data, length);
    if (stream_.Size() == 0) {
        link_.Host().ShowMessage(LinkText::ErrBuffer);
        return;
    }
    SendStream(progress);
}

void TBlockProtocol::SendStream(TProgressIndicator* progress) {
    link_.Host().SetBusyCursor(true);
    const int size = static_cast<int>(stream_.Size());
    if (progress) {
        progress->SetMinimum(0);
        progress->SetMaximum(size);
        progress->SetPosition(0);
    }
    stream_.Rewind();
    int remaining = size;

    // The instrument sends bytes and waits for their echo; its 0 starts the transfer.
    for (int before = 0;; ++before) {
        if (before >= LinkRetry::StartBytes) link_.GiveUp(LinkText::NoTransferStart(before));
        int32_t b = link_.WaitByte();
        link_.PutByte(static_cast<unsigned char>(b & 0xFF));
        if (b == Wire::Start) break;
    }
    int n = 1;
    int p = 1;
    link_.Clock().SleepMs(10);
    unsigned char word[4];
    Wire::PutLe32(word, static_cast<uint32_t>(remaining));
    link_.PutBlock(word, 4);

    // The data and, behind them, their checksum: both go in one write.
    unsigned char block[Wire::MaxBlock + 2];
    int length = 0;
    uint16_t lengthSum = 0;
    int fruitless = 0;  // requests in a row that did not move the transfer on
    for (;;) {
        unsigned char req[2];
        link_.ReadBytes(req, 2);
        const int r = Wire::Le16(req);
        link_.PurgeInput();
        link_.PutBlock(req, 2);
        if (r != n && ++fruitless > LinkRetry::BlockRetries)
            link_.GiveUp(r == p ? LinkText::BlockNeverArrived(p, fruitless)
                                : LinkText::RequestsGarbled(fruitless));
        if (r != n && r != p) continue;  // neither the next nor a repeat: ignored
        bool fresh = false;
        if (r == n) {
            fruitless = 0;
            if (remaining <= 0) break;
            length = std::min(remaining, Wire::MaxBlock);
            lengthSum = LengthSum(length);
            stream_.Read(block, static_cast<std::size_t>(length));
            link_.Host().ProcessEvents();
            remaining -= length;
            p = n;
            n = NextBlock(n);
            fresh = true;
        }
        // Otherwise r == p: a repeat request gets the last block again, the stream does not move back.
        Wire::PutLe16(word, static_cast<uint16_t>(length << 6));
        link_.PutBlock(word, 2);
        // The instrument needs a moment between the length word and the data.
        link_.Clock().SleepMs(10);
        if (fresh && progress) {
            // One step a byte, back to 0 whenever a step would pass the maximum.
            int pos = progress->Position();
            for (int i = 0; i < length; ++i) pos = pos + 1 > progress->Maximum() ? 0 : pos + 1;
            progress->SetPosition(pos);
            link_.Host().ProcessEvents();
        }
        Wire::PutLe16(block + length, static_cast<uint16_t>(lengthSum + ByteSum(block, length)));
        link_.PutBlock(block, length + 2);
    }
    if (progress) progress->SetPosition(0);
    link_.Host().SetBusyCursor(false);
    link_.Host().ProcessEvents();
}

void TBlockProtocol::ReceiveStream(TProgressIndicator* progress) {
    link_.Host().SetBusyCursor(true);
    stream_.Clear();
    if (link_.LinkState() <= 0) link_.Fail(LinkText::PortErrXbtCload);
    link_.PurgeOutput();
    for (int before = 0;; ++before) {
        if (before >= LinkRetry::StartBytes) link_.GiveUp(LinkText::NoTransferStart(before));
        link_.PurgeInput();
        link_.PutByte(Wire::Start);
        if (link_.WaitByte() == Wire::Start) break;
    }
    int n = 1;
    unsigned char buf[Wire::MaxBlock];
    unsigned char two[2];
    int32_t total = 0;
    if (link_.ReadBlockTimed(buf, 4, 3000) == 4) total = Wire::LeInt32(buf);
    // A negative total is out of range: read it as "no total", which receives one block.
    if (total < 0) total = 0;
    if (progress) {
        progress->SetMinimum(0);
        progress->SetMaximum(total > 0 ? total : Wire::MaxBlock);
        progress->SetPosition(0);
    }
    // Requests in a row that brought no block: a wrong echo of the request, or a spoilt block.
    int fruitless = 0;
    auto fruitlessRequest = [&] {
        if (++fruitless > LinkRetry::BlockRetries) link_.GiveUp(LinkText::BlockCameSpoilt(n, fruitless));
    };
    for (;;) {
        for (;;) {
            link_.PurgeInput();
            Wire::PutLe16(two, static_cast<uint16_t>(n));
            link_.PutBlock(two, 2);
            link_.ReadBytes(two, 2);
            if (Wire::Le16(two) == n) break;
            fruitlessRequest();
        }
        link_.ReadBytes(two, 2);
        int length = Wire::Le16(two) >> 6;
        // The length word has room for 1,023; more than a block holds is read as the rest of the total.
        if (length > Wire::MaxBlock) length = total < Wire::MaxBlock ? total : Wire::MaxBlock;
        if (length == 0) break;
        link_.ReadBytes(buf, length);
        link_.ReadBytes(two, 2);
        const uint16_t sum = static_cast<uint16_t>(LengthSum(length) + ByteSum(buf, length));
        if (sum == Wire::Le16(two)) {
            n = NextBlock(n);
            if (progress) {
                int pos = progress->Position() + length;
                progress->SetPosition(pos > progress->Maximum() ? 0 : pos);
            }
            stream_.Write(buf, static_cast<std::size_t>(length));
            link_.Host().ProcessEvents();
            total -= length;
            fruitless = 0;
        } else {
            fruitlessRequest();
        }
        // A wrong checksum keeps n, so the same block is asked for again.
        if (total <= 0) break;
    }
    Wire::PutLe16(two, static_cast<uint16_t>(n));
    link_.PutBlock(two, 2);
    link_.ReadBytes(two, 2);
    if (progress) progress->SetPosition(0);
    link_.Host().SetBusyCursor(false);
    link_.Host().ProcessEvents();
}

int32_t TBlockProtocol::ReceiveData(unsigned char* buffer, std::size_t capacity,
                                    TProgressIndicator* progress) {
    ReceiveStream(progress);
    const std::size_t size = stream_.Size();
    if (size > 0 && buffer == nullptr) {
        link_.Host().ShowMessage(LinkText::ErrBuffer);
        return 0;
    }
    const std::size_t n = std::min(size, capacity);
    if (n > 0) std::memcpy(buffer, stream_.Bytes().data(), n);
    return static_cast<int32_t>(n);
}
