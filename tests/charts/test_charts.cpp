// The chart frame, offscreen: series and colours, the shared-abscissa rule, the four views, the hover
// readout, zoom, one replot per burst, pictures and printing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPrinter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <cmath>
#include <limits>
#include <memory>

#include "charts/graphreportframe.h"
#include "model/cable.h"
#include "model/generate.h"
#include "model/grid3d.h"

namespace {

// Widgets need an application object; gtest's own main runs the tests.
class TQtEnvironment : public ::testing::Environment {
   public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "test_charts";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
        QLocale::setDefault(QLocale::c());
    }
    void TearDown() override { app_.reset(); }

   private:
    std::unique_ptr<QApplication> app_;
};
const auto* const qtEnvironment = ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

const QColor LimeC(0, 200, 0), YellowC(230, 175, 0), BlueC(0, 0, 255), FuchsiaC(255, 0, 255),
    GreyC(128, 128, 128), RedC(255, 0, 0), WhiteC(255, 255, 255);

class ChartFrame : public ::testing::Test {
   protected:
    void SetUp() override {
        frame.resize(800, 600);
        frame.show();
        QApplication::processEvents();
    }
    TGraphReportFrame frame;
};

// Electrodes 1..count active on the x axis, a apart, in one segment "Line"; no quadripoles.
std::unique_ptr<TSequence> LineOf(int count, float a = 5) {
    auto seq = std::make_unique<TSequence>();
    seq->Segments[0].MakeEmpty();
    seq->Segments[0].Name.Set("Line");
    seq->Segments[0].FirstNode = 1;
    seq->Segments[0].LastNode = static_cast<int16_t>(count);
    seq->Segments[0].NodeSpacing = a;
    seq->Spacing[0] = a;
    seq->ArrayType = 0;
    for (int k = 1; k <= count; ++k) {
        seq->Electrodes[k].Type = static_cast<int16_t>(TElectrodeType::Active);
        seq->Electrodes[k].Number = static_cast<int16_t>(k);
        seq->Electrodes[k].X = a * static_cast<float>(k - 1);
    }
    return seq;
}

void AddQuadripole(TSequence& seq, int a, int b, int m, int n, int spacing, int level) {
    TQuadripole& q = seq.Quadripoles[seq.NbQuadripole++];
    q.A = static_cast<int16_t>(a);
    q.B = static_cast<int16_t>(b);
    q.M = static_cast<int16_t>(m);
    q.N = static_cast<int16_t>(n);
    q.SpacingIndex = static_cast<int8_t>(spacing);
    q.Level = static_cast<int8_t>(level);
    q.Reserved = -1;
}

TEST_F(ChartFrame, StartsOnTheLevelViewWithABlankTitle) {
    EXPECT_EQ(frame.ViewIndex(), 0);
    EXPECT_EQ(frame.ComboBox1->currentIndex(), 0);
    EXPECT_EQ(frame.ComboBox1->count(), 5);
    EXPECT_EQ(frame.ComboBox1->itemText(3), "Cable array");
    EXPECT_EQ(frame.ComboBox1->itemText(4), "Median depth");
    EXPECT_EQ(frame.PointCount(), 0);
    EXPECT_EQ(frame.Title(), " ");
    EXPECT_TRUE(frame.LeftAxisInverted());
}

TEST_F(ChartFrame, EmptySequenceDrawsNothingAndEmptiesTheTitle) {
    frame.AddPoint(1, 0, true, "x", 1, 1);
    auto seq = LineOf(10);
    EXPECT_TRUE(frame.DrawSequence(*seq));
    EXPECT_EQ(frame.SeriesCount(), 0);
    EXPECT_EQ(frame.PointCount(), 0);
    EXPECT_EQ(frame.Title(), "");
}

TEST_F(ChartFrame, ClearThenOnePointGivesHashOne) {
    for (int i = 0; i < 3; ++i) frame.AddPoint(1, 0, true, "p", i, i);
    EXPECT_EQ(frame.Title(), "#3");
    frame.ClearChart();
    EXPECT_EQ(frame.Title(), "");
    EXPECT_EQ(frame.StatusText(), "");
    EXPECT_EQ(frame.SeriesCount(), 0);
    frame.AddPoint(3, 1, false, "q", 2, 2);
    EXPECT_EQ(frame.Title(), "#1");
    EXPECT_EQ(frame.PointCount(), 1);
    EXPECT_EQ(frame.SeriesCount(), 3);  // series 1 and 2 are created empty on the way
    EXPECT_EQ(frame.SeriesPointCount(1), 0);
    EXPECT_EQ(frame.SeriesPointCount(3), 1);
    EXPECT_FALSE(frame.LeftAxisInverted());
}

