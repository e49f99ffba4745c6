#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "model/arraytypes.h"
#include "model/electrodesused.h"
#include "model/generate.h"
#include "model/geometry.h"
#include "model/grid3d.h"
#include "tests/support/fixtures.h"

namespace {

constexpr int DD = 0, PD = 1, PP = 2, WS = 4, WN = 6, MG = static_cast<int>(TArrayType::MultipleGradient);

std::unique_ptr<TSequence> MakeGrid(int nx, int ny, const TLineSpec& spec, float nodeSpacing = 5,
                                    int nodes = -1) {
    auto seq = MakeLine(MakeCable({{1, nodes < 0 ? nx * ny : nodes, nodeSpacing}}), spec);
    seq->GridLineX = nx;
    seq->GridLineY = ny;
    return seq;
}

TGridLayout Layout(float d, bool yLines = false, bool cross = false) {
    TGridLayout l;
    l.LineSpacing = d;
    l.YLines = yLines;
    l.CrossLines = cross;
    return l;
}

using TQuad = std::tuple<int, int, int, int, int>;  // A, B, M, N, level

std::vector<TQuad> Quads(const TSequence& seq) {
    std::vector<TQuad> v;
    for (int i = 0; i < seq.NbQuadripole; ++i) {
        const TQuadripole& q = seq.Quadripoles[i];
        v.emplace_back(q.A, q.B, q.M, q.N, q.Level);
    }
    return v;
}

TLineSpec Spec(int array, int32_t levels, float a = 5) {
    TLineSpec s;
    s.Array = array;
    s.A = a;
    s.Levels = levels;
    return s;
}

}  // namespace

// Two lines of four electrodes, a = 5, D = 10, dipole-dipole levels 1 and 2 with the cross-line
// readings: worked out on paper.
TEST(Grid3D, TwoLinesOfFourWithCrossLineReadingsByHand) {
    auto seq = MakeGrid(2, 4, Spec(DD, 0b11));
    TNullChartSink chart;
    ASSERT_TRUE(GenerateGrid(*seq, Layout(10, false, true), chart));
    const float xy[8][2] = {{0, 0}, {5, 0}, {10, 0}, {15, 0}, {0, 10}, {5, 10}, {10, 10}, {15, 10}};
    for (int n = 1; n <= 8; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(seq->Electrodes[n].Type, static_cast<int16_t>(TElectrodeType::Active));
        EXPECT_EQ(seq->Electrodes[n].X, xy[n - 1][0]);
        EXPECT_EQ(seq->Electrodes[n].Y, xy[n - 1][1]);
    }
    EXPECT_EQ(seq->NbElectrode, 8);
    EXPECT_EQ(seq->LastElectrode, 8);
    EXPECT_EQ(seq->MaxX, 15);
    EXPECT_EQ(seq->MaxY, 10);
    EXPECT_EQ(seq->GridLineX, 2);
    EXPECT_EQ(seq->GridLineY, 4);
    const std::vector<TQuad> expected{
        // along X: line 1, then line 2 (level 2 needs five electrodes)
        {1, 2, 3, 4, 1},
        {5, 6, 7, 8, 1},
        // across: current dipole on line 1, potential on line 2 straight across (level 1), one
        // along and one back (level 2)
        {1, 2, 5, 6, 1},
        {1, 2, 6, 7, 2},  // cursor at 1
        {2, 3, 6, 7, 1},
        {2, 3, 7, 8, 2},
        {2, 3, 5, 6, 2},  // at 2
        {3, 4, 7, 8, 1},
        {3, 4, 6, 7, 2},  // at 3
    };
    EXPECT_EQ(Quads(*seq), expected);
}

