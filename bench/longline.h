// The benchmarks' common sequence: dipole-dipole, a = 5, levels 1 to 32, on a 1,999-node line.
// Generating it gives exactly 16,000 quadripoles.
#pragma once

#include <memory>

#include "cable.h"

inline std::unique_ptr<TSequence> LongLine() {
    auto seq = std::make_unique<TSequence>();
    TCable c;
    TSegment s;
    s.MakeEmpty();
    s.Name.Set("Line1999");
    s.FirstNode = 1;
    s.LastNode = 1999;
    s.NodeSpacing = 5;
    IncludeSegment(c, s);
    ApplyCableSet(*seq, c);
    seq->ArrayType = 0;
    seq->Spacing[0] = 5;
    SetLevels(seq->LevelUsed[0], 32);
    seq->FirstElectrode = 1;
    return seq;
}