TEST_F(ChartFrame, ColourTableWithGreyForAnyOtherIndex) {
    const QColor expected[] = {LimeC, YellowC, BlueC, FuchsiaC, GreyC, GreyC, GreyC};
    const int index[] = {0, 1, 2, 3, 4, 5, -1};
    for (int i = 0; i < 7; ++i) frame.AddPoint(1, index[i], true, "p", 0, i);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(frame.PointColour(1, i), expected[i]) << "index " << index[i];
}

TEST_F(ChartFrame, SharedAbscissaFlipsOnTheLastPointOfTheSeries) {
    struct TCase {
        double X;
        int Colour;
        QColor Drawn;
    };
    // A repeated abscissa gives red, or white when the series' last point is red, whatever the colour
    // of the earlier point with that abscissa. Other series are not looked at.
    const TCase cases[] = {
        {0, 0, LimeC}, {0, 0, RedC},    {0, 2, WhiteC}, {0, 0, RedC},  {10, 1, YellowC},
        {0, 3, RedC},  {10, 1, WhiteC}, {20, 2, BlueC}, {20, 2, RedC},
    };
    for (const auto& c : cases) frame.AddPoint(1, c.Colour, true, "p", 1, c.X);
    frame.AddPoint(2, 0, true, "other series", 1, 0);
    for (int i = 0; i < static_cast<int>(std::size(cases)); ++i)
        EXPECT_EQ(frame.PointColour(1, i), cases[i].Drawn) << "point " << i;
    EXPECT_EQ(frame.PointColour(2, 0), LimeC);
}

TEST_F(ChartFrame, SecondQuadripoleAtTheSamePlaceIsRed) {
    auto seq = LineOf(10);
    AddQuadripole(*seq, 1, 2, 3, 4, 0, 1);
    AddQuadripole(*seq, 1, 2, 3, 4, 0, 1);
    ASSERT_TRUE(frame.DrawSequence(*seq));
    ASSERT_EQ(frame.SeriesPointCount(1), 2);
    EXPECT_EQ(frame.PointColour(1, 0), LimeC);
    EXPECT_EQ(frame.PointColour(1, 1), RedC);
    EXPECT_EQ(frame.PointLabel(1, 0), " 1-2-3-4  ");
    EXPECT_EQ(frame.Title(), "NoName   #2") << "the sequence's name beside the count";
}

// A gradient reading lies under its potential dipole at a depth that depends on where that dipole
// sits inside the current dipole: the readings of one separation under one potential dipole are
// different readings at different depths, not repeats; only one drawn over another is red.
TEST_F(ChartFrame, GradientReadingsUnderOneDipoleAreRedOnlyWhereTheyMeet) {
    auto seq = LineOf(12);
    seq->ArrayType = static_cast<int32_t>(TArrayType::MultipleGradient);
    // s = 6: M N = 4 5 in the third, second and first place of A B = 1 9, 2 10 and 3 11.
    AddQuadripole(*seq, 1, 9, 4, 5, 0, 6);
    AddQuadripole(*seq, 2, 10, 4, 5, 0, 6);
    AddQuadripole(*seq, 3, 11, 4, 5, 0, 6);
    AddQuadripole(*seq, 1, 9, 4, 5, 0, 6);  // the first again: a repeat
    frame.SetViewIndex(1);
    ASSERT_TRUE(frame.DrawSequence(*seq));
    ASSERT_EQ(frame.SeriesPointCount(6), 4);
    EXPECT_EQ(frame.PointColour(6, 0), LimeC);
    EXPECT_EQ(frame.PointColour(6, 1), LimeC) << "a deeper reading under the same dipole";
    EXPECT_EQ(frame.PointColour(6, 2), LimeC);
    EXPECT_EQ(frame.PointColour(6, 3), RedC);
}

TEST_F(ChartFrame, SeriesIsLevelTimesSpacingRankColourIsSpacing) {
    auto seq = LineOf(20);
    seq->Spacing[1] = 10;
    AddQuadripole(*seq, 1, 2, 4, 5, 0, 2);  // level 2, spacing 0
    AddQuadripole(*seq, 1, 3, 5, 7, 1, 1);  // level 1, spacing 1
    AddQuadripole(*seq, 0, 2, 3, 4, 2, 3);  // level 3, spacing 2: series 9
    ASSERT_TRUE(frame.DrawSequence(*seq));
    EXPECT_EQ(frame.SeriesCount(), 9);
    ASSERT_EQ(frame.SeriesPointCount(2), 2);
    EXPECT_EQ(frame.PointColour(2, 0), LimeC);
    EXPECT_EQ(frame.PointColour(2, 1), YellowC);
    EXPECT_EQ(frame.PointColour(9, 0), BlueC);
    EXPECT_EQ(frame.PointLabel(9, 0), " Rem-2-3-4  ");
    EXPECT_EQ(frame.SeriesPointCount(1), 0);
}

