#include "generate.h"

#include <algorithm>
#include <cmath>

#include "cable.h"
#include "geometry.h"

namespace {

constexpr auto kActive = static_cast<int16_t>(TElectrodeType::Active);
constexpr auto kInactive = static_cast<int16_t>(TElectrodeType::Inactive);
constexpr auto kRemote = static_cast<int16_t>(TElectrodeType::Remote);

inline bool Matches(const TElectrode& e, float x, float y) {
    return e.Type == kActive && std::fabs(e.X - x) < 0.01f && std::fabs(e.Y - y) < 0.01f;
}

float Ceil(float v) { return std::ceil(v); }

void PlaceElectrodes(TSequence& seq) {
    const float a = seq.Spacing[0];
    const int f = seq.FirstElectrode;
    const TSegment& sf = *SegmentOfNode(seq, f);
    const float x0 = seq.Electrodes[f].X, y0 = seq.Electrodes[f].Y, z0 = seq.Electrodes[f].Z;

    TElectrode& remote = seq.Electrodes[0];
    remote.Type = kRemote;
    remote.X = remote.Y = RemoteCoordinate;
    remote.Z = 0;
    seq.Electrodes[f].Type = kActive;

    int count = 0;
    float acc = a, v = a;
    float step = a / Ceil(a / sf.NodeSpacing);
    float next = x0 - static_cast<float>(f - sf.FirstNode) * a / Ceil(a / sf.NodeSpacing);

    auto visit = [&](int n, bool firstSweep) {
        TElectrode& e = seq.Electrodes[n];
        if (e.Type == 0) return;
        const TSegment* seg = SegmentOfNode(seq, n);
        if (seg == nullptr) return;   // a stray entry outside every segment is not a node
        const float s = seg->NodeSpacing;
        if (n == seg->FirstNode && n != sf.FirstNode) {
            // Joining another segment: half of each node spacing lies on either side of the junction.
            acc += v / 2 + s / 2;
            // Inactive nodes after the junction: with a wider spacing they sit at half node steps;
            // otherwise they follow this segment's own node step, as inside any segment.
            step = s > v ? a / Ceil((a / s) / 2) : a / Ceil(a / s);
        } else {
            acc += s;
            step = a / Ceil(a / s);
        }
        bool inactive = acc < a - 0.001f || (firstSweep && n < f) || count >= seq.NbElectrode;
        e.Y = y0;
        e.Z = z0;
        if (inactive) {
            e.Type = kInactive;
            e.X = next;
            next += step;
        } else {
            e.Type = kActive;
            e.X = x0 + static_cast<float>(count) * a;
            if (e.X > seq.MaxX) seq.MaxX = e.X;
            v = s;
            next = e.X + a / Ceil(a / s);
            ++count;
            acc = 0;
            seq.LastElectrode = n;
        }
    };
    for (int n = sf.FirstNode; n <= MaxElectrodeNumber; ++n) visit(n, true);
    for (int n = 1; n < sf.FirstNode; ++n) visit(n, false);
    seq.MaxY = y0;
}

struct TScanLookup {
    explicit TScanLookup(const TSequence&) {}
    bool operator()(const TSequence& seq, float x, float y, int& hint) const {
        return FindElectrodeAt(seq, x, y, hint);
    }
};

struct TIndexLookup {
    explicit TIndexLookup(const TSequence& seq) : index(seq) {}
    bool operator()(const TSequence& seq, float x, float y, int& hint) const { return index.Find(seq, x, y, hint); }
    TElectrodePositionIndex index;
};

template <class Lookup>
bool Generate(TSequence& seq, int mode, TChartSink& chart) {
    if (GenerationProblem(seq)) return false;
    chart.ClearChart();
    PlaceElectrodes(seq);

    for (auto& q : seq.Quadripoles) q.MakeEmpty();
    seq.NbQuadripole = 0;
    int usable = 0;
    for (int s = 0; s < MaxSpacings; ++s) {
        seq.DeepestX[s] = 0;
        if (seq.Spacing[s] == 0.0f || seq.LevelUsed[s] == 0) break;
        usable = s + 1;
    }
    for (int s = usable; s < MaxSpacings; ++s) seq.DeepestX[s] = 0;

    const int type = seq.ArrayType;
    bool forward;
    float k;
    switch (type) {
        case 0: case 1: case 2: forward = true; k = 1.0f; break;
        case 4: forward = false; k = 1.9998f; break;
        case 6: forward = false; k = 2.9998f; break;
        default: return false;
    }

    const Lookup lookup(seq);
    const float a = seq.Spacing[0];
    const float y0 = seq.Electrodes[seq.FirstElectrode].Y;
    float cursor[MaxSpacings];
    for (float& c : cursor) c = seq.Electrodes[seq.FirstElectrode].X;
    int hint = seq.FirstElectrode;
    const bool roll = mode == ModeRollAlong;
    const int view = chart.ViewIndex();
    const bool charting = chart.WantsPoints();
    std::string label;
    label.reserve(32);

    while (seq.NbQuadripole < MaxQuadripoles) {
        bool any = false;
        for (int s = 0; s < usable; ++s) any = any || cursor[s] <= seq.MaxX;
        if (!any) return true;
        for (int i = 0; i < usable; ++i) {
            const int s = forward ? i : usable - 1 - i;
            if (!lookup(seq, cursor[s], y0, hint)) {
                cursor[s] += a;
                continue;
            }
            const int c = hint;
            const float d = seq.Spacing[s];
            const int32_t mask = seq.LevelUsed[s];
            const int lo = LowestLevel(mask) + 1, hi = HighestLevel(mask) + 1;
            for (int j = 0; j <= hi - lo; ++j) {
                const int n = forward ? lo + j : hi - j;
                if (!LevelSet(mask, n)) continue;
                const float na = static_cast<float>(n) * a;
                TQuadripole q{};
                q.Reserved = -1;
                int p1 = 0, p2 = 0, p3 = 0;
                float x = cursor[s];
                bool ok = true;
                switch (type) {
                    case 0:
                        ok = lookup(seq, x += d, y0, hint) && (p1 = hint, lookup(seq, x += na, y0, hint)) &&
                             (p2 = hint, lookup(seq, x += d, y0, hint));
                        p3 = hint;
                        q.A = int16_t(c); q.B = int16_t(p1); q.M = int16_t(p2); q.N = int16_t(p3);
                        break;
                    case 1:
                        ok = lookup(seq, x += na, y0, hint) && (p1 = hint, lookup(seq, x += d, y0, hint));
                        p2 = hint;
                        q.A = 0; q.B = int16_t(c); q.M = int16_t(p1); q.N = int16_t(p2);
                        break;
                    case 2:
                        ok = lookup(seq, x += na, y0, hint);
                        p1 = hint;
                        q.A = 0; q.B = int16_t(c); q.M = 0; q.N = int16_t(p1);
                        break;
                    case 4:
                        ok = lookup(seq, x += na, y0, hint) && (p1 = hint, lookup(seq, x += d, y0, hint)) &&
                             (p2 = hint, lookup(seq, x += na, y0, hint));
                        p3 = hint;
                        q.A = int16_t(c); q.B = int16_t(p3); q.M = int16_t(p1); q.N = int16_t(p2);
                        break;
                    default:   // 6, Wenner
                        ok = lookup(seq, x += na, y0, hint) && (p1 = hint, lookup(seq, x += na, y0, hint)) &&
                             (p2 = hint, lookup(seq, x += na, y0, hint));
                        p3 = hint;
                        q.A = int16_t(c); q.B = int16_t(p3); q.M = int16_t(p1); q.N = int16_t(p2);
                        break;
                }
                if (!ok) continue;
                if (roll && cursor[s] < seq.RollLimit[s] + static_cast<float>(hi - n) * k * a) continue;
                q.SpacingIndex = static_cast<int8_t>(s);
                q.Level = static_cast<int8_t>(n);
                seq.Quadripoles[seq.NbQuadripole] = q;
                if (n == hi) {
                    seq.DeepestX[s] = cursor[s];
                    seq.DeepestY[s] = y0;
                }
                if (charting) {
                    try {
                        FormatQuadripoleLabel(q, "-", label);
                        chart.AddPoint((s + 1) * n, s, true, label, ChartValue(seq, q, view), PseudoX(seq, q));
                    } catch (...) {
                        // A chart that cannot draw a point does not lose the quadripole.
                    }
                }
                if (++seq.NbQuadripole >= MaxQuadripoles) return false;
            }
            cursor[s] += a;
        }
    }
    return false;
}

}  // namespace

