#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "model/electrodesused.h"
#include "qtsupport/workspace.h"
#include "storage/numberformat.h"

namespace {

// The cases on which the dialogs' two decimals ("%.2f", ties to even on the binary value) and the
// files' ("#0.00", halves away from zero) used to differ: now a dialog shows what a file holds.
struct TTwoDecimals {
    const char* Name;
    double Value;
    const char* Text;
};

class TwoDecimals : public testing::TestWithParam<TTwoDecimals> {};

TEST_P(TwoDecimals, DialogsShowWhatFilesHold) {
    const TTwoDecimals& c = GetParam();
    EXPECT_EQ(FixedTwoText(c.Value, '.').toStdString(), c.Text);
    EXPECT_EQ(FormatFixed2(c.Value, '.'), c.Text);
    std::string comma = c.Text;
    for (char& ch : comma)
        if (ch == '.') ch = ',';
    EXPECT_EQ(FixedTwoText(c.Value, ',').toStdString(), comma);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TwoDecimals,
    testing::Values(TTwoDecimals{"FloatHalf", 0.125, "0.13"},
                    TTwoDecimals{"NegativeFloatHalf", -0.125, "-0.13"},
                    TTwoDecimals{"OddHalf", 0.625, "0.63"}, TTwoDecimals{"EvenHalf", 0.375, "0.38"},
                    TTwoDecimals{"WholeHalf", 1.125, "1.13"},
                    TTwoDecimals{"RoundsToZeroFromBelow", -0.001, "0.00"},
                    TTwoDecimals{"NotANumber", NAN, "NAN"}, TTwoDecimals{"Infinite", INFINITY, "INF"},
                    TTwoDecimals{"MinusInfinite", -INFINITY, "-INF"},
                    // Doubles just below a half, whose product by 100 rounds onto it.
                    TTwoDecimals{"DoubleBelowAHalf", 0.015, "0.01"},
                    TTwoDecimals{"NegativeDoubleBelowAHalf", -0.015, "-0.01"},
                    TTwoDecimals{"LargerDoubleBelowAHalf", 2.675, "2.67"},
                    TTwoDecimals{"FloatBelowAHalf", double(2.675f), "2.67"}),
    [](const testing::TestParamInfo<TTwoDecimals>& c) { return std::string(c.param.Name); });

// The electrodes-used dialog shows a coordinate with two decimals and takes back what it shows; the
// command line takes the same value.
TEST(TwoDecimals, ACoordinateReadsBackAsTheDialogShowsIt) {
    for (float v : {0.125f, -0.125f, 0.625f, 12.3456f, -0.004f, 2.675f, 999998.875f, 1e-30f}) {
        const auto shown = ReadTypedNumber(FixedTwoText(v, ','), ',');
        ASSERT_TRUE(shown.has_value()) << v;
        EXPECT_EQ(DialogCoordinate(v), static_cast<float>(*shown)) << v;
    }
    EXPECT_EQ(DialogCoordinate(0.125f), 0.13f);
    EXPECT_TRUE(std::isnan(DialogCoordinate(NAN)));
}

TEST(TypedNumbers, FollowTheSeparatorAndTheFloatRange) {
    const struct {
        const char* Text;
        char Decimal;
        std::optional<double> Value;
    } cases[] = {
        {" 12.5 ", '.', 12.5},
        {"12,5", ',', 12.5},
        {"-3", ',', -3.0},
        {".5", '.', 0.5},
        {"5.", '.', 5.0},
        {"+7", '.', 7.0},
        {"1E+05", '.', 1e5},
        {"12.5", ',', std::nullopt},  // the other separator
        {"12,5", '.', std::nullopt},
        {"1,000.5", '.', std::nullopt},
        {"", '.', std::nullopt},
        {"inf", '.', std::nullopt},
        {"nan", '.', std::nullopt},
        {"0x10", '.', std::nullopt},
        {"1 000", '.', std::nullopt},
        // Beyond a float: a record could only hold it as an infinity.
        {"1e39", '.', std::nullopt},
        {"-1e39", ',', std::nullopt},
    };
    for (const auto& c : cases) {
        const auto v = ReadTypedNumber(QString::fromUtf8(c.Text), c.Decimal);
        EXPECT_EQ(v.has_value(), c.Value.has_value()) << c.Text;
        if (v && c.Value) {
            EXPECT_EQ(static_cast<float>(*v), static_cast<float>(*c.Value)) << c.Text;
        }
    }
}

TEST(TypedNumbers, WholeNumbersFitAnInt) {
    EXPECT_EQ(ReadTypedInteger(" 42 "), 42);
    EXPECT_EQ(ReadTypedInteger("-7"), -7);
    EXPECT_EQ(ReadTypedInteger("+7"), 7);
    EXPECT_EQ(ReadTypedInteger("2147483647"), std::numeric_limits<int>::max());
    EXPECT_EQ(ReadTypedInteger("-2147483648"), std::numeric_limits<int>::min());
    for (const char* bad : {"", "2147483648", "-2147483649", "3.5", "1e3", "--5", "0x10", "1 000"})
        EXPECT_EQ(ReadTypedInteger(bad), std::nullopt) << bad;
}

}  // namespace
