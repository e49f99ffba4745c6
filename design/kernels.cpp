#include "design/kernels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <thread>
#include <unordered_map>

namespace {

constexpr double Pi = 3.14159265358979323846;

// Gauss-Legendre nodes and weights on [0, 1] for 1 to MaxOrder points, by Newton on P_n.
constexpr int MaxOrder = 12;
struct TRule {
    std::array<double, MaxOrder> X{}, W{};
    int N = 0;
};

std::array<TRule, MaxOrder + 1> MakeRules() {
    std::array<TRule, MaxOrder + 1> rules{};
    for (int n = 1; n <= MaxOrder; ++n) {
        TRule& r = rules[n];
        r.N = n;
        for (int i = 0; i < n; ++i) {
            double x = std::cos(Pi * (i + 0.75) / (n + 0.5));
            double dp = 1;
            for (int it = 0; it < 100; ++it) {
                double p0 = 1, p1 = x;
                for (int k = 2; k <= n; ++k) {
                    double p2 = ((2 * k - 1) * x * p1 - (k - 1) * p0) / k;
                    p0 = p1;
                    p1 = p2;
                }
                dp = n * (x * p1 - p0) / (x * x - 1);
                double dx = p1 / dp;
                x -= dx;
                if (std::fabs(dx) < 1e-16) break;
            }
            r.X[i] = 0.5 * (1 - x);
            r.W[i] = 1.0 / ((1 - x * x) * dp * dp);  // 2 / ((1-x^2) P'^2), halved for [0, 1]
        }
    }
    return rules;
}

const std::array<TRule, MaxOrder + 1>& Rules() {
    static const std::array<TRule, MaxOrder + 1> rules = MakeRules();
    return rules;
}

// Points of a singular corner's triangles: enough for the 1 / r and log terms to 1e-5.
constexpr int DuffyOrder = 10;
// Recursion limit of the cell splitting (each level halves a side).
constexpr int MaxSplit = 8;

struct TRect {
    double X0, X1, Z0, Z1;
};

double GaussRect(const TRect& r, double xp, double xq, int n) {
    const TRule& g = Rules()[n];
    const double w = r.X1 - r.X0, h = r.Z1 - r.Z0;
    double sum = 0;
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < n; ++k)
            sum += g.W[i] * g.W[k] * PolePoleDensity(r.X0 + w * g.X[i], r.Z0 + h * g.X[k], xp, xq);
    return sum * w * h;
}

// The triangle (c, p1, p2) from the unit square: point = c + u (p1 - c) + u v (p2 - p1), Jacobian
// u |det(p1 - c, p2 - p1)|, which cancels a 1 / r singularity at c.
double DuffyTriangle(double cx, double cz, double p1x, double p1z, double p2x, double p2z, double xp,
                     double xq) {
    const TRule& g = Rules()[DuffyOrder];
    const double ax = p1x - cx, az = p1z - cz, bx = p2x - p1x, bz = p2z - p1z;
    const double det = std::fabs(ax * bz - az * bx);
    double sum = 0;
    for (int i = 0; i < g.N; ++i) {
        const double u = g.X[i];
        for (int k = 0; k < g.N; ++k) {
            const double v = g.X[k];
            sum += g.W[i] * g.W[k] * u *
                   PolePoleDensity(cx + u * ax + u * v * bx, cz + u * az + u * v * bz, xp, xq);
        }
    }
    return sum * det;
}

double DuffyRect(const TRect& r, double cx, double xp, double xq) {
    // The singular corner is on the top edge, at x = cx (r.X0 or r.X1).
    const double ox = cx == r.X0 ? r.X1 : r.X0;
    return DuffyTriangle(cx, r.Z0, ox, r.Z0, ox, r.Z1, xp, xq) +
           DuffyTriangle(cx, r.Z0, ox, r.Z1, cx, r.Z1, xp, xq);
}

