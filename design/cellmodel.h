// The ground under a line as the resolution of a design sees it: rectangular cells in (x, depth),
// infinite along the line's strike, under surface electrodes on a straight line. Lengths are in the
// sequence's own unit; depth is positive downwards.
#pragma once

#include <Eigen/SparseCore>
#include <vector>

struct TCell {
    double X0, X1;  // left and right edge
    double Z0, Z1;  // top and bottom (Z0 < Z1)
    bool Target;    // inside the area a design is judged on
};

// How the cells are laid out. Each choice is made once, here, for the reasons given.
struct TCellLayout {
    // Two columns per electrode spacing: edges at every electrode and half-way between, so that an
    // electrode only ever sits on the corner of a cell (where the kernel's singular rule applies) and
    // a column is no wider than the smallest dipole can tell apart.
    static constexpr int ColumnsPerGap = 2;
    // The first layer is half a spacing thick and each next one 10 % thicker: resolution falls with
    // depth, so finer layers below would only add cells that no reading can tell apart.
    static constexpr double FirstLayerPerSpacing = 0.5;
    static constexpr double LayerGrowth = 1.1;
    // Padding: the kernels of the outer electrodes reach beyond the line and below the depth of
    // interest; cells there take up that sensitivity instead of pushing it into the target cells.
    // Three columns each side, a, 2a and 4a wide, and one layer as thick as the depth of interest.
    static constexpr int PaddingColumns = 3;
    // Default depth of interest, as a share of the line's length: about the median depth of the
    // deepest readings a standard design of the line makes.
    static constexpr double DefaultDepthPerLength = 0.2;
};

class TCellModel {
   public:
    // Cells under electrodes at `positions` (sorted, at least two distinct) down to `depth` (0 or less:
    // the default share of the line's length).
    TCellModel(const std::vector<double>& positions, double depth);
    // Cells exactly as given (for tests on other grids); the smoothness links cells that share an edge.
    explicit TCellModel(std::vector<TCell> cells);

    const std::vector<TCell>& Cells() const { return cells_; }
    int Size() const { return static_cast<int>(cells_.size()); }
    double Depth() const { return depth_; }
    double Spacing() const { return spacing_; }
    const std::vector<int>& TargetCells() const { return target_; }

    // The smoothness operator C = Dx^T Dx + Dz^T Dz + Ridge I: first differences of log resistivity
    // between cells sharing an edge, unweighted (the model parameter is dimensionless), plus a ridge
    // so that A = G^T G + lambda C of an empty design stays invertible.
    const Eigen::SparseMatrix<double>& Smoothness() const { return smooth_; }
    static constexpr double Ridge = 1e-3;

   private:
    void Finish();
    std::vector<TCell> cells_;
    std::vector<int> target_;
    Eigen::SparseMatrix<double> smooth_;
    double depth_ = 0;
    double spacing_ = 0;
};
