// Designs on sequence records: the electrodes a design sits on, a record's quadripoles as a design,
// and an optimised design written into a record.
#pragma once

#include <vector>

#include "design/resolution.h"
#include "model/sequence.h"

// The code an optimised sequence carries: not one of the arrays with a listing scheme, so it is shown
// as "Mixed" and never rolled along as if it were one.
constexpr int32_t OptimisedArrayType = 9;

// The active electrodes of a record (entries 1..1999), by abscissa; the line is taken as straight
// along x. Throws std::invalid_argument when two share a position, fewer than four are placed, or the
// record is a 3D grid of several lines.
struct TDesignElectrodes {
    std::vector<double> X;
    std::vector<int> Number;        // the record's electrode number of each
    int IndexOf(int number) const;  // -1 for the remote electrode and for numbers not placed
};
TDesignElectrodes DesignElectrodes(const TSequence& seq);

// The first NbQuadripole quadripoles on those electrodes; electrode 0 and Remote entries are the
// remote electrode. Throws std::invalid_argument naming the first quadripole on an electrode that is
// not placed, or with two electrodes the same.
std::vector<TDesignQuad> DesignOfSequence(const TSequence& seq, const TDesignElectrodes& e);

// Places the electrodes of the record's cable set from its FirstElectrode, X, Y, Z and NbElectrode,
// as the generator does, and empties its quadripole table. Returns false (record untouched) when the
// generator would refuse the record.
bool PlaceDesignElectrodes(TSequence& seq);

// Writes the design as the record's quadripoles (sorted by A, B, M, N so that readings sharing a
// current dipole follow each other) with array type OptimisedArrayType. Throws std::length_error
// beyond MaxQuadripoles.
void WriteDesign(TSequence& seq, const TDesignElectrodes& e, const std::vector<TDesignQuad>& design);
