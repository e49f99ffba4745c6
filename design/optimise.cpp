#include "design/optimise.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <stdexcept>
#include <unordered_map>

namespace {

// A quadripole's four electrodes and arrangement as one number, whatever its orientation (A with B,
// M with N, and the current pair with the potential pair swapped give the same reading).
int64_t CanonicalKey(const TDesignQuad& q, int n) {
    std::array<int, 4> e{q.A, q.B, q.M, q.N};
    std::sort(e.begin(), e.end());
    auto partner = [&](int x) {
        if (x == q.A) return q.B;
        if (x == q.B) return q.A;
        if (x == q.M) return q.N;
        return q.M;
    };
    const int p = partner(e[0]);
    const int type = p == e[1] ? 0 : p == e[3] ? 1 : 2;
    return (((static_cast<int64_t>(e[0]) * n + e[1]) * n + e[2]) * n + e[3]) * 3 + type;
}

bool FourElectrodes(const TDesignQuad& q) {
    return q.A >= 0 && q.B >= 0 && q.M >= 0 && q.N >= 0 && q.A != q.B && q.A != q.M && q.A != q.N &&
           q.B != q.M && q.B != q.N && q.M != q.N;
}

double Figure(const TDesignProblem& problem, const Eigen::MatrixXd& inverseA) {
    return problem.FigureOfMerit(problem.ResolutionDiagonalOfInverse(inverseA));
}

}  // namespace

std::vector<TCandidate> CandidatePool(const TDesignProblem& problem, double maxK, bool gamma) {
    std::vector<TCandidate> pool;
    const int n = problem.Electrodes();
    problem.ForEachQuadripole([&](const TDesignQuad& q) {
        if (!gamma && q.A < q.M && q.M < q.B && q.B < q.N) return;
        const double k = problem.GeometricFactor(q);
        if (k == 0 || (maxK > 0 && std::fabs(k) > maxK)) return;
        const int top = std::max({q.A, q.B, q.M, q.N});
        TCandidate c{};
        c.K = k;
        c.Quad = q;
        const std::array<std::array<int, 2>, 4> pairs{{{q.A, q.M}, {q.A, q.N}, {q.B, q.M}, {q.B, q.N}}};
        constexpr std::array<int8_t, 4> signs{1, -1, -1, 1};
        int fixed = 0, moving = 2;
        std::array<int, 2> others{};
        for (int s = 0; s < 4; ++s) {
            const auto [x, y] = pairs[s];
            const int slot = x == top || y == top ? moving++ : fixed++;
            c.Pair[slot] = PairIndex(n, x, y);
            c.Sign[slot] = signs[s];
            if (slot >= 2) others[slot - 2] = x == top ? y : x;
        }
        c.Cross = PairIndex(n, others[0], others[1]) * n + top;
        pool.push_back(c);
    });
    return pool;
}

std::vector<TDesignQuad> DefaultStart(const TDesignProblem& problem, int readings) {
    const int available = problem.Electrodes() - 3;
    const int count = std::min(available, std::max(1, readings / 5));
    std::vector<TDesignQuad> start;
    for (int r = 0; r < count; ++r) {
        const int i =
            count == 1
                ? 0
                : static_cast<int>(std::lround(static_cast<double>(r) * (available - 1) / (count - 1)));
        start.push_back({i, i + 3, i + 1, i + 2});
    }
    return start;
}

double ReadingGain(const TDesignProblem& problem, const Eigen::MatrixXd& inverseA, const TDesignQuad& q) {
    const Eigen::VectorXd g = problem.Sensitivity(q);
    const Eigen::VectorXd u = inverseA * g;
    const Eigen::VectorXd cu = problem.Model().Smoothness() * u;
    const Eigen::VectorXd& rc = problem.ComprehensiveDiagonal();
    double sum = 0;
    for (int j : problem.Model().TargetCells()) sum += problem.Lambda() * u(j) * cu(j) / rc(j);
    return sum / (1 + g.dot(u));
}

void AddReading(const TDesignProblem& problem, Eigen::MatrixXd& inverseA, const TDesignQuad& q) {
    const Eigen::VectorXd g = problem.Sensitivity(q);
    const Eigen::VectorXd u = inverseA * g;
    inverseA.noalias() -= (u / (1 + g.dot(u))) * u.transpose();
}

