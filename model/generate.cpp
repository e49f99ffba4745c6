#include "model/generate.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "model/cable.h"
#include "model/geometry.h"
#include "model/grid3d.h"
#include "model/quadripolelisting.h"

namespace {

constexpr auto kActive = static_cast<int16_t>(TElectrodeType::Active);
constexpr auto kInactive = static_cast<int16_t>(TElectrodeType::Inactive);
constexpr auto kRemote = static_cast<int16_t>(TElectrodeType::Remote);

inline bool Matches(const TElectrode& e, float x, float y) {
    return e.Type == kActive && std::fabs(e.X - x) < 0.01f && std::fabs(e.Y - y) < 0.01f;
}

float Ceil(float v) { return std::ceil(v); }

// Whether two entries of the cable set hold an electrode entry (1 to 1999) in common: then the first
// holding a node is not simply the one holding its neighbour.
bool SegmentsOverlap(const TCable& c) {
    for (int i = 0; i < MaxSegments; ++i)
        for (int j = i + 1; j < MaxSegments; ++j)
            if (std::max({c.Segments[i].FirstNode, c.Segments[j].FirstNode, int16_t(1)}) <=
                std::min({c.Segments[i].LastNode, c.Segments[j].LastNode, int16_t(MaxElectrodeNumber)}))
                return true;
    return false;
}

// The reference looks up each node's segment and node step anew; otherwise they are looked up again
// only when they change, with the same results.
template <bool Reference>
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

    const bool overlap = !Reference && SegmentsOverlap(seq);
    const TSegment* lastSegment = nullptr;
    auto segmentOf = [&](int n) {
        if (Reference || overlap || lastSegment == nullptr || n < lastSegment->FirstNode ||
            n > lastSegment->LastNode)
            lastSegment = SegmentOfNode(seq, n);
        return lastSegment;
    };
    float lastSpacing = NAN, lastStep = NAN;
    auto nodeStep = [&](float s) {
        if (Reference || !(s == lastSpacing)) {
            lastSpacing = s;
            lastStep = a / Ceil(a / s);
        }
        return lastStep;
    };

    auto visit = [&](int n, bool firstSweep) {
        TElectrode& e = seq.Electrodes[n];
        if (e.Type == 0) return;
        const TSegment* seg = segmentOf(n);
        if (seg == nullptr) return;  // a stray entry outside every segment is not a node
        const float s = seg->NodeSpacing;
        if (n == seg->FirstNode && n != sf.FirstNode) {
            // Joining another segment: half of each node spacing lies on either side of the junction.
            acc += v / 2 + s / 2;
            // Inactive nodes after the junction: with a wider spacing they sit at half node steps;
            // otherwise they follow this segment's own node step, as inside any segment.
            step = s > v ? a / Ceil((a / s) / 2) : nodeStep(s);
        } else {
            acc += s;
            step = nodeStep(s);
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
            next = e.X + nodeStep(s);
            ++count;
            acc = 0;
            seq.LastElectrode = n;
        }
    };
    for (int n = sf.FirstNode; n <= MaxElectrodeNumber; ++n) visit(n, true);
    for (int n = 1; n < sf.FirstNode; ++n) visit(n, false);
    seq.MaxY = y0;
}

bool IsEmpty(const TQuadripole& q) {
    return q.A == 0 && q.B == 0 && q.M == 0 && q.N == 0 && q.SpacingIndex == 0 && q.Level == 0 &&
           q.Reserved == -1;
}

// How many entries of the quadripole table, from the front, may not be empty. Normally the record's
// count: the rest are checked rather than rewritten, reading being much cheaper than writing. The
// table is empty from entry k on when entry k is empty and every entry equals the next one, which is
// what comparing the table with itself one entry further on shows.
int UsedQuadripoles(const TSequence& seq) {
    const TQuadripole* q = seq.Quadripoles;
    const int count = std::clamp(seq.NbQuadripole, 0, MaxQuadripoles);
    if (count == MaxQuadripoles) return count;
    const bool emptyTail =
        IsEmpty(q[count]) && std::memcmp(&q[count], &q[count + 1],
                                         sizeof(TQuadripole) * std::size_t(MaxQuadripoles - count - 1)) == 0;
    return emptyTail ? count : MaxQuadripoles;
}

