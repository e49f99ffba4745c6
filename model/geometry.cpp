#include "model/geometry.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>

#include "model/grid3d.h"
#include "model/mediandepth.h"

namespace {

const TElectrode* RealElectrode(const TSequence& seq, int number) {
    return IsRealElectrode(seq, number) ? &seq.Electrodes[number] : nullptr;
}

float PairTerm(const TElectrode* p, const TElectrode* r) {
    if (p == nullptr || r == nullptr) return 0.0f;
    float dx = p->X - r->X, dy = p->Y - r->Y, dz = p->Z - r->Z;
    // Along a flat line (the usual case) the root of the exact square is |dx| itself.
    float dist = dy == 0.0f && dz == 0.0f
                     ? std::fabs(dx)
                     : static_cast<float>(std::sqrt(double(dx) * dx + double(dy) * dy + double(dz) * dz));
    return dist == 0.0f ? 0.0f : 1.0f / dist;
}

float Centre(const TElectrode* e1, const TElectrode* e2) {
    double sum = 0;
    int n = 0;
    for (const TElectrode* e : {e1, e2}) {
        if (e != nullptr) {
            sum += e->X;
            ++n;
        }
    }
    return n == 0 ? 0.0f : static_cast<float>(sum / n);
}

}  // namespace

TQuadripoleElectrodes RealElectrodes(const TSequence& seq, const TQuadripole& q) {
    return {RealElectrode(seq, q.A), RealElectrode(seq, q.B), RealElectrode(seq, q.M),
            RealElectrode(seq, q.N)};
}

float GeometricFactor(const TQuadripoleElectrodes& e) {
    float am = PairTerm(e.A, e.M), an = PairTerm(e.A, e.N);
    float bm = PairTerm(e.B, e.M), bn = PairTerm(e.B, e.N);
    float sum = am + an + bm + bn;
    float g = am - an - bm + bn;
    if (sum == 0.0f || g == 0.0f) return 1.0f;
    return static_cast<float>(TwoPi / g);
}

float GeometricFactor(const TSequence& seq, const TQuadripole& q) {
    return GeometricFactor(RealElectrodes(seq, q));
}

float QuadripoleK(const TSequence& seq, int i) {
    if (i < 0 || i >= seq.NbQuadripole || i >= MaxQuadripoles) return 0.0f;
    return GeometricFactor(seq, seq.Quadripoles[i]);
}

float PseudoX(const TSequence& seq, const TQuadripole& q) {
    const TQuadripoleElectrodes e = RealElectrodes(seq, q);
    // A gradient reading is placed under its potential dipole (Dahlin and Zhou 2006): the current
    // dipole's centre says nothing about where inside it the reading looks.
    if (seq.ArrayType == static_cast<int32_t>(TArrayType::MultipleGradient)) return Centre(e.M, e.N);
    return (Centre(e.A, e.B) + Centre(e.M, e.N)) / 2.0f;
}

float InvestigationDepthOf(const TSequence& seq, const TQuadripole& q, int32_t type, double length, double nu,
                           double lambda) {
    switch (type) {
        case 0:
            return static_cast<float>(length * (-0.0018333 * nu * nu + 0.27642 * nu + 0.1416933));
        case 1:
        case 4:
            return static_cast<float>(length * (-0.000915179 * nu * nu + 0.397614583 * nu + 0.127613095));
        case 2:
            return static_cast<float>(0.867 * lambda);
        case 6:
            return static_cast<float>(0.519 * lambda);
        // No closed form fits every position of M N inside the current dipole: the median depth of the
        // reading's own sensitivity (Edwards 1977), as Dahlin and Zhou plot it.
        case 8:
            return MedianDepth(seq, q);
        default:
            return static_cast<float>(lambda);
    }
}

