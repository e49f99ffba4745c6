// Sensitivity kernels of a homogeneous half-space (resistivity 1) with surface electrodes on the line
// z = 0, for cells infinite along strike (2.5D). The pole-pole kernel of electrodes P and Q over a
// region W is the derivative of the transfer resistance R_PQ = 1 / (2 pi |PQ|) with respect to the log
// resistivity of W:
//     J_PQ(W) = 1 / (4 pi^2) * integral over W (and all of y) of grad(1/r_P) . grad(1/r_Q).
// A quadripole's kernel combines four of these (see resolution.h).
#pragma once

#include <Eigen/Core>
#include <atomic>
#include <vector>

#include "design/cellmodel.h"

// Carlson's symmetric elliptic integral R_D(x, y, z) = 3/2 * int_0^inf dt / ((t+x)^1/2 (t+y)^1/2 (t+z)^3/2),
// x, y >= 0 (at most one of them 0), z > 0; relative error near the double precision.
double CarlsonRD(double x, double y, double z);

// The kernel density at (x, z), z >= 0, already integrated along strike: per unit area of the (x, z)
// plane. Closed form through R_D; infinite at an electrode, where it grows like 1 / r.
double PolePoleDensity(double x, double z, double xp, double xq);
// The same by quadrature along strike: the plain reference the closed form is checked against.
double PolePoleDensityByQuadrature(double x, double z, double xp, double xq);

// J_PQ over one cell. A cell with an electrode at a corner integrates the 1 / r singularity exactly
// with a Duffy transform (the corner's triangles mapped from squares, the Jacobian cancelling 1 / r);
// an electrode on an edge splits the cell there; others use Gauss-Legendre with more points the nearer
// an electrode lies, and cells very near an electrode are subdivided. Relative error well below 1e-3.
double PolePoleCell(const TCell& cell, double xp, double xq);
// The same by brute force: `n` x `n` midpoint sub-cells, for cells that no electrode touches.
double PolePoleCellByMidpoints(const TCell& cell, double xp, double xq, int n);

// Index of the unordered pair (i, j), i != j, of n electrodes: 0 .. n (n - 1) / 2 - 1.
inline int PairIndex(int n, int i, int j) {
    if (i > j) std::swap(i, j);
    return i * n - i * (i + 1) / 2 + (j - i - 1);
}
inline int PairCount(int n) { return n * (n - 1) / 2; }

// The pole-pole kernels of every pair of electrodes over every cell: column PairIndex(i, j) holds
// J_ij of each cell. Computed on all cores; `stop`, when set, ends the work early (the result is then
// incomplete and Stopped() says so).
class TPairKernels {
   public:
    TPairKernels(const TCellModel& model, const std::vector<double>& positions,
                 const std::atomic<bool>* stop = nullptr);
    const Eigen::MatrixXd& Jt() const { return jt_; }  // cells x pairs
    int Electrodes() const { return n_; }
    bool Stopped() const { return stopped_; }

   private:
    Eigen::MatrixXd jt_;
    int n_;
    bool stopped_ = false;
};
