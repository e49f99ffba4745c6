#include "model/sequence.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>

void TText32::Set(std::string_view text) {
    Clear();
    std::size_t n = std::min<std::size_t>(text.size(), 31);
    if (n > 0) std::memcpy(Bytes, text.data(), n);  // an empty string_view's data() may be null
}

std::string RecordTextUtf8(const std::string& bytes) {
    // Well-formed UTF-8 only: no overlong forms, no surrogates, nothing above U+10FFFF.
    auto validUtf8 = [&bytes] {
        auto at = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
        for (std::size_t i = 0; i < bytes.size();) {
            const unsigned char c = at(i);
            std::size_t n = c < 0x80 ? 1 : c < 0xC2 ? 0 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : c < 0xF5 ? 4 : 0;
            if (n == 0 || i + n > bytes.size()) return false;
            for (std::size_t k = 1; k < n; ++k)
                if ((at(i + k) >> 6) != 0x2) return false;
            if ((c == 0xE0 && at(i + 1) < 0xA0) || (c == 0xED && at(i + 1) >= 0xA0) ||
                (c == 0xF0 && at(i + 1) < 0x90) || (c == 0xF4 && at(i + 1) >= 0x90))
                return false;
            i += n;
        }
        return true;
    };
    if (validUtf8()) return bytes;
    std::string out;
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::optional<std::string> TextLengthProblem(std::string_view text, std::size_t maxLength) {
    if (text.size() <= maxLength) return std::nullopt;
    // A field keeps bytes, and in UTF-8 a character outside ASCII takes two to four of them: the limit
    // is told in bytes, with the characters typed when they are fewer.
    std::string problem =
        "at most " + std::to_string(maxLength) + " bytes, not " + std::to_string(text.size());
    const auto characters = static_cast<std::size_t>(std::count_if(
        text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
    if (characters != text.size()) problem += " (" + std::to_string(characters) + " characters)";
    return problem;
}

std::string TerminalText(std::string_view utf8) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        // U+0080 to U+009F arrive as C2 80 to C2 9F.
        if (c == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) <= 0x9F &&
            static_cast<unsigned char>(utf8[i + 1]) >= 0x80) {
            const auto d = static_cast<unsigned char>(utf8[++i]);
            out += "\\u00";
            out += hex[d >> 4];
            out += hex[d & 0xF];
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 0xF];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string TText32::Get() const {
    std::size_t n = 0;
    while (n < sizeof Bytes && Bytes[n] != '\0') ++n;
    return std::string(Bytes, n);
}

void TText32::Clear() { std::memset(Bytes, 0, sizeof Bytes); }

void TSegment::MakeEmpty() {
    Name.Set("NoName");
    FirstNode = 0;
    LastNode = 0;
    NodeSpacing = 0;
    Reversible = 0;
    Reserved = 0;
}

void TSegment::CopyFrom(const TSegment& other) {
    Name = other.Name;
    FirstNode = other.FirstNode;
    LastNode = other.LastNode;
    NodeSpacing = other.NodeSpacing;
    Reversible = other.Reversible;
}

TCable::TCable() { ResetCable(); }

void TCable::ResetCable() {
    CableReserved = 0;
    CablePadding[0] = CablePadding[1] = 0;
    for (auto& s : Segments) s.MakeEmpty();
    CableName.Set("NoName");
}

TSequence::TSequence() { Reset(); }

void TSequence::Reset() {
    // Zero everything first so padding bytes are written as 0.
    std::memset(static_cast<void*>(this), 0, sizeof(TSequence));
    ResetCable();
    Version = 1;
    Name.Set("NoName");
    StackMin = 3;
    StackMax = 6;
    Time = 1000;
    VmnRange = 4;
    LevelUsed[0] = 1;
    for (int s = 0; s < MaxSpacings; ++s) RollLimit[s] = NotSet;
    MaxX = NotSet;
    MaxY = NotSet;
    for (auto& q : Quadripoles) q.MakeEmpty();
}

std::optional<std::string> NonFiniteCoordinate(float x, float y, float z) {
    const std::pair<const char*, float> values[] = {{"X", x}, {"Y", y}, {"Z", z}};
    for (const auto& [name, v] : values)
        if (!std::isfinite(v))
            return std::string(name) + " = " + (std::isnan(v) ? "nan" : v > 0 ? "inf" : "-inf");
    return std::nullopt;
}

std::string ArrayTypeName(int32_t code) { return ArrayTypeRow(code).Name; }

std::string VmnRangeText(int32_t code) {
    static const char* const texts[] = {
        "Vmn Maximum", "Vmn High",   "Vmn Medium", "Vmn Low",    "Vmn =Save energy", "Vab = 12 V",
        "Vab = 25 V",  "Vab = 50 V", "Vab = 100V", "Vab = 200V", "Vab = 400V",       "Vab = 800V",
    };
    if (code < 0 || code > 11) return "";
    return texts[code];
}

int LevelCount(int32_t mask) { return std::popcount(static_cast<uint32_t>(mask)); }

int LowestLevel(int32_t mask) {
    auto m = static_cast<uint32_t>(mask);
    return m == 0 ? -1 : std::countr_zero(m);
}

int HighestLevel(int32_t mask) {
    auto m = static_cast<uint32_t>(mask);
    return m == 0 ? -1 : 31 - std::countl_zero(m);
}

int FirstMissingLevel(int32_t mask) { return std::countr_one(static_cast<uint32_t>(mask)); }

void SetLevels(int32_t& mask, int n) {
    uint32_t m = 0;
    if (n >= 32)
        m = 0xFFFFFFFFu;
    else if (n > 0)
        m = (1u << n) - 1u;
    mask = static_cast<int32_t>(m);
}
