#include "charts/graphreportframe.h"

#include <qcustomplot.h>

#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPrintDialog>
#include <QPrinter>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <set>
#include <unordered_set>
#include <utility>
#include <vector>

#include "model/cable.h"
#include "model/geometry.h"
#include "model/grid3d.h"
#include "qtsupport/prompts.h"

namespace {

// Pointer style by series number modulo 5. The figure is how far the pointer reaches from its centre,
// so a pointer of 3 is 7 pixels across: small enough for 16,000 points, large enough to show its fill.
struct TPointStyle {
    QCPScatterStyle::ScatterShape Shape;
    int Size;
};
constexpr TPointStyle PointStyles[5] = {
    {QCPScatterStyle::ssTriangle, 3},          // 0 triangle
    {QCPScatterStyle::ssCircle, 3},            // 1 circle
    {QCPScatterStyle::ssSquare, 2},            // 2 rectangle
    {QCPScatterStyle::ssTriangleInverted, 3},  // 3 down triangle
    {QCPScatterStyle::ssDiamond, 3},           // 4 diamond
};
double DrawnSize(int size) { return 2.0 * size + 1.0; }

// Point colours: the four of the colour table, grey for any other index, and the red and white that
// mark points sharing an abscissa.
enum TPointColour : uint8_t { Lime, Yellow, Blue, Fuchsia, Grey, Red, White, ColourCount };
// The colours of the sequences of a whole-set drawing follow the seven: ten that stay apart on white
// and for most colour-blind readers, used in turn.
constexpr int SetPaletteSize = 10;
constexpr int AllColours = ColourCount + SetPaletteSize;
// Lime and yellow are drawn a shade deeper than the pure colours, which read poorly on white.
const QColor ColourRgb[AllColours] = {
    QColor(0, 200, 0),        QColor(230, 175, 0),      QColor(0, 0, 255),        QColor(255, 0, 255),
    QColor(128, 128, 128),    QColor(255, 0, 0),        QColor(255, 255, 255),    QColor(0x4e, 0x79, 0xa7),
    QColor(0xf2, 0x8e, 0x2b), QColor(0x59, 0xa1, 0x4f), QColor(0xb0, 0x7a, 0xa1), QColor(0x76, 0xb7, 0xb2),
    QColor(0x9c, 0x75, 0x5f), QColor(0xed, 0xc9, 0x48), QColor(0xe1, 0x57, 0x59), QColor(0x33, 0x33, 0x99),
    QColor(0x66, 0x99, 0x00),
};
uint8_t SetColourCode(int place) { return static_cast<uint8_t>(ColourCount + place % SetPaletteSize); }
uint8_t ColourOfIndex(int c) { return (c >= 0 && c <= 3) ? static_cast<uint8_t>(c) : uint8_t{Grey}; }
// Yellow, lime and white fills would vanish on the white wall without an outline.
const QColor OutlineColour(48, 48, 48);

// "####0.##": no thousands separator, at most two decimals, trailing zeros dropped.
// "0.0#": the same but at least one decimal.
QString FormatValue(double v, int minDecimals) {
    if (!std::isfinite(v)) return QString::number(v);
    double r = std::round(v * 100.0) / 100.0;
    if (r == 0.0) r = 0.0;  // no "-0"
    QLocale loc;
    loc.setNumberOptions(QLocale::OmitGroupSeparator);
    QString s = loc.toString(r, 'f', 2);
    const QString zero = loc.zeroDigit();
    int drop = 0;
    while (drop < 2 - minDecimals && s.endsWith(zero)) {
        s.chop(zero.size());
        ++drop;
    }
    if (drop == 2) s.chop(loc.decimalPoint().size());
    return s;
}

class TValueTicker : public QCPAxisTicker {
   protected:
    QString getTickLabel(double tick, const QLocale&, QChar, int) override { return FormatChartValue(tick); }
    int getSubTickCount(double) override { return 5; }
};

}  // namespace

QString FormatChartValue(double v) { return FormatValue(v, 0); }
QString FormatReadoutValue(double v) { return FormatValue(v, 1); }

// Every series of the chart in one plottable: per-point colours and labels, drawn in series order
// with one shape per series. Keeping plain arrays keeps 16,000 points cheap to add and to draw.
class TPointCloud : public QCPAbstractPlottable {
   public:
    using TPlace = std::pair<double, double>;
    struct TPlaceHash {
        std::size_t operator()(const TPlace& p) const {
            const std::size_t h = std::hash<double>{}(p.first);
            return h ^ (std::hash<double>{}(p.second) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
        }
    };
    struct TSeries {
        QCPScatterStyle::ScatterShape Shape = QCPScatterStyle::ssCircle;
        double Size = DrawnSize(3);
        std::vector<double> X, Y;
        std::vector<uint8_t> Colour;
        std::vector<std::string> Label;
        // Of a drawn quadripole: its signed geometric factor and investigation depth; NaN for points
        // that came alone (a generation's feed knows only label and place).
        std::vector<float> K, Depth;
        // The places taken: a point repeats one when both its abscissa and its value are the same.
        std::unordered_set<TPlace, TPlaceHash> Places;
        uint8_t LastColour() const { return Colour.empty() ? uint8_t{Grey} : Colour.back(); }
    };

    TPointCloud(QCPAxis* keyAxis, QCPAxis* valueAxis) : QCPAbstractPlottable(keyAxis, valueAxis) {
        setSelectable(QCP::stNone);
        setAntialiasedScatters(false);
    }

    void Clear() {
        Series.clear();
        MinX = MinY = std::numeric_limits<double>::infinity();
        MaxX = MaxY = -std::numeric_limits<double>::infinity();
    }
    bool Empty() const { return !(MinX <= MaxX); }
    void Extend(double x, double y) {
        MinX = std::min(MinX, x);
        MaxX = std::max(MaxX, x);
        MinY = std::min(MinY, y);
        MaxY = std::max(MaxY, y);
    }

    double selectTest(const QPointF&, bool, QVariant*) const override { return -1; }
    QCPRange getKeyRange(bool& found, QCP::SignDomain) const override {
        found = !Empty();
        return found ? QCPRange(MinX, MaxX) : QCPRange();
    }
    QCPRange getValueRange(bool& found, QCP::SignDomain, const QCPRange&) const override {
        found = !Empty();
        return found ? QCPRange(MinY, MaxY) : QCPRange();
    }

