#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <map>
#include <memory>
#include <tuple>

#include "model/generate.h"
#include "model/geometry.h"
#include "model/mediandepth.h"
#include "model/reciprocal.h"
#include "tests/support/fixtures.h"

namespace {

constexpr int MG = static_cast<int>(TArrayType::MultipleGradient);

std::unique_ptr<TSequence> Gradient(int electrodes, int32_t separations, float a = 5) {
    TLineSpec spec;
    spec.Array = MG;
    spec.A = a;
    spec.Levels = separations;
    auto seq = MakeLine(MakeCable({{1, electrodes, a}}), spec);
    TNullChartSink chart;
    GenerateSequence(*seq, ModeCreate, chart);
    return seq;
}

// K of a gradient reading on a straight line, in electrode spacings: A at 0, M at k, N at k + 1, B at
// s + 2 (Dahlin and Zhou 2006, the potential dipole k spacings from A inside a current dipole s + 2 long).
double GradientK(double a, int s, int k) {
    const double am = k, an = k + 1, bm = s + 2 - k, bn = s + 1 - k;
    return 2 * M_PI * a / (1 / am - 1 / an - 1 / bm + 1 / bn);
}

}  // namespace

// Each current dipole of (s + 2) a fits at N - s - 2 places on N electrodes and holds s potential
// dipoles; every reading has the K of its place and the readings are unique.
TEST(MultipleGradient, CountsAndGeometricFactorsForATableOfLines) {
    const struct {
        int Electrodes;
        int32_t Separations;
    } cases[] = {{10, 0b111},   {24, 0b1},       {24, 0b10100}, {48, 0xFF},
                 {33, 1 << 29}, {40, INT32_MIN}, {6, 0b1000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Electrodes << " electrodes, separations mask " << c.Separations);
        auto seq = Gradient(c.Electrodes, c.Separations);
        int expected = 0;
        for (int s = 1; s <= 32; ++s)
            if (LevelSet(c.Separations, s)) expected += s * std::max(c.Electrodes - s - 2, 0);
        ASSERT_EQ(seq->NbQuadripole, expected);
        std::map<std::tuple<int16_t, int16_t, int16_t, int16_t>, int> seen;
        for (int i = 0; i < seq->NbQuadripole; ++i) {
            const TQuadripole& q = seq->Quadripoles[i];
            const int s = q.Level, k = q.M - q.A;
            ASSERT_TRUE(LevelSet(c.Separations, s));
            ASSERT_EQ(q.B - q.A, s + 2);
            ASSERT_EQ(q.N - q.M, 1);
            ASSERT_TRUE(k >= 1 && k <= s) << k;
            EXPECT_NEAR(GeometricFactor(*seq, q), GradientK(5, s, k), 1e-4 * GradientK(5, s, k));
            EXPECT_EQ(++seen[std::make_tuple(q.A, q.B, q.M, q.N)], 1);
        }
    }
}

// The measuring order: at each current electrode the separations upwards, the potential dipoles from A
// on. s = 1 is the Wenner alpha reading, K = 2 pi a.
TEST(MultipleGradient, ReadingsAreOrderedAndPlacedUnderThePotentialDipole) {
    auto seq = Gradient(8, 0b11);
    const int expected[][5] = {{1, 4, 2, 3, 1}, {1, 5, 2, 3, 2}, {1, 5, 3, 4, 2}, {2, 5, 3, 4, 1}};
    for (int i = 0; i < 4; ++i) {
        const TQuadripole& q = seq->Quadripoles[i];
        EXPECT_EQ(
            std::make_tuple(q.A, q.B, q.M, q.N, int(q.Level)),
            std::make_tuple(expected[i][0], expected[i][1], expected[i][2], expected[i][3], expected[i][4]))
            << i;
    }
    EXPECT_NEAR(GeometricFactor(*seq, seq->Quadripoles[0]), 2 * M_PI * 5, 1e-3);
    EXPECT_NEAR(GeometricFactor(*seq, seq->Quadripoles[1]), 2 * M_PI * 5 / (1 - 0.5 - 1.0 / 3 + 0.5), 1e-3);
    // Under M N, whatever the place of the current dipole; the depth is the reading's median depth.
    EXPECT_FLOAT_EQ(PseudoX(*seq, seq->Quadripoles[2]), 12.5f);
    EXPECT_FLOAT_EQ(ChartValue(*seq, seq->Quadripoles[2], 1), MedianDepth(*seq, seq->Quadripoles[2]));
    EXPECT_FLOAT_EQ(PlotValues(*seq, seq->Quadripoles[2]).PseudoX, 12.5f);
    // The deepest separation's last current position.
    EXPECT_FLOAT_EQ(seq->DeepestX[0], 15.0f);
}

// A reading and its reciprocal (A B and M N swapped) share K.
TEST(MultipleGradient, ReciprocalsKeepK) {
    auto seq = Gradient(12, 0b110);
    auto out = std::make_unique<TSequence>();
    MakeReciprocals(*seq, TReciprocalMode::Append, *out);
    ASSERT_EQ(out->NbQuadripole, 2 * seq->NbQuadripole);
    for (int i = 0; i < seq->NbQuadripole; ++i)
        EXPECT_NEAR(GeometricFactor(*out, out->Quadripoles[seq->NbQuadripole + i]),
                    GeometricFactor(*seq, seq->Quadripoles[i]), 1e-3);
}

// A roll along skips what the previous line measured: the deepest separation from RollLimit on, each
// shallower one a further a along.
TEST(MultipleGradient, RollAlongSkipsBelowTheLimit) {
    auto seq = Gradient(16, 0b11);
    seq->RollLimit[0] = 20;
    TNullChartSink chart;
    GenerateSequence(*seq, ModeRollAlong, chart);
    for (int i = 0; i < seq->NbQuadripole; ++i) {
        const TQuadripole& q = seq->Quadripoles[i];
        const float cursor = seq->Electrodes[q.A].X;
        EXPECT_GE(cursor, 20 + (2 - q.Level) * 5.0f) << i;
    }
    EXPECT_EQ(seq->NbQuadripole, 2 * (16 - 4 - 4) + 1 * (16 - 3 - 5));
}
