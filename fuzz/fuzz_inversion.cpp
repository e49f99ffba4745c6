// The data files of pyGIMLi/BERT and R2/ResIPy: the first byte picks the format and the protocol's
// spacing, the rest is the file. What is accepted must write out and read back the same.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "fuzz/fuzzcheck.h"
#include "storage/import.h"
#include "storage/inversionformats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static TSequence seq, back;
    const bool protocol = (data[0] & 1) != 0;
    static const float spacings[] = {1.0f, 0.001f, 5.0f, 1000.0f};
    const float spacing = spacings[(data[0] >> 1) & 3];
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        if (protocol)
            ImportProtocolBytes(text, "Fuzz", spacing, seq);
        else
            ImportUnifiedBytes(text, "Fuzz", seq);
    } catch (const TImportError&) {
        return 0;
    } catch (const std::invalid_argument&) {
        return 0;
    }
    ExerciseRecord(seq);
    (void)ProtocolText(seq);
    try {
        ImportUnifiedBytes(UnifiedText(seq), "Fuzz", back);
    } catch (const std::exception&) {
        FuzzCheck(false, "an accepted file written out reads back");
    }
    FuzzCheck(back.NbQuadripole == seq.NbQuadripole, "the quadripoles read back");
    for (int i = 0; i < seq.NbQuadripole; ++i) {
        const TQuadripole& a = seq.Quadripoles[i];
        const TQuadripole& b = back.Quadripoles[i];
        FuzzCheck(a.A == b.A && a.B == b.B && a.M == b.M && a.N == b.N, "the same quadripoles read back");
    }
    return 0;
}
