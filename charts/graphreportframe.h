// The chart frame: draws one sequence in one of five views ("Level", "Investigation depth",
// "Geometric factor", "Cable array", "Median depth") and takes points one by one while a sequence is
// generated. A host that can work out the resolution of a design adds a sixth, "Resolution", and draws it
// itself. It speaks in model terms; the plotting library stays inside charts/.
//
// Bursts cost one replot: AddPoint only queues a redraw for the next turn of the event loop, and
// DrawSequence redraws once at its end. Everything runs on the user-interface thread.
#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <string>
#include <vector>

#include "model/chartsink.h"
#include "model/gridlayout.h"
#include "model/sequence.h"

class QComboBox;
class QLabel;
class QMouseEvent;
class QPrinter;
class QToolButton;
class QCustomPlot;
class QCPTextElement;
class TPointCloud;
class TCellMap;
class QCPColorScale;
class TPrompts;

// Axis numbers ("####0.##": no thousands separator, at most two decimals, trailing zeros dropped) and
// the hover readout ("0.0#": the same with at least one decimal), in the default locale.
QString FormatChartValue(double v);
QString FormatReadoutValue(double v);

// The resolution of a design as the chart draws it: cells of the ground under the line, each with
// its resolution relative to that of every quadripole of the same electrodes (0 to 1), the electrodes'
// positions, and the figure of merit. Lengths in the sequence's unit, depth positive downwards.
struct TResolutionCell {
    double X0, X1, Z0, Z1;
    double Relative;
};
struct TResolutionPicture {
    QString Name;
    std::vector<TResolutionCell> Cells;
    std::vector<double> Electrodes;
    std::vector<int> ElectrodeNumbers;  // parallel to Electrodes
    double Figure = 0;
    int Readings = 0;
};

class TGraphReportFrame : public QWidget, public TChartSink {
    Q_OBJECT
   public:
    explicit TGraphReportFrame(QWidget* parent = nullptr);
    ~TGraphReportFrame() override;

    // TChartSink: destroy every series, PointCount = 0, status label and title emptied.
    void ClearChart() override;
    // Series n (from 1, created on demand), colour index c, left axis inverted or not, label, y, x.
    // A series number below 1 names no series: the point is ignored.
    void AddPoint(int n, int c, bool inverted, const std::string& label, double y, double x) override;
    int ViewIndex() const override { return viewIndex_; }

    // Draws the record in the current view. Returns false (and shows "Error on Quadripole i") when a
    // quadripole cannot be computed; points added before stay. One replot for the whole drawing.
    // The title shows the sequence's name beside the point count.
    bool DrawSequence(const TSequence& seq);
    // The name the title shows while points come one by one (a generation); DrawSequence sets it too.
    void SetSequenceName(const QString& name);
    // What the points coming one by one belong to (a generation): the legend names its lengths and
    // the first view's axis says whether it plots metres or level numbers. DrawSequence does this itself.
    void SetSequenceShown(const TSequence& seq);
    // Draws several sequences on one chart, each in its own colour and named in the legend (the
    // whole set of a roll-along survey); the cable array view gives each sequence a row. Repeated
    // positions are not marked: sequences of a survey overlap by design. `names` and `places` run
    // parallel to `seqs`; a sequence's place chooses its colour (SetColour), its list index when none.
    bool DrawSet(const std::vector<const TSequence*>& seqs, const QStringList& names,
                 const QList<int>& places = {});
    // The colour a sequence of DrawSet is drawn in (its place in the list).
    static QColor SetColour(int place);
    void SetViewIndex(int view);  // also selects the combo box row, draws nothing

    // The row of the "Resolution" view, which only a host that computes resolutions offers
    // (AddResolutionView); DrawSequence leaves that view empty.
    static constexpr int ResolutionView = 5;
    void AddResolutionView();
    // The cells coloured by relative resolution on a fixed scale from 0 to 1 (so that two designs
    // compare at a glance), the electrodes on top, the figure of merit in the title.
    void DrawResolution(const TResolutionPicture& picture);
    // The view empty, the title saying why the sequence has no resolution.
    void ShowResolutionRefused(const QString& name, const QString& reason);
    int CellCount() const;
    bool ResolutionScaleShown() const;  // the colour scale of DrawResolution, drawn only with its cells
    QColor CellColour(int i) const;     // as drawn