// The lookups of one generation, as small values the compiler keeps in registers: the record is written
// on every quadripole, and anything it reaches through memory would be read again after each write.
// Each lookup takes a guess at the slot of its abscissa (see TElectrodeSlots::Predicted), which only
// ever saves time.
struct TScanLookup {
    static constexpr bool Reference = true;
    explicit TScanLookup(const TSequence&) {}
    struct TFinder {
        const TSequence* Seq;
        int SlotNear(float) const { return 0; }
        bool Sure(float, int, int&) const { return false; }
        double RegularBudget() const { return -1; }
        int LongestRegularRun() const { return 0; }
        bool OnGrid(float, int, double) const { return false; }
        bool Regular(int, int) const { return false; }
        int RegularNumber(int) const { return 0; }
        bool operator()(float x, float y, int& hint, int) const { return FindElectrodeAt(*Seq, x, y, hint); }
    };
    TFinder Finder(const TSequence& seq, float) const { return {&seq}; }
};

struct TIndexLookup {
    static constexpr bool Reference = false;
    explicit TIndexLookup(const TSequence& seq) : index(seq) {}
    struct TFinder {
        TElectrodeSlots Slots;
        const TElectrodePositionIndex* Index;
        const TSequence* Seq;
        float MaxX, MaxY;
        int SlotNear(float x) const { return Slots.SlotNear(x); }
        // Whether the answer at x is known whatever the hint: then it is in number.
        bool Sure(float x, int guess, int& number) const { return Slots.Predicted(guess, x, number); }
        double RegularBudget() const { return Slots.RegularBudget(); }
        int LongestRegularRun() const { return Slots.LongestRegularRun(); }
        // Whether x lies within budget of the grid at slot k.
        bool OnGrid(float x, int k, double budget) const {
            return std::fabs(double(x) - Slots.GridX(k)) <= budget;
        }
        bool Regular(int from, int to) const { return Slots.Regular(from, to); }
        int RegularNumber(int k) const { return Slots.RegularNumber(k); }
        bool operator()(float x, float y, int& hint, int guess) const {
            if (Slots.Predicted(guess, x, hint)) return true;
            if (BeyondLineEnd(x, MaxX) || y > MaxY) return false;
            int32_t n = Slots.Lookup(x, y);
            if (n == TElectrodeSlots::Undecided) n = Index->FindSorted(*Seq, x, y, hint);
            if (n == TElectrodeSlots::NoMatch) return false;
            hint = n;
            return true;
        }
    };
    // For lookups at ordinate y, valid while the record's electrodes, MaxX and MaxY stay as they are.
    TFinder Finder(const TSequence& seq, float y) const {
        TFinder f{index.Slots(), &index, &seq, seq.MaxX, seq.MaxY};
        if (!(y == f.Slots.LineY())) f.Slots.StopPredicting();
        return f;
    }
    TElectrodePositionIndex index;
};

struct TElectrodeNumbers {
    int A, B, M, N;
};

// An entry written field by field, straight into the table: assembling it elsewhere and copying it
// over stalls on the narrow stores.
inline void WriteEntry(TQuadripole& q, TElectrodeNumbers e, uint32_t tail) {
    q.A = static_cast<int16_t>(e.A);
    q.B = static_cast<int16_t>(e.B);
    q.M = static_cast<int16_t>(e.M);
    q.N = static_cast<int16_t>(e.N);
    std::memcpy(&q.SpacingIndex, &tail, sizeof tail);
}

// Short names for the listing schemes' code below.
constexpr TArrayType DD = TArrayType::DipoleDipole, PD = TArrayType::PoleDipole, PP = TArrayType::PolePole,
                     WS = TArrayType::WennerSchlumberger, WN = TArrayType::Wenner;

