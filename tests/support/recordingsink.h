// A chart that records what the generator feeds it.
#pragma once

#include <string>
#include <vector>

#include "model/chartsink.h"

struct TRecordedPoint {
    int Series, Colour;
    bool Inverted;
    std::string Label;
    double Y, X;
};

class TRecordingSink : public TChartSink {
   public:
    explicit TRecordingSink(int view = 0) : view_(view) {}
    void ClearChart() override {
        ++Clears;
        Points.clear();
    }
    void AddPoint(int n, int c, bool inverted, const std::string& label, double y, double x) override {
        Points.push_back({n, c, inverted, label, y, x});
    }
    int ViewIndex() const override { return view_; }

    int Clears = 0;
    std::vector<TRecordedPoint> Points;

   private:
    int view_;
};
