// The resolution of the sequences shown in the "Resolution" view, worked out once per sequence and
// kept: switching views or between two designs to compare them is then instant. Everything runs on the
// user-interface thread, outside any drawing; the host shows a busy cursor while Of() computes.
#pragma once

#include <QString>
#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include "charts/graphreportframe.h"
#include "model/sequence.h"

class TDesignProblem;

class TResolutionCache {
   public:
    TResolutionCache();
    ~TResolutionCache();
    TResolutionCache(const TResolutionCache&) = delete;
    TResolutionCache& operator=(const TResolutionCache&) = delete;

    // The picture of the sequence's design, or, when the design cannot be judged (too few electrodes
    // placed, too many, two at one place, a quadripole on an electrode not placed), false with the
    // reason in `refused`.
    bool Of(const TSequence& seq, TResolutionPicture& picture, QString& refused);
    // Whether Of() would answer without computing.
    bool Holds(const TSequence& seq) const;

   private:
    struct TEntry {
        std::vector<double> Key;  // the electrodes' positions, then each reading's electrode indices
        TResolutionPicture Picture;
    };
    static std::vector<double> KeyOf(const TSequence& seq, bool& judged);
    // A few pictures: enough to go back and forth between the designs being compared.
    static constexpr std::size_t Kept = 16;
    std::list<TEntry> entries_;
    // The last line's problem (kernels and the comprehensive set's resolution): the costly part, the
    // same for every design on those electrodes.
    std::vector<double> problemPositions_;
    std::unique_ptr<TDesignProblem> problem_;
};
