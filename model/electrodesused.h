// The rules of the electrodes-used step that comes before every generation: which first electrodes and
// electrode counts are allowed, and how a roll along or a move along is set up from a previous
// sequence. The dialog shows these; the command-line program applies them directly.
#pragma once

#include <optional>
#include <string>

#include "model/sequence.h"

constexpr int NoRollStart = 9999999;

// Number subtracted from the last node of the set to give the highest allowed first electrode.
int FirstElectrodeReserve(int32_t arrayType);

struct TRange {
    int Min;
    int Max;
    constexpr int Clamp(int v) const { return v < Min ? Min : (v > Max ? Max : v); }
};

// First electrode range when the dialog opens: FirstNodeOfSet to LastNodeOfSet - reserve.
TRange FirstElectrodeRange(const TSequence& seq);
// Electrode count range: 4 to LastNodeOfSet - FirstNodeOfSet + 1.
TRange ElectrodeCountRange(const TSequence& seq);

// Clamps a typed first electrode into the range, then moves it up past numbers that are not nodes of
// the set (never beyond 1999).
int AdjustFirstElectrode(const TSequence& seq, int typed, const TRange& range);

// What choosing a previous sequence did to the working copy.
struct TRollSetup {
    int RollStart;      // electrode at which the new line starts (after the reversible rule)
    int ProposedFirst;  // what the first-electrode edit shows
    TRange FirstRange;  // the first electrodes then allowed
};

// Chooses `previous` as the sequence to roll or move along: finds the roll start, shifts the copy's
// line under it and sets the copy's roll-along limits. Nothing when the previous sequence has no
// recorded deepest position on an active electrode, or is a 3D grid (the copy is then unchanged).
std::optional<TRollSetup> ChoosePreviousSequence(TSequence& copy, const TSequence& previous, int mode);

// Number of lines shared with the previous sequence, as the overlap label shows it.
inline int OverlappingLines(int rollStart, int first) { return rollStart - first + 1; }

// The OK step: first electrode and its coordinates, move-along abscissa or roll-limit lowering, the
// electrode count (clamped). Coordinates pass through the dialog's two-decimal text, as typed there.
struct TElectrodesUsedChoice {
    int FirstElectrode;
    float X, Y, Z;                    // the coordinates the edits hold
    std::optional<float> MoveAlongX;  // "First electrode coordinate used :" in a move along
    int ElectrodeCount;
};
void ApplyElectrodesUsed(TSequence& copy, int mode, int rollStart, const TElectrodesUsedChoice& choice);

// A coordinate as the dialog shows it (FixedTwo) and reads it back.
float DialogCoordinate(float v);
