// Optimised designs by Compare R: from a starting set, readings are added by the gain in the model
// resolution they bring, ranked with rank-1 (Sherman-Morrison) updates of A^-1, several per iteration
// when their rows are sufficiently orthogonal, with A^-1 recomputed exactly from time to time.
// Deterministic: the same problem and options give the same design, in the same order.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "design/resolution.h"

// The quadripoles an optimised design may draw from: every four-electrode arrangement (dipole, nested
// and, unless left out, gamma) whose |K| is at most maxK (0 or less: no limit) and whose terms do not
// cancel. Ordered as TDesignProblem::ForEachQuadripole visits them.
struct TCandidate {
    // Its four pairs ({A, B} x {M, N}): the two without its highest electrode, then the two with it.
    std::array<int32_t, 4> Pair;
    std::array<int8_t, 4> Sign;  // +1 for AM and BN, -1 for AN and BM
    int32_t Cross;               // where the two pairs with the highest electrode meet (see optimise.cpp)
    double K;
    TDesignQuad Quad;
};
std::vector<TCandidate> CandidatePool(const TDesignProblem& problem, double maxK, bool gamma);

// The starting set when none is given: the Wenner readings of the smallest spacing (A M N B on four
// neighbouring electrodes), at most a fifth of the readings asked for, spread along the line. Cheap,
// well conditioned and measured by every design anyway.
std::vector<TDesignQuad> DefaultStart(const TDesignProblem& problem, int readings);

struct TOptimiseOptions {
    int Readings = 0;                // readings in the result, start included
    double MaxK = 0;                 // |K| limit of the candidates, 0 or less for none
    bool Gamma = true;               // also the interleaved A M B N arrangements
    std::vector<TDesignQuad> Start;  // empty: DefaultStart, less its readings beyond MaxK
    // At most this share of the readings asked for is added per iteration: fewer iterations are
    // faster, but each one ranks against a stale A^-1, so the design gets worse beyond a few per cent.
    double MaxShareAddedPerIteration = 0.04;
    // A^-1 and the ranking's products are recomputed exactly every this many iterations: the rank-1
    // updates between add rounding, and a recomputation costs some ten times an updated iteration.
    // Sixteen keeps the ranking equal to one recomputed every iteration on the lines tried.
    int RecomputeEvery = 16;
    // Potential dipoles a meter reads at once. Above 1 the unit added is an injection: one current
    // dipole A B with up to this many of its readings, placed one after the other in the design, so
    // that the list order needs exactly one injection per unit (see model/channelplan.h).
    int Channels = 1;
};

struct TOptimiseProgress {
    int Readings;
    int Wanted;
    double Figure;
};

struct TOptimiseResult {
    std::vector<TDesignQuad> Design;  // the start first, then the readings in the order added
    double Figure = 0;
    int Iterations = 0;
    bool RanOut = false;   // the candidates ran out before the readings asked for
    bool Stopped = false;  // `stop` was set: the design is incomplete and must not be used
};

// Throws std::invalid_argument when the start holds more readings than asked for.
TOptimiseResult OptimiseDesign(const TDesignProblem& problem, const TOptimiseOptions& options,
                               const std::function<void(const TOptimiseProgress&)>& progress = {},
                               const std::atomic<bool>* stop = nullptr);

// The gain of one reading by the plain Sherman-Morrison formula: sum over target cells of
// Delta R_jj / R_jj(comprehensive), with u = A^-1 g, Delta R_jj = lambda u_j (C u)_j / (1 + g^T u).
// The optimiser's pair-matrix ranking is checked against it.
double ReadingGain(const TDesignProblem& problem, const Eigen::MatrixXd& inverseA, const TDesignQuad& q);
// A^-1 after adding the reading q, by the rank-1 update.
void AddReading(const TDesignProblem& problem, Eigen::MatrixXd& inverseA, const TDesignQuad& q);
