// A chart that takes every point as a live preview does, counting them and folding their values into
// a sum (so that nothing the generator computes for the chart can be optimised away), without drawing.
#pragma once

#include <string>

#include "model/chartsink.h"

class TCountingSink : public TChartSink {
   public:
    explicit TCountingSink(int view = 0) : view_(view) {}
    void ClearChart() override { Points = 0; }
    void AddPoint(int, int, bool, const std::string& label, double y, double x) override {
        ++Points;
        Sum += static_cast<double>(label.size()) + y + x;
    }
    int ViewIndex() const override { return view_; }

    long Points = 0;
    double Sum = 0;

   private:
    int view_;
};
