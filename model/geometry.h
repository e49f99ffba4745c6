// Quadripole geometry: geometric factor, pseudo-section abscissa, plotted values and text forms.
// Pure functions of a record and one quadripole; single precision as the instrument uses.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "model/sequence.h"

constexpr double TwoPi = 6.283185307179586;

// Signed geometric factor K; 1 when no real pair exists or the terms cancel.
float GeometricFactor(const TSequence& seq, const TQuadripole& q);
// GeometricFactor of Quadripoles[i] for i < NbQuadripole, else 0.
float QuadripoleK(const TSequence& seq, int i);
// (current centre + potential centre) / 2.
float PseudoX(const TSequence& seq, const TQuadripole& q);
// Value plotted in a chart view (0 Level, 1 Investigation depth, 2 |K|, 4 MedianDepth, other 0).
float ChartValue(const TSequence& seq, const TQuadripole& q, int view);
// The "Investigation depth" of a reading of array `type`: the fitted depth of that array from the
// dipole length `length` and the level measured in dipole lengths (`nu`) and in length units
// (`lambda`), or the reading's median depth where no fit serves. Lines and grids share it.
float InvestigationDepthOf(const TSequence& seq, const TQuadripole& q, int32_t type, double length, double nu,
                           double lambda);
// PseudoX and the values of views 0 and 1, exactly as those give them, working the centres out once.
struct TPlotValues {
    float PseudoX, Level, Depth;
};
TPlotValues PlotValues(const TSequence& seq, const TQuadripole& q);
// The electrodes of a quadripole that have a real position (IsRealElectrode), null for the others:
// what its geometry is worked out from, fetched once for all of its values.
struct TQuadripoleElectrodes {
    const TElectrode* A;
    const TElectrode* B;
    const TElectrode* M;
    const TElectrode* N;
};
TQuadripoleElectrodes RealElectrodes(const TSequence& seq, const TQuadripole& q);
// GeometricFactor and PlotValues of q, its real electrodes given.
float GeometricFactor(const TQuadripoleElectrodes& e);
TPlotValues PlotValues(const TSequence& seq, const TQuadripole& q, const TQuadripoleElectrodes& e);
// " 1-2-3-4  " with separator "-"; electrode 0 reads "Rem".
std::string QuadripoleLabel(const TQuadripole& q, const std::string& separator);
// The same text written into `out`, which keeps its capacity (no allocation once it has grown).
void FormatQuadripoleLabel(const TQuadripole& q, std::string_view separator, std::string& out);
// How many times `unit` goes into `length`, for lengths meant as whole multiples of a (a dipole length
// k x a, a distance of n x a between electrodes). Such a length comes back from float32 arithmetic a
// hair off, and its quotient may fall just below k (3 x 0.11 / 0.11 = 2.9999998). The generator finds
// the same electrodes for any length within the 0.01 that positions are matched to, so a length that
// close to a whole multiple (and within a quarter of the unit, for units too small to tell apart) is
// that multiple: NearWholeMultiple gives it, nothing for any other length. WholeMultiple gives it too,
// and for any other length the whole part of the quotient (truncated toward zero; 8 for a = 2.5 is 3).
// A quotient that is not finite or beyond +-1e9 is 0: no multiple at all.
std::optional<int> NearWholeMultiple(float length, float unit);
int WholeMultiple(float length, float unit);
// Spacing[k] as a whole multiple of a, by WholeMultiple; 0 when a is below 0.001.
int SpacingMultiple(const TSequence& seq, int k);
// SpacingMultiple as text ("3" or "3 x a"); " " when a is below 0.001.
std::string SpacingMultipleText(const TSequence& seq, int k, bool withSuffix);
// The first character read as a digit, times a; 0 for an empty text. Throws std::invalid_argument when
// the first character is not a digit.
float SpacingFromText(const TSequence& seq, const std::string& text);

// Whether an electrode entry has a real position (Active or Inactive).
inline bool IsRealElectrode(const TSequence& seq, int number) {
    if (number < 0 || number >= MaxElectrodes) return false;
    int16_t t = seq.Electrodes[number].Type;
    return t == static_cast<int16_t>(TElectrodeType::Active) ||
           t == static_cast<int16_t>(TElectrodeType::Inactive);
}
