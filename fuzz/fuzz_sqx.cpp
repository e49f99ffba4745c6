// .sqx records: the bytes as a file (short files fill only the start), and the bytes placed over a
// default record at the electrode counts and at the end, where the quadripole count lies.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzzcheck.h"

namespace {

constexpr size_t ElectrodeCountsOffset = 33592;   // NbElectrode, FirstElectrode, LastElectrode, then the quadripoles

void ReadPlaced(const uint8_t* data, size_t size, size_t offset) {
    static TSequence defaults;
    static unsigned char buffer[sizeof(TSequence)];
    static TSequence seq;
    std::memcpy(buffer, RecordBytes(defaults), sizeof buffer);
    size_t n = std::min(size, sizeof buffer - offset);
    std::memcpy(buffer + offset, data, n);
    if (!ReadSequenceBytes(buffer, sizeof buffer, seq)) ExerciseRecord(seq);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TSequence seq;
    if (!ReadSequenceBytes(data, size, seq)) ExerciseRecord(seq);
    if (size < sizeof(TSequence)) {
        ReadPlaced(data, size, ElectrodeCountsOffset);
        ReadPlaced(data, size, sizeof(TSequence) - std::min(size, sizeof(TSequence)));
    }
    return 0;
}
