// The benchmarks' sequences on one straight cable of evenly spaced nodes.
#pragma once

#include <memory>
#include <string>

#include "cable.h"

// Array `type`, dipole length and node spacing `a`, levels 1 to `maxLevel`, on nodes 1 to `nodes`.
inline std::unique_ptr<TSequence> UniformLine(int type, int nodes, float a, int maxLevel) {
    auto seq = std::make_unique<TSequence>();
    TCable c;
    TSegment s;
    s.MakeEmpty();
    s.Name.Set("Line" + std::to_string(nodes));
    s.FirstNode = 1;
    s.LastNode = static_cast<int16_t>(nodes);
    s.NodeSpacing = a;
    IncludeSegment(c, s);
    ApplyCableSet(*seq, c);
    seq->ArrayType = type;
    seq->Spacing[0] = a;
    SetLevels(seq->LevelUsed[0], maxLevel);
    seq->FirstElectrode = 1;
    return seq;
}

// The common long sequence: dipole-dipole, a = 5, levels 1 to 32, on a 1,999-node line. Generating it
// gives exactly 16,000 quadripoles.
inline std::unique_ptr<TSequence> LongLine() { return UniformLine(0, 1999, 5, 32); }
