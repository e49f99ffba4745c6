#include "model/grid3d.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/arraytypes.h"
#include "model/cable.h"
#include "model/geometry.h"
#include "model/mediandepth.h"
#include "model/quadripolelisting.h"

namespace {

constexpr auto kActive = static_cast<int16_t>(TElectrodeType::Active);
constexpr auto kInactive = static_cast<int16_t>(TElectrodeType::Inactive);
constexpr int MinGridLines = 1, MaxGridLines = 100;
// Far beyond any grid's lines, and small enough that two line numbers subtract without overflow.
constexpr double MaxLineNumber = 1e6;

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

// The active electrodes of a placed line, in placement order (by abscissa: placement puts the k-th
// at x0 + k a).
std::vector<int> ActiveInLineOrder(const TSequence& seq) {
    std::vector<int> numbers;
    for (int n = 1; n <= MaxElectrodeNumber; ++n)
        if (seq.Electrodes[n].Type == kActive) numbers.push_back(n);
    std::stable_sort(numbers.begin(), numbers.end(),
                     [&](int l, int r) { return seq.Electrodes[l].X < seq.Electrodes[r].X; });
    return numbers;
}

// The record placed as a line of GridElectrodeCount electrodes, nothing listed.
std::unique_ptr<TSequence> PlacedLine(const TSequence& seq) {
    auto line = std::make_unique<TSequence>(seq);
    line->GridLineX = line->GridLineY = 0;
    line->NbElectrode = GridElectrodeCount(seq);
    PlaceLineElectrodes(*line);
    return line;
}

// One line of the grid: its electrodes in order along it.
using TLine = std::vector<int>;

struct TGridLines {
    std::vector<TLine> AlongX, AlongY;
};

TGridLines LinesOf(const TSequence& seq, const std::vector<int>& grid) {
    const int nx = seq.GridLineX, ny = seq.GridLineY;
    TGridLines lines;
    for (int i = 0; i < nx; ++i)
        lines.AlongX.emplace_back(grid.begin() + i * ny, grid.begin() + (i + 1) * ny);
    for (int j = 0; j < ny; ++j) {
        TLine column;
        for (int i = 0; i < nx; ++i) column.push_back(grid[static_cast<std::size_t>(i * ny + j)]);
        lines.AlongY.push_back(column);
    }
    return lines;
}

// The spacings the listing uses, as the line generator takes them: 0 to u - 1, each with a length and
// a level; a length in electrode steps of the line.
struct TSpacingUse {
    int Count = 0;
    int Steps[MaxSpacings] = {};
};

TSpacingUse UsableSpacings(const TSequence& seq) {
    TSpacingUse u;
    for (int s = 0; s < MaxSpacings; ++s) {
        if (seq.Spacing[s] == 0.0f || seq.LevelUsed[s] == 0) break;
        u.Steps[s] = s == 0 ? 1 : std::max(WholeMultiple(seq.Spacing[s], seq.Spacing[0]), 1);
        u.Count = s + 1;
    }
    return u;
}

// One line listed as the line generator lists a regular line: cursor by cursor, the spacings, then
// the levels, in the array's order. False at the cap.
bool ListLine(const TSequence& seq, const TLine& line, const TSpacingUse& use, TQuadripoleListing& out) {
    const int count = static_cast<int>(line.size());
    const TArrayTypeRow& row = ArrayTypeRow(seq.ArrayType);
    const bool gradient = seq.ArrayType == static_cast<int32_t>(TArrayType::MultipleGradient);
    auto at = [&](int k) { return k >= 0 && k < count ? line[static_cast<std::size_t>(k)] : -1; };
    for (int p = 0; p < count; ++p) {
        for (int i = 0; i < use.Count; ++i) {
            const int s = row.Forward ? i : use.Count - 1 - i;
            if (gradient && s != 0) continue;
            const int32_t mask = seq.LevelUsed[s];
            const int lo = LowestLevel(mask) + 1, hi = HighestLevel(mask) + 1;
            const int m = use.Steps[s];
            for (int j = 0; j <= hi - lo; ++j) {
                const int n = row.Forward ? lo + j : hi - j;
                if (!LevelSet(mask, n)) continue;
                if (gradient) {
                    // Multiple gradient: current dipole of n + 2 steps, its n potential dipoles inside.
                    const int b = at(p + n + 2);
                    if (b < 0) continue;
                    for (int k = 1; k <= n; ++k)
                        if (!out.Add(line[static_cast<std::size_t>(p)], b, at(p + k), at(p + k + 1), s, n,
                                     n == hi, line[static_cast<std::size_t>(p)]))
                            return false;
                    continue;
                }
                int e[4];  // A, B, M, N as steps from the cursor; -1000 for the remote electrode
                constexpr int R = -1000;
                switch (static_cast<TArrayType>(seq.ArrayType)) {
                    case TArrayType::DipoleDipole:
                        e[0] = 0, e[1] = m, e[2] = m + n, e[3] = 2 * m + n;
                        break;
                    case TArrayType::PoleDipole:
                        e[0] = R, e[1] = 0, e[2] = n, e[3] = n + m;
                        break;
                    case TArrayType::PolePole:
                        e[0] = R, e[1] = 0, e[2] = R, e[3] = n;
                        break;
                    case TArrayType::WennerSchlumberger:
                        e[0] = 0, e[1] = 2 * n + m, e[2] = n, e[3] = n + m;
                        break;
                    default:  // Wenner
                        e[0] = 0, e[1] = 3 * n, e[2] = n, e[3] = 2 * n;
                        break;
                }
                int q[4];
                bool fits = true;
                for (int k = 0; k < 4; ++k) {
                    q[k] = e[k] == R ? 0 : at(p + e[k]);
                    fits = fits && q[k] >= 0;
                }
                if (fits &&
                    !out.Add(q[0], q[1], q[2], q[3], s, n, n == hi, line[static_cast<std::size_t>(p)]))
                    return false;
            }
        }
    }
    return true;
}

// The cross-line dipole-dipole readings between two neighbouring lines. False at the cap.
bool ListCross(const TSequence& seq, const TLine& current, const TLine& potential, const TSpacingUse& use,
               TQuadripoleListing& out) {
    const int count = static_cast<int>(std::min(current.size(), potential.size()));
    auto at = [&](const TLine& l, int k) {
        return k >= 0 && k < count ? l[static_cast<std::size_t>(k)] : -1;
    };
    for (int p = 0; p < count; ++p) {
        for (int s = 0; s < use.Count; ++s) {
            const int32_t mask = seq.LevelUsed[s];
            const int hi = HighestLevel(mask) + 1;
            const int m = use.Steps[s];
            const int a = at(current, p), b = at(current, p + m);
            if (a < 0 || b < 0) continue;
            for (int n = LowestLevel(mask) + 1; n <= hi; ++n) {
                if (!LevelSet(mask, n)) continue;
                for (int shift : {n - 1, 1 - n}) {
                    const int mm = at(potential, p + shift), nn = at(potential, p + shift + m);
                    if (mm >= 0 && nn >= 0 && !out.Add(a, b, mm, nn, s, n, n == hi, a)) return false;
                    if (n == 1) break;  // straight across: one reading
                }
            }
        }
    }
    return true;
}

struct TPoint {
    double X, Y;
};

std::optional<TPoint> Centre(const TElectrode* e1, const TElectrode* e2) {
    double x = 0, y = 0;
    int n = 0;
    for (const TElectrode* e : {e1, e2})
        if (e != nullptr) {
            x += e->X;
            y += e->Y;
            ++n;
        }
    if (n == 0) return std::nullopt;
    return TPoint{x / n, y / n};
}

double Distance(TPoint p, TPoint r) { return std::hypot(p.X - r.X, p.Y - r.Y); }
double Distance(const TElectrode* p, const TElectrode* r) {
    return p == nullptr || r == nullptr ? 0 : Distance(TPoint{p->X, p->Y}, TPoint{r->X, r->Y});
}

bool Same(float u, float v) { return std::fabs(u - v) < 0.01f; }

}  // namespace

