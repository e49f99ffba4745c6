// Quadripole generation: places the electrodes of a cable set on a line and lists the quadripoles in
// measuring order, feeding each one to a chart as it goes.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/chartsink.h"
#include "model/generationmode.h"
#include "model/sequence.h"

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

// Positions are matched within 0.01, so electrodes closer than twice that cannot be told apart: a
// lookup meant for one would also match its neighbour, and the quadripole would name one electrode
// two, three or four times, or lose the one it needs. The electrode spacing a is at least this.
constexpr float MinDistinctSpacing = 0.02f;
// Positions of a survey lie below this in magnitude: it is the remote electrode's coordinate.
constexpr double MaxSurveyCoordinate = 999999.0;
// Positions the measuring walk may step through from the first electrode to the end of the line; a
// line needs at most one per node, so only a spacing far too small for its line reaches this.
constexpr int MaxWalkSteps = 1000000;

struct TGenerationProblem {
    TGenerationField Field;
    std::string Text;
};

// Why GenerateSequence cannot run on this record, or nothing when it can: an unusable cable set; a not
// above 0.001, not finite, or below MinDistinctSpacing; a dipole length not finite; a first electrode that
// is not a node of the set; a first position at or beyond the remote electrode's 999,999; a line whose
// nodes would reach that far; a spacing too small for the float32 positions it steps through (every
// electrode must be met within the 0.01 that positions are matched to, and the walk to the end of the line
// must take at most MaxWalkSteps); a previous line end beyond 999,999; no electrode asked for.
std::optional<TGenerationProblem> GenerationPrecondition(const TSequence& seq);
// The text of GenerationPrecondition.
std::optional<std::string> GenerationProblem(const TSequence& seq);

// Places the electrodes and lists the quadripoles. Returns true when the whole line was swept; false at
// the 16,000 cap, for an array type without a listing scheme, or when GenerationProblem has an answer
// (the record is then left untouched). Any mode but ModeRollAlong behaves as ModeCreate.
bool GenerateSequence(TSequence& seq, int mode, TChartSink& chart);
// The same, telling a refusal apart from a cut or an unlisted array type: `refused` receives
// GenerationPrecondition's answer, so that a caller need not run that check a second time.
bool GenerateSequence(TSequence& seq, int mode, TChartSink& chart,
                      std::optional<TGenerationProblem>& refused);

// The same generation, with every position lookup done by the plain FindElectrodeAt scan. Kept as the
// reference the indexed lookups are measured and checked against.
bool GenerateSequenceByScan(TSequence& seq, int mode, TChartSink& chart);

// Whether the abscissa x lies so far past the line end maxX (the record's MaxX) that no electrode up
// to it can match x: 0.01 or more beyond. A lookup's abscissa, summed from the cursor, may end a float
// step past the last electrode, whose abscissa placement computed as a product; that electrode still
// matches. (Float subtraction keeps order: x - X is at least x - maxX for every X up to maxX.)
inline bool BeyondLineEnd(float x, float maxX) { return x - maxX >= 0.01f; }

// The active electrode at (x, y) within 0.01, scanning from the hint (or FirstNodeOfSet when the hint
// is -1) to LastNodeOfSet, then from FirstNodeOfSet up to the hint. On a match the hint becomes the
// electrode's number. None for x beyond the line end (BeyondLineEnd) or y above MaxY.
bool FindElectrodeAt(const TSequence& seq, float x, float y, int& hint);

// The first part of a TElectrodePositionIndex lookup: the line cut into slots of width a, each holding
// the one active electrode an abscissa in it can match. A view into its index, valid while that lives.
class TElectrodeSlots {
   public:
    static constexpr int32_t NoMatch = -100000;  // outside the range of electrode numbers
    static constexpr int32_t Undecided = -200000;

    // The Number of the active electrode within 0.01 of (x, y); NoMatch; or Undecided when the answer
    // depends on where a scan starts, or lies beyond the slots, and only the sorted table can tell.
    int32_t Lookup(float x, float y) const {
        const float t = (x - origin_) * perUnit_;
        if (t >= 0 && t < count_) {
            const TSlot& s = slots_[static_cast<int>(t)];
            if (s.Number == Undecided) return Undecided;
            // An empty slot holds a NaN abscissa, which matches nothing.
            return std::fabs(s.X - x) < 0.01f && std::fabs(s.Y - y) < 0.01f ? s.Number : NoMatch;
        }
        return coverAll_ ? NoMatch : Undecided;
    }

    // The slot of an abscissa, counted from the first, whether it exists or not: a guess for Predicted.
    int SlotNear(float x) const {
        const float t = (x - origin_) * perUnit_;
        return t > -1 && t < count_ ? static_cast<int>(t) : -1;
    }
    // The ordinate the slots were built for (the record's MaxY).
    float LineY() const { return lineY_; }
    // For lookups off that line: Predicted (and Regular) then always say no.
    void StopPredicting() { intCount_ = 0; }

