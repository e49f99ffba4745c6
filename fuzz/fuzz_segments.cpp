// The segment library "Segments.org": 44-byte records, each checked and included into a cable set as
// the segment dialog does.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzzcheck.h"
#include "model/cable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<unsigned char> bytes(data, data + size);
    std::vector<TSegment> segments = ParseLibrary(bytes);
    FuzzCheck(segments.size() == size / sizeof(TSegment), "one segment per whole record");
    TCable cable;
    for (const TSegment& s : segments) {
        (void)s.Name.Get();
        (void)s.NodeCount();
        (void)SegmentProblem(s);
        TIncludeOutcome outcome = IncludeSegment(cable, s);
        if (outcome.Result != TIncludeResult::Included) (void)IncludeRefusalText(cable, s, outcome);
    }
    // What the inclusion rule accepts is what a cable file is checked against.
    FuzzCheck(!CableSetProblem(cable), "a set built by inclusion is usable");
    return 0;
}