class ChartViews : public ChartFrame, public ::testing::WithParamInterface<std::tuple<int, bool>> {};

TEST_P(ChartViews, LeftAxisInvertedForPseudoSectionsOnly) {
    auto [view, inverted] = GetParam();
    auto seq = LineOf(10);
    AddQuadripole(*seq, 1, 2, 3, 4, 0, 1);
    frame.SetViewIndex(3);
    ASSERT_TRUE(frame.DrawSequence(*seq));  // start from the other state
    frame.SetViewIndex(0);
    ASSERT_TRUE(frame.DrawSequence(*seq));
    frame.SetViewIndex(view);
    ASSERT_TRUE(frame.DrawSequence(*seq));
    EXPECT_EQ(frame.LeftAxisInverted(), inverted);
    EXPECT_EQ(frame.ViewIndex(), view);
}
INSTANTIATE_TEST_SUITE_P(Views, ChartViews,
                         ::testing::Values(std::tuple{0, true}, std::tuple{1, true}, std::tuple{2, true},
                                           std::tuple{3, false}));

TEST_F(ChartFrame, ViewValuesOfADipoleDipoleQuadripole) {
    auto seq = LineOf(4);  // A 0, B 5, M 10, N 15
    AddQuadripole(*seq, 1, 2, 3, 4, 0, 1);
    const double expected[] = {5.0, 2.0814, 94.2478};
    for (int view = 0; view < 3; ++view) {
        frame.SetViewIndex(view);
        ASSERT_TRUE(frame.DrawSequence(*seq));
        const QPoint p = frame.PointPixel(1, 0);
        frame.HoverAt(p);
        EXPECT_TRUE(
            frame.StatusText().startsWith("X = 7.5  /  Y = " + FormatReadoutValue(expected[view]) + "   "))
            << "view " << view << ": " << frame.StatusText().toStdString();
    }
}

TEST_F(ChartFrame, CableArrayDrawsPlacedNodesOfSegmentsOnly) {
    auto seq = std::make_unique<TSequence>();
    // Five segments of two nodes each (1-2, 3-4, ..., 9-10), colour by segment index modulo 4.
    for (int s = 0; s < 5; ++s) {
        TSegment& g = seq->Segments[s];
        g.MakeEmpty();
        g.Name.Set("Seg" + std::to_string(s));
        g.FirstNode = static_cast<int16_t>(2 * s + 1);
        g.LastNode = static_cast<int16_t>(2 * s + 2);
        g.NodeSpacing = 1;
    }
    auto place = [&](int k, TElectrodeType type, float x) {
        seq->Electrodes[k].Type = static_cast<int16_t>(type);
        seq->Electrodes[k].X = x;
        seq->Electrodes[k].Y = 0.5f * x;
    };
    place(0, TElectrodeType::Remote, 999999.0f);
    seq->Electrodes[0].Type = static_cast<int16_t>(TElectrodeType::Active);  // even if marked active
    for (int k = 1; k <= 10; ++k) place(k, TElectrodeType::Active, static_cast<float>(k));
    place(4, TElectrodeType::Inactive, 4);
    place(10, TElectrodeType::Node, 10);    // a node not placed
    place(12, TElectrodeType::Active, 12);  // outside every segment
    frame.SetViewIndex(3);
    ASSERT_TRUE(frame.DrawSequence(*seq));
    EXPECT_FALSE(frame.LeftAxisInverted());
    EXPECT_EQ(frame.PointCount(), 9);
    ASSERT_EQ(frame.SeriesPointCount(1), 8);
    ASSERT_EQ(frame.SeriesPointCount(2), 1);
    const char* labels[] = {"1 / Seg0", "2 / Seg0", "3 / Seg1", "5 / Seg2",
                            "6 / Seg2", "7 / Seg3", "8 / Seg3", "9 / Seg4"};
    const QColor colours[] = {LimeC, LimeC, YellowC, BlueC, BlueC, FuchsiaC, FuchsiaC, LimeC};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(frame.PointLabel(1, i), labels[i]);
        EXPECT_EQ(frame.PointColour(1, i), colours[i]) << labels[i];
    }
    EXPECT_EQ(frame.PointLabel(2, 0), "4 / Seg1");
    EXPECT_EQ(frame.PointColour(2, 0), GreyC);
    EXPECT_EQ(frame.HoverAt(frame.PointPixel(2, 0)), "4 / Seg1 (Not Used)");
    EXPECT_EQ(frame.StatusText(), "X = 4.0  /  Y = 2.0");
    EXPECT_EQ(frame.HoverAt(frame.PointPixel(1, 0)), "1 / Seg0");
}

