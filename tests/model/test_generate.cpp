#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "model/generate.h"
#include "model/geometry.h"
#include "model/sequencerules.h"
#include "tests/support/fixtures.h"
#include "tests/support/recordingsink.h"

namespace {

std::vector<std::array<int, 4>> Quads(const TSequence& s, int from = 0, int count = -1) {
    std::vector<std::array<int, 4>> out;
    int end = count < 0 ? s.NbQuadripole : std::min(s.NbQuadripole, from + count);
    for (int i = from; i < end; ++i)
        out.push_back({s.Quadripoles[i].A, s.Quadripoles[i].B, s.Quadripoles[i].M, s.Quadripoles[i].N});
    return out;
}

TEST(Generate, DipoleDipoleOnAUniformLine) {
    auto seq = MakeLine(MakeCable({{1, 48, 5}}), {});
    TRecordingSink chart;
    EXPECT_TRUE(GenerateSequence(*seq, ModeCreate, chart));
    for (int k = 1; k <= 48; ++k) {
        ASSERT_EQ(seq->Electrodes[k].Type, 2) << k;
        ASSERT_FLOAT_EQ(seq->Electrodes[k].X, float(k - 1) * 5) << k;
    }
    EXPECT_EQ(seq->Electrodes[0].Type, 3);
    EXPECT_EQ(seq->Electrodes[0].X, RemoteCoordinate);
    EXPECT_FLOAT_EQ(seq->MaxX, 235);
    EXPECT_EQ(seq->LastElectrode, 48);
    ASSERT_EQ(seq->NbQuadripole, 255);
    std::vector<std::array<int, 4>> first6 = {{1, 2, 3, 4}, {1, 2, 4, 5}, {1, 2, 5, 6},
                                              {1, 2, 6, 7}, {1, 2, 7, 8}, {1, 2, 8, 9}};
    EXPECT_EQ(Quads(*seq, 0, 6), first6);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(seq->Quadripoles[i].Level, i + 1);
    EXPECT_EQ(Quads(*seq, 254, 1), (std::vector<std::array<int, 4>>{{45, 46, 47, 48}}));
    EXPECT_EQ(seq->Quadripoles[254].Level, 1);
    EXPECT_FLOAT_EQ(seq->DeepestX[0], 195);
    EXPECT_EQ(seq->Quadripoles[255].Reserved, -1);
    EXPECT_EQ(seq->Quadripoles[255].A, 0);

    // The chart got every quadripole, once cleared first.
    EXPECT_EQ(chart.Clears, 1);
    ASSERT_EQ(chart.Points.size(), 255u);
    EXPECT_EQ(chart.Points[0].Label, " 1-2-3-4  ");
    EXPECT_EQ(chart.Points[5].Series, 6);
    EXPECT_EQ(chart.Points[5].Colour, 0);
    EXPECT_TRUE(chart.Points[5].Inverted);
    EXPECT_DOUBLE_EQ(chart.Points[0].X, 7.5);
    EXPECT_DOUBLE_EQ(chart.Points[0].Y, 5.0);  // "Level" view: |Pc - Cc| / 2
}

TEST(Generate, HalfSpacingNodesLeaveEveryOtherNodeInactive) {
    auto seq = MakeLine(MakeCable({{1, 48, 2.5f}}), {});
    TNullChartSink chart;
    GenerateSequence(*seq, ModeCreate, chart);
    int active = 0;
    for (int k = 1; k <= 48; ++k) {
        const TElectrode& e = seq->Electrodes[k];
        if (k % 2 == 1) {
            ASSERT_EQ(e.Type, 2) << k;
            ASSERT_FLOAT_EQ(e.X, float(k - 1) / 2 * 5);
            ++active;
        } else {
            ASSERT_EQ(e.Type, 4) << k;
            ASSERT_FLOAT_EQ(e.X, seq->Electrodes[k - 1].X + 2.5f) << k;  // at the midpoints
        }
    }
    EXPECT_EQ(active, 24);
}

TEST(Generate, WennerStartsDeepestFirst) {
    auto seq = MakeLine(MakeCable({{1, 48, 5}}), {.Array = 6, .Levels = 0xF});
    TNullChartSink chart;
    GenerateSequence(*seq, ModeCreate, chart);
    std::vector<std::array<int, 4>> first4 = {{1, 13, 5, 9}, {1, 10, 4, 7}, {1, 7, 3, 5}, {1, 4, 2, 3}};
    EXPECT_EQ(Quads(*seq, 0, 4), first4);
}

TEST(Generate, PoleArraysUseTheRemoteElectrode) {
    TNullChartSink chart;
    auto pd = MakeLine(MakeCable({{1, 48, 5}}), {.Array = 1, .Levels = 0x3});
    GenerateSequence(*pd, ModeCreate, chart);
    EXPECT_EQ(Quads(*pd, 0, 2), (std::vector<std::array<int, 4>>{{0, 1, 2, 3}, {0, 1, 3, 4}}));
    auto pp = MakeLine(MakeCable({{1, 48, 5}}), {.Array = 2, .Levels = 0x3});
    GenerateSequence(*pp, ModeCreate, chart);
    EXPECT_EQ(Quads(*pp, 0, 2), (std::vector<std::array<int, 4>>{{0, 1, 0, 2}, {0, 1, 0, 3}}));
}

TEST(Generate, StartInTheSecondSegmentWrapsTheFirstToTheEnd) {
    auto seq = MakeLine(MakeCable({{1, 24, 5}, {25, 48, 5}}), {.First = 25, .Electrodes = 48, .X0 = 100});
    TNullChartSink chart;
    GenerateSequence(*seq, ModeCreate, chart);
    for (int k = 25; k <= 48; ++k) ASSERT_FLOAT_EQ(seq->Electrodes[k].X, 100 + float(k - 25) * 5) << k;
    for (int k = 1; k <= 24; ++k) {
        ASSERT_EQ(seq->Electrodes[k].Type, 2);
        ASSERT_FLOAT_EQ(seq->Electrodes[k].X, 100 + float(k + 23) * 5) << k;
    }
    EXPECT_EQ(seq->LastElectrode, 24);
}

TEST(Generate, NodesBeforeTheFirstElectrodeLieBeforeTheLine) {
    auto seq = MakeLine(MakeCable({{1, 48, 5}}), {.First = 13, .X0 = 60});
    TNullChartSink chart;
    GenerateSequence(*seq, ModeCreate, chart);
    for (int k = 1; k <= 12; ++k) {
        ASSERT_EQ(seq->Electrodes[k].Type, 4);
        ASSERT_FLOAT_EQ(seq->Electrodes[k].X, 60 - float(13 - k) * 5) << k;
    }
    EXPECT_EQ(seq->Electrodes[13].Type, 2);
    EXPECT_FLOAT_EQ(seq->Electrodes[13].X, 60);
}

TEST(Generate, ElectrodeCountLimitsTheActiveOnes) {
    auto seq = MakeLine(MakeCable({{1, 48, 5}}), {.Electrodes = 10});
    TNullChartSink chart;
    GenerateSequence(*seq, ModeCreate, chart);
    int active = 0, inactive = 0;
    for (int k = 1; k <= 48; ++k) (seq->Electrodes[k].Type == 2 ? active : inactive)++;
    EXPECT_EQ(active, 10);
    EXPECT_EQ(inactive, 38);
    EXPECT_EQ(seq->LastElectrode, 10);
}

TEST(Generate, RollAlongDropsWhatThePreviousLineMeasured) {
    auto seq = MakeLine(MakeCable({{1, 48, 5}}), {});
    seq->RollLimit[0] = 50;
    TNullChartSink chart;
    GenerateSequence(*seq, ModeRollAlong, chart);
    float firstCursor[7] = {};
    for (int i = seq->NbQuadripole - 1; i >= 0; --i) {
        const TQuadripole& q = seq->Quadripoles[i];
        firstCursor[q.Level] = seq->Electrodes[q.A].X;
    }
    EXPECT_FLOAT_EQ(firstCursor[6], 50);  // level 6 from cursor 50 on
    EXPECT_FLOAT_EQ(firstCursor[1], 75);  // level 1 only from 75 on
    auto plain = MakeLine(MakeCable({{1, 48, 5}}), {});
    plain->RollLimit[0] = 50;
    GenerateSequence(*plain, ModeCreate, chart);
    EXPECT_EQ(plain->NbQuadripole, 255);
    EXPECT_LT(seq->NbQuadripole, 255);
}

TEST(Generate, StopsAtTheCapWithExactly16000) {
    auto seq = MakeLine(MakeCable({{1, 1999, 1}}), {.A = 1, .Levels = -1});
    TNullChartSink chart;
    EXPECT_FALSE(GenerateSequence(*seq, ModeCreate, chart));
    EXPECT_EQ(seq->NbQuadripole, 16000);
}

TEST(Generate, OtherSpacingsInterleaveInOrder) {
    auto seq = MakeLine(MakeCable({{1, 48, 5}}), {.Levels = 0x3, .Spacing2 = 10, .Levels2 = 0x1});
    TRecordingSink chart;
    GenerateSequence(*seq, ModeCreate, chart);
    // Cursor at electrode 1: spacing 0 levels 1, 2, then spacing 1 (D = 2a) level 1.
    EXPECT_EQ(Quads(*seq, 0, 3), (std::vector<std::array<int, 4>>{{1, 2, 3, 4}, {1, 2, 4, 5}, {1, 3, 4, 6}}));
    EXPECT_EQ(seq->Quadripoles[2].SpacingIndex, 1);
    EXPECT_EQ(chart.Points[2].Series, 2);
    EXPECT_EQ(chart.Points[2].Colour, 1);
}

TEST(Generate, NoListingSchemeOrNoUsableSpacing) {
    TNullChartSink chart;
    auto odd = MakeLine(MakeCable({{1, 48, 5}}), {.Array = 3});
    EXPECT_FALSE(GenerateSequence(*odd, ModeCreate, chart));
    EXPECT_EQ(odd->NbQuadripole, 0);
    EXPECT_EQ(odd->Electrodes[1].Type, 2);  // placed all the same
    auto none = MakeLine(MakeCable({{1, 48, 5}}), {.Levels = 0});
    EXPECT_TRUE(GenerateSequence(*none, ModeCreate, chart));
    EXPECT_EQ(none->NbQuadripole, 0);
}

TEST(Generate, BrokenPreconditionsLeaveTheRecordUntouched) {
    TNullChartSink chart;
    struct TCase {
        const char* Name;
        void (*Spoil)(TSequence&);
    } cases[] = {
        {"spacing", [](TSequence& s) { s.Spacing[0] = 0.0005f; }},
        {"first not a node", [](TSequence& s) { s.FirstElectrode = 60; }},
        {"first zero", [](TSequence& s) { s.FirstElectrode = 0; }},
        {"no electrode", [](TSequence& s) { s.NbElectrode = 0; }},
        {"zero node spacing", [](TSequence& s) { s.Segments[0].NodeSpacing = 0; }},
        {"nodes above 1999", [](TSequence& s) { s.Segments[0].LastNode = 2500; }},
        {"infinite spacing", [](TSequence& s) { s.Spacing[0] = INFINITY; }},
        {"infinite second dipole", [](TSequence& s) { s.Spacing[1] = INFINITY; }},
        {"infinite start", [](TSequence& s) { s.Electrodes[s.FirstElectrode].X = INFINITY; }},
        {"start not a number", [](TSequence& s) { s.Electrodes[s.FirstElectrode].Y = NAN; }},
        {"infinite node spacing", [](TSequence& s) { s.Segments[0].NodeSpacing = INFINITY; }},
    };
    for (const auto& c : cases) {
        auto seq = MakeLine(MakeCable({{1, 48, 5}}), {});
        c.Spoil(*seq);
        auto before = std::make_unique<TSequence>(*seq);
        EXPECT_TRUE(GenerationProblem(*seq).has_value()) << c.Name;
        EXPECT_FALSE(GenerateSequence(*seq, ModeCreate, chart)) << c.Name;
        EXPECT_EQ(std::memcmp(seq.get(), before.get(), sizeof(TSequence)), 0) << c.Name;
    }
}

TEST(Generate, ASpacingTooSmallToTellElectrodesApartIsRefused) {
    // Positions are matched within 0.01: at a = 0.0015 every lookup met electrode 1 and all 147
    // quadripoles were 1-1-1-1; at 0.015 six of them were lost.
    for (float a : {0.0011f, 0.0015f, 0.005f, 0.01f, 0.015f, 0.0199f}) {
        auto seq = MakeLine(MakeCable({{1, 48, 5}}), {.A = a});
        const auto before = std::make_unique<TSequence>(*seq);
        auto p = GenerationPrecondition(*seq);
        ASSERT_TRUE(p.has_value()) << a;
        EXPECT_EQ(p->Field, TGenerationField::Spacing);
        EXPECT_NE(p->Text.find("cannot be told apart"), std::string::npos) << p->Text;
        TNullChartSink chart;
        EXPECT_FALSE(GenerateSequence(*seq, ModeCreate, chart)) << a;
        EXPECT_EQ(std::memcmp(seq.get(), before.get(), sizeof(TSequence)), 0) << a;
    }
    EXPECT_FALSE(GenerationPrecondition(*MakeLine(MakeCable({{1, 48, 5}}), {.A = MinDistinctSpacing})));
}

TEST(Generate, TheLastElectrodeIsFoundAFloatStepPastTheLineEnd) {
    // A lookup summed from the cursor may end a float step past MaxX, the last electrode's abscissa
    // computed as a product: at a = 0.13 every quadripole that reached electrode 48 was lost.
    auto seq = MakeLine(MakeCable({{1, 48, 5}}), {.A = 0.13f});
    TNullChartSink chart;
    GenerateSequence(*seq, ModeCreate, chart);
    const float end = seq->MaxX;
    ASSERT_EQ(end, seq->Electrodes[48].X);
    TElectrodePositionIndex index(*seq);
    for (float x : {std::nextafter(end, INFINITY), end + 0.0099f}) {
        int scanned = -1, indexed = -1;
        EXPECT_TRUE(FindElectrodeAt(*seq, x, 0, scanned)) << x;
        EXPECT_TRUE(index.Find(*seq, x, 0, indexed)) << x;
        EXPECT_EQ(scanned, 48);
        EXPECT_EQ(indexed, 48);
    }
    int hint = -1;
    EXPECT_FALSE(FindElectrodeAt(*seq, end + 0.01f, 0, hint));
    EXPECT_FALSE(index.Find(*seq, end + 0.01f, 0, hint));
    EXPECT_EQ(seq->NbQuadripole, 255);  // as at a = 5
}

TEST(Generate, AtEveryAcceptedSpacingEachQuadripoleHasItsOwnElectrodesAndNoneIsLost) {
    // The quadripoles of a line depend on its electrodes and levels only, never on how far apart the
    // electrodes are: every spacing gives the same list as a = 5.
    const struct {
        const char* Name;
        TLineSpec Spec;
    } arrays[] = {
        {"dd", {.Array = 0, .Levels = 0x3F, .Spacing2 = 10, .Levels2 = 0x7}},
        {"pd", {.Array = 1, .Levels = 0xFF}},
        {"pp", {.Array = 2, .Levels = 0xFF}},
        {"ws", {.Array = 4, .Levels = 0x3F, .Spacing2 = 15, .Levels2 = 0x3}},
        {"wenner", {.Array = 6, .Levels = 0xF}},
    };
    const float spacings[] = {0.02f, 0.021f, 0.025f, 0.029f, 0.03f, 0.033f, 0.047f, 0.05f,
                              0.07f, 0.09f,  0.11f,  0.3f,   0.43f, 1.0f,   5.0f};
    for (const auto& [name, spec] : arrays) {
        auto reference = MakeLine(MakeCable({{1, 48, 5}}), spec);
        TNullChartSink chart;
        GenerateSequence(*reference, ModeCreate, chart);
        ASSERT_GT(reference->NbQuadripole, 0) << name;
        for (float a : spacings) {
            TLineSpec scaled = spec;
            scaled.A = a;
            auto seq = MakeLine(MakeCable({{1, 48, 5}}), scaled);
            // The second length, the same multiple of the new a, as the dialog stores it.
            if (spec.Spacing2 != 0) SetDipoleLength(*seq, 1, static_cast<int>(spec.Spacing2 / spec.A));
            auto scanned = std::make_unique<TSequence>(*seq);
            ASSERT_FALSE(GenerationPrecondition(*seq)) << name << " " << a;
            GenerateSequence(*seq, ModeCreate, chart);
            GenerateSequenceByScan(*scanned, ModeCreate, chart);
            ASSERT_EQ(std::memcmp(seq.get(), scanned.get(), sizeof(TSequence)), 0) << name << " " << a;
            ASSERT_EQ(Quads(*seq), Quads(*reference)) << name << " " << a;
            for (int i = 0; i < seq->NbQuadripole; ++i)
                ASSERT_FALSE(RepeatsAnElectrode(seq->Quadripoles[i])) << name << " " << a << " " << i;
        }
    }
}

TEST(Generate, RepeatableExceptThatMaxXNeverShrinks) {
    auto seq = MakeLine(MakeCable({{1, 48, 5}}), {});
    TNullChartSink chart;
    GenerateSequence(*seq, ModeCreate, chart);
    auto first = std::make_unique<TSequence>(*seq);
    GenerateSequence(*seq, ModeCreate, chart);
    EXPECT_EQ(std::memcmp(seq.get(), first.get(), sizeof(TSequence)), 0);
    seq->NbElectrode = 20;
    GenerateSequence(*seq, ModeCreate, chart);
    EXPECT_FLOAT_EQ(seq->MaxX, 235);
    EXPECT_EQ(seq->LastElectrode, 20);
}

TEST(Generate, JunctionToAWiderSegmentCountsHalfOfEachSpacing) {
    // 1 m nodes then 5 m nodes with a = 5: the junction adds 0.5 + 2.5 of cable.
    auto seq = MakeLine(MakeCable({{1, 11, 1}, {12, 20, 5}}), {});
    TNullChartSink chart;
    GenerateSequence(*seq, ModeCreate, chart);
    EXPECT_EQ(seq->Electrodes[1].Type, 2);
    EXPECT_EQ(seq->Electrodes[6].Type, 2);
    EXPECT_EQ(seq->Electrodes[11].Type, 2);
    // Node 12 lies only 0.5 + 2.5 = 3 of cable past node 11: not yet an electrode. It follows node 11
    // by one node step of the narrow segment; node 13 is the next electrode.
    EXPECT_EQ(seq->Electrodes[12].Type, 4);
    EXPECT_FLOAT_EQ(seq->Electrodes[12].X, 11);
    EXPECT_EQ(seq->Electrodes[13].Type, 2);
    EXPECT_FLOAT_EQ(seq->Electrodes[13].X, 15);
}

// ---- physics: |K| against the textbook closed forms on uniform lines ----

struct TPhysicsCase {
    const char* Name;
    int Array;
    double (*Closed)(int n, double a);
    int Sign;
};

class Physics : public ::testing::TestWithParam<TPhysicsCase> {};

TEST_P(Physics, GeometricFactorMatchesClosedForm) {
    const auto& c = GetParam();
    for (float a : {1.0f, 2.5f, 5.0f}) {
        auto seq = MakeLine(MakeCable({{1, 120, a}}), {.Array = c.Array, .A = a, .Levels = 0xFF});
        TNullChartSink chart;
        GenerateSequence(*seq, ModeCreate, chart);
        ASSERT_GT(seq->NbQuadripole, 100);
        for (int i = 0; i < seq->NbQuadripole; ++i) {
            const TQuadripole& q = seq->Quadripoles[i];
            double k = QuadripoleK(*seq, i);
            double expect = c.Closed(q.Level, a);
            ASSERT_NEAR(std::fabs(k), expect, expect * 2e-5)
                << "quadripole " << i << " level " << int(q.Level);
            ASSERT_EQ(k > 0 ? 1 : -1, c.Sign) << i;
        }
    }
}

constexpr double Pi = 3.14159265358979323846;
INSTANTIATE_TEST_SUITE_P(
    ClosedForms, Physics,
    ::testing::Values(
        TPhysicsCase{"DipoleDipole", 0, [](int n, double a) { return Pi * n * (n + 1) * (n + 2) * a; }, -1},
        TPhysicsCase{"PoleDipole", 1, [](int n, double a) { return 2 * Pi * n * (n + 1) * a; }, -1},
        TPhysicsCase{"PolePole", 2, [](int n, double a) { return 2 * Pi * n * a; }, 1},
        TPhysicsCase{"Wenner", 6, [](int n, double a) { return 2 * Pi * n * a; }, 1},
        TPhysicsCase{"WennerSchlumberger", 4, [](int n, double a) { return Pi * n * (n + 1) * a; }, 1}),
    [](const auto& p) { return std::string(p.param.Name); });

// ---- the indexed lookups against the plain scan ----

struct TOracleCase {
    std::string Name;
    std::vector<TSegSpec> Segments;
    TLineSpec Line;
    int Mode = ModeCreate;
    float RollLimit = NotSet;
    void (*Spoil)(TSequence&) = nullptr;  // what a file may hold beyond a freshly applied cable set
};

std::unique_ptr<TSequence> Build(const TOracleCase& c) {
    TCable cable;
    for (std::size_t i = 0; i < c.Segments.size(); ++i) cable.Segments[i] = MakeSegment(c.Segments[i]);
    auto seq = MakeLine(cable, c.Line);
    for (float& r : seq->RollLimit) r = c.RollLimit;
    if (c.Spoil) c.Spoil(*seq);
    return seq;
}

void ExpectSameCharts(const TRecordingSink& a, const TRecordingSink& b) {
    EXPECT_EQ(a.Clears, b.Clears);
    ASSERT_EQ(a.Points.size(), b.Points.size());
    for (std::size_t i = 0; i < a.Points.size(); ++i) {
        const TRecordedPoint &p = a.Points[i], &q = b.Points[i];
        ASSERT_EQ(p.Label, q.Label) << i;
        ASSERT_EQ(p.Series, q.Series) << i;
        ASSERT_EQ(p.Colour, q.Colour) << i;
        ASSERT_EQ(p.Inverted, q.Inverted) << i;
        ASSERT_EQ(std::memcmp(&p.X, &q.X, sizeof p.X), 0) << i;
        ASSERT_EQ(std::memcmp(&p.Y, &q.Y, sizeof p.Y), 0) << i;
    }
}

class IndexAgainstScan : public ::testing::TestWithParam<TOracleCase> {};

TEST_P(IndexAgainstScan, GivesTheSameRecordAndChart) {
    auto indexed = Build(GetParam());
    auto scanned = Build(GetParam());
    TRecordingSink a(1), b(1);
    bool ra = GenerateSequence(*indexed, GetParam().Mode, a);
    bool rb = GenerateSequenceByScan(*scanned, GetParam().Mode, b);
    EXPECT_EQ(ra, rb);
    EXPECT_GT(indexed->NbQuadripole, 0);
    EXPECT_EQ(std::memcmp(indexed.get(), scanned.get(), sizeof(TSequence)), 0);
    ExpectSameCharts(a, b);
}

TEST_P(IndexAgainstScan, GivesTheSameRecordWithoutAChart) {
    // Without points to send, entries are written by a shorter path.
    auto indexed = Build(GetParam());
    auto scanned = Build(GetParam());
    TNullChartSink chart;
    EXPECT_EQ(GenerateSequence(*indexed, GetParam().Mode, chart),
              GenerateSequenceByScan(*scanned, GetParam().Mode, chart));
    EXPECT_EQ(std::memcmp(indexed.get(), scanned.get(), sizeof(TSequence)), 0);
}

TEST_P(IndexAgainstScan, RegeneratesTheSameAfterAnotherGeneration) {
    // A second run on the record of the first, with fewer and then more quadripoles.
    auto indexed = Build(GetParam());
    auto scanned = Build(GetParam());
    TNullChartSink chart;
    for (int32_t levels : {1, GetParam().Line.Levels}) {
        GenerateSequence(*indexed, GetParam().Mode, chart);
        GenerateSequenceByScan(*scanned, GetParam().Mode, chart);
        indexed->LevelUsed[0] = scanned->LevelUsed[0] = levels;
        TRecordingSink a(0), b(0);
        EXPECT_EQ(GenerateSequence(*indexed, GetParam().Mode, a),
                  GenerateSequenceByScan(*scanned, GetParam().Mode, b));
        ASSERT_EQ(std::memcmp(indexed.get(), scanned.get(), sizeof(TSequence)), 0) << levels;
        ExpectSameCharts(a, b);
    }
}

TEST_P(IndexAgainstScan, FindsWhatTheScanFindsAnywhere) {
    auto seq = Build(GetParam());
    TNullChartSink chart;
    GenerateSequence(*seq, GetParam().Mode, chart);
    TElectrodePositionIndex index(*seq);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> xs(seq->Electrodes[seq->FirstElectrode].X - 20, seq->MaxX + 20);
    std::uniform_int_distribution<int> hints(-1, MaxElectrodes + 10);
    int predicted = 0;
    for (int i = 0; i < 4000; ++i) {
        float x = xs(rng);
        // Near the electrodes, and right at the edges of the match distance.
        if (i % 2 == 0) x = std::round(x / seq->Spacing[0]) * seq->Spacing[0] + float(i % 5) * 0.004f;
        if (i % 3 == 0) x = seq->Electrodes[i % MaxElectrodes].X + (i % 2 ? 0.00999f : -0.01f);
        int h1 = i % 4 ? hints(rng) : i % MaxElectrodes, h2 = h1;
        const float y = i % 7 ? seq->MaxY : seq->MaxY - 0.0101f;
        bool f1 = FindElectrodeAt(*seq, x, y, h1);
        bool f2 = index.Find(*seq, x, y, h2);
        ASSERT_EQ(f1, f2) << x;
        ASSERT_EQ(h1, h2) << x;
        // A slot's answer, taken from a guess near the right slot or from anywhere, is the scan's from
        // any hint.
        const TElectrodeSlots& slots = index.Slots();
        const int guess = i % 4 ? slots.SlotNear(x) + i % 3 - 1 : i % 97 - 3;
        int h3 = -7;
        if (slots.Predicted(guess, x, h3)) {
            ++predicted;
            int h4 = hints(rng);
            ASSERT_TRUE(FindElectrodeAt(*seq, x, slots.LineY(), h4)) << x;
            ASSERT_EQ(h3, h4) << x;
            h4 = -1;
            ASSERT_TRUE(FindElectrodeAt(*seq, x, slots.LineY(), h4)) << x;
            ASSERT_EQ(h3, h4) << x;
        }
    }
    if (seq->Spacing[0] >= 0.3f) {
        EXPECT_GT(predicted, 0);  // the slots answered some
    }
}

TEST_P(IndexAgainstScan, RegularSlotsAnswerAnywhereWithinTheBudget) {
    // What the listing counts on when it reads electrodes from the slots without a lookup.
    auto seq = Build(GetParam());
    TNullChartSink chart;
    GenerateSequence(*seq, GetParam().Mode, chart);
    TElectrodePositionIndex index(*seq);
    const TElectrodeSlots& slots = index.Slots();
    const double budget = slots.RegularBudget();
    std::mt19937 rng(11);
    int regular = 0;
    for (int k = 0; k < 4 * MaxElectrodes && budget > 0; ++k) {
        if (!slots.Regular(k, k)) continue;
        ++regular;
        const double offsets[] = {-budget, budget,
                                  std::uniform_real_distribution<double>(-budget, budget)(rng)};
        for (double offset : offsets) {
            const float x = static_cast<float>(slots.GridX(k) + offset);
            int predicted = -7, scanned = std::uniform_int_distribution<int>(-1, MaxElectrodes)(rng);
            ASSERT_TRUE(slots.Predicted(k, x, predicted)) << k << " " << offset;
            ASSERT_EQ(predicted, slots.RegularNumber(k)) << k;
            ASSERT_TRUE(FindElectrodeAt(*seq, x, slots.LineY(), scanned)) << k << " " << offset;
            ASSERT_EQ(scanned, predicted) << k << " " << offset;
        }
    }
    if (seq->Spacing[0] >= 0.3f && std::fabs(seq->Electrodes[seq->FirstElectrode].X) < 1e4f) {
        EXPECT_GT(regular, 0);  // regular lines have regular slots
    }
}

// Every case of the generation benchmark, a = 1 on 48 to 1,999 evenly spaced nodes.
std::vector<TOracleCase> BenchmarkCases() {
    std::vector<TOracleCase> out;
    const std::pair<const char*, int> arrays[] = {{"dd", 0}, {"pd", 1}, {"pp", 2}, {"wenner", 6}, {"ws", 4}};
    for (const auto& [name, type] : arrays)
        for (int nodes : {48, 96, 480, 1999})
            for (int levels : {8, 32})
                out.push_back({std::string(name) + "_" + std::to_string(nodes) + "_" + std::to_string(levels),
                               {{1, nodes, 1}},
                               {.Array = type, .A = 1, .Levels = int32_t(uint32_t(-1) >> (32 - levels))}});
    return out;
}

INSTANTIATE_TEST_SUITE_P(Benchmark, IndexAgainstScan, ::testing::ValuesIn(BenchmarkCases()),
                         [](const auto& p) { return p.param.Name; });

INSTANTIATE_TEST_SUITE_P(
    Arrays, IndexAgainstScan,
    ::testing::Values(
        TOracleCase{"DipoleDipole", {{1, 48, 5}}, {.Array = 0, .Levels = 0x3F}},
        TOracleCase{"PoleDipole", {{1, 64, 2.5f}}, {.Array = 1, .Levels = 0xFF}},
        TOracleCase{"PolePole", {{1, 48, 5}}, {.Array = 2, .Levels = 0x1FF}},
        TOracleCase{"Wenner", {{1, 72, 1}}, {.Array = 6, .A = 2, .Levels = 0xF}},
        TOracleCase{"WennerSchlumberger", {{1, 48, 5}}, {.Array = 4, .Levels = 0x3F}},
        TOracleCase{
            "ThreeLengths",
            {{1, 96, 5}},
            {.Array = 0, .Levels = 0x3F, .Spacing2 = 10, .Spacing3 = 15, .Levels2 = 0x1F, .Levels3 = 0x7}},
        TOracleCase{"ThreeLengthsWennerSchlumberger",
                    {{1, 480, 1}},
                    {.Array = 4,
                     .A = 1,
                     .Levels = 0xFF,
                     .Spacing2 = 4,
                     .Spacing3 = 9,
                     .Levels2 = 0xFF,
                     .Levels3 = 0xF0}},
        TOracleCase{"WrappedSegments",
                    {{25, 48, 5}, {1, 24, 5}, {49, 72, 2.5f}},
                    {.Array = 4, .Levels = 0x3F, .First = 30, .X0 = 20.05f}},
        TOracleCase{"GapsAndMixedSpacing",
                    {{1, 20, 1}, {41, 60, 5}, {101, 130, 2.5f}},
                    {.Array = 1, .Levels = 0x55, .Spacing2 = 10, .Levels2 = 0x3}},
        TOracleCase{"ReversibleSegments",
                    {{1, 24, 2.5f, true}, {25, 48, 2.5f, true}, {49, 96, 5}},
                    {.Array = 0, .Levels = 0xFF, .Spacing2 = 10, .Levels2 = 0xF}},
        TOracleCase{"WiderThenNarrower",
                    {{1, 11, 1}, {12, 20, 5}, {21, 60, 0.5f}},
                    {.Array = 6, .Levels = 0xF, .Y0 = -3.25f, .Z0 = 2}},
        TOracleCase{
            "SmallestSpacing", {{1, 200, 0.005f}}, {.Array = 0, .A = MinDistinctSpacing, .Levels = 0x7}},
        TOracleCase{"SpacingAtTheSlotLimit", {{1, 200, 0.03f}}, {.Array = 4, .A = 0.03f, .Levels = 0xFF}},
        TOracleCase{"OddSpacingFarOut",
                    {{1, 400, 0.37f}},
                    {.Array = 0, .A = 0.37f, .Levels = 0xFF, .X0 = 1234.5f, .Y0 = 4321.5f}},
        // The cursor's float steps drift from the electrodes along the line, to almost the match
        // distance; then so far out that float steps are coarse next to it.
        TOracleCase{
            "DriftingSteps", {{1, 200, 0.7f}}, {.Array = 6, .A = 0.7f, .Levels = 0xFF, .X0 = 2000.7f}},
        TOracleCase{"DriftingStepsDipoles",
                    {{1, 200, 0.7f}},
                    {.Array = 0, .A = 0.7f, .Levels = 0xFF, .X0 = 2000.7f, .Spacing2 = 1.4f, .Levels2 = 0xF}},
        TOracleCase{"CoarseFloatsFarOut", {{1, 480, 1}}, {.Array = 6, .A = 1, .Levels = 0xFF, .X0 = 20.05f}},
        TOracleCase{"FewerElectrodesThanNodes", {{1, 96, 5}}, {.Array = 1, .Levels = 0xFF, .Electrodes = 30}},
        TOracleCase{"FirstInTheMiddle",
                    {{1, 480, 1}},
                    {.Array = 0, .A = 1, .Levels = 0xFFFF, .First = 200, .X0 = -50}},
        TOracleCase{"RollAlong", {{1, 48, 5}}, {.Array = 0, .Levels = 0x3F}, ModeRollAlong, 40},
        TOracleCase{"RollAlongLong",
                    {{1, 1999, 1}},
                    {.Array = 4, .A = 1, .Levels = 0xFF, .Spacing2 = 3, .Levels2 = 0x3F},
                    ModeRollAlong,
                    700},
        TOracleCase{"MoveAlong", {{1, 96, 2.5f}}, {.Array = 6, .Levels = 0x3F, .X0 = 1000}, ModeMoveAlong},
        // Active entries outside every segment, found or not depending on where the scan starts.
        TOracleCase{"StrayActiveElectrodes",
                    {{101, 148, 5}},
                    {.Array = 0, .Levels = 0x3F},
                    ModeCreate,
                    NotSet,
                    [](TSequence& s) {
                        s.Electrodes[50] = {2, 50, 20, 0, 0};
                        s.Electrodes[1500] = {2, 1500, 40.005f, 0, 0};
                        s.Electrodes[1501] = {2, 1501, 1e9f, 0, 0};
                        s.Electrodes[1502] = {2, 1502, NAN, 0, 0};
                        s.Electrodes[110].Number = 0;  // the scan then starts below the set
                        s.Electrodes[120].Number = 1700;
                    }},
        TOracleCase{"StaleQuadripoles",
                    {{1, 96, 5}},
                    {.Array = 4, .Levels = 0xFF},
                    ModeCreate,
                    NotSet,
                    [](TSequence& s) {
                        s.NbQuadripole = 3;
                        s.Quadripoles[15999] = {1, 2, 3, 4, 0, 1, -1};
                    }},
        TOracleCase{"FullTableAndBadCount",
                    {{1, 96, 5}},
                    {.Array = 0, .Levels = 0x3},
                    ModeCreate,
                    NotSet,
                    [](TSequence& s) {
                        for (auto& q : s.Quadripoles) q = {5, 6, 7, 8, 1, 2, 0};
                        s.NbQuadripole = 70000;
                    }},
        TOracleCase{"NegativeCount",
                    {{1, 96, 5}},
                    {.Array = 2, .Levels = 0x3},
                    ModeCreate,
                    NotSet,
                    [](TSequence& s) {
                        s.Quadripoles[0] = {5, 6, 7, 8, 1, 2, 0};
                        s.Quadripoles[7000] = {0, 0, 0, 0, 0, 0, 0};
                        s.NbQuadripole = -4;
                    }}),
    [](const auto& p) { return p.param.Name; });

}  // namespace
