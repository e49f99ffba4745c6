#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "design/optimise.h"
#include "tests/design/designlines.h"

namespace {

const TDesignProblem& Line(int n) {
    static const TDesignProblem p12(RegularLine(12), 0), p20(RegularLine(20), 0);
    return n == 12 ? p12 : p20;
}

TEST(RankOneUpdate, EqualsARecomputation) {
    const TDesignProblem& p = Line(12);
    std::vector<TDesignQuad> design = StandardDesign(12);
    design.resize(20);
    Eigen::MatrixXd inverse = SymmetricInverse(p.NormalMatrix(design));
    for (const TDesignQuad& q :
         {TDesignQuad{0, 5, 2, 3}, TDesignQuad{1, 2, 6, 9}, TDesignQuad{3, 8, 4, 10}}) {
        AddReading(p, inverse, q);
        design.push_back(q);
    }
    const Eigen::MatrixXd exact = SymmetricInverse(p.NormalMatrix(design));
    EXPECT_LE((inverse - exact).cwiseAbs().maxCoeff(), 1e-9 * exact.cwiseAbs().maxCoeff());
}

TEST(RankOneUpdate, GainIsTheRiseOfTheRelativeResolution) {
    const TDesignProblem& p = Line(12);
    std::vector<TDesignQuad> design = StandardDesign(12);
    design.resize(30);
    const Eigen::MatrixXd inverse = SymmetricInverse(p.NormalMatrix(design));
    const TDesignQuad q{2, 9, 4, 7};
    const double before = p.FigureOfMerit(p.ResolutionDiagonal(design));
    const double gain = ReadingGain(p, inverse, q);
    design.push_back(q);
    const double after = p.FigureOfMerit(p.ResolutionDiagonal(design));
    EXPECT_NEAR(gain / static_cast<double>(p.Model().TargetCells().size()), after - before, 1e-9);
}

TEST(Optimiser, FirstChoiceIsTheBestGainOfThePool) {
    const TDesignProblem& p = Line(12);
    TOptimiseOptions o;
    o.Readings = static_cast<int>(DefaultStart(p, 40).size()) + 1;
    const TOptimiseResult r = OptimiseDesign(p, o);
    ASSERT_EQ(static_cast<int>(r.Design.size()), o.Readings);
    const std::vector<TDesignQuad> start(r.Design.begin(), r.Design.end() - 1);
    const Eigen::MatrixXd inverse = SymmetricInverse(p.NormalMatrix(start));
    double best = -1;
    for (const TCandidate& c : CandidatePool(p, 0, true))
        best = std::max(best, ReadingGain(p, inverse, c.Quad));
    EXPECT_NEAR(ReadingGain(p, inverse, r.Design.back()), best, 1e-9 * best);
}

TEST(Optimiser, BeatsTheStandardDesignOfTheSameSizeAndKLimit) {
    const TDesignProblem& p = Line(20);
    const std::vector<TDesignQuad> standard = StandardDesign(20);
    double maxK = 0;
    for (const TDesignQuad& q : standard) maxK = std::max(maxK, std::fabs(p.GeometricFactor(q)));
    TOptimiseOptions o;
    o.Readings = static_cast<int>(standard.size());
    o.MaxK = maxK;
    const TOptimiseResult r = OptimiseDesign(p, o);
    EXPECT_EQ(r.Design.size(), standard.size());
    EXPECT_FALSE(r.RanOut);
    const double fStandard = p.FigureOfMerit(p.ResolutionDiagonal(standard));
    const double fOptimised = p.FigureOfMerit(p.ResolutionDiagonal(r.Design));
    EXPECT_NEAR(r.Figure, fOptimised, 1e-9);
    EXPECT_GT(fOptimised, 1.3 * fStandard) << fOptimised << " against " << fStandard;
    for (const TDesignQuad& q : r.Design) EXPECT_LE(std::fabs(p.GeometricFactor(q)), maxK * (1 + 1e-12));
}

TEST(Optimiser, UpdatedRankingEqualsOneRecomputedEveryIteration) {
    const TDesignProblem& p = Line(12);
    TOptimiseOptions exact, updated;
    exact.Readings = updated.Readings = 80;
    exact.RecomputeEvery = 1;
    updated.RecomputeEvery = 1000;
    const TOptimiseResult a = OptimiseDesign(p, exact), b = OptimiseDesign(p, updated);
    EXPECT_GT(a.Iterations, 10);
    EXPECT_EQ(a.Design, b.Design);
    EXPECT_NEAR(a.Figure, b.Figure, 1e-12);
}

// The fewest injections of a C-channel meter: each current dipole's readings, C at a time.
int FewestInjections(const std::vector<TDesignQuad>& design, int channels) {
    std::map<std::pair<int, int>, int> perDipole;
    for (const TDesignQuad& q : design) ++perDipole[{q.A, q.B}];
    int injections = 0;
    for (const auto& [dipole, count] : perDipole) injections += (count + channels - 1) / channels;
    return injections;
}

TEST(Optimiser, WholeInjectionsNeedFewInjectionsAndStillBeatTheStandardDesign) {
    const TDesignProblem& p = Line(20);
    const std::vector<TDesignQuad> standard = StandardDesign(20);
    double maxK = 0;
    for (const TDesignQuad& q : standard) maxK = std::max(maxK, std::fabs(p.GeometricFactor(q)));
    TOptimiseOptions single, injections;
    single.Readings = injections.Readings = static_cast<int>(standard.size());
    single.MaxK = injections.MaxK = maxK;
    injections.Channels = 4;
    // A small start of single readings, so that the injections counted are the ones the optimiser chose.
    single.Start = injections.Start = DefaultStart(p, 20);
    const TOptimiseResult a = OptimiseDesign(p, single), b = OptimiseDesign(p, injections);
    ASSERT_EQ(b.Design.size(), standard.size());
    const int start = static_cast<int>(injections.Start.size());
    const int perfect = start + (static_cast<int>(b.Design.size()) - start + 3) / 4;
    EXPECT_LT(FewestInjections(b.Design, 4), FewestInjections(a.Design, 4));
    EXPECT_LE(FewestInjections(b.Design, 4), perfect + perfect / 2) << "of " << perfect << " at best";
    const double fStandard = p.FigureOfMerit(p.ResolutionDiagonal(standard));
    EXPECT_GT(b.Figure, 1.2 * fStandard) << b.Figure << " against " << fStandard;
    EXPECT_EQ(OptimiseDesign(p, injections).Design, b.Design) << "the same inputs, the same design";
}

TEST(Optimiser, SameInputsGiveTheSameDesign) {
    const TDesignProblem& p = Line(20);
    TOptimiseOptions o;
    o.Readings = 150;
    const TOptimiseResult a = OptimiseDesign(p, o), b = OptimiseDesign(p, o);
    EXPECT_EQ(a.Design, b.Design);
}

TEST(Optimiser, WithoutGammaNoInterleavedArrangement) {
    const TDesignProblem& p = Line(12);
    TOptimiseOptions o;
    o.Readings = 60;
    o.Gamma = false;
    for (const TDesignQuad& q : OptimiseDesign(p, o).Design) {
        const int lo = std::min(q.A, q.B), hi = std::max(q.A, q.B), mlo = std::min(q.M, q.N),
                  mhi = std::max(q.M, q.N);
        const bool nested = (lo < mlo && mhi < hi) || (mlo < lo && hi < mhi);
        const bool apart = hi < mlo || mhi < lo;
        EXPECT_TRUE(nested || apart);
    }
}

TEST(Optimiser, RunsOutOfCandidatesWithFewerReadings) {
    const TDesignProblem& p = Line(12);
    TOptimiseOptions o;
    o.Readings = 10000;
    o.MaxK = 20;  // a handful of arrangements only
    const TOptimiseResult r = OptimiseDesign(p, o);
    EXPECT_TRUE(r.RanOut);
    EXPECT_LT(r.Design.size(), 10000u);
}

TEST(Optimiser, NoReadingBeyondTheKLimitNotEvenInTheDefaultStart) {
    const TDesignProblem& p = Line(12);
    TOptimiseOptions o;
    o.Readings = 30;
    o.MaxK = 6.0;  // below the smallest Wenner's 2 pi a
    const TOptimiseResult r = OptimiseDesign(p, o);
    EXPECT_FALSE(r.Design.empty());  // wide nested arrangements have a small K
    for (const TDesignQuad& q : r.Design) EXPECT_LE(std::fabs(p.GeometricFactor(q)), 6.0);
}

TEST(Optimiser, StopEndsItAtOnce) {
    const TDesignProblem& p = Line(12);
    std::atomic<bool> stop{true};
    TOptimiseOptions o;
    o.Readings = 100;
    EXPECT_TRUE(OptimiseDesign(p, o, {}, &stop).Stopped);
}

}  // namespace