// The listing loop of one array type with a listing scheme, so that each is compiled without the others'
// branches. Writes each entry whole.
template <TArrayType Type, class Finder>
bool ListArray(TSequence& seq, const Finder& finder, int mode, TChartSink& chart, int usable) {
    // A copy of its own: the record's stores could reach the caller's, which would then be read
    // again after every entry written.
    const Finder lookup = finder;
    constexpr bool forward = ArrayTypeRow(Type).Forward;
    constexpr float rollFactor = ArrayTypeRow(Type).RollFactor;
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

    // The levels of each spacing in listing order, with n a and the last bytes of their entries; and
    // dipole lengths in slots for the guesses.
    struct TLevel {
        int N;
        float NA;
        uint32_t Tail;  // SpacingIndex, Level and Reserved as they lie in the entry
    };
    TLevel levels[MaxSpacings][MaxLevels];
    int levelCount[MaxSpacings] = {}, deepest[MaxSpacings] = {};
    int lengthSlots[MaxSpacings] = {};
    // Where a cursor is on the slots' grid and every slot its quadripoles reach is regular, their
    // electrodes are read from the slots without a lookup: each abscissa the lookups would be given
    // is within 0.01 of its slot's electrode, so Predicted would answer each with that electrode.
    // The abscissa's distance from the grid is at most the cursor's, plus how far each n a and
    // dipole length added differs from its multiple of a, plus the additions' rounding (within the
    // slots' budget); the cursor may use what is left (below 0: never). The reach counts slots.
    constexpr int lengthTerms = Type == DD ? 2 : Type == PD || Type == WS ? 1 : 0;
    constexpr int levelTerms = Type == WN ? 3 : Type == WS ? 2 : 1;
    double cursorBudget[MaxSpacings];
    int reach[MaxSpacings] = {};
    for (int s = 0; s < usable; ++s) {
        const int32_t mask = seq.LevelUsed[s];
        const int lo = LowestLevel(mask) + 1, hi = HighestLevel(mask) + 1;
        deepest[s] = hi;
        double levelDeviation = 0;
        for (int j = 0; j <= hi - lo; ++j) {
            const int n = forward ? lo + j : hi - j;
            if (!LevelSet(mask, n)) continue;
            TQuadripole q{};
            q.SpacingIndex = static_cast<int8_t>(s);
            q.Level = static_cast<int8_t>(n);
            q.Reserved = -1;
            TLevel& l = levels[s][levelCount[s]++];
            l.N = n;
            l.NA = static_cast<float>(n) * a;
            std::memcpy(&l.Tail, &q.SpacingIndex, sizeof l.Tail);
            levelDeviation = std::max(levelDeviation, std::fabs(double(l.NA) - n * double(a)));
        }
        const float r = seq.Spacing[s] / a;
        const int ds = lengthSlots[s] = r > -1e6f && r < 1e6f ? static_cast<int>(std::lround(r)) : 0;
        const double lengthDeviation = std::fabs(double(seq.Spacing[s]) - ds * double(a));
        cursorBudget[s] =
            lookup.RegularBudget() - levelTerms * levelDeviation - lengthTerms * lengthDeviation;
        reach[s] = Type == DD   ? 2 * ds + hi
                   : Type == PD ? hi + ds
                   : Type == PP ? hi
                   : Type == WS ? 2 * hi + ds
                                : 3 * hi;
        // Quadripoles reaching further than any run never take the shortcut: spare them the checks.
        if ((lengthTerms > 0 && ds < 1) || reach[s] > lookup.LongestRegularRun()) cursorBudget[s] = -1;
    }
    // The slots of the cursors, one further at each step: the guesses' starting points.
    int cursorSlot[MaxSpacings];
    for (int s = 0; s < MaxSpacings; ++s) cursorSlot[s] = lookup.SlotNear(cursor[s]);
    const float maxX = seq.MaxX;
    int nb = 0;  // seq.NbQuadripole, written when the listing ends or a chart is told
    TQuadripole* out = seq.Quadripoles;
    // Writes the entry of level j of spacing s at the cursor (unless a roll along measured it
    // already) and tells the chart; false at the cap.
    auto emit = [&](int s, int j, float cur, TElectrodeNumbers e) {
        const int n = levels[s][j].N;
        const int hi = deepest[s];
        if (roll && cur < seq.RollLimit[s] + static_cast<float>(hi - n) * rollFactor * a) return true;
        TQuadripole& q = *out++;
        WriteEntry(q, e, levels[s][j].Tail);
        if (n == hi) {
            seq.DeepestX[s] = cur;
            seq.DeepestY[s] = y0;
        }
        ++nb;
        if (charting) {
            seq.NbQuadripole = nb;
            try {
                FormatQuadripoleLabel(q, "-", label);
                chart.AddPoint((s + 1) * n, s, true, label, ChartValue(seq, q, view), PseudoX(seq, q));
            } catch (...) {
                // A chart that cannot draw a point does not lose the quadripole.
            }
        }
        return nb < MaxQuadripoles;
    };
    while (nb < MaxQuadripoles) {
        bool any = false;
        for (int s = 0; s < usable; ++s) any = any || cursor[s] <= maxX;
        if (!any) {
            seq.NbQuadripole = nb;
            return true;
        }
        for (int i = 0; i < usable; ++i) {
            const int s = forward ? i : usable - 1 - i;
            const int slot = cursorSlot[s]++;
            if (!lookup(cursor[s], y0, hint, slot)) {
                cursor[s] += a;
                continue;
            }
            const int c = hint;
            const float cur = cursor[s];
            const float d = seq.Spacing[s];
            const int ds = lengthSlots[s];
            if (cursorBudget[s] > 0 && lookup.OnGrid(cur, slot, cursorBudget[s]) &&
                lookup.Regular(slot + 1, slot + reach[s])) {
                auto at = [&](int offset) { return lookup.RegularNumber(slot + offset); };
                // The electrodes of level n, as the lookups below give them, last looked up last.
                auto numbers = [&](int n) -> TElectrodeNumbers {
                    if constexpr (Type == DD)
                        return {c, at(ds), at(ds + n), at(2 * ds + n)};
                    else if constexpr (Type == PD)
                        return {0, c, at(n), at(n + ds)};
                    else if constexpr (Type == PP)
                        return {0, c, 0, at(n)};
                    else if constexpr (Type == WS)
                        return {c, at(2 * n + ds), at(n), at(n + ds)};
                    else
                        return {c, at(3 * n), at(n), at(2 * n)};
                };
                const int count = levelCount[s];
                if (!charting && nb + count < MaxQuadripoles) {
                    // Nothing to tell and the cap out of reach: the entries alone.
                    const int hi = deepest[s];
                    const float rollLimit = seq.RollLimit[s];
                    TQuadripole* o = out;
                    for (int j = 0; j < count; ++j) {
                        const int n = levels[s][j].N;
                        if (roll && cur < rollLimit + static_cast<float>(hi - n) * rollFactor * a) continue;
                        WriteEntry(*o++, numbers(n), levels[s][j].Tail);
                        if (n == hi) {
                            seq.DeepestX[s] = cur;
                            seq.DeepestY[s] = y0;
                        }
                    }
                    nb += static_cast<int>(o - out);
                    out = o;
                } else {
                    for (int j = 0; j < count; ++j)
                        if (!emit(s, j, cur, numbers(levels[s][j].N))) {
                            seq.NbQuadripole = nb;
                            return false;
                        }
                }
                // The hint the lookups would have left: the last one's electrode, at the last level.
                if (count > 0) {
                    const TElectrodeNumbers e = numbers(levels[s][count - 1].N);
                    hint = Type == DD || Type == PD || Type == PP ? e.N : e.B;
                }
                cursor[s] += a;
                continue;
            }
            // A dipole-dipole quadripole's first lookup is the same at every level: when its answer
            // does not depend on the hint, it is looked up once.
            float x1 = cur;
            int guess1 = slot, b1 = 0;
            bool sure1 = false;
            if constexpr (Type == DD) sure1 = lookup.Sure(x1 += d, guess1 += ds, b1);
            for (int j = 0; j < levelCount[s]; ++j) {
                const int n = levels[s][j].N;
                const float na = levels[s][j].NA;
                int qa = 0, qb = 0, qm = 0, qn = 0;
                float x = cur;
                int guess = slot;
                bool ok;
                if constexpr (Type == DD) {
                    qa = c;
                    x = x1;
                    guess = guess1;
                    ok = (sure1 ? (hint = b1, true) : lookup(x, y0, hint, guess)) &&
                         (qb = hint, lookup(x += na, y0, hint, guess += n)) &&
                         (qm = hint, lookup(x += d, y0, hint, guess += ds));
                    qn = hint;
                } else if constexpr (Type == PD) {
                    qb = c;
                    ok = lookup(x += na, y0, hint, guess += n) &&
                         (qm = hint, lookup(x += d, y0, hint, guess += ds));
                    qn = hint;
                } else if constexpr (Type == PP) {
                    qb = c;
                    ok = lookup(x += na, y0, hint, guess + n);
                    qn = hint;
                } else if constexpr (Type == WS) {
                    qa = c;
                    ok = lookup(x += na, y0, hint, guess += n) &&
                         (qm = hint, lookup(x += d, y0, hint, guess += ds)) &&
                         (qn = hint, lookup(x += na, y0, hint, guess += n));
                    qb = hint;
                } else {  // Wenner
                    qa = c;
                    ok = lookup(x += na, y0, hint, guess += n) &&
                         (qm = hint, lookup(x += na, y0, hint, guess += n)) &&
                         (qn = hint, lookup(x += na, y0, hint, guess += n));
                    qb = hint;
                }
                if (ok && !emit(s, j, cur, {qa, qb, qm, qn})) {
                    seq.NbQuadripole = nb;
                    return false;
                }
            }
            cursor[s] += a;
        }
    }
    seq.NbQuadripole = nb;
    return false;
}

