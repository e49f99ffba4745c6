// The resolution of a design: how well a set of quadripoles resolves each cell of the ground under the
// line, for a homogeneous half-space, against the comprehensive set of every quadripole of the same
// electrodes.
//
// A reading's row of the Jacobian (d ln rho_a / d ln rho_j over the cells j) is
//     g = K (J_AM - J_AN - J_BM + J_BN),   K = 2 pi / (1/AM - 1/AN - 1/BM + 1/BN),
// a remote electrode dropping its terms; its entries sum to 1 over the whole half-space. With G the
// rows of a design, C the smoothness operator of the cell model and lambda the damping below,
//     A = G^T G + lambda C,   R = A^-1 G^T G = I - lambda A^-1 C,
// and the figure of merit of a design is the mean, over the target cells, of R_jj / R_jj(comprehensive).
#pragma once

#include <Eigen/Core>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "design/cellmodel.h"
#include "design/kernels.h"

// A quadripole on electrode indices 0 .. n-1 of the problem (sorted by position); -1 is the remote
// electrode.
struct TDesignQuad {
    int A, B, M, N;
    bool operator==(const TDesignQuad&) const = default;
};

// A reading's row as pairs of electrodes: up to four (pair, coefficient) terms.
struct TPairRow {
    std::array<int, 4> Pair{};
    std::array<double, 4> Coef{};
    int Terms = 0;
};

class TDesignProblem {
   public:
    // Damping. lambda is this factor times the mean, over the target cells, of the squared sensitivity
    // of one reading of the comprehensive set (diag(G^T G) / count): a property of the electrodes and
    // cells alone, the same for every design compared, and one that follows the cells when they are
    // refined (the rows' entries shrink with the cells). See the value's comment in resolution.cpp.
    static const double DefaultDampingFactor;
    // The most electrodes a problem takes. Memory grows with the square of the pairs (n^4 / 4): 96
    // electrodes take under 2 GB, 128 about 4 GB, and beyond that a desktop machine runs out.
    static constexpr int MaxElectrodes = 128;

    // Electrode positions along the line (any order, distinct), the depth of interest (0: default).
    // Throws std::invalid_argument for fewer than four electrodes, more than MaxElectrodes, or two at
    // the same position.
    // `stop`, when set while the problem is worked out, ends that soon and leaves it unusable (Stopped()).
    TDesignProblem(std::vector<double> positions, double depth, const std::atomic<bool>* stop = nullptr,
                   double dampingFactor = DefaultDampingFactor);

    int Electrodes() const { return static_cast<int>(x_.size()); }
    const std::vector<double>& Positions() const { return x_; }  // sorted
    const TCellModel& Model() const { return *model_; }
    const Eigen::MatrixXd& Jt() const { return kernels_->Jt(); }  // cells x pairs
    double Lambda() const { return lambda_; }
    bool Stopped() const { return stopped_; }

    // K of a quadripole (0 when its terms cancel).
    double GeometricFactor(const TDesignQuad& q) const;
    TPairRow Row(const TDesignQuad& q) const;
    Eigen::VectorXd Sensitivity(const TDesignQuad& q) const;  // the row g, one entry per cell

    // A = G^T G + lambda C of a design.
    Eigen::MatrixXd NormalMatrix(const std::vector<TDesignQuad>& design) const;
    // diag(R) of a design, and of the matrix A^-1 it comes from.
    Eigen::VectorXd ResolutionDiagonal(const std::vector<TDesignQuad>& design) const;
    Eigen::VectorXd ResolutionDiagonalOfInverse(const Eigen::MatrixXd& inverseA) const;
    // The same diagonal the plain way, R = A^-1 G^T G formed whole: the tests' reference.
    Eigen::VectorXd ResolutionDiagonalByFullProduct(const std::vector<TDesignQuad>& design) const;

    // diag(R) of the comprehensive set (all n(n-1)(n-2)(n-3)/8 four-electrode quadripoles), from the
    // pairs matrix W = sum of each row's pair terms' outer products: G^T G = J W J^T, so no row of G is
    // ever held and memory stays at pairs^2 + cells^2 whatever the count of quadripoles. Worked out
    // when the problem is made (lambda comes from it).
    const Eigen::VectorXd& ComprehensiveDiagonal() const { return comprehensive_; }
    // The same through explicit rows, in blocks of `block` quadripoles: the reference for small lines.
    Eigen::VectorXd ComprehensiveDiagonalByRows(int block) const;
    // Rows of the comprehensive set.
    long long ComprehensiveCount() const;

    // Mean over the target cells of diag / ComprehensiveDiagonal().
    double FigureOfMerit(const Eigen::VectorXd& diagonal) const;
    // diag / ComprehensiveDiagonal() for every cell.
    Eigen::VectorXd RelativeResolution(const Eigen::VectorXd& diagonal) const;
    // Sum over the design's readings of |g_j|, for each cell.
    Eigen::VectorXd CumulativeSensitivity(const std::vector<TDesignQuad>& design) const;

    // Every four-electrode quadripole, one per reciprocal pair, in a fixed order: for each set of
    // electrodes i < j < k < l, the dipole (A=i B=j M=k N=l), the nested (A=i M=j N=k B=l) and the
    // gamma (A=i M=j B=k N=l) arrangement.
    void ForEachQuadripole(const std::function<void(const TDesignQuad&)>& visit) const;

   private:
    std::vector<double> x_;
    std::unique_ptr<TCellModel> model_;
    std::unique_ptr<TPairKernels> kernels_;
    double lambda_ = 0;
    Eigen::VectorXd comprehensive_;
    Eigen::MatrixXd PairsMatrixOfAll(const std::atomic<bool>* stop) const;
    bool stopped_ = false;
};

// The inverse of a symmetric positive definite matrix through its Cholesky factor (LAPACK); throws
// std::runtime_error when it is not positive definite.
Eigen::MatrixXd SymmetricInverse(const Eigen::MatrixXd& a);
// The same by Eigen's Cholesky solve of the identity: the plain reference.
Eigen::MatrixXd SymmetricInverseByLlt(const Eigen::MatrixXd& a);