double Integrate(const TRect& r, double xp, double xq, int level) {
    const double w = r.X1 - r.X0, h = r.Z1 - r.Z0, size = std::max(w, h);
    const double tol = 1e-9 * size;
    int corners = 0;
    double corner = 0;
    double inside = NAN;
    if (r.Z0 <= tol) {
        for (double e : {xp, xq}) {
            if (std::fabs(e - r.X0) <= tol || std::fabs(e - r.X1) <= tol) {
                ++corners;
                corner = std::fabs(e - r.X0) <= tol ? r.X0 : r.X1;
            } else if (e > r.X0 && e < r.X1) {
                inside = e;
            }
        }
    }
    if (!std::isnan(inside)) {
        return Integrate({r.X0, inside, r.Z0, r.Z1}, xp, xq, level + 1) +
               Integrate({inside, r.X1, r.Z0, r.Z1}, xp, xq, level + 1);
    }
    if (corners == 2) {
        const double mid = 0.5 * (r.X0 + r.X1);
        return Integrate({r.X0, mid, r.Z0, r.Z1}, xp, xq, level + 1) +
               Integrate({mid, r.X1, r.Z0, r.Z1}, xp, xq, level + 1);
    }
    if (corners == 1) {
        // A long thin cell maps badly onto the corner's triangles: cut it near square first.
        if (w > 2 * h && level < MaxSplit) {
            const double cut = corner == r.X0 ? r.X0 + h : r.X1 - h;
            return Integrate({std::min(corner, cut), std::max(corner, cut), r.Z0, r.Z1}, xp, xq, level + 1) +
                   Integrate(corner == r.X0 ? TRect{cut, r.X1, r.Z0, r.Z1} : TRect{r.X0, cut, r.Z0, r.Z1}, xp,
                             xq, level + 1);
        }
        if (h > 2 * w && level < MaxSplit) {
            const double cut = r.Z0 + w;
            return Integrate({r.X0, r.X1, r.Z0, cut}, xp, xq, level + 1) +
                   Integrate({r.X0, r.X1, cut, r.Z1}, xp, xq, level + 1);
        }
        return DuffyRect(r, corner, xp, xq);
    }
    // Distance from the cell to the nearer electrode, in cell sizes.
    double d = INFINITY;
    for (double e : {xp, xq}) {
        const double dx = std::max({0.0, r.X0 - e, e - r.X1});
        d = std::min(d, std::hypot(dx, r.Z0));
    }
    const double ratio = d / size;
    if (ratio < 0.5 && level < MaxSplit) {
        const double mx = 0.5 * (r.X0 + r.X1), mz = 0.5 * (r.Z0 + r.Z1);
        return Integrate({r.X0, mx, r.Z0, mz}, xp, xq, level + 1) +
               Integrate({mx, r.X1, r.Z0, mz}, xp, xq, level + 1) +
               Integrate({r.X0, mx, mz, r.Z1}, xp, xq, level + 1) +
               Integrate({mx, r.X1, mz, r.Z1}, xp, xq, level + 1);
    }
    const int n = ratio >= 6 ? 2 : ratio >= 3 ? 3 : ratio >= 1.5 ? 4 : 6;
    return GaussRect(r, xp, xq, n);
}

}  // namespace

double CarlsonRD(double x, double y, double z) {
    // Duplication until the arguments agree to ErrTol, then the fifth-order series (Carlson 1995).
    constexpr double ErrTol = 0.0015, C1 = 3.0 / 14.0, C2 = 1.0 / 6.0, C3 = 9.0 / 22.0, C4 = 3.0 / 26.0,
                     C5 = 0.25 * C3, C6 = 1.5 * C4;
    double xt = x, yt = y, zt = z, sum = 0, fac = 1, ave, delx, dely, delz;
    for (;;) {
        const double sx = std::sqrt(xt), sy = std::sqrt(yt), sz = std::sqrt(zt);
        const double lambda = sx * (sy + sz) + sy * sz;
        sum += fac / (sz * (zt + lambda));
        fac *= 0.25;
        xt = 0.25 * (xt + lambda);
        yt = 0.25 * (yt + lambda);
        zt = 0.25 * (zt + lambda);
        ave = 0.2 * (xt + yt + 3 * zt);
        delx = (ave - xt) / ave;
        dely = (ave - yt) / ave;
        delz = (ave - zt) / ave;
        if (std::max({std::fabs(delx), std::fabs(dely), std::fabs(delz)}) <= ErrTol) break;
    }
    const double ea = delx * dely, eb = delz * delz, ec = ea - eb, ed = ea - 6 * eb, ee = ed + ec + ec;
    return 3 * sum + fac *
                         (1 + ed * (-C1 + C5 * ed - C6 * delz * ee) +
                          delz * (C2 * ee + delz * (-C3 * ec + delz * C4 * ea))) /
                         (ave * std::sqrt(ave));
}

double PolePoleDensity(double x, double z, double xp, double xq) {
    // grad(1/r_P) . grad(1/r_Q) = (a + y^2) / (r_P^3 r_Q^3), a = (x-xp)(x-xq) + z^2; with s = r_P^2 - y^2,
    // t = r_Q^2 - y^2 and a + y^2 = (y^2 + s) + (a - s), the integral over y is
    //   2 [ R_D(0,s,t) / 3 + (a - s) (R_D(0,t,s) - R_D(0,s,t)) / (3 (t - s)) ].
    const double dp = x - xp, dq = x - xq;
    const double s = dp * dp + z * z, t = dq * dq + z * z, a = dp * dq + z * z;
    const double rst = CarlsonRD(0, s, t);
    double diff;
    if (std::fabs(t - s) <= 1e-5 * (s + t)) {
        // The difference quotient at its limit: 3 int_0^inf (y^2 + m)^-3 dy = 9 pi / (16 m^5/2).
        const double m = 0.5 * (s + t);
        diff = 9 * Pi / (16 * m * m * std::sqrt(m));
    } else {
        diff = (CarlsonRD(0, t, s) - rst) / (t - s);
    }
    return (rst + (a - s) * diff) / (6 * Pi * Pi);
}

