// The instrument's wire: the bytes of its remote mode, and the little-endian order of every
// multi-byte value it sends or takes (on the wire and in the images it stores), whatever the host's
// order. Helpers for reading and writing numbers in byte buffers, written once here.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

namespace Wire {

// The bytes of the instrument's remote mode.
constexpr const char* Prompt = ":>";
constexpr unsigned char Sync = 0x40;   // sent by the program, echoed by the instrument
constexpr unsigned char Start = 0x00;  // start byte of a block transfer
constexpr unsigned char Cr = 0x0D;
constexpr unsigned char Lf = 0x0A;
constexpr int MaxBlock = 528;         // data bytes per block; the length word keeps 10 bits
constexpr int LastBlockNumber = 127;  // after 127 comes 1, never 0

inline uint16_t Le16(const unsigned char* b) { return static_cast<uint16_t>(b[0] | (b[1] << 8)); }

inline uint32_t Le32(const unsigned char* b) {
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

// A two's-complement int32 as the instrument sends it.
inline int32_t LeInt32(const unsigned char* b) { return static_cast<int32_t>(Le32(b)); }

inline void PutLe16(unsigned char* b, uint16_t v) {
    b[0] = static_cast<unsigned char>(v & 0xFF);
    b[1] = static_cast<unsigned char>(v >> 8);
}

inline void PutLe32(unsigned char* b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
}

// An IEEE-754 single as its 32 bits, low byte first.
inline void PutLeFloat(unsigned char* b, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    PutLe32(b, bits);
}

inline std::array<unsigned char, 2> Le16Bytes(uint16_t v) {
    std::array<unsigned char, 2> b;
    PutLe16(b.data(), v);
    return b;
}

inline std::array<unsigned char, 4> Le32Bytes(uint32_t v) {
    std::array<unsigned char, 4> b;
    PutLe32(b.data(), v);
    return b;
}

}  // namespace Wire