TEST_F(ChartFrame, HoverListsEveryLabelAtTheAbscissaFromThePointFound) {
    frame.AddPoint(1, 0, true, "a", 1, 5);
    frame.AddPoint(1, 0, true, "elsewhere", 2, 7);
    frame.AddPoint(1, 0, true, "b", 3, 5);
    frame.AddPoint(1, 0, true, "c", 5, 5);
    frame.AddPoint(2, 0, true, "d", 3, 5);  // same place, later series: not listed
    frame.FlushReplot();
    EXPECT_EQ(frame.HoverAt(frame.PointPixel(1, 0)), "abc");
    EXPECT_EQ(frame.StatusText(), "X = 5.0  /  Y = 5.0");
    EXPECT_EQ(frame.HoverAt(frame.PointPixel(1, 3)), "c");
    // Nothing under the cursor: no hint, the readout stays.
    EXPECT_EQ(frame.HoverAt(frame.PointPixel(1, 1) + QPoint(30, 30)), "");
    EXPECT_EQ(frame.StatusText(), "X = 5.0  /  Y = 5.0");
}

TEST_F(ChartFrame, UnreadablePointsAreMarkedNotUsedOnlyWhenGrey) {
    frame.AddPoint(1, 4, true, "grey", 1, 1);
    frame.AddPoint(1, 0, true, "lime", 2, 2);
    EXPECT_EQ(frame.HoverAt(frame.PointPixel(1, 0)), "grey (Not Used)");
    EXPECT_EQ(frame.HoverAt(frame.PointPixel(1, 1)), "lime");
}

TEST_F(ChartFrame, QuadripoleThatCannotBeComputedStopsTheDrawing) {
    auto seq = LineOf(10);
    AddQuadripole(*seq, 1, 2, 3, 4, 0, 1);
    AddQuadripole(*seq, 2, 3, 4, 5, 0, 1);
    AddQuadripole(*seq, 3, 4, 5, 6, 0, 1);
    seq->Electrodes[5].X = std::numeric_limits<float>::infinity();
    QStringList messages;
    QObject::connect(&frame, &TGraphReportFrame::messageRequested, [&](const QString& m) { messages << m; });
    EXPECT_FALSE(frame.DrawSequence(*seq));
    EXPECT_EQ(messages, QStringList{"Error on Quadripole 1"});
    EXPECT_EQ(frame.PointCount(), 1);
    EXPECT_EQ(frame.Title(), "NoName   #1");

    auto bad = LineOf(10);
    AddQuadripole(*bad, 1, 2, 3, 4, 0, 1);
    AddQuadripole(*bad, 1, 2, 3, 4, 0, 0);  // level 0 names no series
    EXPECT_FALSE(frame.DrawSequence(*bad));
    EXPECT_EQ(messages.last(), "Error on Quadripole 1");
}

TEST_F(ChartFrame, GenerationFeedDrawsWhatDrawSequenceDraws) {
    auto seq = LineOf(24);
    seq->FirstElectrode = 1;
    seq->NbElectrode = 24;
    SetLevels(seq->LevelUsed[0], 6);
    frame.SetViewIndex(1);
    GenerateSequence(*seq, ModeCreate, frame);
    ASSERT_GT(seq->NbQuadripole, 50);
    EXPECT_EQ(frame.PointCount(), seq->NbQuadripole);
    const int series = frame.SeriesCount();
    std::vector<std::pair<QString, QColor>> fed;
    for (int n = 1; n <= series; ++n)
        for (int i = 0; i < frame.SeriesPointCount(n); ++i)
            fed.emplace_back(frame.PointLabel(n, i), frame.PointColour(n, i));
    ASSERT_TRUE(frame.DrawSequence(*seq));
    EXPECT_EQ(frame.SeriesCount(), series);
    std::vector<std::pair<QString, QColor>> drawn;
    for (int n = 1; n <= series; ++n)
        for (int i = 0; i < frame.SeriesPointCount(n); ++i)
            drawn.emplace_back(frame.PointLabel(n, i), frame.PointColour(n, i));
    EXPECT_EQ(fed, drawn);
    EXPECT_EQ(frame.Title(), "NoName   #" + QString::number(seq->NbQuadripole));
}

// The first view plots a pseudo-depth in metres for an array with geometry, the level number for an
// imported sequence without one; the axis says which.
TEST_F(ChartFrame, AxisTitlesSayWhatEachViewPlots) {
    const struct {
        int View;
        int ArrayType;
        const char* X;
        const char* Y;
    } cases[] = {{0, 0, "Position (m)", "Pseudo-depth (m)"},
                 {0, 6, "Position (m)", "Pseudo-depth (m)"},
                 {0, 9, "Position (m)", "Level"},
                 {1, 0, "Position (m)", "Investigation depth (m)"},
                 {2, 0, "Position (m)", "Geometric factor |K| (m)"},
                 {3, 0, "X (m)", "Segment"},
                 {4, 0, "Position (m)", "Median depth (m)"}};
    for (const auto& c : cases) {
        auto seq = LineOf(10);
        seq->ArrayType = c.ArrayType;
        AddQuadripole(*seq, 1, 2, 3, 4, 0, 1);
        frame.SetViewIndex(c.View);
        ASSERT_TRUE(frame.DrawSequence(*seq));
        EXPECT_EQ(frame.AxisTitles(), QStringList({c.X, c.Y})) << c.View << " " << c.ArrayType;
    }
}