    // Whether slots from to to all hold an electrode Predicted can give (see Sure), each within
    // RegularSlack of the slots' grid: where the slot of k lies at GridX(k), the grid steps by a.
    bool Regular(int from, int to) const {
        return from >= 0 && from <= to && to < intCount_ && slots_[from].RegularTo >= to;
    }
    static constexpr double RegularSlack = 0.001;
    double GridX(int k) const { return gridStart_ + k * gridStep_; }
    // How far, beyond the slack of the slots and the float additions that reach them, an abscissa
    // may stray from the grid and still be within 0.01 of every regular slot's electrode it is
    // meant to meet (see TElectrodePositionIndex). Not above 0: no such margin.
    double RegularBudget() const { return regularBudget_; }
    // How many slots the longest regular run holds.
    int LongestRegularRun() const { return longestRun_; }
    // The electrode of a regular slot: what Predicted gives for any abscissa within 0.01 of it.
    int32_t RegularNumber(int k) const { return sure_[k].Number; }
    // Whether the electrode of slot k, a guess, is what FindElectrodeAt answers for (x, LineY()) from
    // any hint, its Number then going into hint. When not, the answer is unknown: ask Lookup. An
    // electrode counts only when it lies within 0.01 of LineY() and clear of the record's MaxX, and
    // no other one, nor any outside the scanned node range, can match any abscissa it matches.
    bool Predicted(int k, float x, int& hint) const {
        if (static_cast<unsigned>(k) >= static_cast<unsigned>(intCount_)) return false;
        const TSure& s = sure_[k];
        // A NaN abscissa for a slot without such an electrode: it matches nothing.
        if (!(std::fabs(s.X - x) < 0.01f)) return false;
        hint = s.Number;
        return true;
    }

   private:
    friend class TElectrodePositionIndex;
    struct TSlot {
        float X;
        float Y;
        int32_t Number;     // the electrode's Number, or NoMatch when empty, or Undecided
        int32_t RegularTo;  // the last slot of the regular run from this one, or -1
    };
    struct TSure {
        float X;
        int32_t Number;
    };
    const TSlot* slots_ = nullptr;
    const TSure* sure_ = nullptr;
    double gridStart_ = 0;
    double gridStep_ = 0;
    double regularBudget_ = 0;
    int longestRun_ = 0;
    float origin_ = 0;
    float perUnit_ = 0;
    float count_ = 0;
    int intCount_ = 0;
    float lineY_ = NAN;
    bool coverAll_ = false;  // no active electrode can match an abscissa beyond the slots
};

// The same answers as FindElectrodeAt for a record whose electrode table does not change while the
// index lives. Active electrodes lie a apart, so most lookups end in one slot (TElectrodeSlots); a slot
// two electrodes could answer, an electrode outside the scanned node range, and an abscissa beyond the
// slots go to a sorted table of active positions, searched by bisection.
class TElectrodePositionIndex {
   public:
    explicit TElectrodePositionIndex(const TSequence& seq);
    TElectrodePositionIndex(const TElectrodePositionIndex&) = delete;  // the slot view points into it
    TElectrodePositionIndex& operator=(const TElectrodePositionIndex&) = delete;

    bool Find(const TSequence& seq, float x, float y, int& hint) const {
        if (BeyondLineEnd(x, seq.MaxX) || y > seq.MaxY) return false;
        int32_t n = slots_.Lookup(x, y);
        if (n == TElectrodeSlots::Undecided) n = FindSorted(seq, x, y, hint);
        if (n == TElectrodeSlots::NoMatch) return false;
        hint = n;
        return true;
    }
    const TElectrodeSlots& Slots() const { return slots_; }
    // The sorted table's answer, from the hint: the electrode's Number or TElectrodeSlots::NoMatch.
    int32_t FindSorted(const TSequence& seq, float x, float y, int hint) const;

   private:
    struct TEntry {
        float X;
        int Number;
    };
    void BuildSlots(const TSequence& seq);
    void BuildSorted(const TSequence& seq);

    std::vector<TElectrodeSlots::TSlot> slotTable_;
    std::vector<TElectrodeSlots::TSure> sureTable_;
    TElectrodeSlots slots_;
    std::vector<TEntry> byX_;  // built only when some lookup may need it
    double perGap_ = 0;        // entries per unit of abscissa
    int firstNode_;
    int lastNode_;
};

// Where a roll along after this sequence starts: the electrode at the lowest recorded deepest-level
// position, ties to the lower spacing index. -1 when nothing is found.
int RollStartElectrode(const TSequence& seq);

// Moves every placed electrode (types Active and Inactive, entries 1..1999) so that electrode k lies at x.
void ShiftLine(TSequence& seq, int k, float x);
