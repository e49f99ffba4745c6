// .sqx records: the bytes as a file (short files fill only the start), and the bytes placed over a
// default record at the electrode counts and at the end, where the quadripole count lies.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz/fuzzcheck.h"
#include "model/generate.h"

namespace {

constexpr size_t ElectrodeCountsOffset =
    33592;  // NbElectrode, FirstElectrode, LastElectrode, then the quadripoles

void ReadPlaced(const uint8_t* data, size_t size, size_t offset) {
    static TSequence defaults;
    static unsigned char buffer[sizeof(TSequence)];
    static TSequence seq;
    std::memcpy(buffer, RecordBytes(defaults), sizeof buffer);
    size_t n = std::min(size, sizeof buffer - offset);
    std::memcpy(buffer + offset, data, n);
    if (!ReadSequenceBytes(buffer, sizeof buffer, seq)) ExerciseRecord(seq);
}

// A record that passes the generation's preconditions is generated, as a roll along from it would
// be: whatever its positions and spacings, the generation ends.
void Generate(const TSequence& seq) {
    static TSequence copy;
    copy = seq;
    if (GenerationPrecondition(copy)) return;
    TNullChartSink chart;
    GenerateSequence(copy, ModeRollAlong, chart);
    FuzzCheck(copy.NbQuadripole >= 0 && copy.NbQuadripole <= MaxQuadripoles,
              "a generation stays in its table");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TSequence seq;
    if (!ReadSequenceBytes(data, size, seq)) {
        ExerciseRecord(seq);
        Generate(seq);
    }
    if (size < sizeof(TSequence)) {
        ReadPlaced(data, size, ElectrodeCountsOffset);
        ReadPlaced(data, size, sizeof(TSequence) - std::min(size, sizeof(TSequence)));
    }
    return 0;
}