// Multiple gradient (Dahlin and Zhou 2006): at each cursor electrode C and for each separation factor s
// (the levels of spacing 0), the current dipole C to the electrode (s + 2) a along, and inside it the s
// potential dipoles of length a, nearest C first. Its lookups are the plain scan: it has no shortcut.
bool ListMultipleGradient(TSequence& seq, int mode, TChartSink& chart, int usable) {
    if (usable == 0) return true;
    const float a = seq.Spacing[0];
    const float y0 = seq.Electrodes[seq.FirstElectrode].Y;
    const int32_t mask = seq.LevelUsed[0];
    const int lo = LowestLevel(mask) + 1, hi = HighestLevel(mask) + 1;
    const bool roll = mode == ModeRollAlong;
    TQuadripoleListing out(seq, chart);
    float cursor = seq.Electrodes[seq.FirstElectrode].X;
    int hint = seq.FirstElectrode;
    while (out.Count() < MaxQuadripoles) {
        if (!(cursor <= seq.MaxX)) {
            seq.NbQuadripole = out.Count();
            return true;
        }
        if (FindElectrodeAt(seq, cursor, y0, hint)) {
            const int c = hint;
            for (int s = lo; s <= hi; ++s) {
                if (!LevelSet(mask, s)) continue;
                if (roll && cursor < seq.RollLimit[0] + static_cast<float>(hi - s) * a) continue;
                if (!FindElectrodeAt(seq, cursor + static_cast<float>(s + 2) * a, y0, hint)) continue;
                const int b = hint;
                float x = cursor;
                for (int k = 1; k <= s; ++k) {
                    int m = hint, n = hint;
                    if (!FindElectrodeAt(seq, x += a, y0, m)) continue;
                    n = m;
                    if (!FindElectrodeAt(seq, x + a, y0, n)) continue;
                    hint = n;
                    if (!out.Add(c, b, m, n, 0, s, s == hi, cursor, y0)) return false;
                }
            }
        }
        cursor += a;
    }
    seq.NbQuadripole = out.Count();
    return false;
}

