// Reciprocal readings: for a quadripole A B M N, the quadripole M N A B, which measures the same
// mutual impedance with current and potential pairs swapped. Comparing the two shows a reading's error.
#pragma once

#include <string>

#include "model/sequence.h"

// M N A B with the quadripole's spacing index and level. A remote electrode (0) stays remote in its
// swapped place: its pairs have no term either way, and every other pair keeps its sign (AM becomes
// MA, AN becomes BM and BM becomes AN, BN becomes NB), so the signed geometric factor is the same.
TQuadripole Reciprocal(const TQuadripole& q);

enum class TReciprocalMode {
    Append,  // the quadripoles as they are, then the reciprocals
    Only,    // the reciprocals alone
};

struct TReciprocalOutcome {
    bool Done = false;       // `out` holds the result
    int Added = 0;           // reciprocals written
    int AlreadyPresent = 0;  // reciprocals left out because the result already held them
    int Total = 0;           // quadripoles of the result (also when refused)
    std::string Problem;     // why nothing was made, when not Done
};

// Makes `out` a copy of `in` whose quadripole table is that of `mode`, in the order of `in`. A
// quadripole already in the result (same A, B, M, N) is not added again, so a reciprocal already
// present, or the reciprocal of a quadripole that is its own, is counted in AlreadyPresent. A result
// beyond 16,000 quadripoles is refused: `out` is untouched and Problem says why. `out` may be `in`.
TReciprocalOutcome MakeReciprocals(const TSequence& in, TReciprocalMode mode, TSequence& out);