int GridElectrodeCount(const TSequence& seq) {
    return std::clamp(seq.GridLineX, 0, MaxGridLines) * std::clamp(seq.GridLineY, 0, MaxGridLines);
}

std::optional<TGenerationProblem> GridPrecondition(const TSequence& seq, const TGridLayout& layout) {
    using F = TGenerationField;
    for (const auto& [count, name] :
         {std::pair{seq.GridLineX, "lines along X"}, {seq.GridLineY, "lines along Y"}})
        if (count < MinGridLines || count > MaxGridLines)
            return TGenerationProblem{F::GridLines, "the number of " + std::string(name) + " must be from " +
                                                        std::to_string(MinGridLines) + " to " +
                                                        std::to_string(MaxGridLines)};
    const int total = GridElectrodeCount(seq);
    if (total > MaxElectrodeNumber)
        return TGenerationProblem{
            F::GridLines, "a grid of " + std::to_string(seq.GridLineX) + " x " +
                              std::to_string(seq.GridLineY) + " needs " + std::to_string(total) +
                              " electrodes; a sequence holds at most " + std::to_string(MaxElectrodeNumber)};
    if (!ArrayTypeRow(seq.ArrayType).Listed)
        return TGenerationProblem{F::ArrayType, "array type " + std::to_string(seq.ArrayType) +
                                                    " has no listing scheme for a grid"};
    auto line = std::make_unique<TSequence>(seq);
    line->GridLineX = line->GridLineY = 0;
    line->NbElectrode = total;
    if (auto p = GenerationPrecondition(*line)) return p;
    const float d = layout.LineSpacing;
    if (!std::isfinite(d) || d < MinDistinctSpacing)
        return TGenerationProblem{F::LineSpacing, "the line spacing must be a finite number of at least " +
                                                      Number(MinDistinctSpacing) +
                                                      ": closer lines cannot be told apart"};
    const double lastY = double(seq.Electrodes[seq.FirstElectrode].Y) + double(seq.GridLineX - 1) * d;
    if (std::fabs(lastY) >= MaxSurveyCoordinate)
        return TGenerationProblem{F::LineSpacing, "the line spacing " + Number(d) +
                                                      " puts the last line at y = " + Number(lastY) +
                                                      ", beyond 999999 (the remote electrode's place)"};
    PlaceLineElectrodes(*line);
    const int placed = static_cast<int>(ActiveInLineOrder(*line).size());
    if (placed < total)
        return TGenerationProblem{F::GridLines,
                                  "a grid of " + std::to_string(seq.GridLineX) + " x " +
                                      std::to_string(seq.GridLineY) + " needs " + std::to_string(total) +
                                      " electrodes; the cable set gives " + std::to_string(placed) +
                                      " from electrode " + std::to_string(seq.FirstElectrode)};
    return std::nullopt;
}

