#include "design/sequencedesign.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>

#include "model/chartsink.h"
#include "model/generate.h"

int TDesignElectrodes::IndexOf(int number) const {
    for (std::size_t i = 0; i < Number.size(); ++i)
        if (Number[i] == number) return static_cast<int>(i);
    return -1;
}

TDesignElectrodes DesignElectrodes(const TSequence& seq) {
    // Its lines lie side by side: electrodes of different lines share abscissas, not positions.
    if (seq.GridLineX > 1)
        throw std::invalid_argument("a 3D grid of " + std::to_string(seq.GridLineX) +
                                    " lines is not one line, which the resolution is worked out for");
    std::vector<std::pair<double, int>> placed;
    for (int k = 1; k < MaxElectrodes; ++k) {
        const TElectrode& e = seq.Electrodes[k];
        if (e.Type == static_cast<int16_t>(TElectrodeType::Active) && std::isfinite(e.X))
            placed.emplace_back(e.X, k);
    }
    std::sort(placed.begin(), placed.end());
    if (placed.size() < 4) throw std::invalid_argument("fewer than four electrodes are placed");
    TDesignElectrodes out;
    for (std::size_t i = 0; i < placed.size(); ++i) {
        // Positions are matched within 0.01 everywhere else in the program.
        if (i > 0 && placed[i].first - placed[i - 1].first < 0.01)
            throw std::invalid_argument("electrodes " + std::to_string(placed[i - 1].second) + " and " +
                                        std::to_string(placed[i].second) + " share a position");
        out.X.push_back(placed[i].first);
        out.Number.push_back(placed[i].second);
    }
    return out;
}

std::vector<TDesignQuad> DesignOfSequence(const TSequence& seq, const TDesignElectrodes& e) {
    std::vector<int> index(MaxElectrodes, -2);
    for (std::size_t i = 0; i < e.Number.size(); ++i) index[e.Number[i]] = static_cast<int>(i);
    auto at = [&](int number, int q) {
        if (number == 0 || (number > 0 && number < MaxElectrodes &&
                            seq.Electrodes[number].Type == static_cast<int16_t>(TElectrodeType::Remote)))
            return -1;
        if (number < 0 || number >= MaxElectrodes || index[number] == -2)
            throw std::invalid_argument("quadripole " + std::to_string(q + 1) + " uses electrode " +
                                        std::to_string(number) + ", which is not placed");
        return index[number];
    };
    std::vector<TDesignQuad> design;
    const int count = std::clamp(seq.NbQuadripole, 0, MaxQuadripoles);
    for (int q = 0; q < count; ++q) {
        const TQuadripole& r = seq.Quadripoles[q];
        TDesignQuad d{at(r.A, q), at(r.B, q), at(r.M, q), at(r.N, q)};
        const int real[] = {d.A, d.B, d.M, d.N};
        for (int s = 0; s < 4; ++s)
            for (int t = s + 1; t < 4; ++t)
                if (real[s] >= 0 && real[s] == real[t])
                    throw std::invalid_argument("quadripole " + std::to_string(q + 1) +
                                                " uses an electrode twice");
        if ((d.A < 0 && d.B < 0) || (d.M < 0 && d.N < 0))
            throw std::invalid_argument("quadripole " + std::to_string(q + 1) +
                                        " has no real current or potential electrode");
        design.push_back(d);
    }
    return design;
}

bool PlaceDesignElectrodes(TSequence& seq) {
    // The generator places the electrodes, then lists nothing for an array with no level chosen. Its
    // preconditions do not look at the array or the levels, so the copy is refused when seq would be.
    auto copy = std::make_unique<TSequence>(seq);
    TSequence& work = *copy;
    work.ArrayType = static_cast<int32_t>(TArrayType::DipoleDipole);
    for (int s = 0; s < MaxSpacings; ++s) work.LevelUsed[s] = 0;
    TNullChartSink chart;
    std::optional<TGenerationProblem> refused;
    GenerateSequence(work, ModeCreate, chart, refused);
    if (refused) return false;
    work.ArrayType = OptimisedArrayType;
    work.NbQuadripole = 0;
    for (auto& q : work.Quadripoles) q.MakeEmpty();
    seq = work;
    return true;
}

void WriteDesign(TSequence& seq, const TDesignElectrodes& e, const std::vector<TDesignQuad>& design) {
    if (design.size() > static_cast<std::size_t>(MaxQuadripoles))
        throw std::length_error("more than " + std::to_string(MaxQuadripoles) + " quadripoles");
    std::vector<TQuadripole> quads;
    auto number = [&](int i) { return static_cast<int16_t>(i < 0 ? 0 : e.Number[i]); };
    for (const TDesignQuad& d : design) {
        TQuadripole q;
        q.MakeEmpty();
        q.A = number(d.A);
        q.B = number(d.B);
        q.M = number(d.M);
        q.N = number(d.N);
        quads.push_back(q);
    }
    std::sort(quads.begin(), quads.end(), [](const TQuadripole& x, const TQuadripole& y) {
        return std::tie(x.A, x.B, x.M, x.N) < std::tie(y.A, y.B, y.M, y.N);
    });
    for (auto& q : seq.Quadripoles) q.MakeEmpty();
    std::copy(quads.begin(), quads.end(), seq.Quadripoles);
    seq.NbQuadripole = static_cast<int32_t>(quads.size());
    seq.ArrayType = OptimisedArrayType;
}