namespace {

// ChartValue with the current and potential centres given.
float ChartValueAt(const TSequence& seq, const TQuadripole& q, int view, float cc, float pc) {
    // NOLINTNEXTLINE(bugprone-signed-char-misuse): a signed byte of the record, not a character
    int s = q.SpacingIndex;
    float a = seq.Spacing[0];
    float ds = (s >= 0 && s < MaxSpacings) ? seq.Spacing[s] : 0.0f;
    float n = static_cast<float>(q.Level);
    float nu = n, lambda = n;
    if (ds != 0.0f) {
        nu = (a / ds) * n;
        lambda = n * a;
    }
    switch (view) {
        case 0:
            switch (seq.ArrayType) {
                case 0:
                case 1:
                case 2:
                    return std::fabs(pc - cc) / 2.0f;
                case 4: {
                    float xm = (q.M >= 0 && q.M < MaxElectrodes) ? seq.Electrodes[q.M].X : 0.0f;
                    return (pc - xm) + lambda / 2.0f;
                }
                case 6:
                    return lambda;
                default:
                    return n;
            }
        case 1:
            return InvestigationDepthOf(seq, q, seq.ArrayType, ds, nu, lambda);
        case 2:
            return std::fabs(GeometricFactor(seq, q));
        case 4:
            return MedianDepth(seq, q);
        default:
            return 0.0f;
    }
}

}  // namespace

float ChartValue(const TSequence& seq, const TQuadripole& q, int view) {
    // A grid's readings run along Y too: their values are measured along their own line.
    if (IsGrid(seq) && (view == 0 || view == 1)) return GridChartValue(seq, q, view);
    const TQuadripoleElectrodes e = RealElectrodes(seq, q);
    return ChartValueAt(seq, q, view, Centre(e.A, e.B), Centre(e.M, e.N));
}

TPlotValues PlotValues(const TSequence& seq, const TQuadripole& q, const TQuadripoleElectrodes& e) {
    if (IsGrid(seq)) return {PseudoX(seq, q), GridChartValue(seq, q, 0), GridChartValue(seq, q, 1)};
    const float cc = Centre(e.A, e.B), pc = Centre(e.M, e.N);
    const float x =
        seq.ArrayType == static_cast<int32_t>(TArrayType::MultipleGradient) ? pc : (cc + pc) / 2.0f;
    return {x, ChartValueAt(seq, q, 0, cc, pc), ChartValueAt(seq, q, 1, cc, pc)};
}

TPlotValues PlotValues(const TSequence& seq, const TQuadripole& q) {
    return PlotValues(seq, q, RealElectrodes(seq, q));
}

void FormatQuadripoleLabel(const TQuadripole& q, std::string_view separator, std::string& out) {
    out.clear();
    out.push_back(' ');
    const int16_t e[4] = {q.A, q.B, q.M, q.N};
    for (int i = 0; i < 4; ++i) {
        if (e[i] == 0) {
            out.append("Rem");
        } else {
            char buf[8];
            auto r = std::to_chars(buf, buf + sizeof buf, e[i]);
            out.append(buf, r.ptr);
        }
        if (i < 3) out.append(separator);
    }
    out.append("  ");
}

std::string QuadripoleLabel(const TQuadripole& q, const std::string& separator) {
    std::string out;
    FormatQuadripoleLabel(q, separator, out);
    return out;
}

std::optional<int> NearWholeMultiple(float length, float unit) {
    const double q = static_cast<double>(length) / static_cast<double>(unit);
    if (!(std::fabs(q) <= 1e9)) return std::nullopt;  // NaN and infinities too
    const double k = std::nearbyint(q);
    const double tolerance = std::min(0.01, std::fabs(static_cast<double>(unit)) / 4);
    if (std::fabs(static_cast<double>(length) - k * static_cast<double>(unit)) < tolerance)
        return static_cast<int>(k);
    return std::nullopt;
}

int WholeMultiple(float length, float unit) {
    if (auto k = NearWholeMultiple(length, unit)) return *k;
    const double q = static_cast<double>(length) / static_cast<double>(unit);
    return std::fabs(q) <= 1e9 ? static_cast<int>(std::trunc(q)) : 0;
}

int SpacingMultiple(const TSequence& seq, int k) {
    if (seq.Spacing[0] < 0.001f || k < 0 || k >= MaxSpacings) return 0;
    return WholeMultiple(seq.Spacing[k], seq.Spacing[0]);
}

std::string SpacingMultipleText(const TSequence& seq, int k, bool withSuffix) {
    if (seq.Spacing[0] < 0.001f || k < 0 || k >= MaxSpacings) return " ";
    std::string t = std::to_string(SpacingMultiple(seq, k));
    if (withSuffix) t += " x a";
    return t;
}

float SpacingFromText(const TSequence& seq, const std::string& text) {
    if (text.empty()) return 0.0f;
    char c = text[0];
    if (c < '0' || c > '9') throw std::invalid_argument("\"" + text + "\" is not a valid integer value");
    return static_cast<float>(c - '0') * seq.Spacing[0];
}