// Three lines of four, pole-dipole level 1, with the lines along Y (D = 10 between them).
TEST(Grid3D, ThreeLinesOfFourPoleDipoleAlongBothWaysByHand) {
    auto seq = MakeGrid(3, 4, Spec(PD, 0b1));
    TNullChartSink chart;
    ASSERT_TRUE(GenerateGrid(*seq, Layout(10, true, false), chart));
    const std::vector<TQuad> expected{
        {0, 1, 2, 3, 1},   {0, 2, 3, 4, 1},    {0, 5, 6, 7, 1},  {0, 6, 7, 8, 1},   // lines along X
        {0, 9, 10, 11, 1}, {0, 10, 11, 12, 1},                                      //
        {0, 1, 5, 9, 1},   {0, 2, 6, 10, 1},   {0, 3, 7, 11, 1}, {0, 4, 8, 12, 1},  // lines along Y
    };
    EXPECT_EQ(Quads(*seq), expected);
    EXPECT_EQ(seq->Electrodes[9].Y, 20);
    // K from the true distances: B at (0, 0), M at (0, 10), N at (0, 20).
    EXPECT_NEAR(QuadripoleK(*seq, 6), -TwoPi / (1.0 / 10 - 1.0 / 20), 1e-3);
    EXPECT_EQ(GridPlaceOf(*seq, seq->Quadripoles[6]).Kind, TGridLineKind::AlongY);
    EXPECT_EQ(GridPlaceOf(*seq, seq->Quadripoles[7]).Index, 1);
    EXPECT_EQ(GridPlaceOf(*seq, seq->Quadripoles[5]).Kind, TGridLineKind::AlongX);
    EXPECT_EQ(GridPlaceOf(*seq, seq->Quadripoles[5]).Index, 2);
}

// A cross-line reading's K: the four electrodes at the corners of an a x D rectangle.
TEST(Grid3D, CrossLineGeometricFactorFromTrueDistances) {
    auto seq = MakeGrid(2, 4, Spec(DD, 0b1));
    TNullChartSink chart;
    ASSERT_TRUE(GenerateGrid(*seq, Layout(10, false, true), chart));
    ASSERT_EQ(std::get<0>(Quads(*seq)[2]), 1);
    // A (0, 0), B (5, 0), M (0, 10), N (5, 10): AM = BN = 10, AN = BM = sqrt(125).
    const double k = TwoPi / (2 / 10.0 - 2 / std::sqrt(125.0));
    EXPECT_NEAR(QuadripoleK(*seq, 2), k, 1e-2);
    const TGridPlace place = GridPlaceOf(*seq, seq->Quadripoles[2]);
    EXPECT_EQ(place.Kind, TGridLineKind::CrossX);
    EXPECT_EQ(place.Index, 0);
    EXPECT_FLOAT_EQ(place.X, 2.5f);
    EXPECT_FLOAT_EQ(place.Y, 5);
    // Its pseudo-depth: half the distance between the dipoles' centres.
    EXPECT_FLOAT_EQ(ChartValue(*seq, seq->Quadripoles[2], 0), 5);
}

// A record's counts may be anything: a line count no grid can have puts the readings on no line,
// rather than giving line numbers that overflow when two are compared.
TEST(Grid3D, ALineCountNoGridHasPutsReadingsOnNoLine) {
    auto seq = MakeGrid(2, 4, Spec(DD, 0b1));
    TNullChartSink chart;
    ASSERT_TRUE(GenerateGrid(*seq, Layout(10, false, true), chart));
    seq->GridLineX = std::numeric_limits<int32_t>::max();
    EXPECT_EQ(GridPlaceOf(*seq, seq->Quadripoles[2]).Kind, TGridLineKind::None) << "across the far line";
    EXPECT_EQ(GridPlaceOf(*seq, seq->Quadripoles[0]).Kind, TGridLineKind::AlongX) << "on the first line";
}