// Hovering a drawn quadripole says which it is, where, its K and its depth, in the hint and the readout.
TEST_F(ChartFrame, HoverOnADrawnQuadripoleShowsPositionKAndDepth) {
    auto seq = LineOf(4);  // A 0, B 5, M 10, N 15: x 7.5, K -94.25, investigation depth 2.08
    AddQuadripole(*seq, 1, 2, 3, 4, 0, 1);
    AddQuadripole(*seq, 1, 2, 3, 4, 0, 1);  // the same again: listed on a line of its own
    ASSERT_TRUE(frame.DrawSequence(*seq));
    const QString one = "1-2-3-4   x = 7.5   K = -94.25   depth = 2.08";
    EXPECT_EQ(frame.HoverAt(frame.PointPixel(1, 0)), one + "\n" + one);
    EXPECT_EQ(frame.StatusText(), "X = 7.5  /  Y = 5.0      " + one);
    // The readout is its own row: at the frame's narrowest it still starts with the position.
    EXPECT_TRUE(frame.GraphReportSTxt->alignment() & Qt::AlignLeft);
    EXPECT_GE(frame.GraphReportSTxt->width(), frame.width() / 2);
}

// The legend names the colours the drawing holds; the user can hide it.
TEST_F(ChartFrame, TheLegendNamesWhatIsDrawnAndCanBeHidden) {
    auto seq = LineOf(20);
    seq->Spacing[1] = 10;
    AddQuadripole(*seq, 1, 2, 4, 5, 0, 2);
    AddQuadripole(*seq, 1, 2, 4, 5, 0, 2);  // a repeat: red
    AddQuadripole(*seq, 1, 3, 5, 7, 1, 1);
    ASSERT_TRUE(frame.DrawSequence(*seq));
    EXPECT_TRUE(frame.LegendShown());
    const QString legend = frame.LegendText();
    for (const char* part : {"a = 5", "D = 2 x a", "same place", "shapes change with the level"})
        EXPECT_TRUE(legend.contains(part)) << part << " in " << legend.toStdString();
    EXPECT_FALSE(legend.contains("third length")) << "no third length drawn";
    frame.LegendBtn->click();
    EXPECT_FALSE(frame.LegendShown());
    EXPECT_TRUE(frame.LegendText().isEmpty());
    EXPECT_TRUE(frame.LegendLbl->isHidden());
    ASSERT_TRUE(frame.DrawSequence(*seq));
    EXPECT_TRUE(frame.LegendLbl->isHidden()) << "hidden stays hidden";
    frame.LegendBtn->click();
    // The cable array names the segments by colour and the electrodes not used.
    seq->Electrodes[20].Type = static_cast<int16_t>(TElectrodeType::Inactive);
    frame.SetViewIndex(3);
    ASSERT_TRUE(frame.DrawSequence(*seq));
    EXPECT_TRUE(frame.LegendText().contains("Line")) << frame.LegendText().toStdString();
    EXPECT_TRUE(frame.LegendText().contains("not used")) << frame.LegendText().toStdString();
}

TEST_F(ChartFrame, AStraightCableArrayGivesEachSegmentARow) {
    auto seq = LineOf(10);
    frame.SetViewIndex(3);
    ASSERT_TRUE(frame.DrawSequence(*seq));
    ASSERT_GT(frame.SeriesPointCount(1), 0);
    // Every electrode of the one segment on row 1, whatever its Y.
    const QPoint first = frame.PointPixel(1, 0), last = frame.PointPixel(1, frame.SeriesPointCount(1) - 1);
    EXPECT_EQ(first.y(), last.y());
    EXPECT_LT(first.x(), last.x());
    // A line that really bends keeps its coordinates.
    seq->Electrodes[3].Y = 7;
    ASSERT_TRUE(frame.DrawSequence(*seq));
    EXPECT_EQ(frame.AxisTitles().last(), "Y (m)");
}

