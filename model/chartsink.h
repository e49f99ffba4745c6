// What the generator needs from a chart: clear it, add one point, and tell which view it shows.
// The chart frame of the desktop program implements it; tests record the calls.
#pragma once

#include <string>

enum class TChartView : int {
    Level = 0,
    InvestigationDepth = 1,
    GeometricFactor = 2,
    CableArray = 3,
    MedianDepth = 4
};

class TChartSink {
   public:
    virtual ~TChartSink() = default;
    virtual void ClearChart() = 0;
    // Series number n (from 1), colour index c, left axis inverted or not, the point's label, its
    // value y and its abscissa x (the value comes before the abscissa).
    virtual void AddPoint(int n, int c, bool inverted, const std::string& label, double y, double x) = 0;
    virtual int ViewIndex() const = 0;
    // A chart that draws nothing spares the generator the labels and plotted values.
    virtual bool WantsPoints() const { return true; }
};

// A chart that ignores everything (generation without a preview).
class TNullChartSink final : public TChartSink {
   public:
    void ClearChart() override {}
    void AddPoint(int, int, bool, const std::string&, double, double) override {}
    int ViewIndex() const override { return 0; }
    bool WantsPoints() const override { return false; }
};
