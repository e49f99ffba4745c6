// Generation speed. One benchmark per array, line length and deepest level, named
// Generate/<array>/<electrodes>/<maxlevel>, each with its cost per quadripole as the counter
// ns_per_quad; and a 16,000-quadripole dipole-dipole sequence on a 1,999-node line, levels 1 to 32,
// with the indexed lookups against the plain electrode-table scan. Grid/<lines>x<electrodes>: a 3D grid
// of dipole-dipole levels 1 to 8 along both ways and across the lines, a = D = 5.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "model/cable.h"
#include "model/generate.h"
#include "model/grid3d.h"
#include "tests/support/countingsink.h"
#include "tests/support/longline.h"

namespace {

constexpr struct {
    const char* Name;
    int Type;
} Arrays[] = {{"dd", 0}, {"pd", 1}, {"pp", 2}, {"wenner", 6}, {"ws", 4}};
constexpr int LineLengths[] = {48, 96, 480, 1999};
constexpr int DeepestLevels[] = {8, 32};

void BM_GenerateCase(benchmark::State& state, int type, int electrodes, int maxLevel) {
    auto seq = UniformLine(type, electrodes, 1, maxLevel);
    TNullChartSink chart;
    for (auto _ : state) {
        GenerateSequence(*seq, ModeCreate, chart);
        benchmark::DoNotOptimize(seq->NbQuadripole);
    }
    state.counters["quadripoles"] = seq->NbQuadripole;
    // Seconds per iteration inverted and scaled: nanoseconds per quadripole.
    state.counters["ns_per_quad"] =
        benchmark::Counter(seq->NbQuadripole * 1e-9,
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void RegisterCases() {
    for (const auto& array : Arrays)
        for (int electrodes : LineLengths)
            for (int maxLevel : DeepestLevels) {
                const std::string name = std::string("Generate/") + array.Name + "/" +
                                         std::to_string(electrodes) + "/" + std::to_string(maxLevel);
                benchmark::RegisterBenchmark(name.c_str(), BM_GenerateCase, array.Type, electrodes, maxLevel)
                    ->Unit(benchmark::kMicrosecond);
            }
}

template <bool (*Generate)(TSequence&, int, TChartSink&)>
void BM_Generate(benchmark::State& state) {
    auto seq = LongLine();
    TNullChartSink chart;
    for (auto _ : state) {
        Generate(*seq, ModeCreate, chart);
        benchmark::DoNotOptimize(seq->NbQuadripole);
    }
    state.counters["quadripoles"] = seq->NbQuadripole;
}
BENCHMARK(BM_Generate<GenerateSequence>)->Name("BM_GenerateIndexed")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Generate<GenerateSequenceByScan>)->Name("BM_GenerateByScan")->Unit(benchmark::kMillisecond);

void BM_GenerateWithChartFeed(benchmark::State& state) {
    auto seq = LongLine();
    TCountingSink chart;
    for (auto _ : state) GenerateSequence(*seq, ModeCreate, chart);
    benchmark::DoNotOptimize(chart.Sum);
    state.counters["points"] = static_cast<double>(chart.Points);
}
BENCHMARK(BM_GenerateWithChartFeed)->Unit(benchmark::kMillisecond);

void BM_GenerateGrid(benchmark::State& state) {
    const int lines = static_cast<int>(state.range(0)), perLine = static_cast<int>(state.range(1));
    auto seq = UniformLine(0, lines * perLine, 5, 8);
    seq->GridLineX = lines;
    seq->GridLineY = perLine;
    TGridLayout layout;
    layout.LineSpacing = 5;
    layout.YLines = true;
    layout.CrossLines = true;
    TNullChartSink chart;
    for (auto _ : state) {
        GenerateGrid(*seq, layout, chart);
        benchmark::DoNotOptimize(seq->NbQuadripole);
    }
    state.counters["quadripoles"] = seq->NbQuadripole;
    state.counters["ns_per_quad"] =
        benchmark::Counter(seq->NbQuadripole * 1e-9,
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_GenerateGrid)
    ->Name("Grid")
    ->Args({4, 24})
    ->Args({10, 10})
    ->Args({24, 24})
    ->Args({44, 44})
    ->Unit(benchmark::kMicrosecond);

template <class F>
double BestSeconds(F&& f, int runs) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        f();
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (s < best) best = s;
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    RegisterCases();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    // The ratio of the two, measured here in the same run; on stderr, so that stdout stays the
    // benchmark library's own report (JSON with --benchmark_format=json).
    auto seq = LongLine();
    TNullChartSink chart;
    double indexed = BestSeconds([&] { GenerateSequence(*seq, ModeCreate, chart); }, 20);
    double scan = BestSeconds([&] { GenerateSequenceByScan(*seq, ModeCreate, chart); }, 3);
    std::fprintf(stderr,
                 "generate 16000 quadripoles: indexed %.3f ms, scan %.3f ms, ratio %.1fx (goal >= 20x, "
                 "indexed <= 5 ms)\n",
                 indexed * 1e3, scan * 1e3, scan / indexed);
    benchmark::Shutdown();
    return 0;
}