TEST_F(ChartFrame, TheReadoutGoesWhenThePointerLeavesAndNeverWidensTheFrame) {
    auto seq = LineOf(10);
    AddQuadripole(*seq, 1, 2, 3, 4, 0, 1);
    ASSERT_TRUE(frame.DrawSequence(*seq));
    const QSize before = frame.size();
    const int hint = frame.sizeHint().width();
    ASSERT_FALSE(frame.HoverAt(frame.PointPixel(1, 0)).isEmpty());
    EXPECT_FALSE(frame.StatusText().isEmpty());
    frame.GraphReportSTxt->setText(QString(400, 'X'));  // the longest readout there could be
    EXPECT_EQ(frame.sizeHint().width(), hint);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(frame.ChartWidget(), &leave);
    EXPECT_TRUE(frame.StatusText().isEmpty());
    EXPECT_EQ(frame.size(), before);
}

TEST_F(ChartFrame, BurstsOfPointsCostOneReplot) {
    // The plotting widget's own signal, by name: the plotting library is the frame's business.
    QSignalSpy replotted(frame.ChartWidget(), SIGNAL(afterReplot()));
    ASSERT_TRUE(replotted.isValid());
    QApplication::processEvents();
    replotted.clear();
    auto replots = [&] { return replotted.count(); };

    for (int i = 0; i < 1000; ++i) frame.AddPoint(1 + i % 7, i % 3, true, "p", i, i % 50);
    EXPECT_EQ(replots(), 0);
    QApplication::processEvents();
    EXPECT_EQ(replots(), 1);

    auto seq = LineOf(30);
    for (int i = 0; i < 20; ++i) AddQuadripole(*seq, i + 1, i + 2, i + 3, i + 4, 0, 1);
    replotted.clear();
    ASSERT_TRUE(frame.DrawSequence(*seq));
    EXPECT_EQ(replots(), 1);
    QApplication::processEvents();
    EXPECT_EQ(replots(), 1);
}

TEST_F(ChartFrame, ComboBoxChangeSetsTheViewAndTellsTheHost) {
    QList<int> changes;
    QObject::connect(&frame, &TGraphReportFrame::viewChanged, [&](int v) {
        changes << v;
        EXPECT_EQ(frame.ViewIndex(), v);
    });
    frame.ComboBox1->setCurrentIndex(2);
    EXPECT_EQ(frame.ViewIndex(), 2);
    frame.SetViewIndex(3);
    EXPECT_EQ(frame.ComboBox1->currentIndex(), 3);
    EXPECT_EQ(frame.ViewIndex(), 3);
    EXPECT_EQ(changes, QList<int>{2});
}

TEST_F(ChartFrame, DragZoomsInAndUndoZoomRestoresTheFullExtent) {
    for (int i = 0; i <= 10; ++i) frame.AddPoint(1, 0, true, "p", i, i * 10);
    frame.FlushReplot();
    const QPoint middle = frame.PointPixel(1, 5);
    const QPoint before = frame.PointPixel(1, 6);
    QWidget* chart = frame.ChartWidget();
    auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(at), chart->mapToGlobal(QPointF(at)), Qt::LeftButton, buttons,
                      Qt::NoModifier);
        QApplication::sendEvent(chart, &e);
    };
    const QPoint from = frame.PointPixel(1, 4), to = frame.PointPixel(1, 6);
    send(QEvent::MouseButtonPress, from, Qt::LeftButton);
    send(QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
    send(QEvent::MouseMove, to, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, to, Qt::NoButton);
    QApplication::processEvents();
    const QPoint zoomed = frame.PointPixel(1, 6);
    EXPECT_GT(std::abs(zoomed.x() - middle.x()), std::abs(before.x() - middle.x()) + 50);
    // Points added while zoomed keep the zoomed view.
    frame.AddPoint(1, 0, true, "later", 200, 200);
    QApplication::processEvents();
    EXPECT_EQ(frame.PointPixel(1, 6), zoomed);
    frame.UndoZoom();
    EXPECT_NE(frame.PointPixel(1, 6), zoomed);
    EXPECT_LT(frame.PointPixel(1, 11).x(), chart->width());
}

TEST_F(ChartFrame, PictureShowsTheFillColoursWhereThePointsAre) {
    auto seq = LineOf(10);
    AddQuadripole(*seq, 1, 2, 3, 4, 0, 1);
    AddQuadripole(*seq, 5, 6, 7, 8, 0, 1);
    AddQuadripole(*seq, 5, 6, 7, 8, 0, 1);
    seq->Spacing[1] = 10;
    AddQuadripole(*seq, 1, 3, 5, 7, 1, 2);
    ASSERT_TRUE(frame.DrawSequence(*seq));
    QTemporaryDir dir;
    ASSERT_TRUE(frame.SavePicture(dir.filePath("chart.png")));
    QImage image(dir.filePath("chart.png"));
    ASSERT_EQ(image.size(), frame.ChartWidget()->size());
    EXPECT_EQ(image.pixelColor(frame.PointPixel(1, 0)), LimeC);
    EXPECT_EQ(image.pixelColor(frame.PointPixel(1, 2)), RedC);     // drawn over the lime one
    EXPECT_EQ(image.pixelColor(frame.PointPixel(4, 0)), YellowC);  // level 2 of the second spacing
}

