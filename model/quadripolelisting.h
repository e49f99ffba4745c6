// The quadripoles a listing writes, one by one: the entry, the deepest-level position of its spacing,
// the count and the chart, stopping at the 16,000 cap. Shared by the listings that are not the line
// generator's own fast path (the multiple gradient's and the grids').
#pragma once

#include <cstdint>
#include <string>

#include "model/chartsink.h"
#include "model/geometry.h"
#include "model/sequence.h"

class TQuadripoleListing {
   public:
    TQuadripoleListing(TSequence& seq, TChartSink& chart)
        : seq_(seq), chart_(chart), view_(chart.ViewIndex()), charting_(chart.WantsPoints()) {}

    // Writes A B M N of spacing s and level `level`; when it is the deepest level, the cursor's place
    // (x, y) becomes the spacing's deepest position. False once the table is full.
    bool Add(int a, int b, int m, int n, int s, int level, bool deepest, float x, float y) {
        if (count_ >= MaxQuadripoles) return false;
        TQuadripole& q = seq_.Quadripoles[count_++];
        q.A = static_cast<int16_t>(a);
        q.B = static_cast<int16_t>(b);
        q.M = static_cast<int16_t>(m);
        q.N = static_cast<int16_t>(n);
        q.SpacingIndex = static_cast<int8_t>(s);
        q.Level = static_cast<int8_t>(level);
        q.Reserved = -1;
        seq_.NbQuadripole = count_;
        if (deepest) {
            seq_.DeepestX[s] = x;
            seq_.DeepestY[s] = y;
        }
        if (charting_) {
            try {
                FormatQuadripoleLabel(q, "-", label_);
                chart_.AddPoint((s + 1) * level, s, true, label_, ChartValue(seq_, q, view_),
                                PseudoX(seq_, q));
            } catch (...) {
                // A chart that cannot draw a point does not lose the quadripole.
            }
        }
        return count_ < MaxQuadripoles;
    }
    // The same, the cursor being electrode `cursor`.
    bool Add(int a, int b, int m, int n, int s, int level, bool deepest, int cursor) {
        return Add(a, b, m, n, s, level, deepest, seq_.Electrodes[cursor].X, seq_.Electrodes[cursor].Y);
    }

    int Count() const { return count_; }

   private:
    TSequence& seq_;
    TChartSink& chart_;
    int view_;
    bool charting_;
    int count_ = 0;
    std::string label_;
};
