#include "model/mediandepth.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "model/geometry.h"

namespace {

struct TPair {
    double R;     // horizontal distance between a current and a potential electrode
    double Sign;  // +1 for AM and BN, -1 for AN and BM
};

// The part of a pair's sensitivity that lies above depth z, times 4. Integrated over a horizontal
// plane, a surface pole-pole pair at distance r has the depth sensitivity z / (r^2 + 4 z^2)^(3/2);
// from 0 to z that gives (1/r - 1/sqrt(r^2 + 4 z^2)) / 4, and 1 / (4 r) in all. Written without the
// difference of two near-equal terms so that small depths keep their precision.
double Above(double r, double z) {
    const double s = std::sqrt(r * r + 4.0 * z * z);
    return 4.0 * z * z / (r * s * (s + r));
}

// The horizontal distances of the pairs AM, AN, BM and BN, in that order; bit i of the result says
// whether pair i counts (both electrodes real, at distinct places), the others' distances being 0.
unsigned Distances(const TQuadripoleElectrodes& e, double (&r)[4]) {
    const TElectrode* pairs[4][2] = {{e.A, e.M}, {e.A, e.N}, {e.B, e.M}, {e.B, e.N}};
    unsigned counted = 0;
    for (int i = 0; i < 4; ++i) {
        r[i] = 0.0;
        const TElectrode* p = pairs[i][0];
        const TElectrode* q = pairs[i][1];
        if (p == nullptr || q == nullptr) continue;
        const double dx = double(p->X) - double(q->X), dy = double(p->Y) - double(q->Y);
        // Along a line (the usual case) the distance is |dx|, which is what hypot gives then.
        const double d = dy == 0.0 ? std::fabs(dx) : std::hypot(dx, dy);
        if (!(d > 0.0) || !std::isfinite(d)) continue;
        r[i] = d;
        counted |= 1u << i;
    }
    return counted;
}

// The pairs that count, in a fixed order (by distance, then sign) so that a quadripole and its
// reciprocal, whose pairs are the same in another order, sum to the very same values. Returns how
// many.
int Pairs(const double (&r)[4], unsigned counted, TPair (&pairs)[4]) {
    constexpr double Signs[4] = {1.0, -1.0, -1.0, 1.0};  // AM and BN add, AN and BM take away
    int count = 0;
    for (int i = 0; i < 4; ++i)
        if (counted & (1u << i)) pairs[count++] = {r[i], Signs[i]};
    auto before = [](const TPair& x, const TPair& y) { return x.R != y.R ? x.R < y.R : x.Sign < y.Sign; };
    for (int i = 1; i < count; ++i)  // four at most: an insertion sort
        for (int j = i; j > 0 && before(pairs[j], pairs[j - 1]); --j) std::swap(pairs[j], pairs[j - 1]);
    return count;
}

float MedianDepthOf(const TPair (&pairs)[4], int count) {
    if (count == 0) return 0.0f;
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
    // both sides, a few evaluations each) until the float result no longer changes.
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

float MedianDepthOfDistances(const double (&r)[4], unsigned counted) {
    TPair pairs[4];
    const int count = Pairs(r, counted, pairs);
    return MedianDepthOf(pairs, count);
}

}  // namespace

float MedianDepth(const TQuadripoleElectrodes& e) {
    double r[4];
    const unsigned counted = Distances(e, r);
    return MedianDepthOfDistances(r, counted);
}

float MedianDepth(const TSequence& seq, const TQuadripole& q) { return MedianDepth(RealElectrodes(seq, q)); }

// One remembered shape: the differences in abscissa of its pairs AM, AN, BM and BN, as the
// geometric factor (in single precision) and the median depth (in double) take them, which pairs
// there are, and the answers.
struct TQuadripoleShapes::TShape {
    double D[4];
    float F[4];
    int Present;  // -1: empty
    TValues Values;
};

namespace {
constexpr int ShapeBits = 8;
}

TQuadripoleShapes::TQuadripoleShapes() : shapes_(new TShape[1 << ShapeBits]) {
    for (int i = 0; i < 1 << ShapeBits; ++i) shapes_[i].Present = -1;
}

TQuadripoleShapes::~TQuadripoleShapes() = default;

TQuadripoleShapes::TValues TQuadripoleShapes::operator()(const TQuadripoleElectrodes& e) {
    const TElectrode* pairs[4][2] = {{e.A, e.M}, {e.A, e.N}, {e.B, e.M}, {e.B, e.N}};
    TShape key;
    int present = 0;
    for (int i = 0; i < 4; ++i) {
        const TElectrode* p = pairs[i][0];
        const TElectrode* r = pairs[i][1];
        key.D[i] = 0.0;
        key.F[i] = 0.0f;
        if (p == nullptr || r == nullptr) continue;
        // A pair at two heights, or an ordinate that is not a number: its distance is not its
        // difference in abscissa.
        if (!(p->Y - r->Y == 0.0f && p->Z - r->Z == 0.0f)) return {GeometricFactor(e), MedianDepth(e)};
        key.F[i] = p->X - r->X;
        key.D[i] = double(p->X) - double(r->X);
        present |= 1 << i;
    }
    // The distances of a regular line are small multiples of its spacing, whose bits differ only at
    // the top: every round folds the high bits down before multiplying them up again.
    uint64_t hash = static_cast<uint64_t>(present);
    for (double d : key.D) {
        uint64_t bits;
        std::memcpy(&bits, &d, sizeof bits);
        hash ^= bits;
        hash = (hash ^ (hash >> 31)) * 0x9E3779B97F4A7C15ull;
    }
    // Two places for each shape, so that shapes in use together that share one do not push each
    // other out.
    TShape* set = &shapes_[(hash >> (64 - ShapeBits)) & ~std::size_t{1}];
    // The key is compared as the bits it was hashed from: equal bits give the same values.
    // NOLINTBEGIN(bugprone-suspicious-memory-comparison)
    for (const TShape* shape : {set, set + 1})
        if (shape->Present == present && std::memcmp(shape->D, key.D, sizeof key.D) == 0 &&
            std::memcmp(shape->F, key.F, sizeof key.F) == 0)
            return shape->Values;
    // NOLINTEND(bugprone-suspicious-memory-comparison)
    set[1] = set[0];  // the older of the two goes
    key.Present = present;
    key.Values = {GeometricFactor(e), MedianDepth(e)};
    set[0] = key;
    return key.Values;
}
