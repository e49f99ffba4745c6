// Generated lines for the planning tests: a cable of `electrodes` nodes at spacing a, generated with
// one array and levels 1 to `levels`, then, when asked, laid on uneven ground (Y and Z varying) so
// that distances are truly three-dimensional.
#pragma once

#include <cmath>
#include <memory>

#include "model/generate.h"
#include "tests/support/fixtures.h"

inline std::unique_ptr<TSequence> GeneratedLine(int array, int electrodes, float a, int levels, bool uneven) {
    TCable c = MakeCable({{1, electrodes, a}});
    TLineSpec spec;
    spec.Array = array;
    spec.A = a;
    spec.Levels = 0;
    SetLevels(spec.Levels, levels);
    auto seq = MakeLine(c, spec);
    TNullChartSink chart;
    GenerateSequence(*seq, ModeCreate, chart);
    if (uneven) {
        for (int e = 1; e <= electrodes; ++e) {
            TElectrode& el = seq->Electrodes[e];
            el.Y = 0.37f * a * static_cast<float>(std::sin(0.3 * e));
            el.Z = 2.1f * a * static_cast<float>(std::cos(0.17 * e)) + 0.05f * static_cast<float>(e);
        }
    }
    return seq;
}