// A grid of one line is that line: the line generator is the oracle for every array, spacing and level.
TEST(Grid3D, OneLineGridListsAsTheLineGenerator) {
    struct TCase {
        const char* Name;
        int Array;
        int32_t Levels;
        float Spacing2;
        int32_t Levels2;
    };
    const TCase cases[] = {{"DipoleDipole", DD, 0x3F, 0, 0},
                           {"DipoleDipoleTwoLengths", DD, 0b1011, 10, 0b110},
                           {"PoleDipole", PD, 0x1F, 15, 0b11},
                           {"PolePole", PP, 0xFF, 0, 0},
                           {"WennerSchlumberger", WS, 0x3F, 10, 0b101},
                           {"Wenner", WN, 0xF, 0, 0},
                           {"MultipleGradient", MG, 0b1101, 0, 0}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TLineSpec spec = Spec(c.Array, c.Levels);
        spec.Spacing2 = c.Spacing2;
        spec.Levels2 = c.Levels2;
        auto line = MakeLine(MakeCable({{1, 30, 5}}), spec);
        TNullChartSink chart;
        GenerateSequence(*line, ModeCreate, chart);
        auto grid = MakeGrid(1, 30, spec);
        ASSERT_TRUE(GenerateGrid(*grid, Layout(7), chart));
        ASSERT_GT(line->NbQuadripole, 0);
        EXPECT_EQ(Quads(*grid), Quads(*line));
        for (int i = 0; i < line->NbQuadripole; ++i)
            ASSERT_EQ(grid->Quadripoles[i].SpacingIndex, line->Quadripoles[i].SpacingIndex);
        EXPECT_EQ(grid->DeepestX[0], line->DeepestX[0]);
    }
}

// Each line along X of a wider grid lists as a line of its own electrodes.
TEST(Grid3D, EveryLineAlongXListsAsALine) {
    auto line = MakeLine(MakeCable({{1, 12, 5}}), Spec(WS, 0b111));
    TNullChartSink chart;
    GenerateSequence(*line, ModeCreate, chart);
    auto grid = MakeGrid(4, 12, Spec(WS, 0b111));
    ASSERT_TRUE(GenerateGrid(*grid, Layout(5), chart));
    const int perLine = line->NbQuadripole;
    ASSERT_EQ(grid->NbQuadripole, 4 * perLine);
    for (int l = 0; l < 4; ++l)
        for (int i = 0; i < perLine; ++i) {
            const TQuadripole &g = grid->Quadripoles[l * perLine + i], &q = line->Quadripoles[i];
            ASSERT_EQ(g.A, q.A + 12 * l);
            ASSERT_EQ(g.B, q.B + 12 * l);
            ASSERT_EQ(g.M, q.M + 12 * l);
            ASSERT_EQ(g.N, q.N + 12 * l);
            ASSERT_EQ(g.Level, q.Level);
        }
}

// Counts for a table of grids, against closed forms: a dipole-dipole line of L electrodes holds
// L - 2 - n readings at level n; a pair of lines of L electrodes across, L - 1 straight across and
// 2 (L - n) at level n > 1.
TEST(Grid3D, CountsForATableOfGrids) {
    struct TCase {
        int NX, NY;
        int Levels;  // levels 1 to Levels
        bool YLines, Cross;
    };
    const TCase cases[] = {{1, 10, 3, false, false}, {3, 2, 2, true, true},  {4, 3, 1, true, true},
                           {4, 6, 3, false, true},   {5, 8, 4, true, false}, {6, 6, 6, true, true},
                           {2, 24, 6, true, true},   {10, 10, 8, true, true}};
    auto line = [](int l, int levels) {
        int c = 0;
        for (int n = 1; n <= levels; ++n) c += std::max(l - 2 - n, 0);
        return c;
    };
    auto pair = [](int l, int levels) {
        int c = std::max(l - 1, 0);
        for (int n = 2; n <= levels; ++n) c += 2 * std::max(l - n, 0);
        return c;
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.NX << " x " << c.NY << " levels " << c.Levels << " y "
                                        << c.YLines << " cross " << c.Cross);
        auto seq = MakeGrid(c.NX, c.NY, Spec(DD, static_cast<int32_t>((1u << c.Levels) - 1)));
        TNullChartSink chart;
        ASSERT_TRUE(GenerateGrid(*seq, Layout(5, c.YLines, c.Cross), chart));
        int expected = c.NX * line(c.NY, c.Levels);
        if (c.YLines) expected += c.NY * line(c.NX, c.Levels);
        if (c.Cross) expected += (c.NX - 1) * pair(c.NY, c.Levels);
        if (c.Cross && c.YLines) expected += (c.NY - 1) * pair(c.NX, c.Levels);
        EXPECT_EQ(seq->NbQuadripole, expected);
        EXPECT_EQ(seq->NbElectrode, c.NX * c.NY);
        // No reading twice, and every electrode active.
        auto quads = Quads(*seq);
        std::sort(quads.begin(), quads.end());
        EXPECT_EQ(std::adjacent_find(quads.begin(), quads.end()), quads.end());
        for (const TQuad& q : quads)
            for (int e : {std::get<0>(q), std::get<1>(q), std::get<2>(q), std::get<3>(q)})
                ASSERT_EQ(seq->Electrodes[e].Type, static_cast<int16_t>(TElectrodeType::Active));
    }
}