// Lists the quadripoles of a record whose electrodes are placed.
template <class Lookup>
bool ListQuadripoles(TSequence& seq, int mode, TChartSink& chart) {
    int usable = 0;
    for (int s = 0; s < MaxSpacings; ++s) {
        seq.DeepestX[s] = 0;
        if (seq.Spacing[s] == 0.0f || seq.LevelUsed[s] == 0) break;
        usable = s + 1;
    }
    for (int s = usable; s < MaxSpacings; ++s) seq.DeepestX[s] = 0;

    if (!ArrayTypeRow(seq.ArrayType).Listed) return false;
    if (seq.ArrayType == static_cast<int32_t>(TArrayType::MultipleGradient))
        return ListMultipleGradient(seq, mode, chart, usable);
    const Lookup index(seq);
    const auto lookup = index.Finder(seq, seq.Electrodes[seq.FirstElectrode].Y);
    switch (static_cast<TArrayType>(seq.ArrayType)) {
        case DD:
            return ListArray<DD>(seq, lookup, mode, chart, usable);
        case PD:
            return ListArray<PD>(seq, lookup, mode, chart, usable);
        case PP:
            return ListArray<PP>(seq, lookup, mode, chart, usable);
        case WS:
            return ListArray<WS>(seq, lookup, mode, chart, usable);
        default:
            return ListArray<WN>(seq, lookup, mode, chart, usable);
    }
}

template <class Lookup>
bool Generate(TSequence& seq, int mode, TChartSink& chart, std::optional<TGenerationProblem>& refused) {
    refused = GenerationPrecondition(seq);
    if (refused) return false;
    chart.ClearChart();
    PlaceElectrodes<Lookup::Reference>(seq);
    if constexpr (Lookup::Reference) {
        for (auto& q : seq.Quadripoles) q.MakeEmpty();
        seq.NbQuadripole = 0;
        return ListQuadripoles<Lookup>(seq, mode, chart);
    } else {
        const int used = UsedQuadripoles(seq);
        seq.NbQuadripole = 0;
        const bool whole = ListQuadripoles<Lookup>(seq, mode, chart);
        for (int i = seq.NbQuadripole; i < used; ++i) seq.Quadripoles[i].MakeEmpty();
        return whole;
    }
}

}  // namespace

namespace {

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

// A float as typed: the shortest text that reads back as it (0.0015, not 0.00150000001).
std::string ShortFloat(float v) {
    char text[32];
    auto r = std::to_chars(text, text + sizeof text, v);
    return std::string(text, r.ptr);
}

// Walks the cursor as the listing does (float32 additions of a from x0) up to the end of the line, and
// tells why the walk cannot be trusted: it stops moving, takes too many steps, or drifts 0.01 or more
// from the electrodes it is meant to meet (at x0 + k a, as placement computes them).
std::optional<std::string> WalkProblem(float x0, float a, float maxX, int electrodes) {
    const float lastActive = x0 + static_cast<float>(std::max(electrodes - 1, 0)) * a;
    const double end = std::max(static_cast<double>(maxX), static_cast<double>(lastActive));
    const std::string what = "the electrode spacing " + Number(a) + " from " + Number(x0);
    if ((end - x0) / a > MaxWalkSteps)
        return what + " would take more than " + std::to_string(MaxWalkSteps) + " steps to reach " +
               Number(end);
    float cursor = x0;
    for (int k = 0; static_cast<double>(cursor) <= end; ++k) {
        if (k < electrodes && std::fabs(cursor - (x0 + static_cast<float>(k) * a)) >= 0.01f)
            return what + " cannot be stepped exactly enough: electrode " + std::to_string(k + 1) +
                   " of the line would be missed";
        const float next = cursor + a;
        if (!(next > cursor))
            return what + " cannot be stepped: the position stops moving at " + Number(cursor);
        cursor = next;
    }
    return std::nullopt;
}

}  // namespace