    std::vector<TSeries> Series;
    double MinX, MaxX, MinY, MaxY;

   protected:
    void draw(QCPPainter* painter) override {
        QCPAxis* kx = mKeyAxis.data();
        QCPAxis* vy = mValueAxis.data();
        if (kx == nullptr || vy == nullptr) return;
        applyScattersAntialiasingHint(painter);
        const QRectF clip = QRectF(clipRect()).adjusted(-8, -8, 8, 8);
        const QPen outline(OutlineColour, 0);
        QBrush brushes[AllColours];
        for (int i = 0; i < AllColours; ++i) brushes[i] = QBrush(ColourRgb[i]);
        for (const TSeries& s : Series) {
            if (s.X.empty()) continue;
            QCPScatterStyle style(s.Shape, outline, Qt::NoBrush, s.Size);
            style.applyTo(painter, outline);
            int current = -1;
            for (std::size_t i = 0; i < s.X.size(); ++i) {
                const double px = kx->coordToPixel(s.X[i]);
                const double py = vy->coordToPixel(s.Y[i]);
                if (!clip.contains(px, py)) continue;
                if (s.Colour[i] != current) {
                    current = s.Colour[i];
                    painter->setBrush(brushes[current]);
                }
                style.drawShape(painter, px, py);
            }
        }
    }
    void drawLegendIcon(QCPPainter*, const QRectF&) const override {}
};

namespace {
// Relative resolution from 0 to 1, perceptually even and readable by most colour-blind users: a
// difference in colour is one in resolution wherever on the scale it lies.
QCPColorGradient ResolutionGradient() {
    QCPColorGradient g;
    g.clearColorStops();
    g.setColorStopAt(0.0, QColor(0x44, 0x01, 0x54));
    g.setColorStopAt(0.25, QColor(0x3b, 0x52, 0x8b));
    g.setColorStopAt(0.5, QColor(0x21, 0x91, 0x8c));
    g.setColorStopAt(0.75, QColor(0x5e, 0xc9, 0x62));
    g.setColorStopAt(1.0, QColor(0xfd, 0xe7, 0x25));
    g.setColorInterpolation(QCPColorGradient::ciRGB);
    return g;
}
}  // namespace

// The cells of a resolution drawing: rectangles of unequal size (layers thicken with depth), so not
// a colour map on a regular grid.
class TCellMap : public QCPAbstractPlottable {
   public:
    TCellMap(QCPAxis* keyAxis, QCPAxis* valueAxis)
        : QCPAbstractPlottable(keyAxis, valueAxis), Gradient(ResolutionGradient()) {
        setSelectable(QCP::stNone);
        setAntialiasedFill(false);
    }
    QColor Colour(double relative) const {
        return QColor::fromRgb(Gradient.color(std::clamp(relative, 0.0, 1.0), QCPRange(0, 1)));
    }
    const TResolutionCell* At(double x, double z) const {
        for (const TResolutionCell& c : Cells)
            if (x >= c.X0 && x < c.X1 && z >= c.Z0 && z < c.Z1) return &c;
        return nullptr;
    }
    double selectTest(const QPointF&, bool, QVariant*) const override { return -1; }
    QCPRange getKeyRange(bool& found, QCP::SignDomain) const override {
        found = !Cells.empty();
        double lo = std::numeric_limits<double>::infinity(), hi = -lo;
        for (const TResolutionCell& c : Cells) lo = std::min(lo, c.X0), hi = std::max(hi, c.X1);
        return found ? QCPRange(lo, hi) : QCPRange();
    }
    QCPRange getValueRange(bool& found, QCP::SignDomain, const QCPRange&) const override {
        found = !Cells.empty();
        double lo = std::numeric_limits<double>::infinity(), hi = -lo;
        for (const TResolutionCell& c : Cells) lo = std::min(lo, c.Z0), hi = std::max(hi, c.Z1);
        return found ? QCPRange(lo, hi) : QCPRange();
    }
    std::vector<TResolutionCell> Cells;
    mutable QCPColorGradient Gradient;  // its lookup table is filled on first use

