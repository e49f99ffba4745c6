// The design engine: the resolution of a standard design and optimised designs, end to end as the
// commands run them (kernels, the comprehensive set, then the design's own work).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "design/optimise.h"
#include "design/resolution.h"

namespace {

std::vector<double> Line(int n) {
    std::vector<double> x;
    for (int i = 0; i < n; ++i) x.push_back(i);
    return x;
}

// Dipole-dipole levels 1-6 and Wenner-Schlumberger levels 1-10 on a line of n electrodes.
std::vector<TDesignQuad> Standard(int n) {
    std::vector<TDesignQuad> d;
    for (int level = 1; level <= 6; ++level)
        for (int i = 0; i + level + 2 < n; ++i) d.push_back({i, i + 1, i + level + 1, i + level + 2});
    for (int level = 1; level <= 10; ++level)
        for (int i = 0; i + 2 * level + 1 < n; ++i)
            d.push_back({i, i + 2 * level + 1, i + level, i + level + 1});
    return d;
}

void Resolution(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        const TDesignProblem problem(Line(n), 0);
        benchmark::DoNotOptimize(problem.FigureOfMerit(problem.ResolutionDiagonal(Standard(n))));
    }
}
BENCHMARK(Resolution)->Arg(32)->Arg(48)->Arg(64)->Arg(96)->Unit(benchmark::kSecond)->Iterations(1);

void Optimise(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    TOptimiseOptions options;
    options.Readings = static_cast<int>(state.range(1));
    options.MaxK = 3.14159265358979323846 * 6 * 7 * 8;  // the command's default at a = 1
    double figure = 0;
    for (auto _ : state) {
        const TDesignProblem problem(Line(n), 0);
        figure = OptimiseDesign(problem, options).Figure;
    }
    state.counters["figure"] = figure;
}
BENCHMARK(Optimise)
    ->Args({32, 506})
    ->Args({48, 1000})
    ->Args({64, 1500})
    ->Args({96, 3000})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

// The products that dominate an optimisation's recomputations, P = A^-1 J (cells^2 x pairs) and
// M = J^T P (pairs^2 x cells), with their rate: how near the machine's peak the engine runs.
void Products(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const TDesignProblem problem(Line(n), 0);
    const Eigen::MatrixXd inverse = SymmetricInverse(problem.NormalMatrix(Standard(n)));
    const Eigen::MatrixXd& jt = problem.Jt();
    Eigen::MatrixXd p, m;
    for (auto _ : state) {
        p.noalias() = inverse * jt;
        m.noalias() = jt.transpose() * p;
        benchmark::DoNotOptimize(m.data());
    }
    const double cells = static_cast<double>(jt.rows()), pairs = static_cast<double>(jt.cols());
    state.counters["flops"] = benchmark::Counter(2 * cells * pairs * (cells + pairs),
                                                 benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(Products)->Arg(48)->Arg(96)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