double PolePoleDensityByQuadrature(double x, double z, double xp, double xq) {
    // y = tan(theta) scaled by each distance in turn, on many panels: slow and plainly right.
    const double dp = x - xp, dq = x - xq;
    const double s = dp * dp + z * z, t = dq * dq + z * z, a = dp * dq + z * z;
    auto f = [&](double y) { return (a + y * y) / std::pow((y * y + s) * (y * y + t), 1.5); };
    // Panels in log y from far below the smaller scale to far above the larger, then the tail.
    const double lo = 1e-6 * std::sqrt(std::min(s, t)), hi = 1e6 * std::sqrt(std::max(s, t));
    const TRule& g = Rules()[MaxOrder];
    double sum = 0;
    // [0, lo]: f is nearly constant there.
    sum += f(0.5 * lo) * lo;
    const int panels = 400;
    const double l0 = std::log(lo), l1 = std::log(hi);
    for (int p = 0; p < panels; ++p) {
        const double u0 = l0 + (l1 - l0) * p / panels, du = (l1 - l0) / panels;
        for (int i = 0; i < g.N; ++i) {
            const double y = std::exp(u0 + du * g.X[i]);
            sum += g.W[i] * du * y * f(y);
        }
    }
    sum += 1.0 / (3 * hi * hi * hi);  // the tail: f ~ 1 / y^4
    return 2 * sum / (4 * Pi * Pi);
}

double PolePoleCell(const TCell& cell, double xp, double xq) {
    return Integrate({cell.X0, cell.X1, cell.Z0, cell.Z1}, xp, xq, 0);
}

double PolePoleCellByMidpoints(const TCell& cell, double xp, double xq, int n) {
    const double w = (cell.X1 - cell.X0) / n, h = (cell.Z1 - cell.Z0) / n;
    double sum = 0;
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < n; ++k)
            sum += PolePoleDensity(cell.X0 + (i + 0.5) * w, cell.Z0 + (k + 0.5) * h, xp, xq);
    return sum * w * h;
}

namespace {

// A cell as seen from a pair's first electrode: the kernel depends on nothing else, so pairs at the
// same distance share the values of cells at the same place relative to them (on a regular line,
// every pair of a distance but the first only adds the cells that shift into view).
struct TRelativeCell {
    int64_t X0, X1, Z0, Z1;
    bool operator==(const TRelativeCell&) const = default;
};
struct TRelativeCellHash {
    std::size_t operator()(const TRelativeCell& c) const {
        uint64_t h = 1469598103934665603ull;
        for (int64_t v : {c.X0, c.X1, c.Z0, c.Z1}) h = (h ^ static_cast<uint64_t>(v)) * 1099511628211ull;
        return static_cast<std::size_t>(h);
    }
};

}  // namespace

TPairKernels::TPairKernels(const TCellModel& model, const std::vector<double>& positions,
                           const std::atomic<bool>* stop)
    : n_(static_cast<int>(positions.size())) {
    const int pairs = PairCount(n_), cells = model.Size();
    jt_.resize(cells, pairs);
    (void)Rules();  // built once, before the threads share it
    // Lengths as whole multiples of a millionth of the spacing: cells of a model are at least a
    // thousandth of a spacing apart, and positions differ by their float rounding at most.
    const double unit = 1e-6 * std::max(model.Spacing(), 1e-12);
    auto q = [unit](double v) { return static_cast<int64_t>(std::llround(v / unit)); };
    // Pairs grouped by their distance; each group is one thread's work, with its own memory of cells.
    std::vector<std::pair<int64_t, std::vector<std::pair<int, int>>>> groups;
    {
        std::unordered_map<int64_t, std::size_t> at;
        for (int i = 0; i < n_; ++i)
            for (int j = i + 1; j < n_; ++j) {
                const int64_t d = q(positions[j] - positions[i]);
                auto [it, fresh] = at.emplace(d, groups.size());
                if (fresh) groups.push_back({d, {}});
                groups[it->second].second.emplace_back(i, j);
            }
    }
    std::atomic<bool> stopped{false};
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t g; (g = next.fetch_add(1)) < groups.size();) {
            std::unordered_map<TRelativeCell, double, TRelativeCellHash> seen;
            for (const auto& [i, j] : groups[g].second) {
                if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
                    stopped.store(true);
                    return;
                }
                const int p = PairIndex(n_, i, j);
                const double xp = positions[i], xq = positions[j];
                for (int c = 0; c < cells; ++c) {
                    const TCell& cell = model.Cells()[c];
                    const TRelativeCell key{q(cell.X0 - xp), q(cell.X1 - xp), q(cell.Z0), q(cell.Z1)};
                    auto [it, fresh] = seen.emplace(key, 0.0);
                    if (fresh) it->second = PolePoleCell(cell, xp, xq);
                    jt_(c, p) = it->second;
                }
            }
        }
    };
    const int threads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
    stopped_ = stopped.load();
}