bool GenerateGrid(TSequence& seq, const TGridLayout& layout, TChartSink& chart) {
    std::optional<TGenerationProblem> refused;
    return GenerateGrid(seq, layout, chart, refused);
}

bool GenerateGrid(TSequence& seq, const TGridLayout& layout, TChartSink& chart,
                  std::optional<TGenerationProblem>& refused) {
    refused = GridPrecondition(seq, layout);
    if (refused) return false;
    chart.ClearChart();
    const int nx = seq.GridLineX, ny = seq.GridLineY;
    const float a = seq.Spacing[0], d = layout.LineSpacing;
    auto line = PlacedLine(seq);
    const float x0 = seq.Electrodes[seq.FirstElectrode].X, y0 = seq.Electrodes[seq.FirstElectrode].Y;
    const std::vector<int> order = ActiveInLineOrder(*line);
    const int total = nx * ny;

    // The grid place of the k-th electrode of the line, and where the cable after it runs.
    auto gridX = [&](int k) { return x0 + static_cast<float>(k % ny) * a; };
    auto gridY = [&](int k) { return y0 + static_cast<float>(k / ny) * d; };
    std::copy(std::begin(line->Electrodes), std::end(line->Electrodes), std::begin(seq.Electrodes));
    seq.MaxX = NotSet;
    seq.MaxY = NotSet;
    for (int k = 0; k < total; ++k) {
        TElectrode& e = seq.Electrodes[order[static_cast<std::size_t>(k)]];
        e.X = gridX(k);
        e.Y = gridY(k);
        seq.MaxX = std::max(seq.MaxX, e.X);
        seq.MaxY = std::max(seq.MaxY, e.Y);
    }
    for (int n = 1; n <= MaxElectrodeNumber; ++n) {
        TElectrode& e = seq.Electrodes[n];
        if (e.Type != kInactive) continue;
        const TElectrode& onLine = line->Electrodes[n];
        // The electrode of the line it follows on the cable: nodes before the first stay where the
        // line put them, ahead of line 1.
        const double along = (double(onLine.X) - x0) / a;
        if (along < 0) continue;
        const int k = std::min(static_cast<int>(std::floor(along)), total - 1);
        const TElectrode& before = line->Electrodes[order[static_cast<std::size_t>(k)]];
        e.X = gridX(k) + (onLine.X - before.X);
        e.Y = gridY(k);
    }
    seq.LastElectrode = line->LastElectrode;
    seq.NbElectrode = total;

    for (int s = 0; s < MaxSpacings; ++s) seq.DeepestX[s] = seq.DeepestY[s] = 0;
    const int used = std::clamp(seq.NbQuadripole, 0, MaxQuadripoles);
    seq.NbQuadripole = 0;
    std::vector<int> grid(order.begin(), order.begin() + total);
    const TGridLines lines = LinesOf(seq, grid);
    const TSpacingUse use = UsableSpacings(seq);
    TQuadripoleListing out(seq, chart);
    bool whole = true;
    auto listAll = [&] {
        for (const TLine& l : lines.AlongX)
            if (!ListLine(seq, l, use, out)) return false;
        if (layout.YLines)
            for (const TLine& l : lines.AlongY)
                if (!ListLine(seq, l, use, out)) return false;
        if (layout.CrossLines) {
            for (std::size_t i = 0; i + 1 < lines.AlongX.size(); ++i)
                if (!ListCross(seq, lines.AlongX[i], lines.AlongX[i + 1], use, out)) return false;
            if (layout.YLines)
                for (std::size_t j = 0; j + 1 < lines.AlongY.size(); ++j)
                    if (!ListCross(seq, lines.AlongY[j], lines.AlongY[j + 1], use, out)) return false;
        }
        return true;
    };
    whole = listAll();
    for (int i = seq.NbQuadripole; i < std::max(used, seq.NbQuadripole); ++i) seq.Quadripoles[i].MakeEmpty();
    return whole;
}

