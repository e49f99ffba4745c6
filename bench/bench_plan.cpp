// Planning speed: ordering 16,000 quadripoles for induced polarisation (goal: under 100 ms), and for
// 2, 8 and 64 channels with the IP window counted in injections (goal: under 200 ms), with the
// reciprocals and median depths of as many.
#include <benchmark/benchmark.h>

#include <memory>

#include "model/cable.h"
#include "model/channelplan.h"
#include "model/generate.h"
#include "model/iporder.h"
#include "model/mediandepth.h"
#include "model/reciprocal.h"
#include "tests/support/longline.h"

namespace {

// A generated line on the 1,999-node cable of the other benchmarks.
std::unique_ptr<TSequence> Generated(int array, int levels, int electrodes) {
    auto seq = LongLine();
    seq->ArrayType = array;
    SetLevels(seq->LevelUsed[0], levels);
    seq->NbElectrode = electrodes;
    TNullChartSink chart;
    GenerateSequence(*seq, ModeCreate, chart);
    return seq;
}

// The sequences ordered: 16,000 dipole-dipole readings, levels 1 to 32 (32 readings to a current
// pair); dipole-dipole levels 1 to 8 with its reciprocals (two current pairs' worth of readings mixed);
// Wenner levels 1 to 8 (one reading to a current pair).
std::unique_ptr<TSequence> Case(int which) {
    switch (which) {
        case 0:
            return Generated(0, 32, 1999);
        case 1: {
            auto seq = Generated(0, 8, 1004);
            MakeReciprocals(*seq, TReciprocalMode::Append, *seq);
            return seq;
        }
        default:
            return Generated(6, 8, 1999);
    }
}

void BM_OrderForIp(benchmark::State& state) {
    const auto original = Case(static_cast<int>(state.range(0)));
    auto seq = std::make_unique<TSequence>();
    TIpOrderResult r;
    for (auto _ : state) {
        state.PauseTiming();
        *seq = *original;
        state.ResumeTiming();
        r = OrderForIp(*seq, DefaultIpWindow);
        benchmark::DoNotOptimize(r);
    }
    state.counters["quadripoles"] = original->NbQuadripole;
    state.counters["conflicts_before"] = r.ConflictsBefore;
    state.counters["conflicts_after"] = r.ConflictsAfter;
}
BENCHMARK(BM_OrderForIp)->ArgName("case")->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_OrderForChannels(benchmark::State& state) {
    const auto original = Case(static_cast<int>(state.range(0)));
    const int channels = static_cast<int>(state.range(1));
    auto seq = std::make_unique<TSequence>();
    TChannelOrderResult r;
    for (auto _ : state) {
        state.PauseTiming();
        *seq = *original;
        state.ResumeTiming();
        r = OrderForChannels(*seq, channels, DefaultIpWindow);
        benchmark::DoNotOptimize(r);
    }
    state.counters["quadripoles"] = original->NbQuadripole;
    state.counters["injections_after"] = r.InjectionsAfter;
    state.counters["conflicts_after"] = r.ConflictsAfter;
}
BENCHMARK(BM_OrderForChannels)
    ->ArgNames({"case", "channels"})
    ->ArgsProduct({{0, 1, 2}, {2, 8, 64}})
    ->Unit(benchmark::kMillisecond);

void BM_Reciprocals(benchmark::State& state) {
    const auto original = Case(1);
    original->NbQuadripole /= 2;  // the normal readings only
    auto out = std::make_unique<TSequence>();
    for (auto _ : state)
        benchmark::DoNotOptimize(MakeReciprocals(*original, TReciprocalMode::Append, *out).Total);
    state.counters["quadripoles"] = out->NbQuadripole;
}
BENCHMARK(BM_Reciprocals)->Unit(benchmark::kMillisecond);

void BM_MedianDepth(benchmark::State& state) {
    const auto seq = Case(0);
    for (auto _ : state) {
        float sum = 0;
        for (int i = 0; i < seq->NbQuadripole; ++i) sum += MedianDepth(*seq, seq->Quadripoles[i]);
        benchmark::DoNotOptimize(sum);
    }
    state.counters["quadripoles"] = seq->NbQuadripole;
}
BENCHMARK(BM_MedianDepth)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