   protected:
    void draw(QCPPainter* painter) override {
        QCPAxis* kx = mKeyAxis.data();
        QCPAxis* vy = mValueAxis.data();
        if (kx == nullptr || vy == nullptr) return;
        painter->setPen(Qt::NoPen);
        for (const TResolutionCell& c : Cells) {
            const QPointF a(kx->coordToPixel(c.X0), vy->coordToPixel(c.Z0));
            const QPointF b(kx->coordToPixel(c.X1), vy->coordToPixel(c.Z1));
            painter->setBrush(Colour(c.Relative));
            // Half a pixel over each edge: neighbouring cells meet without a white seam.
            painter->drawRect(QRectF(a, b).normalized().adjusted(-0.5, -0.5, 0.5, 0.5));
        }
    }
    void drawLegendIcon(QCPPainter*, const QRectF&) const override {}
};

TGraphReportFrame::TGraphReportFrame(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(2, 2, 2, 0);
    layout->addLayout(bar);

    ComboBox1 = new QComboBox(this);
    ComboBox1->addItems({"Level", "Investigation depth", "Geometric factor", "Cable array", "Median depth"});
    ComboBox1->setCurrentIndex(0);
    auto tool = [this](const QString& text, const QString& hint, const char* theme,
                       QStyle::StandardPixmap fallback) {
        auto* b = new QToolButton(this);
        b->setText(text);
        b->setToolTip(hint);
        b->setIcon(QIcon::fromTheme(QString::fromLatin1(theme), style()->standardIcon(fallback)));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setAutoRaise(true);
        return b;
    };
    ToolButton2 = tool("Undo zoom", "Undo zoom", "zoom-original", QStyle::SP_ArrowBack);
    ToolButton3 = tool("Print", "Print", "document-print", QStyle::SP_DialogYesButton);
    ToolButton7 =
        tool("Tables", "Quadripoles and electrodes", "x-office-spreadsheet", QStyle::SP_FileDialogListView);
    SavePictureButton =
        tool("Save picture...", "Save picture...", "document-save-as", QStyle::SP_DialogSaveButton);
    LegendBtn =
        tool("Legend", "Show or hide the legend", "view-list-details", QStyle::SP_FileDialogDetailedView);
    LegendBtn->setCheckable(true);
    LegendBtn->setChecked(true);
    ComboBox1->setAccessibleName("View");
    GraphReportSTxt = new QLabel(this);
    GraphReportSTxt->setObjectName("GraphReportSTxt");
    // A row of its own, read from the left: a narrow window cuts its end, never its middle. Its text
    // never widens the frame (nor the window holding it).
    GraphReportSTxt->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    GraphReportSTxt->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    GraphReportSTxt->setMinimumWidth(0);
    GraphReportSTxt->setMinimumHeight(GraphReportSTxt->fontMetrics().height() + 2);
    GraphReportSTxt->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LineCmb = new QComboBox(this);
    LineCmb->setObjectName("LineCmb");
    LineCmb->setAccessibleName("Line");
    LineCmb->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    LineLbl = new QLabel(QStringLiteral("&Line:"), this);
    LineLbl->setBuddy(LineCmb);
    LineLbl->setVisible(false);
    LineCmb->setVisible(false);
    bar->addWidget(ComboBox1);
    bar->addWidget(LineLbl);
    bar->addWidget(LineCmb);
    bar->addWidget(ToolButton2);
    bar->addWidget(ToolButton3);
    bar->addWidget(SavePictureButton);
    bar->addWidget(LegendBtn);
    bar->addStretch(1);
    bar->addWidget(ToolButton7);
    auto* readoutRow = new QHBoxLayout;
    readoutRow->setContentsMargins(6, 0, 2, 0);
    readoutRow->addWidget(GraphReportSTxt, 1);
    layout->addLayout(readoutRow);

    Chart1 = new QCustomPlot(this);
    layout->addWidget(Chart1, 1);
    LegendLbl = new QLabel(this);
    LegendLbl->setObjectName("LegendLbl");
    LegendLbl->setTextFormat(Qt::RichText);
    LegendLbl->setWordWrap(true);
    LegendLbl->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    LegendLbl->setContentsMargins(6, 0, 6, 2);
    LegendLbl->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Two lines whatever it holds: a drawing that changes the legend does not resize the chart (which
    // would cost a second replot).
    LegendLbl->setFixedHeight(2 * LegendLbl->fontMetrics().lineSpacing() + 4);
    layout->addWidget(LegendLbl);
    Chart1->setCursor(Qt::CrossCursor);
    Chart1->setBackground(Qt::white);
    Chart1->axisRect()->setBackground(Qt::white);
    Chart1->legend->setVisible(false);
    Chart1->xAxis2->setVisible(false);
    Chart1->yAxis2->setVisible(false);
    Chart1->setNoAntialiasingOnDrag(true);
    for (QCPAxis* axis : {Chart1->xAxis, Chart1->yAxis}) {
        axis->setTicker(QSharedPointer<QCPAxisTicker>(new TValueTicker));
        axis->setNumberPrecision(2);
    }
    Chart1->yAxis->setRangeReversed(true);
    QFont axisFont = Chart1->xAxis->labelFont();
    axisFont.setPixelSize(11);
    for (QCPAxis* axis : {Chart1->xAxis, Chart1->yAxis}) axis->setLabelFont(axisFont);
    ApplyAxisTitles();
    Chart1->installEventFilter(this);

    QFont titleFont(QStringLiteral("Arial"));
    titleFont.setPixelSize(12);
    titleFont.setBold(true);
    Chart1->plotLayout()->insertRow(0);
    title_ = new QCPTextElement(Chart1, QStringLiteral(" "), titleFont);
    title_->setTextFlags(Qt::AlignRight | Qt::AlignVCenter);
    title_->setTextColor(Qt::black);
    // An emptied title keeps its row, so the plot does not jump when the first point comes.
    title_->setMinimumSize(0, QFontMetrics(titleFont).height() + 4);
    Chart1->plotLayout()->addElement(0, 0, title_);

    cells_ = new TCellMap(Chart1->xAxis, Chart1->yAxis);
    points_ = new TPointCloud(Chart1->xAxis, Chart1->yAxis);  // above the cells
    points_->Clear();
    scale_ = new QCPColorScale(Chart1);
    scale_->setType(QCPAxis::atRight);
    scale_->setGradient(cells_->Gradient);
    scale_->setDataRange(QCPRange(0, 1));
    scale_->setBarWidth(12);
    scale_->axis()->setLabel(QStringLiteral("Relative resolution"));
    scale_->axis()->setLabelFont(axisFont);
    scale_->axis()->setTicker(QSharedPointer<QCPAxisTicker>(new TValueTicker));
    // The scale's bar as tall as the plot.
    auto* margins = new QCPMarginGroup(Chart1);
    Chart1->axisRect()->setMarginGroup(QCP::msTop | QCP::msBottom, margins);
    scale_->setMarginGroup(QCP::msTop | QCP::msBottom, margins);  // in the layout only while cells are drawn
    // Out of the layout it would still draw its label, in the chart's top left corner.
    scale_->setVisible(false);
    ApplyFullExtent();

    // A rectangle dragged with the mouse zooms in; "Undo zoom" goes back to the full extent.
    Chart1->setSelectionRectMode(QCP::srmZoom);
    connect(Chart1->selectionRect(), &QCPSelectionRect::accepted, this,
            [this](const QRect&, QMouseEvent*) { zoomed_ = true; });
    connect(Chart1, &QCustomPlot::mouseMove, this, &TGraphReportFrame::Chart1MouseMove);
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, &TGraphReportFrame::ComboBox1Change);
    connect(LineCmb, &QComboBox::currentIndexChanged, this, &TGraphReportFrame::LineCmbChange);
    connect(ToolButton2, &QToolButton::clicked, this, &TGraphReportFrame::ToolButton2Click);
    connect(ToolButton3, &QToolButton::clicked, this, &TGraphReportFrame::ToolButton3Click);
    connect(ToolButton7, &QToolButton::clicked, this, &TGraphReportFrame::ToolButton7Click);
    connect(SavePictureButton, &QToolButton::clicked, this, &TGraphReportFrame::SavePictureButtonClick);
    connect(LegendBtn, &QToolButton::toggled, this, [this] { UpdateLegend(); });
}

TGraphReportFrame::~TGraphReportFrame() = default;

bool TGraphReportFrame::eventFilter(QObject* watched, QEvent* event) {
    // The readout speaks of the point under the pointer: it goes when the pointer leaves the chart.
    if (watched == Chart1 && event->type() == QEvent::Leave) {
        GraphReportSTxt->clear();
        QToolTip::hideText();
    }
    return QWidget::eventFilter(watched, event);
}

void TGraphReportFrame::ApplyAxisTitles() {
    static const char* const titles[][2] = {
        {"Position (m)", "Pseudo-depth (m)"},         {"Position (m)", "Investigation depth (m)"},
        {"Position (m)", "Geometric factor |K| (m)"}, {"X (m)", "Y (m)"},
        {"Position (m)", "Median depth (m)"},         {"Position (m)", "Depth (m)"},
    };
    const auto& t = titles[std::clamp(viewIndex_, 0, 5)];
    Chart1->xAxis->setLabel(QString::fromLatin1(planShown_ ? "X (m)" : t[0]));
    QString left = QString::fromLatin1(t[1]);
    if (planShown_)
        left = QStringLiteral("Y (m)");
    else if (segmentRows_)
        left = QStringLiteral("Segment");
    // A sequence without geometry (an import) has its level numbers plotted, not a depth.
    else if (viewIndex_ == 0 && !levelInMetres_)
        left = QStringLiteral("Level");
    Chart1->yAxis->setLabel(left);
}

void TGraphReportFrame::SetSequenceName(const QString& name) { name_ = name; }

void TGraphReportFrame::SetSequenceShown(const TSequence& seq) {
    name_ = QString::fromStdString(RecordTextUtf8(seq.Name.Get()));
    levelInMetres_ = ArrayTypeRow(seq.ArrayType).LevelInMetres;
    for (QString& n : colourNames_) n.clear();
    if (viewIndex_ == static_cast<int>(TChartView::CableArray)) {
        // One colour for every fourth segment: the segments of each colour, by name.
        for (int g = 0; g < MaxSegments; ++g) {
            if (seq.Segments[g].Empty()) continue;
            QString& names = colourNames_[g % 4];
            if (!names.isEmpty()) names += QStringLiteral(", ");
            names += QString::fromStdString(RecordTextUtf8(seq.Segments[g].Name.Get()));
        }
        colourNames_[Grey] = QStringLiteral("placed, not used");
    } else {
        colourNames_[0] = QStringLiteral("a = ") + FormatChartValue(seq.Spacing[0]);
        for (int s = 1; s < MaxSpacings; ++s)
            if (seq.Spacing[s] != 0.0f)
                colourNames_[s] =
                    QStringLiteral("D = ") + QString::fromStdString(SpacingMultipleText(seq, s, true));
    }
    ApplyAxisTitles();
}

void TGraphReportFrame::ClearChart() {
    points_->Clear();
    cells_->Cells.clear();
    fixedTitle_.clear();
    if (scale_->layout() != nullptr) {
        scale_->setVisible(false);
        Chart1->plotLayout()->take(scale_);
        Chart1->plotLayout()->simplify();
    }
    setNames_.clear();
    setPlaces_.clear();
    segmentRows_ = false;
    planShown_ = false;
    lineShown_ = nullptr;
    Chart1->yAxis->setTicker(QSharedPointer<QCPAxisTicker>(new TValueTicker));
    ApplyAxisTitles();
    pointCount_ = 0;
    zoomed_ = false;
    GraphReportSTxt->clear();
    title_->setText(QString());
    UpdateLegend();
    QToolTip::hideText();
    QueueReplot();
}

void TGraphReportFrame::AddPoint(int n, int c, bool inverted, const std::string& label, double y, double x) {
    const float none = std::numeric_limits<float>::quiet_NaN();
    AddPointWithDetails(n, c, inverted, label, y, x, none, none);
}

void TGraphReportFrame::AddPointWithDetails(int n, int c, bool inverted, const std::string& label, double y,
                                            double x, float k, float depth) {
    AddColouredPoint(n, ColourOfIndex(c), true, inverted, label, y, x, k, depth);
}

void TGraphReportFrame::AddColouredPoint(int n, uint8_t colour, bool markRepeats, bool inverted,
                                         const std::string& label, double y, double x, float k, float depth) {
    if (n < 1) return;
    auto& all = points_->Series;
    if (static_cast<int>(all.size()) < n) all.resize(static_cast<std::size_t>(n));
    Chart1->yAxis->setRangeReversed(inverted);
    TPointCloud::TSeries& s = all[static_cast<std::size_t>(n - 1)];
    const TPointStyle& style = PointStyles[n % 5];
    s.Shape = style.Shape;
    s.Size = DrawnSize(style.Size);
    ++pointCount_;
    // Walking from the first point with this abscissa to the end, each point flips the colour to
    // white after red and to red otherwise: only the last point of the series decides.
    // A series is one level of one dipole length, so on a line its points share a value and a shared
    // abscissa is a repeat. A gradient reading's value also depends on where its potential dipole lies
    // inside the current dipole: readings of one separation under the same dipole lie at different
    // depths, and only a point drawn over another is a repeat.
    if (!s.Places.insert({x, y}).second && markRepeats)
        colour = s.LastColour() == Red ? uint8_t{White} : uint8_t{Red};
    s.X.push_back(x);
    s.Y.push_back(y);
    s.Colour.push_back(colour);
    s.Label.push_back(label);
    s.K.push_back(k);
    s.Depth.push_back(depth);
    points_->Extend(x, y);
    // The title follows at the next drawing: once a drawing, not once a point.
    QueueReplot();
}

QString TGraphReportFrame::TitleText() const {
    if (!fixedTitle_.isEmpty()) return fixedTitle_;
    if (pointCount_ == 0) return title_->text();
    return (name_.isEmpty() ? QString() : name_ + QStringLiteral("   ")) + QStringLiteral("#") +
           QString::number(pointCount_);
}

bool TGraphReportFrame::DrawSequence(const TSequence& seq) {
    ClearChart();
    const bool grid = IsGrid(seq);
    LineLbl->setVisible(grid);
    LineCmb->setVisible(grid);
    const bool readings =
        viewIndex_ != static_cast<int>(TChartView::CableArray) && viewIndex_ != ResolutionView;
    if (grid) {
        FillLineChooser(seq);
        const int row = LineCmb->currentIndex();
        planShown_ = readings && row <= 0;
        if (row > 0 && row <= static_cast<int>(lineChoices_.size()))
            lineShown_ = &lineChoices_[static_cast<std::size_t>(row - 1)];
    }
    SetSequenceShown(seq);
    if (grid && readings) name_ += QStringLiteral("   ") + LineCmb->currentText();
    std::string label;
    if (viewIndex_ == static_cast<int>(TChartView::CableArray)) {
        // A line laid straight (every Y the same, as generation lays it) would be one thin row across
        // an empty chart: each segment gets a row of its own instead, named on the left axis.
        bool straight = true;
        float y0 = 0;
        bool first = true;
        for (int k = 1; k <= MaxElectrodeNumber && straight; ++k) {
            if (!IsRealElectrode(seq, k)) continue;
            if (first) y0 = seq.Electrodes[k].Y;
            straight = first || seq.Electrodes[k].Y == y0;
            first = false;
        }
        segmentRows_ = straight && SegmentCount(seq) > 0;
        if (segmentRows_) {
            auto ticker = QSharedPointer<QCPAxisTickerText>(new QCPAxisTickerText);
            for (int g = 0; g < MaxSegments; ++g)
                if (!seq.Segments[g].Empty())
                    ticker->addTick(g + 1,
                                    QString::fromStdString(RecordTextUtf8(seq.Segments[g].Name.Get())));
            Chart1->yAxis->setTicker(ticker);
            ApplyAxisTitles();
        }
        for (int k = 1; k <= MaxElectrodeNumber; ++k) {
            const TElectrode& e = seq.Electrodes[k];
            const bool active = e.Type == static_cast<int16_t>(TElectrodeType::Active);
            if (!active && e.Type != static_cast<int16_t>(TElectrodeType::Inactive)) continue;
            const int segment = SegmentIndexOfNode(seq, k);
            if (segment < 0) continue;
            label = std::to_string(k);
            label += " / ";
            label += seq.Segments[segment].Name.Get();
            const double y = segmentRows_ ? static_cast<double>(segment + 1) : static_cast<double>(e.Y);
            if (active)
                AddPoint(1, segment % 4, false, label, y, e.X);
            else
                AddPoint(2, 5, false, label, y, e.X);
        }
    } else if (viewIndex_ == ResolutionView) {
        // The host works the resolution out and draws it (DrawResolution).
    } else if (planShown_) {
        AddPlanPoints(seq);
    } else if (!AddQuadripolePoints(seq, -1, std::string())) {
        return false;
    }
    FlushReplot();
    return true;
}

bool TGraphReportFrame::AddQuadripolePoints(const TSequence& seq, int setPlace, const std::string& prefix) {
    std::string label;
    const int count = std::clamp(seq.NbQuadripole, 0, MaxQuadripoles);
    for (int i = 0; i < count; ++i) {
        const TQuadripole& q = seq.Quadripoles[i];
        // One line of a grid at a time, plotted along that line.
        std::optional<TGridPlace> place;
        if (lineShown_ != nullptr && setPlace < 0) {
            place = GridPlaceOf(seq, q);
            if (place->Kind != lineShown_->Kind || place->Index != lineShown_->Index) continue;
        }
        const TQuadripoleElectrodes e = RealElectrodes(seq, q);
        const TPlotValues values = PlotValues(seq, q, e);
        const double x = place ? place->Along : values.PseudoX;
        const double y = viewIndex_ == 0   ? values.Level
                         : viewIndex_ == 1 ? values.Depth
                                           : ChartValue(seq, q, viewIndex_);
        const int series = q.Level * (q.SpacingIndex + 1);
        // Float arithmetic does not trap: a value that is not finite, or a quadripole that names
        // no series (a level or spacing index below the first), cannot be drawn.
        if (!std::isfinite(x) || !std::isfinite(y) || series < 1) {
            FlushReplot();
            ShowMessage(QStringLiteral("Error on Quadripole ") + QString::number(i));
            return false;
        }
        FormatQuadripoleLabel(q, "-", label);
        if (setPlace < 0)
            AddPointWithDetails(series, q.SpacingIndex, true, label, y, x, GeometricFactor(e), values.Depth);
        else
            AddColouredPoint(series, SetColourCode(setPlace), false, true, prefix + label, y, x,
                             GeometricFactor(e), values.Depth);
    }
    return true;
}

void TGraphReportFrame::AddPlanPoints(const TSequence& seq) {
    std::string label;
    const int count = std::clamp(seq.NbQuadripole, 0, MaxQuadripoles);
    bool levels[MaxLevels + 1] = {};
    for (int i = 0; i < count; ++i) {
        const TQuadripole& q = seq.Quadripoles[i];
        if (q.Level < 1 || q.Level > MaxLevels) continue;
        const TGridPlace place = GridPlaceOf(seq, q);
        FormatQuadripoleLabel(q, "-", label);
        levels[q.Level] = true;
        AddColouredPoint(q.Level, SetColourCode(q.Level - 1), false, false, label, place.Y, place.X,
                         std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::quiet_NaN());
    }
    // The legend names the levels by their colours.
    for (int n = 1; n <= MaxLevels; ++n)
        if (levels[n]) {
            setNames_ << QStringLiteral("level %1").arg(n);
            setPlaces_ << n - 1;
        }
    UpdateLegend();
}

void TGraphReportFrame::FillLineChooser(const TSequence& seq) {
    // The lines that hold readings, in the order of the kinds: a record read from a file may claim
    // any number of lines, but never more than its readings show.
    std::set<std::pair<int, int>> present;
    for (int i = 0; i < std::clamp(seq.NbQuadripole, 0, MaxQuadripoles); ++i) {
        const TGridPlace place = GridPlaceOf(seq, seq.Quadripoles[i]);
        if (place.Kind != TGridLineKind::None) present.insert({static_cast<int>(place.Kind), place.Index});
    }
    const int f = std::clamp(seq.FirstElectrode, 0, MaxElectrodeNumber);
    const double x0 = seq.Electrodes[f].X, y0 = seq.Electrodes[f].Y, a = seq.Spacing[0];
    const double d = GridLayoutOf(seq).value_or(TGridLayout{seq.Spacing[0], false, false}).LineSpacing;
    QStringList texts{QStringLiteral("Plan of the readings")};
    std::vector<TLineChoice> choices;
    for (const auto& [kind, i] : present) {
        switch (static_cast<TGridLineKind>(kind)) {
            case TGridLineKind::AlongX:
                texts << QStringLiteral("Along X, line %1 (y = %2)")
                             .arg(i + 1)
                             .arg(FormatChartValue(y0 + i * d));
                break;
            case TGridLineKind::AlongY:
                texts << QStringLiteral("Along Y, line %1 (x = %2)")
                             .arg(i + 1)
                             .arg(FormatChartValue(x0 + i * a));
                break;
            case TGridLineKind::CrossX:
                texts << QStringLiteral("Across lines %1 and %2 along X").arg(i + 1).arg(i + 2);
                break;
            default:
                texts << QStringLiteral("Across lines %1 and %2 along Y").arg(i + 1).arg(i + 2);
                break;
        }
        choices.push_back({static_cast<TGridLineKind>(kind), i});
    }
    QStringList shown;
    for (int i = 0; i < LineCmb->count(); ++i) shown << LineCmb->itemText(i);
    lineChoices_ = choices;
    if (shown == texts) return;
    const QSignalBlocker block(LineCmb);
    const int row = LineCmb->currentIndex();
    LineCmb->clear();
    LineCmb->addItems(texts);
    LineCmb->setCurrentIndex(row >= 0 && row < texts.size() ? row : 0);
}

void TGraphReportFrame::LineCmbChange(int row) {
    if (row < 0) return;
    emit viewChanged(viewIndex_);
}

QColor TGraphReportFrame::SetColour(int place) { return ColourRgb[SetColourCode(place)]; }

bool TGraphReportFrame::DrawSet(const std::vector<const TSequence*>& seqs, const QStringList& names,
                                const QList<int>& places) {
    ClearChart();
    name_.clear();
    levelInMetres_ = true;
    for (const TSequence* seq : seqs)
        if (!ArrayTypeRow(seq->ArrayType).LevelInMetres) levelInMetres_ = false;
    setNames_ = names;
    for (int j = 0; j < static_cast<int>(seqs.size()); ++j) setPlaces_ << (j < places.size() ? places[j] : j);
    if (viewIndex_ == static_cast<int>(TChartView::CableArray)) {
        // One row a sequence, named on the left axis: where each line lies along the survey.
        segmentRows_ = true;
        auto ticker = QSharedPointer<QCPAxisTickerText>(new QCPAxisTickerText);
        for (int j = 0; j < static_cast<int>(seqs.size()); ++j) ticker->addTick(j + 1, names.value(j));
        Chart1->yAxis->setTicker(ticker);
        for (int j = 0; j < static_cast<int>(seqs.size()); ++j) {
            const TSequence& seq = *seqs[static_cast<std::size_t>(j)];
            for (int k = 1; k <= MaxElectrodeNumber; ++k) {
                const TElectrode& e = seq.Electrodes[k];
                if (e.Type != static_cast<int16_t>(TElectrodeType::Active)) continue;
                AddColouredPoint(1, SetColourCode(setPlaces_[j]), false, false,
                                 names.value(j).toStdString() + ": " + std::to_string(k), j + 1, e.X,
                                 std::numeric_limits<float>::quiet_NaN(),
                                 std::numeric_limits<float>::quiet_NaN());
            }
        }
        ApplyAxisTitles();
        Chart1->yAxis->setLabel(QStringLiteral("Sequence"));
    } else {
        ApplyAxisTitles();
        for (int j = 0; j < static_cast<int>(seqs.size()); ++j)
            if (!AddQuadripolePoints(*seqs[static_cast<std::size_t>(j)], setPlaces_[j],
                                     names.value(j).toStdString() + ": "))
                return false;
    }
    FlushReplot();
    return true;
}

void TGraphReportFrame::AddResolutionView() {
    if (ComboBox1->count() <= ResolutionView) ComboBox1->addItem(QStringLiteral("Resolution"));
}

void TGraphReportFrame::DrawResolution(const TResolutionPicture& picture) {
    ClearChart();
    name_ = picture.Name;
    levelInMetres_ = true;
    ApplyAxisTitles();
    cells_->Cells = picture.Cells;
    for (const TResolutionCell& c : picture.Cells) {
        points_->Extend(c.X0, c.Z0);
        points_->Extend(c.X1, c.Z1);
    }
    // The electrodes on the surface, white down triangles over the cells.
    const float none = std::numeric_limits<float>::quiet_NaN();
    for (std::size_t i = 0; i < picture.Electrodes.size(); ++i) {
        const int number =
            i < picture.ElectrodeNumbers.size() ? picture.ElectrodeNumbers[i] : static_cast<int>(i + 1);
        AddColouredPoint(3, White, false, true, "Electrode " + std::to_string(number), 0.0,
                         picture.Electrodes[i], none, none);
    }
    Chart1->plotLayout()->addElement(1, 1, scale_);
    scale_->setVisible(true);
    fixedTitle_ = (name_.isEmpty() ? QString() : name_ + QStringLiteral("   ")) +
                  QStringLiteral("Figure of merit ") + QString::number(picture.Figure, 'f', 3) +
                  QStringLiteral("   #") + QString::number(picture.Readings);
    FlushReplot();
}

void TGraphReportFrame::ShowResolutionRefused(const QString& name, const QString& reason) {
    ClearChart();
    name_ = name;
    fixedTitle_ = (name.isEmpty() ? QString() : name + QStringLiteral("   ")) +
                  QStringLiteral("No resolution: ") + reason;
    GraphReportSTxt->setText(fixedTitle_);
    FlushReplot();
}

bool TGraphReportFrame::ResolutionScaleShown() const { return scale_->visible(); }

int TGraphReportFrame::CellCount() const { return static_cast<int>(cells_->Cells.size()); }

QColor TGraphReportFrame::CellColour(int i) const {
    if (i < 0 || i >= CellCount()) return QColor();
    return cells_->Colour(cells_->Cells[static_cast<std::size_t>(i)].Relative);
}

void TGraphReportFrame::SetViewIndex(int view) {
    if (view < 0 || view >= ComboBox1->count()) return;
    viewIndex_ = view;
    ApplyAxisTitles();
    const QSignalBlocker block(ComboBox1);
    ComboBox1->setCurrentIndex(view);
}

QString TGraphReportFrame::Title() const { return TitleText(); }

QString TGraphReportFrame::LegendText() const {
    return LegendLbl->isHidden() ? QString() : LegendLbl->text();
}
bool TGraphReportFrame::LegendShown() const { return LegendBtn->isChecked(); }

void TGraphReportFrame::UpdateLegend() {
    // Only what the drawing holds: the colours present, and red or white when positions repeat.
    bool present[AllColours] = {};
    for (const auto& s : points_->Series)
        for (uint8_t c : s.Colour) present[c] = true;
    const bool cable = viewIndex_ == static_cast<int>(TChartView::CableArray);
    static const char* const lengths[] = {"first length", "second length", "third length", "fourth length"};
    QStringList entries;
    auto entry = [&](int colour, const QString& text) {
        // White points show as an outline on the white wall: a hollow circle says so.
        const bool hollow = colour == White;
        // An entry never breaks across lines.
        entries << QStringLiteral(
                       "<span style=\"white-space:nowrap\"><span style=\"color:%1\">%2</span>&nbsp;%3</span>")
                       .arg(hollow ? OutlineColour.name() : ColourRgb[colour].name(),
                            hollow ? QStringLiteral("&#9675;") : QStringLiteral("&#9679;"),
                            text.toHtmlEscaped());
    };
    for (int j = 0; j < setNames_.size(); ++j) entry(SetColourCode(setPlaces_.value(j)), setNames_[j]);
    for (int c = 0; c <= Fuchsia; ++c) {
        if (!present[c]) continue;
        const QString named =
            colourNames_[c].isEmpty() ? QString::fromLatin1(cable ? "segment" : lengths[c]) : colourNames_[c];
        entry(c, named);
    }
    if (present[Grey])
        entry(Grey, colourNames_[Grey].isEmpty() ? QStringLiteral("not used") : colourNames_[Grey]);
    if (present[Red])
        entry(Red, QStringLiteral("a second point at the same place and level (a repeat, a reciprocal)"));
    if (present[White]) entry(White, QStringLiteral("a third there"));
    if (!cells_->Cells.empty()) {
        entries.clear();
        entries << QStringLiteral("<span style=\"white-space:nowrap\">&#9661;&nbsp;electrodes</span>")
                << QStringLiteral(
                       "cells coloured by their resolution relative to every quadripole of these electrodes "
                       "(1: as well resolved); figure of merit: its mean over the cells shown");
    } else if (!cable && !entries.isEmpty())
        entries << QStringLiteral("shapes change with the level");
    LegendLbl->setText(entries.join(QStringLiteral("&nbsp;&nbsp; ")));
    LegendLbl->setVisible(LegendBtn->isChecked());
}
QString TGraphReportFrame::StatusText() const { return GraphReportSTxt->text(); }
int TGraphReportFrame::SeriesCount() const { return static_cast<int>(points_->Series.size()); }

int TGraphReportFrame::SeriesPointCount(int n) const {
    if (n < 1 || n > SeriesCount()) return 0;
    return static_cast<int>(points_->Series[static_cast<std::size_t>(n - 1)].X.size());
}

QColor TGraphReportFrame::PointColour(int n, int i) const {
    if (i < 0 || i >= SeriesPointCount(n)) return QColor();
    return ColourRgb[points_->Series[static_cast<std::size_t>(n - 1)].Colour[static_cast<std::size_t>(i)]];
}

QString TGraphReportFrame::PointLabel(int n, int i) const {
    if (i < 0 || i >= SeriesPointCount(n)) return QString();
    return QString::fromStdString(
        points_->Series[static_cast<std::size_t>(n - 1)].Label[static_cast<std::size_t>(i)]);
}

QPointF TGraphReportFrame::PointValue(int n, int i) const {
    if (i < 0 || i >= SeriesPointCount(n)) return {};
    const TPointCloud::TSeries& s = points_->Series[static_cast<std::size_t>(n - 1)];
    return {s.X[static_cast<std::size_t>(i)], s.Y[static_cast<std::size_t>(i)]};
}

bool TGraphReportFrame::LeftAxisInverted() const { return Chart1->yAxis->rangeReversed(); }

QStringList TGraphReportFrame::AxisTitles() const { return {Chart1->xAxis->label(), Chart1->yAxis->label()}; }

QString TGraphReportFrame::HoverAt(const QPoint& pixel) {
    QToolTip::hideText();
    if (replotQueued_) FlushReplot();
    QCPAxis* kx = Chart1->xAxis;
    QCPAxis* vy = Chart1->yAxis;
    if (!Chart1->axisRect()->rect().contains(pixel)) return QString();
    const TPointCloud::TSeries* found = nullptr;
    std::size_t first = 0;
    for (const auto& s : points_->Series) {
        const double reach = s.Size / 2.0 + 1.0;
        for (std::size_t i = 0; i < s.X.size(); ++i) {
            if (std::abs(kx->coordToPixel(s.X[i]) - pixel.x()) <= reach &&
                std::abs(vy->coordToPixel(s.Y[i]) - pixel.y()) <= reach) {
                found = &s;
                first = i;
                break;
            }
        }
        if (found != nullptr) break;
    }
    if (found == nullptr) {
        const double x = kx->pixelToCoord(pixel.x());
        const double z = vy->pixelToCoord(pixel.y());
        const TResolutionCell* cell = cells_->At(x, z);
        if (cell == nullptr) return QString();
        const QString text = QStringLiteral("X = ") + FormatReadoutValue(x) +
                             QStringLiteral("  /  depth = ") + FormatReadoutValue(z) +
                             QStringLiteral("      relative resolution = ") +
                             QString::number(cell->Relative, 'f', 3);
        GraphReportSTxt->setText(text);
        QToolTip::showText(Chart1->mapToGlobal(pixel), text, Chart1);
        return text;
    }
    const double v = found->X[first];
    QString hint;
    for (std::size_t i = first; i < found->X.size(); ++i) {
        if (found->X[i] != v) continue;
        // A drawn quadripole says what it is, where, its K and its depth, one a line; a point that
        // came alone only its label.
        const QString label = QString::fromStdString(found->Label[i]);
        QString details;
        if (std::isfinite(found->K[i]))
            details = label.trimmed() + QStringLiteral("   x = ") + FormatReadoutValue(v) +
                      QStringLiteral("   K = ") + FormatReadoutValue(found->K[i]) +
                      QStringLiteral("   depth = ") + FormatReadoutValue(found->Depth[i]);
        if (details.isEmpty()) {
            hint += label;
        } else {
            if (!hint.isEmpty()) hint += QLatin1Char('\n');
            hint += details;
        }
        if (found->Colour[i] == Grey) hint += QStringLiteral(" (Not Used)");
        GraphReportSTxt->setText(QStringLiteral("X = ") + FormatReadoutValue(v) +
                                 QStringLiteral("  /  Y = ") + FormatReadoutValue(found->Y[i]) +
                                 (details.isEmpty() ? QString() : QStringLiteral("      ") + details));
    }
    QToolTip::showText(Chart1->mapToGlobal(pixel), hint, Chart1);
    return hint;
}

QPoint TGraphReportFrame::PointPixel(int n, int i) const {
    if (i < 0 || i >= SeriesPointCount(n)) return QPoint(-1, -1);
    if (replotQueued_) const_cast<TGraphReportFrame*>(this)->FlushReplot();
    const auto& s = points_->Series[static_cast<std::size_t>(n - 1)];
    const auto k = static_cast<std::size_t>(i);
    return QPoint(static_cast<int>(std::lround(Chart1->xAxis->coordToPixel(s.X[k]))),
                  static_cast<int>(std::lround(Chart1->yAxis->coordToPixel(s.Y[k]))));
}

void TGraphReportFrame::UndoZoom() {
    zoomed_ = false;
    ApplyFullExtent();
    Chart1->replot();
}

void TGraphReportFrame::ApplyFullExtent() {
    auto range = [](double lo, double hi) {
        if (!(lo <= hi)) return QCPRange(0, 10);
        const double span = hi - lo;
        const double margin = span > 0 ? span * 0.05 : std::max(1.0, std::abs(lo) * 0.05);
        return QCPRange(lo - margin, hi + margin);
    };
    Chart1->xAxis->setRange(range(points_->MinX, points_->MaxX));
    // Segment rows sit half a row inside the chart's edges.
    Chart1->yAxis->setRange(segmentRows_ ? QCPRange(points_->MinY - 0.5, points_->MaxY + 0.5)
                                         : range(points_->MinY, points_->MaxY));
}

void TGraphReportFrame::QueueReplot() {
    if (replotQueued_) return;
    replotQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        if (replotQueued_) FlushReplot();
    });
}