// Electrodes follow the cable: with nodes 2.5 apart and a = 5 every other node is an electrode, the
// nodes between stay on their line after the electrode they follow.
TEST(Grid3D, NodesCloserThanTheSpacingLeaveInactiveNodesOnTheirLine) {
    auto seq = MakeGrid(2, 3, Spec(DD, 0b1), 2.5f, 12);
    TNullChartSink chart;
    ASSERT_TRUE(GenerateGrid(*seq, Layout(8), chart));
    const int active[] = {1, 3, 5, 7, 9, 11};
    for (int k = 0; k < 6; ++k) {
        const TElectrode& e = seq->Electrodes[active[k]];
        EXPECT_EQ(e.Type, static_cast<int16_t>(TElectrodeType::Active)) << active[k];
        EXPECT_EQ(e.X, static_cast<float>(k % 3) * 5);
        EXPECT_EQ(e.Y, static_cast<float>(k / 3) * 8);
    }
    // Node 4 follows electrode 3 (line 1, x 5); node 6 follows 5, the end of line 1; node 8 follows 7.
    EXPECT_EQ(seq->Electrodes[4].Type, static_cast<int16_t>(TElectrodeType::Inactive));
    EXPECT_FLOAT_EQ(seq->Electrodes[4].X, 7.5f);
    EXPECT_FLOAT_EQ(seq->Electrodes[4].Y, 0);
    EXPECT_FLOAT_EQ(seq->Electrodes[6].X, 12.5f);
    EXPECT_FLOAT_EQ(seq->Electrodes[6].Y, 0);
    EXPECT_FLOAT_EQ(seq->Electrodes[8].X, 2.5f);
    EXPECT_FLOAT_EQ(seq->Electrodes[8].Y, 8);
    EXPECT_EQ(seq->LastElectrode, 11);
}

TEST(Grid3D, RefusesWhatItCannotLayOut) {
    struct TCase {
        const char* Name;
        int NX, NY, Nodes, Array;
        float D;
        TGenerationField Field;
    };
    const TCase cases[] = {
        {"TooFewNodes", 3, 4, 10, DD, 5, TGenerationField::GridLines},
        {"NoLinesAlongY", 3, 0, 12, DD, 5, TGenerationField::GridLines},
        {"MoreThan100Lines", 101, 1, 200, DD, 5, TGenerationField::GridLines},
        {"MoreThan1999Electrodes", 50, 40, 1999, DD, 5, TGenerationField::GridLines},
        {"LineSpacingZero", 2, 4, 8, DD, 0, TGenerationField::LineSpacing},
        {"LineSpacingNaN", 2, 4, 8, DD, NAN, TGenerationField::LineSpacing},
        {"LinesBeyondTheRemote", 3, 4, 12, DD, 600000, TGenerationField::LineSpacing},
        {"NoListingScheme", 2, 4, 8, 9, 5, TGenerationField::ArrayType},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        auto seq = MakeGrid(c.NX, c.NY, Spec(c.Array, 0b1), 5, c.Nodes);
        auto before = std::make_unique<TSequence>(*seq);
        auto problem = GridPrecondition(*seq, Layout(c.D));
        ASSERT_TRUE(problem.has_value());
        EXPECT_EQ(problem->Field, c.Field) << problem->Text;
        TNullChartSink chart;
        EXPECT_FALSE(GenerateGrid(*seq, Layout(c.D), chart));
        EXPECT_EQ(std::memcmp(seq.get(), before.get(), sizeof(TSequence)), 0);
    }
}

