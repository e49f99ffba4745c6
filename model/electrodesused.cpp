#include "model/electrodesused.h"

#include <algorithm>
#include <charconv>
#include <string>

#include "model/cable.h"
#include "model/fixedtwo.h"
#include "model/generate.h"

int FirstElectrodeReserve(int32_t arrayType) { return ArrayTypeRow(arrayType).FirstElectrodeReserve; }

TRange FirstElectrodeRange(const TSequence& seq) {
    return {FirstNodeOfSet(seq), LastNodeOfSet(seq) - FirstElectrodeReserve(seq.ArrayType)};
}

TRange ElectrodeCountRange(const TSequence& seq) { return {4, LastNodeOfSet(seq) - FirstNodeOfSet(seq) + 1}; }

int AdjustFirstElectrode(const TSequence& seq, int typed, const TRange& range) {
    int i = range.Clamp(typed);
    i = std::clamp(i, 0, MaxElectrodeNumber);
    while (i < MaxElectrodeNumber && seq.Electrodes[i].Type == static_cast<int16_t>(TElectrodeType::None))
        ++i;
    return i;
}

std::optional<TRollSetup> ChoosePreviousSequence(TSequence& copy, const TSequence& previous, int mode) {
    // A grid is laid out whole: its deepest positions lie on lines across the grid, not along one.
    if (previous.GridLineX != 0) return std::nullopt;
    // The lookups answer an electrode's Number field; a record read from a file may hold any value there.
    auto inTable = [](int n) { return n >= 0 && n <= MaxElectrodeNumber; };
    int found = RollStartElectrode(previous);
    if (found < 1 || !inTable(found)) return std::nullopt;
    int e[MaxSpacings];
    for (int s = 0; s < MaxSpacings; ++s) {
        int hint = 0;
        e[s] = FindElectrodeAt(previous, previous.DeepestX[s], previous.DeepestY[s], hint) && inTable(hint)
                   ? hint
                   : 0;
    }
    int rollStart = found;
    const TSegment* g = SegmentOfNode(previous, rollStart);
    if (g != nullptr && g->Reversible != 0) {
        rollStart = rollStart - g->FirstNode + 1;
        if (SegmentOfNode(previous, rollStart) == nullptr) rollStart = g->FirstNode;
    }
    ShiftLine(copy, rollStart, previous.Electrodes[found].X);
    for (int s = 0; s < MaxSpacings; ++s) copy.RollLimit[s] = previous.Electrodes[e[s]].X;

    TRollSetup setup{rollStart, 0, FirstElectrodeRange(copy)};
    if (mode == ModeRollAlong) {
        setup.ProposedFirst = rollStart;
        setup.FirstRange = {std::max(FirstNodeOfSet(copy), rollStart - 3), rollStart + 1};
    } else {
        const TSegment* own = SegmentOfNode(previous, copy.FirstElectrode);
        setup.ProposedFirst = own != nullptr ? own->FirstNode : copy.FirstElectrode;
    }
    return setup;
}

float DialogCoordinate(float v) {
    const std::string text = FixedTwo(v);
    float back = 0;
    std::from_chars(text.data(), text.data() + text.size(), back);
    return back;
}

void ApplyElectrodesUsed(TSequence& copy, int mode, int rollStart, const TElectrodesUsedChoice& choice) {
    copy.FirstElectrode = choice.FirstElectrode;
    const int d = rollStart - copy.FirstElectrode;
    TElectrode& first = copy.Electrodes[copy.FirstElectrode];
    first.X = choice.X;
    first.Y = choice.Y;
    first.Z = choice.Z;
    if (mode == ModeMoveAlong) {
        if (choice.MoveAlongX) first.X = *choice.MoveAlongX;
    } else if (mode == ModeRollAlong) {
        for (float& limit : copy.RollLimit) limit -= static_cast<float>(d) * copy.Spacing[0];
    }
    copy.NbElectrode = ElectrodeCountRange(copy).Clamp(choice.ElectrodeCount);
}