std::optional<TGenerationProblem> GenerationPrecondition(const TSequence& seq) {
    using F = TGenerationField;
    if (auto p = CableSetProblem(seq)) return TGenerationProblem{F::CableSet, *p};
    const float a = seq.Spacing[0];
    if (!(a > 0.001f)) return TGenerationProblem{F::Spacing, "the electrode spacing must be above 0.001"};
    // An infinite spacing or start would keep the measuring walk from ever reaching the end of the line.
    if (!std::isfinite(a))
        return TGenerationProblem{F::Spacing, "the electrode spacing must be a finite number"};
    if (a < MinDistinctSpacing)
        return TGenerationProblem{F::Spacing,
                                  "the electrode spacing " + ShortFloat(a) +
                                      " is below 0.02: electrodes closer than that cannot be told apart, "
                                      "positions being matched within 0.01"};
    for (int s = 1; s < MaxSpacings; ++s)
        if (!std::isfinite(seq.Spacing[s]))
            return TGenerationProblem{F::DipoleLength, "the dipole lengths must be finite numbers"};
    const int f = seq.FirstElectrode;
    if (f < 1 || f > MaxElectrodeNumber || seq.Electrodes[f].Type == 0 || SegmentOfNode(seq, f) == nullptr)
        return TGenerationProblem{F::FirstElectrode, "the first electrode " + std::to_string(f) +
                                                         " is not a node of the cable set"};
    const TElectrode& first = seq.Electrodes[f];
    const std::pair<float, F> coordinates[] = {
        {first.X, F::FirstX}, {first.Y, F::FirstY}, {first.Z, F::FirstZ}};
    for (const auto& [v, field] : coordinates) {
        const char* name = field == F::FirstX ? "X" : field == F::FirstY ? "Y" : "Z";
        if (!std::isfinite(v))
            return TGenerationProblem{
                field, std::string("the first electrode's ") + name + " must be a finite number"};
        if (std::fabs(static_cast<double>(v)) >= MaxSurveyCoordinate)
            return TGenerationProblem{
                field, std::string("the first electrode's ") + name + " " + Number(v) +
                           " is not between -999999 and 999999 (the remote electrode's place)"};
    }
    if (seq.NbElectrode < 1)
        return TGenerationProblem{F::ElectrodeCount, "the number of electrodes must be at least 1"};
    // Every node is placed within one spacing of the previous one, on either side of the first.
    int nodes = 0;
    for (int n = 1; n <= MaxElectrodeNumber; ++n)
        if (seq.Electrodes[n].Type != 0) ++nodes;
    const double reach = static_cast<double>(nodes) * a;
    if (reach >= MaxSurveyCoordinate)
        return TGenerationProblem{F::Spacing, "the electrode spacing " + Number(a) + " lays the " +
                                                  std::to_string(nodes) + " nodes over more than 999999"};
    if (std::fabs(static_cast<double>(first.X)) + reach >= MaxSurveyCoordinate)
        return TGenerationProblem{F::FirstX, "the first electrode's X " + Number(first.X) +
                                                 " puts the line of " + std::to_string(nodes) +
                                                 " nodes beyond 999999 (the remote electrode's place)"};
    if (!(seq.MaxX < MaxSurveyCoordinate))
        return TGenerationProblem{F::LineEnd, "the line end " + Number(seq.MaxX) +
                                                  " left by an earlier generation is beyond 999999"};
    if (auto p = WalkProblem(first.X, a, seq.MaxX, std::min(seq.NbElectrode, nodes)))
        return TGenerationProblem{F::Spacing, *p};
    return std::nullopt;
}

std::optional<std::string> GenerationProblem(const TSequence& seq) {
    if (auto p = GenerationPrecondition(seq)) return p->Text;
    return std::nullopt;
}

namespace {

TGridLayout LayoutToRegenerate(const TSequence& seq) {
    if (auto layout = GridLayoutOf(seq)) return *layout;
    TGridLayout square;
    square.LineSpacing = seq.Spacing[0];
    return square;
}

}  // namespace

void PlaceLineElectrodes(TSequence& seq) { PlaceElectrodes<false>(seq); }

bool GenerateSequence(TSequence& seq, int mode, TChartSink& chart) {
    std::optional<TGenerationProblem> refused;
    return GenerateSequence(seq, mode, chart, refused);
}

