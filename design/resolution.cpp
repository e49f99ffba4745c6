#include "design/resolution.h"

#include <Eigen/Cholesky>
#include <Eigen/LU>
#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace {
constexpr double TwoPi = 6.283185307179586;
}

// 5: the data of a design then outweigh the smoothness in a cell once some twenty readings of average
// sensitivity cover it. The comprehensive set resolves the shallow cells to about 0.9 and the deepest
// target cells to about 0.01, so the figure of merit weighs the whole target; with a damping a hundred
// times smaller every design of a few hundred readings looks fully resolved near the surface and the
// comparison rests on the deepest cells alone.
const double TDesignProblem::DefaultDampingFactor = 5;

// LAPACK's Cholesky factor and inverse from it, as OpenBLAS provides them: about half the work of
// solving for the identity, which is most of a recomputation.
extern "C" {
void dpotrf_(const char* uplo, const int* n, double* a, const int* lda, int* info);
void dpotri_(const char* uplo, const int* n, double* a, const int* lda, int* info);
}

Eigen::MatrixXd SymmetricInverse(const Eigen::MatrixXd& a) {
    Eigen::MatrixXd inv = a;
    const int n = static_cast<int>(a.rows());
    int info = 0;
    if (n > 0) dpotrf_("L", &n, inv.data(), &n, &info);
    if (info == 0 && n > 0) dpotri_("L", &n, inv.data(), &n, &info);
    if (info != 0) throw std::runtime_error("the normal matrix is not positive definite");
    inv.triangularView<Eigen::StrictlyUpper>() = inv.transpose();
    return inv;
}

Eigen::MatrixXd SymmetricInverseByLlt(const Eigen::MatrixXd& a) {
    Eigen::LLT<Eigen::MatrixXd> llt(a);
    if (llt.info() != Eigen::Success) throw std::runtime_error("the normal matrix is not positive definite");
    return llt.solve(Eigen::MatrixXd::Identity(a.rows(), a.cols()));
}

TDesignProblem::TDesignProblem(std::vector<double> positions, double depth, const std::atomic<bool>* stop,
                               double dampingFactor)
    : x_(std::move(positions)) {
    std::sort(x_.begin(), x_.end());
    if (x_.size() < 4) throw std::invalid_argument("a design needs at least four electrodes");
    if (x_.size() > static_cast<std::size_t>(MaxElectrodes))
        throw std::invalid_argument(
            "the resolution of more than " + std::to_string(MaxElectrodes) +
            " electrodes is not computed (memory grows with the fourth power of the count)");
    for (std::size_t i = 1; i < x_.size(); ++i)
        if (!(x_[i] > x_[i - 1])) throw std::invalid_argument("two electrodes share a position");
    model_ = std::make_unique<TCellModel>(x_, depth);
    kernels_ = std::make_unique<TPairKernels>(*model_, x_, stop);
    auto stopped = [&] { return stopped_ = kernels_->Stopped() || (stop != nullptr && stop->load()); };
    if (stopped()) return;

    const Eigen::MatrixXd& jt = Jt();
    const Eigen::MatrixXd w = PairsMatrixOfAll(stop);
    if (stopped()) return;
    const Eigen::MatrixXd wj = w * jt.transpose();  // pairs x cells
    Eigen::MatrixXd gtg = jt * wj;                  // cells x cells
    const double count = static_cast<double>(ComprehensiveCount());
    double mean = 0;
    for (int j : model_->TargetCells()) mean += gtg(j, j);
    mean /= count * static_cast<double>(std::max<std::size_t>(model_->TargetCells().size(), 1));
    lambda_ = dampingFactor * mean;
    gtg += lambda_ * Eigen::MatrixXd(model_->Smoothness());
    comprehensive_ = ResolutionDiagonalOfInverse(SymmetricInverse(gtg));
}

double TDesignProblem::GeometricFactor(const TDesignQuad& q) const {
    auto inv = [&](int p, int r) { return p < 0 || r < 0 ? 0.0 : 1.0 / std::fabs(x_[p] - x_[r]); };
    const double d = inv(q.A, q.M) - inv(q.A, q.N) - inv(q.B, q.M) + inv(q.B, q.N);
    // Terms that cancel to rounding leave no reading.
    const double scale = inv(q.A, q.M) + inv(q.A, q.N) + inv(q.B, q.M) + inv(q.B, q.N);
    return std::fabs(d) <= 1e-12 * scale ? 0.0 : TwoPi / d;
}

TPairRow TDesignProblem::Row(const TDesignQuad& q) const {
    TPairRow row;
    const double k = GeometricFactor(q);
    const int n = Electrodes();
    auto add = [&](int p, int r, double sign) {
        if (p < 0 || r < 0) return;
        row.Pair[row.Terms] = PairIndex(n, p, r);
        row.Coef[row.Terms] = sign * k;
        ++row.Terms;
    };
    add(q.A, q.M, 1);
    add(q.A, q.N, -1);
    add(q.B, q.M, -1);
    add(q.B, q.N, 1);
    return row;
}

Eigen::VectorXd TDesignProblem::Sensitivity(const TDesignQuad& q) const {
    const TPairRow row = Row(q);
    Eigen::VectorXd g = Eigen::VectorXd::Zero(model_->Size());
    for (int t = 0; t < row.Terms; ++t) g += row.Coef[t] * Jt().col(row.Pair[t]);
    return g;
}

