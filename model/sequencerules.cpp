#include "model/sequencerules.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>

#include "model/generate.h"
#include "model/geometry.h"

bool IsTimeChoice(int ms) {
    return std::find(std::begin(TimeChoices), std::end(TimeChoices), ms) != std::end(TimeChoices);
}

bool UsesOneSpacing(int32_t arrayType) { return ArrayTypeRow(arrayType).OneSpacing; }

TRange DipoleLengthMultiples(int s) { return s == 1 ? TRange{2, 6} : TRange{3, 9}; }

void SetDipoleLength(TSequence& seq, int s, int k) {
    seq.Spacing[s] = static_cast<float>(k) * seq.Spacing[0];
}

void ClearDipoleLengths(TSequence& seq, int from) {
    for (int s = std::max(from, 1); s < MaxSpacings; ++s) {
        seq.Spacing[s] = 0;
        seq.LevelUsed[s] = 0;
    }
}

void SetElectrodeSpacing(TSequence& seq, float a) {
    const float oldA = seq.Spacing[0];
    for (int s = 1; s < MaxSpacings; ++s) {
        if (!(oldA > MinElectrodeSpacing) || seq.Spacing[s] == 0.0f) continue;
        // A whole multiple stays exactly the length SetDipoleLength gives: scaling by the quotient of
        // two floats could land it a hair below k x a.
        if (auto k = NearWholeMultiple(seq.Spacing[s], oldA))
            seq.Spacing[s] = static_cast<float>(*k) * a;
        else
            seq.Spacing[s] = seq.Spacing[s] / oldA * a;
    }
    seq.Spacing[0] = a;
}

void RaiseStackMax(TSequence& seq) { seq.StackMax = std::max(seq.StackMax, seq.StackMin); }

TGenerationMode GeneratorMode(TGenerationMode chosen) {
    return chosen == ModeCreate ? ModeCreate : ModeRollAlong;
}

namespace {

std::string LengthText(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", static_cast<double>(v));
    return buf;
}

// A cut line is otherwise silent: the quadripoles simply stop part of the way along it.
std::string CapCutText(const TSequence& seq) {
    float reached = -std::numeric_limits<float>::infinity();
    for (int i = 0; i < std::min(seq.NbQuadripole, MaxQuadripoles); ++i)
        reached = std::max(reached, PseudoX(seq, seq.Quadripoles[i]));
    float lineEnd = -std::numeric_limits<float>::infinity();
    for (int k = 1; k <= MaxElectrodeNumber; ++k)
        if (seq.Electrodes[k].Type == static_cast<int16_t>(TElectrodeType::Active))
            lineEnd = std::max(lineEnd, seq.Electrodes[k].X);
    return "the " + std::to_string(MaxQuadripoles) +
           "-quadripole limit cut the sequence: its quadripoles reach x = " + LengthText(reached) +
           " of a line whose last electrode is at x = " + LengthText(lineEnd) +
           "; use fewer levels or electrodes, or roll along in several sequences";
}

}  // namespace

TGenerationResult RunGeneration(TSequence& seq, TGenerationMode chosen, TChartSink& chart) {
    const TGenerationMode mode = GeneratorMode(chosen);
    TGenerationResult result;
    std::optional<TGenerationProblem> refused;
    result.Complete = GenerateSequence(seq, mode, chart, refused);
    if (refused) throw std::invalid_argument(refused->Text);
    if (!result.Complete && seq.NbQuadripole >= MaxQuadripoles) result.CapCut = CapCutText(seq);
    if (seq.NbQuadripole > 0) return result;
    if (mode == ModeRollAlong) {
        // Would the same line give quadripoles without the limits of the sequence rolled along?
        auto free = std::make_unique<TSequence>(seq);
        TNullChartSink none;
        GenerateSequence(*free, ModeCreate, none);
        if (free->NbQuadripole > 0) {
            result.EmptyReason =
                "every quadripole lies before the roll-along limits of the previous sequence";
            return result;
        }
    }
    result.EmptyReason = "the " + std::to_string(seq.NbElectrode) +
                         " electrodes used are too few for the chosen depth levels of this array";
    return result;
}