std::optional<std::string> GenerationProblem(const TSequence& seq) {
    if (auto p = CableSetProblem(seq)) return p;
    if (!(seq.Spacing[0] > 0.001f)) return "the electrode spacing must be above 0.001";
    // An infinite spacing or start would keep the measuring walk from ever reaching the end of the line.
    for (float s : seq.Spacing)
        if (!std::isfinite(s)) return std::string("the dipole lengths must be finite numbers");
    const int f = seq.FirstElectrode;
    if (f < 1 || f > MaxElectrodeNumber || seq.Electrodes[f].Type == 0 || SegmentOfNode(seq, f) == nullptr)
        return "the first electrode " + std::to_string(f) + " is not a node of the cable set";
    const TElectrode& first = seq.Electrodes[f];
    if (!std::isfinite(first.X) || !std::isfinite(first.Y) || !std::isfinite(first.Z))
        return std::string("the position of the first electrode must be finite numbers");
    if (seq.NbElectrode < 1) return "the number of electrodes must be at least 1";
    return std::nullopt;
}

bool GenerateSequence(TSequence& seq, int mode, TChartSink& chart) {
    return Generate<TIndexLookup>(seq, mode, chart);
}

bool GenerateSequenceByScan(TSequence& seq, int mode, TChartSink& chart) {
    return Generate<TScanLookup>(seq, mode, chart);
}