bool GenerateSequence(TSequence& seq, int mode, TChartSink& chart,
                      std::optional<TGenerationProblem>& refused) {
    if (IsGrid(seq)) return GenerateGrid(seq, LayoutToRegenerate(seq), chart, refused);
    return Generate<TIndexLookup>(seq, mode, chart, refused);
}

bool GenerateSequenceByScan(TSequence& seq, int mode, TChartSink& chart) {
    std::optional<TGenerationProblem> refused;
    if (IsGrid(seq)) return GenerateGrid(seq, LayoutToRegenerate(seq), chart, refused);
    return Generate<TScanLookup>(seq, mode, chart, refused);
}

bool FindElectrodeAt(const TSequence& seq, float x, float y, int& hint) {
    if (BeyondLineEnd(x, seq.MaxX) || y > seq.MaxY) return false;
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
    BuildSlots(seq);
}

void TElectrodePositionIndex::BuildSlots(const TSequence& seq) {
    // Wider than the match distance (0.01), so that any abscissa an electrode can match falls in a
    // slot marked with it, whatever the rounding.
    constexpr float Reach = 0.012f;
    constexpr int MaxSlots = 4 * MaxElectrodes;
    const float a = seq.Spacing[0];
    float lo = INFINITY, hi = -INFINITY;
    for (const TElectrode& e : seq.Electrodes) {
        if (e.Type != kActive || !std::isfinite(e.X))
            continue;  // an infinite or NaN abscissa matches nothing
        lo = std::min(lo, e.X);
        hi = std::max(hi, e.X);
    }
    if (lo > hi) {  // no active electrode: nothing is ever found
        slots_.coverAll_ = true;
        return;
    }
    // Narrower slots would all be crowded; leave everything to the sorted table.
    if (!(a >= 0.03f) || !std::isfinite(a)) {
        BuildSorted(seq);
        return;
    }
    // Electrodes lie at the first electrode's abscissa plus multiples of a: centre the slots on them.
    // Where the slots start and how many there are only matters for speed: an electrode whose reach
    // they do not cover sends the lookups beyond them to the sorted table.
    const int f = seq.FirstElectrode;
    double start =
        (f >= 0 && f < MaxElectrodes && std::isfinite(seq.Electrodes[f].X) ? seq.Electrodes[f].X : lo) -
        double(a) / 2;
    if (start > lo - Reach) start -= std::ceil((start - (lo - Reach)) / a) * a;
    const double span = std::ceil((hi + Reach - start) / a) + 1;
    const int count = span < MaxSlots ? static_cast<int>(span) : MaxSlots;
    slots_.origin_ = static_cast<float>(start);
    slots_.perUnit_ = 1 / a;
    slots_.count_ = static_cast<float>(count);
    slotTable_.assign(static_cast<std::size_t>(count), {NAN, NAN, TElectrodeSlots::NoMatch, -1});
    // The arithmetic of the lookup, which rounds alike: every abscissa within Reach of an electrode
    // lands in one of the slots marked with it. -1 before the slots, count beyond them.
    const float origin = slots_.origin_, perUnit = slots_.perUnit_, countF = slots_.count_;
    auto slotOf = [&](float v) -> int {
        const float t = (v - origin) * perUnit;
        if (!(t >= 0)) return -1;
        return t < countF ? static_cast<int>(t) : count;
    };
    bool coverAll = true, crowded = false, wide = false;
    TElectrodeSlots::TSlot* table = slotTable_.data();
    const int firstScanned = std::max(firstNode_, 0);
    for (int i = 0; i < MaxElectrodes; ++i) {
        const TElectrode& e = seq.Electrodes[i];
        if (e.Type != kActive || !std::isfinite(e.X)) continue;
        int from = slotOf(e.X - Reach), to = slotOf(e.X + Reach);
        if (from < 0 || to >= count) {
            coverAll = false;
            from = std::max(from, 0);
            to = std::min(to, count - 1);
        }
        if (to - from > 1) wide = true;
        // An electrode outside the nodes of the set is found or not depending on the hint: its slots
        // are left to the sorted table, which knows the scan order.
        const bool alwaysScanned = i >= firstScanned && i <= lastNode_;
        for (int b = from; b <= to; ++b) {
            TElectrodeSlots::TSlot& s = table[b];
            if (s.Number == TElectrodeSlots::NoMatch && alwaysScanned) {
                s = {e.X, e.Y, e.Number, -1};
            } else {
                s.Number = TElectrodeSlots::Undecided;
                crowded = true;
            }
        }
    }
    // Slots whose electrode is alone in all its slots: it spans at most two, so that is when its
    // slot's neighbours are not crowded, nor is the slot the first or the last, which would mean its
    // reach was cut short. It must also match on the line and lie clear of MaxX, which Find checks
    // first.
    const float lineY = seq.MaxY, maxX = seq.MaxX;
    sureTable_.assign(static_cast<std::size_t>(count), {NAN, 0});
    if (!wide) {
        TElectrodeSlots::TSure* sure = sureTable_.data();
        for (int b = 1; b + 1 < count; ++b) {
            const TElectrodeSlots::TSlot& s = table[b];
            if (s.Number == TElectrodeSlots::NoMatch || s.Number == TElectrodeSlots::Undecided) continue;
            if (crowded && (table[b - 1].Number == TElectrodeSlots::Undecided ||
                            table[b + 1].Number == TElectrodeSlots::Undecided))
                continue;
            if (std::fabs(s.Y - lineY) < 0.01f && s.X + 0.02f <= maxX) sure[b] = {s.X, s.Number};
        }
    }
    // The grid the slots are centred on, and the runs of slots whose sure electrode lies on it.
    // Lookups on the line within such a run need no checks when the abscissa and the additions that
    // led to it keep within 0.0099 of the electrode (0.01 less the rounding of the check itself):
    // what is left of that once the slack of the slots and the additions' rounding are taken
    // (at most three additions per lookup, each off by half a float step at the largest abscissa
    // the run can reach) is the budget for everything else.
    slots_.gridStart_ = start + double(a) / 2;
    slots_.gridStep_ = a;
    const TElectrodeSlots::TSure* sure = sureTable_.data();
    for (int b = count - 1; b >= 0; --b) {
        // A slot without a sure electrode holds a NaN abscissa: not regular.
        if (!(std::fabs(double(sure[b].X) - slots_.GridX(b)) <= TElectrodeSlots::RegularSlack)) continue;
        table[b].RegularTo = b + 1 < count && table[b + 1].RegularTo >= 0 ? table[b + 1].RegularTo : b;
        slots_.longestRun_ = std::max(slots_.longestRun_, table[b].RegularTo - b + 1);
    }
    const double largest = std::max(std::fabs(slots_.GridX(0)), std::fabs(slots_.GridX(count - 1))) + 0.01;
    const double floatStep = std::ldexp(1.0, std::ilogb(largest) - 23);  // of floats as large as that
    slots_.regularBudget_ = 0.0099 - TElectrodeSlots::RegularSlack - 2 * floatStep;
    slots_.slots_ = slotTable_.data();
    slots_.sure_ = sureTable_.data();
    slots_.intCount_ = count;
    slots_.lineY_ = lineY;
    slots_.coverAll_ = coverAll;
    if (crowded || !coverAll) BuildSorted(seq);
}

