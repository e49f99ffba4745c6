// Saving and reopening a set of 200 full sequences (16,000 quadripoles each, 45 MB in all). The save is
// measured against `cp` of the same bytes followed by `sync` in the same run, and the ratio printed:
// a save is on the disk when it returns, so the fair comparison is a copy that is on the disk too.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "storage/sequenceset.h"
#include "tests/support/testdir.h"

namespace {

constexpr int SetSize = 200;

std::unique_ptr<TSequence> FullSequence(int i) {
    auto seq = std::make_unique<TSequence>();
    char name[32];
    std::snprintf(name, sizeof name, "Line%03d", i);
    seq->Name.Set(name);
    for (int n = 1; n <= MaxElectrodeNumber; ++n) {
        TElectrode& e = seq->Electrodes[n];
        e.Type = 2;
        e.Number = static_cast<int16_t>(n);
        e.X = 2.5f * static_cast<float>(n) + static_cast<float>(i);
    }
    seq->NbElectrode = MaxElectrodeNumber;
    for (int q = 0; q < MaxQuadripoles; ++q)
        seq->Quadripoles[q] = {static_cast<int16_t>(q % 1990 + 1),
                               static_cast<int16_t>(q % 1990 + 2),
                               static_cast<int16_t>(q % 1990 + 3),
                               static_cast<int16_t>(q % 1990 + 4),
                               0,
                               static_cast<int8_t>(q % 32 + 1),
                               -1};
    seq->NbQuadripole = MaxQuadripoles;
    return seq;
}

struct TFixture {
    TTestDir Scratch;
    const std::string Root = Scratch.Path();
    TSequenceSet Set;
    TFixture() {
        for (int i = 0; i < SetSize; ++i) Set.AddSequence(FullSequence(i));
        Set.SetComment({"benchmark set"});
        if (Set.SaveAs(Root + "/set") != TSaveAsResult::Saved) std::abort();
    }
};

TFixture& Fixture() {
    static TFixture f;
    return f;
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

double CopyOnce(const std::string& from, const std::string& to) {
    std::filesystem::remove_all(to);
    auto t0 = std::chrono::steady_clock::now();
    // The set's own files, as a user would copy the set, then flushed to the disk as a save is.
    std::string command =
        "mkdir '" + to + "' && cp '" + from + "'/*.sqx '" + from + "/Comment.Txt' '" + to + "' && sync";
    if (std::system(command.c_str()) != 0) std::abort();
    return Seconds(std::chrono::steady_clock::now() - t0);
}

// Save and cp + sync timed alternately, so that both see the same state of the machine. The save replaces
// every file of the set; the space of the previous versions is freed in the background afterwards
// (printed as the clean-up time, which nobody waits for).
void BM_SaveSetAgainstCp(benchmark::State& state) {
    TFixture& f = Fixture();
    const std::string folder = f.Root + "/set";
    double save = 0, copy = 0, cleanup = 0;
    int16_t generation = 0;
    for (auto _ : state) {
        // Every record changed, so that the save replaces the whole set (an unchanged record is not
        // written again).
        state.PauseTiming();
        ++generation;
        for (int i = 0; i < SetSize; ++i) {
            TSequence edited = f.Set.Sequence(i);
            edited.QMax = generation;
            f.Set.ModifySequence(i, edited);
        }
        state.ResumeTiming();
        auto t0 = std::chrono::steady_clock::now();
        if (f.Set.Save() != TSaveResult::Saved) std::abort();
        auto t1 = std::chrono::steady_clock::now();
        // The previous versions are removed in the background; wait for it, timed on its own, so that
        // cp does not share the disk with it.
        f.Set.WaitForCleanup();
        auto t2 = std::chrono::steady_clock::now();
        double c = CopyOnce(folder, f.Root + "/copy");
        save += Seconds(t1 - t0);
        cleanup += Seconds(t2 - t1);
        copy += c;
        state.SetIterationTime(Seconds(t1 - t0));
    }
    const double n = static_cast<double>(state.iterations());
    const double ratio = save / copy;
    state.counters["save_ms"] = 1000.0 * save / n;
    state.counters["cp_ms"] = 1000.0 * copy / n;
    state.counters["cleanup_ms"] = 1000.0 * cleanup / n;
    state.counters["save_over_cp"] = ratio;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * SetSize *
                            static_cast<int64_t>(sizeof(TSequence)));
    std::printf(
        "save/(cp+sync) ratio: %.3f (save %.1f ms, cp+sync %.1f ms, goal at most 1.5; background clean-up "
        "%.1f ms)\n",
        ratio, 1000.0 * save / n, 1000.0 * copy / n, 1000.0 * cleanup / n);
}
BENCHMARK(BM_SaveSetAgainstCp)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// Save as into a new folder against cp + sync into a new folder: both only create files, nothing is freed.
void BM_SaveAsAgainstCp(benchmark::State& state) {
    TFixture& f = Fixture();
    TSequenceSet set;
    for (int i = 0; i < SetSize; ++i) set.AddSequence(std::make_unique<TSequence>(f.Set.Sequence(i)));
    double save = 0, copy = 0;
    int n = 0;
    for (auto _ : state) {
        const std::string folder = f.Root + "/as" + std::to_string(n++);
        auto t0 = std::chrono::steady_clock::now();
        if (set.SaveAs(folder) != TSaveAsResult::Saved) std::abort();
        double s = Seconds(std::chrono::steady_clock::now() - t0);
        double c = CopyOnce(folder, f.Root + "/copy");
        save += s;
        copy += c;
        state.SetIterationTime(s);
        state.PauseTiming();
        std::filesystem::remove_all(folder);
        state.ResumeTiming();
    }
    state.counters["saveas_over_cp"] = save / copy;
    std::printf("save as/(cp+sync) ratio: %.3f (save as %.1f ms, cp+sync %.1f ms)\n", save / copy,
                1000.0 * save / static_cast<double>(state.iterations()),
                1000.0 * copy / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_SaveAsAgainstCp)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// One record of the 200 changed: the save writes that one file and commits it as a whole set is
// committed.
void BM_SaveOneChangedOf200(benchmark::State& state) {
    TFixture& f = Fixture();
    int16_t generation = 0;
    for (auto _ : state) {
        state.PauseTiming();
        TSequence edited = f.Set.Sequence(SetSize / 2);
        edited.QMax = ++generation;
        f.Set.ModifySequence(SetSize / 2, edited);
        state.ResumeTiming();
        if (f.Set.Save() != TSaveResult::Saved) std::abort();
        state.PauseTiming();
        f.Set.WaitForCleanup();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SaveOneChangedOf200)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_OpenSet(benchmark::State& state) {
    TFixture& f = Fixture();
    for (auto _ : state) {
        TSequenceSet set;
        TOpenReport report = set.Open(f.Root + "/set");
        if (set.Count() != SetSize || !report.Refused.empty()) std::abort();
        benchmark::DoNotOptimize(set.Sequence(SetSize - 1).NbQuadripole);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * SetSize *
                            static_cast<int64_t>(sizeof(TSequence)));
}
BENCHMARK(BM_OpenSet)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