TEST_F(ChartFrame, SavesPngAndPdfPictures) {
    auto seq = LineOf(10);
    for (int i = 0; i < 6; ++i) AddQuadripole(*seq, i + 1, i + 2, i + 3, i + 4, 0, 1);
    ASSERT_TRUE(frame.DrawSequence(*seq));
    QTemporaryDir dir;
    const QString png = dir.filePath("chart.png"), pdf = dir.filePath("chart.PDF");
    ASSERT_TRUE(frame.SavePicture(png, 640, 400));
    QImage image(png);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(640, 400));
    ASSERT_TRUE(frame.SavePicture(pdf));
    QFile f(pdf);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.read(5).startsWith("%PDF"));
    EXPECT_FALSE(frame.SavePicture(dir.filePath("chart.bmpx")));
    EXPECT_FALSE(frame.SavePicture(dir.filePath("missing/folder/chart.png")));
}

TEST_F(ChartFrame, PrintsOnAPrinter) {
    frame.AddPoint(1, 0, true, "p", 1, 1);
    QTemporaryDir dir;
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("printed.pdf"));
    ASSERT_TRUE(frame.PrintChart(printer));
    EXPECT_GT(QFileInfo(dir.filePath("printed.pdf")).size(), 100);
}

TEST(ChartNumbers, AxisAndReadoutFormats) {
    struct TCase {
        double V;
        const char* Axis;
        const char* Readout;
    };
    const TCase cases[] = {
        {0, "0", "0.0"},
        {5, "5", "5.0"},
        {2.5, "2.5", "2.5"},
        {2.0814, "2.08", "2.08"},
        {94.2478, "94.25", "94.25"},
        {1234567.891, "1234567.89", "1234567.89"},
        {-0.001, "0", "0.0"},
        {-12.5, "-12.5", "-12.5"},
        {0.996, "1", "1.0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatChartValue(c.V), c.Axis) << c.V;
        EXPECT_EQ(FormatReadoutValue(c.V), c.Readout) << c.V;
    }
    QLocale::setDefault(QLocale(QLocale::German));
    EXPECT_EQ(FormatChartValue(1234.5), "1234,5");
    EXPECT_EQ(FormatReadoutValue(3), "3,0");
    QLocale::setDefault(QLocale::c());
}

}  // namespace

namespace {

// Two lines of four along X (a = 5, D = 10), dipole-dipole level 1 and 2, with the lines along Y and
// the cross-line readings.
std::unique_ptr<TSequence> GridOf(int nx, int ny, bool yLines, bool cross) {
    auto seq = std::make_unique<TSequence>();
    seq->Segments[0].MakeEmpty();
    seq->Segments[0].Name.Set("Grid");
    seq->Segments[0].FirstNode = 1;
    seq->Segments[0].LastNode = static_cast<int16_t>(nx * ny);
    seq->Segments[0].NodeSpacing = 5;
    ApplyCableSet(*seq, *seq);
    seq->Name.Set("G");
    seq->ArrayType = 0;
    seq->Spacing[0] = 5;
    seq->LevelUsed[0] = 0b11;
    seq->GridLineX = nx;
    seq->GridLineY = ny;
    TGridLayout layout;
    layout.LineSpacing = 10;
    layout.YLines = yLines;
    layout.CrossLines = cross;
    TNullChartSink none;
    EXPECT_TRUE(GenerateGrid(*seq, layout, none));
    return seq;
}

}  // namespace

// A grid opens on its plan: one point per reading at its centre, coloured by level, Y not inverted.
TEST_F(ChartFrame, GridDrawsThePlanOfItsReadingsColouredByLevel) {
    auto seq = GridOf(3, 6, true, true);
    ASSERT_TRUE(frame.DrawSequence(*seq));
    EXPECT_TRUE(frame.PlanShown());
    EXPECT_TRUE(frame.LineCmb->isVisibleTo(&frame));
    EXPECT_EQ(frame.LineLbl->buddy(), frame.LineCmb);
    EXPECT_EQ(frame.LineCmb->currentText(), "Plan of the readings");
    EXPECT_EQ(frame.PointCount(), seq->NbQuadripole);
    EXPECT_FALSE(frame.LeftAxisInverted());
    EXPECT_EQ(frame.AxisTitles(), QStringList({"X (m)", "Y (m)"}));
    // The first reading, 1-2-3-4 along line 1: centre (7.5, 0), level 1 in series 1.
    EXPECT_EQ(frame.PointValue(1, 0), QPointF(7.5, 0));
    EXPECT_EQ(frame.PointLabel(1, 0), " 1-2-3-4  ");
    const QColor level1 = TGraphReportFrame::SetColour(0), level2 = TGraphReportFrame::SetColour(1);
    EXPECT_EQ(frame.PointColour(1, 0), level1);
    ASSERT_GT(frame.SeriesPointCount(2), 0);
    EXPECT_EQ(frame.PointColour(2, 0), level2);
    EXPECT_NE(frame.LegendText().indexOf("level 2"), -1) << frame.LegendText().toStdString();
    EXPECT_NE(frame.Title().indexOf("Plan of the readings"), -1);
}

