// The rules of a sequence's parameters that both front ends apply: the sequence dialog shows them as
// the limits of its controls, the command line as the checks of its options. With the electrodes-used
// rules (electrodesused.h) they make up everything done between choosing a cable set and generating.
#pragma once

#include <optional>
#include <string>

#include "model/chartsink.h"
#include "model/electrodesused.h"
#include "model/generationmode.h"
#include "model/sequence.h"

// Characters the title takes (the record itself keeps 31).
constexpr int MaxSequenceNameLength = 24;
// The injection times offered, in ms, in the order they are listed.
constexpr int TimeChoices[] = {2000, 1000, 500, 250};
constexpr TRange StackLimits{0, 249};
constexpr TRange QMaxLimits{0, 100};
constexpr TRange VmnCodes{0, 11};
// Depth levels of one spacing: levels 1 to n, n from 1 to 32.
constexpr TRange DepthLevelLimits{1, MaxLevels};
constexpr TRange GridLineLimits{1, 100};
// A spacing a must be above this to generate anything.
constexpr float MinElectrodeSpacing = 0.001f;

bool IsTimeChoice(int ms);

// Pole-pole and Wenner use one spacing only: no second or third dipole length.
bool UsesOneSpacing(int32_t arrayType);

// The whole multiples of a that dipole length s (1: second, 2: third) may take: 2 to 6 and 3 to 9.
TRange DipoleLengthMultiples(int s);
// Dipole length s becomes k x a (k within DipoleLengthMultiples(s)).
void SetDipoleLength(TSequence& seq, int s, int k);
// Forgets the dipole lengths from index `from` on, with their depth levels.
void ClearDipoleLengths(TSequence& seq, int from);
// A new a: the other dipole lengths stay the same multiples of a.
void SetElectrodeSpacing(TSequence& seq, float a);
// The stack maximum is never below the minimum: it is raised to it.
void RaiseStackMax(TSequence& seq);

// The mode the generator runs in for what the user chose: a move along places the line itself and is
// then generated as a roll along.
TGenerationMode GeneratorMode(TGenerationMode chosen);

// What a generation gave.
struct TGenerationResult {
    bool Complete = false;    // the whole line was swept (false at the 16,000 cap)
    std::string EmptyReason;  // why no quadripole was made; empty when there is at least one
    // When the 16,000-quadripole cap stopped the sweep: that it did and where, for the user (the
    // positions the quadripoles reach and the line's last electrode); empty otherwise.
    std::string CapCut;
};

// The generation that Create, Roll along and Move along run once the electrodes-used step is done:
// checks the record (std::invalid_argument with GenerationProblem's text when it cannot run, record
// untouched), generates in the generator's mode feeding `chart`, and says why when nothing fitted.
TGenerationResult RunGeneration(TSequence& seq, TGenerationMode chosen, TChartSink& chart);
