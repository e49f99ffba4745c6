// V1 (.seq) files of the program's first version.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzzcheck.h"
#include "storage/import.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TSequence seq;
    try {
        ImportV1Bytes(data, size, seq);
    } catch (const TImportError&) {
        return 0;
    }
    ExerciseRecord(seq);
    return 0;
}
