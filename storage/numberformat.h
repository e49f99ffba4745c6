// Numbers in text files, with the decimal separator passed in (never taken from the process locale,
// which a desktop toolkit may have changed).
#pragma once

#include <optional>
#include <string>
#include <string_view>

// General format: the value rounded to 15 significant digits, trailing zeros removed; scientific
// notation ("1.5E-5", "1E20") only when the decimal exponent is below -4 or at least 15. A
// single-precision 0.1 gives 0.100000001490116.
std::string FormatGeneral(double value, char decimal);

// Pattern "#0.00": FixedTwo (model/fixedtwo.h) with `decimal` as the separator.
std::string FormatFixed2(double value, char decimal);

// A decimal integer with an optional sign and nothing else; nothing when the text is not one or does
// not fit in 64 bits.
std::optional<long long> ParseInteger(std::string_view text);

// A decimal number written with `decimal` as separator (optional sign, digits, optional fraction and
// exponent); nothing when the text is not one or lies outside the float range. Infinities and NaN are
// not numbers here.
std::optional<float> ParseDecimal(std::string_view text, char decimal);
