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

// Why GenerateSequence cannot run on this record (a not above 0.001, first electrode not a node of
// the cable set, no electrode asked for, an unusable cable set), or nothing when it can.
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
