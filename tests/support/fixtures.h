// Small builders for cable sets and sequences used across the model tests.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>

#include "model/cable.h"
#include "model/generate.h"

struct TSegSpec {
    int First, Last;
    float Spacing;
    bool Reversible = false;
};

inline TSegment MakeSegment(const TSegSpec& s, const std::string& name = "") {
    return MakeSegment(name.empty() ? "S" + std::to_string(s.First) + "-" + std::to_string(s.Last) : name,
                       s.First, s.Last, s.Spacing, s.Reversible);
}

// Segments stored as given, without the inclusion rule (to build any set a file could hold).
inline TCable MakeCable(std::initializer_list<TSegSpec> segs) {
    TCable c;
    int i = 0;
    for (const auto& s : segs) c.Segments[i++] = MakeSegment(s);
    return c;
}

struct TLineSpec {
    int Array = 0;
    float A = 5;
    int32_t Levels = 0x3F;
    int First = -1;       // -1: the first node of the first segment
    int Electrodes = -1;  // -1: every node
    float X0 = 0, Y0 = 0, Z0 = 0;
    float Spacing2 = 0, Spacing3 = 0;
    int32_t Levels2 = 0, Levels3 = 0;
};

inline std::unique_ptr<TSequence> MakeLine(const TCable& c, const TLineSpec& l) {
    auto seq = std::make_unique<TSequence>();
    ApplyCableSet(*seq, c);
    seq->ArrayType = l.Array;
    seq->Spacing[0] = l.A;
    seq->LevelUsed[0] = l.Levels;
    seq->Spacing[1] = l.Spacing2;
    seq->LevelUsed[1] = l.Levels2;
    seq->Spacing[2] = l.Spacing3;
    seq->LevelUsed[2] = l.Levels3;
    if (l.First >= 0) seq->FirstElectrode = l.First;
    if (l.Electrodes >= 0) seq->NbElectrode = l.Electrodes;
    TElectrode& f = seq->Electrodes[seq->FirstElectrode];
    f.X = l.X0;
    f.Y = l.Y0;
    f.Z = l.Z0;
    return seq;
}