namespace {

// The pairs x pairs matrices that rank every candidate, kept in step with A^-1. With u = A^-1 g and
// g = K sum_s sigma_s J_s over a candidate's pairs (J the cells x pairs kernels):
//     g^T u                    = K^2 s^T M s,   M = J^T A^-1 J,
//     sum_j w_j u_j (C u)_j    = K^2 s^T H s,   H = sym(P_T^T diag(w) (C P)_T),  P = A^-1 J,
// T the target cells and w_j = lambda / R_jj(comprehensive); a candidate's gain is then 16 look-ups.
class TRanking {
   public:
    TRanking(const TDesignProblem& problem) : problem_(problem), target_(problem.Model().TargetCells()) {
        const Eigen::VectorXd& rc = problem.ComprehensiveDiagonal();
        w_.resize(static_cast<long>(target_.size()));
        for (std::size_t t = 0; t < target_.size(); ++t)
            w_(static_cast<long>(t)) = problem.Lambda() / rc(target_[t]);
    }

    // Everything from A^-1 afresh: the large products, cells^2 x pairs and pairs^2 x cells.
    void Recompute(const Eigen::MatrixXd& inverseA) {
        const Eigen::MatrixXd& jt = problem_.Jt();
        p_.noalias() = inverseA * jt;
        m_.noalias() = jt.transpose() * p_;
        cp_ = problem_.Model().Smoothness() * p_;
        const Eigen::MatrixXd pt = w_.asDiagonal() * p_(target_, Eigen::all);
        h_.noalias() = pt.transpose() * cp_(target_, Eigen::all);
        h_ = 0.5 * (h_ + h_.transpose()).eval();  // only the symmetric part counts in s^T H s
    }

    // After A^-1 became A^-1 - U U^T (the readings added since, each rank-1 update a column of U):
    // P' = P - U V^T, V = J^T U, and M, C P, H follow with products of pairs x pairs x k only.
    void Downdate(const Eigen::MatrixXd& u) {
        const Eigen::MatrixXd v = problem_.Jt().transpose() * u;              // pairs x k
        const Eigen::MatrixXd cu = problem_.Model().Smoothness() * u;         // cells x k
        const Eigen::MatrixXd wu = w_.asDiagonal() * u(target_, Eigen::all);  // targets x k
        const Eigen::MatrixXd wcu = w_.asDiagonal() * cu(target_, Eigen::all);
        // H' = H - X V^T - V Y + V Z V^T, X = P_T^T W (CU)_T, Y = U_T^T W (CP)_T, Z = U_T^T W (CU)_T;
        // symmetrised with E = X + Y^T.
        const Eigen::MatrixXd e =
            p_(target_, Eigen::all).transpose() * wcu + cp_(target_, Eigen::all).transpose() * wu;
        Eigen::MatrixXd z = u(target_, Eigen::all).transpose() * wcu;
        z = 0.5 * (z + z.transpose()).eval();
        const Eigen::MatrixXd vz = v * z;
        h_.noalias() -= 0.5 * e * v.transpose();
        h_.noalias() -= 0.5 * v * e.transpose();
        h_.noalias() += vz * v.transpose();
        p_.noalias() -= u * v.transpose();
        cp_.noalias() -= cu * v.transpose();
        m_.noalias() -= v * v.transpose();
    }

    // Before Gain: the diagonals and the cross tables, which make the look-ups of candidates taken in
    // pool order run along memory.
    void Prepare() {
        Tables(m_, mt_);
        Tables(h_, ht_);
    }

    double Gain(const TCandidate& c) const {
        const double k2 = c.K * c.K;
        return k2 * Form(h_, ht_, c) / (1 + k2 * Form(m_, mt_, c));
    }

