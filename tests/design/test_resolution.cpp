#include <gtest/gtest.h>

#include "design/resolution.h"
#include "tests/design/designlines.h"

namespace {

const TDesignProblem& SmallLine() {
    static const TDesignProblem problem(RegularLine(10), 0);
    return problem;
}

TEST(Resolution, ReciprocalQuadripolesHaveTheSameSensitivities) {
    const TDesignProblem& p = SmallLine();
    for (const TDesignQuad& q : {TDesignQuad{0, 3, 1, 2}, TDesignQuad{0, 1, 4, 5}, TDesignQuad{2, 7, 3, 9},
                                 TDesignQuad{1, -1, 5, 6}}) {
        const Eigen::VectorXd abmn = p.Sensitivity(q), mnab = p.Sensitivity({q.M, q.N, q.A, q.B});
        EXPECT_LE((abmn - mnab).cwiseAbs().maxCoeff(), 1e-12 * abmn.cwiseAbs().maxCoeff());
    }
}

TEST(Resolution, CellsCoverTheLineWithPaddingAndTheTargetBelowIt) {
    const TCellModel& m = SmallLine().Model();
    EXPECT_DOUBLE_EQ(m.Depth(), 0.2 * 9);
    for (int j : m.TargetCells()) {
        const TCell& c = m.Cells()[j];
        EXPECT_GE(c.X0, 0);
        EXPECT_LE(c.X1, 9);
        EXPECT_LE(c.Z1, m.Depth() + 1e-12);
    }
    EXPECT_LT(m.Cells().front().X0, -1);         // padding to the left
    EXPECT_EQ(m.TargetCells().size() % 18, 0u);  // two columns per gap
}

TEST(Resolution, DiagonalAgreesWithTheFullProduct) {
    const TDesignProblem& p = SmallLine();
    const std::vector<TDesignQuad> design = StandardDesign(10);
    const Eigen::VectorXd fast = p.ResolutionDiagonal(design),
                          plain = p.ResolutionDiagonalByFullProduct(design);
    EXPECT_LE((fast - plain).cwiseAbs().maxCoeff(), 1e-8);
}

TEST(Resolution, ComprehensiveSetFromThePairsMatrixAgreesWithItsRows) {
    const TDesignProblem& p = SmallLine();
    EXPECT_EQ(p.ComprehensiveCount(), 10 * 9 * 8 * 7 / 8);
    const Eigen::VectorXd rows = p.ComprehensiveDiagonalByRows(100);
    EXPECT_LE((p.ComprehensiveDiagonal() - rows).cwiseAbs().maxCoeff(), 1e-8);
}

TEST(Resolution, MoreReadingsNeverResolveLessOnAverageAndTheWholeSetIsTheReference) {
    const TDesignProblem& p = SmallLine();
    std::vector<TDesignQuad> all;
    p.ForEachQuadripole([&](const TDesignQuad& q) { all.push_back(q); });
    const std::vector<TDesignQuad> standard = StandardDesign(10);
    const std::vector<TDesignQuad> half(standard.begin(),
                                        standard.begin() + static_cast<long>(standard.size() / 2));
    const double fHalf = p.FigureOfMerit(p.ResolutionDiagonal(half));
    const double fStandard = p.FigureOfMerit(p.ResolutionDiagonal(standard));
    EXPECT_LT(fHalf, fStandard);
    EXPECT_LT(fStandard, 1.0);
    EXPECT_NEAR(p.FigureOfMerit(p.ResolutionDiagonal(all)), 1.0, 1e-9);
}

TEST(Resolution, GeometricFactorsOfTheUsualArrays) {
    const TDesignProblem& p = SmallLine();
    constexpr double TwoPi = 6.283185307179586;
    EXPECT_NEAR(p.GeometricFactor({0, 3, 1, 2}), TwoPi, 1e-12);  // Wenner a
    EXPECT_NEAR(std::fabs(p.GeometricFactor({0, 1, 3, 4})), TwoPi / 2 * 2 * 3 * 4,
                1e-9);                                             // dipole-dipole n=2: pi n(n+1)(n+2)
    EXPECT_NEAR(p.GeometricFactor({0, -1, 1, -1}), TwoPi, 1e-12);  // pole-pole
}

}  // namespace

namespace {

TEST(Resolution, LapackInverseAgreesWithTheCholeskySolve) {
    const TDesignProblem& p = SmallLine();
    const Eigen::MatrixXd a = p.NormalMatrix(StandardDesign(10));
    const Eigen::MatrixXd fast = SymmetricInverse(a), plain = SymmetricInverseByLlt(a);
    EXPECT_LE((fast - plain).cwiseAbs().maxCoeff(), 1e-9 * plain.cwiseAbs().maxCoeff());
}

}  // namespace

namespace {

TEST(Resolution, AStopLeavesTheProblemUnusableAndSaysSo) {
    std::atomic<bool> stop{true};
    EXPECT_TRUE(TDesignProblem(RegularLine(10), 0, &stop).Stopped());
    EXPECT_FALSE(TDesignProblem(RegularLine(6), 0).Stopped());
}

}  // namespace
