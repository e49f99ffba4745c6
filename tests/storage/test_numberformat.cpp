#include <gtest/gtest.h>

#include <cmath>

#include "storage/numberformat.h"

struct TGeneralCase {
    double Value;
    const char* Point;
};

class GeneralFormat : public testing::TestWithParam<TGeneralCase> {};

TEST_P(GeneralFormat, FifteenSignificantDigits) {
    EXPECT_EQ(FormatGeneral(GetParam().Value, '.'), GetParam().Point);
    std::string comma = GetParam().Point;
    for (char& c : comma)
        if (c == '.') c = ',';
    EXPECT_EQ(FormatGeneral(GetParam().Value, ','), comma);
}

INSTANTIATE_TEST_SUITE_P(Values, GeneralFormat,
                         testing::Values(TGeneralCase{0.0, "0"},
                                         TGeneralCase{double(0.1f), "0.100000001490116"},
                                         TGeneralCase{-2.5, "-2.5"}, TGeneralCase{12.0, "12"},
                                         TGeneralCase{1e20, "1E20"}, TGeneralCase{1.5e-5, "1.5E-5"},
                                         TGeneralCase{0.0001, "0.0001"},
                                         TGeneralCase{123456789012345.0, "123456789012345"},
                                         TGeneralCase{1e15, "1E15"}, TGeneralCase{999999999999999.9, "1E15"},
                                         TGeneralCase{double(48.8566f), "48.8566017150879"},
                                         TGeneralCase{-1234.5e-10, "-1.2345E-7"}));

struct TFixedCase {
    double Value;
    const char* Text;
};

class FixedFormat : public testing::TestWithParam<TFixedCase> {};

TEST_P(FixedFormat, TwoDecimalsRoundedHalfAway) {
    EXPECT_EQ(FormatFixed2(GetParam().Value, '.'), GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, FixedFormat,
    testing::Values(TFixedCase{0, "0.00"}, TFixedCase{0.125, "0.13"}, TFixedCase{-0.125, "-0.13"},
                    TFixedCase{double(2.675f), "2.67"}, TFixedCase{1234.5, "1234.50"},
                    TFixedCase{-0.001, "0.00"}, TFixedCase{double(10.37f), "10.37"},
                    TFixedCase{999999.0, "999999.00"}, TFixedCase{NAN, "NAN"}, TFixedCase{-INFINITY, "-INF"},
                    TFixedCase{1e20, "100000000000000000000.00"}, TFixedCase{0.015, "0.01"},
                    TFixedCase{-0.015, "-0.01"}, TFixedCase{2.675, "2.67"}, TFixedCase{1.005, "1.00"},
                    TFixedCase{0.625, "0.63"}, TFixedCase{999999999999999.9, "999999999999999.88"}));

TEST(FixedFormat, UsesTheGivenSeparator) { EXPECT_EQ(FormatFixed2(-7.5, ','), "-7,50"); }

TEST(ParseNumbers, IntegersAreDecimalWithAnOptionalSign) {
    EXPECT_EQ(ParseInteger("42"), 42);
    EXPECT_EQ(ParseInteger("-7"), -7);
    EXPECT_EQ(ParseInteger("+7"), 7);
    for (const char* bad :
         {"", "-", "3.5", "1e3", "0x10", " 1", "Rem", "99999999999999999999", "--5", "+-5", "-+5", "++5"})
        EXPECT_EQ(ParseInteger(bad), std::nullopt) << bad;
}

TEST(ParseNumbers, DecimalsFollowTheGivenSeparator) {
    EXPECT_EQ(ParseDecimal("12.5", '.'), 12.5f);
    EXPECT_EQ(ParseDecimal("12,5", ','), 12.5f);
    EXPECT_EQ(ParseDecimal("-3", ','), -3.0f);
    EXPECT_EQ(ParseDecimal("1.5E-5", '.'), 1.5e-5f);
    EXPECT_EQ(ParseDecimal(",5", ','), 0.5f);
    for (const char* bad : {"", "12,5x", "inf", "nan", "1e", "1e999", "--1", "."})
        EXPECT_EQ(ParseDecimal(bad, '.'), std::nullopt) << bad;
    EXPECT_EQ(ParseDecimal("12.5", ','), std::nullopt);
}
