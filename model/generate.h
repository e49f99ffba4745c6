// Quadripole generation: places the electrodes of a cable set on a line and lists the quadripoles in
// measuring order, feeding each one to a chart as it goes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "chartsink.h"
#include "sequence.h"

// How a generation starts: a fresh line, after a previous sequence (roll along), or moved to a new
// abscissa (move along). The codes are the ones the dialogs pass around.
enum TGenerationMode : int { ModeRollAlong = 1011, ModeCreate = 1012, ModeMoveAlong = 1013 };

// The field of the record a refused generation is about, so that a front end names its own control
// or option for it.
enum class TGenerationField {
    CableSet,        // the segments
    Spacing,         // Spacing[0], the electrode spacing a
    DipoleLength,    // Spacing[1] or Spacing[2]
    FirstElectrode,  // FirstElectrode
    FirstX,          // X, Y, Z of the first electrode
    FirstY,
    FirstZ,
    ElectrodeCount,  // NbElectrode
    LineEnd,         // MaxX, the largest abscissa a previous generation left
};

// Positions of a survey lie below this in magnitude: it is the remote electrode's coordinate.
constexpr double MaxSurveyCoordinate = 999999.0;
// Positions the measuring walk may step through from the first electrode to the end of the line; a
// line needs at most one per node, so only a spacing far too small for its line reaches this.
constexpr int MaxWalkSteps = 1000000;

struct TGenerationProblem {
    TGenerationField Field;
    std::string Text;
};

// Why GenerateSequence cannot run on this record, or nothing when it can: an unusable cable set; a
// not above 0.001 or not finite; a dipole length not finite; a first electrode that is not a node of
// the set; a first position at or beyond the remote electrode's 999,999; a line whose nodes would
// reach that far; a spacing too small for the float32 positions it steps through (every electrode
// must be met within the 0.01 that positions are matched to, and the walk to the end of the line must
// take at most MaxWalkSteps); a previous line end beyond 999,999; no electrode asked for.
std::optional<TGenerationProblem> GenerationPrecondition(const TSequence& seq);
// The text of GenerationPrecondition.
std::optional<std::string> GenerationProblem(const TSequence& seq);

// Places the electrodes and lists the quadripoles. Returns true when the whole line was swept; false at
// the 16,000 cap, for an array type without a listing scheme, or when GenerationProblem has an answer
// (the record is then left untouched). Any mode but ModeRollAlong behaves as ModeCreate.
bool GenerateSequence(TSequence& seq, int mode, TChartSink& chart);

// The same generation, with every position lookup done by the plain FindElectrodeAt scan. Kept as the
// reference the indexed lookups are measured and checked against.
bool GenerateSequenceByScan(TSequence& seq, int mode, TChartSink& chart);

// The active electrode at (x, y) within 0.01, scanning from the hint (or FirstNodeOfSet when the hint
// is -1) to LastNodeOfSet, then from FirstNodeOfSet up to the hint. On a match the hint becomes the
// electrode's number.
bool FindElectrodeAt(const TSequence& seq, float x, float y, int& hint);

// The same answers as FindElectrodeAt for a record whose electrode table does not change while the
// index lives: a sorted table of active positions, searched by bisection.
class TElectrodePositionIndex {
public:
    explicit TElectrodePositionIndex(const TSequence& seq);
    bool Find(const TSequence& seq, float x, float y, int& hint) const;

private:
    struct TEntry {
        float X;
        int Number;
    };
    std::vector<TEntry> byX_;
    double perGap_ = 0;   // entries per unit of abscissa
    int firstNode_;
    int lastNode_;
};

// Where a roll along after this sequence starts: the electrode at the lowest recorded deepest-level
// position, ties to the lower spacing index. -1 when nothing is found.
int RollStartElectrode(const TSequence& seq);

// Moves every placed electrode (types Active and Inactive, entries 1..1999) so that electrode k lies at x.
void ShiftLine(TSequence& seq, int k, float x);
