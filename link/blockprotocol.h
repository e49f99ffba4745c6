// The block protocol: moves a buffer of any length between the program and the instrument in
// checksummed blocks of at most 528 bytes, over the primitives of an open link (portvirt.h), which
// knows nothing of it.
//
// A transfer starts on byte 0 (the instrument sends bytes and waits for their echo until its 0),
// then the 4-byte total; the receiving side asks for each block by its 16-bit number (1 to 127, then
// 1 again, never 0), the sending side echoes the request and sends the length word (length << 6),
// the data and a 16-bit checksum (the two bytes of the unshifted length plus every data byte). A
// wrong checksum asks for the same block again; a repeat request gets the last block again. Every
// number is little-endian.
//
// Failures arrive as TLinkError: the link's own ("Port err. Getcom" when it closes under a wait), and
// Garbled past the limits of LinkRetry (the link then closes). The waits let events run, so a stop
// ends a transfer at any point.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/linkhost.h"
#include "link/portvirt.h"

// The growable byte stream that holds the data of the current block transfer.
class TByteStream {
   public:
    void Clear() {
        data_.clear();
        pos_ = 0;
    }
    void Write(const unsigned char* data, std::size_t n) { data_.insert(data_.end(), data, data + n); }
    void Rewind() { pos_ = 0; }
    // Copies up to n bytes from the current position; returns the number copied.
    std::size_t Read(unsigned char* out, std::size_t n);
    std::size_t Size() const { return data_.size(); }
    const std::vector<unsigned char>& Bytes() const { return data_; }

   private:
    std::vector<unsigned char> data_;
    std::size_t pos_ = 0;
};

class TBlockProtocol {
   public:
    // The link must outlive the protocol.
    explicit TBlockProtocol(TPortVirt& link);

    // The sum of the n bytes, modulo 65,536.
    static uint16_t ByteSum(const unsigned char* data, int n);
    // Empties the TransferStream, writes the data into it and sends it with SendStream; an empty
    // buffer shows "Err. Buffer" and sends nothing.
    void SendData(const unsigned char* data, std::size_t length, TProgressIndicator* progress);
    // Program to instrument, the whole TransferStream.
    void SendStream(TProgressIndicator* progress);
    // Instrument to program, into the emptied TransferStream. Raises "Port err. xbtCload" on a closed
    // link.
    void ReceiveStream(TProgressIndicator* progress);
    // ReceiveStream, then copies at most `capacity` received bytes; returns the number copied.
    int32_t ReceiveData(unsigned char* buffer, std::size_t capacity, TProgressIndicator* progress);

    // The data of the current transfer: after ReceiveStream, exactly the bytes received.
    TByteStream& TransferStream() { return stream_; }

   private:
    TPortVirt& link_;
    TByteStream stream_;
};