void TElectrodePositionIndex::BuildSorted(const TSequence& seq) {
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

int32_t TElectrodePositionIndex::FindSorted(const TSequence& seq, float x, float y, int hint) const {
    if (BeyondLineEnd(x, seq.MaxX) || y > seq.MaxY) return TElectrodeSlots::NoMatch;
    const int start = hint == -1 ? firstNode_ : hint;
    // Rank of an entry in the scan order of FindElectrodeAt; entries it never examines have none.
    const long firstLen = start <= lastNode_ ? long(lastNode_) - std::max(start, 0) + 1 : 0;
    auto rank = [&](int i) -> long {
        if (i >= std::max(start, 0) && i <= lastNode_) return i - std::max(start, 0);
        if (i >= std::max(firstNode_, 0) && i < start) return firstLen + (i - std::max(firstNode_, 0));
        return -1;
    };
    if (byX_.empty()) return TElectrodeSlots::NoMatch;
    const float low = x - 0.011f;
    std::size_t at = 0;
    const double guess = (static_cast<double>(x) - byX_.front().X) * perGap_;
    const auto lastAt = static_cast<double>(byX_.size() - 1);
    if (guess > 0) at = guess >= lastAt ? byX_.size() - 1 : static_cast<std::size_t>(guess);
    int walk = 0;
    while (at > 0 && byX_[at - 1].X >= low && walk < 64) --at, ++walk;
    while (at < byX_.size() && byX_[at].X < low && walk < 64) ++at, ++walk;
    if (walk >= 64 || (at > 0 && byX_[at - 1].X >= low)) {  // uneven line: fall back to bisection
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
    return bestIndex < 0 ? TElectrodeSlots::NoMatch : seq.Electrodes[bestIndex].Number;
}

int RollStartElectrode(const TSequence& seq) {
    const float e1 = seq.DeepestX[1] == 0.0f ? seq.MaxX : seq.DeepestX[1];
    const float e2 = seq.DeepestX[2] == 0.0f ? seq.MaxX : seq.DeepestX[2];
    int s;
    if (e1 >= seq.DeepestX[0] && e2 >= seq.DeepestX[0])
        s = 0;
    else if (e2 >= seq.DeepestX[1])
        s = 1;
    else
        s = 2;
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