void TGraphReportFrame::FlushReplot() {
    replotQueued_ = false;
    if (!zoomed_) ApplyFullExtent();
    if (pointCount_ > 0 || !fixedTitle_.isEmpty()) title_->setText(TitleText());
    UpdateLegend();
    Chart1->replot();
}

QWidget* TGraphReportFrame::ChartWidget() const { return Chart1; }

bool TGraphReportFrame::SavePicture(const QString& path, int width, int height) {
    if (replotQueued_) FlushReplot();
    // A frame never shown has no size of its own yet.
    if (width <= 0) width = Chart1->width() >= 100 ? Chart1->width() : 800;
    if (height <= 0) height = Chart1->height() >= 100 ? Chart1->height() : 600;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png")) return Chart1->savePng(path, width, height);
    if (suffix == QLatin1String("pdf")) return Chart1->savePdf(path, width, height);
    return false;
}

bool TGraphReportFrame::PrintChart(QPrinter& printer) {
    if (replotQueued_) FlushReplot();
    QCPPainter painter;
    if (!painter.begin(&printer)) return false;
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    const int w = Chart1->width() >= 100 ? Chart1->width() : 800;
    const int h = Chart1->height() >= 100 ? Chart1->height() : 600;
    const QRect page = painter.viewport();
    const double scale =
        std::min(page.width() / static_cast<double>(w), page.height() / static_cast<double>(h));
    painter.scale(scale, scale);
    Chart1->toPainter(&painter, w, h);
    return painter.end();
}