   private:
    // In pool order the highest electrode l runs innermost, so the two pairs with l (slots 2 and 3)
    // step through consecutive indices while the two without it stay: an entry of a fixed pair's
    // column at a moving pair's row is read along memory, and so are the diagonal and the entry of the
    // two moving pairs, (x, l) with (y, l), once gathered into a table at PairIndex(x, y) n + l.
    struct TTables {
        Eigen::VectorXd Diagonal;
        std::vector<double> Cross;
    };
    void Tables(const Eigen::MatrixXd& x, TTables& t) const {
        const int n = problem_.Electrodes();
        t.Diagonal = x.diagonal();
        t.Cross.assign(static_cast<std::size_t>(PairCount(n)) * n, 0.0);
        for (int a = 0; a < n; ++a)
            for (int b = a + 1; b < n; ++b)
                for (int l = b + 1; l < n; ++l)
                    t.Cross[static_cast<std::size_t>(PairIndex(n, a, b)) * n + l] =
                        x(PairIndex(n, a, l), PairIndex(n, b, l));
    }
    // s^T X s over the candidate's pairs, X symmetric.
    static double Form(const Eigen::MatrixXd& x, const TTables& t, const TCandidate& c) {
        const double* d = t.Diagonal.data();
        const double* f0 = x.data() + static_cast<std::ptrdiff_t>(c.Pair[0]) * x.rows();
        const double* f1 = x.data() + static_cast<std::ptrdiff_t>(c.Pair[1]) * x.rows();
        const int m0 = c.Pair[2], m1 = c.Pair[3];
        const double s[4] = {double(c.Sign[0]), double(c.Sign[1]), double(c.Sign[2]), double(c.Sign[3])};
        double sum = d[c.Pair[0]] + d[c.Pair[1]] + d[m0] + d[m1];
        sum += 2 * (s[0] * s[1] * f0[c.Pair[1]] + s[0] * s[2] * f0[m0] + s[0] * s[3] * f0[m1] +
                    s[1] * s[2] * f1[m0] + s[1] * s[3] * f1[m1] +
                    s[2] * s[3] * t.Cross[static_cast<std::size_t>(c.Cross)]);
        return sum;
    }

    TTables mt_, ht_;

    const TDesignProblem& problem_;
    const std::vector<int>& target_;
    Eigen::VectorXd w_;
    Eigen::MatrixXd p_, cp_, m_, h_;
};

}  // namespace