TEST(Grid3D, StopsAtTheCapWithExactlySixteenThousand) {
    auto seq = MakeGrid(40, 40, Spec(DD, static_cast<int32_t>(0xFFFF)));
    TNullChartSink chart;
    EXPECT_FALSE(GenerateGrid(*seq, Layout(5, true, true), chart));
    EXPECT_EQ(seq->NbQuadripole, MaxQuadripoles);
}

// A grid regenerated from the record alone (the dialog and the command line generate again) gives the
// same bytes: the layout is read back from the electrodes and readings.
TEST(Grid3D, RegeneratesFromTheRecordAlone) {
    for (auto [yLines, cross] : {std::pair{false, false}, {true, false}, {false, true}, {true, true}}) {
        SCOPED_TRACE(testing::Message() << yLines << cross);
        auto seq = MakeGrid(4, 6, Spec(DD, 0b111));
        TNullChartSink chart;
        ASSERT_TRUE(GenerateGrid(*seq, Layout(7.5f, yLines, cross), chart));
        auto layout = GridLayoutOf(*seq);
        ASSERT_TRUE(layout.has_value());
        EXPECT_EQ(layout->LineSpacing, 7.5f);
        EXPECT_EQ(layout->YLines, yLines);
        EXPECT_EQ(layout->CrossLines, cross);
        auto again = std::make_unique<TSequence>(*seq);
        GenerateSequence(*again, ModeCreate, chart);
        EXPECT_EQ(std::memcmp(seq.get(), again.get(), sizeof(TSequence)), 0);
    }
    auto line = MakeLine(MakeCable({{1, 24, 5}}), Spec(DD, 0b1));
    EXPECT_FALSE(GridLayoutOf(*line).has_value());
}

// A reading along Y is measured along its own line: its values are those of the same reading along X
// with every length scaled by D / a.
TEST(Grid3D, ChartValuesAlongYScaleWithTheLineSpacing) {
    for (int array : {DD, PD, WS, WN, PP}) {
        SCOPED_TRACE(array);
        auto seq = MakeGrid(8, 8, Spec(array, 0b11));
        TNullChartSink chart;
        ASSERT_TRUE(GenerateGrid(*seq, Layout(15, true, false), chart));
        // The first reading of line 1 along X and of line 1 along Y have the same shape.
        int alongY = -1;
        for (int i = 0; i < seq->NbQuadripole && alongY < 0; ++i)
            if (GridPlaceOf(*seq, seq->Quadripoles[i]).Kind == TGridLineKind::AlongY) alongY = i;
        ASSERT_GE(alongY, 0);
        const TQuadripole &x = seq->Quadripoles[0], &y = seq->Quadripoles[alongY];
        ASSERT_EQ(x.Level, y.Level);
        for (int view : {0, 1}) {
            const float flat = ChartValue(*seq, x, view);
            EXPECT_NEAR(ChartValue(*seq, y, view), flat * 3, 1e-4 * flat) << "view " << view;
        }
        EXPECT_NEAR(std::fabs(GeometricFactor(*seq, y)), std::fabs(GeometricFactor(*seq, x)) * 3, 1e-2);
    }
}

// A grid is laid out whole: no line rolls or moves along after it.
TEST(Grid3D, NothingRollsAlongAfterAGrid) {
    auto grid = MakeGrid(4, 12, Spec(DD, 0b111));
    TNullChartSink chart;
    ASSERT_TRUE(GenerateGrid(*grid, Layout(5), chart));
    auto line = MakeLine(MakeCable({{1, 48, 5}}), Spec(DD, 0b111));
    auto before = std::make_unique<TSequence>(*line);
    for (int mode : {ModeRollAlong, ModeMoveAlong}) {
        EXPECT_FALSE(ChoosePreviousSequence(*line, *grid, mode).has_value());
        EXPECT_EQ(std::memcmp(line.get(), before.get(), sizeof(TSequence)), 0);
    }
}
