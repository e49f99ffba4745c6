// The one rounding of a number to two decimals: coordinates in text files, the dialogs' two-decimal
// fields, and what those fields give back when read.
#pragma once

#include <string>

// At least one digit before the point and exactly two after it, halves rounded away from zero, decided
// on the exact value (the double 0.015 lies below 0.015 and gives "0.01"; the float 0.125 is a half and
// gives "0.13"); a double beyond 4.5e13 is rounded to the nearest, halves to even. A value that rounds
// to zero has no sign. NaN and infinities give "NAN", "INF" and "-INF". The separator is always ".".
std::string FixedTwo(double value);
