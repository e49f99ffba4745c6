#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>

#include "model/geometry.h"
#include "model/mediandepth.h"
#include "model/reciprocal.h"
#include "tests/model/linefixtures.h"

namespace {

constexpr float A = 5.0f;  // the spacing a of the lines below

// Electrodes 1..count on the x axis at 0, a, 2a, ...; electrode 0 remote.
std::unique_ptr<TSequence> FlatLine(int count = 16) {
    auto seq = std::make_unique<TSequence>();
    seq->Electrodes[0] = {3, 0, RemoteCoordinate, RemoteCoordinate, 0};
    for (int e = 1; e <= count; ++e) seq->Electrodes[e] = {2, int16_t(e), A * float(e - 1), 0, 0};
    return seq;
}

TQuadripole Quad(int a, int b, int m, int n) {
    return {int16_t(a), int16_t(b), int16_t(m), int16_t(n), 0, 1, -1};
}

struct TTextbookCase {
    const char* Name;
    TQuadripole Q;
    double DepthInA;  // the published median depth, in units of a
};

class TextbookDepth : public ::testing::TestWithParam<TTextbookCase> {};

TEST_P(TextbookDepth, WithinHalfAPercentAndSameForTheReciprocal) {
    const auto& c = GetParam();
    auto seq = FlatLine();
    const float z = MedianDepth(*seq, c.Q);
    EXPECT_NEAR(z / A, c.DepthInA, 0.005 * c.DepthInA) << c.Name << ": " << z / A << " a";
    EXPECT_EQ(MedianDepth(*seq, Reciprocal(c.Q)), z) << c.Name;
    EXPECT_EQ(ChartValue(*seq, c.Q, static_cast<int>(TChartView::MedianDepth)), z);
}

INSTANTIATE_TEST_SUITE_P(
    Arrays, TextbookDepth,
    ::testing::Values(TTextbookCase{"Wenner", Quad(1, 4, 2, 3), 0.519},
                      TTextbookCase{"PolePole", Quad(0, 1, 0, 2), 0.866},
                      // Dipole-dipole, dipole length a, as the generator lists it: C, C+1, C+1+n, C+2+n.
                      TTextbookCase{"DipoleDipole1", Quad(1, 2, 3, 4), 0.416},
                      TTextbookCase{"DipoleDipole2", Quad(1, 2, 4, 5), 0.697},
                      TTextbookCase{"DipoleDipole3", Quad(1, 2, 5, 6), 0.962},
                      TTextbookCase{"DipoleDipole4", Quad(1, 2, 6, 7), 1.220},
                      TTextbookCase{"DipoleDipole5", Quad(1, 2, 7, 8), 1.476},
                      TTextbookCase{"DipoleDipole6", Quad(1, 2, 8, 9), 1.730},
                      // The pairs' order does not matter: B A N M is the same array.
                      TTextbookCase{"DipoleDipole6Reversed", Quad(2, 1, 9, 8), 1.730},
                      TTextbookCase{"PoleDipole1", Quad(0, 1, 2, 3), 0.519}),
    [](const auto& tc) { return std::string(tc.param.Name); });

TEST(MedianDepth, ScalesWithTheLineAndIgnoresElevation) {
    auto seq = FlatLine();
    const float z = MedianDepth(*seq, Quad(1, 2, 5, 6));
    for (int e = 1; e <= 16; ++e) {
        seq->Electrodes[e].X *= 3.0f;
        seq->Electrodes[e].Z = 40.0f * float(e % 3);  // depth is measured from a flat surface
    }
    EXPECT_NEAR(MedianDepth(*seq, Quad(1, 2, 5, 6)), 3.0f * z, 1e-4 * z);
}

TEST(MedianDepth, DegenerateQuadripolesGiveAFiniteValue) {
    auto seq = FlatLine();
    seq->Electrodes[5] = {2, 5, 5.0f, 5.0f, 0};  // off the line, as far from 1 as from 3
    struct {
        const char* Name;
        TQuadripole Q;
        float Expected;  // -1: any finite value above 0
    } cases[] = {
        {"only the remote electrode", Quad(0, 0, 0, 0), 0.0f},
        {"every pair remote", Quad(0, 1, 0, 0), 0.0f},
        {"current and potential on one electrode", Quad(1, 0, 1, 0), 0.0f},
        // 1 at 0 and 3 at 10 are as far from 2 (at 5) as from 5: the terms cancel.
        {"terms cancel", Quad(1, 3, 2, 5), 0.0f},
        {"a potential electrode on a current one", Quad(1, 2, 2, 4), -1.0f},
        {"an electrode not on the line", Quad(1, 2, 3, 5), -1.0f},
        {"an electrode of no cable (type 0)", Quad(1, 2, 3, 40), -1.0f},
    };
    for (const auto& c : cases) {
        const float z = MedianDepth(*seq, c.Q);
        EXPECT_TRUE(std::isfinite(z)) << c.Name;
        if (c.Expected < 0) {
            EXPECT_GT(z, 0.0f) << c.Name;
        } else {
            EXPECT_EQ(z, c.Expected) << c.Name;
        }
    }
}

TEST(MedianDepth, EqualForEveryQuadripoleAndItsReciprocalOnUnevenGround) {
    for (int array : {0, 1, 2, 4, 6}) {
        auto seq = GeneratedLine(array, 40, 2.5f, 8, true);
        ASSERT_GT(seq->NbQuadripole, 0);
        for (int i = 0; i < seq->NbQuadripole; ++i) {
            const TQuadripole& q = seq->Quadripoles[i];
            const float z = MedianDepth(*seq, q);
            ASSERT_TRUE(std::isfinite(z) && z > 0) << "array " << array << " quadripole " << i;
            ASSERT_EQ(MedianDepth(*seq, Reciprocal(q)), z) << "array " << array << " quadripole " << i;
        }
    }
}

TEST(MedianDepth, RememberedShapesGiveTheSameBits) {
    // Regular lines repeat a few shapes; random positions (some off the line, some remote or
    // coincident) give more shapes than are kept, so that they replace each other.
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> offset(-3, 3);
    auto same = [](float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    for (int array : {0, 1, 2, 4, 6}) {
        auto seq = GeneratedLine(array, 200, 2.5f, 16, array % 2 == 0);
        ASSERT_GT(seq->NbQuadripole, 0);
        for (int round = 0; round < 3; ++round) {
            TQuadripoleShapes shapes;
            for (int pass = 0; pass < 2; ++pass)
                for (int i = 0; i < seq->NbQuadripole; ++i) {
                    const TQuadripole& q = seq->Quadripoles[i];
                    const TQuadripoleShapes::TValues v = shapes(RealElectrodes(*seq, q));
                    ASSERT_TRUE(same(v.K, GeometricFactor(*seq, q)))
                        << "array " << array << " round " << round << " quadripole " << i;
                    ASSERT_TRUE(same(v.MedianDepth, MedianDepth(*seq, q)))
                        << "array " << array << " round " << round << " quadripole " << i;
                }
            // Then heights that differ along the line, then abscissae off the steps.
            for (int e = 1; e <= 200; ++e) {
                if (round == 0) {
                    seq->Electrodes[e].Z = e % 5 == 0 ? 1.0f : 0.0f;
                    if (e % 7 == 0) seq->Electrodes[e].Y = NAN;
                } else {
                    seq->Electrodes[e].X += offset(rng);
                    if (e % 17 == 0) seq->Electrodes[e].X = seq->Electrodes[e - 1].X;
                }
            }
        }
    }
}

TEST(MedianDepth, AlongALineTheDistanceIsTheDifference) {
    // Distances along a line are taken as |dx|, which is what the general root gives there, to the bit.
    std::mt19937 rng(9);
    std::uniform_int_distribution<uint32_t> bits;
    for (int i = 0; i < 200000; ++i) {
        float a, b;
        const uint32_t ua = bits(rng), ub = i % 2 ? ua + bits(rng) % 4096 : bits(rng);
        std::memcpy(&a, &ua, sizeof a);
        std::memcpy(&b, &ub, sizeof b);
        if (!std::isfinite(a) || !std::isfinite(b)) continue;
        const double dx = double(a) - double(b);
        ASSERT_EQ(std::hypot(dx, 0.0), std::fabs(dx)) << a << " " << b;
        const float fx = a - b;
        if (std::isfinite(fx)) {
            ASSERT_EQ(static_cast<float>(std::sqrt(double(fx) * fx + 0.0 * 0.0 + 0.0 * 0.0)), std::fabs(fx))
                << a << " " << b;
        }
    }
}

}  // namespace