TGenerationResult RunGridGeneration(TSequence& seq, const TGridLayout& layout, TChartSink& chart) {
    TGenerationResult result;
    std::optional<TGenerationProblem> refused;
    result.Complete = GenerateGrid(seq, layout, chart, refused);
    if (refused) throw std::invalid_argument(refused->Text);
    if (!result.Complete && seq.NbQuadripole >= MaxQuadripoles)
        result.CapCut =
            "the " + std::to_string(MaxQuadripoles) +
            "-quadripole limit cut the grid: the readings end on electrode " +
            std::to_string(
                std::max(seq.Quadripoles[MaxQuadripoles - 1].A, seq.Quadripoles[MaxQuadripoles - 1].B)) +
            "; use fewer levels or lines, or leave out the lines along Y or the cross-line readings";
    if (seq.NbQuadripole == 0)
        result.EmptyReason =
            "lines of " + std::to_string(seq.GridLineY) + " electrodes along X" +
            (layout.YLines ? " and " + std::to_string(seq.GridLineX) + " along Y" : std::string()) +
            " are too short for the chosen depth levels of this array";
    return result;
}

std::optional<TGridLayout> GridLayoutOf(const TSequence& seq) {
    if (!IsGrid(seq) || seq.GridLineX < 1 || seq.GridLineY < 1) return std::nullopt;
    const int f = seq.FirstElectrode;
    if (f < 1 || f > MaxElectrodeNumber || seq.Electrodes[f].Type != kActive) return std::nullopt;
    TGridLayout layout;
    layout.LineSpacing = seq.Spacing[0];
    if (seq.GridLineX > 1) {
        // The electrode that starts line 2: GridLineY electrodes after the first, in number order
        // from it, as placement takes them.
        float next = NAN;
        const float y0 = seq.Electrodes[f].Y;
        for (int n = 1; n <= MaxElectrodeNumber; ++n) {
            const TElectrode& e = seq.Electrodes[n];
            if (e.Type == kActive && e.Y > y0 + 0.01f && !(e.Y >= next)) next = e.Y;
        }
        if (std::isnan(next)) return std::nullopt;
        layout.LineSpacing = next - y0;
    }
    for (int i = 0; i < std::clamp(seq.NbQuadripole, 0, MaxQuadripoles); ++i) {
        const TGridLineKind k = GridPlaceOf(seq, seq.Quadripoles[i]).Kind;
        layout.YLines = layout.YLines || k == TGridLineKind::AlongY || k == TGridLineKind::CrossY;
        layout.CrossLines = layout.CrossLines || k == TGridLineKind::CrossX || k == TGridLineKind::CrossY;
    }
    return layout;
}

