// Chart speed: a 16,000-quadripole dipole-dipole sequence (1,999-node line, levels 1 to 32, a = 5)
// drawn whole into the chart frame, and the same sequence generated with the frame as its live chart.
// Both include the replot.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "charts/graphreportframe.h"
#include "model/cable.h"
#include "model/generate.h"
#include "tests/support/longline.h"

namespace {

struct TFixture {
    TFixture() : seq(LongLine()) {
        frame.resize(1000, 700);
        frame.show();
        GenerateSequence(*seq, ModeCreate, frame);
        QApplication::processEvents();
    }
    TGraphReportFrame frame;
    std::unique_ptr<TSequence> seq;
};
TFixture* fixture = nullptr;

void DrawOnce() { fixture->frame.DrawSequence(*fixture->seq); }

void GenerateOnce() {
    GenerateSequence(*fixture->seq, ModeCreate, fixture->frame);
    fixture->frame.FlushReplot();
}

void BM_DrawSequence(benchmark::State& state) {
    for (auto _ : state) DrawOnce();
    state.counters["points"] = fixture->frame.PointCount();
}
BENCHMARK(BM_DrawSequence)->Unit(benchmark::kMillisecond);

void BM_GenerateWithLiveChart(benchmark::State& state) {
    for (auto _ : state) GenerateOnce();
    state.counters["points"] = fixture->frame.PointCount();
}
BENCHMARK(BM_GenerateWithLiveChart)->Unit(benchmark::kMillisecond);

template <class F>
double BestMs(F&& f, int runs) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        f();
        best = std::min(
            best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    TFixture f;
    fixture = &f;
    benchmark::RunSpecifiedBenchmarks();
    const double draw = BestMs(DrawOnce, 10);
    const double generate = BestMs(GenerateOnce, 10);
    std::printf(
        "chart of %d quadripoles: DrawSequence %.1f ms (goal <= 50 ms), generate with live chart %.1f ms "
        "(goal <= 200 ms)\n",
        f.seq->NbQuadripole, draw, generate);
    fixture = nullptr;
    benchmark::Shutdown();
    return 0;
}