// The pseudo-section views show one line at a time, plotted along it; the chooser lists the lines
// that have readings, and a choice asks the host to redraw.
TEST_F(ChartFrame, GridLineChooserShowsOneLineAtATime) {
    auto seq = GridOf(3, 6, true, false);
    ASSERT_TRUE(frame.DrawSequence(*seq));
    QStringList rows;
    for (int i = 0; i < frame.LineCmb->count(); ++i) rows << frame.LineCmb->itemText(i);
    // The lines along Y hold three electrodes each: too few for a dipole-dipole reading, so not listed.
    EXPECT_EQ(
        rows.join('|').toStdString(),
        "Plan of the readings|Along X, line 1 (y = 0)|Along X, line 2 (y = 10)|Along X, line 3 (y = 20)");
    QList<int> redraws;
    QObject::connect(&frame, &TGraphReportFrame::viewChanged, [&](int v) { redraws << v; });
    frame.LineCmb->setCurrentIndex(2);  // along X, line 2: 3 readings at level 1, 2 at level 2
    EXPECT_EQ(redraws, QList<int>{0});
    ASSERT_TRUE(frame.DrawSequence(*seq));
    EXPECT_FALSE(frame.PlanShown());
    EXPECT_EQ(frame.PointCount(), 5);
    EXPECT_EQ(frame.PointLabel(1, 0), " 7-8-9-10  ");
    EXPECT_EQ(frame.PointValue(1, 0), QPointF(7.5, 5));
    EXPECT_TRUE(frame.LeftAxisInverted());
    // Six lines of three: the lines along Y hold six electrodes, D apart.
    auto tall = GridOf(6, 3, true, false);
    ASSERT_TRUE(frame.DrawSequence(*tall));
    const int along = frame.LineCmb->findText("Along Y, line 2 (x = 5)");
    ASSERT_GT(along, 0);
    frame.LineCmb->setCurrentIndex(along);
    ASSERT_TRUE(frame.DrawSequence(*tall));
    // Electrodes 2, 5, 8, 11, 14, 17 down the column: level 1 at y centres 15, 25, 35; level 2 at 20, 30.
    EXPECT_EQ(frame.PointCount(), 5);
    EXPECT_EQ(frame.PointValue(1, 0), QPointF(15, 10));
    EXPECT_EQ(frame.PointLabel(1, 0), " 2-5-8-11  ");

    // A line has no chooser.
    auto line = LineOf(12);
    ASSERT_TRUE(frame.DrawSequence(*line));
    EXPECT_FALSE(frame.LineCmb->isVisibleTo(&frame));
    EXPECT_FALSE(frame.PlanShown());
}

// A file may claim any number of lines: the chooser lists those its readings lie on, and stays quick.
TEST_F(ChartFrame, GridChooserListsOnlyTheLinesOfItsReadings) {
    auto seq = GridOf(3, 6, false, true);
    const int rows = [&] {
        EXPECT_TRUE(frame.DrawSequence(*seq));
        return frame.LineCmb->count();
    }();
    EXPECT_EQ(rows, 1 + 3 + 2);  // the plan, three lines along X, two pairs across
    frame.LineCmb->setCurrentIndex(0);
    seq->GridLineX = std::numeric_limits<int32_t>::max();
    ASSERT_TRUE(frame.DrawSequence(*seq));
    EXPECT_LE(frame.LineCmb->count(), rows);
    EXPECT_EQ(frame.PointCount(), seq->NbQuadripole);
}

// The resolution's colour scale is drawn with its cells only: out of the layout it left its label in
// the chart's top left corner.
TEST_F(ChartFrame, ResolutionScaleOnlyWithItsCells) {
    auto seq = LineOf(12);
    ASSERT_TRUE(frame.DrawSequence(*seq));
    EXPECT_FALSE(frame.ResolutionScaleShown());
    TResolutionPicture picture;
    picture.Cells.push_back({0, 5, 0, 2, 0.5});
    frame.DrawResolution(picture);
    EXPECT_TRUE(frame.ResolutionScaleShown());
    ASSERT_TRUE(frame.DrawSequence(*seq));
    EXPECT_FALSE(frame.ResolutionScaleShown());
}