TGridPlace GridPlaceOf(const TSequence& seq, const TQuadripole& q) {
    const TQuadripoleElectrodes e = RealElectrodes(seq, q);
    TGridPlace place;
    const auto cc = Centre(e.A, e.B), pc = Centre(e.M, e.N);
    const bool gradient = seq.ArrayType == static_cast<int32_t>(TArrayType::MultipleGradient);
    if (gradient && pc) {
        place.X = static_cast<float>(pc->X);
        place.Y = static_cast<float>(pc->Y);
    } else if (cc || pc) {
        const TPoint c = cc && pc ? TPoint{(cc->X + pc->X) / 2, (cc->Y + pc->Y) / 2} : cc ? *cc : *pc;
        place.X = static_cast<float>(c.X);
        place.Y = static_cast<float>(c.Y);
    }
    const int f = seq.FirstElectrode;
    if (f < 1 || f > MaxElectrodeNumber) return place;
    const float x0 = seq.Electrodes[f].X, y0 = seq.Electrodes[f].Y;
    std::vector<const TElectrode*> real;
    for (const TElectrode* p : {e.A, e.B, e.M, e.N})
        if (p != nullptr) real.push_back(p);
    if (real.empty()) return place;
    auto all = [&](auto same) {
        return std::all_of(real.begin(), real.end(), [&](const TElectrode* p) { return same(*p, *real[0]); });
    };
    const bool oneY = all([](const TElectrode& p, const TElectrode& r) { return Same(p.Y, r.Y); });
    const bool oneX = all([](const TElectrode& p, const TElectrode& r) { return Same(p.X, r.X); });
    // Lines are counted by the electrode spacing along X and by the distance of line 2 along Y.
    const float a = seq.Spacing[0];
    // A line number no grid can have (a record's counts or positions may be anything) means no line:
    // it must not wrap into one, nor overflow when two are compared.
    auto lineNumber = [](double v) -> std::optional<int> {
        const double r = std::nearbyint(v);
        if (!std::isfinite(r) || std::fabs(r) > MaxLineNumber) return std::nullopt;
        return static_cast<int>(r);
    };
    auto lineAlongX = [&](float y) {
        float d = a;
        if (seq.GridLineX > 1 && seq.MaxY > y0) d = (seq.MaxY - y0) / static_cast<float>(seq.GridLineX - 1);
        return lineNumber(double(y - y0) / d);
    };
    auto lineAlongY = [&](float x) { return lineNumber(double(x - x0) / a); };
    if (oneY) {
        if (const auto i = lineAlongX(real[0]->Y)) {
            place.Kind = TGridLineKind::AlongX;
            place.Index = *i;
            place.Along = place.X;
        }
        return place;
    }
    if (oneX) {
        if (const auto j = lineAlongY(real[0]->X)) {
            place.Kind = TGridLineKind::AlongY;
            place.Index = *j;
            place.Along = place.Y;
        }
        return place;
    }
    // Cross-line: each dipole on a line of its own, the two lines neighbours.
    const TElectrode *ca = e.A ? e.A : e.B, *cb = e.B ? e.B : e.A, *pa = e.M ? e.M : e.N,
                     *pb = e.N ? e.N : e.M;
    if (ca == nullptr || pa == nullptr) return place;
    if (Same(ca->Y, cb->Y) && Same(pa->Y, pb->Y)) {
        const auto i = lineAlongX(ca->Y), k = lineAlongX(pa->Y);
        if (i && k && std::abs(*i - *k) == 1) {
            place.Kind = TGridLineKind::CrossX;
            place.Index = std::min(*i, *k);
            place.Along = place.X;
        }
    } else if (Same(ca->X, cb->X) && Same(pa->X, pb->X)) {
        const auto j = lineAlongY(ca->X), k = lineAlongY(pa->X);
        if (j && k && std::abs(*j - *k) == 1) {
            place.Kind = TGridLineKind::CrossY;
            place.Index = std::min(*j, *k);
            place.Along = place.Y;
        }
    }
    return place;
}

