#include <gtest/gtest.h>

#include <cmath>

#include "design/kernels.h"
#include "design/resolution.h"

namespace {

constexpr double Pi = 3.14159265358979323846;

struct TPointCase {
    const char* Name;
    double X, Z, Xp, Xq;
};

class ClosedForm : public ::testing::TestWithParam<TPointCase> {};

TEST_P(ClosedForm, AgreesWithQuadratureAlongStrike) {
    const TPointCase& c = GetParam();
    const double exact = PolePoleDensity(c.X, c.Z, c.Xp, c.Xq);
    const double plain = PolePoleDensityByQuadrature(c.X, c.Z, c.Xp, c.Xq);
    EXPECT_NEAR(exact, plain, 1e-7 * std::fabs(plain) + 1e-14) << c.Name;
}

INSTANTIATE_TEST_SUITE_P(
    Points, ClosedForm,
    ::testing::Values(TPointCase{"Between", 0.5, 0.3, 0, 1}, TPointCase{"Below", 0, 2, 0, 1},
                      TPointCase{"Outside", -3, 0.5, 0, 4}, TPointCase{"NearP", 0.001, 0.001, 0, 5},
                      TPointCase{"Bisector", 2, 1, 0, 4}, TPointCase{"NearBisector", 2.000001, 1, 0, 4},
                      TPointCase{"Deep", 10, 50, 0, 1}, TPointCase{"SamePole", 1, 1, 0, 0}),
    [](const auto& p) { return std::string(p.param.Name); });

TEST(ClosedForm, SamePoleIsTheSquaredFieldIntegrated) {
    // P = Q: integral over y of 1 / r^4 is pi / (2 s^3/2), over 4 pi^2.
    const double s = 1.0 * 1.0 + 2.0 * 2.0;
    EXPECT_NEAR(PolePoleDensity(1, 2, 0, 0), 1.0 / (8 * Pi * s * std::sqrt(s)), 1e-15);
}

struct TCellCase {
    const char* Name;
    TCell Cell;
    double Xp, Xq;
};

class CellRule : public ::testing::TestWithParam<TCellCase> {};

TEST_P(CellRule, AgreesWithFineMidpoints) {
    const TCellCase& c = GetParam();
    const double rule = PolePoleCell(c.Cell, c.Xp, c.Xq);
    const double plain = PolePoleCellByMidpoints(c.Cell, c.Xp, c.Xq, 400);
    EXPECT_NEAR(rule, plain, 2e-4 * std::fabs(plain)) << c.Name;
}

INSTANTIATE_TEST_SUITE_P(Cells, CellRule,
                         ::testing::Values(TCellCase{"Far", {10, 11, 5, 6, false}, 0, 1},
                                           TCellCase{"BelowAnElectrode", {-0.5, 0.5, 0.5, 1, false}, 0, 3},
                                           TCellCase{"NextToAnElectrode", {0.5, 1, 0, 0.5, false}, 0, 3},
                                           TCellCase{"Wide", {-20, 20, 3, 8, false}, 0, 1},
                                           TCellCase{"Between", {1, 2, 0.2, 0.4, false}, 0, 3}),
                         [](const auto& p) { return std::string(p.param.Name); });

TEST(CellRule, SplitsACellAtAnElectrodeOnItsEdge) {
    // The electrode in the middle of the top edge: the two halves, each with it at a corner.
    const TCell whole{-1, 1, 0, 1, false}, left{-1, 0, 0, 1, false}, right{0, 1, 0, 1, false};
    EXPECT_NEAR(PolePoleCell(whole, 0, 3), PolePoleCell(left, 0, 3) + PolePoleCell(right, 0, 3), 1e-12);
}

TEST(CellRule, SingularCornerConvergesUnderRefinement) {
    // A cell touching P, by its own rule and as the sum of many small cells (each with the rule).
    const TCell cell{0, 1, 0, 1, false};
    double sum = 0;
    const int n = 16;
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < n; ++k)
            sum += PolePoleCell(
                {i / double(n), (i + 1) / double(n), k / double(n), (k + 1) / double(n), false}, 0, 2);
    EXPECT_NEAR(PolePoleCell(cell, 0, 2), sum, 1e-4 * std::fabs(sum));
}

// A large grid, fine near the electrodes (at 0 .. 3) and growing away from them, in every direction.
TCellModel BigGrid() {
    std::vector<double> xe, ze{0};
    for (double x = -2; x <= 5 + 1e-9; x += 0.125) xe.push_back(x);
    double step = 0.125;
    while (xe.back() < 3000) {
        step *= 1.15;
        xe.push_back(xe.back() + step);
        xe.insert(xe.begin(), xe.front() - step);
    }
    step = 0.125;
    while (ze.back() < 3000) {
        ze.push_back(ze.back() + step);
        if (ze.back() > 1) step *= 1.15;
    }
    std::vector<TCell> cells;
    for (std::size_t l = 0; l + 1 < ze.size(); ++l)
        for (std::size_t c = 0; c + 1 < xe.size(); ++c)
            cells.push_back({xe[c], xe[c + 1], ze[l], ze[l + 1], false});
    return TCellModel(cells);
}

struct TQuadCase {
    const char* Name;
    double A, B, M, N;
};

class HalfSpace : public ::testing::TestWithParam<TQuadCase> {};

TEST_P(HalfSpace, SensitivitiesOfAQuadripoleSumToOne) {
    static const TCellModel grid = BigGrid();
    const TQuadCase& q = GetParam();
    auto j = [&](double p, double r) {
        double s = 0;
        for (const TCell& c : grid.Cells()) s += PolePoleCell(c, p, r);
        return s;
    };
    auto inv = [](double d) { return 1 / std::fabs(d); };
    const double k = 2 * Pi / (inv(q.A - q.M) - inv(q.A - q.N) - inv(q.B - q.M) + inv(q.B - q.N));
    const double sum = k * (j(q.A, q.M) - j(q.A, q.N) - j(q.B, q.M) + j(q.B, q.N));
    EXPECT_NEAR(sum, 1.0, 0.02) << q.Name;
}

INSTANTIATE_TEST_SUITE_P(Quadripoles, HalfSpace,
                         ::testing::Values(TQuadCase{"Wenner", 0, 3, 1, 2},
                                           TQuadCase{"DipoleDipole", 0, 1, 2, 3},
                                           TQuadCase{"Gamma", 0, 2, 1, 3},
                                           TQuadCase{"Schlumberger", 0, 3, 1.5, 2}),
                         [](const auto& p) { return std::string(p.param.Name); });

TEST(HalfSpace, PolePoleKernelSumsToTheTransferResistance) {
    // Over the whole half-space J_PQ sums to R_PQ = 1 / (2 pi |PQ|); the grid holds all but the far
    // field, which falls like 1 / r^2 and leaves about 1e-3 beyond 3 km.
    static const TCellModel grid = BigGrid();
    double s = 0;
    for (const TCell& c : grid.Cells()) s += PolePoleCell(c, 0, 1);
    EXPECT_NEAR(s * 2 * Pi, 1.0, 0.02);
}

}  // namespace