bool FindElectrodeAt(const TSequence& seq, float x, float y, int& hint) {
    if (x > seq.MaxX || y > seq.MaxY) return false;
    const int first = FirstNodeOfSet(seq);
    const int last = std::min(LastNodeOfSet(seq), MaxElectrodeNumber);
    const int start = hint == -1 ? first : hint;
    for (int i = std::max(start, 0); i <= last; ++i) {
        if (Matches(seq.Electrodes[i], x, y)) {
            hint = seq.Electrodes[i].Number;
            return true;
        }
    }
    for (int i = std::max(first, 0); i < start && i < MaxElectrodes; ++i) {
        if (Matches(seq.Electrodes[i], x, y)) {
            hint = seq.Electrodes[i].Number;
            return true;
        }
    }
    return false;
}

TElectrodePositionIndex::TElectrodePositionIndex(const TSequence& seq)
    : firstNode_(FirstNodeOfSet(seq)), lastNode_(std::min(LastNodeOfSet(seq), MaxElectrodeNumber)) {
    byX_.reserve(MaxElectrodes);
    // A NaN abscissa matches nothing, and would leave the table unsorted.
    for (int i = 0; i < MaxElectrodes; ++i)
        if (seq.Electrodes[i].Type == kActive && !std::isnan(seq.Electrodes[i].X))
            byX_.push_back({seq.Electrodes[i].X, i});
    std::sort(byX_.begin(), byX_.end(), [](const TEntry& l, const TEntry& r) { return l.X < r.X; });
    // Electrodes lie about evenly along the line, so the place of an abscissa in the sorted table is
    // guessed from the mean gap and then corrected by a short walk.
    if (byX_.size() >= 2) {
        const float span = byX_.back().X - byX_.front().X;
        if (span > 0) perGap_ = static_cast<double>(byX_.size() - 1) / span;
    }
}

bool TElectrodePositionIndex::Find(const TSequence& seq, float x, float y, int& hint) const {
    if (x > seq.MaxX || y > seq.MaxY) return false;
    const int start = hint == -1 ? firstNode_ : hint;
    // Rank of an entry in the scan order of FindElectrodeAt; entries it never examines have none.
    const long firstLen = start <= lastNode_ ? long(lastNode_) - std::max(start, 0) + 1 : 0;
    auto rank = [&](int i) -> long {
        if (i >= std::max(start, 0) && i <= lastNode_) return i - std::max(start, 0);
        if (i >= std::max(firstNode_, 0) && i < start) return firstLen + (i - std::max(firstNode_, 0));
        return -1;
    };
    if (byX_.empty()) return false;
    const float low = x - 0.011f;
    std::size_t at = 0;
    const double guess = (static_cast<double>(x) - byX_.front().X) * perGap_;
    const auto lastAt = static_cast<double>(byX_.size() - 1);
    if (guess > 0) at = guess >= lastAt ? byX_.size() - 1 : static_cast<std::size_t>(guess);
    int walk = 0;
    while (at > 0 && byX_[at - 1].X >= low && walk < 64) --at, ++walk;
    while (at < byX_.size() && byX_[at].X < low && walk < 64) ++at, ++walk;
    if (walk >= 64 || (at > 0 && byX_[at - 1].X >= low)) {   // uneven line: fall back to bisection
        at = static_cast<std::size_t>(std::lower_bound(byX_.begin(), byX_.end(), low,
                                                       [](const TEntry& e, float v) { return e.X < v; }) -
                                      byX_.begin());
    }
    auto it = byX_.begin() + static_cast<std::ptrdiff_t>(at);
    long best = -1;
    int bestIndex = -1;
    for (; it != byX_.end() && it->X <= x + 0.011f; ++it) {
        const TElectrode& e = seq.Electrodes[it->Number];
        if (!Matches(e, x, y)) continue;
        long r = rank(it->Number);
        if (r >= 0 && (best < 0 || r < best)) {
            best = r;
            bestIndex = it->Number;
        }
    }
    if (bestIndex < 0) return false;
    hint = seq.Electrodes[bestIndex].Number;
    return true;
}

int RollStartElectrode(const TSequence& seq) {
    const float e1 = seq.DeepestX[1] == 0.0f ? seq.MaxX : seq.DeepestX[1];
    const float e2 = seq.DeepestX[2] == 0.0f ? seq.MaxX : seq.DeepestX[2];
    int s;
    if (e1 >= seq.DeepestX[0] && e2 >= seq.DeepestX[0]) s = 0;
    else if (e2 >= seq.DeepestX[1]) s = 1;
    else s = 2;
    int hint = -1;
    return FindElectrodeAt(seq, seq.DeepestX[s], seq.DeepestY[s], hint) ? hint : -1;
}

void ShiftLine(TSequence& seq, int k, float x) {
    if (k < 0 || k >= MaxElectrodes) return;
    const float d = x - seq.Electrodes[k].X;
    for (int i = 1; i <= MaxElectrodeNumber; ++i) {
        TElectrode& e = seq.Electrodes[i];
        if (e.Type == kActive || e.Type == kInactive) e.X += d;
    }
}