float GridChartValue(const TSequence& seq, const TQuadripole& q, int view) {
    if (view != 0 && view != 1) return ChartValue(seq, q, view);
    const TQuadripoleElectrodes e = RealElectrodes(seq, q);
    const int s = q.SpacingIndex;
    const float a = seq.Spacing[0];
    const float ds = s >= 0 && s < MaxSpacings ? seq.Spacing[s] : 0.0f;
    const auto n = static_cast<float>(q.Level);
    // The reading's electrode step along its own line: a along X, D along Y, from the length of a
    // dipole whose steps are known.
    double step = a;
    // Cross-line readings are dipole-dipole whatever the array along the lines.
    const TGridLineKind kind = GridPlaceOf(seq, q).Kind;
    const int32_t type = kind == TGridLineKind::CrossX || kind == TGridLineKind::CrossY
                             ? static_cast<int32_t>(TArrayType::DipoleDipole)
                             : seq.ArrayType;
    if (type == static_cast<int32_t>(TArrayType::PolePole)) {
        if (e.B && e.N && q.Level > 0) step = Distance(e.B, e.N) / q.Level;
    } else if (e.M && e.N) {
        const double steps = type == static_cast<int32_t>(TArrayType::Wenner) ? q.Level
                             : type == static_cast<int32_t>(TArrayType::MultipleGradient) || ds == 0.0f
                                 ? 1.0
                                 : double(ds) / a;
        if (steps > 0) step = Distance(e.M, e.N) / steps;
    }
    const double scale = a != 0.0f ? step / a : 1.0;
    double nu = n, lambda = n;
    if (ds != 0.0f) {
        nu = (double(a) / ds) * n;
        lambda = n * step;
    }
    const double length = ds * scale;
    const auto cc = Centre(e.A, e.B).value_or(TPoint{0, 0}), pc = Centre(e.M, e.N).value_or(TPoint{0, 0});
    if (view == 0) {
        switch (type) {
            case 0:
            case 1:
            case 2:
                return static_cast<float>(Distance(pc, cc) / 2);
            case 4:
                return static_cast<float>((e.M ? Distance(pc, TPoint{e.M->X, e.M->Y}) : 0) + lambda / 2);
            case 6:
                return static_cast<float>(lambda);
            default:
                return n;
        }
    }
    return InvestigationDepthOf(seq, q, type, length, nu, lambda);
}