Eigen::MatrixXd TDesignProblem::NormalMatrix(const std::vector<TDesignQuad>& design) const {
    const int cells = model_->Size();
    // G in blocks of rows, so that a long design never holds all of G.
    constexpr int Block = 512;
    Eigen::MatrixXd a = lambda_ * Eigen::MatrixXd(model_->Smoothness());
    Eigen::MatrixXd g(Block, cells);
    for (std::size_t first = 0; first < design.size(); first += Block) {
        const int rows = static_cast<int>(std::min<std::size_t>(Block, design.size() - first));
        for (int r = 0; r < rows; ++r) g.row(r) = Sensitivity(design[first + r]).transpose();
        a.noalias() += g.topRows(rows).transpose() * g.topRows(rows);
    }
    return a;
}

Eigen::VectorXd TDesignProblem::ResolutionDiagonalOfInverse(const Eigen::MatrixXd& inverseA) const {
    // R = I - lambda A^-1 C, and C is sparse: R_jj = 1 - lambda sum_k (A^-1)_jk C_kj.
    const Eigen::SparseMatrix<double>& c = model_->Smoothness();
    Eigen::VectorXd d = Eigen::VectorXd::Ones(model_->Size());
    for (int j = 0; j < c.outerSize(); ++j)
        for (Eigen::SparseMatrix<double>::InnerIterator it(c, j); it; ++it)
            d(j) -= lambda_ * inverseA(j, it.row()) * it.value();
    return d;
}

Eigen::VectorXd TDesignProblem::ResolutionDiagonal(const std::vector<TDesignQuad>& design) const {
    return ResolutionDiagonalOfInverse(SymmetricInverse(NormalMatrix(design)));
}

Eigen::VectorXd TDesignProblem::ResolutionDiagonalByFullProduct(
    const std::vector<TDesignQuad>& design) const {
    const int cells = model_->Size();
    Eigen::MatrixXd g(static_cast<long>(design.size()), cells);
    for (std::size_t r = 0; r < design.size(); ++r)
        g.row(static_cast<long>(r)) = Sensitivity(design[r]).transpose();
    const Eigen::MatrixXd gtg = g.transpose() * g;
    const Eigen::MatrixXd a = gtg + lambda_ * Eigen::MatrixXd(model_->Smoothness());
    const Eigen::MatrixXd r = a.fullPivLu().solve(gtg);
    return r.diagonal();
}

void TDesignProblem::ForEachQuadripole(const std::function<void(const TDesignQuad&)>& visit) const {
    const int n = Electrodes();
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
            for (int k = j + 1; k < n; ++k)
                for (int l = k + 1; l < n; ++l) {
                    visit({i, j, k, l});  // dipole: A B M N
                    visit({i, l, j, k});  // nested: A M N B
                    visit({i, k, j, l});  // gamma: A M B N
                }
}

long long TDesignProblem::ComprehensiveCount() const {
    const long long n = Electrodes();
    return n * (n - 1) * (n - 2) * (n - 3) / 8;
}

Eigen::MatrixXd TDesignProblem::PairsMatrixOfAll(const std::atomic<bool>* stop) const {
    const int pairs = PairCount(Electrodes());
    Eigen::MatrixXd w = Eigen::MatrixXd::Zero(pairs, pairs);
    long long visited = 0;
    bool halted = false;
    ForEachQuadripole([&](const TDesignQuad& q) {
        // A look at the stop now and then; the rest of the pass is skipped once it is set.
        if (halted) return;
        if ((++visited & 0xFFFF) == 0 && stop != nullptr && stop->load(std::memory_order_relaxed)) {
            halted = true;
            return;
        }
        const TPairRow row = Row(q);
        for (int s = 0; s < row.Terms; ++s)
            for (int t = 0; t < row.Terms; ++t) w(row.Pair[s], row.Pair[t]) += row.Coef[s] * row.Coef[t];
    });
    return w;
}

Eigen::VectorXd TDesignProblem::ComprehensiveDiagonalByRows(int block) const {
    const int cells = model_->Size();
    Eigen::MatrixXd a = lambda_ * Eigen::MatrixXd(model_->Smoothness());
    Eigen::MatrixXd g(block, cells);
    int rows = 0;
    auto flush = [&] {
        a.noalias() += g.topRows(rows).transpose() * g.topRows(rows);
        rows = 0;
    };
    ForEachQuadripole([&](const TDesignQuad& q) {
        g.row(rows++) = Sensitivity(q).transpose();
        if (rows == block) flush();
    });
    flush();
    return ResolutionDiagonalOfInverse(SymmetricInverse(a));
}

Eigen::VectorXd TDesignProblem::RelativeResolution(const Eigen::VectorXd& diagonal) const {
    return diagonal.cwiseQuotient(comprehensive_);
}

double TDesignProblem::FigureOfMerit(const Eigen::VectorXd& diagonal) const {
    const std::vector<int>& target = model_->TargetCells();
    if (target.empty()) return 0;
    double sum = 0;
    for (int j : target) sum += diagonal(j) / comprehensive_(j);
    return sum / static_cast<double>(target.size());
}

Eigen::VectorXd TDesignProblem::CumulativeSensitivity(const std::vector<TDesignQuad>& design) const {
    Eigen::VectorXd s = Eigen::VectorXd::Zero(model_->Size());
    for (const TDesignQuad& q : design) s += Sensitivity(q).cwiseAbs();
    return s;
}