    int PointCount() const { return pointCount_; }
    // The title as the next drawing shows it (it is set once a drawing, not once a point).
    QString Title() const;
    // The legend's entries as shown (one a line), and whether the user has it shown.
    QString LegendText() const;
    bool LegendShown() const;
    QString StatusText() const;
    // For tests and hosts: the chart's series and points as drawn.
    int SeriesCount() const;
    int SeriesPointCount(int n) const;       // n from 1
    QColor PointColour(int n, int i) const;  // fill colour of point i of series n
    QString PointLabel(int n, int i) const;
    QPointF PointValue(int n, int i) const;  // (x, y) of point i of series n in chart units
    bool LeftAxisInverted() const;
    // The titles of the bottom and left axes.
    QStringList AxisTitles() const;
    // The hover readout at a pixel position of the plot (what Chart1MouseMove does); returns the hint.
    QString HoverAt(const QPoint& pixel);
    // Pixel position of point i of series n (for tests of the hover readout), in the plot's own
    // coordinates, as the next replot will draw it.
    QPoint PointPixel(int n, int i) const;
    void UndoZoom();
    // Writes the chart as PNG or PDF by the file's extension; false on failure. A width or height of
    // 0 takes the chart's size on screen.
    bool SavePicture(const QString& path, int width = 0, int height = 0);
    // Prints the chart on this printer, scaled to the page; false when the printer cannot be opened.
    bool PrintChart(QPrinter& printer);
    // Runs a queued replot now (hosts that time or grab the chart right after a burst of points).
    void FlushReplot();
    // The plotting widget itself, for hosts that grab screenshots.
    QWidget* ChartWidget() const;
    // The prompts the frame's own messages and file chooser go through (not owned; the host's).
    void SetPrompts(TPrompts* prompts) { prompts_ = prompts; }

    // A 3D grid (GridLineX not 0) is drawn one line at a time, or as a plan of its readings: the
    // chooser lists "Plan of the readings" and then every line that has readings. A change redraws
    // through viewChanged, as a change of view does. Hidden for a line.
    QComboBox* LineCmb = nullptr;
    QLabel* LineLbl = nullptr;  // "Line:", LineCmb's buddy
    // Whether the last DrawSequence drew a grid's plan (x, y of each reading's centre, coloured by level).
    bool PlanShown() const { return planShown_; }

    QComboBox* ComboBox1 = nullptr;            // view list; hosts connect to viewChanged instead
    QToolButton* ToolButton2 = nullptr;        // "Undo zoom"
    QToolButton* ToolButton3 = nullptr;        // "Print"
    QToolButton* ToolButton7 = nullptr;        // table button; its action is the host's (tableRequested)
    QToolButton* SavePictureButton = nullptr;  // "Save picture..."
    QToolButton* LegendBtn = nullptr;          // "Legend": shows or hides the legend
    QLabel* GraphReportSTxt = nullptr;         // status label: the readout of the point under the pointer
    QLabel* LegendLbl = nullptr;               // what the colours and symbols mean

   signals:
    // The view was changed in ComboBox1 (after ViewIndex was updated): hosts redraw.
    void viewChanged(int view);
    void tableRequested();
    // A message for the user ("Error on Quadripole 7", a picture that could not be written). It goes
    // to the host's prompts when the frame has them; the signal is raised either way.
    void messageRequested(const QString& text);

   protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

   private:
    void ApplyAxisTitles();
    void AddPointWithDetails(int n, int c, bool inverted, const std::string& label, double y, double x,
                             float k, float depth);
    void AddColouredPoint(int n, uint8_t colour, bool markRepeats, bool inverted, const std::string& label,
                          double y, double x, float k, float depth);
    // The pseudo-section points of one sequence; false (with "Error on Quadripole i") when one cannot be
    // drawn.
    bool AddQuadripolePoints(const TSequence& seq, int setPlace, const std::string& prefix);
    // A grid's readings in plan, one colour per level.
    void AddPlanPoints(const TSequence& seq);
    // Lists the grid's lines in LineCmb, keeping the choice when the list is the same.
    void FillLineChooser(const TSequence& seq);
    void LineCmbChange(int row);
    void UpdateLegend();
    QString TitleText() const;
    void ComboBox1Change(int row);
    void ToolButton2Click();
    void ToolButton3Click();
    void ToolButton7Click();
    void SavePictureButtonClick();
    void Chart1MouseMove(QMouseEvent* event);
    void ShowMessage(const QString& text);
    void QueueReplot();
    void ApplyFullExtent();

    QCustomPlot* Chart1 = nullptr;
    QCPTextElement* title_ = nullptr;
    TCellMap* cells_ = nullptr;       // owned by Chart1
    QCPColorScale* scale_ = nullptr;  // in the plot's layout only while cells are drawn
    QString fixedTitle_;              // a view whose title is not the point count
    TPointCloud* points_ = nullptr;   // owned by Chart1
    int viewIndex_ = 0;
    int pointCount_ = 0;
    bool replotQueued_ = false;
    bool zoomed_ = false;  // the user zoomed in; new points keep that view
    TPrompts* prompts_ = nullptr;
    QString name_;               // the sequence shown, for the title
    bool segmentRows_ = false;   // the cable array drawn one row per segment
    bool levelInMetres_ = true;  // the first view plots a pseudo-depth (an array with geometry)
    QString colourNames_[7];     // what each point colour means in the drawing shown
    QStringList setNames_;       // the sequences of a DrawSet, and the places that give their colours
    QList<int> setPlaces_;
    // LineCmb's rows after the plan: which line each shows.
    struct TLineChoice {
        TGridLineKind Kind;
        int Index;
    };
    std::vector<TLineChoice> lineChoices_;
    bool planShown_ = false;
    const TLineChoice* lineShown_ = nullptr;  // the line DrawSequence draws alone, if any
};
