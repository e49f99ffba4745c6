// Median depth of investigation of a quadripole: the depth above which half of the sensitivity of a
// homogeneous half-space lies (Edwards' median depth). A pure function of a record and one
// quadripole, like the rest of the quadripole geometry.
#pragma once

#include <cstdint>
#include <memory>

#include "model/geometry.h"
#include "model/sequence.h"

// In the record's length unit, from the electrodes' horizontal positions (X, Y); elevations are not
// used, the surface being taken as flat. Only real electrodes (Active, Inactive) count: a pair with a
// remote electrode, or with two electrodes at the same horizontal position, contributes nothing, as
// in the geometric factor. 0 when no pair is left or the pairs' contributions cancel (a quadripole
// that measures nothing). Never NaN or infinite for finite coordinates.
//
// For the arrays of the generator with spacing a it gives the usual figures: Wenner 0.519 a,
// pole-pole 0.866 a, dipole-dipole with dipole length a 0.416 a (n = 1) to 1.730 a (n = 6). A
// quadripole and its reciprocal (M N A B) have the same median depth.
float MedianDepth(const TSequence& seq, const TQuadripole& q);
// The same, its real electrodes given.
float MedianDepth(const TQuadripoleElectrodes& e);

// GeometricFactor and MedianDepth for many quadripoles of one record. The quadripoles of a sequence on
// a flat line repeat a few shapes along it, and both values of a quadripole whose pairs each lie at
// one height are functions of the pairs' differences in abscissa alone: each shape's are worked out
// once. The same answers as the two functions, bit for bit.
class TQuadripoleShapes {
   public:
    struct TValues {
        float K;
        float MedianDepth;
    };
    TQuadripoleShapes();
    ~TQuadripoleShapes();
    TQuadripoleShapes(const TQuadripoleShapes&) = delete;
    TQuadripoleShapes& operator=(const TQuadripoleShapes&) = delete;
    TValues operator()(const TQuadripoleElectrodes& e);

   private:
    struct TShape;
    std::unique_ptr<TShape[]> shapes_;
};