TOptimiseResult OptimiseDesign(const TDesignProblem& problem, const TOptimiseOptions& options,
                               const std::function<void(const TOptimiseProgress&)>& progress,
                               const std::atomic<bool>* stop) {
    auto stopped = [&] { return stop != nullptr && stop->load(std::memory_order_relaxed); };
    TOptimiseResult result;
    const int n = problem.Electrodes();
    result.Design = options.Start;
    if (options.Start.empty())
        for (const TDesignQuad& q : DefaultStart(problem, options.Readings))
            if (options.MaxK <= 0 || std::fabs(problem.GeometricFactor(q)) <= options.MaxK)
                result.Design.push_back(q);
    if (static_cast<int>(result.Design.size()) > options.Readings)
        throw std::invalid_argument("the starting set holds more readings than asked for");

    const std::vector<TCandidate> pool = CandidatePool(problem, options.MaxK, options.Gamma);
    std::vector<char> taken(pool.size(), 0);
    {
        std::unordered_map<int64_t, std::size_t> index;
        index.reserve(pool.size());
        for (std::size_t c = 0; c < pool.size(); ++c) index.emplace(CanonicalKey(pool[c].Quad, n), c);
        for (const TDesignQuad& q : result.Design)
            if (FourElectrodes(q))
                if (auto it = index.find(CanonicalKey(q, n)); it != index.end()) taken[it->second] = 1;
    }

    Eigen::MatrixXd inverseA = SymmetricInverse(problem.NormalMatrix(result.Design));
    result.Figure = Figure(problem, inverseA);
    if (progress) progress({static_cast<int>(result.Design.size()), options.Readings, result.Figure});
    TRanking ranking(problem);
    ranking.Recompute(inverseA);

    const int perIteration =
        std::max(1, static_cast<int>(std::floor(options.MaxShareAddedPerIteration * options.Readings)));
    std::vector<double> score(pool.size());
    std::vector<std::size_t> order;
    const int cells = problem.Model().Size();
    while (static_cast<int>(result.Design.size()) < options.Readings) {
        if (stopped()) {
            result.Stopped = true;
            return result;
        }
        order.clear();
        ranking.Prepare();
        for (std::size_t k = 0; k < pool.size(); ++k) {
            if (taken[k]) continue;
            score[k] = ranking.Gain(pool[k]);
            if (score[k] > 0) order.push_back(k);
        }
        if (order.empty()) {
            result.RanOut = true;
            break;
        }
        // Best first; equal gains in pool order, so that the result does not depend on the sort.
        const int wanted = std::min(perIteration, options.Readings - static_cast<int>(result.Design.size()));
        const std::size_t look = std::min(order.size(), static_cast<std::size_t>(std::max(64, 16 * wanted)));
        auto better = [&](std::size_t a, std::size_t b) {
            return score[a] != score[b] ? score[a] > score[b] : a < b;
        };
        std::partial_sort(order.begin(), order.begin() + static_cast<long>(look), order.end(), better);

        // Several per iteration when they are sufficiently orthogonal to the ones already added in
        // it: |g_i . g_k| / (|g_i| |g_k|) below the current figure of merit, as Wilkinson et al. do.
        const double threshold = result.Figure;
        std::vector<Eigen::VectorXd> added;
        std::vector<std::size_t> chosen;
        auto orthogonalToAdded = [&](std::size_t candidate, Eigen::VectorXd& unit) {
            unit = problem.Sensitivity(pool[candidate].Quad).normalized();
            for (const Eigen::VectorXd& other : added)
                if (std::fabs(unit.dot(other)) >= threshold) return false;
            return true;
        };
        if (options.Channels <= 1) {
            for (std::size_t r = 0; r < look && static_cast<int>(added.size()) < wanted; ++r) {
                Eigen::VectorXd unit;
                if (!orthogonalToAdded(order[r], unit)) continue;
                added.push_back(unit);
                chosen.push_back(order[r]);
            }
        } else {
            // Whole injections: each current dipole is ranked by the summed gains of its best C
            // readings still free, the readings' interaction within an injection left to the exact
            // block update below. The best injections of distinct current dipoles are taken, each
            // sufficiently orthogonal to those already taken, until the iteration's share.
            const int channels = options.Channels;
            std::unordered_map<int64_t, std::vector<std::size_t>> byDipole;
            for (std::size_t r = 0; r < order.size(); ++r) {
                const TDesignQuad& q = pool[order[r]].Quad;
                auto& list = byDipole[static_cast<int64_t>(q.A) * n + q.B];
                if (static_cast<int>(list.size()) < channels) list.push_back(order[r]);
            }
            // Best dipoles first by total gain; equal totals by the first reading's pool position.
            std::vector<std::pair<double, const std::vector<std::size_t>*>> dipoles;
            dipoles.reserve(byDipole.size());
            for (const auto& [key, list] : byDipole) {
                double total = 0;
                for (std::size_t c : list) total += score[c];
                dipoles.emplace_back(total, &list);
            }
            std::sort(dipoles.begin(), dipoles.end(), [](const auto& a, const auto& b) {
                return a.first != b.first ? a.first > b.first : a.second->front() < b.second->front();
            });
            const int room = options.Readings - static_cast<int>(result.Design.size());
            const int injections = std::max(1, wanted / channels);
            int injected = 0;
            for (const auto& [total, list] : dipoles) {
                if (injected >= injections || static_cast<int>(chosen.size()) >= room) break;
                // Readings of one current dipole share its current electrodes, so their rows are far from
                // orthogonal: the test is made between injections, on their best readings.
                Eigen::VectorXd unit;
                if (!orthogonalToAdded(list->front(), unit)) continue;
                added.push_back(unit);
                const std::size_t before = chosen.size();
                for (std::size_t c : *list) {
                    if (static_cast<int>(chosen.size()) >= room) break;
                    chosen.push_back(c);
                }
                if (chosen.size() > before) ++injected;
            }
        }
        // The Sherman-Morrison updates of the readings chosen, one after the other, as a block:
        // A^-1 - sum_i c_i c_i^T with c_i = u_i / sqrt(1 + g_i^T u_i), where u_i = A_i^-1 g_i is
        // A^-1 g_i less the updates before it. One pass over A^-1 for all of them, not one each.
        const long k = static_cast<long>(chosen.size());
        Eigen::MatrixXd g(cells, k), u(cells, k);
        for (long i = 0; i < k; ++i)
            g.col(i) = problem.Sensitivity(pool[chosen[static_cast<std::size_t>(i)]].Quad);
        const Eigen::MatrixXd y = inverseA * g;
        for (long i = 0; i < k; ++i) {
            Eigen::VectorXd ui = y.col(i);
            if (i > 0) ui.noalias() -= u.leftCols(i) * (u.leftCols(i).transpose() * g.col(i));
            u.col(i) = ui / std::sqrt(1 + g.col(i).dot(ui));
            taken[chosen[static_cast<std::size_t>(i)]] = 1;
            result.Design.push_back(pool[chosen[static_cast<std::size_t>(i)]].Quad);
        }
        inverseA.noalias() -= u * u.transpose();
        ++result.Iterations;
        if (result.Iterations % options.RecomputeEvery == 0) {
            inverseA = SymmetricInverse(problem.NormalMatrix(result.Design));
            ranking.Recompute(inverseA);
        } else {
            ranking.Downdate(u);
        }
        result.Figure = Figure(problem, inverseA);
        if (progress) progress({static_cast<int>(result.Design.size()), options.Readings, result.Figure});
    }
    inverseA = SymmetricInverse(problem.NormalMatrix(result.Design));
    result.Figure = Figure(problem, inverseA);
    return result;
}
