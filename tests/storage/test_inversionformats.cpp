#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "model/fileio.h"
#include "storage/import.h"
#include "storage/inversionformats.h"
#include "tests/model/linefixtures.h"
#include "tests/storage/tempfolder.h"

namespace {

struct TRoundTripCase {
    const char* Name;
    int Array, Electrodes, Levels;
    bool ThreeLengths, Uneven;
};

std::unique_ptr<TSequence> Design(const TRoundTripCase& c) {
    TCable cable = MakeCable({{1, c.Electrodes, 5.0f}});
    TLineSpec spec;
    spec.Array = c.Array;
    spec.A = 5.0f;
    SetLevels(spec.Levels, c.Levels);
    if (c.ThreeLengths) {
        spec.Spacing2 = 10.0f;
        spec.Spacing3 = 15.0f;
        SetLevels(spec.Levels2, c.Levels);
        SetLevels(spec.Levels3, c.Levels);
    }
    auto seq = MakeLine(cable, spec);
    TNullChartSink chart;
    GenerateSequence(*seq, ModeCreate, chart);
    if (c.Uneven) {
        for (int e = 1; e <= c.Electrodes; ++e) {
            seq->Electrodes[e].Y = 0.37f * static_cast<float>(e % 3);
            seq->Electrodes[e].Z =
                102.1f + 0.73f * static_cast<float>(e) - 0.011f * static_cast<float>(e * e);
        }
    }
    return seq;
}

void ExpectSameDesign(const TSequence& got, const TSequence& want, bool positions) {
    EXPECT_EQ(got.ArrayType, static_cast<int32_t>(TArrayType::NoGeometry));
    ASSERT_EQ(got.NbQuadripole, want.NbQuadripole);
    for (int i = 0; i < want.NbQuadripole; ++i) {
        const TQuadripole& g = got.Quadripoles[i];
        const TQuadripole& w = want.Quadripoles[i];
        ASSERT_TRUE(g.A == w.A && g.B == w.B && g.M == w.M && g.N == w.N) << "quadripole " << i + 1;
    }
    for (int n = 1; n <= MaxElectrodeNumber; ++n) {
        const bool used = want.Electrodes[n].Type == static_cast<int16_t>(TElectrodeType::Active);
        EXPECT_EQ(got.Electrodes[n].Type == static_cast<int16_t>(TElectrodeType::Active), used)
            << "electrode " << n;
        if (!positions || !used) continue;
        // The shortest text of a float reads back as the same float.
        EXPECT_EQ(got.Electrodes[n].X, want.Electrodes[n].X) << "electrode " << n;
        EXPECT_EQ(got.Electrodes[n].Y, want.Electrodes[n].Y) << "electrode " << n;
        EXPECT_EQ(got.Electrodes[n].Z, want.Electrodes[n].Z) << "electrode " << n;
    }
}

class InversionRoundTrip : public ::testing::TestWithParam<TRoundTripCase> {};

TEST_P(InversionRoundTrip, DesignExportImportGivesTheSameQuadripolesAndPositions) {
    const auto design = Design(GetParam());
    ASSERT_GT(design->NbQuadripole, 0);
    TTempFolder dir;

    auto back = std::make_unique<TSequence>();
    const std::string ohm = ExportUnified(*design, dir.Path(), "Line1");
    EXPECT_EQ(ohm, dir / "Line1.ohm");
    ImportInversionFile(ohm, std::nullopt, 1.0f, *back);
    EXPECT_EQ(back->Name.Get(), "Line1");
    ExpectSameDesign(*back, *design, true);

    // The protocol holds no positions: on a flat line from x = 0 the spacing puts them back.
    const std::string protocol = ExportProtocol(*design, dir.Path(), "Line1");
    EXPECT_EQ(protocol, dir / "Line1_protocol.dat");
    ImportInversionFile(protocol, std::nullopt, 5.0f, *back);
    ExpectSameDesign(*back, *design, !GetParam().Uneven);
}

INSTANTIATE_TEST_SUITE_P(Designs, InversionRoundTrip,
                         ::testing::Values(TRoundTripCase{"DipoleDipoleThreeLengths", 0, 48, 6, true, false},
                                           TRoundTripCase{"PoleDipoleWithTheRemote", 1, 32, 8, false, false},
                                           TRoundTripCase{"PolePole", 2, 24, 6, false, false},
                                           TRoundTripCase{"WennerOnUnevenGround", 6, 40, 6, false, true}),
                         [](const auto& tc) { return std::string(tc.param.Name); });

TEST(InversionExport, WritesTheUnifiedLayout) {
    auto seq = std::make_unique<TSequence>();
    seq->Electrodes[0].Type = static_cast<int16_t>(TElectrodeType::Remote);
    const float x[] = {0.0f, 2.5f, 5.0f, 0.1f};
    for (int n = 1; n <= 4; ++n) {
        seq->Electrodes[n] = {static_cast<int16_t>(TElectrodeType::Active), static_cast<int16_t>(n), x[n - 1],
                              0.0f, n == 2 ? -1.25f : 0.0f};
    }
    seq->Quadripoles[0] = {1, 2, 3, 4, 0, 1, -1};
    seq->Quadripoles[1] = {0, 2, 3, 4, 0, 1, -1};
    seq->NbQuadripole = 2;
    EXPECT_EQ(UnifiedText(*seq),
              "4\n# x y z\n0 0 0\n2.5 0 -1.25\n5 0 0\n0.1 0 0\n2\n# a b m n\n1 2 3 4\n0 2 3 4\n");
    EXPECT_EQ(ProtocolText(*seq), "2\n1 1 2 3 4\n2 0 2 3 4\n");

    // A damaged record whose quadripole names an electrode without a position is not written.
    seq->Quadripoles[1].A = 7;
    TTempFolder dir;
    try {
        ExportUnified(*seq, dir.Path(), "Bad");
        FAIL() << "written";
    } catch (const TFileError& e) {
        EXPECT_NE(std::string(e.what()).find("Bad.ohm"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("quadripole 2 uses electrode 7"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(FileExists(dir / "Bad.ohm"));
}

struct TReadCase {
    const char* Name;
    TInversionFormat Format;
    const char* Text;
    // Accepted: electrodes, quadripoles, then A B M N of the last quadripole and X, Z of electrode 2.
    int Electrodes, Quadripoles;
    int Last[4];
    float X2, Z2;
    // Refused: a part of the problem and its line.
    const char* Problem;
    int Line;
};

class InversionRead : public ::testing::TestWithParam<TReadCase> {};

TEST_P(InversionRead, AcceptsWhatThoseProgramsWriteAndRefusesWithTheLine) {
    const auto& c = GetParam();
    auto seq = std::make_unique<TSequence>();
    try {
        if (c.Format == TInversionFormat::Unified)
            ImportUnifiedBytes(c.Text, "T", *seq);
        else
            ImportProtocolBytes(c.Text, "T", 2.0f, *seq);
    } catch (const TImportError& e) {
        ASSERT_NE(c.Problem, nullptr) << "refused: " << e.what();
        EXPECT_NE(e.Problem().find(c.Problem), std::string::npos) << e.Problem();
        EXPECT_EQ(e.Line(), c.Line) << e.what();
        return;
    }
    ASSERT_EQ(c.Problem, nullptr) << "accepted, expected: " << c.Problem;
    EXPECT_EQ(seq->NbElectrode, c.Electrodes);
    ASSERT_EQ(seq->NbQuadripole, c.Quadripoles);
    if (c.Quadripoles > 0) {
        const TQuadripole& q = seq->Quadripoles[c.Quadripoles - 1];
        EXPECT_EQ((std::vector<int>{q.A, q.B, q.M, q.N}),
                  (std::vector<int>{c.Last[0], c.Last[1], c.Last[2], c.Last[3]}));
    }
    EXPECT_FLOAT_EQ(seq->Electrodes[2].X, c.X2);
    EXPECT_FLOAT_EQ(seq->Electrodes[2].Z, c.Z2);
}

constexpr auto U = TInversionFormat::Unified;
constexpr auto P = TInversionFormat::Protocol;

INSTANTIATE_TEST_SUITE_P(
    Cases, InversionRead,
    ::testing::Values(
        TReadCase{"CommentsBlankLinesAndExtraColumns",
                  U,
                  "# made by hand\n\n4 # electrodes\n# x y z\n0 0 0\n1 0 0.5\n2 0 0\n3 0 0\n\n2\n"
                  "# a b m n rhoa err/%\n1 2 3 4 10.5 3\n4 3 2 1 11 3\n",
                  4,
                  2,
                  {4, 3, 2, 1},
                  1.0f,
                  0.5f,
                  nullptr,
                  0},
        TReadCase{"TwoNamedColumnsAreXAndZ",
                  U,
                  "3\n# x z\n0 10\n1 11\n2 12\n1\n# a b m n\n1 2 3 0\n",
                  3,
                  1,
                  {1, 2, 3, 0},
                  1.0f,
                  11.0f,
                  nullptr,
                  0},
        TReadCase{"TwoUnnamedColumnsAreXAndZ",
                  U,
                  "3\n0 10\n1 11\n2 12\n1\n1 2 3 0\n",
                  3,
                  1,
                  {1, 2, 3, 0},
                  1.0f,
                  11.0f,
                  nullptr,
                  0},
        TReadCase{"ColumnsInAnotherOrderWithUnits",
                  U,
                  "4\n# z/m x/m\n5 0\n6 1\n7 2\n8 3\n1\n# rhoa m n a b\n99 3 4 1 2\n",
                  4,
                  1,
                  {1, 2, 3, 4},
                  1.0f,
                  6.0f,
                  nullptr,
                  0},
        TReadCase{"CurrentAndPotentialNames",
                  U,
                  "4\n# x\n0\n1\n2\n3\n1\n# C1 C2 P1 P2\n1 2 3 4\n",
                  4,
                  1,
                  {1, 2, 3, 4},
                  1.0f,
                  0.0f,
                  nullptr,
                  0},
        TReadCase{"PoleDipoleWithoutB",
                  U,
                  "3\n# x y z\n0 0 0\n1 0 0\n2 0 0\n1\n# a m n\n1 2 3\n",
                  3,
                  1,
                  {1, 0, 2, 3},
                  1.0f,
                  0.0f,
                  nullptr,
                  0},
        TReadCase{"TopographyAfterTheDataIsReadPast",
                  U,
                  "2\n# x y z\n0 0 0\n1 0 0\n1\n# a b m n\n1 2 2 1\n2\n# x y z\n0 0 3\n9 0 4\n",
                  2,
                  1,
                  {1, 2, 2, 1},
                  1.0f,
                  0.0f,
                  nullptr,
                  0},
        TReadCase{"TooManyElectrodes", U, "2000\n", 0, 0, {}, 0, 0, "more than the 1999", 1},
        TReadCase{"NegativeCount", U, "# x\n-1\n", 0, 0, {}, 0, 0, "negative", 2},
        TReadCase{"NotACount", U, "four\n", 0, 0, {}, 0, 0, "is not the electrode count", 1},
        TReadCase{"TooManyData", U, "1\n0 0 0\n16001\n", 0, 0, {}, 0, 0, "more than the 16000", 3},
        TReadCase{"CoordinateNotANumber",
                  U,
                  "2\n# x y z\n0 0 0\n1 nan 0\n",
                  0,
                  0,
                  {},
                  0,
                  0,
                  "not a finite number",
                  4},
        TReadCase{"CoordinateInfinite",
                  U,
                  "2\n# x y z\n0 0 0\n1e39 0 0\n",
                  0,
                  0,
                  {},
                  0,
                  0,
                  "not a finite number",
                  4},
        TReadCase{"CoordinateSpelledInfinite",
                  U,
                  "2\n# x y z\n0 0 0\ninf 0 0\n",
                  0,
                  0,
                  {},
                  0,
                  0,
                  "not a finite number",
                  4},
        TReadCase{"LargestFloatAndSigns",
                  U,
                  "2\n# x y z\n0 0 0\n+1 0 -3.4028235e+38\n0\n",
                  2,
                  0,
                  {},
                  1.0f,
                  -3.4028235e+38f,
                  nullptr,
                  0},
        TReadCase{"PositionTooShort", U, "2\n# x y z\n0 0 0\n1 0\n", 0, 0, {}, 0, 0, "has no z", 4},
        TReadCase{"EndsBeforeThePositions",
                  U,
                  "3\n0 0 0\n",
                  0,
                  0,
                  {},
                  0,
                  0,
                  "ends before its electrodes' positions",
                  2},
        TReadCase{"EndsBeforeTheData",
                  U,
                  "2\n0 0 0\n1 0 0\n3\n1 2 2 1\n\n",
                  0,
                  0,
                  {},
                  0,
                  0,
                  "ends before its data",
                  6},
        TReadCase{"ElectrodeBeyondTheCount",
                  U,
                  "2\n0 0 0\n1 0 0\n1\n1 2 3 1\n",
                  0,
                  0,
                  {},
                  0,
                  0,
                  "m is electrode 3, outside 0 to 2",
                  5},
        TReadCase{
            "NegativeElectrode", U, "2\n0 0 0\n1 0 0\n1\n1 -2 1 2\n", 0, 0, {}, 0, 0, "b is electrode -2", 5},
        TReadCase{"FractionalElectrode",
                  U,
                  "2\n0 0 0\n1 0 0\n1\n1 2 1.5 2\n",
                  0,
                  0,
                  {},
                  0,
                  0,
                  "\"1.5\" is not an electrode number",
                  5},
        TReadCase{"DataTooShort", U, "2\n0 0 0\n1 0 0\n1\n1 2 1\n", 0, 0, {}, 0, 0, "no n column", 5},
        TReadCase{"ProtocolWithExtraColumnsAndBlankLines",
                  P,
                  "3\n1 1 2 3 4 0.51 0.02\n\n2 2 3 4 5 0.2 0.02\n3 0 3 4 6\n",
                  6,
                  3,
                  {0, 3, 4, 6},
                  2.0f,
                  0.0f,
                  nullptr,
                  0},
        TReadCase{"Protocol3DIsRefused", P, "1\n1 1 1 1 2 1 3 1 4 0.5\n", 0, 0, {}, 0, 0, "a 3D protocol", 2},
        TReadCase{"ProtocolWithFloatsAfterTheElectrodes",
                  P,
                  "1\n1 1 2 3 4 0.5 0.1 2.5 0.3\n",
                  4,
                  1,
                  {1, 2, 3, 4},
                  2.0f,
                  0.0f,
                  nullptr,
                  0},
        TReadCase{"ProtocolEndsEarly",
                  P,
                  "3\n1 1 2 3 4\n2 2 3 4 5\n",
                  0,
                  0,
                  {},
                  0,
                  0,
                  "after 2 of its 3 measurements",
                  3},
        TReadCase{
            "ProtocolComment", P, "1\n# a b m n\n", 0, 0, {}, 0, 0, "\"#\" is not a measurement number", 2},
        TReadCase{"ProtocolElectrodeBeyondTheTable",
                  P,
                  "1\n1 1 2 3 2000\n",
                  0,
                  0,
                  {},
                  0,
                  0,
                  "outside 0 to 1999",
                  2},
        TReadCase{"ProtocolTooMany", P, "16001\n", 0, 0, {}, 0, 0, "more than the 16000", 1},
        TReadCase{"ProtocolEmpty", P, "\n\n", 0, 0, {}, 0, 0, "ends before the measurement count", 2}),
    [](const auto& tc) { return std::string(tc.param.Name); });

TEST(InversionRead, TheFormatIsToldByTheNameThenTheContent) {
    EXPECT_EQ(InversionFormatOfName("a/Line1.OHM"), TInversionFormat::Unified);
    EXPECT_EQ(InversionFormatOfName("Line1.shm"), TInversionFormat::Unified);
    EXPECT_EQ(InversionFormatOfName("run/protocol.dat"), TInversionFormat::Protocol);
    EXPECT_EQ(InversionFormatOfName("Line1_Protocol.DAT"), TInversionFormat::Protocol);
    EXPECT_EQ(InversionFormatOfName("Line1.dat"), std::nullopt);
    EXPECT_EQ(SniffInversionFormat("2\n1 1 2 3 4\n2 2 3 4 5\n"), TInversionFormat::Protocol);
    EXPECT_EQ(SniffInversionFormat("\n2\n\n1 1 2 3 4 0.5\n"), TInversionFormat::Protocol);
    EXPECT_EQ(SniffInversionFormat("2\n0 0 0\n1 0 0\n"), TInversionFormat::Unified);
    EXPECT_EQ(SniffInversionFormat("2\n# x y z\n"), TInversionFormat::Unified);
    EXPECT_EQ(SniffInversionFormat(""), TInversionFormat::Unified);
}

TEST(InversionRead, FileErrorsNameTheFileAndTheLine) {
    TTempFolder dir;
    const std::string bad = dir / "bad.dat";
    const std::string text = "2\n0 0 0\n1 0 0\n1\n1 2 9 1\n";
    WriteFileAtomic(bad, text.data(), text.size());
    auto seq = std::make_unique<TSequence>();
    try {
        ImportInversionFile(bad, std::nullopt, 1.0f, *seq);
        FAIL() << "accepted";
    } catch (const TFileError& e) {
        EXPECT_EQ(std::string(e.what()), bad + ": line 5: m is electrode 9, outside 0 to 2");
    }
    EXPECT_EQ(seq->NbQuadripole, 0);

    // Only regular files are read: a FIFO would block the program.
    const std::string fifo = dir / "fifo.ohm";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_THROW(ImportInversionFile(fifo, std::nullopt, 1.0f, *seq), TNotRegularFile);

    // The size is bounded before reading.
    const std::string big = dir / "big.ohm";
    ASSERT_EQ(
        ::truncate((WriteFileAtomic(big, "0", 1), big).c_str(), static_cast<off_t>(MaxInversionFileSize + 1)),
        0);
    EXPECT_THROW(ImportInversionFile(big, std::nullopt, 1.0f, *seq), TFileTooLarge);

    EXPECT_THROW(ImportProtocolBytes("1\n1 1 2 3 4\n", "T", 0.0f, *seq), std::invalid_argument);
    EXPECT_THROW(ImportProtocolBytes("1\n1 1 2 3 1999\n", "T", 1000.0f, *seq), std::invalid_argument);
}

}  // namespace
