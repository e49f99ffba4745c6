// The benchmarks' sequences on one straight cable of evenly spaced nodes.
#pragma once

#include <memory>

#include "tests/support/fixtures.h"

// Array `type`, dipole length and node spacing `a`, levels 1 to `maxLevel`, on nodes 1 to `nodes`.
inline std::unique_ptr<TSequence> UniformLine(int type, int nodes, float a, int maxLevel) {
    int32_t levels = 0;
    SetLevels(levels, maxLevel);
    return MakeLine(MakeCable({{1, nodes, a}}), {.Array = type, .A = a, .Levels = levels, .First = 1});
}

// The common long sequence: dipole-dipole, a = 5, levels 1 to 32, on a 1,999-node line. Generating it
// gives exactly 16,000 quadripoles.
inline std::unique_ptr<TSequence> LongLine() { return UniformLine(0, 1999, 5, 32); }
