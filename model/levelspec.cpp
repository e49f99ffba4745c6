#include "model/levelspec.h"

#include <cstdlib>

namespace {
int ParseLevel(const std::string& t, const std::string& what, const std::string& whole) {
    char* end = nullptr;
    long v = std::strtol(t.c_str(), &end, 10);
    if (t.empty() || *end != '\0' || v < 1 || v > 32)
        throw std::invalid_argument(what + ": \"" + whole + "\" must list levels 1 to 32, e.g. 1-6 or 1,2,5");
    return static_cast<int>(v);
}
}  // namespace

int32_t ParseLevelSpec(const std::string& text, const std::string& what) {
    uint32_t mask = 0;
    std::size_t start = 0;
    if (text.empty()) throw std::invalid_argument(what + ": empty level list");
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        std::size_t dash = item.find('-');
        int lo, hi;
        if (dash == std::string::npos) {
            lo = hi = ParseLevel(item, what, text);
        } else {
            lo = ParseLevel(item.substr(0, dash), what, text);
            hi = ParseLevel(item.substr(dash + 1), what, text);
            if (hi < lo) throw std::invalid_argument(what + ": \"" + item + "\" is a falling range");
        }
        for (int n = lo; n <= hi; ++n) mask |= 1u << (n - 1);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return static_cast<int32_t>(mask);
}

std::string LevelSpecText(int32_t mask) {
    auto m = static_cast<uint32_t>(mask);
    std::string out;
    for (int n = 1; n <= 32;) {
        if (!((m >> (n - 1)) & 1u)) {
            ++n;
            continue;
        }
        int end = n;
        while (end < 32 && ((m >> end) & 1u)) ++end;
        if (!out.empty()) out += ",";
        out += std::to_string(n);
        if (end > n) out += "-" + std::to_string(end);
        n = end + 1;
    }
    return out;
}
