#include "design/cellmodel.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

// Edges within this share of a spacing are the same edge.
constexpr double EdgeTolerance = 1e-9;

double MedianGap(const std::vector<double>& x) {
    std::vector<double> gaps;
    for (std::size_t i = 1; i < x.size(); ++i)
        if (x[i] - x[i - 1] > 0) gaps.push_back(x[i] - x[i - 1]);
    if (gaps.empty()) throw std::invalid_argument("the electrodes need at least two distinct positions");
    std::nth_element(gaps.begin(), gaps.begin() + static_cast<long>(gaps.size() / 2), gaps.end());
    return gaps[gaps.size() / 2];
}

bool Near(double a, double b, double scale) { return std::fabs(a - b) <= EdgeTolerance * scale; }

}  // namespace

TCellModel::TCellModel(const std::vector<double>& positions, double depth) {
    std::vector<double> x = positions;
    std::sort(x.begin(), x.end());
    x.erase(std::unique(x.begin(), x.end()), x.end());
    spacing_ = MedianGap(x);
    const double a = spacing_;
    const double length = x.back() - x.front();
    depth_ = depth > 0 ? depth : TCellLayout::DefaultDepthPerLength * length;
    depth_ = std::max(depth_, TCellLayout::FirstLayerPerSpacing * a);

    std::vector<double> xe;  // column edges
    double pad = 0;
    for (int k = TCellLayout::PaddingColumns - 1; k >= 0; --k) pad += a * std::ldexp(1.0, k);
    double at = x.front() - pad;
    for (int k = TCellLayout::PaddingColumns - 1; k >= 0; --k) {
        xe.push_back(at);
        at += a * std::ldexp(1.0, k);
    }
    for (std::size_t i = 0; i + 1 < x.size(); ++i)
        for (int c = 0; c < TCellLayout::ColumnsPerGap; ++c)
            xe.push_back(x[i] + (x[i + 1] - x[i]) * c / TCellLayout::ColumnsPerGap);
    xe.push_back(x.back());
    at = x.back();
    for (int k = 0; k < TCellLayout::PaddingColumns; ++k) {
        at += a * std::ldexp(1.0, k);
        xe.push_back(at);
    }

    std::vector<double> ze{0.0};  // layer edges
    double t = TCellLayout::FirstLayerPerSpacing * a;
    while (ze.back() + t < depth_ * (1 - 1e-6)) {
        ze.push_back(ze.back() + t);
        t *= TCellLayout::LayerGrowth;
    }
    // The last target layer ends at the depth of interest: a sliver thinner than half the layer above
    // is merged into that layer.
    if (ze.size() > 1 && depth_ - ze.back() < 0.5 * (ze.back() - ze[ze.size() - 2]))
        ze.back() = depth_;
    else
        ze.push_back(depth_);
    ze.push_back(2 * depth_);

    const double left = x.front(), right = x.back();
    for (std::size_t l = 0; l + 1 < ze.size(); ++l)
        for (std::size_t c = 0; c + 1 < xe.size(); ++c) {
            TCell cell{xe[c], xe[c + 1], ze[l], ze[l + 1], false};
            cell.Target = cell.X0 >= left - EdgeTolerance * a && cell.X1 <= right + EdgeTolerance * a &&
                          cell.Z1 <= depth_ * (1 + 1e-9);
            cells_.push_back(cell);
        }
    Finish();
}

TCellModel::TCellModel(std::vector<TCell> cells) : cells_(std::move(cells)) {
    double lo = 0, hi = 0;
    for (const TCell& c : cells_) {
        lo = std::min(lo, c.X0);
        hi = std::max(hi, c.X1);
        depth_ = std::max(depth_, c.Z1);
    }
    spacing_ = hi - lo;
    Finish();
}

void TCellModel::Finish() {
    target_.clear();
    for (int j = 0; j < Size(); ++j)
        if (cells_[j].Target) target_.push_back(j);
    // Neighbours share a whole edge. A pass over all pairs: a few thousand cells at most.
    std::vector<Eigen::Triplet<double>> entries;
    const int n = Size();
    auto link = [&](int i, int j) {
        entries.emplace_back(i, i, 1.0);
        entries.emplace_back(j, j, 1.0);
        entries.emplace_back(i, j, -1.0);
        entries.emplace_back(j, i, -1.0);
    };
    const double scale = std::max(spacing_, 1e-12);
    for (int i = 0; i < n; ++i) {
        const TCell& c = cells_[i];
        for (int j = 0; j < n; ++j) {
            const TCell& d = cells_[j];
            if (Near(c.X1, d.X0, scale) && Near(c.Z0, d.Z0, scale) && Near(c.Z1, d.Z1, scale))
                link(i, j);
            else if (Near(c.Z1, d.Z0, scale) && Near(c.X0, d.X0, scale) && Near(c.X1, d.X1, scale))
                link(i, j);
        }
        entries.emplace_back(i, i, Ridge);
    }
    smooth_.resize(n, n);
    smooth_.setFromTriplets(entries.begin(), entries.end());
}
