// Cost of the USB link's own layers (the link, the adapter interface, the simulated adapter) in a
// family-2 upload to the in-process virtual instrument, on a manual clock so that only computation
// is measured.
#include <benchmark/benchmark.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/portusb.h"
#include "link/uploadcommands.h"
#include "link/virtualinstrument.h"
#include "tests/support/d2xxsim.h"
#include "tests/support/linkdoubles.h"
#include "tests/support/testclocks.h"

namespace {

TSequence BenchSequence(int quadripoles) {
    TSequence s;
    s.Name.Set("Bench");
    s.Spacing[0] = 1.0f;
    for (int e = 1; e <= 64; ++e) {
        s.Electrodes[e].Type = static_cast<int16_t>(TElectrodeType::Active);
        s.Electrodes[e].Number = static_cast<int16_t>(e);
        s.Electrodes[e].X = static_cast<float>(e);
    }
    s.NbElectrode = 64;
    s.FirstElectrode = 1;
    s.LastElectrode = 64;
    for (int q = 0; q < quadripoles; ++q) {
        TQuadripole& p = s.Quadripoles[q];
        p.MakeEmpty();
        const int a = 1 + q % 60;
        p.A = static_cast<int16_t>(a);
        p.B = static_cast<int16_t>(a + 1);
        p.M = static_cast<int16_t>(a + 2);
        p.N = static_cast<int16_t>(a + 3);
        p.Level = 1;
    }
    s.NbQuadripole = quadripoles;
    return s;
}

void BM_UsbFamily2Upload(benchmark::State& state) {
    std::vector<TSequence> set = {BenchSequence(static_cast<int>(state.range(0)))};
    std::size_t bytes = 0;
    for (auto _ : state) {
        TTestHost host;
        host.AlwaysOk = true;
        TManualClock clock;
        TVirtualInstrument::TOptions options;
        options.Family = 2;
        TVirtualInstrument instrument(options);
        auto sim = std::make_shared<TD2xxSim>(std::make_shared<TMachineFarSide>(
            clock, [&](std::uint8_t b) { instrument.Feed(b); }, [&] { return instrument.TakeOutput(); }));
        TPortUSB link(host, sim, clock);
        TScriptUi ui;
        ui.Answers = {"Bench"};
        TUploadOutcome outcome = VarnelTarskOptra(set, link, 5, ui);
        if (outcome.Stored != 1) state.SkipWithError("upload failed");
        bytes += sim->Written.size() + sim->ReadBack.size();
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_UsbFamily2Upload)->Arg(100)->Arg(16000)->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
