// The small facts of a 3D grid that forms and charts hold without generating one (grid3d.h generates).
#pragma once

#include "model/sequence.h"

// What the record does not hold of a grid: the distance between lines along X, and which readings
// besides those along X are listed.
struct TGridLayout {
    float LineSpacing = 0;    // D, the distance between neighbouring lines along X (in Y)
    bool YLines = false;      // also list along every line along Y
    bool CrossLines = false;  // also list the cross-line dipole-dipole readings
};

// Whether the record is a grid (GridLineX not 0).
inline bool IsGrid(const TSequence& seq) { return seq.GridLineX != 0; }

// Which line of a grid a reading lies on.
enum class TGridLineKind {
    AlongX,  // on line Index along X (from 0)
    AlongY,  // on line Index along Y
    CrossX,  // between lines Index and Index + 1 along X
    CrossY,  // between lines Index and Index + 1 along Y
    None,    // on no line of the grid
};
