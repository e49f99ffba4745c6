#include "model/fixedtwo.h"

#include <charconv>
#include <cmath>

std::string FixedTwo(double value) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    // Beyond 2^52 hundredths the product by 100 may be off by more than a half. No float has a third
    // binary fraction digit there (a half is an odd multiple of 1/8); a double's halves go to even.
    if (!(std::fabs(value) < 0x1p52 / 100)) {
        char buf[400];
        auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2);
        return std::string(buf, res.ptr);
    }
    const double scaled = value * 100.0;
    double hundredths = std::round(scaled);
    // The product may round onto a half the value is not on (0.015 times 100 gives 1.5). fma yields the
    // product's exact rounding error, which says on which side of the half the value lies. A float
    // times 100 is exact, so every float is rounded as it is.
    if (std::fabs(scaled - std::trunc(scaled)) == 0.5) {
        const double error = std::fma(value, 100.0, -scaled);
        if (error != 0 && (error < 0) == (scaled > 0)) hundredths = std::trunc(scaled);
    }
    const auto n = static_cast<long long>(std::fabs(hundredths));
    std::string out = hundredths < 0 && n != 0 ? "-" : "";
    const auto cents = static_cast<int>(n % 100);
    out += std::to_string(n / 100);
    out += '.';
    out += static_cast<char>('0' + cents / 10);
    out += static_cast<char>('0' + cents % 10);
    return out;
}
