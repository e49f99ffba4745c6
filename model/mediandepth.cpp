#include "mediandepth.h"

#include <algorithm>
#include <cmath>

#include "geometry.h"

namespace {

struct TPair {
    double R;      // horizontal distance between a current and a potential electrode
    double Sign;   // +1 for AM and BN, -1 for AN and BM
};

// The part of a pair's sensitivity that lies above depth z, times 4. Integrated over a horizontal
// plane, a surface pole-pole pair at distance r has the depth sensitivity z / (r^2 + 4 z^2)^(3/2);
// from 0 to z that gives (1/r - 1/sqrt(r^2 + 4 z^2)) / 4, and 1 / (4 r) in all. Written without the
// difference of two near-equal terms so that small depths keep their precision.
double Above(double r, double z) {
    const double s = std::sqrt(r * r + 4.0 * z * z);
    return 4.0 * z * z / (r * s * (s + r));
}

}  // namespace

float MedianDepth(const TSequence& seq, const TQuadripole& q) {
    TPair pairs[4];
    int count = 0;
    auto add = [&](int e1, int e2, double sign) {
        if (!IsRealElectrode(seq, e1) || !IsRealElectrode(seq, e2)) return;
        const TElectrode& p = seq.Electrodes[e1];
        const TElectrode& r = seq.Electrodes[e2];
        const double d = std::hypot(double(p.X) - double(r.X), double(p.Y) - double(r.Y));
        if (!(d > 0.0) || !std::isfinite(d)) return;
        pairs[count++] = {d, sign};
    };
    add(q.A, q.M, 1.0);
    add(q.A, q.N, -1.0);
    add(q.B, q.M, -1.0);
    add(q.B, q.N, 1.0);
    if (count == 0) return 0.0f;

    // The pairs' terms in a fixed order (by distance, then sign) so that a quadripole and its
    // reciprocal, whose pairs are the same in another order, sum to the very same values.
    auto before = [](const TPair& x, const TPair& y) { return x.R != y.R ? x.R < y.R : x.Sign < y.Sign; };
    for (int i = 1; i < count; ++i)   // four at most: an insertion sort
        for (int j = i; j > 0 && before(pairs[j], pairs[j - 1]); --j) std::swap(pairs[j], pairs[j - 1]);
    double total = 0.0, scale = 0.0;
    for (int i = 0; i < count; ++i) {
        total += pairs[i].Sign / pairs[i].R;
        scale += 1.0 / pairs[i].R;
    }
    if (std::fabs(total) <= 1e-9 * scale) return 0.0f;

    // The fraction of the sensitivity above z: 0 at the surface, 1 at depth.
    auto fraction = [&](double z) {
        double above = 0.0;
        for (int i = 0; i < count; ++i) above += pairs[i].Sign * Above(pairs[i].R, z);
        return above / total;
    };
    // The sensitivity of some arrays changes sign with depth, so the fraction need not grow
    // steadily: walk down in steps of 2^(1/2) to the first depth where it reaches one half, then close
    // in on the crossing inside that step (regula falsi, Illinois variant: the bracket shrinks from
    // both sides, a few evaluations each) until the float result no longer changes. The JSON output
    // computes one median depth per quadripole, so the number of evaluations matters.
    const double rMin = pairs[0].R, rMax = pairs[count - 1].R;
    const double step = std::sqrt(2.0);
    double lo = 0.0, hi = rMin / 32.0;
    const double deepest = rMax * 1e4;
    double fLo = -0.5, fHi = fraction(hi) - 0.5;
    while (fHi < 0.0) {
        if (hi > deepest) return static_cast<float>(hi);
        lo = hi;
        fLo = fHi;
        hi *= step;
        fHi = fraction(hi) - 0.5;
    }
    int side = 0;
    for (int i = 0; i < 100 && static_cast<float>(lo) != static_cast<float>(hi); ++i) {
        double mid = hi - fHi * (hi - lo) / (fHi - fLo);
        if (!(mid > lo && mid < hi)) mid = 0.5 * (lo + hi);
        const double fMid = fraction(mid) - 0.5;
        if (fMid < 0.0) {
            lo = mid;
            fLo = fMid;
            if (side == -1) fHi *= 0.5;
            side = -1;
        } else {
            hi = mid;
            fHi = fMid;
            if (side == 1) fLo *= 0.5;
            side = 1;
        }
    }
    return static_cast<float>(0.5 * (lo + hi));
}
