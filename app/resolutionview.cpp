#include "app/resolutionview.h"

#include <stdexcept>

#include "design/resolution.h"
#include "design/sequencedesign.h"

TResolutionCache::TResolutionCache() = default;
TResolutionCache::~TResolutionCache() = default;

std::vector<double> TResolutionCache::KeyOf(const TSequence& seq, bool& judged) {
    std::vector<double> key;
    judged = false;
    try {
        const TDesignElectrodes e = DesignElectrodes(seq);
        const std::vector<TDesignQuad> design = DesignOfSequence(seq, e);
        key.reserve(1 + e.X.size() * 2 + design.size() * 4);
        key.push_back(static_cast<double>(e.X.size()));
        key.insert(key.end(), e.X.begin(), e.X.end());
        for (int n : e.Number) key.push_back(n);
        for (const TDesignQuad& q : design)
            key.insert(key.end(), {double(q.A), double(q.B), double(q.M), double(q.N)});
        judged = true;
    } catch (const std::invalid_argument&) {
    }
    return key;
}

bool TResolutionCache::Holds(const TSequence& seq) const {
    bool judged = false;
    const std::vector<double> key = KeyOf(seq, judged);
    if (!judged) return true;  // refused at once
    for (const TEntry& e : entries_)
        if (e.Key == key) return true;
    return false;
}

bool TResolutionCache::Of(const TSequence& seq, TResolutionPicture& picture, QString& refused) {
    const QString name = QString::fromStdString(RecordTextUtf8(seq.Name.Get()));
    TDesignElectrodes electrodes;
    std::vector<TDesignQuad> design;
    try {
        electrodes = DesignElectrodes(seq);
        design = DesignOfSequence(seq, electrodes);
    } catch (const std::invalid_argument& e) {
        refused = QString::fromStdString(e.what());
        return false;
    }
    bool judged = false;
    const std::vector<double> key = KeyOf(seq, judged);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->Key != key) continue;
        entries_.splice(entries_.begin(), entries_, it);  // most recent first
        picture = it->Picture;
        picture.Name = name;  // a renamed sequence keeps its resolution
        return true;
    }
    try {
        if (problem_ == nullptr || problemPositions_ != electrodes.X) {
            problem_.reset();  // its memory back before the next one takes as much
            problem_ = std::make_unique<TDesignProblem>(electrodes.X, 0.0);
            problemPositions_ = electrodes.X;
        }
        const TDesignProblem& problem = *problem_;
        const Eigen::VectorXd diagonal = problem.ResolutionDiagonal(design);
        const Eigen::VectorXd relative = problem.RelativeResolution(diagonal);
        TResolutionPicture made;
        made.Name = name;
        made.Figure = problem.FigureOfMerit(diagonal);
        made.Readings = static_cast<int>(design.size());
        made.Electrodes = electrodes.X;
        made.ElectrodeNumbers = electrodes.Number;
        // The target cells: the line's span down to the depth of interest, the area the figure is the
        // mean over. The padding outside only takes up sensitivity and would crowd the picture.
        for (int c = 0; c < problem.Model().Size(); ++c) {
            const TCell& cell = problem.Model().Cells()[static_cast<std::size_t>(c)];
            if (cell.Target) made.Cells.push_back({cell.X0, cell.X1, cell.Z0, cell.Z1, relative(c)});
        }
        entries_.push_front({key, std::move(made)});
        if (entries_.size() > Kept) entries_.pop_back();
    } catch (const std::invalid_argument& e) {
        problem_.reset();
        refused = QString::fromStdString(e.what());
        return false;
    } catch (const std::runtime_error& e) {
        problem_.reset();
        refused = QString::fromStdString(e.what());
        return false;
    } catch (const std::bad_alloc&) {
        problem_.reset();
        refused = QStringLiteral("not enough memory for a line of %1 electrodes").arg(electrodes.X.size());
        return false;
    }
    picture = entries_.front().Picture;
    return true;
}
