// The dial directory "PhoneNum.Dial": its lines as the directory reads them, the number found in each
// entry, and the file the directory writes back, which must read as the same entries.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzzcheck.h"
#include "link/dialdirectory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> entries = ParseDialLines(text);
    std::string written;
    for (const std::string& e : entries) {
        FuzzCheck(!e.empty() && e.find_first_of("\r\n") == std::string::npos,
                  "an entry is one non-empty line");
        const std::string number = DialNumberOf(e);
        FuzzCheck(number.empty() || (number.back() >= '0' && number.back() <= '9'),
                  "a number ends with a digit");
        FuzzCheck(number.find_first_not_of(DialNumberChars) == std::string::npos,
                  "a number holds only dial characters");
        FuzzCheck(e.find(number) != std::string::npos, "a number is part of its entry");
        FuzzCheck(SameDialEntry(e, e), "an entry equals itself");
        written += e + "\r\n";
    }
    FuzzCheck(ParseDialLines(written) == entries, "the file written back reads as the same entries");
    return 0;
}
