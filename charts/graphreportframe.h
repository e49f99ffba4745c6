// The chart frame: draws one sequence in one of four views ("Level", "Investigation depth",
// "Geometric factor", "Cable array") and takes points one by one while a sequence is generated.
// It speaks in model terms; the plotting library stays inside charts/.
#pragma once

#include <QWidget>
#include <string>

#include "chartsink.h"
#include "sequence.h"

class QComboBox;
class QLabel;
class QToolButton;
class QCustomPlot;

class TGraphReportFrame : public QWidget, public TChartSink {
    Q_OBJECT
public:
    explicit TGraphReportFrame(QWidget* parent = nullptr);
    ~TGraphReportFrame() override;

    // TChartSink: destroy every series, PointCount = 0, status label and title emptied.
    void ClearChart() override;
    // Series n (from 1, created on demand), colour index c, left axis inverted or not, label, y, x.
    void AddPoint(int n, int c, bool inverted, const std::string& label, double y, double x) override;
    int ViewIndex() const override { return viewIndex_; }

    // Draws the record in the current view. Returns false (and shows "Error on Quadripole i") when a
    // quadripole cannot be computed; points added before stay. One replot for the whole drawing.
    bool DrawSequence(const TSequence& seq);
    void SetViewIndex(int view);   // also selects the combo box row, draws nothing

    int PointCount() const { return pointCount_; }
    QString Title() const;
    QString StatusText() const;
    // For tests and hosts: the chart's series and points as drawn.
    int SeriesCount() const;
    int SeriesPointCount(int n) const;       // n from 1
    QColor PointColour(int n, int i) const;  // fill colour of point i of series n
    QString PointLabel(int n, int i) const;
    bool LeftAxisInverted() const;
    // The hover readout at a pixel position of the plot (what Chart1MouseMove does); returns the hint.
    QString HoverAt(const QPoint& pixel);
    // Pixel position of point i of series n (for tests of the hover readout).
    QPoint PointPixel(int n, int i) const;
    void UndoZoom();
    // Writes the chart as PNG or PDF by the file's extension; false on failure.
    bool SavePicture(const QString& path, int width = 0, int height = 0);

    QComboBox* ComboBox1 = nullptr;     // view list; hosts connect to viewChanged instead
    QToolButton* ToolButton2 = nullptr; // "Undo zoom"
    QToolButton* ToolButton3 = nullptr; // "Print"
    QToolButton* ToolButton7 = nullptr; // table button; its action is the host's (tableRequested)
    QToolButton* SavePictureButton = nullptr;  // "Save picture..."
    QLabel* GraphReportSTxt = nullptr;  // status label

signals:
    // The view was changed in ComboBox1 (after ViewIndex was updated): hosts redraw.
    void viewChanged(int view);
    void tableRequested();

private:
    // ... implementation details of the helper's choice
    int viewIndex_ = 0;
    int pointCount_ = 0;
};
