#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "model/generate.h"
#include "model/geometry.h"
#include "model/sequencerules.h"
#include "tests/support/fixtures.h"

namespace {

struct TGeoCase {
    const char* Name;
    int Array;
    int A, B, M, N;        // electrode numbers
    float XA, XB, XM, XN;  // abscissas of electrodes 1..4 as used
    float K, Level, Depth;
};

// Electrodes 1..4 at the given abscissas; electrode 0 remote.
std::unique_ptr<TSequence> Line(int array, float x1, float x2, float x3, float x4) {
    auto seq = std::make_unique<TSequence>();
    seq->ArrayType = array;
    seq->Spacing[0] = 5;
    seq->Electrodes[0] = {3, 0, RemoteCoordinate, RemoteCoordinate, 0};
    const float xs[4] = {x1, x2, x3, x4};
    for (int i = 0; i < 4; ++i) seq->Electrodes[i + 1] = {2, int16_t(i + 1), xs[i], 0, 0};
    return seq;
}

class Geometry : public ::testing::TestWithParam<TGeoCase> {};

TEST_P(Geometry, FactorLevelAndDepth) {
    const auto& c = GetParam();
    auto seq = Line(c.Array, c.XA, c.XB, c.XM, c.XN);
    TQuadripole q{int16_t(c.A), int16_t(c.B), int16_t(c.M), int16_t(c.N), 0, 1, -1};
    EXPECT_NEAR(GeometricFactor(*seq, q), c.K, 1e-3);
    if (c.Level >= 0) {
        EXPECT_NEAR(ChartValue(*seq, q, 0), c.Level, 1e-4);
    }
    EXPECT_NEAR(ChartValue(*seq, q, 1), c.Depth, 1e-3);
    EXPECT_NEAR(ChartValue(*seq, q, 2), std::fabs(c.K), 1e-3);
    EXPECT_EQ(ChartValue(*seq, q, 3), 0.0f);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, Geometry,
    ::testing::Values(TGeoCase{"DipoleDipole", 0, 1, 2, 3, 4, 0, 5, 10, 15, -94.2478f, 5, 2.0814f},
                      // Wenner: A 0, M 5, N 10, B 15; electrodes 1=A 2=M 3=N 4=B.
                      TGeoCase{"Wenner", 6, 1, 4, 2, 3, 0, 5, 10, 15, 31.4159f, 5, 2.595f},
                      // Pole-pole: A = M = 0, B at 0, N at 5.
                      TGeoCase{"PolePole", 2, 0, 1, 0, 2, 0, 5, 0, 0, 31.4159f, -1, 4.335f},
                      // Pole-dipole: A = 0, B at 0, M at 5, N at 10.
                      TGeoCase{"PoleDipole", 1, 0, 1, 2, 3, 0, 5, 10, 0, -62.8319f, -1, 2.6216f}),
    [](const auto& p) { return std::string(p.param.Name); });

TEST(Geometry, RemoteOnlyAndCoincidentElectrodes) {
    auto seq = Line(0, 0, 0, 10, 15);
    TQuadripole remote{0, 0, 0, 0, 0, 1, -1};
    EXPECT_EQ(GeometricFactor(*seq, remote), 1.0f);
    EXPECT_EQ(PseudoX(*seq, remote), 0.0f);
    TQuadripole same{1, 2, 1, 2, 0, 1, -1};  // every pair coincident or cancelling
    EXPECT_EQ(GeometricFactor(*seq, same), 1.0f);
    EXPECT_EQ(QuadripoleK(*seq, 0), 0.0f);  // beyond NbQuadripole
    seq->Quadripoles[0] = {1, 2, 3, 4, 0, 1, -1};
    seq->NbQuadripole = 1;
    EXPECT_NE(QuadripoleK(*seq, 0), 0.0f);
}

TEST(Geometry, InactiveElectrodesAreRealOthersAtInfinity) {
    auto seq = Line(0, 0, 5, 10, 15);
    seq->Electrodes[2].Type = 4;
    TQuadripole q{1, 2, 3, 4, 0, 1, -1};
    EXPECT_NEAR(GeometricFactor(*seq, q), -94.2478f, 1e-3);
    seq->Electrodes[2].Type = 1;  // a node not placed is at infinity: pole-dipole geometry
    EXPECT_NEAR(GeometricFactor(*seq, q), 2 * 3.14159265 / (1 / 10.0 - 1 / 15.0), 1e-2);
    EXPECT_FLOAT_EQ(PseudoX(*seq, q), (0 + 12.5f) / 2);
}

TEST(Geometry, Labels) {
    EXPECT_EQ(QuadripoleLabel({1, 2, 3, 4, 0, 1, -1}, "-"), " 1-2-3-4  ");
    EXPECT_EQ(QuadripoleLabel({0, 5, 6, 7, 0, 1, -1}, "-"), " Rem-5-6-7  ");
    EXPECT_EQ(QuadripoleLabel({0, 5, 0, 1999, 0, 1, -1}, "\t"), " Rem\t5\tRem\t1999  ");
}

struct TMultipleCase {
    const char* Label;
    float Length, Unit;
    int Multiple;
};

class WholeMultiples : public testing::TestWithParam<TMultipleCase> {};

TEST_P(WholeMultiples, OfALength) {
    EXPECT_EQ(WholeMultiple(GetParam().Length, GetParam().Unit), GetParam().Multiple);
}

INSTANTIATE_TEST_SUITE_P(Cases, WholeMultiples,
                         testing::Values(
                             // k x a in float32 divided by a falls just below k.
                             TMultipleCase{"ThreeTimes011", 3 * 0.11f, 0.11f, 3},
                             TMultipleCase{"SevenTimes009", 7 * 0.09f, 0.09f, 7},
                             TMultipleCase{"ThreeTimes043", 3 * 0.43f, 0.43f, 3},
                             TMultipleCase{"MinusThreeTimes011", -3 * 0.11f, 0.11f, -3},
                             // Within the 0.01 positions are matched to, a length is the multiple it meets.
                             TMultipleCase{"WithinTheMatchBelow", 7.495f, 2.5f, 3},
                             TMultipleCase{"WithinTheMatchAbove", 7.505f, 2.5f, 3},
                             // Any other length keeps the whole part of its quotient.
                             TMultipleCase{"NotAWholeMultiple", 8.0f, 2.5f, 3},
                             TMultipleCase{"BeyondTheMatch", 7.48f, 2.5f, 2},
                             TMultipleCase{"UnitsTooSmallToMatchRoundOnlyNearby", 0.0025f, 0.001f, 2},
                             TMultipleCase{"Zero", 0.0f, 5.0f, 0}, TMultipleCase{"ZeroUnit", 5.0f, 0.0f, 0},
                             TMultipleCase{"NotANumber", NAN, 5.0f, 0},
                             TMultipleCase{"Infinite", INFINITY, 5.0f, 0},
                             TMultipleCase{"Huge", 3e38f, 0.001f, 0}),
                         [](const testing::TestParamInfo<TMultipleCase>& p) { return p.param.Label; });

TEST(Geometry, EveryTypedSpacingGivesBackTheMultipleItWasMadeWith) {
    // Every a typed with two decimals from 0.01 to 100.00, with every multiple 2 to 9 stored as the
    // dialog and the command line store it: 2,832 of these 80,000 once came back one too small.
    auto seq = std::make_unique<TSequence>();
    int wrong = 0;
    std::string first;
    for (int cents = 1; cents <= 10000; ++cents) {
        const std::string typed =
            std::to_string(cents / 100) + "." + char('0' + cents / 10 % 10) + char('0' + cents % 10);
        seq->Spacing[0] = std::strtof(typed.c_str(), nullptr);
        for (int k = 2; k <= 9; ++k) {
            SetDipoleLength(*seq, 2, k);
            if (SpacingMultiple(*seq, 2) == k &&
                SpacingMultipleText(*seq, 2, true) == std::to_string(k) + " x a")
                continue;
            if (wrong++ == 0)
                first =
                    "a = " + typed + ", k = " + std::to_string(k) + ": " + SpacingMultipleText(*seq, 2, true);
        }
    }
    EXPECT_EQ(wrong, 0) << first;
}

TEST(Geometry, ANewSpacingKeepsEachDipoleLengthItsExactMultiple) {
    auto seq = std::make_unique<TSequence>();
    seq->Spacing[0] = 0.37f;
    SetDipoleLength(*seq, 1, 3);
    SetDipoleLength(*seq, 2, 7);
    for (float a : {0.11f, 0.09f, 0.43f, 2.5f}) {
        SetElectrodeSpacing(*seq, a);
        EXPECT_EQ(seq->Spacing[1], 3 * a) << a;
        EXPECT_EQ(seq->Spacing[2], 7 * a) << a;
    }
    // A length that is no whole multiple keeps its ratio.
    seq->Spacing[1] = 2.5f * seq->Spacing[0];
    SetElectrodeSpacing(*seq, 1.0f);
    EXPECT_FLOAT_EQ(seq->Spacing[1], 2.5f);
}

TEST(Geometry, SpacingMultiples) {
    auto seq = std::make_unique<TSequence>();
    seq->Spacing[0] = 2.5f;
    seq->Spacing[1] = 7.5f;
    EXPECT_EQ(SpacingMultipleText(*seq, 1, true), "3 x a");
    seq->Spacing[1] = 8.0f;
    EXPECT_EQ(SpacingMultipleText(*seq, 1, false), "3");
    EXPECT_FLOAT_EQ(SpacingFromText(*seq, "3 x a"), 7.5f);
    EXPECT_FLOAT_EQ(SpacingFromText(*seq, ""), 0.0f);
    EXPECT_THROW(SpacingFromText(*seq, "x"), std::invalid_argument);
    seq->Spacing[0] = 0;
    EXPECT_EQ(SpacingMultipleText(*seq, 1, true), " ");
}

TEST(Geometry, PlotValuesAreThoseOfEachView) {
    // Every array kind (3 has no views of its own), then the same records with random positions.
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> bits(0, 255);
    auto same = [](float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    for (int array : {0, 1, 2, 4, 6, 3}) {
        auto seq = MakeLine(MakeCable({{1, 60, 2.5f}}), {.Array = array == 3 ? 0 : array,
                                                         .Levels = 0xFF,
                                                         .Spacing2 = array == 2 || array == 6 ? 0.0f : 10.0f,
                                                         .Levels2 = 0x3});
        TNullChartSink chart;
        GenerateSequence(*seq, ModeCreate, chart);
        seq->ArrayType = array;
        for (int round = 0; round < 2; ++round) {
            for (int i = 0; i < seq->NbQuadripole; ++i) {
                const TQuadripole& q = seq->Quadripoles[i];
                const TPlotValues v = PlotValues(*seq, q);
                ASSERT_TRUE(same(v.PseudoX, PseudoX(*seq, q))) << array << " " << i;
                ASSERT_TRUE(same(v.Level, ChartValue(*seq, q, 0))) << array << " " << i;
                ASSERT_TRUE(same(v.Depth, ChartValue(*seq, q, 1))) << array << " " << i;
            }
            for (auto& e : seq->Electrodes) {
                auto* b = reinterpret_cast<unsigned char*>(&e.X);
                for (std::size_t k = 0; k < sizeof e.X; ++k) b[k] = static_cast<unsigned char>(bits(rng));
            }
        }
    }
}

}  // namespace
