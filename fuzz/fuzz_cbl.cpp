// .cbl cable sets: read over the cable part of a record, then checked and applied as a sequence
// dialog does.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "fuzz/fuzzcheck.h"
#include "model/cable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TSequence seq;
    seq.Reset();
    TCable cable = seq;
    if (size > 0) std::memcpy(RecordBytes(cable), data, std::min(size, sizeof(TCable)));
    (void)cable.CableName.Get();
    (void)SegmentCount(cable);
    int first = FirstNodeOfSet(cable);
    int last = LastNodeOfSet(cable);
    for (int k = std::max(0, first - 1); k <= std::min(last + 1, MaxNodeNumber + 1); k += 7)
        (void)SegmentIndexOfNode(cable, k);
    // The rule of a cable file is the rule of a sequence's cable part; a set fit for a sequence meets it.
    const bool withinLimits = !CableLimitsProblem(cable);
    if (!CableSetProblem(cable)) FuzzCheck(withinLimits, "a usable cable set lies within the cable limits");
    if (!CableSetProblem(cable)) {
        try {
            ApplyCableSet(seq, cable);
        } catch (const std::invalid_argument&) {
            return 0;
        }
        FuzzCheck(seq.FirstElectrode >= 0 && seq.FirstElectrode <= MaxElectrodeNumber,
                  "an applied cable set starts at an electrode of the table");
    }
    return 0;
}
