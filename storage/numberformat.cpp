#include "storage/numberformat.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "model/fixedtwo.h"

namespace {

std::string WithSeparator(std::string s, char decimal) {
    for (char& c : s)
        if (c == '.') c = decimal;
    return s;
}

}  // namespace

std::string FormatGeneral(double value, char decimal) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    if (value == 0) return "0";
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
    std::string sci(buf, res.ptr);  // [-]d.dddddddddddddde[+-]xx
    bool negative = sci[0] == '-';
    if (negative) sci.erase(0, 1);
    std::size_t e = sci.find('e');
    int exponent = std::atoi(sci.c_str() + e + 1);
    std::string digits = sci.substr(0, 1) + sci.substr(2, e - 2);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    // Built with append: GCC 12 warns falsely (-Wrestrict) on chains of string operator+.
    std::string out = negative ? "-" : "";
    if (exponent < -4 || exponent >= 15) {
        out += digits[0];
        if (digits.size() > 1) out.append(".").append(digits, 1, std::string::npos);
        out.append("E").append(std::to_string(exponent));
    } else if (exponent < 0) {
        out.append("0.").append(static_cast<std::size_t>(-exponent - 1), '0').append(digits);
    } else {
        auto whole = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= whole) {
            out.append(digits).append(whole - digits.size(), '0');
        } else {
            out.append(digits, 0, whole).append(".").append(digits, whole, std::string::npos);
        }
    }
    return WithSeparator(out, decimal);
}

std::string FormatFixed2(double value, char decimal) { return WithSeparator(FixedTwo(value), decimal); }

std::optional<long long> ParseInteger(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::size_t start = 0;
    bool negative = false;
    if (text[0] == '+' || text[0] == '-') {
        negative = text[0] == '-';
        start = 1;
    }
    // One sign at most: from_chars would take a second '-' itself.
    if (start == text.size() || text[start] < '0' || text[start] > '9') return std::nullopt;
    long long v = 0;
    auto res = std::from_chars(text.data() + start, text.data() + text.size(), v);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size()) return std::nullopt;
    return negative ? -v : v;
}

std::optional<float> ParseDecimal(std::string_view text, char decimal) {
    std::string s(text);
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    bool digits = false;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        ++i;
        digits = true;
    }
    if (i < s.size() && s[i] == decimal) {
        s[i] = '.';
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            ++i;
            digits = true;
        }
    }
    if (!digits) return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        bool expDigits = false;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            ++i;
            expDigits = true;
        }
        if (!expDigits) return std::nullopt;
    }
    if (i != s.size()) return std::nullopt;
    std::size_t from = s[0] == '+' ? 1 : 0;
    double v = 0;
    auto res = std::from_chars(s.data() + from, s.data() + s.size(), v);
    if (res.ec != std::errc() || res.ptr != s.data() + s.size()) return std::nullopt;
    if (std::fabs(v) > static_cast<double>(std::numeric_limits<float>::max())) return std::nullopt;
    return static_cast<float>(v);
}
