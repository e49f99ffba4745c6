// Level lists typed by the user ("1-6", "1,2,5", "1-3,8"): a list is refused with
// std::invalid_argument or gives a mask whose shortest text reads back as the same mask.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "fuzz/fuzzcheck.h"
#include "model/levelspec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    int32_t mask = 0;
    try {
        mask = ParseLevelSpec(text, "--levels");
    } catch (const std::invalid_argument&) {
        return 0;
    }
    const std::string shortest = LevelSpecText(mask);
    if (mask == 0) {
        FuzzCheck(shortest.empty(), "an empty mask reads as no list");
        return 0;
    }
    int32_t again = 0;
    try {
        again = ParseLevelSpec(shortest, "--levels");
    } catch (const std::invalid_argument&) {
        FuzzCheck(false, "the text of an accepted mask is accepted");
    }
    FuzzCheck(again == mask, "the text of a mask reads back as the mask");
    return 0;
}
