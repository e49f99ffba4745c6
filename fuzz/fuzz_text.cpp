// Text sequence files: the first byte picks the decimal separator, the rest is the file.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/fuzzcheck.h"
#include "storage/import.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static TSequence seq;
    const char decimal = (data[0] & 1) ? ',' : '.';
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        ImportTextBytes(text, "Fuzz", decimal, seq);
    } catch (const TImportError&) {
        return 0;
    }
    ExerciseRecord(seq);
    return 0;
}