void TGraphReportFrame::ComboBox1Change(int row) {
    if (row < 0) return;
    viewIndex_ = row;
    ApplyAxisTitles();
    emit viewChanged(row);
}

void TGraphReportFrame::ToolButton2Click() { UndoZoom(); }

void TGraphReportFrame::ToolButton3Click() {
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted) return;
    if (!PrintChart(printer))
        ShowMessage(QStringLiteral("The chart could not be printed on ") + printer.printerName());
}

void TGraphReportFrame::ToolButton7Click() { emit tableRequested(); }

void TGraphReportFrame::SavePictureButtonClick() {
    const QString png = QStringLiteral("PNG image (*.png)");
    const QString pdf = QStringLiteral("PDF document (*.pdf)");
    if (prompts_ == nullptr) return;
    auto chosen = prompts_->ChooseSaveFile(QStringLiteral("Save picture"), QString(), png + ";;" + pdf);
    if (!chosen || chosen->isEmpty()) return;
    QString path = *chosen;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != QLatin1String("png") && suffix != QLatin1String("pdf"))
        path += QStringLiteral(".png");  // a name typed without an ending is a picture
    if (!SavePicture(path)) ShowMessage(QStringLiteral("Could not write the picture ") + path);
}

void TGraphReportFrame::Chart1MouseMove(QMouseEvent* event) { HoverAt(event->position().toPoint()); }

void TGraphReportFrame::ShowMessage(const QString& text) {
    emit messageRequested(text);
    if (prompts_ != nullptr) prompts_->Message(text, QString(), TPrompts::TIcon::Warning);
}
